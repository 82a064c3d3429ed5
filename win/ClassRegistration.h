#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace win {

// How COM finds an in-process server: a ProgID names its class, and the class's InprocServer32 key names the
// DLL. Windows keeps two sources, the machine's classes (HKLM\Software\Classes) and each user's own
// (HKCU\Software\Classes), and merges them into HKEY_CLASSES_ROOT for every process, elevated ones included:
// where the user has the key, the user's wins. A program that runs with an administrator's rights must not
// load what only the user's half names, so this reader says which half it read.
enum class ClassScope { Machine, User, Merged };

struct ClassServer {
    std::wstring path;            // as registered: surrounding quotes stripped, REG_EXPAND_SZ expanded
    std::wstring threadingModel;  // the key's ThreadingModel value, empty when it has none
    std::wstring keyName;         // where it was read: "HKCU\Software\Classes\CLSID\{...}\InprocServer32"
    bool fromUser = false;
};

// "{0F1E2D3C-...}", braced and upper case, as class keys are named.
std::wstring bracedGuid(const GUID& guid);

// `view` is 0 for this process's own registry view, or KEY_WOW64_32KEY or KEY_WOW64_64KEY for the view that a
// process of that bitness sees (64-bit Windows keeps the classes apart per view).

// The class that `progId` names; nothing when the scope does not register the ProgID or its CLSID is no GUID.
std::optional<GUID> classOfProgId(const std::wstring& progId, ClassScope scope, REGSAM view = 0);

// The class's in-process server; nothing when the scope has no InprocServer32 key for it, or the key names no
// file.
std::optional<ClassServer> inprocServer(const GUID& classId, ClassScope scope, REGSAM view = 0);

// Both steps: the server that creating `progId` loads, as the scope sees it.
std::optional<ClassServer> inprocServerOf(const std::wstring& progId, ClassScope scope, REGSAM view = 0);

// Where the scope's keys send COM instead of what was asked for: a class's TreatAs names another class to
// create in its place, a ProgID's CurVer another ProgID to take the class from.
struct ClassRedirect {
    std::wstring keyName;  // where it was read: "HKCU\Software\Classes\CLSID\{...}\TreatAs"
    std::wstring target;   // the class id or ProgID it names, as written
};
std::optional<ClassRedirect> treatAsOf(const GUID& classId, ClassScope scope, REGSAM view = 0);
std::optional<ClassRedirect> currentVersionOf(const std::wstring& progId, ClassScope scope, REGSAM view = 0);

}  // namespace win
