// The server layer of registration: the classes' registrar scripts and the embedded type library.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "server/AddInModule.h"
#include "server/ClassTable.h"
#include "server/registrar/RegistrarParser.h"
#include "server/registrar/Win32ScriptRegistry.h"
#include "win/ComPtr.h"
#include "win/FailurePolicy.h"
#include "win/UniqueBstr.h"
#include "win/UniqueLibrary.h"

namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;
constexpr char kScriptResourceType[] = "REGISTRY";
constexpr wchar_t kTypeLibraryExtension[] = L".tlb";

// The library file's path: 0 characters is the platform's failure, a full buffer a path that did not fit.
HRESULT modulePath(HINSTANCE instance, std::string& path) {
    char buffer[kPathBufferSize] = {};
    const DWORD length = ::GetModuleFileNameA(instance, buffer, kPathBufferSize);
    if (length == 0) return lastErrorResult();
    if (length == kPathBufferSize) return win::resultFromError(ERROR_INSUFFICIENT_BUFFER);
    path.assign(buffer, length);
    return S_OK;
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

    const int length = ::MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    if (length <= 0) return E_OUTOFMEMORY;
    std::wstring path(static_cast<std::size_t>(length - 1), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, &path[0], length) <= 0) return E_OUTOFMEMORY;
    result = ::LoadTypeLib(path.c_str(), library.receive());
    if (FAILED(result)) {
        if (extension + 5 > kPathBufferSize) return E_FAIL;
        // Characters before the extension position in the narrow path; in a double-byte code page the wide
        // path is shorter, so it is cut where the narrow prefix ends.
        const int prefix =
            ::MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), static_cast<int>(extension), nullptr, 0);
        path.resize(static_cast<std::size_t>(prefix));
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

HRESULT unregisterTypeLibrary(HINSTANCE instance) {
    std::wstring path;
    win::ComPtr<ITypeLib> library;
    HRESULT result = loadTypeLibrary(instance, path, library);
    if (FAILED(result)) return result;
    TLIBATTR* attributes = nullptr;
    result = library->GetLibAttr(&attributes);
    if (FAILED(result)) return result;
    result = ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                 attributes->lcid, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
    return result;
}

}  // namespace

HRESULT CAddInModule::runRegistrarScript(int scriptId, bool doRegister) noexcept {
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

        win::UniqueLibrary data(::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
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
        registrar::RegistrarParser parser(registry, variables, ansiTextRules());
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
        for (const ClassEntry& entry : productClasses()) {
            const HRESULT result = runRegistrarScript(entry.scriptId, false);
            if (FAILED(result)) return result;
        }
        return unregisterTypeLibrary(instance_);
    });
}
