#include "doctor/DisabledItemsList.h"

#include "doctor/DisabledItemRecord.h"
#include "win/PathCompare.h"
#include "win/UniqueHkey.h"

namespace doctor {

std::vector<DisabledRecord> readDisabledItems(const std::wstring& keyPath) {
    std::vector<DisabledRecord> records;
    win::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
        return records;
    DWORD longestName = 0, largestData = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &longestName, &largestData, nullptr, nullptr) != ERROR_SUCCESS)
        return records;
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
            if (type != REG_BINARY) {
                record.problem = "it is not binary (type " + std::to_string(type) + ")";
            } else {
                const DisabledItemReading reading = readDisabledItem(record.bytes.data(), record.bytes.size());
                record.readable = reading.readable;
                record.problem = reading.problem;
                record.path.assign(reading.record.path.begin(), reading.record.path.end());
                record.friendlyName.assign(reading.record.friendlyName.begin(),
                                           reading.record.friendlyName.end());
            }
        }
        records.push_back(std::move(record));
    }
    return records;
}

bool namesFile(const DisabledRecord& record, const std::wstring& dllPath) {
    return record.readable && !dllPath.empty() && win::samePath(record.path, dllPath);
}

}  // namespace doctor
