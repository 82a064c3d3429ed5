// The group's dialog launcher: the About box of the language's direction, modal over the host's active
// window, with texts looked up anew for every box.
#include "tests/about/AboutBoxWatch.h"
#include "tests/addin/ConnectFixture.h"
#include "tools/fixtures/FixtureData.h"

namespace {

const bool environment = installAddInEnvironment();

class ConnectAboutTest : public ConnectFixture {
protected:
    // Presses the launcher over a fresh host window; the launcher's result and what was seen of the box.
    SeenBox launch(HRESULT& result, const std::function<void(HWND)>& look = {}) {
        const HWND hostWindow = makeActiveWindow();
        hostsim::RibbonControl* control = new hostsim::RibbonControl(L"ButtonAboutWordID");
        const SeenBox seen = watchAboutBox([&] { result = host_.action(L"OnDialogboxLauncher", control); },
                                           Closing::kOk, look);
        control->Release();
        EXPECT_TRUE(seen.closed) << "no box, or it did not close";
        EXPECT_EQ(hostWindow, seen.owner) << "not owned by the active window";
        EXPECT_FALSE(seen.ownerEnabled) << "not modal";
        EXPECT_FALSE(::IsWindow(seen.window)) << "the box outlived the launcher";
        ::DestroyWindow(hostWindow);
        return seen;
    }
};

std::string withLanguage(const std::string& tag) {
    std::string strings = fixtures::fixtureData("strings.xml");
    const std::string english = "Key=\"Lang\" Value=\"en\"";
    strings.replace(strings.find(english), english.size(), "Key=\"Lang\" Value=\"" + tag + "\"");
    return strings;
}

TEST_F(ConnectAboutTest, TheLauncherOpensTheBoxOfTheLanguagesDirectionWithTheTablesTextsOrItsKeys) {
    const struct {
        const char* name;
        fixtures::InstallationFixture::Options installation;
        int firstId;
        bool mirrored;
        const char* title;
        const char* version;
        const char* ok;
    } rows[] = {
        {"English",
         {},
         401,
         false,
         "About Quillery",
         "Quillery for Microsoft Office, version: 1.41.0.0-en",
         "OK"},
        {"Hebrew tag in capitals",
         {true, true, {}, {}, {{"XMLStrings", withLanguage("HE")}}, {}},
         411,
         true,
         "About Quillery",
         "Quillery for Microsoft Office, version: 1.41.0.0-HE",
         "OK"},
        {"Arabic",
         {true, true, {}, {}, {{"XMLStrings", withLanguage("ar")}}, {}},
         411,
         true,
         "About Quillery",
         "Quillery for Microsoft Office, version: 1.41.0.0-ar",
         "OK"},
        {"no string file",
         {true, true, {"XMLStrings"}, {}, {}, {}},
         401,
         false,
         "LangAboutTitle",
         "LangAboutVersion: 1.41.0.0-Lang",
         "LangAboutOK"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        connect(Options(), row.installation);
        HRESULT result = E_FAIL;
        const SeenBox seen = launch(result);
        EXPECT_EQ(S_OK, result);
        EXPECT_EQ(row.mirrored, seen.mirrored);
        EXPECT_EQ(row.title, seen.title);
        ASSERT_EQ(1u, seen.controls.count(row.firstId + 2));
        EXPECT_EQ(row.version, seen.controls.at(row.firstId + 2).text);
        EXPECT_EQ(row.ok, seen.controls.at(row.firstId).text);
        disconnectAndRelease();
        installation_.reset();
        printer_.reset();
    }
}

TEST_F(ConnectAboutTest, EveryLaunchOpensAFreshBox) {
    connect();
    HRESULT result = E_FAIL;
    const SeenBox first = launch(result, [](HWND box) { ::SetWindowTextA(box, "changed while open"); });
    const SeenBox second = launch(result);
    EXPECT_EQ("About Quillery", first.title);
    EXPECT_EQ("About Quillery", second.title) << "the second box kept something of the first";
    EXPECT_EQ(S_OK, result);
}

}  // namespace
