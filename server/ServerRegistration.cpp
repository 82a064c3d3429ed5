// The server layer of registration: the classes' registrar scripts and the embedded type library.
#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstdio>
#include <new>
#include <string>

#include "server/AddInModule.h"
#include "server/ClassTable.h"
#include "server/registrar/RegistrarParser.h"
#include "server/registrar/SharedClassesKept.h"
#include "server/registrar/Win32ScriptRegistry.h"
#include "win/AnsiText.h"
#include "win/ClassRegistration.h"
#include "win/ComPtr.h"
#include "win/EntryPoint.h"
#include "win/FailurePolicy.h"
#include "win/UniqueBstr.h"
#include "win/UniqueHkey.h"
#include "win/PathCompare.h"
#include "win/UniqueLibrary.h"

namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;
// The longest path Windows names a module by (its \\?\ form).
constexpr std::size_t kLongestPath = 32768;
constexpr char kScriptResourceType[] = "REGISTRY";
constexpr wchar_t kTypeLibraryExtension[] = L".tlb";

// The library file's path, however long: 0 characters is the platform's failure, a full buffer a path that
// did not fit, read again into a larger one. Throws std::bad_alloc when memory runs out.
HRESULT modulePath(HINSTANCE instance, std::string& path) {
    std::string buffer(kPathBufferSize, '\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(instance, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) return lastErrorResult();
        if (length < buffer.size()) {
            path.assign(buffer, 0, length);
            return S_OK;
        }
        if (buffer.size() >= kLongestPath) return win::resultFromError(ERROR_INSUFFICIENT_BUFFER);
        buffer.resize(buffer.size() * 2);
    }
}

// The server layer runs in the system's default locale, so that nothing it writes depends on the user's.
class SystemLocaleScope {
public:
    SystemLocaleScope() noexcept : saved_(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { ::SetThreadLocale(saved_); }
    SystemLocaleScope(const SystemLocaleScope&) = delete;
    SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

private:
    LCID saved_;
};

// Loads the type library from the library file itself, or else from a ".tlb" file beside it.
HRESULT loadTypeLibrary(HINSTANCE instance, std::wstring& loadedPath, win::ComPtr<ITypeLib>& library) {
    std::string narrow;
    HRESULT result = modulePath(instance, narrow);
    if (FAILED(result)) return result;
    const std::size_t slash = narrow.find_last_of('\\');
    const std::size_t dot = narrow.find_last_of('.');
    const std::size_t extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : narrow.size();

    std::wstring path = win::widen(narrow);
    if (path.empty()) return E_OUTOFMEMORY;
    result = ::LoadTypeLib(path.c_str(), library.receive());
    if (FAILED(result)) {
        // Characters before the extension position in the narrow path; in a double-byte code page the wide
        // path is shorter, so it is cut where the narrow prefix ends.
        path = win::wideFrom(win::kAnsiCodePage, narrow.data(), extension);
        path += kTypeLibraryExtension;
        result = ::LoadTypeLib(path.c_str(), library.receive());
        if (FAILED(result)) return result;
    }
    loadedPath = path;
    return S_OK;
}

HRESULT registerTypeLibrary(HINSTANCE instance) {
    std::wstring path;
    win::ComPtr<ITypeLib> library;
    HRESULT result = loadTypeLibrary(instance, path, library);
    if (FAILED(result)) return result;
    win::UniqueBstr helpFile;
    std::wstring helpDirectory;
    const bool helpKnown =
        SUCCEEDED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.receive()));
    if (helpKnown) {
        std::wstring file =
            helpFile.get() ? std::wstring(helpFile.get(), ::SysStringLen(helpFile.get())) : L"";
        if (file.size() >= kPathBufferSize) file.resize(kPathBufferSize - 1);
        const std::size_t cut = file.find_last_of(L"\\/:");
        helpDirectory = cut == std::wstring::npos ? std::wstring() : file.substr(0, cut + 1);
    }
    return ::RegisterTypeLib(library.get(), &path[0], helpKnown ? &helpDirectory[0] : nullptr);
}

