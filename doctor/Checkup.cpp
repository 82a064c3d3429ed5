#include "doctor/Checkup.h"

#include "doctor/Chain.h"

namespace doctor {

const char* statusName(Status status) {
    switch (status) {
        case Status::Ok:
            return "ok";
        case Status::Warning:
            return "warning";
        case Status::Broken:
            return "broken";
    }
    return "broken";
}

void Chain::add(const char* link, const char* title, Status status, std::string found, std::string fix) {
    report.findings.push_back(
        {link, title, status, std::move(found), status == Status::Ok ? std::string() : std::move(fix)});
}

Report runCheckup() {
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
