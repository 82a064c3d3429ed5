#include "tools/hostsim/AddInSession.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <type_traits>
#include <utility>

#include "win/UniqueVariant.h"

namespace hostsim {
namespace {

bool isCallbackAttribute(const std::wstring& name) {
    return name.compare(0, 3, L"get") == 0 || name.compare(0, 2, L"on") == 0 || name == L"loadImage";
}

// Milliseconds from its start, and from one lap to the next.
class Stopwatch {
public:
    Stopwatch() {
        ::QueryPerformanceCounter(&start_);
        lap_ = start_;
    }
    double total() const { return since(start_); }
    double lap() {
        const double milliseconds = since(lap_);
        ::QueryPerformanceCounter(&lap_);
        return milliseconds;
    }

private:
    static double since(const LARGE_INTEGER& then) {
        LARGE_INTEGER now, frequency;
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - then.QuadPart) * 1000.0 /
               static_cast<double>(frequency.QuadPart);
    }
    LARGE_INTEGER start_;
    LARGE_INTEGER lap_;
};

std::wstring quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring shownValue(const std::wstring& text) {
    return quoted(text);
}
std::wstring shownValue(VARIANT_BOOL value) {
    return value == VARIANT_TRUE ? L"true" : value == VARIANT_FALSE ? L"false" : std::to_wstring(value);
}
std::wstring shownValue(LONG value) {
    return std::to_wstring(value);
}

}  // namespace

std::wstring libraryServing(IUnknown* object) {
    HMODULE module = nullptr;
    // An object's function table lies in the module that made it.
    if (!object ||
        !::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            *reinterpret_cast<LPCWSTR*>(object), &module) ||
        module == ::GetModuleHandleW(nullptr))
        return {};
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring statusText(HRESULT status) {
    if (status == S_OK) return L"S_OK";
    if (status == S_FALSE) return L"S_FALSE";
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(status));
    return text;
}

AddInSession::AddInSession(const HostProfile& host, IDispatch* application, Options options)
    : hostProfile_(host), application_(application), options_(options) {}

AddInSession::~AddInSession() {
    unload();
}

void AddInSession::note(const std::wstring& line) {
    if (options_.trace) (displaying_ ? displayTrace_ : trace_).push_back(line);
}

void AddInSession::find(Finding::Kind kind, const std::wstring& text) {
    findings_.push_back({kind, text});
}

HRESULT AddInSession::traced(const std::wstring& call, HRESULT status) {
    if (options_.trace) note(call + L" -> " + statusText(status));
    return status;
}

ShownControl* AddInSession::control(const std::wstring& id) {
    for (ShownControl& shown : controls_) {
        if (shown.markup.id == id) return &shown;
    }
    return nullptr;
}

bool AddInSession::load(const std::wstring& progId) {
    progId_ = progId;
    return start(ConnectMode::Startup);
}

