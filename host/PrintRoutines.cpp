#include "host/PrintRoutines.h"

#include <array>

namespace host {

namespace {

// The status a routine reports for an object the host should have handed out and did not.
constexpr Status kNoObject = static_cast<Status>(0x80004003);

// The page setup is read and written back in this order.
constexpr std::array<PageSetupMember, 4> kPageSetupOrder = {
    PageSetupMember::BlackAndWhite, PageSetupMember::FitToPagesTall, PageSetupMember::FitToPagesWide,
    PageSetupMember::Zoom};

// Excel hands out its page setup afresh for each access; every get and put fetches it and gives it back.
class SheetPageSetup {
public:
    SheetPageSetup(HostAutomation& host, Reference& worksheet) : host_(host), worksheet_(worksheet) {}

    Status get(PageSetupMember member, ValueRef& value) {
        Ref pageSetup;
        const Status status = fetch(pageSetup);
        if (failed(status)) return status;
        const Status read = host_.getPageSetup(*pageSetup, member, value);
        return failed(read) || value ? read : kNoObject;
    }
    Status put(PageSetupMember member, const Value& value) {
        Ref pageSetup;
        const Status status = fetch(pageSetup);
        return failed(status) ? status : host_.putPageSetup(*pageSetup, member, value);
    }

private:
    Status fetch(Ref& pageSetup) {
        const Status status = host_.pageSetupOf(worksheet_, pageSetup);
        return failed(status) || pageSetup ? status : kNoObject;
    }

    HostAutomation& host_;
    Reference& worksheet_;
};

// The changes printing makes to the page setup, in order; ends at the first that fails.
bool changePageSetup(HostAutomation& host, SheetPageSetup& pageSetup, bool blackAndWhite, bool fitToPage) {
    if (failed(pageSetup.put(PageSetupMember::BlackAndWhite, *host.truthValue(blackAndWhite)))) return false;
    if (fitToPage) {
        // One page wide and as many pages tall as Excel allows.
        return !failed(pageSetup.put(PageSetupMember::FitToPagesTall, *host.numberValue(32767))) &&
               !failed(pageSetup.put(PageSetupMember::FitToPagesWide, *host.numberValue(1))) &&
               !failed(pageSetup.put(PageSetupMember::Zoom, *host.truthValue(false)));
    }
    return !failed(pageSetup.put(PageSetupMember::Zoom, *host.numberValue(100)));
}

// Slides.Count of the active presentation, then its PrintOut from 0 to that count; each fetches the
// presentation afresh.
bool printPresentation(HostAutomation& host, Reference& application) {
    int32_t count = 0;
    {
        Ref presentation;
        if (failed(host.activePresentation(application, presentation)) || !presentation) return false;
        Ref slides;
        if (failed(host.slidesOf(*presentation, slides)) || !slides) return false;
        if (failed(host.slideCount(*slides, count))) return false;
    }
    Ref presentation;
    if (failed(host.activePresentation(application, presentation)) || !presentation) return false;
    return host.printOutPresentation(*presentation, 0, count, 1, 0) == kOk;
}

}  // namespace

bool printWord(HostAutomation& host, int32_t pagesPerSheet) noexcept {
    try {
        Ref application = host.wordApplication();
        if (!application) return false;
        const WordZoom zoom = wordZoomFor(pagesPerSheet);
        return !failed(host.printOutDocument(*application, zoom.columns, zoom.rows));
    } catch (...) {
        return false;
    }
}

bool printExcel(HostAutomation& host, bool blackAndWhite, bool fitToPage) noexcept {
    try {
        // Declared in this order so that they are given back worksheet first, then sheet, then application.
        Ref application = host.excelApplication();
        if (!application) return false;
        Ref sheet;
        if (failed(host.activeSheet(*application, sheet)) || !sheet) return false;
        Ref worksheet = host.worksheetOf(*sheet);
        if (!worksheet) return false;  // a chart sheet: nothing touched

        SheetPageSetup pageSetup(host, *worksheet);
        std::array<ValueRef, kPageSetupOrder.size()> saved;
        for (size_t index = 0; index < kPageSetupOrder.size(); ++index) {
            if (failed(pageSetup.get(kPageSetupOrder[index], saved[index]))) return false;
        }

        // From here on the sheet's own values go back whatever happens; a change that failed may still have
        // been made.
        bool printed = false;
        try {
            printed = changePageSetup(host, pageSetup, blackAndWhite, fitToPage) &&
                      host.printOutSheet(*worksheet) == kOk;
        } catch (...) {
            printed = false;
        }
        for (size_t index = 0; index < kPageSetupOrder.size(); ++index) {
            try {
                pageSetup.put(kPageSetupOrder[index], *saved[index]);
            } catch (...) {
                // The other values still go back.
            }
        }
        return printed;
    } catch (...) {
        return false;
    }
}

bool printPowerPoint(HostAutomation& host, bool blackAndWhite, int32_t layout) noexcept {
    try {
        Ref application = host.powerPointApplication();
        if (!application) return false;
        // Read as PowerPoint's own print path does; the name itself is not needed.
        std::wstring printer;
        if (failed(host.activePrinter(*application, printer))) return false;

        Ref options;
        {
            Ref presentation;
            if (failed(host.activePresentation(*application, presentation)) || !presentation) return false;
            if (failed(host.printOptionsOf(*presentation, options))) return false;
        }

        // A value that cannot be read is put back as 1 (colour, slides). The options' own statuses are not
        // looked at.
        int32_t savedColorType = 1;
        int32_t savedOutputType = 1;
        // Nothing is put back before the first change: a read that ends the routine must not overwrite the
        // user's options with 1.
        bool changed = false;
        bool printed = false;
        try {
            if (options) {
                int32_t value = 0;
                if (!failed(host.getPrintOption(*options, PrintOption::ColorType, value)))
                    savedColorType = value;
                if (!failed(host.getPrintOption(*options, PrintOption::OutputType, value)))
                    savedOutputType = value;
                changed = true;
                host.putPrintOption(*options, PrintOption::ColorType,
                                    blackAndWhite ? kPrintBlackAndWhite : kPrintColor);
                host.putPrintOption(*options, PrintOption::OutputType, outputTypeFor(layout));
            }
            printed = printPresentation(host, *application);
        } catch (...) {
            printed = false;
        }
        if (changed) {
            try {
                host.putPrintOption(*options, PrintOption::ColorType, savedColorType);
            } catch (...) {
            }
            try {
                host.putPrintOption(*options, PrintOption::OutputType, savedOutputType);
            } catch (...) {
            }
        }
        return printed;
    } catch (...) {
        return false;
    }
}

}  // namespace host
