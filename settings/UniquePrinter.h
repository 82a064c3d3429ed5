#pragma once

#include <windows.h>
#include <winspool.h>

namespace win {

// Owns one printer handle from OpenPrinter and closes it exactly once.
class UniquePrinter {
  public:
    UniquePrinter() noexcept = default;
    explicit UniquePrinter(HANDLE printer) noexcept : printer_(printer) {}
    ~UniquePrinter() { reset(); }
    UniquePrinter(const UniquePrinter&) = delete;
    UniquePrinter& operator=(const UniquePrinter&) = delete;
    UniquePrinter(UniquePrinter&& other) noexcept : printer_(other.release()) {}
    UniquePrinter& operator=(UniquePrinter&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    HANDLE get() const noexcept { return printer_; }
    explicit operator bool() const noexcept { return printer_ != nullptr; }
    HANDLE release() noexcept {
        HANDLE printer = printer_;
        printer_ = nullptr;
        return printer;
    }
    void reset(HANDLE printer = nullptr) noexcept {
        if (printer_)
            ::ClosePrinter(printer_);
        printer_ = printer;
    }
    // For out-parameters: the previous printer is closed first.
    HANDLE* receive() noexcept {
        reset();
        return &printer_;
    }

  private:
    HANDLE printer_ = nullptr;
};

}  // namespace win