bool AddInSession::start(ConnectMode mode) {
    const std::wstring& progId = progId_;
    const bool atStartup = mode == ConnectMode::Startup;
    phases_ = PhaseTimes();
    Stopwatch watch;

    const std::wstring notLoaded =
        L"Not loaded. A runtime error occurred during the loading of the COM Add-in " + quoted(progId) +
        L": ";
    CLSID classId;
    HRESULT status = ::CLSIDFromProgID(progId.c_str(), &classId);
    if (FAILED(status)) {
        traced(L"CLSIDFromProgID(" + quoted(progId) + L")", status);
        find(Finding::Kind::CannotCreate,
             notLoaded + L"the ProgID is not registered (" + statusText(status) + L")");
        return false;
    }
    status = traced(L"CoCreateInstance(" + quoted(progId) + L")", host_.create(progId.c_str()));
    if (FAILED(status)) {
        find(Finding::Kind::CannotCreate,
             notLoaded + L"no object with _IDTExtensibility2 could be created (" + statusText(status) + L")");
        host_.release();
        return false;
    }
    phases_.create = watch.lap();
    status = traced(std::wstring(L"OnConnection(Application, ") +
                        (atStartup ? L"ext_cm_Startup" : L"ext_cm_AfterStartup") + L", COMAddIn, [])",
                    host_.connect(application_, addInObject_.get(), mode));
    if (FAILED(status)) {
        find(Finding::Kind::CannotCreate, notLoaded + L"OnConnection failed (" + statusText(status) + L")");
        // Office releases an add-in whose connection failed without disconnecting it.
        host_.release();
        return false;
    }
    connected_ = true;
    traced(L"OnAddInsUpdate([])", host_.notify(OfficeHost::Notification::AddInsUpdate));
    if (atStartup) traced(L"OnStartupComplete([])", host_.notify(OfficeHost::Notification::StartupComplete));
    phases_.connect = watch.lap();

    bool received = false;
    status = host_.customUI(hostProfile_.ribbonId, markup_, received);
    traced(L"GetCustomUI(" + quoted(hostProfile_.ribbonId) + L")", status);
    if (status == E_NOINTERFACE) {
        find(Finding::Kind::NoRibbon, quoted(progId) +
                                          L" is loaded but offers no IRibbonExtensibility: it adds "
                                          L"nothing to the ribbon");
    } else if (FAILED(status)) {
        find(Finding::Kind::CallbackFailed, L"Custom UI runtime error in " + quoted(progId) +
                                                L": GetCustomUI failed (" + statusText(status) + L")");
    } else if (!received || markup_.empty()) {
        find(Finding::Kind::NoMarkup, quoted(progId) + L" handed out no ribbon markup for " +
                                          quoted(hostProfile_.ribbonId) + L": it adds nothing to the ribbon");
    } else {
        readGroup();
    }
    phases_.markup = watch.lap() - phases_.display;

    loadMilliseconds_ = watch.total();
    if (loadMilliseconds_ > options_.slowLoadMilliseconds) {
        wchar_t text[64];
        std::swprintf(text, 64, L"%.0f ms, over the %.0f ms limit", loadMilliseconds_,
                      options_.slowLoadMilliseconds);
        find(Finding::Kind::SlowLoad,
             std::wstring(hostProfile_.title) + L" started slowly because of " + quoted(progId) + L" (" +
                 text + L"): Office lists it under Slow and Disabled Add-ins and may disable it");
    }
    return true;
}

void AddInSession::readGroup() {
    const markup::MarkupDocument document = markup::readMarkup(markup_);
    const std::wstring where = L"Error found in CustomUI XML of " + quoted(progId_) + L": ";
    if (!document.parsed) {
        find(Finding::Kind::Malformed, where + L"the XML parser could not read it");
        return;
    }
    if (!document.wellFormed) {
        find(Finding::Kind::Malformed, where + L"Line " + std::to_wstring(document.errorLine) + L", column " +
                                           std::to_wstring(document.errorColumn) + L": " + document.error);
        return;
    }
    if (!document.duplicateIds.empty()) {
        // The schema makes ids unique; Office refuses the whole customisation when one is claimed twice.
        for (const std::wstring& id : document.duplicateIds)
            find(Finding::Kind::DuplicateId,
                 where + L"the id " + quoted(id) + L" is used by more than one control");
        return;
    }
    checkCallbacks(document);
    const Stopwatch display;
    if (!document.onLoad.empty() && known(document.onLoad)) {
        traced(document.onLoad + L"(RibbonUI)", timed(document.onLoad, [&] {
                   return host_.call(document.onLoad.c_str(), {dispatchArgument(ribbonUi_.get())});
               }));
    }
    controls_.reserve(document.controls.size());
    for (const markup::MarkupControl& markup : document.controls) {
        ShownControl shown;
        shown.markup = markup;
        shown.object = win::ComPtr<RibbonControl>::adopt(new RibbonControl(markup.id));
        controls_.push_back(std::move(shown));
    }
    for (ShownControl& shown : controls_) show(shown);
    phases_.display = display.total();
}

