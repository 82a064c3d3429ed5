#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

// What a test saw of an About box while it was open.
struct SeenControl {
    std::string text;
    RECT rect;    // in the box's client coordinates (logical: a mirrored box gives the template's positions)
    RECT screen;  // on the screen
};

struct ColourAnswer {
    COLORREF brush = 0xFFFFFFFF;       // the colour of the solid brush answered; 0xFFFFFFFF for anything else
    COLORREF background = 0xFFFFFFFF;  // the device context's background colour afterwards
    COLORREF text = 0xFFFFFFFF;        // and its text colour (sent in as 0x010203)
};

struct SeenBox {
    bool seen = false;
    HWND window = nullptr;
    std::string title;
    std::map<int, SeenControl> controls;  // by control id
    RECT client{};                        // the client area on the screen
    bool mirrored = false;
    bool bannerReflected = true;  // the banner's picture is drawn in a mirrored device context
    HWND owner = nullptr;
    bool ownerEnabled = true;
    std::map<UINT, ColourAnswer> colours;  // by WM_CTLCOLORDLG, WM_CTLCOLORSTATIC, WM_CTLCOLORBTN
    bool cancelReachedBox = false;         // Escape became the cancel command at the box
    bool openAfterEscape = false;
    bool closed = false;  // ended by the chosen way, not by the watch's time-out
};

enum class Closing { kOk, kCloseBox };

// Runs `open` on this thread while a thread timer watches for the About box it shows: the timer reads the
// box, lets `look` at it, presses Escape, then closes it with OK or the title bar's close box. A box that
// does not close is ended after a few seconds so that no test hangs.
SeenBox watchAboutBox(const std::function<void()>& open, Closing closing = Closing::kOk,
                      const std::function<void(HWND)>& look = {});

// A visible top-level window, active, standing in for the host's main window.
HWND makeActiveWindow();
