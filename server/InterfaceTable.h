#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

// The QueryInterface of every object of the add-in: a table of (interface id, the object's part that
// implements it). A request for IUnknown gets the first row's part, so the first row fixes the object's
// identity.
template <typename Object>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*part)(Object* object);
};

template <typename Object, std::size_t N>
HRESULT queryInterfaceTable(Object* object, const InterfaceEntry<Object> (&table)[N], REFIID iid,
                            void** result) noexcept {
    if (!object) return E_INVALIDARG;
    if (!result) return E_POINTER;
    *result = nullptr;
    IUnknown* part = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
        part = table[0].part(object);
    } else {
        for (const InterfaceEntry<Object>& entry : table) {
            if (IsEqualIID(iid, *entry.iid)) {
                part = entry.part(object);
                break;
            }
        }
    }
    if (!part) return E_NOINTERFACE;
    part->AddRef();
    *result = part;
    return S_OK;
}

// Hands out `iid` of a newly built object, or E_OUTOFMEMORY when `object` could not be allocated. The object
// is held at one reference while the interface is looked up, so that a refused lookup destroys it again.
template <typename Object>
HRESULT handOutNew(Object* object, REFIID iid, void** result) noexcept {
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT status = object->QueryInterface(iid, result);
    object->Release();
    return status;
}

// The part of `object` that is the interface `Interface`, as the IUnknown the table hands out.
template <typename Object, typename Interface>
IUnknown* interfacePart(Object* object) {
    return static_cast<Interface*>(object);
}