void AddInSession::checkCallbacks(const markup::MarkupDocument& document) {
    std::vector<std::pair<std::wstring, std::wstring>> bound;  // callback, where it is bound
    if (!document.onLoad.empty()) bound.emplace_back(document.onLoad, L"onLoad");
    for (const markup::MarkupControl& control : document.controls) {
        for (const auto& attribute : control.attributes) {
            if (isCallbackAttribute(attribute.first) && !attribute.second.empty())
                bound.emplace_back(attribute.second, attribute.first + L" of " + control.id);
        }
    }
    std::set<std::wstring> checked;
    for (const auto& [callback, where] : bound) {
        if (!checked.insert(callback).second) continue;
        DISPID id = DISPID_UNKNOWN;
        const HRESULT status = host_.dispatchIdOf(callback.c_str(), id);
        if (SUCCEEDED(status)) continue;
        unknownCallbacks_.insert(callback);
        find(Finding::Kind::UnknownCallback,
             L"Custom UI runtime error in " + quoted(progId_) + L": the add-in does not know the callback " +
                 quoted(callback) + L" (" + where + L"; GetIDsOfNames " + statusText(status) + L")");
    }
}

bool AddInSession::known(const std::wstring& callback) const {
    return unknownCallbacks_.count(callback) == 0;
}

template <typename Call>
HRESULT AddInSession::timed(const std::wstring& callback, Call call) {
    if (!options_.timeCallbacks) return call();
    Stopwatch watch;
    const HRESULT status = call();
    CallbackTime& time = callbackTimes_[callback];
    ++time.calls;
    time.milliseconds += watch.total();
    return status;
}

template <typename Value>
bool AddInSession::ask(ShownControl& control, const wchar_t* attribute, Value& value) {
    const std::wstring callback = control.markup.attribute(attribute);
    if (callback.empty() || !known(callback)) return false;
    win::UniqueVariant answer;
    const HRESULT status = timed(callback, [&] {
        return host_.call(callback.c_str(), {dispatchArgument(control.object.get())}, answer.receive());
    });
    const VARIANT& result = answer.get();
    bool taken = false;
    if constexpr (std::is_same_v<Value, std::wstring>) {
        if ((taken = result.vt == VT_BSTR)) value.assign(result.bstrVal, ::SysStringLen(result.bstrVal));
    } else if constexpr (std::is_same_v<Value, VARIANT_BOOL>) {
        if ((taken = result.vt == VT_BOOL)) value = result.boolVal;
    } else {
        if ((taken = result.vt == VT_I4)) value = result.lVal;
    }
    if (options_.trace)
        note(callback + L"(" + control.markup.id + L") -> " + statusText(status) +
             (taken ? L" " + shownValue(value) : std::wstring()));
    if (FAILED(status))
        find(Finding::Kind::CallbackFailed, L"Custom UI runtime error in " + quoted(progId_) + L": " +
                                                callback + L" failed for " + control.markup.id + L" (" +
                                                statusText(status) + L")");
    return SUCCEEDED(status) && taken;
}

void AddInSession::show(ShownControl& control) {
    const bool wasDisplaying = std::exchange(displaying_, true);
    showCallbacks(control);
    displaying_ = wasDisplaying;
}

void AddInSession::showCallbacks(ShownControl& control) {
    const markup::MarkupControl& markup = control.markup;
    control.label = markup.attribute(L"label");
    control.supertip = markup.attribute(L"supertip");
    control.items.clear();
    // The callbacks the ribbon calls as it shows a control, in the order it calls them, each with what it
    // does with the answer. The ribbon takes any non-zero truth value as true.
    auto truth = [&](bool& shown) {
        return [&](const wchar_t* attribute) {
            VARIANT_BOOL answer = VARIANT_FALSE;
            if (ask(control, attribute, answer)) shown = answer != VARIANT_FALSE;
        };
    };
    const std::pair<const wchar_t*, std::function<void(const wchar_t*)>> steps[] = {
        {L"getVisible", truth(control.visible)},
        {L"getEnabled", truth(control.enabled)},
        {L"getLabel", [&](const wchar_t* attribute) { ask(control, attribute, control.label); }},
        {L"getSupertip", [&](const wchar_t* attribute) { ask(control, attribute, control.supertip); }},
        {L"getPressed",
         [&](const wchar_t* attribute) {
             control.hasPressed = !markup.attribute(attribute).empty();
             truth(control.pressed)(attribute);
         }},
        {L"getItemCount", [&](const wchar_t* attribute) { showItems(control, attribute); }},
        {L"getSelectedItemIndex",
         [&](const wchar_t* attribute) {
             control.hasSelection = !markup.attribute(attribute).empty();
             ask(control, attribute, control.selected);
         }},
    };
    for (const auto& [attribute, step] : steps) step(attribute);
}

