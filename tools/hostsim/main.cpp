// The host simulator: loads the add-in as Word, Excel or PowerPoint does and shows what the ribbon would
// show.
//   quillery-hostsim [--register] [--about <file>] word|excel|powerpoint
// --register first makes the add-in beside this program creatable (class keys and type library) and leaves it
// so. --about presses the group's About button instead of showing the ribbon: the host's window is active,
// the simulator says where the box opened and presses its OK button once <file> exists (the demo takes its
// screenshot in between).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/hostsim/AutomationObject.h"
#include "tools/hostsim/OfficeHost.h"
#include "tools/hostsim/RibbonControl.h"
#include "tools/hostsim/RibbonMarkup.h"
#include "tools/hostsim/ServerRegistration.h"
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

bool registerAddIn() {
    hostsim::ServerRegistration registration(hostsim::addInBesideProgram());
    registration.keep();
    if (!registration.ok()) {
        printLine(L"could not register the add-in");
        return false;
    }
    printLine(L"registered " + hostsim::addInBesideProgram() + L" (TandrelQuillery.Connect, type library)");
    return true;
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

int run(const HostChoice& choice, const wchar_t* aboutSignal) {
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

    if (aboutSignal) {
        showAbout(host, aboutSignal);
        host.disconnect();
        host.release();
        application->Release();
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

    printLine(L"OnDisconnection: " + hex(host.disconnect()));
    host.release();
    application->Release();
    addInObject->Release();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool registering = false;
    const wchar_t* aboutSignal = nullptr;
    const HostChoice* choice = nullptr;
    for (int index = 1; index < argc; ++index) {
        const HostChoice* named = nullptr;
        for (const HostChoice& host : kHosts) {
            if (_wcsicmp(argv[index], host.name) == 0) named = &host;
        }
        if (named) {
            choice = named;
        } else if (std::wcscmp(argv[index], L"--register") == 0) {
            registering = true;
        } else if (std::wcscmp(argv[index], L"--about") == 0 && index + 1 < argc) {
            aboutSignal = argv[++index];
        } else {
            registering = false;
            choice = nullptr;
            break;
        }
    }
    if (!choice && !registering) {
        printLine(L"usage: quillery-hostsim [--register] [--about <file>] [word|excel|powerpoint]");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = 0;
    if (registering && !registerAddIn()) result = 2;
    if (result == 0 && choice) result = run(*choice, aboutSignal);
    ::CoUninitialize();
    return result;
}
