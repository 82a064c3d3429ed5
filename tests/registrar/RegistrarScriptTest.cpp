// The registrar interpreter against a registry of our own: what a script writes, byte for byte; what a faulty
// script or a refusing registry leaves behind (nothing of the failing block); what unregistration removes and
// what it must keep; and the library's two real scripts in both directions.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "server/registrar/RegistrarParser.h"
#include "server/registrar/SharedClassesKept.h"
#include "tools/testing/MemoryRegistry.h"
#include "tools/testing/PlainNumber.h"
#include "tools/testing/ModelCodePages.h"

using namespace registrar;

namespace {

bool singleByte(unsigned char) {
    return false;
}

constexpr char kModulePath[] = "C:\\Program Files\\Bob's Tools\\Quillery.dll";

Result run(ScriptRegistry& registry, const std::string& script, bool doRegister,
           LeadBytePredicate isLeadByte = singleByte) {
    RegistrarVariables variables;
    variables.defineVariable("APPID", "");
    const std::string module = doubledQuotes(kModulePath, isLeadByte);
    variables.defineVariable("Module", module.c_str());
    variables.defineVariable("Module_Raw", module.c_str());
    RegistrarParser parser(registry, variables, TextRules{isLeadByte, plainNumber});
    return parser.processScript(script, doRegister);
}

Result run(MemoryRegistry& registry, const std::string& script, bool doRegister,
           LeadBytePredicate isLeadByte = singleByte) {
    const Result result = run(static_cast<ScriptRegistry&>(registry), script, doRegister, isLeadByte);
    EXPECT_EQ(registry.openHandles(), 0u) << "keys left open by: " << script;
    return result;
}

std::string bytes(const std::string& text) {
    return text;
}

struct WriteCase {
    const char* name;
    std::string script;
    std::string path;
    std::string valueName;
    std::string expected;  // type letter, ':', data bytes; empty: the key exists
    LeadBytePredicate isLeadByte = singleByte;
};

TEST(RegistrarScript, RegistersKeysAndValuesExactlyAsWritten) {
    const std::string jisSo = "\x83\x5C";  // a double-byte character whose second byte is a backslash
    const std::vector<WriteCase> cases = {
        {"quoted name with a blank", "HKCR { 'a b' }", "HKCR\\a b", "", ""},
        {"doubled quote inside a quoted name", "HKCR { 'it''s' }", "HKCR\\it's", "", ""},
        {"brace glued to a name is part of it", "HKCR { a{ }", "HKCR\\a{", "", ""},
        {"long root name, any case", "hkey_LOCAL_machine { a }", "HKLM\\a", "", ""},
        {"nested blocks", "HKCU { a { b { c } } }", "HKCU\\a\\b\\c", "", ""},
        {"default value", "HKCR { a = s 'x y' }", "HKCR\\a", "", bytes("S:x y") + '\0'},
        {"named value", "HKCR { a { val V = s '' } }", "HKCR\\a", "V", bytes("S:") + '\0'},
        {"%% is one percent sign", "HKCR { a = s '100%%' }", "HKCR\\a", "", bytes("S:100%") + '\0'},
        {"variable in any letter case", "HKCR { a = s '%mOdUlE%' }", "HKCR\\a", "",
         "S:" + std::string(kModulePath) + '\0'},
        {"APPID is empty", "HKCR { a = s '[%APPID%]' }", "HKCR\\a", "", bytes("S:[]") + '\0'},
        {"dword", "HKCR { a = d '3' }", "HKCR\\a", "", bytes("D:") + '\3' + '\0' + '\0' + '\0'},
        {"binary, high half first", "HKCR { a = b '0A1f' }", "HKCR\\a", "", bytes("B:") + '\x0A' + '\x1F'},
        {"value names may be anything", "HKCR { a { val '' = s 'd' val '{ }' = s 'e' } }", "HKCR\\a", "{ }",
         bytes("S:e") + '\0'},
        {"token of 4094 bytes", "HKCR { a = s '" + std::string(4094, 'x') + "' }", "HKCR\\a", "",
         "S:" + std::string(4094, 'x') + '\0'},
        {"double-byte name whose second byte is a backslash", "HKCR { a" + jisSo + " }", "HKCR\\a" + jisSo,
         "", "", shiftJisLeadByte},
        {"double-byte character ending in a quote stays inside the token", "HKCR { a = s '\x83'' }",
         "HKCR\\a", "", bytes("S:\x83'") + '\0', shiftJisLeadByte},
        {"double-byte character ending in a percent sign is no variable", "HKCR { a = s '\x83%' }", "HKCR\\a",
         "", bytes("S:\x83%") + '\0', shiftJisLeadByte},
    };
    for (const WriteCase& row : cases) {
        MemoryRegistry registry;
        ASSERT_EQ(run(registry, row.script, true, row.isLeadByte), kOk) << row.name;
        // Looked up in the listing: a path split at backslashes would cut a double-byte name in two.
        EXPECT_NE(registry.dump().find("[" + row.path + "]\n"), std::string::npos) << row.name << "\n"
                                                                                   << registry.dump();
        if (!row.expected.empty()) {
            EXPECT_EQ(registry.value(row.path, row.valueName), row.expected) << row.name << "\n"
                                                                             << registry.dump();
        }
    }
}

TEST(RegistrarScript, ModulePathWithQuoteIsStoredUnchanged) {
    MemoryRegistry registry;
    ASSERT_EQ(run(registry, "HKCR { a = s '%MODULE%' }", true), kOk);
    EXPECT_EQ(registry.value("HKCR\\a", ""), "S:" + std::string(kModulePath) + '\0');
    EXPECT_EQ(doubledQuotes("a'b''", singleByte), "a''b''''");
    EXPECT_EQ(doubledQuotes("\x83'", shiftJisLeadByte), "\x83'");
}

struct RemovalCase {
    const char* name;
    std::vector<std::string> before;  // keys present before registration
    std::string script;
    std::vector<std::string> present;  // after registration
    std::vector<std::string> absent;
};

TEST(RegistrarScript, ForceRemoveAndDeleteReplaceTreesButNeverProtectedKeys) {
    const std::vector<RemovalCase> cases = {
        {"ForceRemove replaces a tree",
         {"HKCR\\a\\old\\deeper"},
         "HKCR { ForceRemove a { new } }",
         {"HKCR\\a\\new"},
         {"HKCR\\a\\old"}},
        {"Delete removes and creates nothing",
         {"HKCR\\gone\\sub"},
         "HKCR { Delete gone x }",
         {"HKCR\\x"},
         {"HKCR\\gone"}},
        {"Delete skips a default value",
         {"HKCR\\gone"},
         "HKCR { Delete gone = s 'v' x }",
         {"HKCR\\x"},
         {"HKCR\\gone"}},
        {"protected names are kept, in any case",
         {"HKCR\\CLSID\\{foreign}", "HKLM\\software\\x"},
         "HKCR { ForceRemove clsid { mine } } HKLM { Delete SOFTWARE }",
         {"HKCR\\CLSID\\{foreign}", "HKCR\\CLSID\\mine", "HKLM\\software\\x"},
         {}},
    };
    for (const RemovalCase& row : cases) {
        MemoryRegistry registry;
        for (const std::string& key : row.before) registry.addKey(key);
        ASSERT_EQ(run(registry, row.script, true), kOk) << row.name;
        for (const std::string& key : row.present)
            EXPECT_TRUE(registry.hasKey(key)) << row.name << ": " << key;
        for (const std::string& key : row.absent)
            EXPECT_FALSE(registry.hasKey(key)) << row.name << ": " << key;
    }
}

struct FaultCase {
    const char* name;
    std::string script;
    Result expected;
};

// Every fault stops the run with its code and leaves the registry exactly as it was: the block is read
// through before anything is written, so even a ForceRemove ahead of the fault deletes nothing.
TEST(RegistrarScript, FaultyScriptLeavesRegistryUntouched) {
    const std::vector<FaultCase> cases = {
        {"unknown root", "HKXX { a }", kSyntaxError},
        {"root without brace", "HKCR a }", kSyntaxError},
        {"unterminated quote", "HKCR { 'abc }", kSyntaxError},
        {"unknown type letter", "HKCR { a = x 'v' }", kSyntaxError},
        {"type word instead of letter", "HKCR { a = sz 'v' }", kSyntaxError},
        {"token of 4095 bytes", "HKCR { '" + std::string(4095, 'x') + "' }", kSyntaxError},
        {"bare token of 4095 bytes", "HKCR { " + std::string(4095, 'x') + " }", kSyntaxError},
        {"variable name of 32 bytes", "HKCR { a = s '%" + std::string(32, 'V') + "%' }", kFail},
        {"unknown variable", "HKCR { a = s '%NOPE%' }", kSyntaxError},
        {"unterminated variable", "HKCR { a = s '%MODULE' }", kSyntaxError},
        {"binary of odd length", "HKCR { a = b '123' }", kFail},
        {"backslash in a key name", "HKCR { a\\b }", kSyntaxError},
        {"backslash in a ForceRemove name", "HKCR { ForceRemove old\\x }", kSyntaxError},
        {"missing closing brace", "HKCR { a { b }", kSyntaxError},
        {"Val without assignment", "HKCR { a { val x s 'v' } }", kSyntaxError},
        {"empty key name would be the parent", "HKCR { a { '' } }", kSyntaxError},
        {"empty ForceRemove name would delete the parent", "HKCR { a { ForceRemove '' } }", kSyntaxError},
        {"block after a value", "HKCR { a { val x = s 'v' { b } } }", kSyntaxError},
        {"block after Delete", "HKCR { Delete old { b } }", kSyntaxError},
        {"fault after a ForceRemove", "HKCR { ForceRemove old { n } a = q 'v' }", kSyntaxError},
        {"text ends at a NUL", std::string("HKCR { a \0 }", 12), kSyntaxError},
        {"nesting deeper than any registry",
         "HKCR {" +
             [] {
                 std::string deep;
                 for (int i = 0; i < 600; ++i) deep += " k {";
                 return deep;
             }(),
         kSyntaxError},
    };
    for (const FaultCase& row : cases) {
        MemoryRegistry registry;
        registry.addKey("HKCR\\old\\sub");
        registry.addValue("HKCR\\old", "", kString, "keep");
        const std::string before = registry.dump();
        EXPECT_EQ(run(registry, row.script, true), row.expected) << row.name;
        EXPECT_EQ(registry.dump(), before) << row.name;
    }
}

// A machine with other software's keys where a script's blocks may land.
MemoryRegistry machineWithOtherSoftware() {
    MemoryRegistry registry;
    registry.addKey("HKLM\\shared\\foreign");
    registry.addValue("HKLM\\shared", "Own", kString, std::string("theirs\0", 7));
    registry.addKey("HKCR\\existing\\foreign");
    registry.addValue("HKCU\\readonly", "", kDword, std::string("\1\0\0\0", 4));
    return registry;
}

// The listing of the machine after registering `script` on it.
std::string registeredOnMachine(const std::string& script) {
    MemoryRegistry registry = machineWithOtherSoftware();
    EXPECT_EQ(run(registry, script, true), kOk) << script;
    return registry.dump();
}

struct RollbackCase {
    const char* name;
    std::string script;
    std::string earlierBlocks;  // what must stay registered: the blocks before the failing one
    std::set<std::string> refusedNames;
    std::map<std::string, std::uint32_t> deniedAccess;
};

// A registry that says no in the middle of a block: everything of that block goes again, keys and values
// alike, down to a value it wrote into a key that was there before (even one it keeps on unregistration); the
// blocks before it stay registered and the ones after it are never run.
TEST(RegistrarScript, RefusalUndoesItsRootBlockKeysAndValues) {
    const std::uint32_t readOnly = MemoryRegistry::kSetValueAccess | MemoryRegistry::kCreateSubkeyAccess;
    const std::vector<RollbackCase> cases = {
        {"refused key after values written into a NoRemove key that was there",
         "HKCR { first = s 'x' } "
         "HKLM { NoRemove shared { val Added = s 'v' mine = s 'v' { val V = d '1' } } NoRemove fresh { inner "
         "} "
         "later { refused } } "
         "HKCU { never }",
         "HKCR { first = s 'x' }",
         {"refused"},
         {}},
        {"refused key after a value written into a key that was there",
         "HKCR { existing { val Added = s 'v' } refused }",
         "",
         {"refused"},
         {}},
        {"refused value in a new key",
         "HKLM { NoRemove shared { new { val refused = s 'v' } } }",
         "",
         {"refused"},
         {}},
        {"read-only key that was there",
         "HKCU { new = s 'v' readonly { val Added = s 'v' } }",
         "",
         {},
         {{"readonly", readOnly}}},
    };
    for (const RollbackCase& row : cases) {
        const std::string expected = registeredOnMachine(row.earlierBlocks);
        MemoryRegistry registry = machineWithOtherSoftware();
        registry.refusedNames = row.refusedNames;
        registry.deniedAccess = row.deniedAccess;
        EXPECT_EQ(run(registry, row.script, true), resultFromError(kAccessDenied)) << row.name;
        EXPECT_EQ(registry.dump(), expected) << row.name;
    }
}

struct UnopenableCase {
    const char* name;
    std::string script;
    std::map<std::string, std::uint32_t> deniedAccess;  // once registered
    Result expected;
    std::string remaining;  // the script whose registration the machine must be left with
};

// Unregistration meets a key it may not open: the key's block is only read through, nothing inside it or
// after it is removed, and the run stops with the refusal. A key it may read but not write stops the run
// only when a value in it must go.
TEST(RegistrarScript, UnregistrationStopsAtAKeyItCannotOpen) {
    const std::uint32_t readOnly = MemoryRegistry::kSetValueAccess | MemoryRegistry::kCreateSubkeyAccess;
    const std::vector<UnopenableCase> cases = {
        {"key refused for reading",
         "HKCR { first { val a = s '1' } locked { inner { val b = s '2' } } last } HKLM { other }",
         {{"locked", MemoryRegistry::kReadControlAccess}},
         resultFromError(kAccessDenied),
         "HKCR { locked { inner { val b = s '2' } } last } HKLM { other }"},
        {"value in a read-only key",
         "HKCR { first ro { val a = s '1' } last }",
         {{"ro", readOnly}},
         resultFromError(kAccessDenied),
         "HKCR { ro { val a = s '1' } last }"},
        {"read-only key with nothing to write",
         "HKCR { NoRemove ro { NoRemove val a = s '1' } first }",
         {{"ro", readOnly}},
         kOk,
         "HKCR { ro { val a = s '1' } }"},
    };
    for (const UnopenableCase& row : cases) {
        const std::string expected = registeredOnMachine(row.remaining);
        MemoryRegistry registry = machineWithOtherSoftware();
        ASSERT_EQ(run(registry, row.script, true), kOk) << row.name;
        registry.deniedAccess = row.deniedAccess;
        EXPECT_EQ(run(registry, row.script, false), row.expected) << row.name;
        EXPECT_EQ(registry.dump(), expected) << row.name;
    }
}

struct UnregisterCase {
    const char* name;
    std::vector<std::string> before;  // keys present before registration
    std::string script;
    std::vector<std::string> added;  // keys added between registration and unregistration
    std::vector<std::string> present;
    std::vector<std::string> absent;
    bool registerFirst = true;
};

TEST(RegistrarScript, UnregistrationRemovesOnlyWhatHoldsNothingForeign) {
    const std::string longName(300, 'k');
    const std::vector<UnregisterCase> cases = {
        {"NoRemove parent kept, its content removed",
         {"HKLM\\sw"},
         "HKLM { NoRemove sw { mine = s 'v' { val a = s 'b' } } }",
         {},
         {"HKLM\\sw"},
         {"HKLM\\sw\\mine"}},
        {"ForceRemove key with a foreign subkey stays",
         {},
         "HKCR { NoRemove c { ForceRemove mine { sub } } }",
         {"HKCR\\c\\mine\\foreign"},
         {"HKCR\\c\\mine\\foreign"},
         {"HKCR\\c\\mine\\sub"}},
        {"missing parent is no error", {}, "HKCR { a { b } }", {}, {}, {"HKCR\\a"}, false},
        {"a long name is never shortened into another key",
         {"HKCR\\" + longName.substr(0, 259)},
         "HKCR { '" + longName + "' }",
         {},
         {"HKCR\\" + longName.substr(0, 259)},
         {"HKCR\\" + longName}},
        {"Delete and ForceRemove name ordinary keys",
         {},
         "HKCR { ForceRemove a Delete b }",
         {"HKCR\\b"},
         {},
         {"HKCR\\a", "HKCR\\b"}},
    };
    for (const UnregisterCase& row : cases) {
        MemoryRegistry registry;
        for (const std::string& key : row.before) registry.addKey(key);
        if (row.registerFirst) {
            ASSERT_EQ(run(registry, row.script, true), kOk) << row.name;
        }
        for (const std::string& key : row.added) registry.addKey(key);
        ASSERT_EQ(run(registry, row.script, false), kOk) << row.name;
        for (const std::string& key : row.present)
            EXPECT_TRUE(registry.hasKey(key)) << row.name << ": " << key;
        for (const std::string& key : row.absent)
            EXPECT_FALSE(registry.hasKey(key)) << row.name << ": " << key;
    }
}

TEST(RegistrarScript, NoRemoveValueSurvivesUnregistration) {
    MemoryRegistry registry;
    registry.addKey("HKCR\\k\\sub");
    ASSERT_EQ(run(registry, "HKCR { k { NoRemove val a = s '1' val b = s '2' } }", true), kOk);
    ASSERT_EQ(run(registry, "HKCR { k { NoRemove val a = s '1' val b = s '2' } }", false), kOk);
    EXPECT_EQ(registry.value("HKCR\\k", "a"), bytes("S:1") + '\0');
    EXPECT_EQ(registry.value("HKCR\\k", "b"), "");
}

std::string scriptFile(const char* name) {
    std::ifstream file(std::string(QUILLERY_SCRIPT_DIR) + "/" + name, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// The library's own scripts on a machine with Office and other software installed: registration writes the
// classes, the three add-in keys and the uninstall entry; unregistration gives back the machine as it was.
TEST(RegistrarScript, LibraryScriptsRoundTrip) {
    const std::string connect = scriptFile("Connect.rgs");
    const std::string simple = scriptFile("SimpleATLAddIn.rgs");
    ASSERT_NE(connect.find("\r\n"), std::string::npos);
    MemoryRegistry registry;
    registry.addKey("HKCR\\CLSID\\{00000000-FFFF-0000-0000-000000000001}\\InprocServer32");
    for (const char* app : {"Excel", "PowerPoint", "Word"}) {
        registry.addValue(std::string("HKLM\\Software\\Microsoft\\Office\\") + app + "\\Addins\\Other.Addin",
                          "LoadBehavior", kDword, std::string("\3\0\0\0", 4));
    }
    registry.addKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other");
    const std::string before = registry.dump();

    ASSERT_EQ(run(registry, connect, true), kOk);
    ASSERT_EQ(run(registry, simple, true), kOk);
    const std::string word = "HKLM\\Software\\Microsoft\\Office\\Word\\Addins\\TandrelQuillery.Connect";
    EXPECT_EQ(registry.value(word, "LoadBehavior"), std::string("D:\3\0\0\0", 6));
    EXPECT_EQ(registry.value(word, "FriendlyName"), bytes("S:") + '\0');
    const std::string classKey = "HKCR\\CLSID\\{" QUILLERY_CLSID_CONNECT "}";
    EXPECT_EQ(registry.value(classKey + "\\InprocServer32", ""), "S:" + std::string(kModulePath) + '\0');
    EXPECT_EQ(registry.value(classKey + "\\InprocServer32", "ThreadingModel"), bytes("S:Apartment") + '\0');
    EXPECT_TRUE(registry.hasKey(classKey + "\\Programmable"));
    EXPECT_EQ(registry.value("HKCR\\TandrelQuillery.SimpleATLAddIn\\CurVer", ""),
              bytes("S:TandrelQuillery.SimpleATLAddIn.1") + '\0');
    EXPECT_EQ(
        registry.value(
            "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\{" QUILLERY_CLSID_CONNECT "}",
            "DisplayIcon"),
        "S:" + std::string(kModulePath) + ",-300" + '\0');

    ASSERT_EQ(run(registry, connect, false), kOk);
    ASSERT_EQ(run(registry, simple, false), kOk);
    EXPECT_EQ(registry.dump(), before);
}

// On 64-bit Windows the library of the other bitness shares the classes root with this one, except for the
// class ids and a few other subtrees kept apart per view. While it stays registered, unregistration takes
// this library's class keys, add-in keys and uninstall entry, and leaves the ProgIDs as registration wrote
// them; once it is gone too, the ProgIDs go with the last unregistration.
TEST(RegistrarScript, UnregistrationBesideTheOtherBitnessKeepsOnlyTheSharedClassKeys) {
    const std::string scripts[] = {scriptFile("Connect.rgs"), scriptFile("SimpleATLAddIn.rgs")};
    MemoryRegistry registry;
    registry.addKey("HKCR\\CLSID\\{00000000-FFFF-0000-0000-000000000001}\\InprocServer32");
    registry.addValue("HKCR\\Other.Addin", "", kString, std::string("Other\0", 6));
    for (const char* app : {"Excel", "PowerPoint", "Word"})
        registry.addKey(std::string("HKLM\\Software\\Microsoft\\Office\\") + app + "\\Addins");
    registry.addKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    const std::set<std::string> before = registry.keyPaths();
    for (const std::string& script : scripts) ASSERT_EQ(run(registry, script, true), kOk);
    std::set<std::string> expected = before;
    for (const std::string& key : registry.keyPaths()) {
        if (key.rfind("hkcr\\tandrelquillery.", 0) == 0) expected.insert(key);
    }
    ASSERT_EQ(expected.size(), before.size() + 10) << "two ProgIDs of each class and their subkeys";

    for (const std::string& script : scripts) {
        SharedClassesKept kept(registry);
        ASSERT_EQ(run(kept, script, false), kOk);
    }
    EXPECT_EQ(registry.keyPaths(), expected);
    EXPECT_EQ(registry.value("HKCR\\TandrelQuillery.Connect\\CLSID", ""),
              "S:{" QUILLERY_CLSID_CONNECT "}" + std::string(1, '\0'));
    EXPECT_EQ(registry.openHandles(), 0u);

    for (const std::string& script : scripts) ASSERT_EQ(run(registry, script, false), kOk);
    EXPECT_EQ(registry.keyPaths(), before);
}

// Whatever shape the shared part takes, the other bitness keeps it: a ProgID that is a lone value right
// under the classes root as much as one with subkeys; a class id, kept apart per view, goes.
TEST(RegistrarScript, UnregistrationBesideTheOtherBitnessKeepsEverySharedKey) {
    const struct {
        const char* script;
        const char* key;
        bool kept;
    } rows[] = {
        {"HKCR { Lone.ProgId = s 'Lone' }", "HKCR\\Lone.ProgId", true},
        {"HKCR { Deep.ProgId = s 'Deep' { CLSID = s '{1}' } }", "HKCR\\Deep.ProgId\\CLSID", true},
        {"HKCR { NoRemove CLSID { {1} = s 'Class' } }", "HKCR\\CLSID\\{1}", false},
        {"HKLM { NoRemove Software { Own = s 'Own' } }", "HKLM\\Software\\Own", false},
    };
    for (const auto& row : rows) {
        MemoryRegistry registry;
        ASSERT_EQ(run(registry, row.script, true), kOk) << row.script;
        SharedClassesKept kept(registry);
        ASSERT_EQ(run(kept, row.script, false), kOk) << row.script;
        EXPECT_EQ(row.kept, registry.hasKey(row.key)) << row.script;
    }
}

}  // namespace
