// The host simulator: loads the add-in as Word, Excel or PowerPoint does and shows what the ribbon would
// show; then, like a user, chooses items and toggles boxes and presses Print, and shows what the driver's key
// holds and what the host was asked to do.
//   quillery-hostsim [--about <file>] word|excel|powerpoint [ControlID=index|on|off ...] [print]
// The add-in must be registered first, as an installer does it (regsvr32 Quillery.dll). --about presses the
// group's About button instead of showing the ribbon: the host's window is active, the simulator says where
// the box opened and presses its OK button once <file> exists (the demo takes its screenshot in between).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "settings/ToolbarSettings.h"
#include "tools/hostsim/AutomationObject.h"
#include "tools/hostsim/OfficeDouble.h"
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
    hostsim::OfficeDouble::Host host;
};

const HostChoice kHosts[] = {
    {L"word", OfficeHost::kWordRibbon, hostsim::OfficeDouble::Host::Word},
    {L"excel", OfficeHost::kExcelRibbon, hostsim::OfficeDouble::Host::Excel},
    {L"powerpoint", OfficeHost::kPowerPointRibbon, hostsim::OfficeDouble::Host::PowerPoint},
};

void printLine(const std::wstring& text) {
    // The console may be a pipe: write UTF-8.
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    std::printf("%s\n", narrow.c_str());
    std::fflush(stdout);
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

const MarkupControl* controlNamed(const std::vector<MarkupControl>& controls, const std::wstring& id) {
    for (const MarkupControl& control : controls) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

// One user action: "ControlID=2" chooses the third item of a drop-down, "ControlID=on" (or off) toggles a
// check box, "print" presses the group's Print button. Each goes to the callback the markup binds.
void operate(OfficeHost& host, const std::vector<MarkupControl>& controls, const std::wstring& action) {
    const size_t equals = action.find(L'=');
    const std::wstring id = equals == std::wstring::npos ? action : action.substr(0, equals);
    const std::wstring value = equals == std::wstring::npos ? L"" : action.substr(equals + 1);
    const MarkupControl* control = nullptr;
    if (id == L"print") {
        for (const MarkupControl& candidate : controls) {
            if (candidate.attribute(L"onAction") == L"OnPrintClicked") control = &candidate;
        }
    } else {
        control = controlNamed(controls, id);
    }
    if (!control) {
        printLine(L"  " + action + L": no such control in the markup");
        return;
    }
    const std::wstring callback = control->attribute(L"onAction");
    auto* ribbonControl = new hostsim::RibbonControl(control->id);
    HRESULT status;
    std::wstring shown;
    if (control->kind == L"dropDown") {
        const LONG index = std::wcstol(value.c_str(), nullptr, 10);
        // The ribbon's item ids are the control's id and the item's index.
        const std::wstring itemId = control->id + std::to_wstring(index);
        status = host.selectItem(callback.c_str(), ribbonControl, itemId.c_str(), index);
        shown = L"item " + std::to_wstring(index) + L" (" + itemId + L")";
    } else if (control->kind == L"checkBox") {
        const bool on = value != L"off";
        status = host.toggle(callback.c_str(), ribbonControl, on ? VARIANT_TRUE : VARIANT_FALSE);
        shown = on ? L"on" : L"off";
    } else {
        status = host.action(callback.c_str(), ribbonControl);
        shown = L"pressed";
    }
    printLine(L"  " + control->id + L": " + shown + L"  " + callback + L" " + hex(status));
    ribbonControl->Release();
}

// The one-shot values in the default printer's driver key, as the driver will find them.
void showDriverKey() {
    const ToolbarSettings settings;
    const std::string key = settings.printerSettingsKeyPath();
    if (key.empty()) {
        printLine(L"  the default printer has no driver settings key");
        return;
    }
    printLine(L"  HKLM\\" + std::wstring(key.begin(), key.end()));
    for (const char* name : {"OnceBlackAndWhite", "OnceDuplex", "OnceNUp", "OncePrintQuality"}) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        const bool present = ::RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_DWORD, nullptr,
                                            &value, &size) == ERROR_SUCCESS;
        printLine(L"    " + std::wstring(name, name + std::strlen(name)) + L" = " +
                  (present ? std::to_wstring(value) : L"(absent)"));
    }
}

// The About box's watch: a thread timer in the box's modal loop.
struct AboutWatch {
    std::wstring closeSignal;
    HWND box = nullptr;
    bool pressed = false;
    int ticks = 0;
};
AboutWatch* aboutWatch = nullptr;
constexpr int kAboutTicks = 600;  // of 100 ms: OK is pressed after a minute whatever happens