// The type library's key, of the form "TypeLib\\{library id}\\<major>.<minor>\\<locale>\\<system kind>", is
// one key for both bitnesses on 64-bit Windows; each registers its own file under its system kind.
const char* systemKindName(SYSKIND kind) {
    switch (kind) {
        case SYS_WIN16:
            return "win16";
        case SYS_WIN32:
            return "win32";
        case SYS_MAC:
            return "mac";
        case SYS_WIN64:
            return "win64";
    }
    return nullptr;
}

std::string guidText(const GUID& guid) {
    wchar_t wide[40] = {};
    ::StringFromGUID2(guid, wide, 40);
    return std::string(wide, wide + 38);
}

// Loads this library's type library and hands its attributes to `use`; they are given back however `use`
// ends.
template <typename Use>
HRESULT withLibraryAttributes(HINSTANCE instance, Use use) {
    std::wstring path;
    win::ComPtr<ITypeLib> library;
    HRESULT result = loadTypeLibrary(instance, path, library);
    if (FAILED(result)) return result;
    TLIBATTR* attributes = nullptr;
    result = library->GetLibAttr(&attributes);
    if (FAILED(result)) return result;
    struct Release {
        ITypeLib* library;
        TLIBATTR* attributes;
        ~Release() { library->ReleaseTLibAttr(attributes); }
    } release{library.get(), attributes};
    return use(*attributes);
}

HRESULT unregisterTypeLibrary(HINSTANCE instance) {
    return withLibraryAttributes(instance, [](const TLIBATTR& attributes) {
        return ::UnRegisterTypeLib(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum,
                                   attributes.lcid, attributes.syskind);
    });
}

// While the library of the other bitness stays registered, only this library's entry of the type library
// goes. The platform's own unregistration would also take the interfaces' entries, which both bitnesses
// registered alike and the other still needs.
HRESULT unregisterTypeLibraryEntry(HINSTANCE instance) {
    return withLibraryAttributes(instance, [](const TLIBATTR& attributes) -> HRESULT {
        const char* kind = systemKindName(attributes.syskind);
        // An entry that is not there is what the platform reports for a library that is not registered;
        // anything else the registry says (access denied, say) is passed on as it is.
        if (!kind) return E_INVALIDARG;
        std::array<char, 128> entry{};
        std::snprintf(entry.data(), entry.size(), "TypeLib\\%s\\%x.%x\\%lx\\%s",
                      guidText(attributes.guid).c_str(), attributes.wMajorVerNum, attributes.wMinorVerNum,
                      static_cast<unsigned long>(attributes.lcid), kind);
        const LONG status = ::RegDeleteKeyA(HKEY_CLASSES_ROOT, entry.data());
        if (status == ERROR_FILE_NOT_FOUND) return E_INVALIDARG;
        return win::resultFromError(status);
    });
}

// A 32-bit process on 64-bit Windows; its registry view is the 32-bit one.
bool underWow64() {
    using Wow64Query = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = ::GetModuleHandleA("kernel32");
    const auto query =
        kernel ? entryPointAs<Wow64Query>(::GetProcAddress(kernel, "IsWow64Process")) : nullptr;
    BOOL answer = FALSE;
    return query && query(::GetCurrentProcess(), &answer) && answer == TRUE;
}

