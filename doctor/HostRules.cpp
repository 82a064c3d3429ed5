#include "doctor/HostRules.h"

#include <objbase.h>

#include "win/RegistryText.h"
#include "win/UniqueHkey.h"

namespace doctor {
namespace {

constexpr wchar_t kOfficeRoot[] = L"Software\\Microsoft\\Office\\16.0\\";
constexpr wchar_t kPolicyRoot[] = L"Software\\Policies\\Microsoft\\Office\\16.0\\";
constexpr size_t kRecordHeader = 12;

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

void readDisabledItems(const char* officeKey, HostRules& rules) {
    win::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, disabledItemsPath(officeKey).c_str(), 0, KEY_QUERY_VALUE,
                        key.receive()) != ERROR_SUCCESS)
        return;
    DWORD longestName = 0, largestData = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &longestName, &largestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(longestName + 1);
    std::vector<uint8_t> data(largestData + 1);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
        const LONG status =
            ::RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        DisabledRecord record;
        if (status != ERROR_SUCCESS) {
            record.problem = "the registry answered " + std::to_string(status);
        } else {
            record.valueName.assign(name.data(), nameLength);
            record.type = type;
            record.bytes.assign(data.begin(), data.begin() + size);
            if (type == REG_BINARY)
                parseDisabledRecord(record);
            else
                record.problem = "it is not binary (type " + std::to_string(type) + ")";
        }
        rules.disabledItems.push_back(std::move(record));
    }
}

uint32_t littleEndian(const uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}

std::wstring utf16At(const uint8_t* at, uint64_t bytes) {
    std::wstring text;
    for (uint64_t offset = 0; offset + 1 < bytes; offset += 2) {
        const wchar_t unit = static_cast<wchar_t>(at[offset] | at[offset + 1] << 8);
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
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

void parseDisabledRecord(DisabledRecord& record) {
    const size_t size = record.bytes.size();
    if (size < kRecordHeader) {
        record.problem = "shorter than its 12-byte header (" + std::to_string(size) + " bytes)";
        return;
    }
    const uint8_t* data = record.bytes.data();
    // Summed in 64 bits, two lengths near 4 GB cannot wrap round to something that seems to fit.
    const uint64_t pathBytes = littleEndian(data + 4), nameBytes = littleEndian(data + 8);
    if (kRecordHeader + pathBytes + nameBytes > size) {
        record.problem = "its lengths (" + std::to_string(pathBytes) + " and " + std::to_string(nameBytes) +
                         " bytes) run past its end (" + std::to_string(size) + " bytes)";
        return;
    }
    record.path = utf16At(data + kRecordHeader, pathBytes);
    record.friendlyName = utf16At(data + kRecordHeader + pathBytes, nameBytes);
    if (record.path.empty()) {
        record.problem = "it names no file";
        return;
    }
    record.readable = true;
}

bool namesFile(const DisabledRecord& record, const std::wstring& dllPath) {
    return record.readable && !dllPath.empty() &&
           ::CompareStringOrdinal(record.path.c_str(), static_cast<int>(record.path.size()), dllPath.c_str(),
                                  static_cast<int>(dllPath.size()), TRUE) == CSTR_EQUAL;
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
    readDisabledItems(officeKey, rules);
    return rules;
}

std::wstring registeredServerPath(REGSAM view) {
    CLSID classId;
    if (FAILED(::CLSIDFromProgID(kProgIdWide, &classId))) return {};
    wchar_t text[40] = {};
    ::StringFromGUID2(classId, text, 40);
    win::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + text + L"\\InprocServer32").c_str(), 0,
                        KEY_QUERY_VALUE | view, key.receive()) != ERROR_SUCCESS)
        return {};
    std::wstring path = win::registryText(key.get(), nullptr).value_or(std::wstring());
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    return path;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                             0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0], length,
                              nullptr, nullptr);
    return result;
}

}  // namespace doctor
