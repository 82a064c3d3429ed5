#include "tools/hostsim/HostSession.h"

namespace hostsim {

HostSession::HostSession(const HostProfile& host, Options options)
    : host_(host), options_(options), office_(host.host) {}

HostSession::~HostSession() {
    shutDown();
}

void HostSession::start() {
    if (started_) return;
    started_ = true;
    for (AddInKey& key : discoverAddIns(host_)) {
        ListedAddIn listed{std::move(key), nullptr};
        if (listed.key.loadsAtStartup()) {
            listed.session = std::make_unique<AddInSession>(host_, office_.application(), options_.addIn);
            listed.session->load(listed.key.progId);
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

std::vector<Finding> HostSession::findings() const {
    std::vector<Finding> all;
    for (const ListedAddIn& listed : addIns_) {
        if (listed.session)
            all.insert(all.end(), listed.session->findings().begin(), listed.session->findings().end());
    }
    all.insert(all.end(), hostFindings_.begin(), hostFindings_.end());
    return all;
}

}  // namespace hostsim
