#pragma once

#include <windows.h>
#include <unknwn.h>

// Creates one object of a class: outer unknown (or null), requested interface, out pointer.
using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

// The class object of one class. The class table keeps one reference for as long as the library is loaded;
// that reference alone never keeps the library loaded, while every reference handed out does (a server lock
// is held while the count is above one).
class CComClassFactory final : public IClassFactory {
public:
    // A factory holding one reference (the class table's); null when memory runs out.
    static CComClassFactory* create(CreateInstanceFunction createInstance) noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

private:
    explicit CComClassFactory(CreateInstanceFunction createInstance) noexcept
        : createInstance_(createInstance) {}
    ~CComClassFactory() = default;

    volatile LONG references_ = 1;
    CreateInstanceFunction createInstance_;
};