// getItemCount, then getItemID and getItemLabel for every item.
void AddInSession::showItems(ShownControl& control, const wchar_t* countAttribute) {
    const markup::MarkupControl& markup = control.markup;
    LONG count = 0;
    if (!ask(control, countAttribute, count)) return;
    const std::wstring idCallback = markup.attribute(L"getItemID");
    const std::wstring labelCallback = markup.attribute(L"getItemLabel");
    for (LONG index = 0; index < count && index < 1000; ++index) {
        ShownControl::Item item;
        for (auto [callback, text] :
             {std::make_pair(&idCallback, &item.id), std::make_pair(&labelCallback, &item.label)}) {
            if (callback->empty() || !known(*callback)) continue;
            const HRESULT status = timed(*callback, [&] {
                return host_.itemText(callback->c_str(), control.object.get(), index, *text);
            });
            if (options_.trace)
                note(*callback + L"(" + markup.id + L", " + std::to_wstring(index) + L") -> " +
                     statusText(status) + L" " + quoted(*text));
        }
        control.items.push_back(std::move(item));
    }
}

void AddInSession::showInvalidated() {
    if (ribbonUi_->takeEverything()) {
        for (ShownControl& shown : controls_) show(shown);
    }
    for (const std::wstring& id : ribbonUi_->takeControls()) {
        if (ShownControl* shown = control(id)) show(*shown);
    }
}

bool AddInSession::perform(const UserAction& action) {
    ShownControl* shown = control(action.controlId);
    if (!shown) {
        note(L"(no control " + quoted(action.controlId) + L" in the group)");
        return false;
    }
    if (!shown->visible || !shown->enabled) {
        note(L"(" + action.controlId + L" is " + (shown->visible ? L"disabled" : L"hidden") +
             L": nothing to do)");
        return false;
    }
    const std::wstring callback = shown->markup.attribute(L"onAction");
    if (callback.empty() || !known(callback)) {
        note(L"(" + action.controlId + L" has no action the add-in knows)");
        return false;
    }
    const std::wstring& kind = shown->markup.kind;
    HRESULT status = E_UNEXPECTED;
    switch (action.kind) {
        case UserAction::Kind::Choose: {
            if (kind != L"dropDown" && kind != L"gallery") return false;
            if (action.index < 0 ||
                (!shown->items.empty() && action.index >= static_cast<LONG>(shown->items.size()))) {
                note(L"(" + action.controlId + L" has no item " + std::to_wstring(action.index) + L")");
                return false;
            }
            // The ribbon passes the id the add-in gave the item.
            const std::wstring itemId = action.index < static_cast<LONG>(shown->items.size())
                                            ? shown->items[action.index].id
                                            : action.controlId + std::to_wstring(action.index);
            status = host_.selectItem(callback.c_str(), shown->object.get(), itemId.c_str(), action.index);
            traced(callback + L"(" + action.controlId + L", " + quoted(itemId) + L", " +
                       std::to_wstring(action.index) + L")",
                   status);
            if (SUCCEEDED(status)) shown->selected = action.index;
            break;
        }
        case UserAction::Kind::Toggle: {
            if (kind != L"checkBox" && kind != L"toggleButton") return false;
            const bool pressed = !shown->pressed;
            status =
                host_.toggle(callback.c_str(), shown->object.get(), pressed ? VARIANT_TRUE : VARIANT_FALSE);
            traced(callback + L"(" + action.controlId + L", " + (pressed ? L"true" : L"false") + L")",
                   status);
            if (SUCCEEDED(status)) shown->pressed = pressed;
            break;
        }
        case UserAction::Kind::Press:
            if (kind != L"button") return false;
            status = traced(callback + L"(" + action.controlId + L")",
                            host_.action(callback.c_str(), shown->object.get()));
            break;
    }
    if (FAILED(status))
        find(Finding::Kind::CallbackFailed, L"Custom UI runtime error in " + quoted(progId_) + L": " +
                                                callback + L" failed for " + action.controlId + L" (" +
                                                statusText(status) + L")");
    showInvalidated();
    return SUCCEEDED(status);
}

