#pragma once

#include <windows.h>

#include "server/CriticalSection.h"

// One per loaded library: counts the server locks that keep the library loaded, runs the clean-up list when
// the library unloads, and guards the one-time loading of type information.
class CAddInModule {
public:
    using TermFunction = void (*)(void* argument);

    CAddInModule() noexcept;
    // Runs the clean-up list, newest registration first.
    ~CAddInModule();
    CAddInModule(const CAddInModule&) = delete;
    CAddInModule& operator=(const CAddInModule&) = delete;

    bool initFailed() const noexcept { return initFailed_; }
    void markInitFailed() noexcept { initFailed_ = true; }

    void lock() noexcept { ::InterlockedIncrement(&lockCount_); }
    void unlock() noexcept { ::InterlockedDecrement(&lockCount_); }
    LONG lockCount() const noexcept {
        return ::InterlockedCompareExchange(const_cast<LONG*>(&lockCount_), 0, 0);
    }

    // E_OUTOFMEMORY when the list node cannot be allocated; nothing is pushed then.
    HRESULT addTermFunction(TermFunction function, void* argument) noexcept;

    CriticalSection& moduleLock() noexcept { return moduleLock_; }

    // Registration of every class in the class table and of the embedded type library, under the system's
    // default thread locale (the caller's locale is restored afterwards, whatever the outcome). While the
    // library of the other bitness stays registered, unregistration leaves what the two share.
    HRESULT registerServer() noexcept;
    HRESULT unregisterServer() noexcept;
    // Runs the class's registrar script (a REGISTRY resource of this library) in one direction; with
    // `keepSharedClasses`, the part of the classes root that both bitnesses share is not removed.
    HRESULT runRegistrarScript(int scriptId, bool doRegister) noexcept;
    HRESULT runRegistrarScript(int scriptId, bool doRegister, bool keepSharedClasses) noexcept;
    // Whether the library of the other bitness (on 64-bit Windows, the 32-bit library beside the 64-bit one
    // or the other way round) is registered for one of the classes: another file is the server in the other
    // registry view.
    bool otherBitnessRegistered();

    // The library's instance handle, recorded by DllMain.
    HINSTANCE instance() const noexcept { return instance_; }
    void setInstance(HINSTANCE instance) noexcept { instance_ = instance; }

private:
    struct TermNode {
        TermFunction function;
        void* argument;
        TermNode* next;
    };

    bool initFailed_ = false;
    volatile LONG lockCount_ = 0;
    TermNode* termFunctions_ = nullptr;
    CriticalSection moduleLock_;
    HINSTANCE instance_ = nullptr;
};

// The library's one module object.
CAddInModule& addInModule() noexcept;
