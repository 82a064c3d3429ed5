// The links Office itself follows: each host's add-in key, the ProgID and class keys, the library they name,
// whether it loads and hands out the connection object, and the type library the ribbon's callbacks are bound
// through.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cwchar>
#include <vector>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "doctor/Chain.h"
#include "doctor/Machine.h"
#include "doctor/OfficeBitness.h"
#include "doctor/AddInNames.h"
#include "doctor/TrustedLocation.h"
#include "win/AnsiText.h"
#include "win/ClassRegistration.h"
#include "win/ComPtr.h"
#include "win/PathCompare.h"
#include "win/RegistryText.h"
#include "win/SystemLibrary.h"
#include "win/UniqueHkey.h"
#include "win/UniqueLibrary.h"

namespace doctor {

const HostNames kHosts[kHostCount] = {
    {"Word", "word", "Word"},
    {"Excel", "excel", "Excel"},
    {"PowerPoint", "powerpoint", "PowerPoint"},
};

namespace {

constexpr DWORD kLoadAtStartup = 3;

// The platform's own words for an error code, on one line.
std::string describe(DWORD code) {
    char text[512] = {};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                    0, text, sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.'))
        text[--length] = '\0';
    return length ? std::string(text) : "error " + std::to_string(code);
}

const char* meaningOf(DWORD loadBehavior) {
    switch (loadBehavior) {
        case 0:
            return "never loaded automatically";
        case 1:
            return "loaded by hand only";
        case 2:
            return "not loaded: Office stopped loading it, usually after it failed or was disabled";
        case 3:
            return "loads at start-up";
        case 8:
        case 9:
            return "loads on demand only";
        case 16:
            return "loads the first time only";
        default:
            return "not a load behaviour Office knows";
    }
}

std::string addInKeyPath(const HostNames& host) {
    return std::string("Software\\Microsoft\\Office\\") + host.officeKey + "\\Addins\\" + kProgId;
}

// The file version stamped into a library's version resource, or empty.
std::string fileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::string block(size, '\0');
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, &block[0])) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

// The host binds the markup's callbacks by name through the type library that the machine registers for
// this bitness. Read from the machine's key and loaded without registering anything, like the library.
void checkTypeLibrary(Chain& chain) {
    wchar_t entry[128];
    std::swprintf(entry, 128, L"Software\\Classes\\TypeLib\\%ls\\%x.%x\\0\\%ls",
                  win::bracedGuid(LIBID_TandrelLib).c_str(), kTypeLibraryMajor, kTypeLibraryMinor,
                  sizeof(void*) == 8 ? L"win64" : L"win32");
    const std::string typeLibraryText = "type library " + win::narrow(win::bracedGuid(LIBID_TandrelLib)) +
                                        " " + std::to_string(kTypeLibraryMajor) + "." +
                                        std::to_string(kTypeLibraryMinor);
    win::UniqueHkey key;
    std::wstring path;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, entry, 0, KEY_QUERY_VALUE, key.receive()) == ERROR_SUCCESS)
        path = win::registryText(key.get(), nullptr).value_or(std::wstring());
    if (path.empty()) {
        chain.add("class.typelib", "type library", Status::Broken,
                  typeLibraryText + " is not registered (HKLM\\" + win::narrow(entry) +
                      "): the ribbon cannot call the add-in",
                  kRepairAdvice);
        return;
    }
    const HeldFile held = holdTrustedFile(path);
    if (!held.trusted()) {
        chain.add("class.typelib", "type library", Status::Broken,
                  typeLibraryText + " is registered as " + win::narrow(path) + ", which " + held.refused +
                      ": the doctor does not read it",
                  kRepairAdvice);
        return;
    }
    win::ComPtr<ITypeLib> typeLibrary;
    const HRESULT loaded = ::LoadTypeLibEx(held.path.c_str(), REGKIND_NONE, typeLibrary.receive());
    TLIBATTR* attributes = nullptr;
    const bool ours = SUCCEEDED(loaded) && SUCCEEDED(typeLibrary->GetLibAttr(&attributes)) &&
                      ::IsEqualGUID(attributes->guid, LIBID_TandrelLib);
    if (attributes) typeLibrary->ReleaseTLibAttr(attributes);
    if (!ours) {
        chain.add("class.typelib", "type library", Status::Broken,
                  typeLibraryText + " is registered as " + win::narrow(path) + ", which holds no such library (" +
                      hexCode(loaded) + "): the ribbon cannot call the add-in",
                  kRepairAdvice);
        return;
    }
    chain.add("class.typelib", "type library", Status::Ok, typeLibraryText + " registered");
    chain.serverReady = true;
}

}  // namespace

bool keyExists(HKEY root, const std::string& path, REGSAM view) {
    win::UniqueHkey key;
    return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.receive()) == ERROR_SUCCESS;
}

