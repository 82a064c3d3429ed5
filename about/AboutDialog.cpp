#include "about/AboutDialog.h"

#include "about/AboutResources.h"
#include "win/WindowDc.h"

AboutDialog::AboutDialog(const StringTable* strings) noexcept
    : AboutBox(strings, {QUILLERY_ABOUT_TEMPLATE, QUILLERY_ABOUT_OK, QUILLERY_ABOUT_VERSION,
                         QUILLERY_ABOUT_COPYRIGHT, QUILLERY_ABOUT_ALL_RIGHTS, QUILLERY_ABOUT_BANNER}) {}

// The template lets the two legal lines overlap: the second starts one line below the first. The first line's
// text is measured on one line in its control's font; when it is wider than the control it wraps, and the
// second line moves down by the height of one line of that font (the text's height laid out without
// wrapping). A text exactly as wide as the control fits and moves nothing.
void AboutDialog::arrangeLegalLines(const std::string& firstLine) {
    const HWND box = window();
    const HWND first = ::GetDlgItem(box, controls().copyright);
    const HWND second = ::GetDlgItem(box, controls().allRights);
    if (!first || !second) return;
    win::WindowDc dc(box);
    if (!dc) return;

    RECT firstRect{};
    ::GetWindowRect(first, &firstRect);
    win::SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageA(first, WM_GETFONT, 0, 0)));
    const int length = static_cast<int>(firstLine.size());
    SIZE extent{};
    if (!::GetTextExtentPoint32A(dc.get(), firstLine.data(), length, &extent)) return;
    if (extent.cx <= firstRect.right - firstRect.left) return;

    RECT bounds = firstRect;
    ::DrawTextA(dc.get(), firstLine.data(), length, &bounds, DT_CALCRECT);
    const LONG lineHeight = bounds.bottom - bounds.top;

    RECT secondRect{};
    ::GetWindowRect(second, &secondRect);
    POINT corners[2] = {{secondRect.left, secondRect.top + lineHeight},
                        {secondRect.right, secondRect.bottom + lineHeight}};
    ::ScreenToClient(box, &corners[0]);
    ::ScreenToClient(box, &corners[1]);
    ::MoveWindow(second, corners[0].x, corners[0].y, corners[1].x - corners[0].x, corners[1].y - corners[0].y,
                 TRUE);
}
