#pragma once

#include <windows.h>

// The interfaces of Office's published object models that printing meets. The add-in asks for Excel's
// application and worksheet and for PowerPoint's slide collection; Word and PowerPoint are reached through
// their application object's IDispatch.
namespace office {

inline constexpr IID kWordApplication = {0x00020970, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID kExcelApplication = {0x000208D5, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID kExcelWorksheet = {0x000208D8, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID kPowerPointApplication = {
    0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
inline constexpr IID kPowerPointPresentation = {
    0x9149349D, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
// The collection interface on which PowerPoint's Slides declares Count.
inline constexpr IID kPowerPointCollection = {
    0x91493450, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};

}  // namespace office
