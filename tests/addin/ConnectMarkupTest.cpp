// The ribbon markup that a host receives from GetCustomUI: by host and by what the default printer's driver
// takes.
#include "tests/addin/ConnectFixture.h"
#include "win/UniqueBstr.h"

namespace {

const bool environment = installAddInEnvironment();

using fixtures::PrinterFixture;
using hostsim::OfficeHost;

struct HostMarkup {
    const wchar_t* ribbonId;
    const char* fullFile;
    const char* genericFile;
};

const HostMarkup kHosts[] = {
    {OfficeHost::kWordRibbon, "word.xml", "word-generic.xml"},
    {OfficeHost::kExcelRibbon, "excel.xml", "excel-generic.xml"},
    {OfficeHost::kPowerPointRibbon, "powerpoint.xml", "powerpoint-generic.xml"},
};

class ConnectMarkupTest : public ConnectFixture {};

TEST_F(ConnectMarkupTest, EachHostGetsItsFullMarkupWhenTheDriverTakesOneShotOptions) {
    connect();
    for (const HostMarkup& host : kHosts) {
        auto markup = markupFor(host.ribbonId);
        ASSERT_TRUE(markup.has_value()) << "no markup for " << host.fullFile;
        EXPECT_EQ(widenedFixture(host.fullFile), *markup) << "markup handed out for " << host.fullFile;
    }
}

TEST_F(ConnectMarkupTest, ADriverTakingOnlyDuplexStillGetsTheFullMarkup) {
    connect(PrinterFixture::makers({{PrinterFixture::kOnceDuplex, 0}}));
    EXPECT_EQ(widenedFixture("word.xml"), markupFor(OfficeHost::kWordRibbon).value_or(L"(none)"));
}

TEST_F(ConnectMarkupTest, EachHostGetsItsGenericMarkupForAPrinterOfAnotherMake) {
    connect(PrinterFixture::otherMake());
    for (const HostMarkup& host : kHosts)
        EXPECT_EQ(widenedFixture(host.genericFile), markupFor(host.ribbonId).value_or(L"(none)"))
            << host.genericFile;
}

TEST_F(ConnectMarkupTest, TheMakersDriverTakingNothingGetsTheGenericMarkup) {
    connect(PrinterFixture::makers({}));
    EXPECT_EQ(widenedFixture("excel-generic.xml"), markupFor(OfficeHost::kExcelRibbon).value_or(L"(none)"));
}

TEST_F(ConnectMarkupTest, WithoutADefaultPrinterNoMarkupIsHandedOutAndTheCallersStringIsUntouched) {
    connect(PrinterFixture::noDefaultPrinter());
    auto ribbon = win::ComPtr<IRibbonExtensibility>::queryFrom(host_.addIn(), IID_IRibbonExtensibility);
    ASSERT_TRUE(ribbon);
    win::UniqueBstr id(::SysAllocString(OfficeHost::kWordRibbon));
    BSTR sentinel = reinterpret_cast<BSTR>(0x1234);
    BSTR xml = sentinel;
    EXPECT_EQ(S_OK, ribbon->GetCustomUI(id.get(), &xml));
    EXPECT_EQ(sentinel, xml);
}

TEST_F(ConnectMarkupTest, UnrecognisedRibbonIdentifiersGetNoMarkup) {
    connect();
    for (const wchar_t* id : {L"microsoft.word.document", L"Microsoft.Word.Document ",
                              L"Microsoft.Outlook.Mail.Read", L"", static_cast<const wchar_t*>(nullptr)}) {
        EXPECT_FALSE(markupFor(id).has_value())
            << "markup handed out for \"" << (id ? id : L"(null)") << "\"";
    }
}

TEST_F(ConnectMarkupTest, ANullOutPointerIsAcceptedWithoutMarkup) {
    connect();
    auto ribbon = win::ComPtr<IRibbonExtensibility>::queryFrom(host_.addIn(), IID_IRibbonExtensibility);
    win::UniqueBstr id(::SysAllocString(OfficeHost::kWordRibbon));
    EXPECT_EQ(S_OK, ribbon->GetCustomUI(id.get(), nullptr));
}

TEST_F(ConnectMarkupTest, AMarkupFileThatCannotBeReadArrivesAsEmptyMarkup) {
    fixtures::InstallationFixture::Options installation;
    installation.omittedValues = {"XMLExcelLarge"};
    connect(PrinterFixture::Options(), installation);
    EXPECT_EQ(L"", markupFor(OfficeHost::kExcelRibbon).value_or(L"(none)"));
    EXPECT_EQ(widenedFixture("word.xml"), markupFor(OfficeHost::kWordRibbon).value_or(L"(none)"));
}

TEST_F(ConnectMarkupTest, WithoutAnyInstallationTheAddInConnectsAndShowsKeysButNoMarkupWithoutAPrinter) {
    fixtures::InstallationFixture::Options nothing;
    nothing.machineKey = false;
    nothing.userKey = false;
    connect(PrinterFixture::noDefaultPrinter(), nothing);
    EXPECT_FALSE(markupFor(OfficeHost::kWordRibbon).has_value());
    EXPECT_EQ(L"LabelCheckBoxDuplexWordID", label(L"CheckBoxDuplexWordID"));
    EXPECT_EQ(0, itemCount(L"DropDownNUpWordID"));
}

}  // namespace
