#include "settings/RegistryAccess.h"

#include "tests/support/RegistryRecorder.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/RegistryEdit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kScratch = "Software\\QuilleryTests\\RegistryAccess";
constexpr const char* kMissing = "Software\\QuilleryTests\\RegistryAccess\\Missing";

// Every test works in a scratch key of its own under HKEY_CURRENT_USER, gone again afterwards.
class RegistryAccessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.created()) << "cannot create " << kScratch; }

    void setBytes(const std::string& name, DWORD type, const std::string& bytes) {
        ASSERT_TRUE(fixtures::setValue(HKEY_CURRENT_USER, kScratch, name, type, bytes.data(),
                                       static_cast<DWORD>(bytes.size())));
    }

    fixtures::CreatedKey scratch{HKEY_CURRENT_USER, kScratch};
    RegistryAccess registry;
};

// --- DWORD reads: existence, short data, long data, wrong types

TEST_F(RegistryAccessTest, ProbeReportsExistenceNotTheValue) {
    ASSERT_TRUE(fixtures::setDword(HKEY_CURRENT_USER, kScratch, "Zero", 0));
    EXPECT_TRUE(registry.probeDword(HKEY_CURRENT_USER, kScratch, "Zero", false));
}

TEST_F(RegistryAccessTest, ProbeAcceptsAnyDataThatFitsInFourBytes) {
    setBytes("ThreeByteText", REG_SZ, std::string("ab\0", 3));
    setBytes("Empty", REG_BINARY, "");
    EXPECT_TRUE(registry.probeDword(HKEY_CURRENT_USER, kScratch, "ThreeByteText", false));
    EXPECT_TRUE(registry.probeDword(HKEY_CURRENT_USER, kScratch, "Empty", false));
}

TEST_F(RegistryAccessTest, ProbeRejectsDataLongerThanFourBytes) {
    setBytes("Quad", REG_QWORD, std::string(8, '\1'));
    setBytes("EightChars", REG_SZ, std::string("abcdefgh\0", 9));
    EXPECT_FALSE(registry.probeDword(HKEY_CURRENT_USER, kScratch, "Quad", false));
    EXPECT_FALSE(registry.probeDword(HKEY_CURRENT_USER, kScratch, "EightChars", false));
}

TEST_F(RegistryAccessTest, ProbeOfMissingValueOrKeyIsFalse) {
    EXPECT_FALSE(registry.probeDword(HKEY_CURRENT_USER, kScratch, "Absent", false));
    EXPECT_FALSE(registry.probeDword(HKEY_CURRENT_USER, kMissing, "Absent", false));
}

TEST_F(RegistryAccessTest, ReadDwordReturnsStoredNumber) {
    ASSERT_TRUE(fixtures::setDword(HKEY_CURRENT_USER, kScratch, "Number", 0xCAFE0102));
    EXPECT_EQ(0xCAFE0102u, registry.readDword(HKEY_CURRENT_USER, kScratch, "Number", false));
}

TEST_F(RegistryAccessTest, ReadDwordOfShortDataFillsLowBytes) {
    setBytes("TwoBytes", REG_BINARY, std::string("\x31\x00", 2));
    setBytes("ThreeByteText", REG_SZ, std::string("ab\0", 3));
    EXPECT_EQ(0x31u, registry.readDword(HKEY_CURRENT_USER, kScratch, "TwoBytes", false));
    EXPECT_EQ(0x6261u, registry.readDword(HKEY_CURRENT_USER, kScratch, "ThreeByteText", false));
}

TEST_F(RegistryAccessTest, ReadDwordOfDataLongerThanFourBytesIsZero) {
    setBytes("Quad", REG_QWORD, std::string("\x07\x00\x00\x00\x00\x00\x00\x00", 8));
    setBytes("LongText", REG_SZ, std::string(300, 'x') + '\0');
    EXPECT_EQ(0u, registry.readDword(HKEY_CURRENT_USER, kScratch, "Quad", false));
    EXPECT_EQ(0u, registry.readDword(HKEY_CURRENT_USER, kScratch, "LongText", false));
}

TEST_F(RegistryAccessTest, ReadDwordOfMissingValueOrKeyIsZero) {
    EXPECT_EQ(0u, registry.readDword(HKEY_CURRENT_USER, kScratch, "Absent", false));
    EXPECT_EQ(0u, registry.readDword(HKEY_CURRENT_USER, kMissing, "Absent", false));
}

