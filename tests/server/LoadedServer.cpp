#include "tests/server/LoadedServer.h"

#include <unknwn.h>

#include "win/EntryPoint.h"
#include "tools/hostsim/AddInLocation.h"
#include "win/ComPtr.h"

LoadedServer::LoadedServer() {
    static int copies = 0;
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    path_ = std::wstring(folder) + L"quillery-frame-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(++copies) + L".dll";
    if (!::CopyFileW(hostsim::addInBesideProgram().c_str(), path_.c_str(), FALSE)) return;
    module_ = ::LoadLibraryW(path_.c_str());
    if (!module_) return;
    getClassObject_ = entryPointAs<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        ::GetProcAddress(module_, "DllGetClassObject"));
    canUnloadNow_ = entryPointAs<HRESULT(WINAPI*)()>(::GetProcAddress(module_, "DllCanUnloadNow"));
}

LoadedServer::~LoadedServer() {
    if (module_) ::FreeLibrary(module_);
    ::DeleteFileW(path_.c_str());
}

HRESULT LoadedServer::getClassObject(REFCLSID classId, REFIID iid, void** object) const {
    return getClassObject_ ? getClassObject_(classId, iid, object) : E_UNEXPECTED;
}

HRESULT LoadedServer::canUnloadNow() const {
    return canUnloadNow_ ? canUnloadNow_() : E_UNEXPECTED;
}

HRESULT LoadedServer::create(REFCLSID classId, IUnknown* outer, REFIID iid, void** object) const {
    win::ComPtr<IClassFactory> factory;
    const HRESULT result = getClassObject(classId, IID_IClassFactory, factory.receiveVoid());
    if (FAILED(result)) return result;
    return factory->CreateInstance(outer, iid, object);
}
