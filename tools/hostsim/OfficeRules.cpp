#include "tools/hostsim/OfficeRules.h"

#include <objbase.h>

#include <cstdio>

#include "doctor/DisabledItemRecord.h"
#include "doctor/DisabledItemsList.h"
#include "win/ClassRegistration.h"
#include "win/RegistryText.h"
#include "win/UniqueHkey.h"

namespace hostsim {
namespace {

constexpr wchar_t kDisabledItems[] = L"DisabledItems";
constexpr wchar_t kDoNotDisableAddinList[] = L"DoNotDisableAddinList";
constexpr wchar_t kAddinList[] = L"AddinList";
constexpr wchar_t kRestrictToList[] = L"RestrictToList";
constexpr wchar_t kResiliency[] = L"Resiliency";
constexpr wchar_t kSecurity[] = L"Security";
constexpr wchar_t kDisableAllAddins[] = L"DisableAllAddins";
constexpr wchar_t kRequireAddinSig[] = L"RequireAddinSig";
constexpr wchar_t kNoTBPromptUnsignedAddin[] = L"NoTBPromptUnsignedAddin";
constexpr wchar_t kLoadBehavior[] = L"LoadBehavior";
// The LoadBehavior Office writes for the user when an add-in fails to load: unloaded, load at start-up.
constexpr DWORD kSoftDisabled = 2;

std::wstring quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring rootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\";
}

// The add-in as Office's dialogs name it: its friendly name, with the ProgID that policies use.
std::wstring addInName(const AddInKey& key) {
    if (key.friendlyName.empty()) return quoted(key.progId);
    return quoted(key.friendlyName) + L" (" + key.progId + L")";
}

// One policy value and where it was found.
template <typename Value>
struct PolicyValue {
    Value value;
    std::wstring where;  // "HKLM\Software\Policies\...\Security\RequireAddinSig"
};

// A policy DWORD, the machine's before the user's.
std::optional<PolicyValue<DWORD>> policyDword(const HostProfile& host, const wchar_t* section,
                                              const wchar_t* name) {
    const std::wstring path = policyKeyPath(host, section);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (const std::optional<DWORD> value = win::registryDword(root, path, name))
            return PolicyValue<DWORD>{*value, rootName(root) + path + L"\\" + name};
    }
    return std::nullopt;
}

bool policyIsOn(const HostProfile& host, const wchar_t* section, const wchar_t* name,
                std::wstring* where = nullptr) {
    const auto value = policyDword(host, section, name);
    if (!value || value->value != 1) return false;
    if (where) *where = value->where;
    return true;
}

// The managed list's word on a ProgID, the machine's before the user's: '0' always off, '1' always on, '2'
// the user decides. The policy template writes the digit as text; a DWORD of the same number is taken too,
// anything else is no word at all.
std::optional<PolicyValue<wchar_t>> managedState(const HostProfile& host, const std::wstring& progId) {
    const std::wstring path = policyKeyPath(host, kResiliency) + L"\\" + kAddinList;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        win::UniqueHkey key;
        if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS) continue;
        std::optional<wchar_t> state;
        if (const std::optional<std::wstring> text = win::registryText(key.get(), progId.c_str())) {
            const size_t first = text->find_first_not_of(L" \t");
            const size_t last = text->find_last_not_of(L" \t");
            if (first != std::wstring::npos && first == last && (*text)[first] >= L'0' &&
                (*text)[first] <= L'2')
                state = (*text)[first];
        } else if (const std::optional<DWORD> number = win::registryDword(key.get(), L"", progId.c_str())) {
            if (*number <= 2) state = static_cast<wchar_t>(L'0' + *number);
        }
        if (state) return PolicyValue<wchar_t>{*state, rootName(root) + path + L"\\" + progId};
    }
    return std::nullopt;
}

std::wstring lowerCase(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// A value name for the record Office would add for this DLL. Office's own names look random; ours follow from
// the path, so that disabling the same DLL twice replaces its record instead of adding a second one.
std::wstring recordName(const std::wstring& lowerPath) {
    uint32_t hash = 2166136261u;
    for (wchar_t unit : lowerPath) {
        hash ^= static_cast<uint32_t>(unit);
        hash *= 16777619u;
    }
    wchar_t name[16];
    std::swprintf(name, 16, L"%08X", static_cast<unsigned>(hash));
    return name;
}

// The wording is ours: Office documents the names of its dialogs, lists and policies, which we quote, but not
// every sentence it shows.
Finding refused(const std::wstring& text) {
    return {Finding::Kind::Refused, text};
}

}  // namespace

