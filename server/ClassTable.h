#pragma once

#include <windows.h>

#include <atomic>

#include "server/ClassFactory.h"

// One creatable class of the library.
struct ClassEntry {
    const CLSID* classId;
    // Number of the registrar script (REGISTRY resource) that registers the class.
    int scriptId;
    CreateInstanceFunction createInstance;
    // Created on first request and kept until the library unloads.
    std::atomic<CComClassFactory*> cachedFactory;
};

// The registrar scripts of the two classes.
constexpr int kConnectScriptId = 100;
constexpr int kSimpleAddInScriptId = 102;

// The class table: CConnect first, then CSimpleATLAddIn, walked in this order by every operation.
constexpr int kClassCount = 2;
ClassEntry* classTable() noexcept;

// False when the class table's lock could not be set up while the library loaded.
bool classTableReady() noexcept;

// The class factory of `classId`, asked for `iid`: the cached factory, created once even when several threads
// ask at the same time.
HRESULT getClassObject(REFCLSID classId, REFIID iid, void** object) noexcept;
