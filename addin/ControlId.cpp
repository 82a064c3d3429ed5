#include "addin/Connect.h"
#include "win/AnsiText.h"
#include "win/UniqueBstr.h"

bool isRibbonControl(IDispatch* ribbonControl, std::string& id) noexcept {
    id.clear();
    auto control = win::ComPtr<IRibbonControl>::queryFrom(ribbonControl, IID_IRibbonControl);
    if (!control) return false;
    win::UniqueBstr text;
    if (SUCCEEDED(control->get_Id(text.receive()))) id = win::narrowFromBstr(text.get());
    return true;
}

std::string controlIdOf(IDispatch* ribbonControl) noexcept {
    std::string id;
    isRibbonControl(ribbonControl, id);
    return id;
}
