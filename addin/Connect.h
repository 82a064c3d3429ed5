#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "TandrelLib.h"
#include "addin/OfficeInterfaces.h"
#include "server/CallbacksTypeInfo.h"
#include "settings/DriverCapabilities.h"
#include "server/DualInterface.h"
#include "win/ComPtr.h"

class ToolbarSettings;
class RibbonXmlSet;
class StringTable;
class HostApplication;

extern CComTypeInfoHolder connectExtensibilityTypeInfo;
extern CComTypeInfoHolder connectRibbonExtensibilityTypeInfo;

// The add-in object that the Office host creates once per start: its add-in connection, its ribbon customiser
// and the target of every ribbon callback. Between connection and destruction it holds the print options that
// the ribbon's controls set and that Print uses.
class CConnect final : public DualInterface<_IDTExtensibility2, &connectExtensibilityTypeInfo>,
                       public DualInterface<IRibbonExtensibility, &connectRibbonExtensibilityTypeInfo>,
                       public DualInterface<ISimpleATLAddIn, &callbacksTypeInfo> {
public:
    // The class table's creator; aggregation is refused.
    static HRESULT createInstance(IUnknown* outer, REFIID iid, void** object) noexcept;

    // IUnknown: the object's identity and its plain IDispatch are the callback interface, so the host's name
    // lookups on the add-in object bind the ribbon callbacks.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // _IDTExtensibility2
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode connectMode,
                                           IDispatch* addInInstance, SAFEARRAY** custom) noexcept override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode removeMode,
                                              SAFEARRAY** custom) noexcept override;
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) noexcept override;
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) noexcept override;
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) noexcept override;

    // IRibbonExtensibility
    HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) noexcept override;

    // ISimpleATLAddIn, in the type library's order.
    HRESULT STDMETHODCALLTYPE OnLoad(IDispatch* ribbonUi) noexcept override;
    HRESULT STDMETHODCALLTYPE GetLabel(IDispatch* ribbonControl, BSTR* label) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSupertip(IDispatch* ribbonControl, BSTR* supertip) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEnabled(IDispatch* ribbonControl, VARIANT_BOOL* enabled) noexcept override;
    HRESULT STDMETHODCALLTYPE GetVisible(IDispatch* ribbonControl, VARIANT_BOOL* visible) noexcept override;
    HRESULT STDMETHODCALLTYPE GetItemCount(IDispatch* ribbonControl, LONG* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetItemID(IDispatch* ribbonControl, LONG index, BSTR* id) noexcept override;
    HRESULT STDMETHODCALLTYPE GetItemLabel(IDispatch* ribbonControl, LONG index,
                                           BSTR* label) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPrintQualitySelectedItemIndex(IDispatch* ribbonControl,
                                                               LONG* itemIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE GetLayoutSelectedItemIndex(IDispatch* ribbonControl,
                                                         LONG* itemIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE GetNUpSelectedItemIndex(IDispatch* ribbonControl,
                                                      LONG* itemIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPagesPerSheetSelectedItemIndex(IDispatch* ribbonControl,
                                                                LONG* itemIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE GetBlackAndWhitePressed(IDispatch* ribbonControl,
                                                      VARIANT_BOOL* pressed) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDuplexPressed(IDispatch* ribbonControl,
                                               VARIANT_BOOL* pressed) noexcept override;
    HRESULT STDMETHODCALLTYPE GetFitToPagePressed(IDispatch* ribbonControl,
                                                  VARIANT_BOOL* pressed) noexcept override;
    HRESULT STDMETHODCALLTYPE OnPrintClicked(IDispatch* ribbonControl) noexcept override;
    HRESULT STDMETHODCALLTYPE OnPrintQualityClicked(IDispatch* ribbonControl, BSTR* selectedId,
                                                    LONG selectedIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE OnLayoutClicked(IDispatch* ribbonControl, BSTR* selectedId,
                                              LONG selectedIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE OnBlackAndWhiteClicked(IDispatch* ribbonControl,
                                                     VARIANT_BOOL* pressed) noexcept override;
    HRESULT STDMETHODCALLTYPE OnFitToPageClicked(IDispatch* ribbonControl,
                                                 VARIANT_BOOL* pressed) noexcept override;
    HRESULT STDMETHODCALLTYPE OnDuplexClicked(IDispatch* ribbonControl,
                                              VARIANT_BOOL* pressed) noexcept override;
    HRESULT STDMETHODCALLTYPE OnNUpClicked(IDispatch* ribbonControl, BSTR* selectedId,
                                           LONG selectedIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE OnPagesPerSheetClicked(IDispatch* ribbonControl, BSTR* selectedId,
                                                     LONG selectedIndex) noexcept override;
    HRESULT STDMETHODCALLTYPE OnDialogboxLauncher(IDispatch* ribbonControl) noexcept override;

private:
    CConnect() noexcept;
    ~CConnect();

    // The text a getter hands out for `key`: the string table's text, or the key itself.
    std::string text(const std::string& key) const;
    // The text of a control's `prefix` key; empty for anything that is not a ribbon control.
    std::string controlText(IDispatch* ribbonControl, const char* prefix) const;
    // What the default printer's driver takes; nothing without settings.
    DriverCapabilities driver() const noexcept;
    uint32_t readUserDword(const std::string& name) const noexcept;
    // A check box's stored state, reported to the ribbon and mapped into `option`.
    HRESULT reportPressed(IDispatch* ribbonControl, VARIANT_BOOL* pressed, int32_t& option,
                          int32_t (*map)(int16_t)) noexcept;
    // A drop-down's stored index, reported to the ribbon and mapped into `option`.
    HRESULT reportSelectedIndex(IDispatch* ribbonControl, LONG* itemIndex, int32_t& option,
                                int32_t (*map)(int32_t)) noexcept;
    // A drop-down action: stores the chosen index for the user and maps it into `option`.
    HRESULT storeSelectedIndex(IDispatch* ribbonControl, LONG selectedIndex, int32_t& option,
                               int32_t (*map)(int32_t)) noexcept;
    // A check-box action: maps the new state into `option` and stores it for the user.
    HRESULT storePressed(IDispatch* ribbonControl, const VARIANT_BOOL* pressed, int32_t& option,
                         int32_t (*map)(int16_t)) noexcept;
    void writeUserDword(const std::string& name, uint32_t value) const noexcept;

    ULONG references_ = 0;

    bool rightToLeft_ = false;
    int32_t blackAndWhite_ = 1;
    int32_t duplex_ = 1;
    int32_t printQuality_ = 2;
    int32_t nUp_ = 1;
    int32_t pagesPerSheet_ = 1;
    int32_t layout_ = 0;
    int32_t fitToPage_ = 0;

    std::unique_ptr<RibbonXmlSet> ribbonXml_;
    std::unique_ptr<StringTable> strings_;
    std::unique_ptr<ToolbarSettings> settings_;
    std::unique_ptr<HostApplication> host_;
    std::string listControlId_;
    win::ComPtr<IRibbonUI> ribbonUi_;
};

// The id of the ribbon control that a callback is called for, as narrow text: empty when `ribbonControl` is
// null, is not a ribbon control, or cannot tell its id.
std::string controlIdOf(IDispatch* ribbonControl) noexcept;
// Whether `ribbonControl` is a ribbon control at all; `id` receives its id as controlIdOf gives it.
bool isRibbonControl(IDispatch* ribbonControl, std::string& id) noexcept;
