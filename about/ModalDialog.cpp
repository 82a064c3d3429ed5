#include "about/ModalDialog.h"

// The module that holds this code, and so the dialog templates linked with it (provided by the linker).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Messages whose answer is the dialog procedure's own result; every other answer travels in DWLP_MSGRESULT.
bool answersDirectly(UINT message) noexcept {
    switch (message) {
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return true;
        default:
            return false;
    }
}

}  // namespace

INT_PTR ModalDialog::doModal(HWND parent) noexcept {
    return ::DialogBoxParamA(reinterpret_cast<HINSTANCE>(&__ImageBase), MAKEINTRESOURCEA(templateId_), parent,
                             &ModalDialog::dialogProcedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::dialogProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
    ModalDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<ModalDialog*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->window_ = window;
    } else {
        dialog = reinterpret_cast<ModalDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (the font, creation) belong to the default processing.
    if (!dialog) return FALSE;

    LRESULT result = 0;
    bool answered = false;
    try {
        answered = dialog->processMessage(message, wParam, lParam, result);
    } catch (...) {
        // Nothing thrown may unwind through the system's dialog manager; the message is left to it instead.
        answered = false;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->window_ = nullptr;
    }
    if (!answered) return FALSE;
    if (answersDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}
