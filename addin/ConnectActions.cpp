// What happens when the user operates the group: a choice or a toggle is stored for the user and changes the
// matching print option.
#include "about/AboutDialog.h"
#include "about/AboutDialogRTL.h"
#include "addin/Connect.h"
#include "addin/OptionMaps.h"
#include "host/HostApplication.h"
#include "win/FailurePolicy.h"
#include "settings/ToolbarSettings.h"

#include <memory>

HRESULT CConnect::OnLoad(IDispatch* ribbonUi) noexcept {
    // Kept for the object's life; the add-in never asks the ribbon to refresh, so after an action the ribbon
    // shows what the user did.
    if (ribbonUi) ribbonUi_ = win::ComPtr<IRibbonUI>::queryFrom(ribbonUi, IID_IRibbonUI);
    return S_OK;
}

HRESULT CConnect::storeSelectedIndex(IDispatch* ribbonControl, LONG selectedIndex, int32_t& option,
                                     int32_t (*map)(int32_t)) noexcept {
    return comBoundary([&]() -> HRESULT {
        writeUserDword(controlIdOf(ribbonControl), static_cast<uint32_t>(selectedIndex));
        option = map(selectedIndex);
        return S_OK;
    });
}

HRESULT CConnect::storePressed(IDispatch* ribbonControl, const VARIANT_BOOL* pressed, int32_t& option,
                               int32_t (*map)(int16_t)) noexcept {
    return comBoundary([&]() -> HRESULT {
        // A missing state counts as not pressed.
        const VARIANT_BOOL state = pressed ? *pressed : VARIANT_FALSE;
        option = map(state);
        // Stored sign-extended: 0xFFFFFFFF pressed, 0 not.
        writeUserDword(controlIdOf(ribbonControl), static_cast<uint32_t>(static_cast<int32_t>(state)));
        return S_OK;
    });
}

// The chosen item's id is not needed: the index alone says which item it is.
HRESULT CConnect::OnPrintQualityClicked(IDispatch* ribbonControl, BSTR*, LONG selectedIndex) noexcept {
    return storeSelectedIndex(ribbonControl, selectedIndex, printQuality_, &options::printQualityFor);
}

HRESULT CConnect::OnLayoutClicked(IDispatch* ribbonControl, BSTR*, LONG selectedIndex) noexcept {
    return storeSelectedIndex(ribbonControl, selectedIndex, layout_, &options::layoutFor);
}

HRESULT CConnect::OnNUpClicked(IDispatch* ribbonControl, BSTR*, LONG selectedIndex) noexcept {
    return storeSelectedIndex(ribbonControl, selectedIndex, nUp_, &options::nUpFor);
}

HRESULT CConnect::OnPagesPerSheetClicked(IDispatch* ribbonControl, BSTR*, LONG selectedIndex) noexcept {
    return storeSelectedIndex(ribbonControl, selectedIndex, pagesPerSheet_, &options::pagesPerSheetFor);
}

HRESULT CConnect::OnBlackAndWhiteClicked(IDispatch* ribbonControl, VARIANT_BOOL* pressed) noexcept {
    return storePressed(ribbonControl, pressed, blackAndWhite_, &options::blackAndWhiteFor);
}

HRESULT CConnect::OnDuplexClicked(IDispatch* ribbonControl, VARIANT_BOOL* pressed) noexcept {
    return storePressed(ribbonControl, pressed, duplex_, &options::duplexFor);
}

// Turning fit to page on leaves N-up alone; the N-up getter forces its first item when the ribbon asks again.
HRESULT CConnect::OnFitToPageClicked(IDispatch* ribbonControl, VARIANT_BOOL* pressed) noexcept {
    return storePressed(ribbonControl, pressed, fitToPage_, &options::fitToPageFor);
}

// The driver reads these one-shot values when it renders the next job; each goes only to a driver that takes
// it. Then the host prints, applying itself only what the driver cannot: each option reaches the page by
// exactly one road.
HRESULT CConnect::OnPrintClicked(IDispatch*) noexcept {
    if (!settings_ || !settings_->hasDefaultPrinter()) return S_FALSE;
    const DriverCapabilities takes = driver();
    if (takes.blackAndWhite) settings_->writeOnceBlackAndWhite(static_cast<uint32_t>(blackAndWhite_));
    if (takes.duplex) settings_->writeOnceDuplex(static_cast<uint32_t>(duplex_));
    if (takes.nUp) settings_->writeOnceNUp(static_cast<uint32_t>(nUp_));
    if (takes.printQuality) settings_->writeOncePrintQuality(static_cast<uint32_t>(printQuality_));

    if (!host_) return S_FALSE;
    // Black and white through the host only when the driver cannot; Word gets no black-and-white request.
    const bool hostBlackAndWhite = !takes.blackAndWhite && blackAndWhite_ == 2;
    bool printed = false;
    switch (host_->kind()) {
        case HostKind::Word:
            // A driver that does N-up puts the pages together itself: Word then prints one page per sheet.
            printed = host_->printWord(takes.nUp ? 1 : pagesPerSheet_);
            break;
        case HostKind::Excel:
            printed = host_->printExcel(hostBlackAndWhite, fitToPage_ == 1);
            break;
        case HostKind::PowerPoint:
            printed = host_->printPowerPoint(hostBlackAndWhite, layout_);
            break;
        default:
            break;
    }
    return printed ? S_OK : S_FALSE;
}

// The About box in the language's direction, modal over whatever window of the host is active. How it ended
// tells the host nothing, and a box that cannot be shown is not the host's concern either: always S_OK.
HRESULT CConnect::OnDialogboxLauncher(IDispatch*) noexcept {
    // A box whose object cannot even be made shows nothing.
    std::unique_ptr<AboutBox> box;
    if (rightToLeft_)
        box = makeOrNull<AboutDialogRTL>(strings_.get());
    else
        box = makeOrNull<AboutDialog>(strings_.get());
    if (box) box->doModal(::GetActiveWindow());
    return S_OK;
}
