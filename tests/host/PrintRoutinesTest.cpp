// The three print routines against Word, Excel and PowerPoint doubles reached through real IDispatch calls:
// what each host is asked, in which order, what counts as printed, and that the user's document settings and
// every reference come back on every path.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/HostApplication.h"
#include "host/OfficeInterfaceIds.h"
#include "tools/hostsim/OfficeDouble.h"
#include "tools/hostsim/PrivateMemory.h"

namespace {

using hostsim::OfficeDouble;
using Host = OfficeDouble::Host;
using Verb = OfficeDouble::Verb;
using Calls = std::vector<std::wstring>;

std::wstring joined(const Calls& calls) {
    std::wstring text;
    for (const std::wstring& call : calls) text += L"\n  " + call;
    return text;
}

std::wstring wordPrintOut(int columns, int rows) {
    std::wstring text = L"Application.PrintOut(";
    for (int index = 0; index < 15; ++index) text += L"-,";
    return text + L"I4 " + std::to_wstring(columns) + L",I4 " + std::to_wstring(rows) + L",-,-)";
}

const wchar_t* const kSheetPrintOut = L"Worksheet.PrintOut(-,-,-,-,-,-,-,-,-) lcid 0";

// One page-setup access: Excel's page setup is fetched afresh for each.
Calls pageSetup(const std::wstring& member, const std::wstring& put = L"") {
    return {L"Worksheet.PageSetup", L"PageSetup." + member + (put.empty() ? L"" : L" = " + put)};
}

Calls operator+(Calls first, const Calls& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A connected host adapter over a double; the double's objects must be back at their own reference when the
// adapter lets go.
class Printing {
public:
    explicit Printing(Host host) : office(host), host_(host) {
        adapter.attach(office.application(), nullptr);
    }
    ~Printing() {
        adapter.detach();
        EXPECT_TRUE(office.heldObjects().empty()) << "still held:" << joined(office.heldObjects());
    }
    // Word takes `option` as pages per sheet, Excel as fit to page, PowerPoint as the layout.
    bool print(bool blackAndWhite, int32_t option) {
        switch (host_) {
            case Host::Word:
                return adapter.printWord(option);
            case Host::Excel:
                return adapter.printExcel(blackAndWhite, option != 0);
            default:
                return adapter.printPowerPoint(blackAndWhite, option);
        }
    }

    OfficeDouble office;
    HostApplication adapter;

private:
    Host host_;
};

std::unique_ptr<Printing> printing(Host host) {
    return std::make_unique<Printing>(host);
}

TEST(WordPrint, ZoomsThePagesPerSheetOntoColumnsAndRows) {
    const struct {
        int32_t pages, columns, rows;
    } rows[] = {{1, 1, 1}, {2, 2, 1},  {4, 2, 2}, {8, 4, 2}, {3, 1, 1},
                {6, 1, 1}, {16, 1, 1}, {0, 1, 1}, {-1, 1, 1}};
    for (const auto& row : rows) {
        auto word = printing(Host::Word);
        EXPECT_TRUE(word->print(false, row.pages));
        EXPECT_EQ(Calls{wordPrintOut(row.columns, row.rows)}, word->office.calls()) << row.pages << " pages";
    }
}

TEST(ExcelPrint, ReadsTheWholePageSetupBeforeChangingItAndPutsItBackInTheSameOrder) {
    const Calls reads = pageSetup(L"BlackAndWhite") + pageSetup(L"FitToPagesTall") +
                        pageSetup(L"FitToPagesWide") + pageSetup(L"Zoom");
    const Calls restore = pageSetup(L"BlackAndWhite", L"BOOL -1") + pageSetup(L"FitToPagesTall", L"BOOL 0") +
                          pageSetup(L"FitToPagesWide", L"I4 1") + pageSetup(L"Zoom", L"I4 85");
    const Calls fit = pageSetup(L"FitToPagesTall", L"INT 32767") + pageSetup(L"FitToPagesWide", L"INT 1") +
                      pageSetup(L"Zoom", L"BOOL 0");
    const struct {
        bool blackAndWhite, fitToPage;
        Calls changes;
    } rows[] = {
        {false, false, pageSetup(L"BlackAndWhite", L"BOOL 0") + pageSetup(L"Zoom", L"INT 100")},
        {true, false, pageSetup(L"BlackAndWhite", L"BOOL -1") + pageSetup(L"Zoom", L"INT 100")},
        {false, true, pageSetup(L"BlackAndWhite", L"BOOL 0") + fit},
        {true, true, pageSetup(L"BlackAndWhite", L"BOOL -1") + fit},
    };
    for (const auto& row : rows) {
        auto excel = printing(Host::Excel);
        const Calls before = excel->office.settings();
        EXPECT_TRUE(excel->print(row.blackAndWhite, row.fitToPage));
        const Calls expected =
            Calls{L"Application.ActiveSheet"} + reads + row.changes + Calls{kSheetPrintOut} + restore;
        EXPECT_EQ(expected, excel->office.calls()) << "black and white " << row.blackAndWhite << ", fit "
                                                   << row.fitToPage << ":" << joined(excel->office.calls());
        EXPECT_EQ(before, excel->office.settings());
    }
}

TEST(PowerPointPrint, PrintsEverySlideWithTheChosenOptionsAndPutsThemBack) {
    const Calls start = {L"Application.ActivePrinter", L"Application.ActivePresentation",
                         L"Presentation.PrintOptions"};
    const Calls reads = {L"PrintOptions.PrintColorType", L"PrintOptions.OutputType"};
    auto changes = [](int color, int output) {
        return Calls{L"PrintOptions.PrintColorType = I4 " + std::to_wstring(color),
                     L"PrintOptions.OutputType = I4 " + std::to_wstring(output)};
    };
    auto printOut = [](int slides) {
        return Calls{L"Application.ActivePresentation", L"Presentation.Slides", L"Slides.Count",
                     L"Application.ActivePresentation",
                     L"Presentation.PrintOut(I4 0,I4 " + std::to_wstring(slides) + L",BSTR null,I4 1,I4 0)"};
    };
    const struct {
        const char* what;
        bool blackAndWhite;
        int32_t layout;
        std::function<void(OfficeDouble&)> setUp;
        Calls expected;
    } rows[] = {
        {"slides in colour", false, 0, nullptr, start + reads + changes(1, 1) + printOut(3) + changes(3, 4)},
        {"an unknown layout prints slides", false, 3, nullptr,
         start + reads + changes(1, 1) + printOut(3) + changes(3, 4)},
        {"notes pages", false, 1, nullptr, start + reads + changes(1, 5) + printOut(3) + changes(3, 4)},
        {"outline in black and white", true, 2, nullptr,
         start + reads + changes(2, 6) + printOut(3) + changes(3, 4)},
        {"no print options: printed, nothing changed", true, 1,
         [](OfficeDouble& office) { office.noPrintOptions(); }, start + printOut(3)},
        {"no slides: From 0 To 0", false, 0, [](OfficeDouble& office) { office.slides(0); },
         start + reads + changes(1, 1) + printOut(0) + changes(3, 4)},
        {"an unreadable colour type goes back as 1", true, 0,
         [](OfficeDouble& office) { office.answerMember(L"PrintOptions.PrintColorType", Verb::Get, E_FAIL); },
         start + reads + changes(2, 1) + printOut(3) + changes(1, 4)},
    };
    for (const auto& row : rows) {
        auto powerPoint = printing(Host::PowerPoint);
        if (row.setUp) row.setUp(powerPoint->office);
        EXPECT_TRUE(powerPoint->print(row.blackAndWhite, row.layout)) << row.what;
        EXPECT_EQ(row.expected, powerPoint->office.calls())
            << row.what << ":" << joined(powerPoint->office.calls());
    }
}

// What counts as printed, and what stops a routine before it prints; the document's settings come back
// unchanged whichever way it goes.
TEST(PrintStatus, EachHostCountsAsPrintedOnlyWhatItsRulesSay) {
    const struct {
        const char* what;
        Host host;
        std::function<void(Printing&)> setUp;
        bool printed;
        size_t printOuts;
    } rows[] = {
        {"Word: PrintOut answering S_FALSE has printed", Host::Word,
         [](Printing& p) { p.office.answerMember(L"Application.PrintOut", Verb::Call, S_FALSE); }, true, 1},
        {"Word: a failing PrintOut", Host::Word,
         [](Printing& p) { p.office.answerMember(L"Application.PrintOut", Verb::Call, E_FAIL); }, false, 1},
        {"Word: IDispatch given with S_FALSE", Host::Word,
         [](Printing& p) {
             p.office.answer(L"Application", IID_IDispatch, OfficeDouble::Answer::OtherStatus);
         },
         false, 0},
        {"Word: after detach", Host::Word, [](Printing& p) { p.adapter.detach(); }, false, 0},
        {"Excel: PrintOut answering S_FALSE has not printed", Host::Excel,
         [](Printing& p) { p.office.answerMember(L"Worksheet.PrintOut", Verb::Call, S_FALSE); }, false, 1},
        {"Excel: _Application given with S_FALSE still serves", Host::Excel,
         [](Printing& p) {
             p.office.answer(L"Application", office::kExcelApplication, OfficeDouble::Answer::OtherStatus);
         },
         true, 1},
        {"Excel: _Application refused", Host::Excel,
         [](Printing& p) {
             p.office.answer(L"Application", office::kExcelApplication, OfficeDouble::Answer::Refuse);
         },
         false, 0},
        {"Excel: _Application with S_OK and no object", Host::Excel,
         [](Printing& p) {
             p.office.answer(L"Application", office::kExcelApplication,
                             OfficeDouble::Answer::OkWithoutObject);
         },
         false, 0},
        {"Excel: a chart sheet", Host::Excel,
         [](Printing& p) { p.office.activeSheet(OfficeDouble::Sheet::Chart); }, false, 0},
        {"Excel: no active sheet", Host::Excel,
         [](Printing& p) { p.office.activeSheet(OfficeDouble::Sheet::None); }, false, 0},
        {"Excel: PageSetup answering S_OK with no object", Host::Excel,
         [](Printing& p) { p.office.noPageSetup(); }, false, 0},
        {"PowerPoint: PrintOut answering S_FALSE has not printed", Host::PowerPoint,
         [](Printing& p) { p.office.answerMember(L"Presentation.PrintOut", Verb::Call, S_FALSE); }, false, 1},
        {"PowerPoint: IDispatch given with S_FALSE", Host::PowerPoint,
         [](Printing& p) {
             p.office.answer(L"Application", IID_IDispatch, OfficeDouble::Answer::OtherStatus);
         },
         false, 0},
        {"PowerPoint: no presentation", Host::PowerPoint, [](Printing& p) { p.office.noPresentation(); },
         false, 0},
        {"PowerPoint: slides that are no collection", Host::PowerPoint,
         [](Printing& p) {
             p.office.answer(L"Slides", office::kPowerPointCollection, OfficeDouble::Answer::Refuse);
         },
         false, 0},
    };
    for (const auto& row : rows) {
        auto subject = printing(row.host);
        const Calls before = subject->office.settings();
        row.setUp(*subject);
        EXPECT_EQ(row.printed, subject->print(true, 1)) << row.what;
        size_t printOuts = 0;
        for (const std::wstring& call : subject->office.calls())
            printOuts += call.find(L".PrintOut(") != std::wstring::npos;
        EXPECT_EQ(row.printOuts, printOuts) << row.what << ":" << joined(subject->office.calls());
        EXPECT_EQ(before, subject->office.settings()) << row.what;
        if (row.host == Host::Excel && row.printOuts == 0) {
            for (const std::wstring& call : subject->office.calls())
                EXPECT_NE(0u, call.rfind(L"PageSetup.", 0)) << row.what << ": touched " << call;
        }
    }
}

// Office is asked in US English whatever language the user's machine is set to: an English Office refuses
// names and calls made in a locale whose language pack it lacks, and the routines must print all the same.
TEST(PrintLocale, EachHostPrintsTheSameOnAMachineSetToAnotherLanguage) {
    const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    const LCID japanese = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT);
    for (const Host host : {Host::Word, Host::Excel, Host::PowerPoint}) {
        Calls english;
        {
            auto subject = printing(host);
            ASSERT_TRUE(subject->print(true, 1));
            english = subject->office.calls();
        }
        for (const LCID userLocale : {german, japanese}) {
            auto subject = printing(host);
            subject->office.setUserLocale(userLocale);
            EXPECT_TRUE(subject->print(true, 1)) << "user locale " << userLocale;
            EXPECT_EQ(english, subject->office.calls())
                << "user locale " << userLocale << ":" << joined(subject->office.calls());
        }
    }
}

// What the host hands over (a property's value, the strings of an automation error) belongs to the routine
// once handed over: a string kept by mistake would grow the host by its size at every print. The double hands
// over strings of megabytes, so that one kept string per print shows plainly in the process's memory.
TEST(PrintHandOver, MemoryStaysFlatOverManyPrints) {
    const std::wstring huge(1 << 20, L'x');
    const struct {
        const char* what;
        Host host;
        std::function<void(OfficeDouble&)> setUp;
    } rows[] = {
        {"PowerPoint's active printer", Host::PowerPoint,
         [&](OfficeDouble& office) {
             VARIANT printer;
             ::VariantInit(&printer);
             printer.vt = VT_BSTR;
             printer.bstrVal = ::SysAllocStringLen(huge.data(), static_cast<UINT>(huge.size()));
             office.setSetting(L"Application.ActivePrinter", printer);
             ::VariantClear(&printer);
         }},
        {"Word's error for a failing PrintOut", Host::Word,
         [&](OfficeDouble& office) {
             office.setErrorDescription(huge);
             office.answerMember(L"Application.PrintOut", Verb::Call, E_FAIL);
         }},
        {"Excel's error for a failing page setup read", Host::Excel,
         [&](OfficeDouble& office) {
             office.setErrorDescription(huge);
             office.answerMember(L"PageSetup.Zoom", Verb::Get, E_FAIL);
         }},
        {"PowerPoint's error for a failing print option", Host::PowerPoint,
         [&](OfficeDouble& office) {
             office.setErrorDescription(huge);
             office.answerMember(L"PrintOptions.OutputType", Verb::Get, E_FAIL);
         }},
    };
    constexpr int kPrints = 24;
    // Well under one kept string per print.
    constexpr SIZE_T kAllowedGrowth = 8u << 20;
    for (const auto& row : rows) {
        auto subject = printing(row.host);
        row.setUp(subject->office);
        subject->print(true, 1);
        const SIZE_T before = hostsim::committedPrivateBytes();
        for (int print = 0; print < kPrints; ++print) {
            subject->print(true, 1);
            subject->office.clearCalls();
        }
        const SIZE_T after = hostsim::committedPrivateBytes();
        EXPECT_LT(after, before + kAllowedGrowth)
            << row.what << ": grew by " << (after - before) / 1024 << " KB over " << kPrints << " prints";
    }
}

// A failure at any one call: printed only when the failure came after PrintOut succeeded (or in a call whose
// status does not count), and every document setting is back as it was, but for the one whose own write-back
// failed and a PowerPoint option that could not be read (which goes back as 1).
TEST(PrintFailure, TheUsersSettingsComeBackWhateverCallFails) {
    const struct {
        Host host;
        bool blackAndWhite;
        int32_t option;
    } scenarios[] = {{Host::Excel, false, 0}, {Host::Excel, true, 1}, {Host::PowerPoint, true, 2}};
    for (const auto& scenario : scenarios) {
        Calls clean;
        {
            auto subject = printing(scenario.host);
            ASSERT_TRUE(subject->print(scenario.blackAndWhite, scenario.option));
            clean = subject->office.calls();
        }
        size_t printOut = 0;
        while (clean[printOut].find(L".PrintOut(") == std::wstring::npos) ++printOut;

        for (size_t failing = 0; failing < clean.size(); ++failing) {
            const std::wstring& call = clean[failing];
            auto subject = printing(scenario.host);
            const Calls before = subject->office.settings();
            subject->office.answerCall(failing, E_FAIL);
            const bool statusIgnored = call.rfind(L"PrintOptions.", 0) == 0;
            EXPECT_EQ(failing > printOut || statusIgnored,
                      subject->print(scenario.blackAndWhite, scenario.option))
                << "failing " << call;

            const Calls after = subject->office.settings();
            for (size_t index = 0; index < before.size(); ++index) {
                const std::wstring name = before[index].substr(0, before[index].find(L':'));
                // A write-back is the page setup's fetch and the put that follows it.
                const std::wstring& step =
                    call == L"Worksheet.PageSetup" && failing + 1 < clean.size() ? clean[failing + 1] : call;
                const bool ownWriteBackFailed = failing > printOut && step.rfind(name + L" = ", 0) == 0;
                if (ownWriteBackFailed) continue;
                const bool unread = call == name && name.rfind(L"PrintOptions.", 0) == 0;
                EXPECT_EQ(unread ? name + L": I4 1" : before[index], after[index])
                    << "failing " << call << ":" << joined(subject->office.calls());
            }
        }
    }
}

}  // namespace
