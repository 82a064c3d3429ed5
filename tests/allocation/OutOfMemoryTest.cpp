// Out of memory everywhere, on purpose: each operation runs again and again with its first, second, third,
// ... allocation failing, until a run meets no failure. Every run that met one must report it as the design
// says, leave nothing half done and hold nothing; the run that met none must succeed. The sanitizers watch
// every run, and each operation's count of allocation points is printed.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/PrintRoutines.h"
#include "server/registrar/RegistrarParser.h"
#include "tests/allocation/AutomationDouble.h"
#include "tests/allocation/FailingAllocator.h"
#include "text/StringTable.h"
#include "text/Utf8Decoder.h"
#include "tools/testing/MemoryRegistry.h"
#include "tools/testing/ModelCodePages.h"
#include "tools/testing/PlainNumber.h"
#include "tools/testing/RootBlockSteps.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define QUILLERY_LEAK_CHECK 1
#endif
#endif

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// One operation of the sweep.
class Operation {
public:
    virtual ~Operation() = default;
    // A fresh start for the next run, every allocation succeeding.
    virtual void prepare() = 0;
    // The operation itself, while one of its allocations is set to fail; it checks nothing.
    virtual void run() = 0;
    // What is wrong with what the run left (empty: nothing), knowing whether an allocation in it failed.
    virtual std::string verdict(bool allocationFailed) = 0;
};

std::string unless(bool condition, const std::string& complaint) {
    return condition ? std::string() : complaint + "; ";
}

// The string file as the native build has it: decoded, narrowed as a single-byte code page would, and parsed.
// The Windows loader turns a failure into an empty table; parsing nothing must then need no memory at all.
class StringFileLoad final : public Operation {
public:
    StringFileLoad() : bytes_(fileBytes(QUILLERY_FIXTURE_DIR "/strings.xml")) {}

    void prepare() override {
        table_.emplace(codePage_);
        loaded_ = false;
        outOfMemory_ = false;
    }
    void run() override {
        try {
            std::u16string units;
            if (!decodeUtf8(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size(), units))
                return;
            std::string content;
            content.reserve(units.size());
            for (char16_t unit : units) {
                if (unit == 0) break;
                content += unit < 0x100 ? static_cast<char>(unit) : '?';
            }
            loaded_ = table_->parse(content);
        } catch (const std::bad_alloc&) {
            outOfMemory_ = true;
        }
    }
    std::string verdict(bool allocationFailed) override {
        if (!allocationFailed) {
            return unless(loaded_, "not loaded") +
                   unless(table_->lookup("LangAboutTitle") == "About Quillery", "wrong title");
        }
        std::string complaints = unless(!loaded_ && outOfMemory_, "not reported as out of memory");
        failing_allocator::failAt(1);
        const bool emptied = !table_->parse(std::string());
        complaints += unless(!failing_allocator::stop(), "emptying the table needs memory");
        complaints +=
            unless(emptied && table_->lookup("LangAboutTitle") == "LangAboutTitle", "table not empty");
        return complaints;
    }

private:
    const SingleByteCodePage codePage_;
    const std::string bytes_;
    std::optional<StringTable> table_;
    bool loaded_ = false;
    bool outOfMemory_ = false;
};

// The six markup files as the native build has them: decoded, each on its own. A document whose decoding ran
// out of memory stays empty and the other five are whole.
class MarkupSetLoad final : public Operation {
public:
    MarkupSetLoad() {
        for (const char* name :
             {"word", "word-generic", "excel", "excel-generic", "powerpoint", "powerpoint-generic"})
            files_.push_back(fileBytes(QUILLERY_FIXTURE_DIR "/" + std::string(name) + ".xml"));
        for (const std::string& file : files_) {
            std::u16string units;
            EXPECT_TRUE(decodeUtf8(reinterpret_cast<const unsigned char*>(file.data()), file.size(), units));
            expected_.push_back(units);
        }
    }

    void prepare() override {
        // New strings: emptied ones would keep the memory of the run before.
        documents_ = std::vector<std::u16string>(files_.size());
        decoded_.assign(files_.size(), false);
    }
    void run() override {
        for (std::size_t i = 0; i < files_.size(); ++i) {
            try {
                decoded_[i] = decodeUtf8(reinterpret_cast<const unsigned char*>(files_[i].data()),
                                         files_[i].size(), documents_[i]);
            } catch (const std::bad_alloc&) {
            }
        }
    }
    std::string verdict(bool allocationFailed) override {
        std::size_t whole = 0;
        std::string complaints;
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (decoded_[i]) {
                whole += documents_[i] == expected_[i] ? 1 : 0;
            } else {
                complaints += unless(documents_[i].empty(), "a failed document is not empty");
            }
        }
        return complaints +
               unless(whole == files_.size() - (allocationFailed ? 1 : 0), "wrong number of documents");
    }

