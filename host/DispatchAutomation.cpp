#include "host/DispatchAutomation.h"

#include <oleauto.h>

#include <vector>

#include "host/OfficeInterfaceIds.h"
#include "win/ComPtr.h"
#include "win/UniqueVariant.h"

namespace {

using host::Ref;
using host::Reference;
using host::Status;

// Excel's PageSetup members, by the dispatch ids of its published object model.
constexpr DISPID kBlackAndWhite = 0x3F1;
constexpr DISPID kFitToPagesTall = 0x3F5;
constexpr DISPID kFitToPagesWide = 0x3F6;
constexpr DISPID kZoom = 0x297;

constexpr DISPID pageSetupIdOf(host::PageSetupMember member) {
    switch (member) {
        case host::PageSetupMember::BlackAndWhite:
            return kBlackAndWhite;
        case host::PageSetupMember::FitToPagesTall:
            return kFitToPagesTall;
        case host::PageSetupMember::FitToPagesWide:
            return kFitToPagesWide;
        default:
            return kZoom;
    }
}

constexpr const wchar_t* printOptionName(host::PrintOption option) {
    return option == host::PrintOption::ColorType ? L"PrintColorType" : L"OutputType";
}

// A counted reference to one of the host's objects.
class DispatchReference final : public Reference {
public:
    explicit DispatchReference(win::ComPtr<IDispatch> object) noexcept : object_(std::move(object)) {}
    IDispatch* get() const noexcept { return object_.get(); }

private:
    win::ComPtr<IDispatch> object_;
};

IDispatch* dispatchOf(Reference& reference) {
    return static_cast<DispatchReference&>(reference).get();
}

Ref referenceTo(win::ComPtr<IDispatch> object) {
    if (!object) return nullptr;
    return std::make_unique<DispatchReference>(std::move(object));
}

// A property value as the host handed it out.
class VariantValue final : public host::Value {
public:
    win::UniqueVariant value;
};

VARIANT missingArgument() noexcept {
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_ERROR;
    argument.scode = DISP_E_PARAMNOTFOUND;
    return argument;
}

VARIANT longArgument(LONG value) noexcept {
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    return argument;
}

// Office's object model is asked in US English, whatever the user's own locale: member names are looked up
// and arguments read as English ones, and Excel refuses automation calls made in a locale for which no Office
// language pack is installed (0x80028018, "old format or invalid type library"), as on an English Office on a
// machine set to another language.
constexpr LCID kAutomationLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// Calls member `id` of `object`. `arguments` are in the member's published order; automation wants them last
// first. A property put passes its one argument as the named DISPID_PROPERTYPUT.
Status invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments, VARIANT* result,
              LCID locale = kAutomationLocale) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID propertyPut = DISPID_PROPERTYPUT;
    DISPPARAMS parameters = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        parameters.rgdispidNamedArgs = &propertyPut;
        parameters.cNamedArgs = 1;
    }
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    HRESULT status =
        object->Invoke(id, IID_NULL, locale, flags, &parameters, result, &exception, &argumentError);
    if (status == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        // The host's own error, when it gave one, says more than that an exception happened.
        if (FAILED(exception.scode)) status = exception.scode;
        ::SysFreeString(exception.bstrSource);
        ::SysFreeString(exception.bstrDescription);
        ::SysFreeString(exception.bstrHelpFile);
    }
    return status;
}

Status invokeByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments,
                    VARIANT* result, LCID locale = kAutomationLocale) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, kAutomationLocale, &id);
    if (FAILED(status)) return status;
    return invoke(object, id, flags, std::move(arguments), result, locale);
}

Status getProperty(IDispatch* object, const wchar_t* name, win::UniqueVariant& value) {
    return invokeByName(object, name, DISPATCH_PROPERTYGET, {}, value.receive());
}