// The library file's path as Windows names it, however long.
std::wstring widePath(HINSTANCE instance) {
    std::wstring path(kPathBufferSize, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(instance, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

// A path that the wide functions open whole: one past MAX_PATH in its \\?\ form.
std::wstring openable(std::wstring path) {
    if (path.size() >= MAX_PATH && path.rfind(L"\\\\?\\", 0) != 0) path.insert(0, L"\\\\?\\");
    return path;
}

}  // namespace

// Throws when memory runs out: guessing "no" would take away what the other bitness still needs.
bool CAddInModule::otherBitnessRegistered() {
    // On 32-bit Windows there is one view and the flag changes nothing: what is found there is this library's
    // own registration, or that of another copy of it, which the shared keys serve as well.
    const REGSAM otherView = underWow64() ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    const std::wstring own = widePath(instance_);
    if (own.empty()) return false;
    for (const ClassEntry& entry : productClasses()) {
        // What the other bitness's registration wrote: the machine's classes, whatever the path's length. A
        // user's own classes are no registration of the product's, and must not keep the machine's shared
        // keys from an administrator's unregistration.
        const auto server = win::inprocServer(*entry.classId, win::ClassScope::Machine, otherView);
        if (server && !win::samePath(server->path, own)) return true;
    }
    return false;
}

HRESULT CAddInModule::runRegistrarScript(int scriptId, bool doRegister) noexcept {
    return runRegistrarScript(scriptId, doRegister, false);
}

HRESULT CAddInModule::runRegistrarScript(int scriptId, bool doRegister, bool keepSharedClasses) noexcept {
    return comBoundary([&]() -> HRESULT {
        registrar::RegistrarVariables variables;
        HRESULT result = variables.defineVariable("APPID", "");
        std::string path;
        if (SUCCEEDED(result)) result = modulePath(instance_, path);
        if (FAILED(result)) return result;
        const std::string module = registrar::doubledQuotes(path, ansiTextRules().isLeadByte);
        result = variables.defineVariable("Module", module.c_str());
        if (SUCCEEDED(result)) result = variables.defineVariable("Module_Raw", module.c_str());
        if (FAILED(result)) return result;

        // By its wide path: the narrow functions stop at MAX_PATH.
        win::UniqueLibrary data(
            ::LoadLibraryExW(openable(widePath(instance_)).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!data) return lastErrorResult();
        HRSRC resource = ::FindResourceA(data.get(), MAKEINTRESOURCEA(scriptId), kScriptResourceType);
        if (!resource) return lastErrorResult();
        HGLOBAL loaded = ::LoadResource(data.get(), resource);
        if (!loaded) return lastErrorResult();
        const DWORD size = ::SizeofResource(data.get(), resource);
        const void* bytes = ::LockResource(loaded);
        if (size == 0 || !bytes) return lastErrorResult();
        const std::string script(static_cast<const char*>(bytes), size);

        Win32ScriptRegistry registry;
        registrar::SharedClassesKept sharedKept(registry);
        registrar::RegistrarParser parser(
            keepSharedClasses ? static_cast<registrar::ScriptRegistry&>(sharedKept) : registry, variables,
            ansiTextRules());
        return parser.processScript(script, doRegister);
    });
}

// Registration builds paths and strings throughout: running out of memory anywhere in it is reported as
// E_OUTOFMEMORY to regsvr32 or the installer, never the end of their process.
HRESULT CAddInModule::registerServer() noexcept {
    return comBoundary([&]() -> HRESULT {
        SystemLocaleScope locale;
        for (const ClassEntry& entry : productClasses()) {
            const HRESULT result = runRegistrarScript(entry.scriptId, true);
            if (FAILED(result)) return result;
        }
        return registerTypeLibrary(instance_);
    });
}

HRESULT CAddInModule::unregisterServer() noexcept {
    return comBoundary([&]() -> HRESULT {
        SystemLocaleScope locale;
        // The library of the other bitness shares part of the registration with this one (64-bit Windows
        // keeps only some keys apart per view); while it stays registered, that part stays.
        const bool otherBitness = otherBitnessRegistered();
        for (const ClassEntry& entry : productClasses()) {
            const HRESULT result = runRegistrarScript(entry.scriptId, false, otherBitness);
            if (FAILED(result)) return result;
        }
        return otherBitness ? unregisterTypeLibraryEntry(instance_) : unregisterTypeLibrary(instance_);
    });
}
