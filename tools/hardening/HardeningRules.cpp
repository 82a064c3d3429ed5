#include "tools/hardening/HardeningRules.h"

#include <algorithm>
#include <cstdio>

#include "doctor/Machine.h"

namespace hardening {
namespace {

using doctor::PeImage;

constexpr uint64_t kFourGigabytes = 0x100000000ULL;
constexpr uint32_t kPage = 0x1000;
constexpr unsigned char kCallRelative = 0xE8;

// The libraries Windows itself carries in System32, which an installation can neither lack nor replace: the only
// ones a shipped program may import.
const char* const kSystemLibraries[] = {"advapi32.dll", "bcrypt.dll",  "comctl32.dll", "comdlg32.dll",
                                        "crypt32.dll",  "gdi32.dll",   "kernel32.dll", "msvcrt.dll",
                                        "ntdll.dll",    "ole32.dll",   "oleaut32.dll", "shell32.dll",
                                        "shlwapi.dll",  "user32.dll",  "version.dll",  "winspool.drv",
                                        "wintrust.dll", "ws2_32.dll"};

Finding judged(const char* rule, const char* binskim, bool required, bool passed, std::string why) {
    return {rule, binskim, passed ? Verdict::Passed : Verdict::Failed, required, std::move(why)};
}

Finding notApplicable(const char* rule, const char* binskim, std::string why) {
    return {rule, binskim, Verdict::CannotApply, false, std::move(why)};
}

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

bool has(uint32_t flags, uint32_t wanted) { return (flags & wanted) == wanted; }

// The names of the sections that have every one of `characteristics`, comma-separated.
std::string sectionsWith(const PeImage& image, uint32_t characteristics) {
    std::string names;
    for (const doctor::PeSection& section : image.sections) {
        if (has(section.characteristics, characteristics)) names += (names.empty() ? "" : ", ") + section.name;
    }
    return names;
}

std::string lowered(std::string text) {
    for (char& letter : text) letter = (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter + 32) : letter;
    return text;
}

bool isSystemLibrary(const std::string& name) {
    for (const char* library : kSystemLibraries) {
        if (lowered(name) == library) return true;
    }
    return false;
}

// Direct calls (E8 and a 32-bit displacement) in the executable sections whose target is `target`.
std::size_t callsTo(const ImageBytes& shipped, uint32_t target) {
    std::size_t calls = 0;
    for (const doctor::PeSection& section : shipped.image.sections) {
        if (!has(section.characteristics, doctor::kSectionExecute)) continue;
        const std::size_t start = section.rawOffset;
        const std::size_t size = section.virtualSize < section.rawSize ? section.virtualSize : section.rawSize;
        if (start > shipped.bytes.size() || shipped.bytes.size() - start < size || size < 5) continue;
        for (std::size_t at = 0; at + 5 <= size; ++at) {
            const unsigned char* code = &shipped.bytes[start + at];
            if (code[0] != kCallRelative) continue;
            const auto displacement =
                static_cast<int32_t>(code[1] | code[2] << 8 | code[3] << 16 | static_cast<uint32_t>(code[4]) << 24);
            const uint32_t next = section.virtualAddress + static_cast<uint32_t>(at) + 5;
            if (next + static_cast<uint32_t>(displacement) == target) ++calls;
        }
    }
    return calls;
}

Finding stackProtector(const ImageBytes& shipped, const std::optional<ImageBytes>& debug) {
    const char* rule = "stack protector";
    if (!debug) return judged(rule, "BA2011", true, false, "no debug file: the failure routine cannot be found");
    // The x86 ABI puts an underscore before every C name.
    const std::string name = shipped.image.machine == doctor::kMachineI386 ? "___stack_chk_fail" : "__stack_chk_fail";
    const auto routine = doctor::symbolAddress(debug->image, debug->bytes.data(), debug->bytes.size(), name);
    if (!routine) return judged(rule, "BA2011", true, false, name + " is not linked in");
    const std::size_t calls = callsTo(shipped, *routine);
    return judged(rule, "BA2011", true, calls > 0,
                  std::to_string(calls) + " functions call " + name + " when their canary was overwritten");
}

// The loader resolves the image's static imports from System32 alone, not from the folder of the program that
// loads it (a user's folder, for a program run from one).
Finding dependentLibrariesFromSystem32(const std::optional<doctor::PeLoadConfiguration>& config) {
    const char* rule = "imports from System32 only";
    if (!config)
        return judged(rule, "", true, false,
                      "no load configuration: the loader searches the program's folder first");
    return judged(rule, "", true, config->dependentLoadFlags == doctor::kLoadLibrarySearchSystem32,
                  "DependentLoadFlags " + hex(config->dependentLoadFlags));
}

Finding controlFlowGuard(const PeImage& image, const std::optional<doctor::PeLoadConfiguration>& config) {
    const char* rule = "Control Flow Guard";
    if (!has(image.dllCharacteristics, doctor::kDllGuardCf))
        return judged(rule, "BA2008", true, false, "not marked GUARD_CF");
    if (!config) return judged(rule, "BA2008", true, false, "GUARD_CF, but no load configuration");
    const bool instrumented =
        has(config->guardFlags, doctor::kGuardCfInstrumented | doctor::kGuardCfFunctionTablePresent);
    // Windows writes its check into the pointer the load configuration names; without one nothing is checked.
    const bool checkable =
        config->guardCheckFunction != 0 && (!image.pe32Plus || config->guardDispatchFunction != 0);
    return judged(rule, "BA2008", true, instrumented && checkable && !config->guardFunctions.empty(),
                  "GuardFlags " + hex(config->guardFlags) + ", " +
                      std::to_string(config->guardFunctions.size()) + " functions in the table" +
                      (checkable ? "" : ", no check pointer for Windows to fill"));
}

// Every place outside the image calls into it through a pointer must be in the guard's table, or Windows
// stops the process at the call: the entry point, the exports, the TLS callbacks and the unwind information's
// handlers.
Finding indirectTargetsListed(const ImageBytes& shipped,
                              const std::optional<doctor::PeLoadConfiguration>& config) {
    const char* rule = "guarded entries listed";
    const auto targets =
        doctor::callTargetsFromOutside(shipped.image, shipped.bytes.data(), shipped.bytes.size());
    if (!targets)
        return judged(rule, "BA2008", true, false, "the exports, TLS or unwind tables cannot be read");
    if (!config || config->guardFunctions.empty())
        return judged(rule, "BA2008", true, false, "no guard table");
    std::string missing;
    std::size_t missed = 0;
    for (const doctor::PeCallTarget& target : *targets) {
        if (std::binary_search(config->guardFunctions.begin(), config->guardFunctions.end(), target.address))
            continue;
        if (++missed <= 4)
            missing += (missing.empty() ? "" : ", ") + target.what + " (" + hex(target.address) + ")";
    }
    return judged(rule, "BA2008", true, missed == 0,
                  missed == 0 ? "all " + std::to_string(targets->size()) + " in the table"
                              : std::to_string(missed) + " missing from the table: " + missing);
}

}  // namespace

std::vector<Finding> checkImage(const ImageBytes& shipped, const std::optional<ImageBytes>& debug) {
    const PeImage& image = shipped.image;
    std::vector<Finding> findings;

    const bool relocatable = !has(image.characteristics, doctor::kFileRelocsStripped) &&
                             image.directory(doctor::PeDirectory::Relocation).size != 0;
    findings.push_back(judged("ASLR", "BA2009", true, has(image.dllCharacteristics, doctor::kDllDynamicBase) && relocatable,
                              relocatable ? "DYNAMICBASE, relocations kept" : "no relocations to move it by"));
    if (image.pe32Plus) {
        findings.push_back(judged(
            "high-entropy ASLR", "BA2015", true,
            has(image.dllCharacteristics, doctor::kDllHighEntropyVa) &&
                has(image.characteristics, doctor::kFileLargeAddressAware),
            "HIGH_ENTROPY_VA and LARGE_ADDRESS_AWARE"));
        findings.push_back(judged("base above 4 GB", "BA2001", true, image.imageBase >= kFourGigabytes,
                                  "preferred base " + hex(image.imageBase)));
    } else {
        findings.push_back(notApplicable("high-entropy ASLR", "BA2015", "a 32-bit address space"));
        findings.push_back(notApplicable("base above 4 GB", "BA2001", "a 32-bit image"));
    }
    findings.push_back(
        judged("DEP", "BA2016", true, has(image.dllCharacteristics, doctor::kDllNxCompat), "NX_COMPAT"));

    const std::string writableCode = sectionsWith(image, doctor::kSectionWrite | doctor::kSectionExecute);
    findings.push_back(judged("no writable code", "BA2021", true, writableCode.empty(),
                              writableCode.empty() ? "no section both writable and executable"
                                                   : "writable and executable: " + writableCode));
    findings.push_back(judged("page-aligned sections", "BA2021", true, image.sectionAlignment >= kPage,
                              "section alignment " + hex(image.sectionAlignment)));
    const std::string sharedData = sectionsWith(image, doctor::kSectionWrite | doctor::kSectionShared);
    findings.push_back(judged("no shared writable section", "BA2019", true, sharedData.empty(),
                              sharedData.empty() ? "none shared" : "shared and writable: " + sharedData));
    const doctor::PeSection* imports = image.sectionHolding(image.directory(doctor::PeDirectory::Import).address);
    findings.push_back(judged("imports not executable", "BA2010", true,
                              !imports || !has(imports->characteristics, doctor::kSectionExecute),
                              imports ? "in " + imports->name : "no import table"));

    std::string foreign;
    std::vector<std::string> libraries = image.imports;
    libraries.insert(libraries.end(), image.delayImports.begin(), image.delayImports.end());
    for (const std::string& library : libraries) {
        if (!isSystemLibrary(library)) foreign += (foreign.empty() ? "" : ", ") + library;
    }
    findings.push_back(judged("system libraries only", "", true, foreign.empty() && !libraries.empty(),
                              foreign.empty() ? std::to_string(libraries.size()) + " libraries, all Windows' own"
                                              : "imports " + foreign));

    std::string debugSections;
    for (const doctor::PeSection& section : image.sections) {
        if (section.name.rfind(".debug", 0) == 0) debugSections += (debugSections.empty() ? "" : ", ") + section.name;
    }
    findings.push_back(judged("no debug information", "", true, debugSections.empty() && image.symbolCount == 0,
                              debugSections.empty() ? std::to_string(image.symbolCount) + " symbols, no .debug sections"
                                                    : "carries " + debugSections));
    findings.push_back(judged("signed", "BA2022", true,
                              doctor::hasAuthenticodeSignature(image, shipped.bytes.data(), shipped.bytes.size()),
                              "an Authenticode (PKCS #7) signature in the certificate table"));
    findings.push_back(stackProtector(shipped, debug));

    if (image.pe32Plus) {
        findings.push_back(notApplicable("SafeSEH", "BA2018", "64-bit code unwinds by tables, not by handlers on the stack"));
    } else {
        findings.push_back(judged("SafeSEH", "BA2018", true, has(image.dllCharacteristics, doctor::kDllNoSeh),
                                  "NO_SEH: no handler in the image may be called (so no SafeSEH table is needed)"));
    }
    const auto config = doctor::readLoadConfiguration(image, shipped.bytes.data(), shipped.bytes.size());
    findings.push_back(dependentLibrariesFromSystem32(config));
    findings.push_back(controlFlowGuard(image, config));
    findings.push_back(indirectTargetsListed(shipped, config));
    const bool cetCompatible = has(image.extendedDllCharacteristics, doctor::kDllExCetCompat);
    if (image.pe32Plus) {
        findings.push_back(
            judged("CET shadow stack", "BA2025", true, cetCompatible,
                   cetCompatible ? "CETCOMPAT" : "not marked compatible with the shadow stack"));
    } else {
        findings.push_back(
            notApplicable("CET shadow stack", "BA2025", "the shadow stack guards 64-bit code"));
    }
    return findings;
}

const char* verdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Passed:
            return "passed";
        case Verdict::Failed:
            return "FAILED";
        case Verdict::CannotApply:
            break;
    }
    return "cannot apply";
}

}  // namespace hardening
