#include "tests/com/MessageBoxAnswerer.h"

namespace {

thread_local MessageBoxAnswerer* active = nullptr;

std::string windowText(HWND window) {
    char text[1024] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(int answer) : answer_(answer) {
    active = this;
    hook_ = ::SetWindowsHookExA(WH_CBT, hook, nullptr, ::GetCurrentThreadId());
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    if (hook_) ::UnhookWindowsHookEx(hook_);
    active = nullptr;
}

LRESULT CALLBACK MessageBoxAnswerer::hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && active) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = {};
        ::GetClassNameA(window, className, sizeof className);
        if (std::string(className) == "#32770") {
            const bool question = ::GetDlgItem(window, IDYES) != nullptr;
            active->shown.push_back({windowText(window), windowText(::GetDlgItem(window, 0xFFFF)), question});
            // Posted, not sent: the box must finish showing before it takes its answer.
            ::PostMessageA(window, WM_COMMAND, question ? active->answer_ : IDOK, 0);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