// --- String reads: bounded by what the query returned and by the 260-byte buffer

TEST_F(RegistryAccessTest, ReadStringReturnsTheTextWithoutItsTerminator) {
    ASSERT_TRUE(fixtures::setString(HKEY_CURRENT_USER, kScratch, "Three", "abc"));
    const std::string text = registry.readString(HKEY_CURRENT_USER, kScratch, "Three", false);
    EXPECT_EQ("abc", text);
    EXPECT_EQ(3u, text.size());
}

TEST_F(RegistryAccessTest, ReadStringReturns259CharactersWhole) {
    const std::string longest(259, 'p');
    ASSERT_TRUE(fixtures::setString(HKEY_CURRENT_USER, kScratch, "Longest", longest));
    EXPECT_EQ(longest, registry.readString(HKEY_CURRENT_USER, kScratch, "Longest", false));
}

TEST_F(RegistryAccessTest, ReadStringOfUnterminatedValueFillingTheBufferIsEmpty) {
    // The platform hands back exactly 260 bytes and no NUL: the text did not fit.
    ASSERT_TRUE(
        fixtures::setUnterminatedString(HKEY_CURRENT_USER, kScratch, "Full", std::wstring(260, L'u')));
    const std::string text = registry.readString(HKEY_CURRENT_USER, kScratch, "Full", false);
    EXPECT_TRUE(text.empty()) << "read " << text.size() << " characters";
}

TEST_F(RegistryAccessTest, ReadStringOfShortUnterminatedValueIsWhole) {
    ASSERT_TRUE(fixtures::setUnterminatedString(HKEY_CURRENT_USER, kScratch, "Short", L"quill"));
    EXPECT_EQ("quill", registry.readString(HKEY_CURRENT_USER, kScratch, "Short", false));
}

TEST_F(RegistryAccessTest, ReadStringOfValueTooLongForTheBufferIsEmpty) {
    ASSERT_TRUE(fixtures::setString(HKEY_CURRENT_USER, kScratch, "TooLong", std::string(300, 'l')));
    ASSERT_TRUE(fixtures::setString(HKEY_CURRENT_USER, kScratch, "JustTooLong", std::string(260, 'l')));
    const std::string tooLong = registry.readString(HKEY_CURRENT_USER, kScratch, "TooLong", false);
    const std::string justTooLong = registry.readString(HKEY_CURRENT_USER, kScratch, "JustTooLong", false);
    EXPECT_TRUE(tooLong.empty()) << "read " << tooLong.size() << " characters";
    EXPECT_TRUE(justTooLong.empty()) << "read " << justTooLong.size() << " characters";
}

TEST_F(RegistryAccessTest, ReadStringNeverReadsPastTheReturnedBytes) {
    setBytes("Binary", REG_BINARY, "xyz");
    setBytes("EmbeddedNul", REG_BINARY, std::string("ab\0cd", 5));
    EXPECT_EQ("xyz", registry.readString(HKEY_CURRENT_USER, kScratch, "Binary", false));
    EXPECT_EQ("ab", registry.readString(HKEY_CURRENT_USER, kScratch, "EmbeddedNul", false));
}

TEST_F(RegistryAccessTest, ReadStringTakesDataOfOtherTypesAsItsBytes) {
    ASSERT_TRUE(fixtures::setDword(HKEY_CURRENT_USER, kScratch, "Letter", 0x41));
    EXPECT_EQ("A", registry.readString(HKEY_CURRENT_USER, kScratch, "Letter", false));
}

TEST_F(RegistryAccessTest, ReadStringOfMissingValueOrKeyIsEmpty) {
    EXPECT_EQ("", registry.readString(HKEY_CURRENT_USER, kScratch, "Absent", false));
    EXPECT_EQ("", registry.readString(HKEY_CURRENT_USER, kMissing, "Absent", false));
}

TEST_F(RegistryAccessTest, EmptyValueNameAddressesTheKeysDefaultValue) {
    EXPECT_EQ("", registry.readString(HKEY_CURRENT_USER, kScratch, "", false));
    EXPECT_TRUE(registry.writeString(HKEY_CURRENT_USER, kScratch, "", "default", false));
    EXPECT_EQ("default", registry.readString(HKEY_CURRENT_USER, kScratch, "", false));
}

