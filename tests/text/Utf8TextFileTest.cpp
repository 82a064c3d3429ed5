#include "tests/support/HexBytes.h"
#include "text/Utf8TextFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/text/TemporaryFolder.h"
#include "win/UniqueHandle.h"

namespace {

constexpr char kUntouched[] = "untouched";

class Utf8TextFileRead : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 1252u) << "these tests expect the Western European code page";
    }

    // Writes `bytes` and reads them back; `text` starts as kUntouched.
    bool read(const std::string& bytes) {
        text = kUntouched;
        return loader.readFile(folder.write("file.txt", bytes), text);
    }

    TemporaryFolder folder;
    Utf8TextFile loader;
    std::string text;
};

// Whatever the calling thread's locale, the text is in the system's code page, the one the "A" functions that
// take it read: a host that sets its thread to Japanese still shows "é" as the system's 1252 has it.
TEST_F(Utf8TextFileRead, ConvertsToTheSystemsAnsiCodePageWhateverTheThreadsLocale) {
    for (const LCID locale : {::GetThreadLocale(), static_cast<LCID>(MAKELCID(0x0411, SORT_DEFAULT))}) {
        const LCID saved = ::GetThreadLocale();
        ::SetThreadLocale(locale);
        const bool readIt = read("A\xC3\xA9");
        ::SetThreadLocale(saved);
        ASSERT_TRUE(readIt) << locale;
        EXPECT_EQ(text, "A\xE9") << hex(text) << " in locale " << locale;
    }
}

TEST_F(Utf8TextFileRead, StrayContinuationByteBecomesItsLatin1Character) {
    ASSERT_TRUE(read("\xA9"));
    EXPECT_EQ(text, "\xA9") << hex(text);
}

TEST_F(Utf8TextFileRead, CharacterTheCodePageLacksBecomesItsDefaultCharacter) {
    ASSERT_TRUE(read("x\xE3\x82\xA2y"));
    EXPECT_EQ(text, "x?y") << hex(text);
}

TEST_F(Utf8TextFileRead, FourByteSequenceBecomesTheDefaultCharacter) {
    ASSERT_TRUE(read("x\xF0\x9F\x98\x80y"));
    EXPECT_EQ(text, "x?y") << hex(text);
}

TEST_F(Utf8TextFileRead, CarriageReturnLineFeedPassesUnchanged) {
    ASSERT_TRUE(read("one\r\ntwo\r\n"));
    EXPECT_EQ(text, "one\r\ntwo\r\n");
}

TEST_F(Utf8TextFileRead, ByteOrderMarkIsConvertedLikeAnyCharacter) {
    // Code page 1252 has no U+FEFF: it becomes the default character at the start of the text (as under Wine;
    // the point is that it is not dropped).
    ASSERT_TRUE(read("\xEF\xBB\xBF<x/>"));
    EXPECT_EQ(text.substr(1), "<x/>") << hex(text);
    EXPECT_EQ(text.size(), 5u) << hex(text);
}

TEST_F(Utf8TextFileRead, TextEndsAtTheFirstNul) {
    ASSERT_TRUE(read(std::string("A\0B", 3)));
    EXPECT_EQ(text, "A");
}

TEST_F(Utf8TextFileRead, OverlongNulGivesAnEmptyText) {
    ASSERT_TRUE(read("\xC0\x80rest"));
    EXPECT_EQ(text, "");
}

TEST_F(Utf8TextFileRead, LargeFileIsReadWhole) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes += "line \xC3\xA9 " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(read(bytes));
    EXPECT_EQ(text.size(), bytes.size() - 200000) << "one byte less per line for the two-byte character";
    EXPECT_EQ(text.substr(text.size() - 15), "line \xE9 199999\r\n");
}

class Utf8TextFileRefuse : public Utf8TextFileRead {};

TEST_F(Utf8TextFileRefuse, EmptyFile) {
    EXPECT_FALSE(read(""));
    EXPECT_EQ(text, kUntouched);
}

TEST_F(Utf8TextFileRefuse, SequenceRunningPastTheEnd) {
    EXPECT_FALSE(read("abc\xC3"));
    EXPECT_EQ(text, kUntouched);
}

TEST_F(Utf8TextFileRefuse, MissingContinuationByte) {
    EXPECT_FALSE(read("\xC3\x41"));
    EXPECT_EQ(text, kUntouched);
}

TEST_F(Utf8TextFileRefuse, LeadByteF8EvenWithEnoughBytesAfter) {
    EXPECT_FALSE(read("ok\xF8\x80\x80\x80\x80 more"));
    EXPECT_EQ(text, kUntouched);
}

TEST_F(Utf8TextFileRefuse, MissingFile) {
    text = kUntouched;
    EXPECT_FALSE(loader.readFile(folder.path("absent.txt"), text));
    EXPECT_EQ(text, kUntouched);
}

TEST_F(Utf8TextFileRefuse, EmptyPath) {
    text = kUntouched;
    EXPECT_FALSE(loader.readFile("", text));
    EXPECT_EQ(text, kUntouched);
}

TEST_F(Utf8TextFileRefuse, FolderInPlaceOfAFile) {
    text = kUntouched;
    EXPECT_FALSE(loader.readFile(folder.folder("folder.xml"), text));
    EXPECT_EQ(text, kUntouched);
}

// While the installer (or anyone) holds the file open for writing, it cannot be opened for reading with read
// sharing only: Windows refuses the open with a sharing violation, whatever sharing the writer allowed.
TEST_F(Utf8TextFileRefuse, FileHeldOpenForWriting) {
    const std::string path = folder.write("held.txt", "content");
    for (DWORD writerSharing :
         {DWORD{0}, DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        win::UniqueHandle writer(::CreateFileA(path.c_str(), GENERIC_WRITE, writerSharing, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer) << "error " << ::GetLastError();
        text = kUntouched;
        EXPECT_FALSE(loader.readFile(path, text)) << "writer sharing " << writerSharing;
        EXPECT_EQ(text, kUntouched);
    }
    text = kUntouched;
    EXPECT_TRUE(loader.readFile(path, text)) << "readable again once the writer closed it";
    EXPECT_EQ(text, "content");
}

TEST_F(Utf8TextFileRead, FileHeldOpenForReadingOnlyIsRead) {
    const std::string path = folder.write("shared.txt", "content");
    win::UniqueHandle reader(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    ASSERT_TRUE(loader.readFile(path, text));
    EXPECT_EQ(text, "content");
}

// A file of 4 GB or more: its size's low 32 bits alone would read a few bytes and report them as the whole
// file.
TEST_F(Utf8TextFileRefuse, FileOfFourGigabytesOrMore) {
    const std::string path = folder.path("huge.txt");
    {
        win::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), "ABC", 3, &written, nullptr));
        LARGE_INTEGER size;
        size.QuadPart = (1LL << 32) + 3;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.get())) << "error " << ::GetLastError();
    }
    text = kUntouched;
    EXPECT_FALSE(loader.readFile(path, text)) << "read as " << hex(text.substr(0, 16));
    EXPECT_EQ(text, kUntouched);
}

}  // namespace
