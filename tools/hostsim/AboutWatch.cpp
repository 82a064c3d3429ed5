#include "tools/hostsim/AboutWatch.h"

#include <cstdio>
#include <cwchar>

namespace hostsim {
namespace {

AboutWatch* active = nullptr;
constexpr int kTickMilliseconds = 100;
constexpr int kTicksWithoutSignal = 10;
constexpr int kMostTicks = 600;

void say(const wchar_t* text) {
    char narrow[512] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
    std::printf("%s\n", narrow);
    std::fflush(stdout);
}

// Called back by the window enumeration with the platform's calling convention, which a lambda does not have
// on every machine.
BOOL CALLBACK keepVisibleDialog(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (std::wcscmp(name, L"#32770") != 0 || !::IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Says a static control's text, as the user reads it; called back for each of the box's controls in order.
BOOL CALLBACK sayText(HWND control, LPARAM) {
    wchar_t kind[16] = {};
    wchar_t text[400] = {};
    ::GetClassNameW(control, kind, 16);
    if (_wcsicmp(kind, L"Static") == 0 && ::GetWindowTextW(control, text, 400) > 0) {
        wchar_t shown[420];
        std::swprintf(shown, 420, L"About box text: \"%ls\"", text);
        say(shown);
    }
    return TRUE;
}

HWND visibleDialogOfThread() {
    HWND box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), keepVisibleDialog, reinterpret_cast<LPARAM>(&box));
    return box;
}

}  // namespace

AboutWatch::AboutWatch(std::wstring closeSignal) : closeSignal_(std::move(closeSignal)) {
    hostWindow_ =
        ::CreateWindowExW(0, L"Static", L"Office host (simulated)", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                          480, 320, nullptr, nullptr, nullptr, nullptr);
    ::SetActiveWindow(hostWindow_);
    active = this;
    timer_ = ::SetTimer(nullptr, 0, kTickMilliseconds, &AboutWatch::tick);
}

AboutWatch::~AboutWatch() {
    ::KillTimer(nullptr, timer_);
    active = nullptr;
    if (hostWindow_) ::DestroyWindow(hostWindow_);
}

void CALLBACK AboutWatch::tick(HWND, UINT, UINT_PTR, DWORD) {
    AboutWatch* watch = active;
    if (!watch) return;
    const HWND box = visibleDialogOfThread();
    if (!box) {
        watch->box_ = nullptr;
        watch->ticks_ = 0;
        return;
    }
    if (box != watch->box_) {
        watch->box_ = box;
        watch->ticks_ = 0;
        wchar_t title[256] = {};
        ::GetWindowTextW(box, title, 256);
        RECT place{};
        ::GetWindowRect(box, &place);
        wchar_t line[400];
        std::swprintf(line, 400, L"About box open: \"%ls\" at %ld,%ld size %ldx%ld", title, place.left,
                      place.top, place.right - place.left, place.bottom - place.top);
        say(line);
        // Its texts as the user reads them, in the order of the box's controls.
        ::EnumChildWindows(box, sayText, 0);
    }
    ++watch->ticks_;
    const bool signalled = !watch->closeSignal_.empty() &&
                           ::GetFileAttributesW(watch->closeSignal_.c_str()) != INVALID_FILE_ATTRIBUTES;
    const bool due =
        watch->closeSignal_.empty() ? watch->ticks_ > kTicksWithoutSignal : watch->ticks_ > kMostTicks;
    if (signalled || due) {
        say(L"pressing OK");
        ::SendMessageW(::FindWindowExW(box, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
    }
}

}  // namespace hostsim
