#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace doctor {

// One value of a host's Disabled Items list (under HKCU\Software\Microsoft\Office\16.0\<App>\Resiliency):
// as it is stored, so that it can be put back, and the file it names when it can be read.
struct DisabledRecord {
    std::wstring valueName;
    DWORD type = 0;
    std::vector<uint8_t> bytes;
    bool readable = false;
    std::wstring path;
    std::wstring friendlyName;
    std::string problem;  // why it cannot be read, in a few words
};

// Every value under HKCU\`keyPath`; none when the key is not there. The user writes these values: their names
// and bytes are read, never trusted.
std::vector<DisabledRecord> readDisabledItems(const std::wstring& keyPath);

// Whether the record plainly names `dllPath` (compared ordinally, ignoring case); one that cannot be read
// names nothing.
bool namesFile(const DisabledRecord& record, const std::wstring& dllPath);

}  // namespace doctor
