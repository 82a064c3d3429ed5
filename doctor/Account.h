#pragma once

#include <string>

namespace doctor {

// The account the doctor runs as, which decides whose HKCU it reads and repairs.
struct Account {
    std::string name;  // "DOMAIN\user", or the SID when the name cannot be looked up
    std::string sid;   // "S-1-5-21-..."
    bool elevated = false;  // a full administrator's token, as "Run as administrator" gives
    bool system = false;    // the LocalSystem account, as management agents run
};

Account currentAccount();

// Why --repair may not run as `account`, or empty when it may. Elevated, or as SYSTEM, HKCU is that account's
// own hive, often another administrator's rather than that of the user whose Office is broken; the user's
// Office state is the user's to repair, with no administrator's rights.
std::string whyNoRepair(const Account& account);

}  // namespace doctor
