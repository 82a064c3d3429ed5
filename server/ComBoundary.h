#pragma once

#include <windows.h>

#include <new>

// Nothing thrown may cross a COM boundary: every exported method runs its body through here, which turns
// running out of memory into E_OUTOFMEMORY and anything else into E_UNEXPECTED.
template <typename Body>
HRESULT comBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
