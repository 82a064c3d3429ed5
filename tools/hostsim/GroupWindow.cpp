#include "tools/hostsim/GroupWindow.h"

#include "win/WindowDc.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace hostsim {
namespace {

constexpr wchar_t kClassName[] = L"QuillerySimulatedRibbon";
constexpr int kMargin = 8;
constexpr int kRowHeight = 26;
constexpr int kRows = 3;  // a ribbon group stacks small controls three high
// The narrowest a drop-down's label gets; a longer label widens its group's columns.
constexpr int kMinimumLabelWidth = 96;
constexpr int kComboWidth = 150;
// What a control draws besides its text: a static's gap before the drop-down, a check box's box, a button's
// frame.
constexpr int kLabelGap = 4;
constexpr int kCheckBoxGlyph = 20;
constexpr int kButtonFrame = 12;
constexpr int kLargeButtonWidth = 72;
constexpr int kGroupLabelHeight = 20;
constexpr UINT_PTR kSignalTimer = 1;
constexpr int kFirstCommand = 100;

struct Wired {
    AddInSession* session;
    std::wstring id;
    HWND window;
};

struct WindowState {
    HostSession* session;
    std::wstring closeSignal;
    const std::function<void(const std::wstring&)>* print;
    std::vector<Wired> wired;  // command id = kFirstCommand + index
    HFONT font;
    bool announced = false;
};

HWND child(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int x, int y,
           int width, int height, int command, HFONT font) {
    const HWND window =
        ::CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                          parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(command)), nullptr, nullptr);
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return window;
}

// Puts the add-in's current answers into the controls (after an action the ribbon may have asked again).
void refresh(WindowState& state) {
    for (Wired& wired : state.wired) {
        const ShownControl* shown = wired.session->control(wired.id);
        if (!shown) continue;
        if (shown->hasPressed)
            ::SendMessageW(wired.window, BM_SETCHECK, shown->pressed ? BST_CHECKED : BST_UNCHECKED, 0);
        if (shown->markup.kind == L"dropDown") ::SendMessageW(wired.window, CB_SETCURSEL, shown->selected, 0);
        ::EnableWindow(wired.window, shown->enabled);
    }
}

void act(WindowState& state, size_t index, const UserAction& action) {
    AddInSession& session = *state.wired[index].session;
    const size_t traced = session.trace().size();
    state.session->perform(action);
    for (size_t line = traced; line < session.trace().size(); ++line)
        (*state.print)(L"  " + session.trace()[line]);
    refresh(state);
}

// The width `text` takes in the window's font.
int textWidth(HWND window, HFONT font, const std::wstring& text) {
    const win::WindowDc dc(window);
    const win::SelectedObject selected(dc.get(), font);
    SIZE size{};
    if (!dc || !::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size)) return 0;
    return size.cx;
}

// The widths one group's columns need so that every label is whole: a drop-down's label beside its list, a
// check box's text beside its box, a button's text inside its frame.
struct Columns {
    int label = kMinimumLabelWidth;
    int width = kMinimumLabelWidth + kComboWidth + kMargin;
};

Columns measure(HWND window, HFONT font, const AddInSession& session) {
    Columns columns;
    int widest = 0;
    for (const ShownControl& shown : session.controls()) {
        if (!shown.visible) continue;
        const int text = textWidth(window, font, shown.label + (shown.markup.kind == L"dropDown" ? L":" : L""));
        if (shown.markup.kind == L"dropDown")
            columns.label = std::max(columns.label, text + kLabelGap);
        else if (shown.markup.kind == L"checkBox" || shown.markup.kind == L"toggleButton")
            widest = std::max(widest, text + kCheckBoxGlyph);
        else if (shown.markup.kind == L"button" && shown.markup.attribute(L"size") != L"large")
            widest = std::max(widest, text + kButtonFrame);
    }
    columns.width = std::max(columns.label + kComboWidth, widest) + kMargin;
    return columns;
}

// Says each label as it is drawn, and whether it fits, so that a picture can be checked without looking.
void sayDrawn(const WindowState& state, HWND window, const std::wstring& text, int room) {
    const int needed = textWidth(window, state.font, text);
    wchar_t line[400];
    std::swprintf(line, 400, needed <= room ? L"Drawn: \"%ls\"" : L"Drawn: \"%ls\" does not fit: %d of %d pixels",
                  text.c_str(), room, needed);
    (*state.print)(line);
}

