#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/hostsim/AddInDiscovery.h"
#include "tools/hostsim/AddInSession.h"
#include "tools/hostsim/OfficeDouble.h"

namespace hostsim {

// One run of an Office host, from start-up to exit: it reads the host's add-in keys (machine and user), loads
// every add-in whose LoadBehavior says so through an AddInSession each, with its automation double as the
// application object, lets the user act on the groups, and at exit shuts every add-in down (first
// OnBeginShutdown to all, then OnDisconnection and the release of each) and checks that the application and
// everything it handed out are back at their counts. The simulator, the tests, the benchmark and the soak all
// start the host through this. The caller's thread must be in a single-threaded apartment.
class HostSession {
public:
    struct Options {
        AddInSession::Options addIn;
    };

    struct ListedAddIn {
        AddInKey key;
        std::unique_ptr<AddInSession> session;  // null when the load behaviour does not load it
    };

    HostSession(const HostProfile& host, Options options);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    void start();
    // Acts on the control of that id in whichever loaded group holds it; false when none does or the action
    // failed.
    bool perform(const UserAction& action);
    void shutDown();

    const HostProfile& profile() const { return host_; }
    OfficeDouble& office() { return office_; }
    const std::vector<ListedAddIn>& addIns() const { return addIns_; }
    // The session of a loaded add-in by ProgID, or null.
    AddInSession* loaded(const std::wstring& progId) const;
    // The host's own findings (the application object held after exit) and those of every add-in, in order.
    std::vector<Finding> findings() const;

private:
    const HostProfile& host_;
    Options options_;
    OfficeDouble office_;
    std::vector<ListedAddIn> addIns_;
    std::vector<Finding> hostFindings_;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace hostsim
