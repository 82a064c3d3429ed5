#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

// A private copy of the add-in DLL, loaded under its own name: a fresh module with fresh static state (no
// class factory created yet, no lock taken), whose exports the tests call directly as COM would.
class LoadedServer {
public:
    LoadedServer();
    ~LoadedServer();
    LoadedServer(const LoadedServer&) = delete;
    LoadedServer& operator=(const LoadedServer&) = delete;

    bool loaded() const { return module_ != nullptr; }
    HRESULT getClassObject(REFCLSID classId, REFIID iid, void** object) const;
    HRESULT canUnloadNow() const;
    // Creates an object through the class's factory.
    HRESULT create(REFCLSID classId, IUnknown* outer, REFIID iid, void** object) const;

private:
    std::wstring path_;
    HMODULE module_ = nullptr;
    HRESULT(WINAPI* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnloadNow_)() = nullptr;
};
