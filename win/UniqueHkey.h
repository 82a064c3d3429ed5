#pragma once

#include <windows.h>

namespace win {

// Owns one open registry key and closes it exactly once. Predefined root keys are never owned.
class UniqueHkey {
public:
    UniqueHkey() noexcept = default;
    explicit UniqueHkey(HKEY key) noexcept : key_(key) {}
    ~UniqueHkey() { reset(); }
    UniqueHkey(const UniqueHkey&) = delete;
    UniqueHkey& operator=(const UniqueHkey&) = delete;
    UniqueHkey(UniqueHkey&& other) noexcept : key_(other.release()) {}
    UniqueHkey& operator=(UniqueHkey&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HKEY get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != nullptr; }
    HKEY release() noexcept {
        HKEY key = key_;
        key_ = nullptr;
        return key;
    }
    void reset(HKEY key = nullptr) noexcept {
        if (key_) ::RegCloseKey(key_);
        key_ = key;
    }
    // For out-parameters: the previous key is closed first, so nothing leaks between the call and its owner.
    HKEY* receive() noexcept {
        reset();
        return &key_;
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace win
