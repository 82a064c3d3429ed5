#include "tools/hostsim/OfficeDouble.h"

#include <oleauto.h>

#include <algorithm>
#include <utility>

#include "host/OfficeInterfaceIds.h"
#include "win/UniqueVariant.h"

namespace hostsim {

namespace {

struct Member {
    const wchar_t* name;
    DISPID id;
};

struct Answered {
    std::wstring object;
    IID iid;
    OfficeDouble::Answer answer;
};

VARIANT number(VARTYPE type, LONG value) {
    VARIANT made;
    ::VariantInit(&made);
    made.vt = type;
    if (type == VT_BOOL)
        made.boolVal = static_cast<VARIANT_BOOL>(value);
    else
        made.lVal = value;
    return made;
}

constexpr LCID kEnglish = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
constexpr LCID kNeutral = 0;
// What Excel answers a call in a locale for which no Office language pack is installed.
constexpr HRESULT kNoLanguagePack = static_cast<HRESULT>(0x80028018);

}  // namespace

class HostObject;

struct OfficeDouble::State {
    std::vector<HostObject*> objects;
    // Properties whose value is another object ("Application.ActiveSheet"); null answers Nothing.
    std::map<std::wstring, HostObject*> children;
    std::map<std::wstring, win::UniqueVariant> settings;
    std::vector<Answered> answers;
    std::map<size_t, HRESULT> callAnswers;
    std::map<std::pair<std::wstring, Verb>, HRESULT> memberAnswers;
    std::vector<std::wstring> calls;
    LCID userLocale = kEnglish;
    std::wstring errorDescription = L"the double was told to fail this call";

    // Whether an English Office answers a name or a call made in this locale.
    bool answersIn(LCID locale) const {
        if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT) locale = userLocale;
        return locale == kEnglish || locale == kNeutral;
    }
    HostObject* object(const std::wstring& name) const;
    HRESULT invoke(const std::wstring& object, const std::wstring& member, LCID locale, WORD flags,
                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception);
};

// One automation object of the host.
class HostObject final : public CountedDispatch<IDispatch> {
public:
    HostObject(OfficeDouble::State& state, std::wstring name, std::vector<IID> interfaces,
               std::vector<Member> members, bool byName)
        : state_(state),
          name_(std::move(name)),
          interfaces_(std::move(interfaces)),
          members_(std::move(members)),
          byName_(byName) {}

    const std::wstring& name() const { return name_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) return answer(object);
        bool known = IsEqualIID(iid, IID_IDispatch);
        for (const IID& own : interfaces_) known = known || IsEqualIID(iid, own);
        OfficeDouble::Answer how = known ? OfficeDouble::Answer::Give : OfficeDouble::Answer::Refuse;
        for (const Answered& answered : state_.answers) {
            if (answered.object == name_ && IsEqualIID(answered.iid, iid)) how = answered.answer;
        }
        switch (how) {
            case OfficeDouble::Answer::Give:
                return answer(object);
            case OfficeDouble::Answer::OkWithoutObject:
                return S_OK;
            case OfficeDouble::Answer::OtherStatus:
                answer(object);
                return S_FALSE;
            default:
                return E_NOINTERFACE;
        }
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        if (!names || !ids) return E_POINTER;
        if (!state_.answersIn(locale)) {
            state_.calls.push_back(name_ + L": names asked in lcid " + std::to_wstring(locale));
            for (UINT index = 0; index < count; ++index) ids[index] = DISPID_UNKNOWN;
            return kNoLanguagePack;
        }
        HRESULT status = S_OK;
        for (UINT index = 0; index < count; ++index) {
            ids[index] = DISPID_UNKNOWN;
            if (index == 0 && byName_) {
                for (const Member& member : members_) {
                    // Automation names match whatever their letter case.
                    if (_wcsicmp(member.name, names[0]) == 0) ids[0] = member.id;
                }
            }
            if (ids[index] == DISPID_UNKNOWN) status = DISP_E_UNKNOWNNAME;
        }
        return status;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        for (const Member& member : members_) {
            if (member.id == id)
                return state_.invoke(name_, member.name, locale, flags, parameters, result, exception);
        }
        state_.calls.push_back(name_ + L".#" + std::to_wstring(id) + L" (no such member)");
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    OfficeDouble::State& state_;
    std::wstring name_;
    std::vector<IID> interfaces_;
    std::vector<Member> members_;
    bool byName_;
};

