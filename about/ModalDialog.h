#pragma once

#include <windows.h>

#include <cstddef>

// A modal dialog run from a dialog template in the resources of the module that holds this code. The dialog
// object lives on the caller's stack or heap for the length of doModal; the window finds it again through the
// dialog procedure's bookkeeping. A derived dialog answers messages through its message map; what the map
// leaves unanswered goes to the system's default dialog processing.
class ModalDialog {
public:
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;
    virtual ~ModalDialog() = default;

    // Runs the dialog, owned by `parent` (which may be null), until it ends. The end code; -1 when the dialog
    // cannot be started, and 0 when `parent` is not a window (the system's answer for an invalid owner).
    INT_PTR doModal(HWND parent) noexcept;

protected:
    explicit ModalDialog(WORD templateId) noexcept : templateId_(templateId) {}

    // The dialog's window while it runs; null before WM_INITDIALOG and after the window is gone.
    HWND window() const noexcept { return window_; }
    void endDialog(INT_PTR code) noexcept { ::EndDialog(window_, code); }

    // One row of a message map: a handler answers its message by filling in `result` and returning true, or
    // declines it (returns false) and leaves it to the default processing.
    template <typename Dialog>
    struct MessageEntry {
        UINT message;
        bool (Dialog::*handler)(WPARAM wParam, LPARAM lParam, LRESULT& result);
    };

    // Hands `message` to the first row of `map` that names it.
    template <typename Dialog, std::size_t Rows>
    static bool dispatch(Dialog& dialog, const MessageEntry<Dialog> (&map)[Rows], UINT message, WPARAM wParam,
                         LPARAM lParam, LRESULT& result) {
        for (const MessageEntry<Dialog>& entry : map) {
            if (entry.message == message) return (dialog.*entry.handler)(wParam, lParam, result);
        }
        return false;
    }

private:
    // The message map: true when the dialog answered `message`, with the answer in `result`.
    virtual bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    static INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    WORD templateId_;
    HWND window_ = nullptr;
};