// Lays out one group from `left`; returns its right edge.
int layOut(HWND window, WindowState& state, AddInSession& session, int left) {
    const Columns columns = measure(window, state.font, session);
    int column = 0, row = 0, right = left + kMargin;
    const ShownControl* group = nullptr;
    const ShownControl* launcher = nullptr;
    auto wire = [&](const ShownControl& shown, HWND control) {
        state.wired.push_back({&session, shown.markup.id, control});
        ::SetWindowLongPtrW(control, GWLP_ID, kFirstCommand + static_cast<LONG_PTR>(state.wired.size() - 1));
    };
    const int top = kMargin;
    for (const ShownControl& shown : session.controls()) {
        if (shown.markup.kind == L"group") {
            group = &shown;
            continue;
        }
        if (shown.isLauncher()) {
            launcher = &shown;
            continue;
        }
        if (!shown.visible) continue;
        const bool large = shown.markup.kind == L"button" && shown.markup.attribute(L"size") == L"large";
        if (large) {
            if (row > 0) ++column, row = 0;
            const int x = left + kMargin + column * columns.width;
            wire(shown, child(window, L"Button", shown.label, BS_PUSHBUTTON | BS_MULTILINE, x, top,
                              kLargeButtonWidth, kRows * kRowHeight - 4, 0, state.font));
            right = x + kLargeButtonWidth + kMargin;
            left += kLargeButtonWidth + kMargin - columns.width;  // a large button takes a narrow column
            ++column;
            continue;
        }
        const int x = left + kMargin + column * columns.width;
        const int y = top + row * kRowHeight;
        if (shown.markup.kind == L"dropDown") {
            child(window, L"Static", shown.label + L":", SS_LEFT, x, y + 4, columns.label - kLabelGap, 18, 0,
                  state.font);
            sayDrawn(state, window, shown.label + L":", columns.label - kLabelGap);
            const HWND combo = child(window, L"ComboBox", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                                     x + columns.label, y, kComboWidth, 200, 0, state.font);
            for (const ShownControl::Item& item : shown.items)
                ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.label.c_str()));
            wire(shown, combo);
        } else if (shown.markup.kind == L"checkBox" || shown.markup.kind == L"toggleButton") {
            wire(shown, child(window, L"Button", shown.label, BS_CHECKBOX | WS_TABSTOP, x, y,
                              columns.width - kMargin, kRowHeight - 4, 0, state.font));
            sayDrawn(state, window, shown.label, columns.width - kMargin - kCheckBoxGlyph);
        } else if (shown.markup.kind == L"button") {
            wire(shown, child(window, L"Button", shown.label, BS_PUSHBUTTON | WS_TABSTOP, x, y,
                              columns.width - kMargin, kRowHeight - 4, 0, state.font));
            sayDrawn(state, window, shown.label, columns.width - kMargin - kButtonFrame);
        } else {
            continue;
        }
        right = std::max(right, x + columns.width);
        if (++row == kRows) ++column, row = 0;
    }
    const int labelTop = top + kRows * kRowHeight + 2;
    child(window, L"Static", group ? group->label : std::wstring(), SS_CENTER, left, labelTop,
          right - left - 20, kGroupLabelHeight, 0, state.font);
    if (group) sayDrawn(state, window, group->label, right - left - 20);
    if (launcher)
        wire(*launcher,
             child(window, L"Button", L"...", BS_PUSHBUTTON, right - 20, labelTop, 16, 16, 0, state.font));
    // The ribbon's separator after a group.
    child(window, L"Static", L"", SS_ETCHEDVERT, right, kMargin, 2, labelTop + kGroupLabelHeight - kMargin, 0,
          state.font);
    return right + 2;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND: {
            const int command = LOWORD(wParam);
            if (!state || command < kFirstCommand ||
                command - kFirstCommand >= static_cast<int>(state->wired.size()))
                break;
            const size_t index = static_cast<size_t>(command - kFirstCommand);
            const Wired& wired = state->wired[index];
            const ShownControl* shown = wired.session->control(wired.id);
            if (!shown) break;
            const int notification = HIWORD(wParam);
            if (shown->markup.kind == L"dropDown" && notification == CBN_SELCHANGE) {
                const auto selected = static_cast<LONG>(::SendMessageW(wired.window, CB_GETCURSEL, 0, 0));
                act(*state, index, {UserAction::Kind::Choose, wired.id, selected});
            } else if (notification == BN_CLICKED && shown->hasPressed) {
                act(*state, index, {UserAction::Kind::Toggle, wired.id});
            } else if (notification == BN_CLICKED && shown->markup.kind == L"button") {
                act(*state, index, {UserAction::Kind::Press, wired.id});
            }
            return 0;
        }
        case WM_TIMER:
            if (state && wParam == kSignalTimer) {
                if (!state->announced && ::IsWindowVisible(window)) {
                    state->announced = true;
                    RECT place{};
                    ::GetWindowRect(window, &place);
                    wchar_t line[200];
                    std::swprintf(line, 200, L"Group window open: at %ld,%ld size %ldx%ld", place.left,
                                  place.top, place.right - place.left, place.bottom - place.top);
                    (*state->print)(line);
                }
                if (!state->closeSignal.empty() &&
                    ::GetFileAttributesW(state->closeSignal.c_str()) != INVALID_FILE_ATTRIBUTES)
                    ::DestroyWindow(window);
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            // The ribbon's light face behind labels and check boxes.
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void runGroupWindow(HostSession& session, const std::wstring& closeSignal,
                    const std::function<void(const std::wstring&)>& print) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassW(&windowClass);

    WindowState state{
        &session, closeSignal, &print, {}, static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT))};
    const std::wstring title =
        std::wstring(session.profile().title) + L" (simulated): the add-ins' ribbon groups";
    const HWND window =
        ::CreateWindowExW(0, kClassName, title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 20, 20, 600,
                          200, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) {
        print(L"could not create the group window");
        return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    int right = 0;
    for (const HostSession::ListedAddIn& listed : session.addIns()) {
        if (listed.session && !listed.session->controls().empty())
            right = layOut(window, state, *listed.session, right);
    }
    refresh(state);
    RECT client = {0, 0, std::max(right + kMargin, 240),
                   kMargin + kRows * kRowHeight + kGroupLabelHeight + kMargin};
    ::AdjustWindowRect(&client, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE);
    ::SetWindowPos(window, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                   SWP_NOMOVE | SWP_NOZORDER);
    ::ShowWindow(window, SW_SHOW);
    ::UpdateWindow(window);
    ::SetTimer(window, kSignalTimer, 100, nullptr);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::UnregisterClassW(kClassName, windowClass.hInstance);
}

}  // namespace hostsim
