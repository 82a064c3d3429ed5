// The host simulator: loads the add-in as Word, Excel or PowerPoint does and shows what the ribbon would
// show.
//   quillery-hostsim word|excel|powerpoint
// The add-in must be registered first, as an installer does it: regsvr32 Quillery.dll.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/hostsim/AutomationObject.h"
#include "tools/hostsim/OfficeHost.h"
#include "tools/hostsim/RibbonControl.h"
#include "tools/hostsim/RibbonMarkup.h"
#include "win/ComPtr.h"

namespace {

using hostsim::MarkupControl;
using hostsim::OfficeHost;

struct HostChoice {
    const wchar_t* name;
    const wchar_t* ribbonId;
};

const HostChoice kHosts[] = {
    {L"word", OfficeHost::kWordRibbon},
    {L"excel", OfficeHost::kExcelRibbon},
    {L"powerpoint", OfficeHost::kPowerPointRibbon},
};

void printLine(const std::wstring& text) {
    // The console may be a pipe: write UTF-8.
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    std::printf("%s\n", narrow.c_str());
}

std::wstring hex(HRESULT status) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// Asks the add-in what the ribbon asks for one control, through the callbacks its markup binds.
void showControl(OfficeHost& host, const MarkupControl& control) {
    auto* ribbonControl = new hostsim::RibbonControl(control.id);
    std::wstring line = L"  " + control.kind + L" " + control.id;

    std::wstring label = control.attribute(L"label");
    if (!control.attribute(L"getLabel").empty())
        host.text(control.attribute(L"getLabel").c_str(), ribbonControl, label);
    line += L"  label \"" + label + L"\"";

    if (!control.attribute(L"getVisible").empty()) {
        VARIANT_BOOL visible = 0;
        host.flag(control.attribute(L"getVisible").c_str(), ribbonControl, visible);
        line += visible ? L"  visible" : L"  hidden";
    }
    if (!control.attribute(L"getPressed").empty()) {
        VARIANT_BOOL pressed = 0;
        host.flag(control.attribute(L"getPressed").c_str(), ribbonControl, pressed);
        line += pressed ? L"  pressed" : L"  not pressed";
    }
    if (!control.attribute(L"getSelectedItemIndex").empty()) {
        LONG selected = 0;
        host.number(control.attribute(L"getSelectedItemIndex").c_str(), ribbonControl, selected);
        line += L"  selected " + std::to_wstring(selected);
    }
    printLine(line);

    if (!control.attribute(L"getItemCount").empty()) {
        LONG count = 0;
        host.number(control.attribute(L"getItemCount").c_str(), ribbonControl, count);
        for (LONG index = 0; index < count; ++index) {
            std::wstring id, itemLabel;
            host.itemText(control.attribute(L"getItemID").c_str(), ribbonControl, index, id);
            host.itemText(control.attribute(L"getItemLabel").c_str(), ribbonControl, index, itemLabel);
            printLine(L"      item " + id + L"  \"" + itemLabel + L"\"");
        }
    }
    ribbonControl->Release();
}

int run(const HostChoice& choice) {
    OfficeHost host;
    HRESULT status = host.create();
    if (FAILED(status)) {
        printLine(L"could not create TandrelQuillery.Connect: " + hex(status));
        return 1;
    }
    auto* application = new hostsim::AutomationObject();
    auto* addInObject = new hostsim::AutomationObject();
    status = host.connect(application, addInObject);
    printLine(L"OnConnection: " + hex(status));

    std::wstring markup;
    bool received = false;
    status = host.customUI(choice.ribbonId, markup, received);
    printLine(
        L"GetCustomUI(\"" + std::wstring(choice.ribbonId) + L"\"): " + hex(status) +
        (received ? L", " + std::to_wstring(markup.size()) + L" characters of markup" : L", no markup"));
    if (received) {
        printLine(L"---- markup ----");
        printLine(markup);
        printLine(L"---- ribbon ----");
        for (const MarkupControl& control : hostsim::controlsOf(markup)) showControl(host, control);
        const double micros = host.callSeconds() * 1e6;
        wchar_t timing[128];
        std::swprintf(timing, 128, L"---- %ld callbacks by name in %.0f us (%.1f us each) ----",
                      host.callCount(), micros, host.callCount() ? micros / host.callCount() : 0.0);
        printLine(timing);
    }

    printLine(L"OnDisconnection: " + hex(host.disconnect()));
    host.release();
    application->Release();
    addInObject->Release();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const HostChoice* choice = nullptr;
    for (const HostChoice& host : kHosts) {
        if (argc == 2 && _wcsicmp(argv[1], host.name) == 0) choice = &host;
    }
    if (!choice) {
        printLine(L"usage: quillery-hostsim word|excel|powerpoint");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = run(*choice);
    ::CoUninitialize();
    return result;
}
