#include "doctor/Checkup.h"

#include "doctor/Chain.h"

namespace doctor {

void Chain::add(const char* link, const char* title, Status status, std::string found, std::string fix) {
    report.findings.push_back(
        {link, title, status, std::move(found), status == Status::Ok ? std::string() : std::move(fix)});
}

Report runCheckup(Scope scope) {
    return scope == Scope::ThisBitness ? runChain() : checkEveryOffice();
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
    checkRibbons(chain);
    return std::move(chain.report);
}

}  // namespace doctor
