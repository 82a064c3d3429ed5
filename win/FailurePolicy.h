#pragma once

#include <windows.h>

#include <memory>
#include <new>
#include <utility>

#include "win/ErrorResult.h"

// The add-in's one failure policy. Nothing thrown ever crosses a COM boundary: a COM method or export whose
// body can throw runs it through comBoundary, which turns running out of memory into E_OUTOFMEMORY and
// anything else into E_UNEXPECTED; the others call only code that cannot throw. Inside, a step whose failure
// can only mean "not there" runs through orFallback, so that one failed step leaves its result absent and the
// rest goes on.

template <typename Body>
HRESULT comBoundary(Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The body's result, or `fallback` when it throws.
template <typename Result, typename Body>
Result orFallback(Result fallback, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return fallback;
    }
}

// A new T, or null when it cannot be built.
template <typename T, typename... Args>
std::unique_ptr<T> makeOrNull(Args&&... args) noexcept {
    return orFallback(std::unique_ptr<T>(), [&] { return std::make_unique<T>(std::forward<Args>(args)...); });
}

// The result of the platform call that just failed on this thread, from its last error.
inline HRESULT lastErrorResult() noexcept {
    return win::resultFromFailure(::GetLastError());
}