std::wstring describeValue(const VARIANT& value) {
    switch (value.vt) {
        case VT_EMPTY:
            return L"EMPTY";
        case VT_ERROR:
            if (value.scode == DISP_E_PARAMNOTFOUND) return L"-";
            return L"ERROR " + std::to_wstring(value.scode);
        case VT_I4:
            return L"I4 " + std::to_wstring(value.lVal);
        case VT_INT:
            return L"INT " + std::to_wstring(value.intVal);
        case VT_I2:
            return L"I2 " + std::to_wstring(value.iVal);
        case VT_BOOL:
            return L"BOOL " + std::to_wstring(value.boolVal);
        case VT_BSTR:
            if (!value.bstrVal) return L"BSTR null";
            return L"BSTR \"" + std::wstring(value.bstrVal, ::SysStringLen(value.bstrVal)) + L"\"";
        case VT_DISPATCH:
            return value.pdispVal ? L"DISPATCH" : L"DISPATCH null";
        default:
            return L"VT " + std::to_wstring(value.vt);
    }
}

HostObject* OfficeDouble::State::object(const std::wstring& name) const {
    for (HostObject* object : objects) {
        if (object->name() == name) return object;
    }
    return nullptr;
}

HRESULT OfficeDouble::State::invoke(const std::wstring& object, const std::wstring& member, LCID locale,
                                    WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                    EXCEPINFO* exception) {
    const std::wstring key = object + L"." + member;
    const UINT count = parameters ? parameters->cArgs : 0;
    std::vector<VARIANT> arguments;
    for (UINT index = count; index > 0; --index) arguments.push_back(parameters->rgvarg[index - 1]);

    Verb verb = Verb::Call;
    std::wstring text = key;
    const bool namedPut = parameters && parameters->cNamedArgs == 1 && parameters->rgdispidNamedArgs &&
                          parameters->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        verb = Verb::Put;
        text += namedPut ? L" = " : L" =? ";
        for (const VARIANT& argument : arguments) text += describeValue(argument);
    } else if ((flags & DISPATCH_PROPERTYGET) && count == 0 && (children.count(key) || settings.count(key))) {
        verb = Verb::Get;
    } else {
        text += L"(";
        for (size_t index = 0; index < arguments.size(); ++index)
            text += (index ? L"," : L"") + describeValue(arguments[index]);
        text += L")";
    }
    if (locale != kEnglish) text += L" lcid " + std::to_wstring(locale);
    const size_t index = calls.size();
    calls.push_back(text);

    HRESULT status = answersIn(locale) ? S_OK : kNoLanguagePack;
    if (callAnswers.count(index)) status = callAnswers[index];
    if (memberAnswers.count({key, verb})) status = memberAnswers[{key, verb}];
    if (FAILED(status)) {
        // As Office reports its errors through automation: an exception carrying the error.
        if (exception) {
            *exception = EXCEPINFO();
            exception->scode = status;
            exception->bstrSource = ::SysAllocString(object.c_str());
            exception->bstrDescription =
                ::SysAllocStringLen(errorDescription.data(), static_cast<UINT>(errorDescription.size()));
        }
        return DISP_E_EXCEPTION;
    }

    if (result) ::VariantInit(result);
    switch (verb) {
        case Verb::Get:
            if (!result) return E_POINTER;
            if (children.count(key)) {
                result->vt = VT_DISPATCH;
                result->pdispVal = children[key];
                if (result->pdispVal) result->pdispVal->AddRef();
                return status;
            }
            ::VariantCopy(result, &settings[key].get());
            return status;
        case Verb::Put:
            if (!namedPut || count != 1 || !settings.count(key)) return DISP_E_PARAMNOTFOUND;
            ::VariantCopy(&settings[key].get(), &parameters->rgvarg[0]);
            return status;
        default:
            if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
            return status;
    }
}

