#pragma once

#include <windows.h>
#include <winspool.h>

#include "win/UniqueResource.h"

namespace win {

struct PrinterTraits {
    using Handle = HANDLE;
    static HANDLE none() noexcept { return nullptr; }
    static bool valid(HANDLE printer) noexcept { return printer != nullptr; }
    static void close(HANDLE printer) noexcept { ::ClosePrinter(printer); }
};

// Owns one printer handle from OpenPrinter and closes it exactly once.
using UniquePrinter = UniqueResource<PrinterTraits>;

}  // namespace win
