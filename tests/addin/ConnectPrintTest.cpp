// Print as the user meets it: choices on the ribbon, then Print. Each option reaches the page by exactly one
// road, through the driver's one-shot values or through the host, depending on what the default printer's
// driver takes and which host is running.
#include "tests/addin/ConnectFixture.h"

#include <map>
#include <vector>

#include "tools/hostsim/OfficeDouble.h"

namespace {

const bool environment = installAddInEnvironment();

using fixtures::PrinterFixture;
using hostsim::OfficeDouble;
using Host = OfficeDouble::Host;

constexpr const char* kBlackAndWhite = PrinterFixture::kOnceBlackAndWhite;
constexpr const char* kDuplex = PrinterFixture::kOnceDuplex;
constexpr const char* kNUp = PrinterFixture::kOnceNUp;
constexpr const char* kQuality = PrinterFixture::kOncePrintQuality;

// A user's choice: a drop-down item by index, or a check box turned on.
struct Choice {
    const wchar_t* callback;
    const wchar_t* controlId;
    LONG index;  // -1: a check box turned on
};

struct Road {
    const char* what;
    Host host;
    PrinterFixture::Options printer;
    std::vector<Choice> choices;
    HRESULT result;
    std::map<std::string, DWORD> driver;  // the one-shot values afterwards; any other is absent
    std::vector<std::wstring> hostCalls;  // the settings changed and the print call, in order
    const wchar_t* ribbonId = nullptr;    // the host's own when null
    bool printOutFails = false;
};

void PrintTo(const Road& road, std::ostream* out) {
    *out << road.what;
}

PrinterFixture::Options makerWith(std::initializer_list<const char*> values) {
    std::map<std::string, uint32_t> offered;
    for (const char* value : values) offered[value] = 0;
    return PrinterFixture::makers(offered);
}

std::wstring wordPrintOut(int columns, int rows) {
    std::wstring text = L"Application.PrintOut(";
    for (int index = 0; index < 15; ++index) text += L"-,";
    return text + L"I4 " + std::to_wstring(columns) + L",I4 " + std::to_wstring(rows) + L",-,-)";
}

const wchar_t* const kSheetPrintOut = L"Worksheet.PrintOut(-,-,-,-,-,-,-,-,-) lcid 0";
const wchar_t* const kFitPuts[] = {L"PageSetup.FitToPagesTall = INT 32767",
                                   L"PageSetup.FitToPagesWide = INT 1", L"PageSetup.Zoom = BOOL 0"};

std::wstring slidesPrintOut() {
    return L"Presentation.PrintOut(I4 0,I4 3,BSTR null,I4 1,I4 0)";
}

const wchar_t* ribbonOf(Host host) {
    switch (host) {
        case Host::Word:
            return hostsim::OfficeHost::kWordRibbon;
        case Host::Excel:
            return hostsim::OfficeHost::kExcelRibbon;
        default:
            return hostsim::OfficeHost::kPowerPointRibbon;
    }
}

class ConnectPrintTest : public ConnectFixture, public ::testing::WithParamInterface<Road> {};

TEST_P(ConnectPrintTest, EachOptionTakesOneRoad) {
    const Road& road = GetParam();
    OfficeDouble office(road.host);
    if (road.printOutFails)
        office.answerMember(road.host == Host::Word ? L"Application.PrintOut" : L"Presentation.PrintOut",
                            OfficeDouble::Verb::Call, E_FAIL);
    connect(road.printer, {}, office.application());
    markupFor(road.ribbonId ? road.ribbonId : ribbonOf(road.host));
    for (const Choice& choice : road.choices) {
        if (choice.index < 0)
            EXPECT_EQ(S_OK, toggle(choice.callback, choice.controlId, VARIANT_TRUE));
        else
            EXPECT_EQ(S_OK, select(choice.callback, choice.controlId, choice.index));
    }
    EXPECT_EQ(road.result, print());

    for (const char* name : {kBlackAndWhite, kDuplex, kNUp, kQuality}) {
        const auto expected = road.driver.find(name);
        const std::optional<DWORD> value = driverValue(name);
        if (expected == road.driver.end())
            EXPECT_TRUE(!value || *value == 0) << name << " holds " << *value;
        else
            EXPECT_EQ(expected->second, value.value_or(99)) << name;
    }
    // What the host was asked to change, and the print call; reads and write-backs aside.
    std::vector<std::wstring> changesAndPrint;
    for (const std::wstring& call : office.calls()) {
        const bool printOut = call.find(L".PrintOut(") != std::wstring::npos;
        if (printOut || call.find(L" = ") != std::wstring::npos) changesAndPrint.push_back(call);
        if (printOut) break;
    }
    EXPECT_EQ(road.hostCalls, changesAndPrint);

    disconnectAndRelease();
    EXPECT_TRUE(office.heldObjects().empty()) << "the add-in kept a reference to the host's objects";
}

const Choice kNUp3Word = {L"OnNUpClicked", L"DropDownNUpWordID", 2};
const Choice kPages8 = {L"OnPagesPerSheetClicked", L"DropDownPagesPerSheetWordID", 3};
const Choice kBlackAndWhiteWord = {L"OnBlackAndWhiteClicked", L"CheckBoxBlackAndWhiteWordID", -1};
const Choice kDuplexWord = {L"OnDuplexClicked", L"CheckBoxDuplexWordID", -1};
const Choice kBestQualityWord = {L"OnPrintQualityClicked", L"DropDownPrintQualityWordID", 2};
const Choice kBlackAndWhiteExcel = {L"OnBlackAndWhiteClicked", L"CheckBoxBlackAndWhiteExcelID", -1};
const Choice kFitExcel = {L"OnFitToPageClicked", L"CheckBoxFitToPageExcelID", -1};
const Choice kNUp2Excel = {L"OnNUpClicked", L"DropDownNUpExcelID", 1};
const Choice kBlackAndWhitePowerPoint = {L"OnBlackAndWhiteClicked", L"CheckBoxBlackAndWhitePowerPointID", -1};
const Choice kNotesPages = {L"OnLayoutClicked", L"DropDownLayoutPowerPointID", 1};
const Choice kOutline = {L"OnLayoutClicked", L"DropDownLayoutPowerPointID", 2};

const Road kRoads[] = {
    {"Word, maker's driver with N-up: the driver puts pages together, Word prints one per sheet",
     Host::Word,
     PrinterFixture::Options(),
     {kNUp3Word, kPages8, kBlackAndWhiteWord, kDuplexWord, kBestQualityWord},
     S_OK,
     {{kBlackAndWhite, 2}, {kDuplex, 2}, {kNUp, 3}, {kQuality, 3}},
     {wordPrintOut(1, 1)}},
    {"Word, maker's driver without N-up: Word zooms",
     Host::Word,
     makerWith({kBlackAndWhite, kDuplex, kQuality}),
     {kPages8, kBlackAndWhiteWord},
     S_OK,
     {{kBlackAndWhite, 2}, {kDuplex, 1}, {kQuality, 2}},
     {wordPrintOut(4, 2)}},
    {"Word, another make: no one-shot values, no black and white",
     Host::Word,
     PrinterFixture::otherMake(),
     {{L"OnPagesPerSheetClicked", L"DropDownPagesPerSheetWordID", 1}, kBlackAndWhiteWord},
     S_OK,
     {},
     {wordPrintOut(2, 1)}},
    {"Word, the host's PrintOut fails",
     Host::Word,
     PrinterFixture::Options(),
     {},
     S_FALSE,
     {{kBlackAndWhite, 1}, {kDuplex, 1}, {kNUp, 1}, {kQuality, 2}},
     {wordPrintOut(1, 1)},
     nullptr,
     true},
    {"Excel, maker's driver with black and white: the driver gets it, Excel prints in colour",
     Host::Excel,
     PrinterFixture::Options(),
     {kBlackAndWhiteExcel, kFitExcel},
     S_OK,
     {{kBlackAndWhite, 2}, {kDuplex, 1}, {kNUp, 1}, {kQuality, 2}},
     {L"PageSetup.BlackAndWhite = BOOL 0", kFitPuts[0], kFitPuts[1], kFitPuts[2], kSheetPrintOut}},
    {"Excel, maker's driver without black and white: Excel applies it",
     Host::Excel,
     makerWith({kNUp}),
     {kBlackAndWhiteExcel, kNUp2Excel},
     S_OK,
     {{kNUp, 2}},
     {L"PageSetup.BlackAndWhite = BOOL -1", L"PageSetup.Zoom = INT 100", kSheetPrintOut}},
    {"Excel, another make, fit to page",
     Host::Excel,
     PrinterFixture::otherMake(),
     {kFitExcel},
     S_OK,
     {},
     {L"PageSetup.BlackAndWhite = BOOL 0", kFitPuts[0], kFitPuts[1], kFitPuts[2], kSheetPrintOut}},
    {"PowerPoint, maker's driver: black and white by the driver, notes pages by PowerPoint",
     Host::PowerPoint,
     PrinterFixture::Options(),
     {kBlackAndWhitePowerPoint, kNotesPages},
     S_OK,
     {{kBlackAndWhite, 2}, {kDuplex, 1}, {kNUp, 1}, {kQuality, 2}},
     {L"PrintOptions.PrintColorType = I4 1", L"PrintOptions.OutputType = I4 5", slidesPrintOut()}},
    {"PowerPoint, another make: PowerPoint prints the outline in black and white",
     Host::PowerPoint,
     PrinterFixture::otherMake(),
     {kBlackAndWhitePowerPoint, kOutline},
     S_OK,
     {},
     {L"PrintOptions.PrintColorType = I4 2", L"PrintOptions.OutputType = I4 6", slidesPrintOut()}},
    {"PowerPoint, the host's PrintOut fails",
     Host::PowerPoint,
     makerWith({kDuplex}),
     {},
     S_FALSE,
     {{kDuplex, 1}},
     {L"PrintOptions.PrintColorType = I4 1", L"PrintOptions.OutputType = I4 1", slidesPrintOut()},
     nullptr,
     true},
    {"a host that is not recognised: the driver's values only",
     Host::Word,
     PrinterFixture::Options(),
     {{L"OnPrintQualityClicked", L"DropDownPrintQualityWordID", 1}},
     S_FALSE,
     {{kBlackAndWhite, 1}, {kDuplex, 1}, {kNUp, 1}, {kQuality, 1}},
     {},
     L"Microsoft.Outlook.Mail.Read"},
    {"no default printer: nothing written, nothing printed",
     Host::Excel,
     PrinterFixture::noDefaultPrinter(),
     {kBlackAndWhiteExcel},
     S_FALSE,
     {},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Roads, ConnectPrintTest, ::testing::ValuesIn(kRoads),
                         [](const ::testing::TestParamInfo<Road>& info) {
                             return "Road" + std::to_string(info.index);
                         });

}  // namespace
