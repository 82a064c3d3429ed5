#pragma once

#include <windows.h>

namespace win {

// Owns one reference to a module loaded with LoadLibrary and frees it exactly once.
class UniqueLibrary {
public:
    UniqueLibrary() noexcept = default;
    explicit UniqueLibrary(HMODULE module) noexcept : module_(module) {}
    ~UniqueLibrary() { reset(); }
    UniqueLibrary(const UniqueLibrary&) = delete;
    UniqueLibrary& operator=(const UniqueLibrary&) = delete;
    UniqueLibrary(UniqueLibrary&& other) noexcept : module_(other.release()) {}
    UniqueLibrary& operator=(UniqueLibrary&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HMODULE get() const noexcept { return module_; }
    explicit operator bool() const noexcept { return module_ != nullptr; }
    HMODULE release() noexcept {
        HMODULE module = module_;
        module_ = nullptr;
        return module;
    }
    void reset(HMODULE module = nullptr) noexcept {
        if (module_) ::FreeLibrary(module_);
        module_ = module;
    }

private:
    HMODULE module_ = nullptr;
};

}  // namespace win
