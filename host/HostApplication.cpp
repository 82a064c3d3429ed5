#include "host/HostApplication.h"

#include <oleauto.h>

#include <cwchar>

#include "host/DispatchAutomation.h"
#include "host/PrintRoutines.h"

namespace {

struct RibbonHost {
    const wchar_t* ribbonId;
    HostKind kind;
};

// The ribbon identifiers each host passes to GetCustomUI for its main window.
constexpr RibbonHost kRibbonHosts[] = {
    {L"Microsoft.Word.Document", HostKind::Word},
    {L"Microsoft.Excel.Workbook", HostKind::Excel},
    {L"Microsoft.PowerPoint.Presentation", HostKind::PowerPoint},
};

}  // namespace

HostApplication::~HostApplication() {
    addInInstance_.reset();
    application_.reset();
}

bool HostApplication::attach(IDispatch* application, IDispatch* addInInstance) noexcept {
    if (!application) return false;
    // A second attach replaces the objects of the first; their references are given back rather than lost.
    detach();
    application_ = win::ComPtr<IDispatch>::queryFrom(application, IID_IDispatch);
    addInInstance_ = win::ComPtr<IDispatch>::queryFrom(addInInstance, IID_IDispatch);
    return true;
}

void HostApplication::detach() noexcept {
    application_.reset();
    addInInstance_.reset();
}

HostKind HostApplication::detectKind(BSTR ribbonId) noexcept {
    kind_ = HostKind::None;
    if (!ribbonId) return kind_;
    // Whole, case-sensitive equality of the string's full length, character by character: an identifier is a
    // name, not a word, so no linguistic rule may pass over any of its characters, and a NUL inside the
    // string does not end it early.
    const std::size_t length = ::SysStringLen(ribbonId);
    for (const RibbonHost& host : kRibbonHosts) {
        if (std::wcslen(host.ribbonId) == length && std::wmemcmp(host.ribbonId, ribbonId, length) == 0) {
            kind_ = host.kind;
            break;
        }
    }
    return kind_;
}

bool HostApplication::printWord(int32_t pagesPerSheet) noexcept {
    if (!application_) return false;
    DispatchAutomation automation(application_.get());
    return host::printWord(automation, pagesPerSheet);
}

bool HostApplication::printExcel(bool blackAndWhite, bool fitToPage) noexcept {
    if (!application_) return false;
    DispatchAutomation automation(application_.get());
    return host::printExcel(automation, blackAndWhite, fitToPage);
}

bool HostApplication::printPowerPoint(bool blackAndWhite, int32_t layout) noexcept {
    if (!application_) return false;
    DispatchAutomation automation(application_.get());
    return host::printPowerPoint(automation, blackAndWhite, layout);
}
