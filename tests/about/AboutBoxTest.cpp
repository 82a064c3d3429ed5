// The two About boxes run for real from the templates linked into this program, under Wine's null display
// driver: texts, positions, colours, how they close, and the left-to-right box's legal-line layout.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "about/AboutDialog.h"
#include "about/AboutDialogRTL.h"
#include "tests/about/AboutBoxWatch.h"
#include "text/AnsiCodePage.h"
#include "text/StringTable.h"
#include "win/UniqueGdiObject.h"
#include "win/WindowDc.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

std::unique_ptr<StringTable> tableWith(const std::string& copyright) {
    auto table = std::make_unique<StringTable>(AnsiCodePage::instance());
    table->parse(
        "<String Key=\"Lang\" Value=\"en\"/>\n<String Key=\"LangAboutTitle\" Value=\"About it\"/>\n"
        "<String Key=\"LangAboutVersion\" Value=\"Version\"/>\n"
        "<String Key=\"LangAboutCopyright\" Value=\"" +
        copyright +
        "\"/>\n"
        "<String Key=\"LangAboutAllRights\" Value=\"All rights reserved.\"/>\n"
        "<String Key=\"LangAboutOK\" Value=\"OK\"/>\n");
    return table;
}

// Runs one box over a parent window of its own and reports what was seen and its end code.
SeenBox run(bool rightToLeft, const StringTable& table, INT_PTR& endCode, Closing closing = Closing::kOk,
            const std::function<void(HWND)>& look = {}) {
    const HWND parent = makeActiveWindow();
    const SeenBox seen = watchAboutBox(
        [&] {
            endCode =
                rightToLeft ? AboutDialogRTL(&table).doModal(parent) : AboutDialog(&table).doModal(parent);
        },
        closing, look);
    EXPECT_TRUE(seen.closed) << "the box did not close";
    EXPECT_EQ(seen.owner, parent);
    ::DestroyWindow(parent);
    return seen;
}

// Where the dialog manager puts a control given in dialog units: position and size are converted apart.
RECT inPixels(HWND box, int x, int y, int width, int height) {
    RECT place{x, y, width, height};
    ::MapDialogRect(box, &place);
    return {place.left, place.top, place.left + place.right, place.top + place.bottom};
}

TEST(AboutBoxTest, EachDirectionShowsItsTemplateAndTextsAndClosesWithOkOrTheCloseBoxButNotWithEscape) {
    const struct {
        bool rightToLeft;
        Closing closing;
    } rows[] = {
        {false, Closing::kOk}, {false, Closing::kCloseBox}, {true, Closing::kOk}, {true, Closing::kCloseBox}};
    const auto table = tableWith("Copyright");
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.rightToLeft ? "right to left" : "left to right") +
                     (row.closing == Closing::kOk ? ", OK" : ", close box"));
        const int base = row.rightToLeft ? 410 : 400;
        RECT layout[5] = {};
        INT_PTR endCode = 0;
        const SeenBox seen = run(row.rightToLeft, *table, endCode, row.closing, [&](HWND box) {
            const int units[5][4] = {
                {143, 102, 50, 15}, {0, 0, 305, 50}, {20, 40, 159, 15}, {20, 60, 159, 41}, {20, 70, 159, 41}};
            for (int i = 0; i < 5; ++i)
                layout[i] = inPixels(box, units[i][0], units[i][1], units[i][2], units[i][3]);
        });
        EXPECT_EQ(1, endCode);
        EXPECT_TRUE(seen.openAfterEscape && seen.cancelReachedBox)
            << "Escape closed the box or never reached it";
        EXPECT_FALSE(seen.ownerEnabled) << "the box is not modal";
        EXPECT_EQ(row.rightToLeft, seen.mirrored);
        EXPECT_FALSE(seen.bannerReflected) << "the banner's lettering reads backwards";
        EXPECT_EQ("About it", seen.title);
        // The banner's text names its picture; it is not ours to check.
        const char* texts[] = {"OK", nullptr, "Version: 1.41.0.0-en", "Copyright", "All rights reserved."};
        ASSERT_EQ(5u, seen.controls.size());
        for (int i = 0; i < 5; ++i) {
            const SeenControl& control = seen.controls.at(base + 1 + i);
            if (texts[i]) {
                EXPECT_EQ(texts[i], control.text) << "control " << base + 1 + i;
            }
            const RECT& want = layout[i];
            EXPECT_EQ(want.left, control.rect.left) << "control " << base + 1 + i;
            EXPECT_EQ(want.top, control.rect.top) << "control " << base + 1 + i;
            // The banner takes its picture's size.
            const SIZE size = i == 1 ? SIZE{305, 50} : SIZE{want.right - want.left, want.bottom - want.top};
            EXPECT_EQ(size.cx, control.rect.right - control.rect.left) << "control " << base + 1 + i;
            EXPECT_EQ(size.cy, control.rect.bottom - control.rect.top) << "control " << base + 1 + i;
        }
        // Mirrored: OK sits as far from the client area's left edge as it sits from the right edge
        // unmirrored.
        const RECT& ok = seen.controls.at(base + 1).screen;
        EXPECT_EQ(layout[0].left,
                  row.rightToLeft ? seen.client.right - ok.right : ok.left - seen.client.left);
        for (const auto& [message, answer] : seen.colours) {
            EXPECT_EQ(kWhite, answer.brush) << "message " << message;
            EXPECT_EQ(message == WM_CTLCOLORSTATIC ? kWhite : RGB(1, 2, 3), answer.background) << message;
            EXPECT_EQ(RGB(1, 2, 3), answer.text) << "message " << message;
        }
    }
}

