#include "tests/about/AboutBoxWatch.h"

#include <vector>

#include "win/UniqueGdiObject.h"

namespace {

constexpr int kTicksBeforeGivingUp = 250;  // of 20 ms

struct Watch {
    Closing closing;
    const std::function<void(HWND)>* look;
    SeenBox seen;
    int stage = 0;
    int ticks = 0;
};
Watch* watch = nullptr;

// Called back by the window enumeration with the platform's calling convention, which a lambda does not have
// on every machine.
BOOL CALLBACK keepVisibleBox(HWND window, LPARAM result) {
    char name[16] = {};
    ::GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !::IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

HWND visibleBoxOfThisThread() {
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), keepVisibleBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string windowText(HWND window) {
    char text[1024] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

ColourAnswer askColour(HWND box, UINT message, HWND control) {
    win::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    ::SetBkColor(dc.get(), RGB(1, 2, 3));
    ::SetTextColor(dc.get(), RGB(1, 2, 3));
    ColourAnswer answer;
    const auto brush = reinterpret_cast<HGDIOBJ>(
        ::SendMessageA(box, message, reinterpret_cast<WPARAM>(dc.get()), reinterpret_cast<LPARAM>(control)));
    LOGBRUSH described{};
    if (brush && ::GetObjectA(brush, sizeof described, &described) == sizeof described &&
        described.lbStyle == BS_SOLID)
        answer.brush = described.lbColor;
    answer.background = ::GetBkColor(dc.get());
    answer.text = ::GetTextColor(dc.get());
    return answer;
}

void readBox(HWND box, SeenBox& seen) {
    seen.seen = true;
    seen.window = box;
    seen.title = windowText(box);
    seen.mirrored = (::GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    seen.owner = ::GetWindow(box, GW_OWNER);
    seen.ownerEnabled = seen.owner && ::IsWindowEnabled(seen.owner);
    ::GetClientRect(box, &seen.client);
    ::MapWindowPoints(box, HWND_DESKTOP, reinterpret_cast<POINT*>(&seen.client), 2);
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        SeenControl control{windowText(child), {}, {}};
        ::GetWindowRect(child, &control.screen);
        control.rect = control.screen;
        ::MapWindowPoints(HWND_DESKTOP, box, reinterpret_cast<POINT*>(&control.rect), 2);
        seen.controls[::GetDlgCtrlID(child)] = control;
    }
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
        const HDC dc = ::GetDC(child);
        seen.bannerReflected = (::GetLayout(dc) & LAYOUT_RTL) != 0;
        ::ReleaseDC(child, dc);
    }
    const HWND firstStatic = ::FindWindowExA(box, nullptr, "Static", nullptr);
    const HWND button = ::FindWindowExA(box, nullptr, "Button", nullptr);
    seen.colours[WM_CTLCOLORDLG] = askColour(box, WM_CTLCOLORDLG, box);
    seen.colours[WM_CTLCOLORSTATIC] = askColour(box, WM_CTLCOLORSTATIC, firstStatic);
    seen.colours[WM_CTLCOLORBTN] = askColour(box, WM_CTLCOLORBTN, button);
}

LRESULT CALLBACK watchCommands(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && watch && call->message == WM_COMMAND && LOWORD(call->wParam) == IDCANCEL &&
        call->hwnd == watch->seen.window)
        watch->seen.cancelReachedBox = true;
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    Watch& w = *watch;
    const HWND box = visibleBoxOfThisThread();
    if (++w.ticks > kTicksBeforeGivingUp) {
        if (box) ::EndDialog(box, 99);
        return;
    }
    if (w.stage == 0 && box) {
        readBox(box, w.seen);
        if (*w.look) (*w.look)(box);
        ::PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        ::PostMessageA(box, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        w.stage = 1;
    } else if (w.stage == 1) {
        // Timer messages come after every posted message: the Escape key has been handled by now.
        w.seen.openAfterEscape = box == w.seen.window;
        if (!box) return;
        if (w.closing == Closing::kOk)
            ::SendMessageA(::FindWindowExA(box, nullptr, "Button", nullptr), BM_CLICK, 0, 0);
        else
            ::PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        w.stage = 2;
        w.seen.closed = true;
    }
}

}  // namespace

SeenBox watchAboutBox(const std::function<void()>& open, Closing closing,
                      const std::function<void(HWND)>& look) {
    Watch current{closing, &look, {}};
    watch = &current;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &tick);
    const HHOOK hook = ::SetWindowsHookExA(WH_CALLWNDPROC, &watchCommands, nullptr, ::GetCurrentThreadId());
    open();
    ::UnhookWindowsHookEx(hook);
    ::KillTimer(nullptr, timer);
    watch = nullptr;
    if (current.ticks > kTicksBeforeGivingUp) current.seen.closed = false;
    return current.seen;
}

HWND makeActiveWindow() {
    const HWND window = ::CreateWindowExA(0, "Static", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640,
                                          480, nullptr, nullptr, nullptr, nullptr);
    ::SetActiveWindow(window);
    return window;
}
