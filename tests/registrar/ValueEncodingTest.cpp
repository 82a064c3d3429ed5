// The registry form of a script's values, type letter and text in, registry type and bytes out, without a
// script or a registry around them.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "server/registrar/ValueEncoding.h"
#include "tests/support/HexBytes.h"
#include "tools/testing/ModelCodePages.h"
#include "tools/testing/PlainNumber.h"

using namespace registrar;

namespace {

bool singleByte(unsigned char) {
    return false;
}

Result outOfMemory(const std::string&, std::uint32_t&) {
    return kOutOfMemory;
}

std::string bytes(std::initializer_list<unsigned char> list) {
    return std::string(list.begin(), list.end());
}

struct EncodingCase {
    const char* name;
    std::string type;
    std::string text;
    Result result;
    std::uint32_t registryType;  // with kOk only
    std::string data;
    TextRules rules = {singleByte, plainNumber};
};

TEST(ValueEncoding, TypeLetterAndTextGiveTheRegistryTypeAndBytes) {
    const std::string jisSo = "\x83\x5C";  // a double-byte character whose second byte is a backslash
    const std::vector<EncodingCase> cases = {
        {"string with its terminator", "S", "x y", kOk, kString, std::string("x y\0", 4)},
        {"lower-case letter", "s", "", kOk, kString, std::string("\0", 1)},
        {"string keeps backslash-zero as written", "S", "a\\0b", kOk, kString, std::string("a\\0b\0", 5)},
        {"multi-string pieces and the empty one that ends them", "m", "a\\0b", kOk, kMultiString,
         std::string("a\0b\0\0", 5)},
        {"multi-string ends at its first empty piece", "M", "a\\0\\0b", kOk, kMultiString,
         std::string("a\0\0", 3)},
        {"empty multi-string", "M", "", kOk, kMultiString, std::string("\0", 1)},
        {"backslash without zero stays", "M", "a\\1", kOk, kMultiString, std::string("a\\1\0\0", 5)},
        {"double-byte character is never split",
         "M",
         "x" + jisSo + "0",
         kOk,
         kMultiString,
         "x" + jisSo + std::string("0\0\0", 3),
         {shiftJisLeadByte, plainNumber}},
        {"dword little-endian", "d", "3", kOk, kDword, bytes({3, 0, 0, 0})},
        {"dword in hexadecimal", "D", "&H1F2", kOk, kDword, bytes({0xF2, 0x01, 0, 0})},
        {"dword that is no number is 0", "d", "three", kOk, kDword, bytes({0, 0, 0, 0})},
        {"dword conversion out of memory", "D", "3", kOutOfMemory, 0, "", {singleByte, outOfMemory}},
        {"binary, first digit the high half", "b", "0A1f", kOk, kBinary, bytes({0x0A, 0x1F})},
        {"binary, anything else counts as 0", "B", "zz1G", kOk, kBinary, bytes({0x00, 0x10})},
        {"empty binary", "B", "", kOk, kBinary, ""},
        {"binary of odd length", "B", "123", kFail, 0, ""},
        {"unknown letter", "x", "v", kSyntaxError, 0, ""},
        {"type word instead of letter", "sz", "v", kSyntaxError, 0, ""},
        {"no type", "", "v", kSyntaxError, 0, ""},
    };
    for (const EncodingCase& row : cases) {
        EncodedValue value;
        EXPECT_EQ(encodeValue(row.type, row.text, row.rules, value), row.result) << row.name;
        if (row.result != kOk) continue;
        EXPECT_EQ(value.type, row.registryType) << row.name;
        EXPECT_EQ(hex(value.data), hex(row.data)) << row.name;
    }
}

}  // namespace