void CALLBACK watchAbout(HWND, UINT, UINT_PTR, DWORD) {
    AboutWatch& watch = *aboutWatch;
    HWND box = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (std::wcscmp(name, L"#32770") != 0 || !::IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (!box || watch.pressed) return;
    if (!watch.box) {
        watch.box = box;
        wchar_t title[256] = {};
        ::GetWindowTextW(box, title, 256);
        RECT place{};
        ::GetWindowRect(box, &place);
        wchar_t line[400];
        std::swprintf(line, 400, L"About box open: \"%ls\" at %ld,%ld size %ldx%ld", title, place.left,
                      place.top, place.right - place.left, place.bottom - place.top);
        printLine(line);
    }
    if (::GetFileAttributesW(watch.closeSignal.c_str()) != INVALID_FILE_ATTRIBUTES ||
        ++watch.ticks > kAboutTicks) {
        watch.pressed = true;
        printLine(L"pressing OK");
        ::SendMessageW(::FindWindowExW(box, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
    }
}

// Presses the About button over an active host window and waits for the box to close.
void showAbout(OfficeHost& host, const std::wstring& closeSignal) {
    const HWND hostWindow =
        ::CreateWindowExW(0, L"Static", L"Office host (simulated)", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                          480, 320, nullptr, nullptr, nullptr, nullptr);
    ::SetActiveWindow(hostWindow);
    AboutWatch watch{closeSignal};
    aboutWatch = &watch;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &watchAbout);
    auto* button = new hostsim::RibbonControl(L"ButtonAboutWordID");
    const HRESULT status = host.action(L"OnDialogboxLauncher", button);
    button->Release();
    ::KillTimer(nullptr, timer);
    aboutWatch = nullptr;
    printLine(L"OnDialogboxLauncher: " + hex(status) +
              (watch.box ? L", the box closed" : L", no box was shown"));
    ::DestroyWindow(hostWindow);
}

int run(const HostChoice& choice, const wchar_t* aboutSignal, const std::vector<std::wstring>& actions) {
    OfficeHost host;
    HRESULT status = host.create();
    if (FAILED(status)) {
        printLine(L"could not create TandrelQuillery.Connect: " + hex(status));
        return 1;
    }
    hostsim::OfficeDouble office(choice.host);
    auto* addInObject = new hostsim::AutomationObject();
    status = host.connect(office.application(), addInObject);
    printLine(L"OnConnection: " + hex(status));

    if (aboutSignal) {
        showAbout(host, aboutSignal);
        host.disconnect();
        host.release();
        addInObject->Release();
        return 0;
    }

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
    if (!actions.empty()) {
        printLine(L"---- the user ----");
        const std::vector<MarkupControl> controls =
            received ? hostsim::controlsOf(markup) : std::vector<MarkupControl>();
        for (const std::wstring& action : actions) operate(host, controls, action);
        printLine(L"---- the driver's one-shot values ----");
        showDriverKey();
        printLine(L"---- what the host was asked ----");
        for (const std::wstring& call : office.calls()) printLine(L"  " + call);
        if (!office.settings().empty()) {
            printLine(L"---- the document's settings afterwards ----");
            for (const std::wstring& setting : office.settings()) printLine(L"  " + setting);
        }
    }

    printLine(L"OnDisconnection: " + hex(host.disconnect()));
    host.release();
    addInObject->Release();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* aboutSignal = nullptr;
    const HostChoice* choice = nullptr;
    std::vector<std::wstring> actions;
    for (int index = 1; index < argc; ++index) {
        if (choice && (std::wcschr(argv[index], L'=') || std::wcscmp(argv[index], L"print") == 0)) {
            actions.push_back(argv[index]);
            continue;
        }
        const HostChoice* named = nullptr;
        for (const HostChoice& host : kHosts) {
            if (_wcsicmp(argv[index], host.name) == 0) named = &host;
        }
        if (named) {
            choice = named;
        } else if (std::wcscmp(argv[index], L"--about") == 0 && index + 1 < argc) {
            aboutSignal = argv[++index];
        } else {
            choice = nullptr;
            break;
        }
    }
    if (!choice) {
        printLine(
            L"usage: quillery-hostsim [--about <file>] word|excel|powerpoint "
            L"[ControlID=index|on|off ...] [print]");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = run(*choice, aboutSignal, actions);
    ::CoUninitialize();
    return result;
}
