#include "text/AnsiCodePage.h"

#include <windows.h>

#include <climits>

// Built as the library loads rather than on first use: a function's own static is set up under the runtime's
// guard lock, which a library that is loaded and freed again pays for anew at every load and never gets back.
const AnsiCodePage AnsiCodePage::instance_;

const AnsiCodePage& AnsiCodePage::instance() {
    return instance_;
}

AnsiCodePage::AnsiCodePage() {
    for (unsigned byte = 0; byte < 256; ++byte)
        leadBytes_[byte] = ::IsDBCSLeadByte(static_cast<BYTE>(byte)) != 0;
}

void AnsiCodePage::toUpper(std::string& text) const {
    // CharUpperBuffA upper-cases whole characters, so the trailing byte of a double-byte character is never
    // taken for a letter of its own. Texts past its 32-bit count are upper-cased a piece at a time, cut at a
    // character.
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t end = text.size();
        if (end - position > INT_MAX / 2) {
            end = position;
            while (end < text.size() && end - position < INT_MAX / 2) end = next(text, end);
        }
        ::CharUpperBuffA(&text[position], static_cast<DWORD>(end - position));
        position = end;
    }
}
