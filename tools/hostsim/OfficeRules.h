#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "doctor/DisabledItemsList.h"
#include "tools/hostsim/AddInDiscovery.h"
#include "tools/hostsim/AddInSession.h"
#include "tools/hostsim/SignatureCheck.h"

namespace hostsim {

// The version under which every current Office (2016, 2019, 2021, 2024, Microsoft 365) keeps its resiliency
// lists and reads its policies.
constexpr wchar_t kOfficeVersion[] = L"16.0";

// "Software\Microsoft\Office\16.0\Word\Resiliency" (under HKCU)
std::wstring resiliencyKeyPath(const HostProfile& host);
// "Software\Policies\Microsoft\Office\16.0\Word\<section>" (under HKLM and HKCU)
std::wstring policyKeyPath(const HostProfile& host, const wchar_t* section);

// What the host decided about one add-in key before creating anything.
struct LoadDecision {
    bool load = false;  // create and connect it now
    // The administrators' list says "always enabled": the user's LoadBehavior, Disabled Items and resiliency
    // do not apply to it.
    bool alwaysEnabled = false;
    std::optional<Finding> refusal;  // the rule that keeps it off, in Office's words
};

// Office's own rules for loading add-ins at start-up, beyond the add-in keys' LoadBehavior, read once per
// start of a host:
//  - the Trust Center's policies (Software\Policies\...\<App>\Security): "DisableAllAddins" 1 keeps every
//    add-in off; "RequireAddinSig" 1 loads only DLLs signed by a trusted publisher, the others disabled with
//    a message bar, or silently when "NoTBPromptUnsignedAddin" is 1;
//  - the administrators' add-in policies (Software\Policies\...\<App>\Resiliency): "AddinList\<ProgID>" "0"
//    always off, "1" always on, "2" the user decides; "RestrictToList" 1 keeps off every add-in not listed;
//  - the user's Disabled Items (Software\Microsoft\Office\16.0\<App>\Resiliency\DisabledItems), matched by
//  the
//    add-in's InprocServer32 path ignoring case;
//  - the resiliency that disables a failing add-in for the user (LoadBehavior 2 under HKCU, as Office writes
//    it even when the add-in is registered for the machine) and, when asked, a slow one (a Disabled Items
//    record), except those "DoNotDisableAddinList" names.
// Each policy is read from HKEY_LOCAL_MACHINE first and from HKEY_CURRENT_USER when the machine has no value:
// the machine's policy wins, as a computer's policy prevails over a user's where both are set. The Trust
// Center's rules hold for every add-in: no list turns one on that they keep off.
class OfficeRules {
public:
    OfficeRules(const HostProfile& host, SignatureCheck signatureCheck);

    LoadDecision decide(const AddInKey& key) const;
    // Soft disable after the add-in failed to be created or to connect: LoadBehavior 2 in the user's own key.
    std::optional<Finding> disableFailed(const AddInKey& key, const LoadDecision& decision) const;
    // After a start-up over the resiliency limit: a Disabled Items record for its DLL, unless it is always
    // enabled or DoNotDisableAddinList names it.
    std::optional<Finding> disableSlow(const AddInKey& key, const LoadDecision& decision) const;
    // The Disabled Items values that could not be read.
    const std::vector<Finding>& findings() const { return findings_; }

private:
    const doctor::DisabledRecord* disabledItemFor(const std::wstring& dllPath) const;
    std::optional<Finding> signatureRefusal(const AddInKey& key, const std::wstring& dllPath) const;

    const HostProfile& host_;
    SignatureCheck signatureCheck_;
    std::vector<doctor::DisabledRecord> disabledItems_;
    std::vector<Finding> findings_;
};

// The DLL that COM loads for the ProgID (its class's InprocServer32, environment strings expanded); empty
// when the ProgID or its class is not registered.
std::wstring inprocServerPath(const std::wstring& progId);

}  // namespace hostsim
