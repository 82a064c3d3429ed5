#pragma once

#include <string>

#include "settings/DriverCapabilities.h"

class CodePage;

// The control ids the add-in knows by name: those whose visibility depends on what the printer driver takes.
// Every other control works purely through the callbacks its markup binds.
namespace controls {

constexpr const char kCheckBoxBlackAndWhiteWord[] = "CheckBoxBlackAndWhiteWordID";
constexpr const char kCheckBoxDuplexWord[] = "CheckBoxDuplexWordID";
constexpr const char kCheckBoxDuplexExcel[] = "CheckBoxDuplexExcelID";
constexpr const char kCheckBoxDuplexPowerPoint[] = "CheckBoxDuplexPowerPointID";
constexpr const char kDropDownNUpWord[] = "DropDownNUpWordID";
constexpr const char kDropDownNUpExcel[] = "DropDownNUpExcelID";
constexpr const char kDropDownNUpPowerPoint[] = "DropDownNUpPowerPointID";
constexpr const char kDropDownPagesPerSheetWord[] = "DropDownPagesPerSheetWordID";
constexpr const char kDropDownPrintQualityWord[] = "DropDownPrintQualityWordID";
constexpr const char kDropDownPrintQualityExcel[] = "DropDownPrintQualityExcelID";
constexpr const char kDropDownPrintQualityPowerPoint[] = "DropDownPrintQualityPowerPointID";

// Whether the control with `id` is shown (ids compared ignoring case in `codePage`). The driver's N-up
// replaces Word's own zoomed pages per sheet, so exactly one of the two is ever visible.
bool isVisible(const std::string& id, const DriverCapabilities& driver, const CodePage& codePage);

}  // namespace controls
