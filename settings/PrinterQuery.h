#pragma once

#include <string>

// The two questions the settings ask the printer spooler: which printer is the user's default, and which
// friendly name the maker's driver recorded for it.
struct SpoolerLoader;

class PrinterQuery {
public:
    // `loader` (kept, not owned) replaces the system's loader entry points; null for the system's own.
    explicit PrinterQuery(const SpoolerLoader* loader = nullptr) : loader_(loader) {}

    // The user's default printer, or empty when there is none or the system predates the NT family version 5.
    std::string defaultPrinterName() const noexcept;
    // The "OriginalFriendlyName" printer data of the named printer, or empty when the printer cannot be
    // opened or its driver is not the maker's.
    std::string friendlyNameOf(const std::string& printerName) const noexcept;

private:
    const SpoolerLoader* loader_;
};
