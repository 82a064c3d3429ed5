#pragma once

#include <windows.h>

#include <string>

namespace hostsim {

// While it lives, an active window of the host's stands behind whatever the add-in opens, and a thread timer
// watches for the About box (a dialog of this thread): once it is shown, the watch says where and what it
// reads, and presses OK when the signal file exists, or after a second when there is no signal file, or after
// a minute at most.
class AboutWatch {
public:
    explicit AboutWatch(std::wstring closeSignal);
    ~AboutWatch();
    AboutWatch(const AboutWatch&) = delete;
    AboutWatch& operator=(const AboutWatch&) = delete;

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);

    std::wstring closeSignal_;
    HWND hostWindow_ = nullptr;
    UINT_PTR timer_ = 0;
    HWND box_ = nullptr;
    int ticks_ = 0;
};

}  // namespace hostsim
