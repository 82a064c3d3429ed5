#pragma once

#include <windows.h>
#include <oleauto.h>

namespace win {

// Owns one BSTR and frees it exactly once with SysFreeString.
class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    // Takes ownership of an already allocated BSTR.
    explicit UniqueBstr(BSTR text) noexcept : text_(text) {}
    ~UniqueBstr() { reset(); }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&& other) noexcept : text_(other.release()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    BSTR get() const noexcept { return text_; }
    UINT length() const noexcept { return ::SysStringLen(text_); }
    explicit operator bool() const noexcept { return text_ != nullptr; }
    BSTR release() noexcept {
        BSTR text = text_;
        text_ = nullptr;
        return text;
    }
    void reset(BSTR text = nullptr) noexcept {
        if (text_) ::SysFreeString(text_);
        text_ = text;
    }
    // For out-parameters: the previous string is freed first.
    BSTR* receive() noexcept {
        reset();
        return &text_;
    }

private:
    BSTR text_ = nullptr;
};

}  // namespace win
