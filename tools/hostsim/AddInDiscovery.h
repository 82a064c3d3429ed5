#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/hostsim/OfficeDouble.h"

namespace hostsim {

// One of the three Office hosts as its start-up meets an add-in: the name on the simulator's command line,
// the name of its key under Software\Microsoft\Office, the ribbon it builds, and its automation double.
struct HostProfile {
    const wchar_t* name;          // "word"
    const wchar_t* registryName;  // "Word"
    const wchar_t* title;         // "Microsoft Word"
    const wchar_t* ribbonId;      // "Microsoft.Word.Document"
    OfficeDouble::Host host;
};

const std::vector<HostProfile>& hostProfiles();
// The profile named (ignoring case), or null.
const HostProfile* hostNamed(const std::wstring& name);

// One add-in key under Software\Microsoft\Office\<Host>\Addins, as the host's start-up reads it. When the
// same ProgID is registered for the machine and for the user, the host lists it once and the user's key
// decides: it is where the COM Add-ins dialog keeps a user's choice, since a user may not write the machine's
// key.
struct AddInKey {
    std::wstring progId;
    bool perUser = false;          // found under HKEY_CURRENT_USER (else HKEY_LOCAL_MACHINE)
    bool hasLoadBehavior = false;  // a REG_DWORD "LoadBehavior" is there
    DWORD loadBehavior = 0;
    std::wstring friendlyName;
    std::wstring description;

    // Only "Loaded, load at start-up" (3) connects an add-in when the host starts.
    bool loadsAtStartup() const { return hasLoadBehavior && loadBehavior == 3; }
    // The load behaviour as the COM Add-ins dialog words it.
    std::wstring loadBehaviorText() const;
    // "HKCU\Software\Microsoft\Office\Word\Addins\<ProgID>"
    std::wstring keyPath(const HostProfile& host) const;
};

// The host's add-in keys, machine keys first, each list in the registry's order; per-user keys replace the
// machine key of the same ProgID (compared ignoring case) in place.
std::vector<AddInKey> discoverAddIns(const HostProfile& host);

// "Software\Microsoft\Office\Word\Addins"
std::wstring addInsKeyPath(const HostProfile& host);

}  // namespace hostsim
