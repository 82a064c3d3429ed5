// Labels, supertips and drop-down item lists: every control's texts come from the string table, through keys
// formed from its id.
#include <string>

#include "addin/Connect.h"
#include "win/FailurePolicy.h"
#include "text/StringKeys.h"
#include "text/StringTable.h"
#include "win/AnsiText.h"

namespace {

using string_keys::kLabelPrefix;
using string_keys::kSupertipPrefix;

HRESULT handOut(const std::string& text, BSTR* out) noexcept {
    BSTR widened = win::widenToBstr(text);
    if (!widened) return E_OUTOFMEMORY;
    *out = widened;
    return S_OK;
}

}  // namespace

std::string CConnect::text(const std::string& key) const {
    return strings_ ? strings_->lookup(key) : key;
}

std::string CConnect::controlText(IDispatch* ribbonControl, const char* prefix) const {
    std::string id;
    if (!isRibbonControl(ribbonControl, id)) return {};
    return text(prefix + id);
}

HRESULT CConnect::GetLabel(IDispatch* ribbonControl, BSTR* label) noexcept {
    if (!label) return E_POINTER;
    *label = nullptr;
    return comBoundary([&] { return handOut(controlText(ribbonControl, kLabelPrefix), label); });
}

HRESULT CConnect::GetSupertip(IDispatch* ribbonControl, BSTR* supertip) noexcept {
    if (!supertip) return E_POINTER;
    *supertip = nullptr;
    return comBoundary([&] { return handOut(controlText(ribbonControl, kSupertipPrefix), supertip); });
}

// The host fills one drop-down at a time: the count first, then the id and label of each item. The item
// callbacks therefore work on the drop-down whose count was asked for last. Its items are the keys that
// contain "Label" + id; the drop-down's own label has exactly that key and is not one of them, else every
// labelled drop-down would end in an item showing its key.
HRESULT CConnect::GetItemCount(IDispatch* ribbonControl, LONG* count) noexcept {
    if (!count) return E_POINTER;
    return comBoundary([&]() -> HRESULT {
        listControlId_ = controlIdOf(ribbonControl);
        *count = strings_ ? strings_->countLongerKeysContaining(kLabelPrefix + listControlId_) : 0;
        return S_OK;
    });
}

HRESULT CConnect::GetItemID(IDispatch*, LONG index, BSTR* id) noexcept {
    if (!id) return E_POINTER;
    *id = nullptr;
    return comBoundary([&] { return handOut(listControlId_ + std::to_string(index), id); });
}

HRESULT CConnect::GetItemLabel(IDispatch*, LONG index, BSTR* label) noexcept {
    if (!label) return E_POINTER;
    *label = nullptr;
    return comBoundary(
        [&] { return handOut(text(kLabelPrefix + listControlId_ + std::to_string(index)), label); });
}
