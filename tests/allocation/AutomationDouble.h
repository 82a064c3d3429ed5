#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/HostAutomation.h"

// Word, Excel and PowerPoint in one for the print routines off Windows, with one document whose print
// settings printing changes and puts back. Every object and value it hands out is a new one, and every call
// allocates its arguments as a call through IDispatch does, so that running out of memory can strike in any
// call. It counts what is still held and tells whether a print request was accepted.
class AutomationDouble final : public host::HostAutomation {
public:
    using PageSetup = std::map<host::PageSetupMember, std::int32_t>;
    using PrintOptions = std::map<host::PrintOption, std::int32_t>;

    // Excel's sheet: black and white, fitted to 2 pages tall and 3 wide, at zoom 75. PowerPoint's
    // presentation: black and white, as outline.
    static PageSetup originalPageSetup();
    static PrintOptions originalPrintOptions();

    // Objects and values handed out and not given back.
    int held() const { return held_; }
    bool printed() const { return printed_; }
    const PageSetup& pageSetup() const { return pageSetup_; }
    const PrintOptions& printOptions() const { return printOptions_; }

    host::Ref wordApplication() override;
    host::Ref excelApplication() override;
    host::Ref powerPointApplication() override;
    host::Status printOutDocument(host::Reference& application, std::int32_t zoomColumn,
                                  std::int32_t zoomRow) override;
    host::Status activeSheet(host::Reference& application, host::Ref& sheet) override;
    host::Ref worksheetOf(host::Reference& sheet) override;
    host::Status pageSetupOf(host::Reference& worksheet, host::Ref& pageSetup) override;
    host::Status getPageSetup(host::Reference& pageSetup, host::PageSetupMember member,
                              host::ValueRef& value) override;
    host::Status putPageSetup(host::Reference& pageSetup, host::PageSetupMember member,
                              const host::Value& value) override;
    host::ValueRef truthValue(bool value) override;
    host::ValueRef numberValue(std::int32_t value) override;
    host::Status printOutSheet(host::Reference& worksheet) override;
    host::Status activePrinter(host::Reference& application, std::wstring& name) override;
    host::Status activePresentation(host::Reference& application, host::Ref& presentation) override;
    host::Status printOptionsOf(host::Reference& presentation, host::Ref& options) override;
    host::Status getPrintOption(host::Reference& options, host::PrintOption option,
                                std::int32_t& value) override;
    host::Status putPrintOption(host::Reference& options, host::PrintOption option,
                                std::int32_t value) override;
    host::Status slidesOf(host::Reference& presentation, host::Ref& slides) override;
    host::Status slideCount(host::Reference& slides, std::int32_t& count) override;
    host::Status printOutPresentation(host::Reference& presentation, std::int32_t from, std::int32_t to,
                                      std::int32_t copies, std::int32_t collate) override;

private:
    host::Ref object();
    host::ValueRef number(std::int32_t value);
    void call(std::size_t arguments);
    host::Status print();

    int held_ = 0;
    bool printed_ = false;
    PageSetup pageSetup_ = originalPageSetup();
    PrintOptions printOptions_ = originalPrintOptions();
    std::vector<std::int64_t> arguments_;
};
