#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What the print routines ask of the host's automation object model, and nothing more. The routines' logic is
// written against this interface alone, so it needs no operating system; on Windows it is answered by late
// binding through each object's IDispatch (DispatchAutomation).
namespace host {

// The status of one automation call, with COM's convention: negative is a failure, anything else succeeded
// (0 is S_OK exactly).
using Status = int32_t;
constexpr Status kOk = 0;
constexpr Status kOutOfMemory = static_cast<Status>(0x8007000E);
constexpr bool failed(Status status) {
    return status < 0;
}

// One counted reference to a host object, given back when the handle goes.
class Reference {
public:
    virtual ~Reference() = default;
};
using Ref = std::unique_ptr<Reference>;

// A property value exactly as the host handed it out, kept to be handed back unchanged.
class Value {
public:
    virtual ~Value() = default;
};
using ValueRef = std::unique_ptr<Value>;

// The members of Excel's page setup that printing changes, and puts back.
enum class PageSetupMember { BlackAndWhite, FitToPagesTall, FitToPagesWide, Zoom };
// The members of PowerPoint's print options that printing changes, and puts back.
enum class PrintOption { ColorType, OutputType };

class HostAutomation {
public:
    virtual ~HostAutomation() = default;

    // The application object as each host's routine uses it; null when the host's interface is refused (Word
    // and PowerPoint: IDispatch with S_OK and a pointer; Excel: its _Application, a pointer whatever the
    // status).
    virtual Ref wordApplication() = 0;
    virtual Ref excelApplication() = 0;
    virtual Ref powerPointApplication() = 0;

    // Word: Application.PrintOut with everything missing but the two zoom arguments.
    virtual Status printOutDocument(Reference& application, int32_t zoomColumn, int32_t zoomRow) = 0;

    // Excel. `sheet` and `pageSetup` may come back null with a successful status.
    virtual Status activeSheet(Reference& application, Ref& sheet) = 0;
    // The sheet as a worksheet; null for a chart sheet.
    virtual Ref worksheetOf(Reference& sheet) = 0;
    virtual Status pageSetupOf(Reference& worksheet, Ref& pageSetup) = 0;
    virtual Status getPageSetup(Reference& pageSetup, PageSetupMember member, ValueRef& value) = 0;
    virtual Status putPageSetup(Reference& pageSetup, PageSetupMember member, const Value& value) = 0;
    // Values for putPageSetup: an automation truth value, or a whole number.
    virtual ValueRef truthValue(bool value) = 0;
    virtual ValueRef numberValue(int32_t value) = 0;
    // Worksheet.PrintOut with all nine arguments missing.
    virtual Status printOutSheet(Reference& worksheet) = 0;

    // PowerPoint. `presentation`, `options` and `slides` may come back null with a successful status.
    virtual Status activePrinter(Reference& application, std::wstring& name) = 0;
    virtual Status activePresentation(Reference& application, Ref& presentation) = 0;
    virtual Status printOptionsOf(Reference& presentation, Ref& options) = 0;
    virtual Status getPrintOption(Reference& options, PrintOption option, int32_t& value) = 0;
    virtual Status putPrintOption(Reference& options, PrintOption option, int32_t value) = 0;
    // The presentation's slides as the collection that declares Count; null when refused.
    virtual Status slidesOf(Reference& presentation, Ref& slides) = 0;
    virtual Status slideCount(Reference& slides, int32_t& count) = 0;
    // Presentation.PrintOut(From, To, PrintToFile, Copies, Collate), printing to no file.
    virtual Status printOutPresentation(Reference& presentation, int32_t from, int32_t to, int32_t copies,
                                        int32_t collate) = 0;
};

}  // namespace host
