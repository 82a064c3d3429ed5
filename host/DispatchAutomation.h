#pragma once

#include <windows.h>
#include <oaidl.h>

#include "host/HostAutomation.h"

// The Office hosts' automation object model reached by late binding: each member is looked up by its
// published name with GetIDsOfNames and called through IDispatch::Invoke (Excel's page setup by its dispatch
// ids). A real Office answers these exactly as it answers its early-bound interfaces, and no Office type
// library is needed.
class DispatchAutomation final : public host::HostAutomation {
public:
    // The host's application object; the caller keeps it alive while this object is used.
    explicit DispatchAutomation(IDispatch* application) noexcept : application_(application) {}

    host::Ref wordApplication() override;
    host::Ref excelApplication() override;
    host::Ref powerPointApplication() override;

    host::Status printOutDocument(host::Reference& application, int32_t zoomColumn, int32_t zoomRow) override;

    host::Status activeSheet(host::Reference& application, host::Ref& sheet) override;
    host::Ref worksheetOf(host::Reference& sheet) override;
    host::Status pageSetupOf(host::Reference& worksheet, host::Ref& pageSetup) override;
    host::Status getPageSetup(host::Reference& pageSetup, host::PageSetupMember member,
                              host::ValueRef& value) override;
    host::Status putPageSetup(host::Reference& pageSetup, host::PageSetupMember member,
                              const host::Value& value) override;
    host::ValueRef truthValue(bool value) override;
    host::ValueRef numberValue(int32_t value) override;
    host::Status printOutSheet(host::Reference& worksheet) override;

    host::Status activePrinter(host::Reference& application, std::wstring& name) override;
    host::Status activePresentation(host::Reference& application, host::Ref& presentation) override;
    host::Status printOptionsOf(host::Reference& presentation, host::Ref& options) override;
    host::Status getPrintOption(host::Reference& options, host::PrintOption option, int32_t& value) override;
    host::Status putPrintOption(host::Reference& options, host::PrintOption option, int32_t value) override;
    host::Status slidesOf(host::Reference& presentation, host::Ref& slides) override;
    host::Status slideCount(host::Reference& slides, int32_t& count) override;
    host::Status printOutPresentation(host::Reference& presentation, int32_t from, int32_t to, int32_t copies,
                                      int32_t collate) override;

private:
    IDispatch* application_;
};
