#pragma once

#include <windows.h>
#include <winspool.h>

#include "win/UniqueResource.h"

namespace win {

// The spooler is bound at run time (win/SystemLibrary.h), so its handles are closed through the ClosePrinter
// that was bound with the OpenPrinter that made them.
struct PrinterTraits {
    using Handle = HANDLE;
    decltype(&::ClosePrinter) closePrinter = nullptr;
    static HANDLE none() noexcept { return nullptr; }
    static bool valid(HANDLE printer) noexcept { return printer != nullptr; }
    void close(HANDLE printer) const noexcept {
        if (closePrinter) closePrinter(printer);
    }
};

// Owns one printer handle from OpenPrinter and closes it exactly once.
using UniquePrinter = UniqueResource<PrinterTraits>;

}  // namespace win
