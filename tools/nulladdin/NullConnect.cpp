// The null add-in: the benchmark's yardstick. It is served by the same server frame as the product and speaks
// the same interfaces through the same registered type library, but each method gives a fixed answer and
// touches nothing (no registry, no files, no host): the markup is the product's fixture markup of the host,
// kept in the library, and a drop-down's item count is fixed by its id, so the host makes the same calls.
#include <windows.h>

#include <new>
#include <string>

#include "TandrelLib.h"
#include "addin/OfficeInterfaces.h"
#include "server/AddInModule.h"
#include "server/CallbacksTypeInfo.h"
#include "server/ClassTable.h"
#include "server/DualInterface.h"
#include "server/InterfaceTable.h"
#include "tools/fixtures/FixtureData.h"
#include "tools/nulladdin/NullAddIn.h"

namespace {

CComTypeInfoHolder nullExtensibilityTypeInfo(&IID__IDTExtensibility2, &LIBID_AddInDesignerObjects, 1, 0);
CComTypeInfoHolder nullRibbonTypeInfo(&IID_IRibbonExtensibility, &LIBID_Office, 2, 4);

BSTR fixed(const wchar_t* text) {
    return ::SysAllocString(text);
}

class CNullConnect final : public DualInterface<_IDTExtensibility2, &nullExtensibilityTypeInfo>,
                           public DualInterface<IRibbonExtensibility, &nullRibbonTypeInfo>,
                           public DualInterface<ISimpleATLAddIn, &callbacksTypeInfo> {
public:
    static HRESULT createInstance(IUnknown* outer, REFIID iid, void** object) noexcept {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return handOutNew(new (std::nothrow) CNullConnect(), iid, object);
    }
    CNullConnect() noexcept { addInModule().lock(); }
    ~CNullConnect() { addInModule().unlock(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        static const InterfaceEntry<CNullConnect> table[] = {
            {&IID_IDispatch, &interfacePart<CNullConnect, ISimpleATLAddIn>},
            {&IID__IDTExtensibility2, &interfacePart<CNullConnect, _IDTExtensibility2>},
            {&IID_IRibbonExtensibility, &interfacePart<CNullConnect, IRibbonExtensibility>},
            {&IID_ISimpleATLAddIn, &interfacePart<CNullConnect, ISimpleATLAddIn>},
        };
        return queryInterfaceTable(this, table, iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG count = --references_;
        if (count == 0) delete this;
        return count;
    }

    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch*, ext_ConnectMode, IDispatch*,
                                           SAFEARRAY**) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode, SAFEARRAY**) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) noexcept override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) noexcept override {
        if (!ribbonXml || !ribbonId) return S_OK;
        static const std::wstring word = fixtures::widenedFixtureData("word.xml"),
                                  excel = fixtures::widenedFixtureData("excel.xml"),
                                  powerPoint = fixtures::widenedFixtureData("powerpoint.xml");
        const std::wstring id = ribbonId;
        const std::wstring* markup = id == L"Microsoft.Word.Document"             ? &word
                                     : id == L"Microsoft.Excel.Workbook"          ? &excel
                                     : id == L"Microsoft.PowerPoint.Presentation" ? &powerPoint
                                                                                  : nullptr;
        if (markup) *ribbonXml = ::SysAllocStringLen(markup->data(), static_cast<UINT>(markup->size()));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OnLoad(IDispatch*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetLabel(IDispatch*, BSTR* label) noexcept override {
        return label && (*label = fixed(L"Label")) ? S_OK : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE GetSupertip(IDispatch*, BSTR* supertip) noexcept override {
        return supertip && (*supertip = fixed(L"Supertip")) ? S_OK : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE GetEnabled(IDispatch*, VARIANT_BOOL* enabled) noexcept override {
        return answer(enabled, VARIANT_TRUE);
    }
    HRESULT STDMETHODCALLTYPE GetVisible(IDispatch*, VARIANT_BOOL* visible) noexcept override {
        return answer(visible, VARIANT_BOOL(1));
    }
    // The product's item lists: three qualities or layouts, five N-up choices, four pages-per-sheet choices.
    HRESULT STDMETHODCALLTYPE GetItemCount(IDispatch* control, LONG* count) noexcept override {
        if (!count) return E_POINTER;
        const std::wstring id = idOf(control);
        *count = id.find(L"NUp") != std::wstring::npos             ? 5
                 : id.find(L"PagesPerSheet") != std::wstring::npos ? 4
                                                                   : 3;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemID(IDispatch*, LONG, BSTR* id) noexcept override {
        return id && (*id = fixed(L"Item")) ? S_OK : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE GetItemLabel(IDispatch*, LONG, BSTR* label) noexcept override {
        return label && (*label = fixed(L"Item label")) ? S_OK : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE GetPrintQualitySelectedItemIndex(IDispatch*, LONG* index) noexcept override {
        return answer(index, 0L);
    }
    HRESULT STDMETHODCALLTYPE GetLayoutSelectedItemIndex(IDispatch*, LONG* index) noexcept override {
        return answer(index, 0L);
    }
    HRESULT STDMETHODCALLTYPE GetNUpSelectedItemIndex(IDispatch*, LONG* index) noexcept override {
        return answer(index, 0L);
    }
    HRESULT STDMETHODCALLTYPE GetPagesPerSheetSelectedItemIndex(IDispatch*, LONG* index) noexcept override {
        return answer(index, 0L);
    }
    HRESULT STDMETHODCALLTYPE GetBlackAndWhitePressed(IDispatch*, VARIANT_BOOL* pressed) noexcept override {
        return answer(pressed, VARIANT_FALSE);
    }
    HRESULT STDMETHODCALLTYPE GetDuplexPressed(IDispatch*, VARIANT_BOOL* pressed) noexcept override {
        return answer(pressed, VARIANT_FALSE);
    }
    HRESULT STDMETHODCALLTYPE GetFitToPagePressed(IDispatch*, VARIANT_BOOL* pressed) noexcept override {
        return answer(pressed, VARIANT_FALSE);
    }
    HRESULT STDMETHODCALLTYPE OnPrintClicked(IDispatch*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPrintQualityClicked(IDispatch*, BSTR*, LONG) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnLayoutClicked(IDispatch*, BSTR*, LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnBlackAndWhiteClicked(IDispatch*, VARIANT_BOOL*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFitToPageClicked(IDispatch*, VARIANT_BOOL*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDuplexClicked(IDispatch*, VARIANT_BOOL*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnNUpClicked(IDispatch*, BSTR*, LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPagesPerSheetClicked(IDispatch*, BSTR*, LONG) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDialogboxLauncher(IDispatch*) noexcept override { return S_OK; }

private:
    template <typename Value>
    static HRESULT answer(Value* out, Value value) {
        if (!out) return E_POINTER;
        *out = value;
        return S_OK;
    }
    // The control's id, read as the product reads it.
    static std::wstring idOf(IDispatch* control) {
        IRibbonControl* ribbonControl = nullptr;
        if (!control ||
            FAILED(control->QueryInterface(IID_IRibbonControl, reinterpret_cast<void**>(&ribbonControl))))
            return std::wstring();
        BSTR id = nullptr;
        std::wstring result;
        if (SUCCEEDED(ribbonControl->get_Id(&id)) && id) result.assign(id, ::SysStringLen(id));
        ::SysFreeString(id);
        ribbonControl->Release();
        return result;
    }

    ULONG references_ = 0;
};

ClassEntry classes[] = {
    {&CLSID_NullConnect, 0, &CNullConnect::createInstance, {nullptr}},
};

}  // namespace

ClassTable productClasses() noexcept {
    return {classes, sizeof(classes) / sizeof(classes[0])};
}