std::wstring resiliencyKeyPath(const HostProfile& host) {
    return std::wstring(L"Software\\Microsoft\\Office\\") + kOfficeVersion + L"\\" + host.registryName +
           L"\\" + kResiliency;
}

std::wstring policyKeyPath(const HostProfile& host, const wchar_t* section) {
    return std::wstring(L"Software\\Policies\\Microsoft\\Office\\") + kOfficeVersion + L"\\" +
           host.registryName + L"\\" + section;
}

std::wstring inprocServerPath(const std::wstring& progId) {
    // Office's process sees HKEY_CLASSES_ROOT: the user's classes over the machine's.
    const auto server = win::inprocServerOf(progId, win::ClassScope::Merged);
    return server ? server->path : std::wstring();
}

OfficeRules::OfficeRules(const HostProfile& host, SignatureCheck signatureCheck)
    : host_(host), signatureCheck_(std::move(signatureCheck)) {
    const std::wstring path = resiliencyKeyPath(host) + L"\\" + kDisabledItems;
    for (doctor::DisabledRecord& record : doctor::readDisabledItems(path)) {
        if (!record.readable) {
            findings_.push_back({Finding::Kind::UnreadableItem,
                                 std::wstring(L"A record of ") + host.registryName +
                                     L"'s Disabled Items (HKCU\\" + path + L", value " +
                                     quoted(record.valueName) + L") cannot be read: " + widened(record.problem) +
                                     L"; it is passed over"});
            continue;
        }
        disabledItems_.push_back(std::move(record));
    }
}

const doctor::DisabledRecord* OfficeRules::disabledItemFor(const std::wstring& dllPath) const {
    for (const doctor::DisabledRecord& item : disabledItems_) {
        if (doctor::namesFile(item, dllPath)) return &item;
    }
    return nullptr;
}

LoadDecision OfficeRules::decide(const AddInKey& key) const {
    LoadDecision decision;
    const std::wstring app = host_.registryName;
    std::wstring where;
    if (policyIsOn(host_, kSecurity, kDisableAllAddins, &where)) {
        decision.refusal =
            refused(L"Not loaded. " + addInName(key) + L": \"Disable all application add-ins\" is set for " +
                    app + L" by policy (" + where + L" = 1)");
        return decision;
    }
    const std::optional<PolicyValue<wchar_t>> managed = managedState(host_, key.progId);
    if (managed && managed->value == L'0') {
        decision.refusal = refused(L"Not loaded. " + addInName(key) +
                                   L" is always disabled (blocked) by the administrator's \"List of managed "
                                   L"add-ins\" (" +
                                   managed->where + L" = \"0\")");
        return decision;
    }
    if (!managed && policyIsOn(host_, kResiliency, kRestrictToList, &where)) {
        decision.refusal =
            refused(L"Not loaded. " + addInName(key) +
                    L" is not in the administrator's \"List of managed add-ins\", and \"Block all "
                    L"unmanaged add-ins\" is set (" +
                    where + L" = 1)");
        return decision;
    }
    decision.alwaysEnabled = managed && managed->value == L'1';
    if (!decision.alwaysEnabled && !key.loadsAtStartup()) return decision;

    // Without a registered DLL there is no file to match or verify; creating it fails and says so.
    const std::wstring dllPath = inprocServerPath(key.progId);
    if (!decision.alwaysEnabled && !dllPath.empty()) {
        if (const doctor::DisabledRecord* item = disabledItemFor(dllPath)) {
            decision.refusal = refused(L"Not loaded. " + addInName(key) + L" is in " + app +
                                       L"'s Disabled Items (value " + quoted(item->valueName) + L": " +
                                       quoted(item->friendlyName) + L", " + item->path + L"): " + app +
                                       L" does not load it until it is enabled again under File > Options > "
                                       L"Add-ins > Manage: Disabled Items");
            return decision;
        }
    }
    if (!dllPath.empty()) {
        if ((decision.refusal = signatureRefusal(key, dllPath))) return decision;
    }
    decision.load = true;
    return decision;
}

