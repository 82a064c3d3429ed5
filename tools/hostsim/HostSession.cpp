#include "tools/hostsim/HostSession.h"

#include <optional>

#include "tools/hostsim/OfficeRules.h"

namespace hostsim {

HostSession::HostSession(const HostProfile& host, Options options)
    : host_(host), options_(options), office_(host.host) {}

HostSession::~HostSession() {
    shutDown();
}

void HostSession::start() {
    if (started_) return;
    started_ = true;
    const OfficeRules rules(host_, options_.signatureCheck);
    startFindings_ = rules.findings();
    for (AddInKey& key : discoverAddIns(host_)) {
        ListedAddIn listed{std::move(key), nullptr, {}};
        const LoadDecision decision = rules.decide(listed.key);
        if (decision.refusal) listed.findings.push_back(*decision.refusal);
        if (decision.load) {
            listed.session = std::make_unique<AddInSession>(host_, office_.application(), options_.addIn);
            std::optional<Finding> disabled;
            if (!listed.session->load(listed.key.progId))
                disabled = rules.disableFailed(listed.key, decision);
            else if (options_.disableSlowAddIns &&
                     listed.session->loadMilliseconds() > options_.addIn.slowLoadMilliseconds)
                disabled = rules.disableSlow(listed.key, decision);
            if (disabled) listed.findings.push_back(*disabled);
        }
        addIns_.push_back(std::move(listed));
    }
}

bool HostSession::perform(const UserAction& action) {
    for (ListedAddIn& listed : addIns_) {
        if (listed.session && listed.session->control(action.controlId))
            return listed.session->perform(action);
    }
    return false;
}

bool HostSession::reloadAddIns() {
    bool reloaded = true;
    for (ListedAddIn& listed : addIns_) {
        if (listed.session && listed.session->connected()) reloaded &= listed.session->reload();
    }
    return reloaded;
}

void HostSession::shutDown() {
    if (!started_ || shutDown_) return;
    shutDown_ = true;
    for (ListedAddIn& listed : addIns_) {
        if (listed.session) listed.session->beginShutdown();
    }
    for (ListedAddIn& listed : addIns_) {
        if (listed.session) listed.session->unload();
    }
    for (const std::wstring& held : office_.heldObjects())
        hostFindings_.push_back({Finding::Kind::ReferencesHeld, std::wstring(host_.title) + L"'s object " +
                                                                    held + L" is still held after exit"});
}

AddInSession* HostSession::loaded(const std::wstring& progId) const {
    for (const ListedAddIn& listed : addIns_) {
        if (listed.session && _wcsicmp(listed.key.progId.c_str(), progId.c_str()) == 0)
            return listed.session.get();
    }
    return nullptr;
}

const Finding* HostSession::ListedAddIn::refusal() const {
    for (const Finding& finding : findings) {
        if (finding.kind == Finding::Kind::Refused) return &finding;
    }
    return nullptr;
}

std::vector<Finding> HostSession::findings() const {
    std::vector<Finding> all = startFindings_;
    for (const ListedAddIn& listed : addIns_) {
        if (listed.session)
            all.insert(all.end(), listed.session->findings().begin(), listed.session->findings().end());
        all.insert(all.end(), listed.findings.begin(), listed.findings.end());
    }
    all.insert(all.end(), hostFindings_.begin(), hostFindings_.end());
    return all;
}

}  // namespace hostsim
