#include "tools/hostsim/OfficeHost.h"

#include <vector>

#include "win/UniqueBstr.h"

namespace hostsim {

VARIANT dispatchArgument(IDispatch* value) {
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_DISPATCH;
    argument.pdispVal = value;
    return argument;
}

VARIANT longArgument(LONG value) {
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    return argument;
}

HRESULT OfficeHost::create(const wchar_t* progId) {
    CLSID classId;
    HRESULT result = ::CLSIDFromProgID(progId, &classId);
    if (FAILED(result)) return result;
    result =
        ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch_.receiveVoid());
    if (FAILED(result)) return result;
    return dispatch_->QueryInterface(IID__IDTExtensibility2, connection_.receiveVoid());
}

HRESULT OfficeHost::connect(IDispatch* application, IDispatch* addInInstance, ConnectMode mode) {
    if (!connection_) return E_UNEXPECTED;
    // Office passes an empty array of custom data.
    SAFEARRAY* custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
    const HRESULT result =
        connection_->OnConnection(application, static_cast<ext_ConnectMode>(mode), addInInstance, &custom);
    ::SafeArrayDestroy(custom);
    return result;
}

HRESULT OfficeHost::customUI(const wchar_t* ribbonId, std::wstring& markup, bool& received) {
    received = false;
    auto ribbon = win::ComPtr<IRibbonExtensibility>::queryFrom(dispatch_.get(), IID_IRibbonExtensibility);
    if (!ribbon) return E_NOINTERFACE;
    win::UniqueBstr id(ribbonId ? ::SysAllocString(ribbonId) : nullptr);
    BSTR xml = nullptr;
    const HRESULT result = ribbon->GetCustomUI(id.get(), &xml);
    win::UniqueBstr owned(xml);
    if (SUCCEEDED(result) && owned) {
        received = true;
        markup.assign(owned.get(), owned.length());
    }
    return result;
}

HRESULT OfficeHost::notify(Notification notification) {
    if (!connection_) return E_UNEXPECTED;
    SAFEARRAY* custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
    HRESULT result = E_UNEXPECTED;
    switch (notification) {
        case Notification::AddInsUpdate:
            result = connection_->OnAddInsUpdate(&custom);
            break;
        case Notification::StartupComplete:
            result = connection_->OnStartupComplete(&custom);
            break;
        case Notification::BeginShutdown:
            result = connection_->OnBeginShutdown(&custom);
            break;
    }
    ::SafeArrayDestroy(custom);
    return result;
}

HRESULT OfficeHost::disconnect(DisconnectMode mode) {
    if (!connection_) return E_UNEXPECTED;
    SAFEARRAY* custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
    const HRESULT result = connection_->OnDisconnection(static_cast<ext_DisconnectMode>(mode), &custom);
    ::SafeArrayDestroy(custom);
    return result;
}

void OfficeHost::release() {
    connection_.reset();
    dispatch_.reset();
}

HRESULT OfficeHost::dispatchIdOf(const wchar_t* name, DISPID& id) {
    if (!dispatch_) return E_UNEXPECTED;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

HRESULT OfficeHost::call(const wchar_t* name, std::initializer_list<VARIANT> arguments, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    HRESULT status = dispatchIdOf(name, id);
    if (SUCCEEDED(status)) {
        // Automation passes arguments last first.
        std::vector<VARIANT> reversed(arguments.begin(), arguments.end());
        std::vector<VARIANT>(reversed.rbegin(), reversed.rend()).swap(reversed);
        DISPPARAMS parameters = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        EXCEPINFO exception = {};
        UINT argumentError = 0;
        status = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, result,
                                   &exception, &argumentError);
    }
    ++callCount_;
    return status;
}

namespace {

// The three result types of the ribbon's getters, taken out of the VARIANT that automation returns them in.
bool take(const VARIANT& result, std::wstring& text) {
    if (result.vt != VT_BSTR) return false;
    text.assign(result.bstrVal, ::SysStringLen(result.bstrVal));
    return true;
}
bool take(const VARIANT& result, VARIANT_BOOL& value) {
    if (result.vt != VT_BOOL) return false;
    value = result.boolVal;
    return true;
}
bool take(const VARIANT& result, LONG& value) {
    if (result.vt != VT_I4) return false;
    value = result.lVal;
    return true;
}

}  // namespace

template <typename Value>
HRESULT OfficeHost::callFor(const wchar_t* name, std::initializer_list<VARIANT> arguments, Value& value) {
    VARIANT result;
    ::VariantInit(&result);
    const HRESULT status = call(name, arguments, &result);
    if (SUCCEEDED(status)) take(result, value);
    ::VariantClear(&result);
    return status;
}

HRESULT OfficeHost::text(const wchar_t* name, IDispatch* control, std::wstring& text) {
    return callFor(name, {dispatchArgument(control)}, text);
}

HRESULT OfficeHost::flag(const wchar_t* name, IDispatch* control, VARIANT_BOOL& value) {
    return callFor(name, {dispatchArgument(control)}, value);
}

HRESULT OfficeHost::number(const wchar_t* name, IDispatch* control, LONG& value) {
    return callFor(name, {dispatchArgument(control)}, value);
}

HRESULT OfficeHost::itemText(const wchar_t* name, IDispatch* control, LONG index, std::wstring& text) {
    return callFor(name, {dispatchArgument(control), longArgument(index)}, text);
}

HRESULT OfficeHost::action(const wchar_t* name, IDispatch* control) {
    return call(name, {dispatchArgument(control)});
}

HRESULT OfficeHost::selectItem(const wchar_t* name, IDispatch* control, const wchar_t* itemId, LONG index) {
    win::UniqueBstr id(::SysAllocString(itemId));
    VARIANT idArgument;
    ::VariantInit(&idArgument);
    idArgument.vt = VT_BSTR;
    idArgument.bstrVal = id.get();
    return call(name, {dispatchArgument(control), idArgument, longArgument(index)});
}

HRESULT OfficeHost::toggle(const wchar_t* name, IDispatch* control, VARIANT_BOOL pressed) {
    VARIANT state;
    ::VariantInit(&state);
    state.vt = VT_BOOL;
    state.boolVal = pressed;
    return call(name, {dispatchArgument(control), state});
}

}  // namespace hostsim
