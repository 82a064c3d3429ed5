#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/hostsim/CountedDispatch.h"

namespace hostsim {

// Word, Excel or PowerPoint as far as printing meets them: automation objects that answer IDispatch by member
// name (Excel's page setup by dispatch id only), answer QueryInterface for the Office interfaces the real
// hosts give, keep their print settings, and record every call made on them with its argument types and
// values. Any one call can be made to fail or to answer another status, and any interface can be refused.
//
// A call is recorded as text, arguments in their published order:
//   "PageSetup.Zoom"                       a property get
//   "PageSetup.Zoom = INT 100"             a property put (with the DISPID_PROPERTYPUT named argument)
//   "Worksheet.PrintOut(-,-,...) lcid 0"   a method; "-" is a missing argument; the locale is shown when it
//                                          is not US English
// The double is an English Office: it answers names and calls made in US English (0x0409) or in the neutral
// locale (0), and takes the user's or the system's default locale to mean the user's own locale. A call in
// any other locale, as one made on a machine set to a language whose Office language pack is not installed,
// is refused with 0x80028018 ("old format or invalid type library"), as Excel refuses it. Values show their
// type: "I4 4", "INT 100", "BOOL -1", "BSTR null", "BSTR \"x\"", "EMPTY".
class OfficeDouble {
public:
    enum class Host { Word, Excel, PowerPoint };
    enum class Verb { Get, Put, Call };
    // How an object answers QueryInterface for one interface.
    enum class Answer {
        Give,             // S_OK and the object
        Refuse,           // E_NOINTERFACE and null
        OkWithoutObject,  // S_OK and null
        OtherStatus,      // S_FALSE and the object
    };
    enum class Sheet { Worksheet, Chart, None };

    explicit OfficeDouble(Host host);
    ~OfficeDouble();
    OfficeDouble(const OfficeDouble&) = delete;
    OfficeDouble& operator=(const OfficeDouble&) = delete;

    // The application object, to be passed to the add-in as the host passes it.
    IDispatch* application() const;

    void answer(const std::wstring& object, REFIID iid, Answer answer);
    // Makes the call with this index in the record (from 0) answer `status` instead of acting.
    void answerCall(size_t index, HRESULT status);
    // Makes every call of `member` ("Worksheet.PrintOut") with this verb answer `status`. A failure status
    // acts as nothing; a success status acts and is answered instead of S_OK.
    void answerMember(const std::wstring& member, Verb verb, HRESULT status);

    // The locale the user's machine is set to (US English unless told).
    void setUserLocale(LCID locale);
    // The description the double's automation errors carry (EXCEPINFO), as long as a test wants it.
    void setErrorDescription(const std::wstring& description);

    // Excel: what the active sheet is; that the worksheet answers PageSetup with no object.
    void activeSheet(Sheet sheet);
    void noPageSetup();
    // PowerPoint: no active presentation, no print options, the number of slides.
    void noPresentation();
    void noPrintOptions();
    void slides(LONG count);

    // A setting of the document ("PageSetup.Zoom", "PrintOptions.OutputType") as text, and the one to start
    // with.
    std::wstring setting(const std::wstring& name) const;
    void setSetting(const std::wstring& name, const VARIANT& value);
    // Every setting as "name: value", in name order.
    std::vector<std::wstring> settings() const;

    const std::vector<std::wstring>& calls() const;
    void clearCalls();
    // The objects that someone besides the double still holds, as "Name (n references)"; empty when none.
    std::vector<std::wstring> heldObjects() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

// An automation value as the double records it.
std::wstring describeValue(const VARIANT& value);

}  // namespace hostsim
