#pragma once

#include "text/CodePage.h"

// The ANSI code page that every narrow text in the add-in is written in, as the platform knows it: lead bytes
// and upper-casing come from Windows itself, so double-byte code pages behave as they do everywhere else in
// the host.
class AnsiCodePage final : public CodePage {
public:
    // Shared by every string table; it holds nothing but the lead bytes, learnt once.
    static const AnsiCodePage& instance();

    bool isLeadByte(unsigned char byte) const override { return leadBytes_[byte]; }
    void toUpper(std::string& text) const override;

private:
    AnsiCodePage();
    static const AnsiCodePage instance_;
    bool leadBytes_[256] = {};
};
