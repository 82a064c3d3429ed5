// quillery-hardening: what a security team's PE checks would say of the files we ship, from the files alone.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "doctor/PeImage.h"
#include "tools/hardening/HardeningRules.h"
#include "win/CommandLine.h"

namespace {

std::optional<std::vector<unsigned char>> contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Prints the findings for one file; false when the file cannot be read or a rule a release needs failed.
bool check(const std::string& path) {
    const auto bytes = contentsOf(path);
    const auto image = bytes ? doctor::readPeImage(bytes->data(), bytes->size()) : std::nullopt;
    if (!image) {
        std::printf("%s: not a PE image we can read\n", path.c_str());
        return false;
    }
    // The debug file the build keeps beside what it ships holds the symbol table.
    const auto debugBytes = contentsOf(path + ".debug");
    const auto debugImage = debugBytes ? doctor::readPeHeaders(debugBytes->data(), debugBytes->size()) : std::nullopt;
    std::optional<hardening::ImageBytes> debug;
    if (debugImage) debug.emplace(hardening::ImageBytes{*debugImage, *debugBytes});

    bool released = true;
    std::printf("%s\n", path.c_str());
    for (const hardening::Finding& finding : hardening::checkImage({*image, *bytes}, debug)) {
        const bool blocks = finding.required && finding.verdict == hardening::Verdict::Failed;
        released = released && !blocks;
        const bool limit = !finding.required && finding.verdict == hardening::Verdict::Failed;
        std::printf("  %-12s %-28s %-7s %s%s\n", hardening::verdictText(finding.verdict), finding.rule,
                    finding.binskim, finding.why.c_str(), limit ? " (a toolchain limit)" : "");
    }
    return released;
}

}  // namespace

int main(int argc, char** argv) {
    const win::CommandLine commandLine(
        "quillery-hardening", "usage: quillery-hardening FILE...\n",
        "Checks each program or library as a security team's PE checks would (BinSkim's rules): ASLR, DEP,\n"
        "section rights and alignment, imports from Windows' own libraries only, no debug information, an\n"
        "Authenticode signature, the stack protector (from FILE.debug's symbols), SafeSEH, Control Flow Guard\n"
        "and CET. Exit code 1 when a file cannot be read or fails a rule a release must pass.\n",
        {});
    if (const auto done = commandLine.screen(argc, argv)) return *done;
    if (argc < 2) return commandLine.refuse("no file to check");
    bool released = true;
    for (int index = 1; index < argc; ++index) released = check(argv[index]) && released;
    return released ? 0 : 1;
}
