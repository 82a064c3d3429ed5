#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "doctor/DisabledItemsList.h"

namespace doctor {

// Office's own reasons for not loading an add-in whose key says "load at start-up", read as the doctor's own
// answer to "will this host load it": the Trust Center's and the administrators' policies, and the user's
// Disabled Items. Texts are wide; the links narrow them for the report.

// "Software\Policies\Microsoft\Office\16.0\Word\<section>" and
// "Software\Microsoft\Office\16.0\Word\Resiliency": every current Office reads its policies and keeps its
// resiliency lists under version 16.0.
std::wstring policyPath(const char* officeKey, const wchar_t* section);
std::wstring resiliencyPath(const char* officeKey);
std::wstring disabledItemsPath(const char* officeKey);

// One policy value that is set, and where it was read ("HKLM\...\Security\RequireAddinSig").
struct SetPolicy {
    DWORD value = 0;
    std::wstring where;
};

struct HostRules {
    std::optional<SetPolicy> disableAll;        // DisableAllAddins, machine's before the user's
    std::optional<SetPolicy> requireSignature;  // RequireAddinSig
    std::optional<SetPolicy> noPrompt;          // NoTBPromptUnsignedAddin
    std::optional<SetPolicy> restrictToList;    // RestrictToList
    // The managed list's word on the add-in: '0' always off, '1' always on, '2' the user decides.
    wchar_t managed = 0;
    std::wstring managedWhere;
    bool doNotDisable = false;  // DoNotDisableAddinList names the add-in
    std::vector<DisabledRecord> disabledItems;

    bool on(const std::optional<SetPolicy>& policy) const { return policy && policy->value == 1; }
    // The record that names `dllPath` (case does not matter), or null.
    const DisabledRecord* recordFor(const std::wstring& dllPath) const;
};

HostRules readHostRules(const char* officeKey);

}  // namespace doctor