// A property whose value is an object; `child` is empty when the host answers with none.
Status getObject(IDispatch* object, const wchar_t* name, Ref& child) {
    child.reset();
    win::UniqueVariant value;
    const Status status = getProperty(object, name, value);
    if (FAILED(status)) return status;
    switch (value.get().vt) {
        case VT_DISPATCH:
            child = referenceTo(win::ComPtr<IDispatch>(value.get().pdispVal));
            return status;
        case VT_EMPTY:
        case VT_NULL:
            return status;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// A property read as a number of the given automation type.
Status getNumber(IDispatch* object, const wchar_t* name, int32_t& number) {
    win::UniqueVariant value;
    Status status = getProperty(object, name, value);
    if (FAILED(status)) return status;
    const HRESULT converted = ::VariantChangeType(&value.get(), &value.get(), 0, VT_I4);
    if (FAILED(converted)) return converted;
    number = value.get().lVal;
    return status;
}

// The interface `iid` of `object`, asked for the way each caller needs: `exactly` demands S_OK and a
// pointer; otherwise any pointer that comes back will do.
Ref queryFor(IDispatch* object, REFIID iid, bool exactly) {
    IDispatch* answer = nullptr;
    const HRESULT status = object->QueryInterface(iid, reinterpret_cast<void**>(&answer));
    auto owned = win::ComPtr<IDispatch>::adopt(answer);
    if (exactly && status != S_OK) return nullptr;
    return referenceTo(std::move(owned));
}

}  // namespace

Ref DispatchAutomation::wordApplication() {
    return queryFor(application_, IID_IDispatch, true);
}

Ref DispatchAutomation::excelApplication() {
    return queryFor(application_, office::kExcelApplication, false);
}

Ref DispatchAutomation::powerPointApplication() {
    return queryFor(application_, IID_IDispatch, true);
}

Status DispatchAutomation::printOutDocument(Reference& application, int32_t zoomColumn, int32_t zoomRow) {
    // Background, Append, Range, OutputFileName, From, To, Item, Copies, Pages, PageType, PrintToFile,
    // Collate, FileName, ActivePrinterMacGX, ManualDuplexPrint, PrintZoomColumn, PrintZoomRow,
    // PrintZoomPaperWidth, PrintZoomPaperHeight.
    std::vector<VARIANT> arguments(19, missingArgument());
    arguments[15] = longArgument(zoomColumn);
    arguments[16] = longArgument(zoomRow);
    win::UniqueVariant result;
    return invokeByName(dispatchOf(application), L"PrintOut", DISPATCH_METHOD, std::move(arguments),
                        result.receive());
}

Status DispatchAutomation::activeSheet(Reference& application, Ref& sheet) {
    return getObject(dispatchOf(application), L"ActiveSheet", sheet);
}

Ref DispatchAutomation::worksheetOf(Reference& sheet) {
    return queryFor(dispatchOf(sheet), office::kExcelWorksheet, false);
}

Status DispatchAutomation::pageSetupOf(Reference& worksheet, Ref& pageSetup) {
    return getObject(dispatchOf(worksheet), L"PageSetup", pageSetup);
}

Status DispatchAutomation::getPageSetup(Reference& pageSetup, host::PageSetupMember member,
                                        host::ValueRef& value) {
    auto read = std::make_unique<VariantValue>();
    Status status =
        invoke(dispatchOf(pageSetup), pageSetupIdOf(member), DISPATCH_PROPERTYGET, {}, read->value.receive());
    if (FAILED(status)) return status;
    // Black and white is a truth value; the other three are kept exactly as they came.
    if (member == host::PageSetupMember::BlackAndWhite) {
        const HRESULT converted = ::VariantChangeType(&read->value.get(), &read->value.get(), 0, VT_BOOL);
        if (FAILED(converted)) return converted;
    }
    value = std::move(read);
    return status;
}

Status DispatchAutomation::putPageSetup(Reference& pageSetup, host::PageSetupMember member,
                                        const host::Value& value) {
    // The platform declares the source of a copy or conversion without const; it only reads it.
    VARIANT* given = const_cast<VARIANT*>(&static_cast<const VariantValue&>(value).value.get());
    win::UniqueVariant argument;
    HRESULT status = member == host::PageSetupMember::BlackAndWhite
                         ? ::VariantChangeType(&argument.get(), given, 0, VT_BOOL)
                         : ::VariantCopy(&argument.get(), given);
    if (FAILED(status)) return status;
    win::UniqueVariant result;
    return invoke(dispatchOf(pageSetup), pageSetupIdOf(member), DISPATCH_PROPERTYPUT, {argument.get()},
                  result.receive());
}

host::ValueRef DispatchAutomation::truthValue(bool value) {
    auto made = std::make_unique<VariantValue>();
    made->value.get().vt = VT_BOOL;
    made->value.get().boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return made;
}

host::ValueRef DispatchAutomation::numberValue(int32_t value) {
    auto made = std::make_unique<VariantValue>();
    made->value.get().vt = VT_INT;
    made->value.get().intVal = value;
    return made;
}

Status DispatchAutomation::printOutSheet(Reference& worksheet) {
    // From, To, Copies, Preview, ActivePrinter, PrintToFile, Collate, PrToFileName, IgnorePrintAreas; the
    // member's locale argument is the call's locale, 0.
    win::UniqueVariant result;
    return invokeByName(dispatchOf(worksheet), L"PrintOut", DISPATCH_METHOD,
                        std::vector<VARIANT>(9, missingArgument()), result.receive(), 0);
}

Status DispatchAutomation::activePrinter(Reference& application, std::wstring& name) {
    win::UniqueVariant value;
    Status status = getProperty(dispatchOf(application), L"ActivePrinter", value);
    if (FAILED(status)) return status;
    const HRESULT converted = ::VariantChangeType(&value.get(), &value.get(), 0, VT_BSTR);
    if (FAILED(converted)) return converted;
    name.assign(value.get().bstrVal, ::SysStringLen(value.get().bstrVal));
    return status;
}

Status DispatchAutomation::activePresentation(Reference& application, Ref& presentation) {
    return getObject(dispatchOf(application), L"ActivePresentation", presentation);
}

Status DispatchAutomation::printOptionsOf(Reference& presentation, Ref& options) {
    return getObject(dispatchOf(presentation), L"PrintOptions", options);
}

Status DispatchAutomation::getPrintOption(Reference& options, host::PrintOption option, int32_t& value) {
    return getNumber(dispatchOf(options), printOptionName(option), value);
}

Status DispatchAutomation::putPrintOption(Reference& options, host::PrintOption option, int32_t value) {
    win::UniqueVariant result;
    return invokeByName(dispatchOf(options), printOptionName(option), DISPATCH_PROPERTYPUT,
                        {longArgument(value)}, result.receive());
}

Status DispatchAutomation::slidesOf(Reference& presentation, Ref& slides) {
    Ref collection;
    const Status status = getObject(dispatchOf(presentation), L"Slides", collection);
    slides = collection ? queryFor(dispatchOf(*collection), office::kPowerPointCollection, false) : nullptr;
    return status;
}

Status DispatchAutomation::slideCount(Reference& slides, int32_t& count) {
    return getNumber(dispatchOf(slides), L"Count", count);
}

Status DispatchAutomation::printOutPresentation(Reference& presentation, int32_t from, int32_t to,
                                                int32_t copies, int32_t collate) {
    // PrintToFile: no file, as a null string.
    VARIANT noFile;
    ::VariantInit(&noFile);
    noFile.vt = VT_BSTR;
    noFile.bstrVal = nullptr;
    win::UniqueVariant result;
    return invokeByName(
        dispatchOf(presentation), L"PrintOut", DISPATCH_METHOD,
        {longArgument(from), longArgument(to), noFile, longArgument(copies), longArgument(collate)},
        result.receive());
}
