#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace doctor {

// One record of an Office host's Disabled Items list: a REG_BINARY value under
// HKCU\Software\Microsoft\Office\<version>\<App>\Resiliency\DisabledItems, one per item the host keeps off.
//
// Microsoft does not document this layout; it is what Office has been seen to write, and we read it
// tolerantly. Three little-endian 32-bit words (the kind of item, 1 for a COM add-in; the byte length of the
// path; the byte length of the friendly name, each length counting a terminating NUL), then the path and the
// friendly name as UTF-16LE. Office writes the path in lower case. A string need not end in its NUL, and
// bytes after the name are ignored; a record whose header or lengths do not fit is unreadable, never guessed
// at.
struct DisabledItemRecord {
    uint32_t kind = 0;
    std::u16string path;
    std::u16string friendlyName;
};

// The kind Office gives a COM add-in it disabled.
constexpr uint32_t kDisabledAddInKind = 1;

struct DisabledItemReading {
    bool readable = false;
    DisabledItemRecord record;
    std::string problem;  // why it is unreadable, in a few words
};

DisabledItemReading readDisabledItem(const uint8_t* data, size_t size);

// The record's bytes as Office writes them: both strings with their terminating NUL.
std::vector<uint8_t> disabledItemBytes(const DisabledItemRecord& record);

}  // namespace doctor