TEST(AboutBoxTest, TheSecondLegalLineMovesDownOneLineOnlyWhenTheFirstIsWiderThanItsControlLeftToRight) {
    // The first legal line's font and width as the box makes them.
    LOGFONTA font{};
    LONG width = 0;
    INT_PTR endCode = 0;
    run(false, *tableWith("x"), endCode, Closing::kOk, [&](HWND box) {
        const HWND first = ::GetDlgItem(box, 404);
        ::GetObjectA(reinterpret_cast<HGDIOBJ>(::SendMessageA(first, WM_GETFONT, 0, 0)), sizeof font, &font);
        RECT rect{};
        ::GetWindowRect(first, &rect);
        width = rect.right - rect.left;
    });
    win::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    win::UniqueFont measuring(::CreateFontIndirectA(&font));
    win::SelectedObject selected(dc.get(), measuring.get());
    const auto widthOf = [&](const std::string& text) {
        SIZE extent{};
        ::GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &extent);
        return extent.cx;
    };
    // A text exactly as wide as the control: letters as long as they fit, then the narrowest ones to fill up.
    std::string exact;
    for (const char* fill : {"m", "n", "x", "r", "i", "l", "."})
        while (widthOf(exact + fill) <= width) exact += fill;
    ASSERT_EQ(width, widthOf(exact)) << "no exact text: " << exact;
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc.get(), &metrics);

    const struct {
        const char* name;
        std::string firstLine;
        bool rightToLeft;
        LONG movedBy;
    } rows[] = {
        {"fits", exact.substr(1), false, 0},
        {"exactly as wide", exact, false, 0},
        {"one character too wide", exact + "m", false, metrics.tmHeight},
        {"too wide, right to left", exact + exact, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RECT templatePlace{};
        const SeenBox seen = run(row.rightToLeft, *tableWith(row.firstLine), endCode, Closing::kOk,
                                 [&](HWND box) { templatePlace = inPixels(box, 20, 70, 159, 41); });
        const SeenControl& second = seen.controls.at(row.rightToLeft ? 415 : 405);
        EXPECT_EQ(templatePlace.top + row.movedBy, second.rect.top);
        EXPECT_EQ(templatePlace.bottom - templatePlace.top, second.rect.bottom - second.rect.top);
        EXPECT_EQ(templatePlace.left, second.rect.left);
    }
}

}  // namespace