OfficeDouble::OfficeDouble(Host host) : state_(std::make_shared<State>()) {
    State& state = *state_;
    auto add = [&state](const wchar_t* name, std::vector<IID> interfaces, std::vector<Member> members,
                        bool byName = true) {
        state.objects.push_back(
            new HostObject(state, name, std::move(interfaces), std::move(members), byName));
        return state.objects.back();
    };
    auto set = [this](const wchar_t* name, VARIANT value) { setSetting(name, value); };
    switch (host) {
        case Host::Word:
            add(L"Application", {office::kWordApplication}, {{L"PrintOut", 1}});
            break;
        case Host::Excel: {
            add(L"Application", {office::kExcelApplication}, {{L"ActiveSheet", 1}});
            HostObject* worksheet =
                add(L"Worksheet", {office::kExcelWorksheet}, {{L"PageSetup", 1}, {L"PrintOut", 2}});
            add(L"Chart", {}, {{L"PageSetup", 1}, {L"PrintOut", 2}});
            // Excel's page setup is reached by dispatch id; the double knows no names for it.
            HostObject* pageSetup = add(L"PageSetup", {},
                                        {{L"BlackAndWhite", 0x3F1},
                                         {L"FitToPagesTall", 0x3F5},
                                         {L"FitToPagesWide", 0x3F6},
                                         {L"Zoom", 0x297}},
                                        false);
            state.children[L"Application.ActiveSheet"] = worksheet;
            state.children[L"Worksheet.PageSetup"] = pageSetup;
            state.children[L"Chart.PageSetup"] = pageSetup;
            // A sheet set to black and white, at its own zoom, with fitting off.
            set(L"PageSetup.BlackAndWhite", number(VT_BOOL, VARIANT_TRUE));
            set(L"PageSetup.FitToPagesTall", number(VT_BOOL, VARIANT_FALSE));
            set(L"PageSetup.FitToPagesWide", number(VT_I4, 1));
            set(L"PageSetup.Zoom", number(VT_I4, 85));
            break;
        }
        case Host::PowerPoint: {
            add(L"Application", {office::kPowerPointApplication},
                {{L"ActivePrinter", 1}, {L"ActivePresentation", 2}});
            HostObject* presentation = add(L"Presentation", {office::kPowerPointPresentation},
                                           {{L"PrintOptions", 1}, {L"Slides", 2}, {L"PrintOut", 3}});
            HostObject* options = add(L"PrintOptions", {}, {{L"PrintColorType", 1}, {L"OutputType", 2}});
            HostObject* slides = add(L"Slides", {office::kPowerPointCollection}, {{L"Count", 1}});
            state.children[L"Application.ActivePresentation"] = presentation;
            state.children[L"Presentation.PrintOptions"] = options;
            state.children[L"Presentation.Slides"] = slides;
            VARIANT printer;
            ::VariantInit(&printer);
            printer.vt = VT_BSTR;
            printer.bstrVal = ::SysAllocString(L"Corvane R");
            set(L"Application.ActivePrinter", printer);
            ::VariantClear(&printer);
            // Pure black and white, three-slide handouts: neither is anything printing puts.
            set(L"PrintOptions.PrintColorType", number(VT_I4, 3));
            set(L"PrintOptions.OutputType", number(VT_I4, 4));
            set(L"Slides.Count", number(VT_I4, 3));
            break;
        }
    }
}

OfficeDouble::~OfficeDouble() {
    for (HostObject* object : state_->objects) object->Release();
    state_->objects.clear();
}

IDispatch* OfficeDouble::application() const {
    return state_->object(L"Application");
}

void OfficeDouble::answer(const std::wstring& object, REFIID iid, Answer answer) {
    state_->answers.push_back({object, iid, answer});
}

void OfficeDouble::answerCall(size_t index, HRESULT status) {
    state_->callAnswers[index] = status;
}

void OfficeDouble::answerMember(const std::wstring& member, Verb verb, HRESULT status) {
    state_->memberAnswers[{member, verb}] = status;
}

void OfficeDouble::setUserLocale(LCID locale) {
    state_->userLocale = locale;
}

void OfficeDouble::setErrorDescription(const std::wstring& description) {
    state_->errorDescription = description;
}

void OfficeDouble::noPageSetup() {
    state_->children[L"Worksheet.PageSetup"] = nullptr;
}

void OfficeDouble::activeSheet(Sheet sheet) {
    state_->children[L"Application.ActiveSheet"] = sheet == Sheet::Worksheet ? state_->object(L"Worksheet")
                                                   : sheet == Sheet::Chart   ? state_->object(L"Chart")
                                                                             : nullptr;
}

void OfficeDouble::noPresentation() {
    state_->children[L"Application.ActivePresentation"] = nullptr;
}

void OfficeDouble::noPrintOptions() {
    state_->children[L"Presentation.PrintOptions"] = nullptr;
}

void OfficeDouble::slides(LONG count) {
    setSetting(L"Slides.Count", number(VT_I4, count));
}

std::wstring OfficeDouble::setting(const std::wstring& name) const {
    auto found = state_->settings.find(name);
    return found == state_->settings.end() ? L"(none)" : describeValue(found->second.get());
}

void OfficeDouble::setSetting(const std::wstring& name, const VARIANT& value) {
    ::VariantCopy(state_->settings[name].receive(), const_cast<VARIANT*>(&value));
}

std::vector<std::wstring> OfficeDouble::settings() const {
    std::vector<std::wstring> all;
    for (const auto& entry : state_->settings)
        all.push_back(entry.first + L": " + describeValue(entry.second.get()));
    return all;
}

const std::vector<std::wstring>& OfficeDouble::calls() const {
    return state_->calls;
}

void OfficeDouble::clearCalls() {
    state_->calls.clear();
}

std::vector<std::wstring> OfficeDouble::heldObjects() const {
    std::vector<std::wstring> held;
    for (HostObject* object : state_->objects) {
        if (object->references() != 1)
            held.push_back(object->name() + L" (" + std::to_wstring(object->references()) + L" references)");
    }
    return held;
}

}  // namespace hostsim
