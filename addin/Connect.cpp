// The connection object's lifecycle: creation by the class table, the host's connection calls, and the ribbon
// markup hand-over.
#include "addin/Connect.h"

#include <new>

#include "addin/TextDirection.h"
#include "host/HostApplication.h"
#include "server/AddInModule.h"
#include "server/ComBoundary.h"
#include "server/InterfaceTable.h"
#include "settings/ToolbarSettings.h"
#include "text/AnsiCodePage.h"
#include "text/RibbonXmlSet.h"
#include "text/StringTable.h"
#include "win/AnsiText.h"

CComTypeInfoHolder connectExtensibilityTypeInfo(&IID__IDTExtensibility2, &LIBID_AddInDesignerObjects, 1, 0);
CComTypeInfoHolder connectRibbonExtensibilityTypeInfo(&IID_IRibbonExtensibility, &LIBID_Office, 2, 4);
CComTypeInfoHolder connectCallbacksTypeInfo(&IID_ISimpleATLAddIn, &LIBID_TandrelLib, 1, 0);

namespace {

constexpr const char kLangKey[] = "Lang";

// Builds a collaborator; one that cannot be built stays absent and the connection goes on without it.
template <typename T, typename... Args>
std::unique_ptr<T> tryMake(Args&... args) noexcept {
    try {
        return std::make_unique<T>(args...);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

CConnect::CConnect() noexcept {
    addInModule().lock();
}

CConnect::~CConnect() {
    addInModule().unlock();
}

HRESULT CConnect::createInstance(IUnknown* outer, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    CConnect* connect = new (std::nothrow) CConnect();
    if (!connect) return E_OUTOFMEMORY;
    // Held at one reference while the interface is looked up, so that a refused lookup destroys the object.
    connect->AddRef();
    const HRESULT result = connect->QueryInterface(iid, object);
    connect->Release();
    return result;
}

HRESULT CConnect::QueryInterface(REFIID iid, void** object) noexcept {
    static const InterfaceEntry<CConnect> table[] = {
        {&IID_IDispatch, &interfacePart<CConnect, ISimpleATLAddIn>},
        {&IID__IDTExtensibility2, &interfacePart<CConnect, _IDTExtensibility2>},
        {&IID_IRibbonExtensibility, &interfacePart<CConnect, IRibbonExtensibility>},
        {&IID_ISimpleATLAddIn, &interfacePart<CConnect, ISimpleATLAddIn>},
    };
    return queryInterfaceTable(this, table, iid, object);
}

// The host calls the object on its one user-interface thread, so the count is a plain counter.
ULONG CConnect::AddRef() noexcept {
    return ++references_;
}

ULONG CConnect::Release() noexcept {
    const ULONG count = --references_;
    if (count == 0) delete this;
    return count;
}

HRESULT CConnect::OnConnection(IDispatch* application, ext_ConnectMode, IDispatch* addInInstance,
                               SAFEARRAY**) noexcept {
    settings_ = tryMake<ToolbarSettings>();
    if (settings_) {
        ribbonXml_ = tryMake<RibbonXmlSet>(*settings_);
        strings_ = tryMake<StringTable>(*settings_);
        host_ = tryMake<HostApplication>();
        if (strings_) {
            try {
                if (isRightToLeftLanguage(strings_->lookup(kLangKey), AnsiCodePage::instance()))
                    rightToLeft_ = true;
            } catch (...) {
                // Without the language the About box stays left to right.
            }
        }
    }
    if (host_) host_->attach(application, addInInstance);
    return S_OK;
}

HRESULT CConnect::OnDisconnection(ext_DisconnectMode, SAFEARRAY**) noexcept {
    if (host_) host_->detach();
    return S_OK;
}

HRESULT CConnect::OnAddInsUpdate(SAFEARRAY**) noexcept {
    return S_OK;
}

HRESULT CConnect::OnStartupComplete(SAFEARRAY**) noexcept {
    return S_OK;
}

HRESULT CConnect::OnBeginShutdown(SAFEARRAY**) noexcept {
    return S_OK;
}

HRESULT CConnect::GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) noexcept {
    return comBoundary([&]() -> HRESULT {
        // Without a default printer the add-in shows nothing at all.
        if (!settings_ || !settings_->hasDefaultPrinter()) return S_OK;
        if (!ribbonXml || !ribbonXml_ || !host_) return S_OK;

        const bool capable = settings_->supportsBlackAndWhite() || settings_->supportsDuplex() ||
                             settings_->supportsNUp() || settings_->supportsPrintQuality();
        std::string markup;
        switch (host_->detectKind(ribbonId)) {
            case HostKind::Word:
                markup = capable ? ribbonXml_->wordXml() : ribbonXml_->wordGenericXml();
                break;
            case HostKind::Excel:
                markup = capable ? ribbonXml_->excelXml() : ribbonXml_->excelGenericXml();
                break;
            case HostKind::PowerPoint:
                markup = capable ? ribbonXml_->powerPointXml() : ribbonXml_->powerPointGenericXml();
                break;
            default:
                return S_OK;
        }
        BSTR widened = win::widenToBstr(markup);
        if (!widened) return E_OUTOFMEMORY;
        *ribbonXml = widened;
        return S_OK;
    });
}
