// What the doctor reads from bytes: the machine in a PE header, which decides which Office can load a DLL,
// and the report of the doctor of the other bitness, whose verdict it passes on. Neither may read past its
// input or take a damaged one for a sound one.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "doctor/Machine.h"
#include "doctor/PeImage.h"
#include "doctor/ReportJson.h"
#include "doctor/ReportReader.h"
#include "tests/support/PeFile.h"

namespace {

using doctor::Bitness;
using Bytes = std::vector<unsigned char>;

// A DOS header whose NT headers start at `at`, followed by them: the signature and the machine.
Bytes peFile(uint32_t at, const char* signature, uint16_t machine, size_t cutTo = SIZE_MAX) {
    Bytes bytes(at + 24, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int shift = 0; shift < 4; ++shift)
        bytes[0x3C + shift] = static_cast<unsigned char>(at >> (8 * shift));
    for (int index = 0; index < 4; ++index) bytes[at + index] = static_cast<unsigned char>(signature[index]);
    bytes[at + 4] = static_cast<unsigned char>(machine & 0xFF);
    bytes[at + 5] = static_cast<unsigned char>(machine >> 8);
    if (cutTo < bytes.size()) bytes.resize(cutTo);
    return bytes;
}

const char kPe[] = {'P', 'E', 0, 0};

struct MachineRow {
    const char* name;
    Bytes bytes;
    uint16_t machine;
    const char* said;  // machineText
    Bitness loadedBy;  // the Office that loads it
};

TEST(DoctorReading, TheMachineOfAPeHeaderAndTheOfficeThatLoadsIt) {
    Bytes offsetPastEnd = peFile(0x80, kPe, 0x8664);
    offsetPastEnd[0x3C] = 0xF0;
    offsetPastEnd[0x3F] = 0xFF;  // 0xFF0000F0: an offset that wraps around when added to a pointer
    const MachineRow rows[] = {
        {"x64", peFile(0x80, kPe, 0x8664), 0x8664, "64-bit (x64)", Bitness::Bits64},
        {"x86", peFile(0xE8, kPe, 0x014C), 0x014C, "32-bit (x86)", Bitness::Bits32},
        {"ARM64 is named, but neither Office loads it", peFile(0x80, kPe, 0xAA64), 0xAA64, "ARM64",
         Bitness::Unknown},
        {"a machine without a name", peFile(0x40, kPe, 0x01C4), 0x01C4, "machine 0x01C4", Bitness::Unknown},
        {"NT headers right after the offset field", peFile(0x40, kPe, 0x014C), 0x014C, "32-bit (x86)",
         Bitness::Bits32},
        {"cut inside the machine", peFile(0x80, kPe, 0x8664, 0x80 + 5), 0, "not a Windows program",
         Bitness::Unknown},
        {"cut exactly after the machine", peFile(0x80, kPe, 0x8664, 0x80 + 6), 0x8664, "64-bit (x64)",
         Bitness::Bits64},
        {"offset past the end", offsetPastEnd, 0, "not a Windows program", Bitness::Unknown},
        {"no PE signature", peFile(0x80, "PE\0\1", 0x8664), 0, "not a Windows program", Bitness::Unknown},
        {"no MZ", Bytes{'Z', 'M', 0, 0}, 0, "not a Windows program", Bitness::Unknown},
        {"shorter than the DOS header", Bytes{'M', 'Z'}, 0, "not a Windows program", Bitness::Unknown},
        {"empty", Bytes{}, 0, "not a Windows program", Bitness::Unknown},
    };
    for (const MachineRow& row : rows) {
        SCOPED_TRACE(row.name);
        // A copy of exactly the row's size, so that the sanitizer sees any read past it.
        const std::vector<unsigned char> exact(row.bytes);
        const uint16_t machine = doctor::peMachine(exact.empty() ? nullptr : exact.data(), exact.size());
        EXPECT_EQ(row.machine, machine);
        EXPECT_EQ(row.said, doctor::machineText(machine));
        EXPECT_EQ(row.loadedBy, doctor::bitnessOf(machine));
        if (row.loadedBy != Bitness::Unknown) {
            EXPECT_EQ(machine, doctor::machineFor(row.loadedBy));
        }
    }
}

Bytes spoiled(Bytes bytes, std::size_t at, std::initializer_list<unsigned char> with) {
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

struct ImageRow {
    const char* name;
    Bytes bytes;
    bool read;
    uint16_t machine;
    uint64_t imageBase;
    std::vector<std::string> libraries;  // imported, then loaded on first use
    bool signedFile;
};

TEST(DoctorReading, APeImagesLayoutLibrariesAndSignatureOrNothing) {
    const Bytes library = PeFile{}.bytes();
    PeFile x86;
    x86.pe32Plus = false;
    x86.machine = 0x014C;
    x86.imageBase = 0x6A580000;
    x86.delayImports = {"WINSPOOL.DRV"};
    PeFile revision1;
    revision1.certificateRevision = 0x0100;
    PeFile unsignedFile;
    unsignedFile.signature = false;
    PeFile longName;
    longName.imports = {std::string(300, 'A')};
    const std::vector<std::string> linked = {"KERNEL32.dll", "msvcrt.dll"};
    // The headers of PeFile's 64-bit image: the section count at 0x46, the optional header's size at 0x54, the
    // import table's address at 0xD0; its .idata section (the fourth) lies at 0x800 in the file.
    const ImageRow rows[] = {
        {"a 64-bit library as linked", library, true, 0x8664, 0x3A9090000, linked, true},
        {"a 32-bit library with a library loaded on first use", x86.bytes(), true, 0x014C, 0x6A580000,
         {"KERNEL32.dll", "msvcrt.dll", "WINSPOOL.DRV"}, true},
        {"a certificate of another revision", revision1.bytes(), true, 0x8664, 0x3A9090000, linked, false},
        {"no certificate", unsignedFile.bytes(), true, 0x8664, 0x3A9090000, linked, false},
        {"a certificate longer than its table", spoiled(library, library.size() - 16, {0xFF, 0xFF}), true,
         0x8664, 0x3A9090000, linked, false},
        {"97 sections", spoiled(library, 0x46, {97}), false, 0, 0, {}, false},
        {"an optional header too short for its directories", spoiled(library, 0x54, {0x70}), false, 0, 0, {}, false},
        {"an import table in no section", spoiled(library, 0xD0, {0, 0, 9}), false, 0, 0, {}, false},
        {"an import name longer than any library's", longName.bytes(), false, 0, 0, {}, false},
        {"cut inside the section table", Bytes(library.begin(), library.begin() + 0x150), false, 0, 0, {}, false},
        {"cut inside the imports", Bytes(library.begin(), library.begin() + 0x820), false, 0, 0, {}, false},
        {"no PE signature", spoiled(library, 0x40, {'P', 'F'}), false, 0, 0, {}, false},
        {"a DOS program", Bytes{'M', 'Z'}, false, 0, 0, {}, false},
    };
    for (const ImageRow& row : rows) {
        SCOPED_TRACE(row.name);
        const auto image = doctor::readPeImage(row.bytes.data(), row.bytes.size());
        ASSERT_EQ(row.read, image.has_value());
        if (!image) continue;
        EXPECT_EQ(row.machine, image->machine);
        EXPECT_EQ(row.machine == 0x8664, image->pe32Plus);
        EXPECT_EQ(row.imageBase, image->imageBase);
        EXPECT_EQ(0x1000u, image->sectionAlignment);
        std::vector<std::string> libraries = image->imports;
        libraries.insert(libraries.end(), image->delayImports.begin(), image->delayImports.end());
        EXPECT_EQ(row.libraries, libraries);
        EXPECT_EQ(row.signedFile, doctor::hasAuthenticodeSignature(*image, row.bytes.data(), row.bytes.size()));
    }
}

// An address lies in the file only within a section's memory and file data: not right after its memory, nor
// in the part only memory holds. (.text: 0x100 bytes of memory at 0x1000, 0x200 of file at 0x400; .bss:
// 0x3000 of memory at 0x2000, the first 0x200 of them in the file at 0x600.)
TEST(DoctorReading, AnAddressLiesInTheFileOnlyWhereItsSectionsDataHoldsIt) {
    doctor::PeImage image;
    image.sections = {{".text", 0x1000, 0x100, 0x400, 0x200, 0}, {".bss", 0x2000, 0x3000, 0x600, 0x200, 0}};
    const std::tuple<uint32_t, std::string, std::optional<std::size_t>> rows[] = {
        {0x1000, ".text", 0x400}, {0x10FF, ".text", 0x4FF}, {0x1100, "none", std::nullopt},
        {0x21FF, ".bss", 0x7FF},  {0x2200, ".bss", std::nullopt}, {0x0FFF, "none", std::nullopt}};
    for (const auto& [address, section, offset] : rows) {
        const doctor::PeSection* holder = image.sectionHolding(address);
        EXPECT_EQ(section, holder ? holder->name : "none") << std::hex << address;
        EXPECT_EQ(offset, image.fileOffsetOf(address)) << std::hex << address;
    }
}

TEST(DoctorReading, ADebugFilesSymbolsLongSectionNamesAndExtendedCharacteristics) {
    PeFile debug;
    debug.sections.push_back({".gnu_debuglink", 0x42000040, {1, 2, 3, 4}});
    debug.symbols = {{"__stack_chk_fail", 1, 0x30}, {"_short", 2, 4}};
    debug.cetCompatible = true;
    const Bytes bytes = debug.bytes();
    const auto image = doctor::readPeImage(bytes.data(), bytes.size());
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(".gnu_debuglink", image->sections[3].name);
    EXPECT_EQ(doctor::kDllExCetCompat, image->extendedDllCharacteristics);
    const struct {
        const char* name;
        std::optional<uint32_t> address;
    } rows[] = {{"__stack_chk_fail", 0x1030}, {"_short", 0x2004}, {"__stack_chk", std::nullopt},
                {"__stack_chk_fail_local", std::nullopt}, {"", std::nullopt}};
    for (const auto& row : rows)
        EXPECT_EQ(row.address, doctor::symbolAddress(*image, bytes.data(), bytes.size(), row.name)) << row.name;
    // A table that claims more symbols than the file holds names none.
    doctor::PeImage overstated = *image;
    overstated.symbolCount = 0x10000000;
    EXPECT_EQ(std::nullopt, doctor::symbolAddress(overstated, bytes.data(), bytes.size(), "__stack_chk_fail"));
}

TEST(DoctorReading, OfficesWordsForItsBitness) {
    const struct {
        const char* platform;
        Bitness bitness;
    } rows[] = {{"x86", Bitness::Bits32},
                {"X64", Bitness::Bits64},
                {"x64 ", Bitness::Unknown},
                {"amd64", Bitness::Unknown},
                {"", Bitness::Unknown}};
    for (const auto& row : rows)
        EXPECT_EQ(row.bitness, doctor::bitnessOfPlatform(row.platform)) << row.platform;
}

// A report as the doctor writes it, with the links given.
std::string report(const std::string& links,
                   const std::string& hosts = "true,\"excel\":false,\"powerpoint\":true") {
    return "{\"version\":\"1.41.0.0\",\"ribbonShows\":false,\"hosts\":{\"word\":" + hosts + "},\"links\":[" +
           links + "\n]}\n";
}

std::string link(const std::string& found, const std::string& status = "ok") {
    return "\n{\"link\":\"class.load\",\"status\":\"" + status + "\",\"found\":\"" + found +
           "\",\"fix\":\"\",\"title\":\"library loads\"}";
}

struct ReportRow {
    const char* name;
    std::string json;
    bool read;
    std::string firstFound;  // the first link's text, as read
};

TEST(DoctorReading, TheOtherDoctorsReportReadsBackOrNotAtAll) {
    const std::string deep = std::string(200, '[') + std::string(200, ']');
    const ReportRow rows[] = {
        {"as written", report(link("C:\\\\Program Files\\\\Corvane Quillery\\\\Quillery.dll")), true,
         "C:\\Program Files\\Corvane Quillery\\Quillery.dll"},
        {"escapes, a letter beyond ASCII and one beyond the BMP",
         report(link("\\\"a\\\"\\n\\u00e9\\ud83d\\ude00\\u0001")), true,
         "\"a\"\n\xC3\xA9\xF0\x9F\x98\x80\x01"},
        {"a lone surrogate stands for a character we cannot know", report(link("x\\ud800y")), true,
         "x\xEF\xBF\xBDy"},
        {"with a repair and fields we do not know",
         report(link("fine")).substr(0, report(link("fine")).size() - 2) +
             ",\"repair\":{\"changes\":[{\"done\":true,\"n\":-1.5e3,\"z\":null}]}}",
         true, "fine"},
        {"no links", report(""), true, ""},
        {"a status we do not give", report(link("x", "fine")), false, ""},
        {"a link without its title",
         report("{\"link\":\"a\",\"status\":\"ok\",\"found\":\"x\",\"fix\":\"\"}"), false, ""},
        {"a host missing", report(link("x"), "true,\"excel\":false"), false, ""},
        {"cut short", report(link("x")).substr(0, 60), false, ""},
        {"text after the report", report(link("x")) + "x", false, ""},
        {"a control character in a text", report(link("a\tb")), false, ""},
        {"a bad escape", report(link("\\x41")), false, ""},
        {"a short \\u", report(link("\\u00")), false, ""},
        {"nested deeper than a report, in a field we do not know",
         "{\"x\":" + deep + "," + report(link("x")).substr(1), false, ""},
        {"nested within reason, in a field we do not know",
         "{\"x\":[[{\"y\":[1]}]]," + report(link("x")).substr(1), true, "x"},
        {"not JSON", "Quillery doctor 1.41.0.0\nOK  ...", false, ""},
        {"empty", "", false, ""},
    };
    for (const ReportRow& row : rows) {
        SCOPED_TRACE(row.name);
        const auto read = doctor::readJsonReport(row.json);
        ASSERT_EQ(row.read, read.has_value()) << row.json;
        if (!read) continue;
        EXPECT_TRUE(read->wordShows);
        EXPECT_FALSE(read->excelShows);
        EXPECT_TRUE(read->powerPointShows);
        if (row.firstFound.empty() && read->findings.empty()) continue;
        ASSERT_EQ(1u, read->findings.size());
        EXPECT_EQ(row.firstFound, read->findings[0].found);
        EXPECT_EQ("class.load", read->findings[0].link);
        EXPECT_EQ("library loads", read->findings[0].title);
        EXPECT_EQ(doctor::Status::Ok, read->findings[0].status);
    }
}

// The report's texts come from registry names and paths: what the writer makes of any of them, as the doctor
// of the other bitness reads it back.
TEST(DoctorReading, TheWritersTextsReadBackAsWrittenOrMadeValid) {
    const std::pair<std::string, std::string> rows[] = {
        {"C:\\Program Files\\\"Quillery\".dll", "C:\\Program Files\\\"Quillery\".dll"},
        {"line\r\n[HKEY_LOCAL_MACHINE\\x]\ttab\x7f", "line\r\n[HKEY_LOCAL_MACHINE\\x]\ttab\x7f"},
        {"Gr\xC3\xB6\xC3\x9F" "e \xE6\x97\xA5 \xF0\x9F\x96\xA8", "Gr\xC3\xB6\xC3\x9F" "e \xE6\x97\xA5 \xF0\x9F\x96\xA8"},
        {"ANSI \xF6 and a cut \xE6\x97", "ANSI \xEF\xBF\xBD and a cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong \xC0\xAF, surrogate \xED\xA0\x80", "overlong \xEF\xBF\xBD\xEF\xBF\xBD, surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"separators \x1c\x1d\x1e\x1f", "separators \x1c\x1d\x1e\x1f"},
    };
    for (const auto& [written, read] : rows) {
        doctor::Report report;
        report.findings.push_back({"link", "title", doctor::Status::Warning, written, {}});
        const auto back = doctor::readJsonReport(
            doctor::reportJson(report, nullptr, "1", [](const std::string& text) { return text; }));
        ASSERT_TRUE(back) << written;
        EXPECT_EQ(read, back->findings.at(0).found) << written;
    }
}

// The one line fleet tools keep: the verdict first, every link that is not sound, and never more than the
// limit, however many and however long the findings (cut at whole UTF-8 characters).
TEST(DoctorReading, TheSummaryNamesEveryUnsoundLinkWithinItsLimit) {
    const auto asIs = [](const std::string& text) { return text; };
    doctor::Report healthy;
    healthy.wordShows = healthy.excelShows = healthy.powerPointShows = true;
    healthy.findings.push_back({"office.word", "Word", doctor::Status::Ok, "LoadBehavior 3", {}});
    doctor::Report warned = healthy;
    warned.findings.push_back({"user.account", "account", doctor::Status::Warning, "elevated\r\nhere", "fix"});
    doctor::Report broken = warned;
    broken.excelShows = false;
    broken.findings.push_back({"office.excel", "Excel", doctor::Status::Broken, "LoadBehavior 2", "fix"});
    const std::pair<const doctor::Report*, std::string> rows[] = {
        {&healthy, "Quillery 1 OK: the group shows in Word, Excel, PowerPoint."},
        {&warned, "Quillery 1 WARNING: the group shows in Word, Excel, PowerPoint. WARNING user.account: elevated  here."},
        {&broken, "Quillery 1 BROKEN: the group shows in Word, PowerPoint, not in Excel. WARNING user.account: "
                  "elevated  here. BROKEN office.excel: LoadBehavior 2."},
    };
    for (const auto& [report, line] : rows) EXPECT_EQ(line, doctor::summaryLine(*report, "1", asIs));
    // Limits that put the cut on every byte of two- and three-byte characters, in the line and in a finding.
    for (const std::string character : {"\xC3\xA9", "\xE6\x97\xA5"}) {
        doctor::Report many = broken;
        for (int index = 0; index < 40; ++index) {
            std::string found(index % 7, 'x');
            while (found.size() < 250) found += character;
            many.findings.push_back({"rules.word", "Word", doctor::Status::Broken, found, {}});
        }
        for (std::size_t limit = 100; limit < 700; ++limit) {
            const std::string cut = doctor::summaryLine(many, "1", asIs, limit);
            EXPECT_LE(cut.size(), limit);
            // The JSON writer replaces every byte that is no part of a whole character.
            EXPECT_EQ(std::string::npos, doctor::jsonString(cut).find("\xEF\xBF\xBD")) << limit << " " << cut;
        }
    }
}

}  // namespace
