#include "win/ClassRegistration.h"

#include <objbase.h>

#include "win/RegistryText.h"
#include "win/UniqueHkey.h"

namespace win {
namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";

// The halves to read, the one that wins first.
struct Half {
    HKEY root;
    const wchar_t* name;
};

template <typename Read>
auto firstFound(ClassScope scope, Read read) -> decltype(read(Half{})) {
    const Half user{HKEY_CURRENT_USER, L"HKCU\\"}, machine{HKEY_LOCAL_MACHINE, L"HKLM\\"};
    if (scope != ClassScope::Machine) {
        if (auto found = read(user)) return found;
    }
    if (scope != ClassScope::User) return read(machine);
    return {};
}

std::wstring viewName(REGSAM view) {
    if (view == KEY_WOW64_32KEY) return L" (32-bit view)";
    if (view == KEY_WOW64_64KEY) return L" (64-bit view)";
    return {};
}

// Opens a key below one half's classes in `view`. Windows keeps one ProgID key for both views (only the
// class ids and a few other subtrees are kept apart), which either view opens. Wine writes a 32-bit package's
// ProgID into the 32-bit view alone and a 32-bit regsvr32's into the shared key, so for a ProgID the view's
// own is asked first, the shared one after.
bool openKey(const Half& half, const std::wstring& path, REGSAM view, bool progId, UniqueHkey& key) {
    if (::RegOpenKeyExW(half.root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.receive()) == ERROR_SUCCESS)
        return true;
    return progId && ::RegOpenKeyExW(half.root, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                                     key.receive()) == ERROR_SUCCESS;
}

// The text a redirecting key holds, with where it was read.
std::optional<ClassRedirect> redirectAt(const Half& half, const std::wstring& path, REGSAM view,
                                        bool progId) {
    UniqueHkey key;
    if (!openKey(half, path, view, progId, key)) return std::nullopt;
    const auto target = registryText(key.get(), nullptr);
    if (!target || target->empty()) return std::nullopt;
    return ClassRedirect{half.name + path + viewName(view), *target};
}

}  // namespace

std::wstring bracedGuid(const GUID& guid) {
    wchar_t text[40] = {};
    const int length = ::StringFromGUID2(guid, text, 40);
    return std::wstring(text, length > 0 ? static_cast<size_t>(length - 1) : 0);
}

std::optional<GUID> classOfProgId(const std::wstring& progId, ClassScope scope, REGSAM view) {
    return firstFound(scope, [&](const Half& half) -> std::optional<GUID> {
        UniqueHkey key;
        if (!openKey(half, kClasses + progId + L"\\CLSID", view, true, key)) return std::nullopt;
        const auto text = registryText(key.get(), nullptr);
        GUID classId;
        // IIDFromString only parses; CLSIDFromString would look a ProgID up in the merged view.
        if (!text || FAILED(::IIDFromString(text->c_str(), &classId))) return std::nullopt;
        return classId;
    });
}

std::optional<ClassServer> inprocServer(const GUID& classId, ClassScope scope, REGSAM view) {
    const std::wstring path = std::wstring(kClasses) + L"CLSID\\" + bracedGuid(classId) + L"\\InprocServer32";
    return firstFound(scope, [&](const Half& half) -> std::optional<ClassServer> {
        UniqueHkey key;
        if (::RegOpenKeyExW(half.root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.receive()) !=
            ERROR_SUCCESS)
            return std::nullopt;
        ClassServer server;
        server.path = registryText(key.get(), nullptr).value_or(std::wstring());
        if (server.path.size() >= 2 && server.path.front() == L'"' && server.path.back() == L'"')
            server.path = server.path.substr(1, server.path.size() - 2);
        if (server.path.empty()) return std::nullopt;
        server.threadingModel = registryText(key.get(), L"ThreadingModel").value_or(std::wstring());
        server.keyName = half.name + path + viewName(view);
        server.fromUser = half.root == HKEY_CURRENT_USER;
        return server;
    });
}

std::optional<ClassRedirect> treatAsOf(const GUID& classId, ClassScope scope, REGSAM view) {
    const std::wstring path = std::wstring(kClasses) + L"CLSID\\" + bracedGuid(classId) + L"\\TreatAs";
    return firstFound(scope, [&](const Half& half) { return redirectAt(half, path, view, false); });
}

std::optional<ClassRedirect> currentVersionOf(const std::wstring& progId, ClassScope scope, REGSAM view) {
    const std::wstring path = kClasses + progId + L"\\CurVer";
    return firstFound(scope, [&](const Half& half) { return redirectAt(half, path, view, true); });
}

std::optional<ClassServer> inprocServerOf(const std::wstring& progId, ClassScope scope, REGSAM view) {
    const auto classId = classOfProgId(progId, scope, view);
    if (!classId) return std::nullopt;
    return inprocServer(*classId, scope, view);
}

}  // namespace win
