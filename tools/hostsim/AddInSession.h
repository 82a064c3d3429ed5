#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/hostsim/AddInDiscovery.h"
#include "tools/hostsim/AutomationObject.h"
#include "tools/hostsim/OfficeHost.h"
#include "tools/hostsim/RibbonControl.h"
#include "markup/RibbonMarkup.h"
#include "tools/hostsim/RibbonUi.h"
#include "win/ComPtr.h"

namespace hostsim {

// What an Office user would be told about an add-in (with "Show add-in user interface errors" on, or in the
// COM Add-ins and Disabled Items dialogs).
struct Finding {
    enum class Kind {
        CannotCreate,     // the ProgID does not give an object with _IDTExtensibility2: not loaded
        NoRibbon,         // loaded, but offers no IRibbonExtensibility
        NoMarkup,         // GetCustomUI handed out nothing
        Malformed,        // markup that is not well formed
        DuplicateId,      // two controls claim one id
        UnknownCallback,  // a callback the add-in's IDispatch does not know
        CallbackFailed,   // a callback answered a failure
        SlowLoad,         // connect, markup and first display took longer than the resiliency limit
        ReferencesHeld,   // an object the host handed in is not back at its count after the release
        Refused,          // a rule of Office's keeps it from loading: policy, Trust Center, Disabled Items
        Disabled,         // Office disabled it at this start: the user's LoadBehavior 2, a Disabled Item
        UnreadableItem,   // a Disabled Items value that cannot be read: reported, then passed over
        StaysLoaded,      // its library is still loaded once COM has freed unused libraries after its release
        ChoicesLost,      // ticked on again, its group shows other states than before it was ticked off
    };
    Kind kind;
    std::wstring text;
};

// One thing the user does in the group: choose a drop-down's item, toggle a check box, press a button.
struct UserAction {
    enum class Kind { Choose, Toggle, Press };
    Kind kind;
    std::wstring controlId;
    LONG index = 0;
};

// A control of the add-in's group as the ribbon shows it, with its answers from the last time it was asked.
struct ShownControl {
    markup::MarkupControl markup;
    win::ComPtr<RibbonControl> object;  // the ribbon's object for it
    std::wstring label;
    std::wstring supertip;
    bool visible = true;
    bool enabled = true;
    bool hasPressed = false;
    bool pressed = false;
    bool hasSelection = false;
    LONG selected = 0;
    struct Item {
        std::wstring id;
        std::wstring label;
    };
    std::vector<Item> items;

    bool isLauncher() const { return markup.container == L"dialogBoxLauncher"; }
};

// Where a session's time went, in milliseconds: creation (ProgID and CoCreateInstance), connection
// (OnConnection, OnAddInsUpdate, OnStartupComplete), markup (GetCustomUI, reading it with MSXML, resolving
// its callbacks), first display (onLoad and every callback of the group) and exit (shutdown, disconnection,
// release and the reference check).
struct PhaseTimes {
    double create = 0;
    double connect = 0;
    double markup = 0;
    double display = 0;
    double exit = 0;
};

// The calls of one callback during the display, and their time together.
struct CallbackTime {
    int calls = 0;
    double milliseconds = 0;
};

// One COM add-in in one host, from creation to release, as Office runs it: CoCreateInstance by ProgID,
// OnConnection (at start-up, with the host's application object and a COM add-in object of the host's),
// OnAddInsUpdate, OnStartupComplete, GetCustomUI with the host's ribbon id, the markup read with MSXML,
// onLoad with the ribbon's object, then every callback the markup binds, control by control in the order the
// ribbon shows the group; the user's actions, among them unticking the add-in in the COM Add-ins dialog and
// ticking it again (reload); at exit OnBeginShutdown, OnDisconnection and the release, after which every
// object handed to the add-in must be back at its count. Every host call is kept as a line of the trace (when
// tracing). The caller's thread must be in a single-threaded apartment.
class AddInSession {
public:
    struct Options {
        bool trace = true;
        // Office's resiliency flags an add-in whose connection, markup and first display take longer.
        double slowLoadMilliseconds = 1000;
        // Times every callback of the display by name (callbackTimes); off, the display pays nothing for it.
        bool timeCallbacks = false;
    };

    AddInSession(const HostProfile& host, IDispatch* application, Options options);
    ~AddInSession();
    AddInSession(const AddInSession&) = delete;
    AddInSession& operator=(const AddInSession&) = delete;

