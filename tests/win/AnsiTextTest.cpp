// Every conversion of narrow text uses the system's ANSI code page, the one the "A" functions read, whatever
// the calling thread's locale: a host that sets its thread to Japanese (code page 932) in a process of code
// page 1252 still gets "é" as 1252 has it, from each converter.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "win/AnsiText.h"
#include "win/UniqueBstr.h"

namespace {

// Four characters in code page 1252; in 932, three: "A", one double-byte character and a lead byte left
// alone.
const std::string kAnsi = "A\x82\xA0\xE9";
const std::wstring kWide = L"A\u201A\u00A0\u00E9";

TEST(AnsiText, EveryConverterUsesTheSystemsCodePageWhateverTheThreadsLocale) {
    ASSERT_EQ(1252u, ::GetACP()) << "these rows expect the Western European code page";
    const std::pair<const char*, std::string (*)()> rows[] = {
        {"widen", [] { return win::widen(kAnsi) == kWide ? kAnsi : std::string("(other)"); }},
        {"narrow", [] { return win::narrow(kWide); }},
        {"isValidAnsi", [] { return win::isValidAnsi(kAnsi) ? kAnsi : std::string("(invalid)"); }},
        {"widenToBstr and narrowFromBstr",
         [] { return win::narrowFromBstr(win::UniqueBstr(win::widenToBstr(kAnsi)).get()); }},
        {"narrowFromWide", [] { return win::narrowFromWide(kWide.data(), kWide.size()); }},
        {"utf8FromAnsi and ansiFromUtf8", [] { return win::ansiFromUtf8(win::utf8FromAnsi(kAnsi)); }},
    };
    const LCID saved = ::GetThreadLocale();
    for (const LCID locale : {saved, static_cast<LCID>(MAKELCID(0x0411, SORT_DEFAULT))}) {
        ASSERT_TRUE(::SetThreadLocale(locale));
        for (const auto& [name, convert] : rows) EXPECT_EQ(kAnsi, convert()) << name << ", locale " << locale;
    }
    ::SetThreadLocale(saved);
}

}  // namespace
