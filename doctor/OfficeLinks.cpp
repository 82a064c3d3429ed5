// The links Office itself follows: each host's add-in key, the ProgID and class keys, the library they name,
// whether it loads and hands out the connection object, and the type library the ribbon's callbacks are bound
// through.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "doctor/Chain.h"
#include "doctor/Machine.h"
#include "doctor/OfficeBitness.h"
#include "win/ComPtr.h"
#include "win/EntryPoint.h"
#include "win/UniqueHkey.h"
#include "win/UniqueLibrary.h"

namespace doctor {

const HostNames kHosts[kHostCount] = {
    {"Word", "word", "Word"},
    {"Excel", "excel", "Excel"},
    {"PowerPoint", "powerpoint", "PowerPoint"},
};

namespace {

constexpr char kProgId[] = "TandrelQuillery.Connect";
constexpr DWORD kLoadAtStartup = 3;
constexpr char kRepair[] =
    "repair Quillery (Repair in the list of installed programs, or msiexec /fa <package>.msi)";

std::string braced(const GUID& guid) {
    wchar_t wide[40] = {};
    ::StringFromGUID2(guid, wide, 40);
    char narrow[40] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}

std::string hex(long code) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

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
std::string fileVersionOf(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::string block(size, '\0');
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, &block[0])) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info) return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
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
                kRepair);
            continue;
        }
        chain.hostHasKey[index] = true;
        const HKEY root = inUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const std::string where = std::string(inUser ? "HKCU\\" : "HKLM\\") + path;
        if (!chain.registry.probeDword(root, path, "LoadBehavior", false)) {
            chain.add(link.c_str(), title.c_str(), Status::Broken, where + " has no LoadBehavior",
                      std::string(kRepair));
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

void checkClassRegistration(Chain& chain) {
    const std::string expected = braced(CLSID_Connect);
    const std::string named =
        chain.registry.readString(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\CLSID", "", false);
    if (named.empty()) {
        chain.add(
            "class.progid", "ProgID", Status::Broken,
            std::string("HKCR\\") + kProgId + "\\CLSID is missing: Office cannot find the add-in's class",
            kRepair);
        return;
    }
    if (_stricmp(named.c_str(), expected.c_str()) != 0) {
        chain.add("class.progid", "ProgID", Status::Broken,
                  std::string(kProgId) + " names class " + named + ", not this add-in's " + expected,
                  kRepair);
        return;
    }
    chain.add("class.progid", "ProgID", Status::Ok, std::string(kProgId) + " -> " + expected);

    const std::string serverKey = "CLSID\\" + expected + "\\InprocServer32";
    const std::string path = chain.registry.readString(HKEY_CLASSES_ROOT, serverKey, "", false);
    const std::string threading =
        chain.registry.readString(HKEY_CLASSES_ROOT, serverKey, "ThreadingModel", false);
    if (path.empty()) {
        chain.add("class.server", "class server", Status::Broken, "HKCR\\" + serverKey + " names no library",
                  kRepair);
        return;
    }
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        chain.add("class.server", "class server", Status::Broken,
                  path + " is registered but not there (" + describe(::GetLastError()) + ")", kRepair);
        return;
    }
    if (_stricmp(threading.c_str(), "Apartment") != 0) {
        chain.add("class.server", "class server", Status::Broken,
                  path + " with ThreadingModel \"" + threading + "\"; the add-in needs \"Apartment\"",
                  kRepair);
        return;
    }
    const std::string version = fileVersionOf(path);
    chain.add("class.server", "class server", Status::Ok,
              path + " (version " + (version.empty() ? "unknown" : version) + ", Apartment)");

    // Load it as Office does: the library, its class factory export, then the connection object itself.
    win::UniqueLibrary library(::LoadLibraryExA(path.c_str(), nullptr, 0));
    if (!library) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BAD_EXE_FORMAT) {
            // Loaded for Office of this program's bitness, it must be built for this program's machine.
            chain.add("class.load", "library loads", Status::Broken,
                      path + " does not load: it is " + machineText(machineOfFile(path)) + ", and " +
                          bitsText(kThisBitness) + " Office needs " + machineText(machineFor(kThisBitness)),
                      kRepair);
            return;
        }
        chain.add("class.load", "library loads", Status::Broken, path + " does not load: " + describe(error),
                  kRepair);
        return;
    }
    if (!::GetProcAddress(library.get(), "DllGetClassObject")) {
        chain.add("class.load", "library loads", Status::Broken, path + " exports no DllGetClassObject",
                  kRepair);
        return;
    }
    win::ComPtr<IDispatch> connection;
    const HRESULT created = ::CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                               reinterpret_cast<void**>(connection.receive()));
    if (FAILED(created)) {
        chain.add("class.load", "library loads", Status::Broken,
                  "the connection object cannot be created: " + hex(created) + " " + describe(created),
                  kRepair);
        return;
    }
    chain.add("class.load", "library loads", Status::Ok, "loaded; the connection object was created");
    connection.reset();

    // The host binds the markup's callbacks by name through the registered type library.
    win::ComPtr<ITypeLib> typeLibrary;
    const HRESULT loaded = ::LoadRegTypeLib(LIBID_TandrelLib, kTypeLibraryMajor, kTypeLibraryMinor,
                                            LANG_NEUTRAL, typeLibrary.receive());
    const std::string typeLibraryText = "type library " + braced(LIBID_TandrelLib) + " " +
                                        std::to_string(kTypeLibraryMajor) + "." +
                                        std::to_string(kTypeLibraryMinor);
    if (FAILED(loaded)) {
        chain.add(
            "class.typelib", "type library", Status::Broken,
            typeLibraryText + " is not registered (" + hex(loaded) + "): the ribbon cannot call the add-in",
            kRepair);
        return;
    }
    chain.add("class.typelib", "type library", Status::Ok, typeLibraryText + " registered");
    chain.serverReady = true;
}

}  // namespace doctor
