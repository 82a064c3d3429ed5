#include "win/RegistryText.h"

#include "win/UniqueHkey.h"

namespace win {

std::optional<std::wstring> registryText(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD received = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG status =
            ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &received);
        if (status == ERROR_MORE_DATA) continue;  // it grew in between
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
        text.resize(received / sizeof(wchar_t));
        const size_t end = text.find(L'\0');
        if (end != std::wstring::npos) text.erase(end);
        if (type == REG_SZ) return text;
        const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        std::wstring expanded(needed, L'\0');
        if (needed == 0 || ::ExpandEnvironmentStringsW(text.c_str(), &expanded[0], needed) == 0)
            return std::nullopt;
        expanded.resize(needed - 1);
        return expanded;
    }
    return std::nullopt;
}

std::optional<DWORD> registryDword(HKEY root, const std::wstring& path, const wchar_t* name) {
    UniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0, size = sizeof(value), type = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return std::nullopt;
    return value;
}

}  // namespace win
