// Office's own reasons for keeping an add-in off that its key does not show: the DLL's signature, the
// Trust Center's and the administrators' policies, and the user's Disabled Items. Each host gets one line and
// one verdict, taken in the order Office applies the rules.
#include <windows.h>
#include <wintrust.h>

#include "doctor/Chain.h"
#include "doctor/AddInNames.h"
#include "doctor/HostRules.h"
#include "trust/Signature.h"
#include "win/AnsiText.h"

namespace doctor {
namespace {

constexpr char kAskAdministrator[] = "only your administrator can change a policy";

std::string quoted(const std::wstring& text) {
    return "\"" + win::narrow(text) + "\"";
}

bool altered(const trust::Signature& signature) {
    return signature.present && signature.trustResult == TRUST_E_BAD_DIGEST;
}

// The DLL's signature as the signature policy sees it: why it is not trusted, or empty when it is.
std::string untrustedBecause(const trust::Signature& signature) {
    if (!signature.present) return "it is not signed";
    if (altered(signature)) return "it was changed after it was signed";
    if (signature.verifies && signature.trustedPublisher) return {};
    if (signature.signer.empty()) return "it is signed, but not by a trusted publisher";
    return "it is signed by " + quoted(signature.signer) + ", who is not a trusted publisher";
}

// The host's rules on the add-in, given that its key lets it load; `allows` says whether they do.
Finding verdictFor(const Chain& chain, int index, const HostRules& rules, bool* allows) {
    const HostNames& host = kHosts[index];
    const std::string app = host.title;
    Finding result{std::string("rules.") + host.link, app + " rules", Status::Broken, {}, kAskAdministrator};
    *allows = false;
    if (rules.on(rules.disableAll)) {
        result.found = "policy DisableAllAddins = 1 (" + win::narrow(rules.disableAll->where) + "): " + app +
                       " loads no add-in at all";
        return result;
    }
    if (rules.managed == L'0') {
        result.found = "the administrators' list of managed add-ins always disables it (" +
                       win::narrow(rules.managedWhere) + " = \"0\")";
        return result;
    }
    if (!rules.managed && rules.on(rules.restrictToList)) {
        result.found = "policy RestrictToList = 1 (" + win::narrow(rules.restrictToList->where) +
                       ") blocks add-ins not on the administrators' list, and it is not on it";
        result.fix = std::string("ask your administrator to list ") + kProgId + " under AddinList";
        return result;
    }
    const bool alwaysOn = rules.managed == L'1';
    const DisabledRecord* record = alwaysOn ? nullptr : rules.recordFor(chain.serverPath);
    if (record) {
        result.found = app + "'s Disabled Items name it (value " + quoted(record->valueName) + ": " +
                       quoted(record->friendlyName) + ", " + win::narrow(record->path) + "): " + app +
                       " does not load it";
        result.fix = "run quillery-doctor --repair, or in " + app +
                     " enable it under File > Options > Add-ins > Manage: Disabled Items";
        return result;
    }
    if (rules.on(rules.requireSignature) && !chain.serverPath.empty()) {
        const std::string why = untrustedBecause(chain.signature);
        if (!why.empty()) {
            result.found =
                "policy RequireAddinSig = 1 (" + win::narrow(rules.requireSignature->where) +
                ") loads only add-ins signed by a trusted publisher, and " + why +
                (rules.on(rules.noPrompt) ? "; no message bar says so (NoTBPromptUnsignedAddin = 1)"
                                          : "; a message bar says it was disabled");
            result.fix = altered(chain.signature) || !chain.signature.present
                             ? std::string("reinstall Quillery from its signed package")
                             : "ask your administrator to trust the signer as a publisher";
            return result;
        }
    }
    *allows = true;
    result.status = Status::Ok;
    result.fix.clear();
    result.found = alwaysOn ? "the administrators' list always enables it (" + win::narrow(rules.managedWhere) +
                                  " = \"1\"), whatever its LoadBehavior and Disabled Items say"
                            : "no policy and no Disabled Items record keeps it off";
    if (rules.doNotDisable) result.found += "; DoNotDisableAddinList keeps " + app + " from disabling it";
    std::string unreadable;
    for (const DisabledRecord& item : rules.disabledItems) {
        if (!item.readable)
            unreadable += (unreadable.empty() ? "" : "; ") + std::string("value ") + quoted(item.valueName) +
                          ": " + item.problem;
    }
    if (!unreadable.empty()) {
        // A record we cannot read might be ours in a layout we do not know.
        result.status = Status::Warning;
        result.found += "; Disabled Items records that cannot be read (" + unreadable + ") are passed over";
        result.fix = "in " + app + " look under File > Options > Add-ins > Manage: Disabled Items";
    }
    return result;
}

}  // namespace

void checkSignature(Chain& chain) {
    chain.serverPath = machineServerPath();
    if (chain.serverPath.empty()) return;  // the class links say so
    chain.signature = trust::verifySignature(chain.serverPath);
    const trust::Signature& signature = chain.signature;
    std::string found = win::narrow(chain.serverPath) + ": ";
    if (!signature.present) {
        chain.add("class.signature", "signature", Status::Warning, found + "not signed",
                  "reinstall Quillery from its signed package");
        return;
    }
    found += "signed by " +
             (signature.signer.empty() ? std::string("an unknown signer") : quoted(signature.signer));
    // A time stamp says when a signature was made only when the signature holds.
    if (signature.verifies)
        found += signature.timeStamp.empty() ? ", no time stamp" : ", time stamp " + signature.timeStamp;
    found += signature.verifies ? "; verifies" : "; does not verify (" + hexCode(signature.trustResult) + ")";
    if (signature.verifies && !signature.revocationChecked)
        found += " (revocation not checked: neither this machine nor, within " +
                 std::to_string(trust::kRevocationTimeoutMs / 1000) +
                 " seconds, its certificates' distribution points said whether a certificate of its chain is "
                 "revoked)";
    found += signature.trustedPublisher ? "; a trusted publisher" : "; not a trusted publisher";
    if (signature.verifies) {
        chain.add("class.signature", "signature", Status::Ok, found);
    } else {
        chain.add("class.signature", "signature", Status::Warning, found,
                  altered(signature)
                      ? "the file was changed after signing: reinstall Quillery"
                      : signature.trustResult == CRYPT_E_REVOKED
                            ? "its signing certificate is revoked: install Quillery from a current package"
                            : "the signer's certificate does not chain to a root this machine trusts");
    }
}

void checkOfficeRules(Chain& chain) {
    for (int index = 0; index < kHostCount; ++index) {
        const HostRules rules = readHostRules(kHosts[index].officeKey);
        bool allows = false;
        Finding finding = verdictFor(chain, index, rules, &allows);
        chain.officeAllows[index] = allows;
        // Always enabled by the administrators: the key's LoadBehavior no longer keeps it off (a host still
        // knows only the add-ins it has a key for).
        if (allows && rules.managed == L'1' && chain.hostHasKey[index] && !chain.hostLoadsAddIn[index]) {
            chain.hostLoadsAddIn[index] = true;
            for (Finding& keyLine : chain.report.findings) {
                if (keyLine.link == std::string("office.") + kHosts[index].link) {
                    keyLine.status = Status::Ok;
                    keyLine.fix.clear();
                }
            }
        }
        chain.report.findings.push_back(std::move(finding));
    }
}

}  // namespace doctor
