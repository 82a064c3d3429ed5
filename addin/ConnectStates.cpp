// Enabled, visible, pressed and selected states. Every pressed and selected-index getter also sets the
// matching print option from the state it reports, so an option always follows what the ribbon shows.
#include "addin/Connect.h"
#include "addin/ControlCatalogue.h"
#include "addin/OptionMaps.h"
#include "win/FailurePolicy.h"
#include "settings/ToolbarSettings.h"
#include "text/AnsiCodePage.h"

namespace {

constexpr VARIANT_BOOL kShown = 1;
constexpr VARIANT_BOOL kHidden = 0;

}  // namespace

uint32_t CConnect::readUserDword(const std::string& name) const noexcept {
    return settings_ ? settings_->readUserDword(name) : 0;
}

void CConnect::writeUserDword(const std::string& name, uint32_t value) const noexcept {
    // A failed write keeps the option for this run; the next start shows the stored state.
    if (settings_) settings_->writeUserDword(name, value);
}

HRESULT CConnect::GetEnabled(IDispatch*, VARIANT_BOOL* enabled) noexcept {
    if (!enabled) return E_POINTER;
    *enabled = VARIANT_TRUE;
    return S_OK;
}

HRESULT CConnect::GetVisible(IDispatch* ribbonControl, VARIANT_BOOL* visible) noexcept {
    if (!visible) return E_POINTER;
    return comBoundary([&]() -> HRESULT {
        const bool shown =
            controls::isVisible(controlIdOf(ribbonControl), driver(), AnsiCodePage::instance());
        *visible = shown ? kShown : kHidden;
        return S_OK;
    });
}

namespace {

// The stored state of a check box as the ribbon passed it; only its low sixteen bits are the VARIANT_BOOL.
VARIANT_BOOL pressedState(uint32_t stored) {
    return static_cast<VARIANT_BOOL>(static_cast<uint16_t>(stored));
}

}  // namespace

HRESULT CConnect::reportPressed(IDispatch* ribbonControl, VARIANT_BOOL* pressed, int32_t& option,
                                int32_t (*map)(int16_t)) noexcept {
    if (!pressed) return E_POINTER;
    return comBoundary([&]() -> HRESULT {
        *pressed = pressedState(readUserDword(controlIdOf(ribbonControl)));
        option = map(*pressed);
        return S_OK;
    });
}

HRESULT CConnect::reportSelectedIndex(IDispatch* ribbonControl, LONG* itemIndex, int32_t& option,
                                      int32_t (*map)(int32_t)) noexcept {
    if (!itemIndex) return E_POINTER;
    return comBoundary([&]() -> HRESULT {
        // A stored index beyond the list is passed on as it is; the option falls back to the first item's
        // value.
        const auto index = static_cast<int32_t>(readUserDword(controlIdOf(ribbonControl)));
        option = map(index);
        *itemIndex = index;
        return S_OK;
    });
}

HRESULT CConnect::GetBlackAndWhitePressed(IDispatch* ribbonControl, VARIANT_BOOL* pressed) noexcept {
    return reportPressed(ribbonControl, pressed, blackAndWhite_, &options::blackAndWhiteFor);
}

HRESULT CConnect::GetDuplexPressed(IDispatch* ribbonControl, VARIANT_BOOL* pressed) noexcept {
    return reportPressed(ribbonControl, pressed, duplex_, &options::duplexFor);
}

HRESULT CConnect::GetFitToPagePressed(IDispatch* ribbonControl, VARIANT_BOOL* pressed) noexcept {
    return reportPressed(ribbonControl, pressed, fitToPage_, &options::fitToPageFor);
}

HRESULT CConnect::GetPrintQualitySelectedItemIndex(IDispatch* ribbonControl, LONG* itemIndex) noexcept {
    return reportSelectedIndex(ribbonControl, itemIndex, printQuality_, &options::printQualityFor);
}

HRESULT CConnect::GetLayoutSelectedItemIndex(IDispatch* ribbonControl, LONG* itemIndex) noexcept {
    return reportSelectedIndex(ribbonControl, itemIndex, layout_, &options::layoutFor);
}

HRESULT CConnect::GetPagesPerSheetSelectedItemIndex(IDispatch* ribbonControl, LONG* itemIndex) noexcept {
    return reportSelectedIndex(ribbonControl, itemIndex, pagesPerSheet_, &options::pagesPerSheetFor);
}

// While fit to page is on, the N-up drop-down shows its first item (one page per sheet); the stored choice is
// kept for when fit to page is turned off again.
HRESULT CConnect::GetNUpSelectedItemIndex(IDispatch* ribbonControl, LONG* itemIndex) noexcept {
    if (!itemIndex) return E_POINTER;
    return comBoundary([&]() -> HRESULT {
        const int32_t index =
            fitToPage_ == 0 ? static_cast<int32_t>(readUserDword(controlIdOf(ribbonControl))) : 0;
        nUp_ = options::nUpFor(index);
        *itemIndex = index;
        return S_OK;
    });
}
