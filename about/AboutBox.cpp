#include "about/AboutBox.h"

#include "QuilleryVersion.h"
#include "text/StringKeys.h"
#include "text/StringTable.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
// The box closes with this code however it is closed.
constexpr INT_PTR kEndCode = 1;

}  // namespace

std::string AboutBox::versionLine(const std::string& label, const std::string& language) {
    // The product's version, as the version resource reports it.
    return label + ": " + kProductVersion + "-" + language;
}

AboutBox::AboutBox(const StringTable* strings, const Controls& controls) noexcept
    : ModalDialog(controls.templateId),
      strings_(strings),
      whiteBrush_(::CreateSolidBrush(kWhite)),
      controls_(controls) {}

void AboutBox::arrangeLegalLines(const std::string&) {}

bool AboutBox::processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    static const MessageEntry<AboutBox> kMessageMap[] = {
        {WM_INITDIALOG, &AboutBox::onInitDialog},
        {WM_CLOSE, &AboutBox::onClose},
        {WM_COMMAND, &AboutBox::onCommand},
        {WM_CTLCOLORDLG, &AboutBox::onBackground},
        {WM_CTLCOLORSTATIC, &AboutBox::onStaticBackground},
        {WM_CTLCOLORBTN, &AboutBox::onBackground},
    };
    return dispatch(*this, kMessageMap, message, wParam, lParam, result);
}

bool AboutBox::onInitDialog(WPARAM, LPARAM, LRESULT& result) {
    const HWND box = window();
    ::SetWindowTextA(box, text(string_keys::kAboutTitle).c_str());
    ::SetDlgItemTextA(box, controls_.version,
                      versionLine(text(string_keys::kAboutVersion), text(string_keys::kLanguage)).c_str());
    const std::string copyright = text(string_keys::kAboutCopyright);
    ::SetDlgItemTextA(box, controls_.copyright, copyright.c_str());
    const std::string allRights = text(string_keys::kAboutAllRights);
    arrangeLegalLines(copyright);
    ::SetDlgItemTextA(box, controls_.allRights, allRights.c_str());
    ::SetDlgItemTextA(box, controls_.ok, text(string_keys::kAboutOk).c_str());
    // The banner is lettered: a mirrored box puts it in its mirrored place, but draws it as it was drawn, not
    // reflected.
    if (const HWND banner = ::GetDlgItem(box, controls_.banner)) {
        const LONG_PTR style = ::GetWindowLongPtrA(banner, GWL_EXSTYLE);
        if (style & WS_EX_LAYOUTRTL) ::SetWindowLongPtrA(banner, GWL_EXSTYLE, style & ~WS_EX_LAYOUTRTL);
    }
    // 0: the box takes no keyboard focus of its own choosing.
    result = 0;
    return true;
}

bool AboutBox::onClose(WPARAM, LPARAM, LRESULT& result) {
    endDialog(kEndCode);
    result = 0;
    return true;
}

// OK, whatever its notification, closes the box the way the close box does.
bool AboutBox::onCommand(WPARAM wParam, LPARAM, LRESULT& result) {
    if (LOWORD(wParam) != controls_.ok) return false;
    ::SendMessageA(window(), WM_CLOSE, 0, 0);
    result = 0;
    return true;
}

bool AboutBox::onBackground(WPARAM, LPARAM, LRESULT& result) {
    result = reinterpret_cast<LRESULT>(background());
    return true;
}

// Static texts paint on white; their text colour stays the system's.
bool AboutBox::onStaticBackground(WPARAM wParam, LPARAM, LRESULT& result) {
    ::SetBkColor(reinterpret_cast<HDC>(wParam), kWhite);
    result = reinterpret_cast<LRESULT>(background());
    return true;
}

std::string AboutBox::text(const char* key) const {
    return strings_ ? strings_->lookup(key) : std::string(key);
}

// Without our own brush (its creation failed) the stock white brush serves: it is never deleted.
HBRUSH AboutBox::background() const noexcept {
    return whiteBrush_ ? whiteBrush_.get() : static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}
