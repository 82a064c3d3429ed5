// What each scope reads of a class that the machine, the user, or both register: the machine's scope never
// sees the user's keys, the user's never the machine's, and the merged view, as Windows merges
// HKEY_CLASSES_ROOT, takes the user's where the user has them.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/RegistryEdit.h"
#include "win/AnsiText.h"
#include "win/ClassRegistration.h"

namespace {

using win::ClassScope;

TEST(ClassRegistration, EachScopeReadsItsOwnHalfAndTheMergedViewPrefersTheUsers) {
    const GUID kClass = {0x5D1E7C21, 0x0B7A, 0x4F4E, {0x9C, 0x61, 0x2A, 0x83, 0x14, 0xE0, 0x77, 0x3B}};
    const std::string key = "Software\\Classes\\CLSID\\{5D1E7C21-0B7A-4F4E-9C61-2A8314E0773B}";
    // Which halves register the class (its server and TreatAs, each naming the half), and what a scope reads.
    const struct {
        bool machine, user;
        ClassScope scope;
        std::string read;
    } rows[] = {{true, true, ClassScope::Machine, "HKLM"}, {true, true, ClassScope::User, "HKCU"},
                {true, true, ClassScope::Merged, "HKCU"},  {true, false, ClassScope::Merged, "HKLM"},
                {true, false, ClassScope::User, "none"},   {false, true, ClassScope::Machine, "none"}};
    for (const auto& row : rows) {
        std::vector<std::unique_ptr<fixtures::CreatedKey>> keys;
        for (const auto& [registers, root, half] : {std::make_tuple(row.machine, HKEY_LOCAL_MACHINE, "HKLM"),
                                                    std::make_tuple(row.user, HKEY_CURRENT_USER, "HKCU")}) {
            for (const char* value : {"\\InprocServer32", "\\TreatAs"}) {
                if (!registers) continue;
                keys.push_back(std::make_unique<fixtures::CreatedKey>(root, key + value));
                fixtures::setString(root, key + value, "", half);
            }
        }
        const auto server = win::inprocServer(kClass, row.scope);
        const auto treatAs = win::treatAsOf(kClass, row.scope);
        EXPECT_EQ(row.read + " " + row.read, (server ? win::narrow(server->path) : "none") + " " +
                                                 (treatAs ? win::narrow(treatAs->target) : "none"))
            << "scope " << static_cast<int>(row.scope) << ", machine " << row.machine << " user " << row.user;
    }
}

}  // namespace
