#pragma once

#include <cstdint>

#include "host/HostAutomation.h"

// Printing the active document through the host's automation object model, at once and with no print dialog,
// on the host's current printer. Each routine reports whether the host accepted the print request; none of
// them throws, and every reference they take is given back before they return.
namespace host {

// Word prints several pages on one sheet by zooming: columns by rows.
struct WordZoom {
    int32_t columns;
    int32_t rows;
};
constexpr WordZoom wordZoomFor(int32_t pagesPerSheet) {
    switch (pagesPerSheet) {
        case 2:
            return {2, 1};
        case 4:
            return {2, 2};
        case 8:
            return {4, 2};
        default:
            return {1, 1};
    }
}

// PowerPoint's print settings: colour type and output type.
constexpr int32_t kPrintColor = 1;
constexpr int32_t kPrintBlackAndWhite = 2;
constexpr int32_t kPrintOutputSlides = 1;
constexpr int32_t kPrintOutputNotesPages = 5;
constexpr int32_t kPrintOutputOutline = 6;
// The ribbon's layout choice (1 notes pages, 2 outline, anything else slides) as PowerPoint's output type.
constexpr int32_t outputTypeFor(int32_t layout) {
    return layout == 1 ? kPrintOutputNotesPages : layout == 2 ? kPrintOutputOutline : kPrintOutputSlides;
}

// The active document with `pagesPerSheet` pages zoomed onto each sheet (1 when the driver puts pages
// together itself). Any status that is no failure counts as printed.
bool printWord(HostAutomation& host, int32_t pagesPerSheet) noexcept;

// The active worksheet, in black and white or not (the sheet's own setting never decides), fitted to one page
// wide when asked, else at zoom 100. Printed only when PrintOut answers S_OK exactly.
//
// The sheet's page setup is the user's: once its four values have been read, all four are written back on
// every path, in the order they were read, whatever failed before; a write-back that fails does not stop the
// others. A failed write-back does not change the result.
bool printExcel(HostAutomation& host, bool blackAndWhite, bool fitToPage) noexcept;

// The active presentation, all its slides, in black and white or colour, as slides, notes pages or outline
// (`layout` as outputTypeFor takes it). Printed only when PrintOut answers S_OK exactly.
//
// The presentation's print options are the user's and go back to what was read (1 for a value that could not
// be read) on every path once they were changed. A presentation without print options prints with none
// changed.
bool printPowerPoint(HostAutomation& host, bool blackAndWhite, int32_t layout) noexcept;

}  // namespace host