// --- Writes: into existing keys only

TEST_F(RegistryAccessTest, WriteStringStoresRegSzWithItsTerminator) {
    ASSERT_TRUE(registry.writeString(HKEY_CURRENT_USER, kScratch, "Text", "quill", false));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, KEY_QUERY_VALUE, &key));
    DWORD type = 0;
    DWORD size = 0;
    const LSTATUS status = ::RegQueryValueExA(key, "Text", nullptr, &type, nullptr, &size);
    ::RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status);
    EXPECT_EQ(DWORD{REG_SZ}, type);
    EXPECT_EQ(6u, size);
}

TEST_F(RegistryAccessTest, WriteDwordStoresRegDword) {
    ASSERT_TRUE(registry.writeDword(HKEY_CURRENT_USER, kScratch, "Number", 0x01020304, false));
    EXPECT_EQ(0x01020304u, fixtures::dwordOf(HKEY_CURRENT_USER, kScratch, "Number").value_or(0xDEAD));
}

TEST_F(RegistryAccessTest, WritesToMissingKeyFailAndDoNotCreateIt) {
    EXPECT_FALSE(registry.writeDword(HKEY_CURRENT_USER, kMissing, "Number", 1, false));
    EXPECT_FALSE(registry.writeString(HKEY_CURRENT_USER, kMissing, "Text", "x", true));
    EXPECT_FALSE(fixtures::keyExists(HKEY_CURRENT_USER, kMissing));
}

// --- Deletes in the process's own view

TEST_F(RegistryAccessTest, DeleteKeyRemovesKeyWithoutSubkeys) {
    const std::string leaf = std::string(kScratch) + "\\Leaf";
    fixtures::CreatedKey created(HKEY_CURRENT_USER, leaf);
    EXPECT_TRUE(registry.deleteKey(HKEY_CURRENT_USER, leaf, false));
    EXPECT_FALSE(fixtures::keyExists(HKEY_CURRENT_USER, leaf));
}

TEST_F(RegistryAccessTest, DeleteKeyRefusesKeyWithSubkeys) {
    const std::string parent = std::string(kScratch) + "\\Parent";
    fixtures::CreatedKey created(HKEY_CURRENT_USER, parent + "\\Child");
    EXPECT_FALSE(registry.deleteKey(HKEY_CURRENT_USER, parent, false));
    EXPECT_TRUE(fixtures::keyExists(HKEY_CURRENT_USER, parent + "\\Child"));
}

TEST_F(RegistryAccessTest, DeleteKeyOfMissingKeyIsFalse) {
    EXPECT_FALSE(registry.deleteKey(HKEY_CURRENT_USER, kMissing, false));
}

// --- What the seam shows: access masks, the WOW64 decision, the extended delete

class RegistryViewTest : public RegistryAccessTest {};

TEST_F(RegistryViewTest, OnlyA32BitProcessRunsUnderWow64) {
    // The tests run in a 64-bit prefix, where every 32-bit process is under WOW64.
    EXPECT_EQ(sizeof(void*) == 4, registry.isWow64());
}

TEST_F(RegistryViewTest, OutsideWow64The64BitViewChangesNoMask) {
    RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsFalse);
    const RegistryAccess watched(recorder.api());
    watched.probeDword(HKEY_CURRENT_USER, kScratch, "V", true);
    watched.readString(HKEY_CURRENT_USER, kScratch, "V", true);
    watched.readDword(HKEY_CURRENT_USER, kScratch, "V", true);
    watched.writeString(HKEY_CURRENT_USER, kScratch, "V", "x", true);
    watched.writeDword(HKEY_CURRENT_USER, kScratch, "V", 1, true);
    EXPECT_EQ((std::vector<REGSAM>{0x0001, 0x0001, 0x0001, 0x20006, 0x20006}), recorder.openMasks);
}

