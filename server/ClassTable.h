#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>

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

// The classes the library serves, in the order every operation walks them.
struct ClassTable {
    ClassEntry* rows;
    std::size_t count;

    ClassEntry* begin() const noexcept { return rows; }
    ClassEntry* end() const noexcept { return rows + count; }
};

// The product hands its classes to the frame by defining this; the rows are constant-initialised, so they
// are there before any of the library's static objects is built.
ClassTable productClasses() noexcept;

// False when the class table's lock could not be set up while the library loaded.
bool classTableReady() noexcept;

// The class factory of `classId`, asked for `iid`: the cached factory, created once even when several threads
// ask at the same time.
HRESULT getClassObject(REFCLSID classId, REFIID iid, void** object) noexcept;
