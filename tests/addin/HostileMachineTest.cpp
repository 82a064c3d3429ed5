// A machine that the installer, the driver or the user left in an odd state: every value the add-in reads
// present with the wrong type or size, empty, at the edges of its buffer, unterminated, with embedded NULs;
// files missing, empty, cut inside a character, binary, large, locked, on odd paths; printers with odd names.
// Each row loads the add-in as Word does, walks every callback of the group, chooses, toggles and prints, and
// checks the fallback the design gives and that nothing was written where it does not belong.
#include <cctype>
#include <functional>
#include <set>
#include <string>

#include "markup/RibbonMarkup.h"
#include "tests/addin/ConnectFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "win/UniqueHandle.h"
#include "win/UniqueHkey.h"

namespace {

const bool environment = installAddInEnvironment();

using fixtures::InstallationFixture;
using fixtures::PrinterFixture;

constexpr const char* kInstallKey = InstallationFixture::kKeyPath;
constexpr const char* kDriverRoot = "Software\\CorvaneInkJet";

enum class Markup { None, Full, Generic, Empty, Any };
enum class Texts { Localised, Keys, Any };

// What a row changes: the fixtures' options before installation, raw edits after it, and a file handle the
// row may hold open (locked) while the add-in connects.
struct Machine {
    PrinterFixture::Options printer;
    InstallationFixture::Options installation;
    std::function<void(const InstallationFixture&)> after;
    win::UniqueHandle held;
    std::function<void()> undo;
};

struct Row {
    const char* name;
    std::function<void(Machine&)> arrange;
    Markup markup;
    Texts texts;
};

std::string repeated(char c, size_t count) {
    return std::string(count, c);
}

void writeInstallValue(const char* name, DWORD type, const std::string& bytes) {
    fixtures::setValue(HKEY_LOCAL_MACHINE, kInstallKey, name, type, bytes.data(),
                       static_cast<DWORD>(bytes.size()));
}

void setInstallKeyDacl(ACL* acl) {
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    win::UniqueHkey key;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, WRITE_DAC, key.receive());
    ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &descriptor);
}

// Every key and value name below `path` in one view, as "ROOT\\key|value" lines (HKLM64 and HKLM32 for the
// two views of the machine's software), to see what a session added and where.
void snapshot(HKEY root, const std::string& path, std::set<std::string>& seen, REGSAM view = 0) {
    win::UniqueHkey key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, key.receive()) != ERROR_SUCCESS) return;
    const std::string rootName = root == HKEY_CURRENT_USER ? "HKCU"
                                 : view == KEY_WOW64_32KEY ? "HKLM32"
                                                           : "HKLM64";
    const std::string named = rootName + "\\" + path;
    seen.insert(named + "|");
    char name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (::RegEnumValueA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        seen.insert(named + "|" + name);
    }
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (::RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        snapshot(root, path + "\\" + name, seen, view);
    }
}

std::set<std::string> machineState() {
    std::set<std::string> seen;
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        snapshot(HKEY_LOCAL_MACHINE, kDriverRoot, seen, view);
        snapshot(HKEY_LOCAL_MACHINE, "Software\\Corvane", seen, view);
    }
    snapshot(HKEY_CURRENT_USER, "Software\\Corvane", seen);
    return seen;
}