TEST_F(RegistryViewTest, Wow64AddsThe64BitViewOnlyWhenAsked) {
    RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsTrue);
    const RegistryAccess watched(recorder.api());
    ASSERT_TRUE(watched.isWow64());
    watched.probeDword(HKEY_CURRENT_USER, kScratch, "V", true);
    watched.readString(HKEY_CURRENT_USER, kScratch, "V", true);
    watched.readDword(HKEY_CURRENT_USER, kScratch, "V", true);
    watched.writeString(HKEY_CURRENT_USER, kScratch, "V", "x", true);
    watched.writeDword(HKEY_CURRENT_USER, kScratch, "V", 1, true);
    watched.readDword(HKEY_CURRENT_USER, kScratch, "V", false);
    watched.writeDword(HKEY_CURRENT_USER, kScratch, "V", 1, false);
    EXPECT_EQ((std::vector<REGSAM>{0x0101, 0x0101, 0x0101, 0x20106, 0x20106, 0x0001, 0x20006}),
              recorder.openMasks);
}

TEST_F(RegistryViewTest, OnlyAnAnswerOfExactlyTrueMeansWow64) {
    {
        RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsTwo);
        EXPECT_FALSE(RegistryAccess(recorder.api()).isWow64());
    }
    RegistryRecorder recorder(RegistryRecorder::Wow64::QueryMissing);
    EXPECT_FALSE(RegistryAccess(recorder.api()).isWow64());
}

TEST_F(RegistryViewTest, EveryOpenedKeyIsClosedAgain) {
    ASSERT_TRUE(fixtures::setDword(HKEY_CURRENT_USER, kScratch, "V", 3));
    RegistryRecorder recorder;
    const RegistryAccess watched(recorder.api());
    watched.probeDword(HKEY_CURRENT_USER, kScratch, "V", false);
    watched.readString(HKEY_CURRENT_USER, kScratch, "Absent", false);
    watched.readDword(HKEY_CURRENT_USER, kScratch, "V", false);
    watched.writeDword(HKEY_CURRENT_USER, kScratch, "V", 4, false);
    watched.readDword(HKEY_CURRENT_USER, kMissing, "V", false);
    EXPECT_EQ(4, recorder.openedKeys);
    EXPECT_EQ(recorder.openedKeys, recorder.closedKeys);
}

TEST_F(RegistryViewTest, DeleteKeyFor64BitViewUnderWow64DeletesNothing) {
    const std::string leaf = std::string(kScratch) + "\\Leaf";
    fixtures::CreatedKey created(HKEY_CURRENT_USER, leaf);
    RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsTrue);
    const RegistryAccess watched(recorder.api());
    EXPECT_FALSE(watched.deleteKey(HKEY_CURRENT_USER, leaf, true));
    EXPECT_TRUE(fixtures::keyExists(HKEY_CURRENT_USER, leaf));
}

TEST_F(RegistryViewTest, DeleteKeyInViewOutsideWow64LoadsNothing) {
    const std::string leaf = std::string(kScratch) + "\\Leaf";
    fixtures::CreatedKey created(HKEY_CURRENT_USER, leaf);
    RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsFalse);
    const RegistryAccess watched(recorder.api());
    EXPECT_FALSE(watched.deleteKeyInView(HKEY_CURRENT_USER, leaf, KEY_WOW64_64KEY));
    EXPECT_TRUE(recorder.loadedLibraries.empty()) << "loaded " << recorder.loadedLibraries.front();
    EXPECT_TRUE(fixtures::keyExists(HKEY_CURRENT_USER, leaf));
}

TEST_F(RegistryViewTest, DeleteKeyInViewUnderWow64DeletesAndFreesTheLibrary) {
    const std::string leaf = std::string(kScratch) + "\\Leaf";
    fixtures::CreatedKey created(HKEY_CURRENT_USER, leaf);
    RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsTrue);
    const RegistryAccess watched(recorder.api());
    EXPECT_TRUE(watched.deleteKeyInView(HKEY_CURRENT_USER, leaf, KEY_WOW64_64KEY));
    EXPECT_FALSE(fixtures::keyExists(HKEY_CURRENT_USER, leaf));
    EXPECT_EQ(std::vector<std::string>{"advapi32.dll"}, recorder.loadedLibraries);
    EXPECT_EQ(1, recorder.freedLibraries);
}

TEST_F(RegistryViewTest, DeleteKeyInViewOfMissingKeyIsFalseAndStillFreesTheLibrary) {
    RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsTrue);
    const RegistryAccess watched(recorder.api());
    EXPECT_FALSE(watched.deleteKeyInView(HKEY_CURRENT_USER, kMissing, KEY_WOW64_64KEY));
    EXPECT_EQ(1, recorder.freedLibraries);
}

}  // namespace