void checkOfficeKeys(Chain& chain) {
    for (int index = 0; index < kHostCount; ++index) {
        const HostNames& host = kHosts[index];
        const std::string path = addInKeyPath(host);
        const std::string link = std::string("office.") + host.link;
        const std::string title = std::string(host.title) + " add-in key";
        // A user's own key overrides the machine's: Office records a user's choices there.
        const bool inUser = keyExists(HKEY_CURRENT_USER, path);
        const bool inMachine = keyExists(HKEY_LOCAL_MACHINE, path);
        if (!inUser && !inMachine) {
            chain.add(
                link.c_str(), title.c_str(), Status::Broken,
                "no key HKLM\\" + path + " (nor under HKCU): " + host.title + " does not know the add-in",
                kRepairAdvice);
            continue;
        }
        chain.hostHasKey[index] = true;
        const HKEY root = inUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const std::string where = std::string(inUser ? "HKCU\\" : "HKLM\\") + path;
        if (!chain.registry.probeDword(root, path, "LoadBehavior", false)) {
            chain.add(link.c_str(), title.c_str(), Status::Broken, where + " has no LoadBehavior",
                      std::string(kRepairAdvice));
            continue;
        }
        const DWORD behavior = chain.registry.readDword(root, path, "LoadBehavior", false);
        std::string found =
            where + ": LoadBehavior " + std::to_string(behavior) + " (" + meaningOf(behavior) + ")";
        if (behavior == kLoadAtStartup) {
            chain.hostLoadsAddIn[index] = true;
            chain.add(link.c_str(), title.c_str(), Status::Ok, found);
        } else {
            chain.add(
                link.c_str(), title.c_str(), Status::Broken, found,
                std::string("in ") + host.title +
                    " turn it on under File > Options > Add-ins > COM Add-ins (and check Disabled Items), "
                    "or set LoadBehavior to 3 under " +
                    where);
        }
    }
}

std::wstring machineServerPath(REGSAM view) {
    const auto server = win::inprocServerOf(kProgIdWide, win::ClassScope::Machine, view);
    return server ? server->path : std::wstring();
}

void checkUserClasses(Chain& chain) {
    // Windows puts a user's own class keys over the machine's for every process of that user: whatever they
    // name is what this user's Office creates. Other software's per-user installations collide this way, and
    // it is how an add-in is hijacked; either way the doctor reports it and touches nothing it names.
    std::string found;
    std::wstring key;
    if (const auto userClass = win::classOfProgId(kProgIdWide, win::ClassScope::User)) {
        key = std::wstring(L"HKCU\\Software\\Classes\\") + kProgIdWide;
        found = "HKCU\\Software\\Classes\\" + std::string(kProgId) + "\\CLSID names class " +
                win::narrow(win::bracedGuid(*userClass));
        if (const auto server = win::inprocServer(*userClass, win::ClassScope::Merged))
            found += ", whose server is " + win::narrow(server->path) + " (" + win::narrow(server->keyName) + ")";
    }
    if (const auto server = win::inprocServer(CLSID_Connect, win::ClassScope::User)) {
        if (key.empty()) key = L"HKCU\\Software\\Classes\\CLSID\\" + win::bracedGuid(CLSID_Connect);
        found += std::string(found.empty() ? "" : "; ") + win::narrow(server->keyName) + " names " +
                 win::narrow(server->path);
    }
    // A TreatAs on the class (in either view: Office of either bitness may read it) or a CurVer on the ProgID
    // sends this user's Office to another class altogether, whatever the machine registers.
    std::vector<win::ClassRedirect> redirects;
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const auto treatAs = win::treatAsOf(CLSID_Connect, win::ClassScope::User, view);
        if (treatAs && (redirects.empty() || redirects.back().target != treatAs->target))
            redirects.push_back(*treatAs);
    }
    if (const auto currentVersion = win::currentVersionOf(kProgIdWide, win::ClassScope::User))
        redirects.push_back(*currentVersion);
    for (const win::ClassRedirect& redirect : redirects) {
        if (key.empty()) key = redirect.keyName;
        found += std::string(found.empty() ? "" : "; ") + win::narrow(redirect.keyName) + " sends it to " +
                 win::narrow(redirect.target);
    }
    if (found.empty()) {
        chain.add("class.user", "per-user class", Status::Ok,
                  "no class registration of this user's own overrides the machine's");
        return;
    }
    chain.add("class.user", "per-user class", Status::Warning,
              found + ": for this user it overrides the machine's registration, so this user's Office loads "
                      "what it names; the doctor neither loads it nor runs anything beside it",
              "unless software of your own installed it for this user, delete " + win::narrow(key) +
                  " (a per-user registration is also how programs take an add-in's place)");
}

