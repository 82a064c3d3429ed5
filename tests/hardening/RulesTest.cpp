// The release's hardening rules on images that break one rule each: every rule a release must pass catches its
// fault, and the limits of the toolchain are named as such.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/PeFile.h"
#include "tools/hardening/HardeningRules.h"

namespace {

using hardening::Verdict;

// A library as we ship it: its .text starts with a call to the stack protector's failure routine, which its
// debug file places 0x30 bytes in; its entry point and its one export are in the guard's function table.
PeFile shipped() {
    PeFile file;
    file.sections[0].data = {0xE8, 0x2B, 0, 0, 0};
    file.sections[0].data.resize(64, 0x90);
    file.dllCharacteristics |= 0x4000;
    file.cetCompatible = true;
    file.entryPoint = 0x1000;
    file.exports = {{"DllGetClassObject", 0x1010}};
    file.loadConfigSize = 192;
    file.dependentLoadFlags = 0x0800;
    file.guardCheck = file.imageBase + 0x2000;
    file.guardDispatch = file.imageBase + 0x2008;
    file.guardFlags = 0x10500;
    file.guardFunctions = {0x1000, 0x1010, 0x1020};
    return file;
}

// The same as a 32-bit library: no SEH handler, its own layout of the load configuration, no dispatch
// pointer.
void thirtyTwoBit(PeFile& f) {
    f.pe32Plus = false;
    f.dllCharacteristics |= 0x400;
    f.machine = 0x014C;
    f.imageBase = 0x6A580000;
    f.loadConfigSize = 120;
    f.guardCheck = f.imageBase + 0x2000;
    f.guardDispatch = 0;
}

struct Row {
    const char* name;
    std::function<void(PeFile&)> change;
    const char* rule;
    Verdict verdict;
};

TEST(HardeningRules, EachRuleCatchesItsFault) {
    const Row rows[] = {
        {"as shipped", [](PeFile&) {}, "", Verdict::Passed},
        {"not relocatable", [](PeFile& f) { f.dllCharacteristics &= ~0x40; }, "ASLR", Verdict::Failed},
        {"relocations stripped", [](PeFile& f) { f.characteristics |= 1; }, "ASLR", Verdict::Failed},
        {"low entropy", [](PeFile& f) { f.dllCharacteristics &= ~0x20; }, "high-entropy ASLR",
         Verdict::Failed},
        {"a base below 4 GB", [](PeFile& f) { f.imageBase = 0x10000000; }, "base above 4 GB",
         Verdict::Failed},
        {"data executable", [](PeFile& f) { f.dllCharacteristics &= ~0x100; }, "DEP", Verdict::Failed},
        {"writable code", [](PeFile& f) { f.sections[0].characteristics |= 0x80000000; }, "no writable code",
         Verdict::Failed},
        {"sections 512 bytes apart", [](PeFile& f) { f.sectionAlignment = 0x200; }, "page-aligned sections",
         Verdict::Failed},
        {"shared data", [](PeFile& f) { f.sections[1].characteristics |= 0x10000000; },
         "no shared writable section", Verdict::Failed},
        {"a library of our own", [](PeFile& f) { f.imports.push_back("libssp-0.dll"); },
         "system libraries only", Verdict::Failed},
        {"one loaded on first use", [](PeFile& f) { f.delayImports = {"helper.dll"}; },
         "system libraries only", Verdict::Failed},
        {"debug information",
         [](PeFile& f) {
             f.sections.push_back({".debug_info", 0x42000040, {1}});
         },
         "no debug information", Verdict::Failed},
        {"unsigned", [](PeFile& f) { f.signature = false; }, "signed", Verdict::Failed},
        {"no function checks its canary", [](PeFile& f) { f.sections[0].data[0] = 0x90; }, "stack protector",
         Verdict::Failed},
        {"a 64-bit image has no SEH handlers", [](PeFile&) {}, "SafeSEH", Verdict::CannotApply},
        {"a 32-bit image that may have handlers",
         [](PeFile& f) {
             thirtyTwoBit(f);
             f.dllCharacteristics &= ~0x400;
         },
         "SafeSEH", Verdict::Failed},
        {"one that declares none", [](PeFile& f) { thirtyTwoBit(f); }, "SafeSEH", Verdict::Passed},
        {"imports searched for beyond System32", [](PeFile& f) { f.dependentLoadFlags = 0x1000; },
         "imports from System32 only", Verdict::Failed},
        {"a 32-bit one from System32", [](PeFile& f) { thirtyTwoBit(f); }, "imports from System32 only",
         Verdict::Passed},
        {"not marked for the guard", [](PeFile& f) { f.dllCharacteristics &= ~0x4000; }, "Control Flow Guard",
         Verdict::Failed},
        {"no instrumented code", [](PeFile& f) { f.guardFlags = 0x400; }, "Control Flow Guard",
         Verdict::Failed},
        {"no pointer for the dispatch", [](PeFile& f) { f.guardDispatch = 0; }, "Control Flow Guard",
         Verdict::Failed},
        {"a 32-bit image checks without one", [](PeFile& f) { thirtyTwoBit(f); }, "Control Flow Guard",
         Verdict::Passed},
        {"the entry point left out", [](PeFile& f) { f.guardFunctions.erase(f.guardFunctions.begin()); },
         "guarded entries listed", Verdict::Failed},
        {"an export left out",
         [](PeFile& f) {
             f.guardFunctions = {0x1000, 0x1020};
         },
         "guarded entries listed", Verdict::Failed},
        {"not marked compatible with CET", [](PeFile& f) { f.cetCompatible = false; }, "CET shadow stack",
         Verdict::Failed},
        {"no shadow stack for 32-bit code", [](PeFile& f) { thirtyTwoBit(f); }, "CET shadow stack",
         Verdict::CannotApply},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PeFile file = shipped();
        row.change(file);
        const std::vector<unsigned char> bytes = file.bytes();
        PeFile debugFile = file;
        debugFile.signature = false;
        debugFile.symbols = {{file.machine == 0x014C ? "___stack_chk_fail" : "__stack_chk_fail", 1, 0x30}};
        const std::vector<unsigned char> debugBytes = debugFile.bytes();
        const auto image = doctor::readPeImage(bytes.data(), bytes.size());
        const auto debugImage = doctor::readPeImage(debugBytes.data(), debugBytes.size());
        ASSERT_TRUE(image && debugImage);
        bool found = false;
        for (const hardening::Finding& finding :
             hardening::checkImage({*image, bytes}, hardening::ImageBytes{*debugImage, debugBytes})) {
            const bool blocks = finding.required && finding.verdict == Verdict::Failed;
            if (row.rule == std::string(finding.rule)) {
                found = true;
                EXPECT_EQ(hardening::verdictText(row.verdict), std::string(hardening::verdictText(finding.verdict)))
                    << finding.why;
            } else {
                // Every other rule a release needs still passes: each fault is caught by its own rule alone.
                EXPECT_FALSE(blocks) << finding.rule << ": " << finding.why;
            }
        }
        EXPECT_TRUE(found || *row.rule == '\0') << row.rule;
    }
}

}  // namespace
