#include "addin/Connect.h"
#include "win/AnsiText.h"
#include "win/UniqueBstr.h"

std::string controlIdOf(IDispatch* ribbonControl) noexcept {
    auto control = win::ComPtr<IRibbonControl>::queryFrom(ribbonControl, IID_IRibbonControl);
    if (!control) return {};
    win::UniqueBstr id;
    if (FAILED(control->get_Id(id.receive()))) return {};
    return win::narrowFromBstr(id.get());
}
