#include "doctor/HostRules.h"

#include "doctor/AddInNames.h"
#include "win/RegistryText.h"
#include "win/UniqueHkey.h"

namespace doctor {
namespace {

constexpr wchar_t kOfficeRoot[] = L"Software\\Microsoft\\Office\\16.0\\";
constexpr wchar_t kPolicyRoot[] = L"Software\\Policies\\Microsoft\\Office\\16.0\\";

std::wstring widen(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring rootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\";
}

// A policy is the machine's when the machine sets it: a computer's policy prevails over a user's.
std::optional<SetPolicy> policy(const char* officeKey, const wchar_t* section, const wchar_t* name) {
    const std::wstring path = policyPath(officeKey, section);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (const auto value = win::registryDword(root, path, name))
            return SetPolicy{*value, rootName(root) + path + L"\\" + name};
    }
    return std::nullopt;
}

// The managed list writes the state as a one-digit text; a DWORD of the same number counts too.
void readManagedList(const char* officeKey, HostRules& rules) {
    const std::wstring path = policyPath(officeKey, L"Resiliency") + L"\\AddinList";
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        win::UniqueHkey key;
        if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS) continue;
        wchar_t state = 0;
        if (const auto text = win::registryText(key.get(), kProgIdWide)) {
            const size_t first = text->find_first_not_of(L" \t");
            if (first != std::wstring::npos && first == text->find_last_not_of(L" \t") &&
                (*text)[first] >= L'0' && (*text)[first] <= L'2')
                state = (*text)[first];
        } else if (const auto number = win::registryDword(key.get(), L"", kProgIdWide)) {
            if (*number <= 2) state = static_cast<wchar_t>(L'0' + *number);
        }
        if (state) {
            rules.managed = state;
            rules.managedWhere = rootName(root) + path + L"\\" + kProgIdWide;
            return;
        }
    }
}

}  // namespace

std::wstring policyPath(const char* officeKey, const wchar_t* section) {
    return kPolicyRoot + widen(officeKey) + L"\\" + section;
}

std::wstring resiliencyPath(const char* officeKey) {
    return kOfficeRoot + widen(officeKey) + L"\\Resiliency";
}

std::wstring disabledItemsPath(const char* officeKey) {
    return resiliencyPath(officeKey) + L"\\DisabledItems";
}

const DisabledRecord* HostRules::recordFor(const std::wstring& dllPath) const {
    for (const DisabledRecord& record : disabledItems) {
        if (namesFile(record, dllPath)) return &record;
    }
    return nullptr;
}

HostRules readHostRules(const char* officeKey) {
    HostRules rules;
    rules.disableAll = policy(officeKey, L"Security", L"DisableAllAddins");
    rules.requireSignature = policy(officeKey, L"Security", L"RequireAddinSig");
    rules.noPrompt = policy(officeKey, L"Security", L"NoTBPromptUnsignedAddin");
    rules.restrictToList = policy(officeKey, L"Resiliency", L"RestrictToList");
    readManagedList(officeKey, rules);
    const auto kept = win::registryDword(HKEY_CURRENT_USER,
                                         resiliencyPath(officeKey) + L"\\DoNotDisableAddinList", kProgIdWide);
    rules.doNotDisable = kept && *kept != 0;
    rules.disabledItems = readDisabledItems(disabledItemsPath(officeKey));
    return rules;
}

}  // namespace doctor
