#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/hostsim/AddInDiscovery.h"
#include "tools/hostsim/AddInSession.h"
#include "tools/hostsim/OfficeDouble.h"
#include "tools/hostsim/SignatureCheck.h"

namespace hostsim {

// One run of an Office host, from start-up to exit: it reads the host's add-in keys (machine and user), loads
// every add-in whose LoadBehavior and Office's rules (OfficeRules) let load through an AddInSession each,
// with its automation double as the application object, lets the user act on the groups, and at exit shuts
// every add-in down (first OnBeginShutdown to all, then OnDisconnection and the release of each) and checks
// that the application and everything it handed out are back at their counts. The simulator, the tests, the
// benchmark and the soak all start the host through this. The caller's thread must be in a single-threaded
// apartment.
class HostSession {
public:
    struct Options {
        AddInSession::Options addIn;
        // Asked about an add-in's DLL when policy loads only add-ins signed by a trusted publisher.
        SignatureCheck signatureCheck = checkSignature;
        // Office may disable an add-in that started slowly, with a Disabled Items record; off, a slow start
        // is only reported, so that one slow start on a busy machine does not keep the add-in off in every
        // later run of the same prefix.
        bool disableSlowAddIns = false;
    };

    struct ListedAddIn {
        AddInKey key;
        std::unique_ptr<AddInSession> session;  // null when the load behaviour or a rule does not load it
        // What Office's rules said of it: why it was refused, or that Office disabled it at this start.
        std::vector<Finding> findings;

        const Finding* refusal() const;
    };

    HostSession(const HostProfile& host, Options options);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    void start();
    // Acts on the control of that id in whichever loaded group holds it; false when none does or the action
    // failed.
    bool perform(const UserAction& action);
    // The user unticks every loaded add-in in the COM Add-ins dialog and ticks it on again
    // (AddInSession::reload); false when one of them could not be connected again.
    bool reloadAddIns();
    void shutDown();

    const HostProfile& profile() const { return host_; }
    OfficeDouble& office() { return office_; }
    const std::vector<ListedAddIn>& addIns() const { return addIns_; }
    // The session of a loaded add-in by ProgID, or null.
    AddInSession* loaded(const std::wstring& progId) const;
    // What the host found at start (unreadable Disabled Items records), what it found about every add-in in
    // order, and its own findings at exit (the application object still held).
    std::vector<Finding> findings() const;

private:
    const HostProfile& host_;
    Options options_;
    OfficeDouble office_;
    std::vector<ListedAddIn> addIns_;
    std::vector<Finding> startFindings_;
    std::vector<Finding> hostFindings_;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace hostsim
