#include "addin/ControlCatalogue.h"

#include <initializer_list>

#include "text/CodePage.h"

namespace controls {
namespace {

bool isOneOf(const std::string& upperId, std::initializer_list<const char*> ids, const CodePage& codePage) {
    for (const char* id : ids) {
        if (upperId == codePage.upper(id)) return true;
    }
    return false;
}

}  // namespace

bool isVisible(const std::string& id, const DriverCapabilities& driver, const CodePage& codePage) {
    const std::string upperId = codePage.upper(id);
    if (!driver.blackAndWhite && isOneOf(upperId, {kCheckBoxBlackAndWhiteWord}, codePage)) return false;
    if (!driver.duplex &&
        isOneOf(upperId, {kCheckBoxDuplexWord, kCheckBoxDuplexExcel, kCheckBoxDuplexPowerPoint}, codePage))
        return false;
    if (driver.nUp) {
        if (isOneOf(upperId, {kDropDownPagesPerSheetWord}, codePage)) return false;
    } else if (isOneOf(upperId, {kDropDownNUpWord, kDropDownNUpExcel, kDropDownNUpPowerPoint}, codePage)) {
        return false;
    }
    if (!driver.printQuality &&
        isOneOf(upperId,
                {kDropDownPrintQualityWord, kDropDownPrintQualityExcel, kDropDownPrintQualityPowerPoint},
                codePage))
        return false;
    return true;
}

}  // namespace controls