std::optional<Finding> OfficeRules::signatureRefusal(const AddInKey& key, const std::wstring& dllPath) const {
    std::wstring where;
    if (!policyIsOn(host_, kSecurity, kRequireAddinSig, &where)) return std::nullopt;
    const Signature signature = signatureCheck_ ? signatureCheck_(dllPath) : checkSignature(dllPath);
    std::wstring why;
    switch (signature.verdict) {
        case Signature::Verdict::Trusted:
            return std::nullopt;
        case Signature::Verdict::Untrusted:
            why = signature.publisher.empty() ? std::wstring(L"it is signed, but not by a trusted publisher")
                                              : L"it is signed by " + quoted(signature.publisher) +
                                                    L", who is not a trusted publisher";
            break;
        case Signature::Verdict::Unsigned:
            why = L"it is not signed by a trusted publisher (it has no digital signature)";
            break;
        case Signature::Verdict::Altered:
            why = L"its digital signature is not valid: the file was changed after it was signed";
            break;
    }
    const std::wstring rule =
        L"\"Require that application add-ins are signed by Trusted Publisher\" is set (" + where + L" = 1)";
    std::wstring silent;
    if (policyIsOn(host_, kSecurity, kNoTBPromptUnsignedAddin, &silent))
        return refused(L"Not loaded, and no message bar says so: " + addInName(key) + L" is disabled since " +
                       why + L" (" + dllPath +
                       L"); \"Disable Trust Bar Notification for unsigned application "
                       L"add-ins and block them\" is set (" +
                       silent + L" = 1); " + rule);
    return refused(L"Message bar: SECURITY WARNING The add-in " + addInName(key) + L" has been disabled: " +
                   why + L" (" + dllPath + L"); " + rule);
}

std::optional<Finding> OfficeRules::disableFailed(const AddInKey& key, const LoadDecision& decision) const {
    // An add-in the administrators keep on is not the user's to turn off, nor Office's.
    if (decision.alwaysEnabled) return std::nullopt;
    // Office writes only the value, into a key of the user's own when the add-in is registered for the
    // machine; the user's key then decides for the user from the next start.
    const std::wstring path = addInsKeyPath(host_) + L"\\" + key.progId;
    win::UniqueHkey userKey;
    LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    userKey.receive(), nullptr);
    if (status == ERROR_SUCCESS) {
        const DWORD value = kSoftDisabled;
        status = ::RegSetValueExW(userKey.get(), kLoadBehavior, 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    const std::wstring app = host_.registryName;
    if (status != ERROR_SUCCESS)
        return Finding{Finding::Kind::Disabled, app + L" could not write LoadBehavior 2 to HKCU\\" + path +
                                                    L" (error " + std::to_wstring(status) + L")"};
    return Finding{Finding::Kind::Disabled,
                   app + L" set LoadBehavior to 2 in HKCU\\" + path + L": the COM Add-ins dialog shows " +
                       addInName(key) + L" unchecked (Unloaded, load at start-up), and " + app +
                       L" does not load it at its next start until the user checks it again"};
}

std::optional<Finding> OfficeRules::disableSlow(const AddInKey& key, const LoadDecision& decision) const {
    if (decision.alwaysEnabled) return std::nullopt;
    const std::wstring resiliency = resiliencyKeyPath(host_);
    // The user's "Always enable this add-in" (Office keeps there the reason it once disabled it).
    const std::optional<DWORD> kept = win::registryDword(
        HKEY_CURRENT_USER, resiliency + L"\\" + kDoNotDisableAddinList, key.progId.c_str());
    if (kept && *kept != 0) return std::nullopt;
    const std::wstring dllPath = inprocServerPath(key.progId);
    if (dllPath.empty()) return std::nullopt;

    doctor::DisabledItemRecord record;
    record.kind = doctor::kDisabledAddInKind;
    const std::wstring path = lowerCase(dllPath);
    const std::wstring name = key.friendlyName.empty() ? key.progId : key.friendlyName;
    record.path.assign(path.begin(), path.end());
    record.friendlyName.assign(name.begin(), name.end());
    const std::vector<uint8_t> bytes = doctor::disabledItemBytes(record);
    const std::wstring keyPath = resiliency + L"\\" + kDisabledItems;
    const std::wstring valueName = recordName(path);
    win::UniqueHkey items;
    LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    items.receive(), nullptr);
    if (status == ERROR_SUCCESS)
        status = ::RegSetValueExW(items.get(), valueName.c_str(), 0, REG_BINARY, bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
    const std::wstring app = host_.registryName;
    if (status != ERROR_SUCCESS)
        return Finding{Finding::Kind::Disabled, app + L" could not add " + addInName(key) +
                                                    L" to its Disabled Items (error " +
                                                    std::to_wstring(status) + L")"};
    return Finding{Finding::Kind::Disabled, app + L" disabled " + addInName(key) +
                                                L" because it started slowly: its Disabled Items (HKCU\\" +
                                                keyPath + L", value " + quoted(valueName) + L") now name " +
                                                path + L", and " + app +
                                                L" does not load it at its next start"};
}

}  // namespace hostsim
