#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "doctor/Account.h"
#include "doctor/Finding.h"
#include "settings/DriverCapabilities.h"
#include "settings/PrinterQuery.h"
#include "settings/RegistryAccess.h"
#include "settings/ToolbarSettings.h"
#include "trust/Signature.h"

namespace doctor {

enum HostIndex { kWord, kExcel, kPowerPoint, kHostCount };

struct HostNames {
    const char* title;      // "Word"
    const char* link;       // "word"
    const char* officeKey;  // the host's folder under Software\Microsoft\Office
};
extern const HostNames kHosts[kHostCount];

// A ribbon control as its markup declares it: the id and the callbacks it binds.
struct DeclaredControl {
    std::string id;
    bool boundLabel = false;
    bool boundSupertip = false;
    bool boundItems = false;
};

// What the walk has learnt so far; later links depend on earlier ones.
struct Chain {
    // `api` stands for the registry's entry points, which a test may watch or refuse.
    explicit Chain(const RegistryApi& api = RegistryApi())
        : registry(api), settings(std::make_unique<RegistryAccess>(api), std::make_unique<PrinterQuery>()) {}

    Report report;
    RegistryAccess registry;
    ToolbarSettings settings;

    bool hostHasKey[kHostCount] = {};
    bool hostLoadsAddIn[kHostCount] = {};
    // Office's policies, signature rule and Disabled Items let the host load it.
    bool officeAllows[kHostCount] = {};
    bool serverReady = false;
    // The DLL that COM loads for the add-in, and its signature.
    std::wstring serverPath;
    trust::Signature signature;
    bool hostHasMarkup[kHostCount] = {};
    // The controls of the markup each host will be handed.
    std::vector<DeclaredControl> controls[kHostCount];

    void add(const char* link, const char* title, Status status, std::string found, std::string fix = {});
};

// The chain as Office of this program's bitness meets it, in this program's registry view.
Report runChain();
// Which Office is installed and the add-in each one finds; the chain for each of them, walked by this program
// or by the doctor of the other bitness beside that Office's add-in.
Report checkEveryOffice();

// The links, in the order Office meets them.
void checkOfficeKeys(Chain& chain);
void checkSignature(Chain& chain);
void checkOfficeRules(Chain& chain);
void checkClassRegistration(Chain& chain);
void checkInstallationKey(Chain& chain);
void checkMarkup(Chain& chain);
void checkStrings(Chain& chain);
void checkPrinter(Chain& chain);
// Whether the account the doctor runs as may store the one-shot values in the driver's key, as the add-in opens
// it at Print; elevated, it cannot judge a standard user's rights and says so.
void checkDriverAccess(Chain& chain, const Account& account);
void checkRibbons(Chain& chain);

// Small registry questions the add-in itself never asks; `view` 0 is the process's own.
bool keyExists(HKEY root, const std::string& path, REGSAM view = 0);

// The add-in DLL that the machine's own classes register for Office of `view`; never what a user's classes
// name, which the doctor only reports. Empty when the machine registers none.
std::wstring machineServerPath(REGSAM view = 0);

}  // namespace doctor
