#include "tests/allocation/AutomationDouble.h"

#include <memory>

using namespace host;

namespace {

class HeldObject final : public Reference {
public:
    explicit HeldObject(int& held) : held_(held) { ++held_; }
    ~HeldObject() override { --held_; }

private:
    int& held_;
};

class HeldNumber final : public Value {
public:
    HeldNumber(int& held, std::int32_t number) : number(number), held_(held) { ++held_; }
    ~HeldNumber() override { --held_; }
    const std::int32_t number;

private:
    int& held_;
};

}  // namespace

AutomationDouble::PageSetup AutomationDouble::originalPageSetup() {
    return {{PageSetupMember::BlackAndWhite, -1},
            {PageSetupMember::FitToPagesTall, 2},
            {PageSetupMember::FitToPagesWide, 3},
            {PageSetupMember::Zoom, 75}};
}

AutomationDouble::PrintOptions AutomationDouble::originalPrintOptions() {
    return {{PrintOption::ColorType, 2}, {PrintOption::OutputType, 6}};
}

Ref AutomationDouble::object() {
    return std::make_unique<HeldObject>(held_);
}

ValueRef AutomationDouble::number(std::int32_t value) {
    return std::make_unique<HeldNumber>(held_, value);
}

void AutomationDouble::call(std::size_t arguments) {
    // A new argument list for every call, the result included.
    arguments_ = std::vector<std::int64_t>(arguments + 1);
}

Status AutomationDouble::print() {
    printed_ = true;
    return kOk;
}

Ref AutomationDouble::wordApplication() {
    return object();
}
Ref AutomationDouble::excelApplication() {
    return object();
}
Ref AutomationDouble::powerPointApplication() {
    return object();
}

Status AutomationDouble::printOutDocument(Reference&, std::int32_t, std::int32_t) {
    call(19);
    return print();
}

Status AutomationDouble::activeSheet(Reference&, Ref& sheet) {
    call(0);
    sheet = object();
    return kOk;
}

Ref AutomationDouble::worksheetOf(Reference&) {
    return object();
}

Status AutomationDouble::pageSetupOf(Reference&, Ref& pageSetup) {
    call(0);
    pageSetup = object();
    return kOk;
}

Status AutomationDouble::getPageSetup(Reference&, PageSetupMember member, ValueRef& value) {
    call(0);
    value = number(pageSetup_[member]);
    return kOk;
}

Status AutomationDouble::putPageSetup(Reference&, PageSetupMember member, const Value& value) {
    call(1);
    pageSetup_[member] = static_cast<const HeldNumber&>(value).number;
    return kOk;
}

ValueRef AutomationDouble::truthValue(bool value) {
    return number(value ? -1 : 0);
}

ValueRef AutomationDouble::numberValue(std::int32_t value) {
    return number(value);
}

Status AutomationDouble::printOutSheet(Reference&) {
    call(9);
    return print();
}

Status AutomationDouble::activePrinter(Reference&, std::wstring& name) {
    call(0);
    name = L"Corvane InkJet 7000 Series on USB001";
    return kOk;
}

Status AutomationDouble::activePresentation(Reference&, Ref& presentation) {
    call(0);
    presentation = object();
    return kOk;
}

Status AutomationDouble::printOptionsOf(Reference&, Ref& options) {
    call(0);
    options = object();
    return kOk;
}

Status AutomationDouble::getPrintOption(Reference&, PrintOption option, std::int32_t& value) {
    call(0);
    value = printOptions_[option];
    return kOk;
}

Status AutomationDouble::putPrintOption(Reference&, PrintOption option, std::int32_t value) {
    call(1);
    printOptions_[option] = value;
    return kOk;
}

Status AutomationDouble::slidesOf(Reference&, Ref& slides) {
    call(0);
    slides = object();
    return kOk;
}

Status AutomationDouble::slideCount(Reference&, std::int32_t& count) {
    call(0);
    count = 12;
    return kOk;
}

Status AutomationDouble::printOutPresentation(Reference&, std::int32_t, std::int32_t, std::int32_t,
                                              std::int32_t) {
    call(5);
    return print();
}
