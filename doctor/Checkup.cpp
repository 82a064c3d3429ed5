#include "doctor/Checkup.h"

#include "doctor/Account.h"
#include "doctor/Chain.h"

namespace doctor {

void Chain::add(const char* link, const char* title, Status status, std::string found, std::string fix) {
    report.findings.push_back(
        {link, title, status, std::move(found), status == Status::Ok ? std::string() : std::move(fix)});
}

namespace {

// Whose settings the report read: the user-specific links (HKCU's add-in keys, Disabled Items, the user's
// policies) are the running account's.
Finding accountFinding() {
    const Account account = currentAccount();
    if (!account.elevated && !account.system)
        return {"user.account", "account", Status::Ok, "read as " + account.name + ", not elevated", {}};
    return {"user.account", "account", Status::Warning,
            "read as " + account.name + (account.system ? ", as SYSTEM" : ", elevated") +
                ": the user-specific links are that account's own settings, not necessarily those of the user "
                "whose Office is checked",
            "run it as that user, without elevation, to read that user's settings"};
}

}  // namespace

Report runCheckup(Scope scope) {
    if (scope == Scope::ThisBitness) return runChain();
    Report report = checkEveryOffice();
    report.findings.insert(report.findings.begin(), accountFinding());
    return report;
}

Report runChain() {
    Chain chain;
    checkOfficeKeys(chain);
    checkSignature(chain);
    checkOfficeRules(chain);
    checkClassRegistration(chain);
    checkInstallationKey(chain);
    checkMarkup(chain);
    checkStrings(chain);
    checkPrinter(chain);
    checkDriverAccess(chain, currentAccount());
    checkRibbons(chain);
    return std::move(chain.report);
}

}  // namespace doctor
