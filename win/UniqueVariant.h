#pragma once

#include <windows.h>
#include <oleauto.h>

namespace win {

// Owns one VARIANT and clears it exactly once with VariantClear.
class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&value_); }
    ~UniqueVariant() { ::VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    const VARIANT& get() const noexcept { return value_; }
    VARIANT& get() noexcept { return value_; }
    // For out-parameters: whatever was held is cleared first.
    VARIANT* receive() noexcept {
        ::VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

}  // namespace win