const Row kRows[] = {
    {"a healthy machine", [](Machine&) {}, Markup::Full, Texts::Localised},
    {"string file path stored as a DWORD",
     [](Machine& m) {
         m.after = [](auto&) { writeInstallValue("XMLStrings", REG_DWORD, std::string("\5\0\0\0", 4)); };
     },
     Markup::Full, Texts::Keys},
    {"string file path stored as binary without a NUL",
     [](Machine& m) {
         m.after = [](auto&) { writeInstallValue("XMLStrings", REG_BINARY, repeated('\xFF', 300)); };
     },
     Markup::Full, Texts::Keys},
    {"string file path empty", [](Machine& m) { m.installation.values["XMLStrings"] = ""; }, Markup::Full,
     Texts::Keys},
    {"string file path of 259 characters",
     [](Machine& m) { m.installation.values["XMLStrings"] = repeated('a', 259); }, Markup::Full, Texts::Keys},
    {"string file path of 260 characters",
     [](Machine& m) { m.installation.values["XMLStrings"] = repeated('a', 260); }, Markup::Full, Texts::Keys},
    {"string file path of 261 characters",
     [](Machine& m) { m.installation.values["XMLStrings"] = repeated('a', 261); }, Markup::Full, Texts::Keys},
    {"string file path stored without its NUL",
     [](Machine& m) {
         m.after = [](const InstallationFixture& installed) {
             const std::string path = installed.filePathOf("XMLStrings");
             fixtures::setUnterminatedString(HKEY_LOCAL_MACHINE, kInstallKey, "XMLStrings",
                                             std::wstring(path.begin(), path.end()));
         };
     },
     Markup::Full, Texts::Localised},
    {"string file path followed by an embedded NUL and garbage",
     [](Machine& m) {
         m.after = [](const InstallationFixture& installed) {
             writeInstallValue("XMLStrings", REG_SZ,
                               installed.filePathOf("XMLStrings") + std::string("\0junk\0", 6));
         };
     },
     Markup::Full, Texts::Localised},
    {"string file path in quotes",
     [](Machine& m) {
         m.after = [](const InstallationFixture& installed) {
             fixtures::setString(HKEY_LOCAL_MACHINE, kInstallKey, "XMLStrings",
                                 "\"" + installed.filePathOf("XMLStrings") + "\"");
         };
     },
     Markup::Full, Texts::Keys},
    {"string file missing", [](Machine& m) { m.installation.omittedValues.insert("XMLStrings"); },
     Markup::Full, Texts::Keys},
    {"string file empty", [](Machine& m) { m.installation.contents["XMLStrings"] = ""; }, Markup::Full,
     Texts::Keys},
    {"string file cut inside a character",
     [](Machine& m) {
         m.installation.contents["XMLStrings"] = "<Strings>\r\n<String Key=\"Lang\" Value=\"\xE6\x97";
     },
     Markup::Full, Texts::Keys},
    {"string file binary", [](Machine& m) { m.installation.contents["XMLStrings"] = repeated('\xC0', 4096); },
     Markup::Full, Texts::Keys},
    {"string file of 10 MB",
     [](Machine& m) {
         std::string big = "<Strings>\r\n";
         while (big.size() < 10 * 1024 * 1024)
             big += "<String Key=\"Filler\" Value=\"" + repeated('x', 200) + "\"/>\r\n";
         m.installation.contents["XMLStrings"] = big;
     },
     Markup::Full, Texts::Keys},
    {"string file locked by another writer",
     [](Machine& m) {
         m.after = [&m](const InstallationFixture& installed) {
             m.held.reset(::CreateFileA(installed.filePathOf("XMLStrings").c_str(),
                                        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
         };
     },
     Markup::Full, Texts::Keys},
    {"files on a path with spaces and non-ASCII characters",
     [](Machine& m) {
         char temp[MAX_PATH];
         ::GetTempPathA(MAX_PATH, temp);
         m.installation.directory = std::string(temp) + "Corvane Quillery \xE9t\xE9 & co";
     },
     Markup::Full, Texts::Localised},
    {"markup file binary",
     [](Machine& m) { m.installation.contents["XMLWordLarge"] = repeated('\xFE', 1000); }, Markup::Empty,
     Texts::Localised},
    {"markup file missing", [](Machine& m) { m.installation.omittedValues.insert("XMLWordLarge"); },
     Markup::Empty, Texts::Localised},
    {"no installation key", [](Machine& m) { m.installation.machineKey = false; }, Markup::Empty,
     Texts::Keys},
    {"installation key that may not be read",
     [](Machine& m) {
         m.after = [](auto&) {
             // A DACL that grants nothing: every open for reading is refused.
             ACL acl;
             ::InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
             setInstallKeyDacl(&acl);
         };
         // The owner may always change the DACL: a null one lets the fixture remove the key again.
         m.undo = [] { setInstallKeyDacl(nullptr); };
     },
     Markup::Empty, Texts::Keys},
    {"no per-user key", [](Machine& m) { m.installation.userKey = false; }, Markup::Full, Texts::Localised},
    {"per-user states of the wrong type and size",
     [](Machine& m) {
         m.after = [](auto&) {
             const std::string eight(8, '\x7F');
             fixtures::setValue(HKEY_CURRENT_USER, kInstallKey, "DropDownPrintQualityWordID", REG_QWORD,
                                eight.data(), 8);
             fixtures::setString(HKEY_CURRENT_USER, kInstallKey, "CheckBoxDuplexWordID", "yes");
             fixtures::setDword(HKEY_CURRENT_USER, kInstallKey, "DropDownNUpWordID", 0xFFFFFFFF);
         };
     },
     Markup::Full, Texts::Localised},
    {"no default printer", [](Machine& m) { m.printer = PrinterFixture::noDefaultPrinter(); }, Markup::None,
     Texts::Localised},
    {"a printer of another make", [](Machine& m) { m.printer = PrinterFixture::otherMake(); },
     Markup::Generic, Texts::Localised},
    {"friendly name empty", [](Machine& m) { m.printer.friendlyName = ""; }, Markup::Generic,
     Texts::Localised},
    {"friendly name of 300 characters",
     [](Machine& m) {
         // Longer than a registry key name may be: the driver could not have made its key either.
         m.printer.friendlyName = repeated('C', 300);
         m.printer.settingsKey = false;
     },
     Markup::Generic, Texts::Localised},
    {"friendly name climbing out of the driver's key",
     [](Machine& m) {
         m.printer.friendlyName = "..\\..\\Corvane";
         m.printer.settingsKey = false;
     },
     Markup::Generic, Texts::Localised},
    {"one-shot values of the wrong type and size",
     [](Machine& m) {
         m.after = [](auto&) {
             const std::string key =
                 std::string(PrinterFixture::kSettingsRoot) + PrinterFixture::kFriendlyName;
             const std::string eight(8, '\1');
             fixtures::setValue(HKEY_LOCAL_MACHINE, key, PrinterFixture::kOnceNUp, REG_QWORD, eight.data(), 8,
                                PrinterFixture::kDriverView);
             fixtures::setString(HKEY_LOCAL_MACHINE, key, PrinterFixture::kOnceDuplex, "on and on and on",
                                 PrinterFixture::kDriverView);
         };
     },
     Markup::Any, Texts::Localised},
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class HostileMachineTest : public ConnectFixture, public ::testing::WithParamInterface<Row> {
protected:
    // Every callback the Word group binds, with the arguments the ribbon passes; choices and toggles on
    // every control that has them; then Print. The launcher is left alone: it opens a modal box.
    void walkWordGroup() {
        for (const markup::MarkupControl& control : markup::controlsOf(widenedFixture("word.xml"))) {
            const wchar_t* id = control.id.c_str();
            if (control.id.empty()) continue;
            label(id);
            supertip(id);
            visible(id);
            if (!control.attribute(L"getPressed").empty())
                pressed(control.attribute(L"getPressed").c_str(), id);
            if (!control.attribute(L"getSelectedItemIndex").empty())
                selected(control.attribute(L"getSelectedItemIndex").c_str(), id);
            if (!control.attribute(L"getItemCount").empty()) {
                const LONG count = itemCount(id);
                for (LONG index = 0; index < count && index < 16; ++index) {
                    itemId(id, index);
                    itemLabel(id, index);
                }
            }
            const std::wstring action = control.attribute(L"onAction");
            if (control.kind == L"dropDown") {
                EXPECT_EQ(S_OK, select(action.c_str(), id, 1)) << control.kind;
            }
            if (control.kind == L"checkBox") {
                EXPECT_EQ(S_OK, toggle(action.c_str(), id, VARIANT_TRUE));
            }
        }
        // Whether it printed depends on the machine; what it wrote is checked by the test.
        print();
    }
};

TEST_P(HostileMachineTest, TheAddInFallsBackAndWritesNothingOutOfPlace) {
    const Row& row = GetParam();
    Machine machine;
    row.arrange(machine);
    installation_ = std::make_unique<InstallationFixture>(machine.installation);
    printer_ = std::make_unique<PrinterFixture>(machine.printer);
    if (machine.after) machine.after(*installation_);
    // Whatever the row did that the fixtures cannot undo is undone at the end, however the test ends.
    struct Undo {
        std::function<void()>& undo;
        ~Undo() {
            if (undo) undo();
        }
    } undo{machine.undo};
    const std::set<std::string> before = machineState();

    ASSERT_EQ(S_OK, host_.create());
    ASSERT_EQ(S_OK, host_.connect(application_, addInObject_));
    connected_ = true;

    const auto markup = markupFor(hostsim::OfficeHost::kWordRibbon);
    switch (row.markup) {
        case Markup::None:
            EXPECT_FALSE(markup.has_value());
            break;
        case Markup::Full:
            EXPECT_EQ(widenedFixture("word.xml"), markup.value_or(L"(none)"));
            break;
        case Markup::Generic:
            EXPECT_EQ(widenedFixture("word-generic.xml"), markup.value_or(L"(none)"));
            break;
        case Markup::Empty:
            EXPECT_EQ(L"", markup.value_or(L"(none)"));
            break;
        case Markup::Any:
            break;
    }
    const std::wstring printLabel = label(L"ButtonPrintWordID");
    if (row.texts != Texts::Any) {
        EXPECT_EQ(row.texts == Texts::Keys, printLabel == L"LabelButtonPrintWordID") << printLabel;
    }

    walkWordGroup();
    disconnectAndRelease();

    // A session may leave the driver its one-shot values and the user the states of the controls, in keys
    // that were already there; nothing else, and never a key of its own.
    const std::set<std::string> after = machineState();
    // The driver's key is in the 64-bit view, where its driver looks.
    const std::string driverKey = "HKLM64\\" + printer_->settingsKeyPath();
    const std::string userKey = "HKCU\\Software\\Corvane\\Toolbar_Office|";
    for (const std::string& entry : after) {
        if (before.count(entry)) continue;
        const bool oneShot = !printer_->settingsKeyPath().empty() && entry.rfind(driverKey + "|Once", 0) == 0;
        const bool userState = entry.rfind(userKey, 0) == 0 && before.count(userKey);
        EXPECT_TRUE(oneShot || userState) << "the session wrote " << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(Machines, HostileMachineTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name + std::to_string(info.index);
                         });

}  // namespace
