#include "server/registrar/Win32ScriptRegistry.h"

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <new>
#include <string>

#include "win/AnsiText.h"

using registrar::Key;

namespace {

HKEY hkey(Key key) {
    return reinterpret_cast<HKEY>(key);
}

Key keyOf(HKEY key) {
    return reinterpret_cast<Key>(key);
}

constexpr REGSAM kCreateAccess = registrar::kReadWriteAccess;

bool isLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}

registrar::Result numberOf(const std::string& text, std::uint32_t& number) {
    try {
        std::wstring wide = win::widen(text);
        if (wide.empty() && !text.empty()) return registrar::kOutOfMemory;
        ULONG value = 0;
        const HRESULT result = ::VarUI4FromStr(&wide[0], 0, 0, &value);
        number = value;
        return result;
    } catch (const std::bad_alloc&) {
        return registrar::kOutOfMemory;
    }
}

}  // namespace

long Win32ScriptRegistry::openKey(Key parent, const std::string& name, std::uint32_t access, Key& key) {
    HKEY opened = nullptr;
    const LSTATUS status = api_.openKey(hkey(parent), name.c_str(), 0, access, &opened);
    if (status == ERROR_SUCCESS) key = keyOf(opened);
    return status;
}

long Win32ScriptRegistry::createKey(Key parent, const std::string& name, Key& key) {
    HKEY created = nullptr;
    const LSTATUS status = api_.createKey(hkey(parent), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                          kCreateAccess, nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS) key = keyOf(created);
    return status;
}

long Win32ScriptRegistry::setValue(Key key, const std::string* name, std::uint32_t type,
                                   const unsigned char* data, std::uint32_t size) {
    return api_.setValue(hkey(key), name ? name->c_str() : nullptr, 0, type, data, size);
}

long Win32ScriptRegistry::deleteValue(Key key, const std::string& name) {
    return api_.deleteValue(hkey(key), name.c_str());
}

long Win32ScriptRegistry::deleteKey(Key parent, const std::string& name) {
    return api_.deleteKey(hkey(parent), name.c_str());
}

long Win32ScriptRegistry::enumerateKey(Key key, std::uint32_t index, std::string& name) {
    std::array<char, kNameBufferSize> buffer{};
    DWORD size = buffer.size();
    const LSTATUS status =
        api_.enumKey(hkey(key), index, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name.assign(buffer.data(), size < buffer.size() ? size : buffer.size() - 1);
    return status;
}

long Win32ScriptRegistry::countSubkeys(Key key, std::uint32_t& count) {
    DWORD subkeys = 0;
    const LSTATUS status = api_.queryInfoKey(hkey(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                             nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) count = subkeys;
    return status;
}

long Win32ScriptRegistry::closeKey(Key key) {
    return api_.closeKey(hkey(key));
}

registrar::TextRules ansiTextRules() noexcept {
    return registrar::TextRules{isLeadByte, numberOf};
}
