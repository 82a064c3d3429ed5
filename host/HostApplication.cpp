#include "host/HostApplication.h"

#include <oleauto.h>

#include "win/UniqueBstr.h"

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

// Whole, case-sensitive equality. The platform's comparison is linguistic and may pass over characters that
// carry no weight, so strings of different lengths are never taken as equal whatever it says.
bool sameIdentifier(BSTR constant, BSTR ribbonId) noexcept {
    if (::SysStringLen(constant) != ::SysStringLen(ribbonId)) return false;
    return ::VarBstrCmp(constant, ribbonId, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
}

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

HostKind HostApplication::detectKind(const wchar_t* ribbonId) noexcept {
    kind_ = HostKind::None;
    win::UniqueBstr identifier(::SysAllocString(ribbonId ? ribbonId : L""));
    if (!identifier) return kind_;
    for (const RibbonHost& host : kRibbonHosts) {
        win::UniqueBstr constant(::SysAllocString(host.ribbonId));
        if (constant && sameIdentifier(constant.get(), identifier.get())) {
            kind_ = host.kind;
            break;
        }
    }
    return kind_;
}