private:
    std::vector<std::string> files_;
    std::vector<std::u16string> expected_;
    std::vector<std::u16string> documents_;
    std::vector<bool> decoded_;
};

// Both of the library's scripts, one after the other as one script, registered and then unregistered by one
// parser on a machine with other software, the variables defined as the library defines them. A registration
// that failed leaves exactly what its earlier root blocks left; the same parser then registers and
// unregisters in full, and an unregistration that failed finishes when run again.
class RegistrarRun final : public Operation {
public:
    RegistrarRun()
        : script_(fileBytes(QUILLERY_SCRIPT_DIR "/Connect.rgs") +
                  fileBytes(QUILLERY_SCRIPT_DIR "/SimpleATLAddIn.rgs")) {
        const MemoryRegistry machine = machineWithOtherSoftware();
        before_ = machine.dump();
        registrar::RegistrarVariables variables;
        defineVariables(variables);
        for (std::size_t blocks = 0;; ++blocks) {
            MemoryRegistry registry = machine;
            std::size_t completed = 0;
            EXPECT_EQ(registerRootBlocks(registry, script_, variables, rules_, blocks, completed),
                      registrar::kOk);
            if (completed < blocks) break;
            afterBlocks_.push_back(registry.dump());
        }
        full_ = afterBlocks_.back();
        afterBlocks_.pop_back();
        // Unregistration keeps the keys marked NoRemove, PowerPoint's new ones among them.
        MemoryRegistry registry = machine;
        registrar::RegistrarParser parser(registry, variables, rules_);
        EXPECT_EQ(parser.processScript(script_, true), registrar::kOk);
        EXPECT_EQ(parser.processScript(script_, false), registrar::kOk);
        unregistered_ = registry.dump();
    }

    void prepare() override {
        parser_.reset();
        variables_.reset();
        registry_.emplace(machineWithOtherSoftware());
        defined_ = registered_ = unregistration_ = registrar::kFail;
    }
    void run() override {
        variables_.emplace();
        defined_ = defineVariables(*variables_);
        if (registrar::failed(defined_)) return;
        parser_.emplace(*registry_, *variables_, rules_);
        registered_ = parser_->processScript(script_, true);
        if (registrar::failed(registered_)) return;
        unregistration_ = parser_->processScript(script_, false);
    }
    std::string verdict(bool allocationFailed) override {
        std::string complaints = unless(registry_->openHandles() == 0, "keys left open");
        const std::string left = registry_->dump();
        if (!allocationFailed) {
            return complaints +
                   unless(registered_ == registrar::kOk && unregistration_ == registrar::kOk, "failed") +
                   unless(left == unregistered_, "machine not as unregistration leaves it");
        }
        if (registrar::failed(defined_)) {
            return complaints + unless(defined_ == registrar::kOutOfMemory, "definition: " + hex(defined_)) +
                   unless(left == before_, "machine changed");
        }
        if (registrar::failed(registered_)) {
            complaints += unless(registered_ == registrar::kOutOfMemory, "registration: " + hex(registered_));
            bool earlierBlocksOnly = false;
            for (const std::string& after : afterBlocks_)
                earlierBlocksOnly = earlierBlocksOnly || left == after;
            complaints += unless(earlierBlocksOnly, "part of the failed block left:\n" + left);
            complaints +=
                unless(parser_->processScript(script_, true) == registrar::kOk && registry_->dump() == full_,
                       "the parser does not register again");
        } else {
            complaints +=
                unless(unregistration_ == registrar::kOutOfMemory, "unregistration: " + hex(unregistration_));
        }
        complaints += unless(
            parser_->processScript(script_, false) == registrar::kOk && registry_->dump() == unregistered_,
            "the parser does not unregister again");
        return complaints;
    }

private:
    static constexpr const char* kModulePath = "C:\\Program Files\\Bob's Tools\\Quillery.dll";

    static std::string hex(registrar::Result result) {
        std::ostringstream text;
        text << std::hex << static_cast<std::uint32_t>(result);
        return text.str();
    }

    // The three variables, as the library defines them for every run.
    static registrar::Result defineVariables(registrar::RegistrarVariables& variables) {
        try {
            registrar::Result result = variables.defineVariable("APPID", "");
            const std::string module = registrar::doubledQuotes(kModulePath, singleByte);
            if (!registrar::failed(result)) result = variables.defineVariable("Module", module.c_str());
            if (!registrar::failed(result)) result = variables.defineVariable("Module_Raw", module.c_str());
            return result;
        } catch (const std::bad_alloc&) {
            return registrar::kOutOfMemory;
        }
    }

