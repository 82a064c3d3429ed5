#pragma once

#include <unknwn.h>

#include <utility>

namespace win {

// Owns one counted reference to a COM interface and releases it exactly once.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Adds a reference of its own: the caller keeps (and releases) the pointer it passed.
    explicit ComPtr(T* pointer) noexcept : pointer_(pointer) {
        if (pointer_) pointer_->AddRef();
    }
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.pointer_) {}
    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr copy(other);
        swap(copy);
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : pointer_(other.detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) attach(other.detach());
        return *this;
    }

    // Takes over a reference that the caller already owns (one obtained from QueryInterface, say).
    static ComPtr adopt(T* pointer) noexcept {
        ComPtr result;
        result.pointer_ = pointer;
        return result;
    }

    T* get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    void attach(T* pointer) noexcept {
        reset();
        pointer_ = pointer;
    }
    T* detach() noexcept {
        T* pointer = pointer_;
        pointer_ = nullptr;
        return pointer;
    }
    void reset() noexcept {
        if (pointer_) {
            T* pointer = pointer_;
            pointer_ = nullptr;
            pointer->Release();
        }
    }
    void swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

    // For out-parameters of QueryInterface-style calls: the previous reference is released first.
    T** receive() noexcept {
        reset();
        return &pointer_;
    }
    void** receiveVoid() noexcept { return reinterpret_cast<void**>(receive()); }

    // Queries `source` for this pointer's interface; empty when the query is refused or `source` is null.
    template <typename U>
    static ComPtr queryFrom(U* source, REFIID iid) noexcept {
        ComPtr result;
        if (source) {
            if (FAILED(source->QueryInterface(iid, result.receiveVoid()))) result.pointer_ = nullptr;
        }
        return result;
    }

private:
    T* pointer_ = nullptr;
};

}  // namespace win
