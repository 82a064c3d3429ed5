#pragma once

#include <windows.h>
#include <oaidl.h>

#include <initializer_list>
#include <string>

#include "addin/OfficeInterfaces.h"
#include "win/ComPtr.h"

namespace hostsim {

// Loads the add-in the way an Office host does, on the calling apartment thread: creates it by ProgID,
// connects it through _IDTExtensibility2, asks IRibbonExtensibility for the markup of a ribbon, and calls the
// markup's callbacks by name through the add-in object's IDispatch, passing the ribbon control as VT_DISPATCH
// and taking results through pVarResult.
class OfficeHost {
public:
    static constexpr const wchar_t* kProgId = L"TandrelQuillery.Connect";
    static constexpr const wchar_t* kWordRibbon = L"Microsoft.Word.Document";
    static constexpr const wchar_t* kExcelRibbon = L"Microsoft.Excel.Workbook";
    static constexpr const wchar_t* kPowerPointRibbon = L"Microsoft.PowerPoint.Presentation";

    // How the host connects and disconnects an add-in (ext_ConnectMode, ext_DisconnectMode).
    enum class ConnectMode { AfterStartup = 0, Startup = 1 };
    enum class DisconnectMode { HostShutdown = 0, UserClosed = 1 };

    HRESULT create(const wchar_t* progId = kProgId);
    HRESULT connect(IDispatch* application, IDispatch* addInInstance,
                    ConnectMode mode = ConnectMode::Startup);
    // S_OK with `received` false when the add-in handed out no markup.
    HRESULT customUI(const wchar_t* ribbonId, std::wstring& markup, bool& received);
    // The three notifications of _IDTExtensibility2 that carry only the (empty) custom data.
    enum class Notification { AddInsUpdate, StartupComplete, BeginShutdown };
    HRESULT notify(Notification notification);
    HRESULT disconnect(DisconnectMode mode = DisconnectMode::HostShutdown);
    void release();

    // The dispatch id the add-in's type information gives `name`.
    HRESULT dispatchIdOf(const wchar_t* name, DISPID& id);
    // Calls `name` with `arguments` in their declared order; `result` (optional) receives the return value.
    HRESULT call(const wchar_t* name, std::initializer_list<VARIANT> arguments, VARIANT* result = nullptr);

    // Typed calls for the callback kinds of the ribbon.
    HRESULT text(const wchar_t* name, IDispatch* control, std::wstring& text);
    HRESULT flag(const wchar_t* name, IDispatch* control, VARIANT_BOOL& value);
    HRESULT number(const wchar_t* name, IDispatch* control, LONG& value);
    HRESULT itemText(const wchar_t* name, IDispatch* control, LONG index, std::wstring& text);
    HRESULT action(const wchar_t* name, IDispatch* control);
    HRESULT selectItem(const wchar_t* name, IDispatch* control, const wchar_t* itemId, LONG index);
    HRESULT toggle(const wchar_t* name, IDispatch* control, VARIANT_BOOL pressed);

    IDispatch* addIn() const { return dispatch_.get(); }

    // How many callbacks were called by name.
    long callCount() const { return callCount_; }

private:
    // Calls `name` and keeps its result in `value` when it has the value's type.
    template <typename Value>
    HRESULT callFor(const wchar_t* name, std::initializer_list<VARIANT> arguments, Value& value);

    win::ComPtr<IDispatch> dispatch_;
    win::ComPtr<_IDTExtensibility2> connection_;
    long callCount_ = 0;
};

// Argument builders for OfficeHost::call.
VARIANT dispatchArgument(IDispatch* value);
VARIANT longArgument(LONG value);

}  // namespace hostsim