void checkClassRegistration(Chain& chain) {
    const std::string expected = win::narrow(win::bracedGuid(CLSID_Connect));
    const std::string progIdKey = "HKLM\\Software\\Classes\\" + std::string(kProgId) + "\\CLSID";
    const auto named = win::classOfProgId(kProgIdWide, win::ClassScope::Machine);
    if (!named) {
        chain.add("class.progid", "ProgID", Status::Broken,
                  progIdKey + " is missing: Office cannot find the add-in's class", kRepairAdvice);
        checkUserClasses(chain);
        return;
    }
    if (!::IsEqualGUID(*named, CLSID_Connect)) {
        chain.add("class.progid", "ProgID", Status::Broken,
                  progIdKey + " names class " + win::narrow(win::bracedGuid(*named)) + ", not this add-in's " +
                      expected,
                  kRepairAdvice);
        checkUserClasses(chain);
        return;
    }
    chain.add("class.progid", "ProgID", Status::Ok, std::string(kProgId) + " -> " + expected);
    checkUserClasses(chain);

    // Only the machine's own registration: the doctor may run with an administrator's rights.
    const auto server = win::inprocServer(CLSID_Connect, win::ClassScope::Machine);
    if (!server) {
        chain.add("class.server", "class server", Status::Broken,
                  "HKLM\\Software\\Classes\\CLSID\\" + expected + "\\InprocServer32 names no library",
                  kRepairAdvice);
        return;
    }
    const std::string path = win::narrow(server->path);
    if (::GetFileAttributesW(server->path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        chain.add("class.server", "class server", Status::Broken,
                  path + " is registered but not there (" + describe(::GetLastError()) + ")", kRepairAdvice);
        return;
    }
    if (!win::samePath(server->threadingModel, L"Apartment")) {
        chain.add("class.server", "class server", Status::Broken,
                  path + " with ThreadingModel \"" + win::narrow(server->threadingModel) +
                      "\"; the add-in needs \"Apartment\"",
                  kRepairAdvice);
        return;
    }
    // Held from its check until it is loaded: what is loaded is what was judged, and nothing is read of it
    // before.
    const HeldFile held = holdTrustedFile(server->path);
    // Every user's Office loads this file: whoever may change it, or its folder, chooses what runs there.
    if (held.trusted()) {
        chain.add("class.folder", "library's folder", Status::Ok,
                  path + " lies where only administrators can change it");
    } else {
        chain.add("class.folder", "library's folder", Status::Broken,
                  path + " " + held.refused + ": whoever may change it changes what every user's Office loads",
                  "install the add-in with its package, which puts it under Program Files; or give its "
                  "folder the security of Program Files (administrators and SYSTEM change it, users read "
                  "and run)");
        chain.add("class.server", "class server", Status::Ok, path + " (Apartment)");
        chain.add("class.load", "library loads", Status::Broken,
                  path + " " + held.refused +
                      ": the doctor does not load it, and the add-in must not be kept there",
                  kRepairAdvice + std::string(" (its package installs the add-in under Program Files)"));
        return;
    }
    const std::string version = fileVersionOf(held.path);
    chain.add("class.server", "class server", Status::Ok,
              path + " (version " + (version.empty() ? "unknown" : version) + ", Apartment)");

    // Load it as Office does: the library, its class factory, then the connection object itself. The DLL's
    // own imports come from its folder and System32 only.
    win::UniqueLibrary library(::LoadLibraryExW(
        held.path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BAD_EXE_FORMAT) {
            // Loaded for Office of this program's bitness, it must be built for this program's machine.
            chain.add("class.load", "library loads", Status::Broken,
                      path + " does not load: it is " + machineText(machineOfFile(held.path)) + ", and " +
                          bitsText(kThisBitness) + " Office needs " + machineText(machineFor(kThisBitness)),
                      kRepairAdvice);
            return;
        }
        chain.add("class.load", "library loads", Status::Broken, path + " does not load: " + describe(error),
                  kRepairAdvice);
        return;
    }
    // Asked of the loaded library itself: COM's own lookup would read the merged view again.
    win::ComPtr<IDispatch> connection;
    const HRESULT created =
        win::createFromLibrary(library.get(), CLSID_Connect, IID_IDispatch, connection.receiveVoid());
    if (created == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)) {
        chain.add("class.load", "library loads", Status::Broken, path + " exports no DllGetClassObject",
                  kRepairAdvice);
        return;
    }
    if (FAILED(created)) {
        chain.add("class.load", "library loads", Status::Broken,
                  "the connection object cannot be created: " + hexCode(created) + " " + describe(created),
                  kRepairAdvice);
        return;
    }
    chain.add("class.load", "library loads", Status::Ok, "loaded; the connection object was created");
    connection.reset();
    checkTypeLibrary(chain);
}

}  // namespace doctor
