#pragma once

#include <string>

#include "text/CodePage.h"

// Code pages with known rules, so that the text logic can be tested, fuzzed and measured off Windows.

// One byte per character; upper-cases the ASCII letters and the Latin-1 small letters as code page 1252 does.
class SingleByteCodePage final : public CodePage {
public:
    bool isLeadByte(unsigned char) const override { return false; }
    void toUpper(std::string& text) const override {
        for (char& c : text) c = static_cast<char>(upper(static_cast<unsigned char>(c)));
    }
    static unsigned char upper(unsigned char byte) {
        if (byte >= 'a' && byte <= 'z') return static_cast<unsigned char>(byte - 0x20);
        if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return static_cast<unsigned char>(byte - 0x20);
        return byte;
    }
};

// The lead bytes of code page 932 (Shift-JIS): any byte may follow one, even a backslash, a quote or a
// percent sign.
inline bool shiftJisLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Shaped like Shift-JIS: lead bytes 0x81-0x9F and 0xE0-0xFC, any byte may follow a lead byte. Only
// single-byte ASCII letters change case; a double-byte character is left whole, even when its second byte
// looks like a letter.
class FakeDoubleByteCodePage final : public CodePage {
public:
    bool isLeadByte(unsigned char byte) const override { return shiftJisLeadByte(byte); }
    void toUpper(std::string& text) const override {
        for (std::size_t i = 0; i < text.size(); i = next(text, i)) {
            if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 0x20);
        }
    }
};