void AddInSession::beginShutdown() {
    if (!connected_ || shutdownBegun_) return;
    shutdownBegun_ = true;
    traced(L"OnBeginShutdown([])", host_.notify(OfficeHost::Notification::BeginShutdown));
}

void AddInSession::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Stopwatch watch;
    if (connected_) beginShutdown();
    stop(DisconnectMode::HostShutdown);
    phases_.exit = watch.total();
}

void AddInSession::stop(DisconnectMode mode) {
    if (connected_) {
        traced(std::wstring(L"OnDisconnection(") +
                   (mode == DisconnectMode::UserClosed ? L"ext_dm_UserClosed" : L"ext_dm_HostShutdown") +
                   L", [])",
               host_.disconnect(mode));
        connected_ = false;
    }
    host_.release();
    // What the host handed in must be back at the one reference the host holds.
    auto check = [this](ULONG references, const std::wstring& what) {
        if (references != 1)
            find(Finding::Kind::ReferencesHeld, quoted(progId_) + L" still holds " +
                                                    std::to_wstring(references - 1) + L" reference(s) to " +
                                                    what + L" after its release");
    };
    check(addInObject_->references(), L"the COM add-in object");
    check(ribbonUi_->references(), L"the ribbon's IRibbonUI object");
    for (ShownControl& shown : controls_) {
        if (!shown.object) continue;
        check(shown.object->references(), L"the control object of " + shown.markup.id);
        shown.object.reset();
    }
}

bool AddInSession::reload() {
    if (unloaded_ || !connected_) return false;
    const std::vector<std::wstring> before = shownStates();
    const std::wstring library = libraryServing(host_.addIn());
    stop(DisconnectMode::UserClosed);
    ::CoFreeUnusedLibrariesEx(0, 0);
    note(L"CoFreeUnusedLibrariesEx(0, 0)");
    if (!library.empty() && ::GetModuleHandleW(library.c_str()))
        find(Finding::Kind::StaysLoaded, quoted(progId_) + L"'s library " + library +
                                             L" stays loaded after its release: its DllCanUnloadNow does "
                                             L"not answer S_OK");
    // The ribbon builds the group anew, with objects of its own; the COM add-in object is the dialog's and
    // stays.
    ribbonUi_ = win::ComPtr<RibbonUi>::adopt(new RibbonUi());
    controls_.clear();
    unknownCallbacks_.clear();
    markup_.clear();
    shutdownBegun_ = false;
    if (!start(ConnectMode::AfterStartup)) return false;
    const std::vector<std::wstring> after = shownStates();
    for (size_t index = 0; index < std::max(before.size(), after.size()); ++index) {
        const std::wstring shown = index < after.size() ? after[index] : L"nothing";
        const std::wstring was = index < before.size() ? before[index] : L"nothing";
        if (shown == was) continue;
        find(Finding::Kind::ChoicesLost,
             quoted(progId_) + L", ticked on again, shows " + shown + L" where it showed " + was);
        break;
    }
    return true;
}

std::vector<std::wstring> AddInSession::shownStates() const {
    std::vector<std::wstring> states;
    for (const ShownControl& control : controls_) {
        std::wstring state = control.markup.id + L" \"" + control.label + L"\"";
        if (!control.visible) state += L" hidden";
        if (!control.enabled) state += L" disabled";
        if (control.hasPressed) state += control.pressed ? L" [x]" : L" [ ]";
        if (control.hasSelection) state += L" selected " + std::to_wstring(control.selected);
        for (const ShownControl::Item& item : control.items) state += L" | " + item.id + L" " + item.label;
        states.push_back(std::move(state));
    }
    return states;
}

}  // namespace hostsim
