#pragma once

#include <string>

// The two questions the settings ask the printer spooler: which printer is the user's default, and which
// friendly name the maker's driver recorded for it.
class PrinterQuery {
public:
    // The user's default printer, or empty when there is none or the system predates the NT family version 5.
    std::string defaultPrinterName() const noexcept;
    // The "OriginalFriendlyName" printer data of the named printer, or empty when the printer cannot be
    // opened or its driver is not the maker's.
    std::string friendlyNameOf(const std::string& printerName) const noexcept;
};
