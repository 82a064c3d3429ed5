// The connection object's lifecycle: creation by the class table, the host's connection calls, and the ribbon
// markup hand-over.
#include "addin/Connect.h"

#include <new>

#include "addin/TextDirection.h"
#include "host/HostApplication.h"
#include "server/AddInModule.h"
#include "win/FailurePolicy.h"
#include "server/InterfaceTable.h"
#include "settings/ToolbarSettings.h"
#include "text/AnsiCodePage.h"
#include "text/RibbonXmlSet.h"
#include "text/StringKeys.h"
#include "text/StringTable.h"
#include "win/AnsiText.h"

CComTypeInfoHolder connectExtensibilityTypeInfo(&IID__IDTExtensibility2, &LIBID_AddInDesignerObjects, 1, 0);
CComTypeInfoHolder connectRibbonExtensibilityTypeInfo(&IID_IRibbonExtensibility, &LIBID_Office, 2, 4);

namespace {

// The six markup files the installer named.
RibbonXmlPaths ribbonXmlPathsOf(const ToolbarSettings& settings) {
    return {settings.wordLargeXmlPath(),       settings.wordLargeGenericXmlPath(),
            settings.excelLargeXmlPath(),      settings.excelLargeGenericXmlPath(),
            settings.powerPointLargeXmlPath(), settings.powerPointLargeGenericXmlPath()};
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
    return handOutNew(new (std::nothrow) CConnect(), iid, object);
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
    // A collaborator that cannot be built stays absent and the connection goes on without it.
    settings_ = makeOrNull<ToolbarSettings>();
    if (settings_) {
        ribbonXml_ = orFallback(std::unique_ptr<RibbonXmlSet>(), [this] {
            auto set = std::make_unique<RibbonXmlSet>();
            set->load(ribbonXmlPathsOf(*settings_));
            return set;
        });
        strings_ = orFallback(std::unique_ptr<StringTable>(), [this] {
            auto table = std::make_unique<StringTable>(AnsiCodePage::instance());
            table->load(settings_->stringsFilePath());
            return table;
        });
        host_ = makeOrNull<HostApplication>();
        // Without the language the About box stays left to right.
        if (strings_ && orFallback(false, [this] {
                return isRightToLeftLanguage(strings_->lookup(string_keys::kLanguage),
                                             AnsiCodePage::instance());
            }))
            rightToLeft_ = true;
    }
    if (host_) host_->attach(application, addInInstance);
    return S_OK;
}

DriverCapabilities CConnect::driver() const noexcept {
    return settings_ ? settings_->capabilities() : DriverCapabilities();
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

        const bool capable = driver().any();
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
