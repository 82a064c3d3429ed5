#pragma once

#include <cstddef>
#include <string>

// The few things the text logic must know of the narrow code page it works in, so that the logic itself stays
// free of the operating system: where the next character starts, and how a text is upper-cased. In a
// double-byte code page a lead byte and the byte after it are one character; no match may start on a trailing
// byte.
class CodePage {
public:
    virtual ~CodePage() = default;
    virtual bool isLeadByte(unsigned char byte) const = 0;
    // Upper-cases `text` in place by the code page's rules, leaving double-byte characters whole.
    virtual void toUpper(std::string& text) const = 0;

    // The position of the character after the one at `position` (never past `text.size()`).
    std::size_t next(const std::string& text, std::size_t position) const {
        if (position >= text.size()) return text.size();
        if (isLeadByte(static_cast<unsigned char>(text[position])) && position + 1 < text.size())
            return position + 2;
        return position + 1;
    }
    std::string upper(std::string text) const {
        toUpper(text);
        return text;
    }
    bool equalIgnoringCase(const std::string& a, const std::string& b) const {
        return a.size() == b.size() && upper(a) == upper(b);
    }
};