    // Office with another add-in in Word and Excel (PowerPoint's keys are new), another class and another
    // installed program.
    static MemoryRegistry machineWithOtherSoftware() {
        MemoryRegistry registry;
        registry.addValue("HKCR\\CLSID\\{00000000-FFFF-0000-0000-000000000001}\\InprocServer32", "",
                          registrar::kString, std::string("other.dll\0", 10));
        for (const char* app : {"Excel", "Word"}) {
            registry.addValue(
                std::string("HKLM\\Software\\Microsoft\\Office\\") + app + "\\Addins\\Other.Addin",
                "LoadBehavior", registrar::kDword, std::string("\3\0\0\0", 4));
        }
        registry.addKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other");
        return registry;
    }

    static bool singleByte(unsigned char) { return false; }

    const std::string script_;
    const registrar::TextRules rules_{singleByte, plainNumber};
    std::string before_;
    std::vector<std::string> afterBlocks_;
    std::string full_;
    std::string unregistered_;
    std::optional<MemoryRegistry> registry_;
    std::optional<registrar::RegistrarVariables> variables_;
    std::optional<registrar::RegistrarParser> parser_;
    registrar::Result defined_ = registrar::kFail;
    registrar::Result registered_ = registrar::kFail;
    registrar::Result unregistration_ = registrar::kFail;
};

// One print routine against the double. It reports true exactly when the host accepted the print request,
// gives back everything it was handed, and leaves the document's print settings as they were; only a
// write-back that itself ran out of memory may leave one setting changed.
class PrintRun final : public Operation {
public:
    explicit PrintRun(std::function<bool(host::HostAutomation&)> routine) : routine_(std::move(routine)) {}

    void prepare() override {
        host_.emplace();
        printed_ = false;
    }
    void run() override { printed_ = routine_(*host_); }
    std::string verdict(bool allocationFailed) override {
        int changed = 0;
        for (const auto& setting : AutomationDouble::originalPageSetup())
            changed += host_->pageSetup().at(setting.first) != setting.second ? 1 : 0;
        for (const auto& option : AutomationDouble::originalPrintOptions())
            changed += host_->printOptions().at(option.first) != option.second ? 1 : 0;
        return unless(host_->held() == 0, std::to_string(host_->held()) + " objects still held") +
               unless(printed_ == host_->printed(),
                      printed_ ? "reported printed" : "printed but reported not") +
               unless(allocationFailed || printed_, "not printed") +
               unless(changed <= (allocationFailed ? 1 : 0), std::to_string(changed) + " settings changed");
    }

private:
    std::function<bool(host::HostAutomation&)> routine_;
    std::optional<AutomationDouble> host_;
    bool printed_ = false;
};

struct Sweep {
    const char* name;
    std::function<std::unique_ptr<Operation>()> operation;
};

TEST(OutOfMemory, EveryAllocationFailingInTurnIsReportedAndLeavesNothingBehind) {
    const std::vector<Sweep> sweeps = {
        {"string file decoded and parsed (StringTable)", [] { return std::make_unique<StringFileLoad>(); }},
        {"six markup files decoded (RibbonXmlSet)", [] { return std::make_unique<MarkupSetLoad>(); }},
        {"registrar: both scripts registered and unregistered",
         [] { return std::make_unique<RegistrarRun>(); }},
        {"printWord(4)",
         [] {
             return std::make_unique<PrintRun>(
                 [](host::HostAutomation& host) { return host::printWord(host, 4); });
         }},
        {"printExcel(colour, fit to page)",
         [] {
             return std::make_unique<PrintRun>(
                 [](host::HostAutomation& host) { return host::printExcel(host, false, true); });
         }},
        {"printPowerPoint(colour, notes pages)",
         [] {
             return std::make_unique<PrintRun>(
                 [](host::HostAutomation& host) { return host::printPowerPoint(host, false, 1); });
         }},
    };
    constexpr std::size_t kGiveUp = 100000;
    for (const Sweep& sweep : sweeps) {
        const std::unique_ptr<Operation> operation = sweep.operation();
        std::size_t points = 0;
        int faults = 0;
        for (std::size_t n = 1; n < kGiveUp; ++n) {
            operation->prepare();
            failing_allocator::failAt(n);
            operation->run();
            const bool allocationFailed = failing_allocator::stop();
            const std::size_t allocations = failing_allocator::counted();
            const std::string complaints = operation->verdict(allocationFailed);
            // The first few faults of an operation say enough.
            if (!complaints.empty() && ++faults <= 3) {
                ADD_FAILURE() << sweep.name << ", allocation " << n
                              << (allocationFailed ? " failed" : " not reached") << ": " << complaints;
            }
            if (!allocationFailed) {
                points = allocations;
                break;
            }
        }
        EXPECT_GT(points, 0u) << sweep.name << ": never ran without a failure";
        std::cout << "allocation points: " << sweep.name << ": " << points << std::endl;
#ifdef QUILLERY_LEAK_CHECK
        EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << sweep.name << " leaked";
#endif
    }
}

}  // namespace
