// The records of Office's Disabled Items list as the simulator reads and writes them: what Office writes
// reads back whole, and a record that does not fit its own header is unreadable with a reason, never read
// past its end.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "doctor/DisabledItemRecord.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes header(uint32_t kind, uint32_t pathBytes, uint32_t nameBytes) {
    Bytes bytes;
    for (uint32_t word : {kind, pathBytes, nameBytes}) {
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
    }
    return bytes;
}

Bytes utf16(const std::u16string& text, bool terminated = true) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

const std::u16string kPath = u"c:\\program files\\tandrel\\quillery.dll";
const std::u16string kName = u"Quillery Print Toolbar \u00e9";  // a letter beyond ASCII
const uint32_t kPathBytes = static_cast<uint32_t>((kPath.size() + 1) * 2);
const uint32_t kNameBytes = static_cast<uint32_t>((kName.size() + 1) * 2);

// As Office writes it: a COM add-in, both strings with their NUL counted.
Bytes officeRecord() {
    return joined({header(1, kPathBytes, kNameBytes), utf16(kPath), utf16(kName)});
}

struct Row {
    const char* name;
    Bytes bytes;
    bool readable;
    uint32_t kind;
    std::u16string path;
    std::u16string friendlyName;
    const char* problemStart;  // the reason's first words, when unreadable
};

std::vector<Row> rows() {
    const Bytes office = officeRecord();
    Bytes trailing = office;
    trailing.insert(trailing.end(), {0xAB, 0xCD, 0xEF});
    return {
        {"as Office writes it", office, true, 1, kPath, kName, ""},
        {"bytes after the name", trailing, true, 1, kPath, kName, ""},
        {"strings without their NUL",
         joined({header(1, kPathBytes - 2, kNameBytes - 2), utf16(kPath, false), utf16(kName, false)}), true,
         1, kPath, kName, ""},
        {"a path cut short by a NUL inside it",
         joined({header(1, 10, 2), utf16(u"ab"), utf16(u"c"), utf16(u"")}), true, 1, u"ab", u"", ""},
        {"another kind of item", joined({header(3, kPathBytes, 2), utf16(kPath), utf16(u"")}), true, 3, kPath,
         u"", ""},
        {"empty", {}, false, 0, u"", u"", "shorter than its 12-byte header"},
        {"a header one byte short", Bytes(office.begin(), office.begin() + 11), false, 0, u"", u"",
         "shorter than its 12-byte header"},
        {"an odd path length", joined({header(1, kPathBytes - 1, kNameBytes), utf16(kPath), utf16(kName)}),
         false, 0, u"", u"", "a length that is not a whole number"},
        {"an odd name length", joined({header(1, kPathBytes, 3), utf16(kPath), utf16(kName)}), false, 0, u"",
         u"", "a length that is not a whole number"},
        {"the name runs past the end", Bytes(office.begin(), office.end() - 2), false, 0, u"", u"",
         "its lengths"},
        {"lengths that wrap around in 32 bits", joined({header(1, 0xFFFFFFF2u, 0x10u), utf16(kPath)}), false,
         0, u"", u"", "its lengths"},
        {"no path", joined({header(1, 0, kNameBytes), utf16(kName)}), false, 0, u"", u"", "it names no file"},
    };
}

TEST(DisabledItemRecord, ReadsWhatOfficeWritesAndRefusesWhatDoesNotFitItsHeader) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        const doctor::DisabledItemReading reading =
            doctor::readDisabledItem(row.bytes.data(), row.bytes.size());
        EXPECT_EQ(row.readable, reading.readable) << reading.problem;
        if (row.readable) {
            EXPECT_EQ(row.kind, reading.record.kind);
            EXPECT_TRUE(row.path == reading.record.path);
            EXPECT_TRUE(row.friendlyName == reading.record.friendlyName);
        } else {
            EXPECT_EQ(0u, reading.problem.rfind(row.problemStart, 0)) << reading.problem;
        }
    }
}

TEST(DisabledItemRecord, WritesTheRecordAsOfficeDoes) {
    doctor::DisabledItemRecord record;
    record.kind = doctor::kDisabledAddInKind;
    record.path = kPath;
    record.friendlyName = kName;
    EXPECT_EQ(officeRecord(), doctor::disabledItemBytes(record));
}

}  // namespace