    // Creates, connects and shows the add-in's group; false when it could not be loaded (see findings).
    bool load(const std::wstring& progId);
    // False when the group has no such control or the action does not fit it.
    bool perform(const UserAction& action);
    // The COM Add-ins dialog: the user unticks the add-in and ticks it again. Ticked off, it gets
    // OnDisconnection(ext_dm_UserClosed) but no OnBeginShutdown (the host goes on), is released and checked
    // as at exit, and COM frees the libraries nobody uses (CoFreeUnusedLibrariesEx(0, 0)), its own among
    // them. Ticked on, a new object gets OnConnection(ext_cm_AfterStartup) and OnAddInsUpdate (never
    // OnStartupComplete: start-up is long over), then the markup and the group's display as at start-up; the
    // group must show what it showed before. False when the add-in was not connected or could not be
    // connected again (see findings).
    bool reload();
    void beginShutdown();
    // OnDisconnection, the release, and the reference check of what was handed in.
    void unload();

    // Tracing on or off from now on (Options::trace).
    void setTracing(bool on) { options_.trace = on; }
    bool connected() const { return connected_; }
    const std::wstring& progId() const { return progId_; }
    const std::wstring& markup() const { return markup_; }
    const std::vector<ShownControl>& controls() const { return controls_; }
    const std::vector<Finding>& findings() const { return findings_; }
    // The host's calls, except those of the group's display (the controls' getters), which are apart.
    const std::vector<std::wstring>& trace() const { return trace_; }
    const std::vector<std::wstring>& displayTrace() const { return displayTrace_; }
    // From creation to the end of the first display.
    double loadMilliseconds() const { return loadMilliseconds_; }
    const PhaseTimes& phaseTimes() const { return phases_; }
    const std::map<std::wstring, CallbackTime>& callbackTimes() const { return callbackTimes_; }
    OfficeHost& host() { return host_; }
    ShownControl* control(const std::wstring& id);

private:
    using ConnectMode = OfficeHost::ConnectMode;
    using DisconnectMode = OfficeHost::DisconnectMode;

    // Creation, connection, markup and display, with the connection's mode.
    bool start(ConnectMode mode);
    // Disconnection when connected, the release and the reference check of what was handed in.
    void stop(DisconnectMode mode);
    void note(const std::wstring& line);
    void find(Finding::Kind kind, const std::wstring& text);
    HRESULT traced(const std::wstring& call, HRESULT status);
    void readGroup();
    void checkCallbacks(const markup::MarkupDocument& document);
    bool known(const std::wstring& callback) const;
    // Runs one callback of the display, timing it by name when asked to.
    template <typename Call>
    HRESULT timed(const std::wstring& callback, Call call);
    void show(ShownControl& control);
    void showCallbacks(ShownControl& control);
    void showItems(ShownControl& control, const wchar_t* countAttribute);
    void showInvalidated();
    // What the group shows, a line per control: label, visibility, states and items.
    std::vector<std::wstring> shownStates() const;
    // Calls a callback with the control (and `extra` arguments), taking the result into `value`.
    template <typename Value>
    bool ask(ShownControl& control, const wchar_t* attribute, Value& value);

    const HostProfile& hostProfile_;
    IDispatch* application_;
    Options options_;
    OfficeHost host_;
    win::ComPtr<AutomationObject> addInObject_ = win::ComPtr<AutomationObject>::adopt(new AutomationObject());
    win::ComPtr<RibbonUi> ribbonUi_ = win::ComPtr<RibbonUi>::adopt(new RibbonUi());
    std::wstring progId_;
    std::wstring markup_;
    std::vector<ShownControl> controls_;
    std::set<std::wstring> unknownCallbacks_;
    std::vector<Finding> findings_;
    std::vector<std::wstring> trace_;
    std::vector<std::wstring> displayTrace_;
    bool displaying_ = false;
    bool connected_ = false;
    bool shutdownBegun_ = false;
    bool unloaded_ = false;
    double loadMilliseconds_ = 0;
    PhaseTimes phases_;
    std::map<std::wstring, CallbackTime> callbackTimes_;
};

// "S_OK", "S_FALSE" or "0x80004005".
std::wstring statusText(HRESULT status);

// The full path of the library whose code serves the object; empty when the program itself serves it.
std::wstring libraryServing(IUnknown* object);

}  // namespace hostsim
