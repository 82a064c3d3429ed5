// The links on the printing side: the user's default printer, whether the maker's driver serves it, the
// driver's settings key with the one-shot options it offers, and so what each host will show.
#include <windows.h>

#include "addin/ControlCatalogue.h"
#include "doctor/Chain.h"
#include "settings/PrinterQuery.h"
#include "text/AnsiCodePage.h"

namespace doctor {
namespace {

struct OneShot {
    const char* valueName;
    bool DriverCapabilities::*flag;
};

const OneShot kOneShots[] = {
    {"OnceBlackAndWhite", &DriverCapabilities::blackAndWhite},
    {"OnceDuplex", &DriverCapabilities::duplex},
    {"OnceNUp", &DriverCapabilities::nUp},
    {"OncePrintQuality", &DriverCapabilities::printQuality},
};

}  // namespace

void checkPrinter(Chain& chain) {
    const PrinterQuery printers;
    const std::string name = printers.defaultPrinterName();
    if (!chain.settings.hasDefaultPrinter()) {
        chain.add(
            "printer.default", "default printer", Status::Broken,
            "none: without a default printer the add-in hands Office no ribbon",
            "choose a default printer in Windows' printer settings (with \"Let Windows manage my default "
            "printer\" turned off), then restart Office");
        return;
    }
    chain.add("printer.default", "default printer", Status::Ok, name);

    const std::string friendly = printers.friendlyNameOf(name);
    if (friendly.empty()) {
        chain.add("printer.maker", "maker's driver", Status::Warning,
                  name + " is not served by a Corvane driver: only the generic controls show",
                  "make a Corvane printer the default printer, or reinstall its driver");
        return;
    }
    chain.add("printer.maker", "maker's driver", Status::Ok, "Corvane driver, " + friendly);

    const std::string& key = chain.settings.printerSettingsKeyPath();
    // The driver keeps its key in the 64-bit view, where the 32-bit add-in asks for it as well.
    if (!keyExists(HKEY_LOCAL_MACHINE, key, chain.registry.isWow64() ? KEY_WOW64_64KEY : 0)) {
        chain.add("printer.driver-key", "driver settings", Status::Warning,
                  "HKLM\\" + key +
                      " is missing: the driver takes no one-shot options, only the generic controls show",
                  "reinstall the printer driver");
        return;
    }
    const DriverCapabilities driver = chain.settings.capabilities();
    std::string offered;
    for (const OneShot& option : kOneShots) {
        if (driver.*option.flag) offered += (offered.empty() ? "" : ", ") + std::string(option.valueName);
    }
    chain.add("printer.driver-key", "driver settings", driver.any() ? Status::Ok : Status::Warning,
              "HKLM\\" + key + " offers " + (offered.empty() ? std::string("no one-shot option") : offered),
              driver.any() ? std::string() : "reinstall the printer driver");
}

void checkDriverAccess(Chain& chain, const Account& account) {
    const std::string& key = chain.settings.printerSettingsKeyPath();
    if (key.empty() || !chain.settings.capabilities().any()) return;  // nothing for the add-in to write
    const char* link = "printer.driver-access";
    const char* title = "one-shot values";
    if (account.elevated || account.system) {
        chain.add(link, title, Status::Warning,
                  "not judged: the doctor runs " + std::string(account.system ? "as SYSTEM" : "elevated") +
                      ", and an administrator may set values in HKLM\\" + key +
                      " where a standard user may not",
                  "run the doctor as the user who prints, without elevation, to know whether their choices reach "
                  "the driver");
        return;
    }
    if (chain.registry.canWrite(HKEY_LOCAL_MACHINE, key, true)) {
        chain.add(link, title, Status::Ok, account.name + " may set the one-shot values in HKLM\\" + key);
        return;
    }
    // The add-in ignores a failed write by design: the job prints with the driver's own defaults, and nothing
    // else tells the user why their choices did not reach it.
    chain.add(link, title, Status::Warning,
              account.name + " may not set values in HKLM\\" + key +
                  ": the ribbon shows, but the choices made there are ignored at Print and the driver prints with "
                  "its own defaults",
              "the driver's installer grants its users Set Value on that key; reinstall the printer driver, or "
              "have an administrator grant the users who print Set Value on HKLM\\" + key +
                  " (regedit: the key's Permissions)");
}

void checkRibbons(Chain& chain) {
    const DriverCapabilities driver = chain.settings.capabilities();
    bool* shows[kHostCount] = {&chain.report.wordShows, &chain.report.excelShows,
                               &chain.report.powerPointShows};
    for (int index = 0; index < kHostCount; ++index) {
        const HostNames& host = kHosts[index];
        const std::string link = std::string("ribbon.") + host.link;
        const std::string title = std::string(host.title) + " ribbon";
        std::string blockers;
        auto block = [&](bool holds, const char* why) {
            if (!holds) blockers += (blockers.empty() ? "" : ", ") + std::string(why);
        };
        block(chain.hostLoadsAddIn[index], "add-in key");
        block(chain.officeAllows[index], "Office's rules");
        block(chain.serverReady, "class registration");
        block(chain.settings.hasDefaultPrinter(), "default printer");
        block(chain.hostHasMarkup[index], "markup");
        if (!blockers.empty()) {
            chain.add(link.c_str(), title.c_str(), Status::Broken, "does not show; broken: " + blockers,
                      "mend the links marked BROKEN above");
            continue;
        }
        *shows[index] = true;
        std::string visible;
        for (const DeclaredControl& control : chain.controls[index]) {
            if (controls::isVisible(control.id, driver, AnsiCodePage::instance()))
                visible += (visible.empty() ? "" : ", ") + control.id;
        }
        chain.add(link.c_str(), title.c_str(), Status::Ok,
                  std::string(driver.any() ? "full" : "generic") + " markup; shows " + visible);
    }
}

}  // namespace doctor
