#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace doctor {

// Office's own reasons for not loading an add-in whose key says "load at start-up", read as the doctor's own
// answer to "will this host load it": the Trust Center's and the administrators' policies, and the user's
// Disabled Items. Texts are wide; the links narrow them for the report.

// The add-in's ProgID, as the policies and Office's lists name it.
constexpr wchar_t kProgIdWide[] = L"TandrelQuillery.Connect";

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

// A Disabled Items value: the file it names when it parses, why not when it does not.
struct DisabledRecord {
    std::wstring valueName;
    DWORD type = 0;
    std::vector<uint8_t> bytes;  // as stored, to restore it
    bool readable = false;
    std::wstring path;
    std::wstring friendlyName;
    std::string problem;
};

// Reads one record. Office does not document the layout; what it writes is three little-endian 32-bit words
// (the kind of item; the byte lengths of the path and of the friendly name, each with its NUL) followed by
// the two UTF-16LE strings. Lengths that run past the value make it unreadable; nothing is guessed.
void parseDisabledRecord(DisabledRecord& record);

// Whether the record plainly names `dllPath` (case does not matter): one that cannot be read names nothing.
bool namesFile(const DisabledRecord& record, const std::wstring& dllPath);

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

// The DLL that COM loads for the add-in's ProgID (its class's InprocServer32, environment strings expanded);
// empty when not registered. `view` is 0 for this process's own registry view, or KEY_WOW64_32KEY or
// KEY_WOW64_64KEY for the view a process of that bitness sees (the class key is kept apart per view).
std::wstring registeredServerPath(REGSAM view = 0);

// The process's ANSI text of a wide one, as the report's findings carry it.
std::string narrow(const std::wstring& text);

}  // namespace doctor
