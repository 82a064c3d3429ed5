// Runs any text as a registrar script against an in-memory registry that already holds other software's keys,
// in a single-byte and a double-byte code page. Beyond what the sanitizers catch, it checks that every key is
// closed again; that a failing registration leaves no key that its earlier root blocks alone would not have
// left (nothing half-written); that registering and then unregistering a script leaves no key that was not
// there before unless the script keeps it on purpose (NoRemove); and that the keys of other software that the
// script does not name come through every run with all their values untouched.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "server/registrar/RegistrarParser.h"
#include "tools/testing/MemoryRegistry.h"
#include "tools/testing/ModelCodePages.h"
#include "tools/testing/PlainNumber.h"
#include "tools/testing/RootBlockSteps.h"

using namespace registrar;

namespace {

bool singleByte(unsigned char) {
    return false;
}

// Other software's keys, each holding values; the registrar may touch one only when the script names it.
const char* const kForeignKeys[] = {
    "HKCR\\CLSID\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}\\InprocServer32",
    "HKCR\\Other.Document.7",
    "HKLM\\Software\\Microsoft\\Office\\Word\\Addins\\Other.Addin",
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OtherProduct",
    "HKCU\\Software\\Other Vendor\\Settings",
};

MemoryRegistry machine() {
    MemoryRegistry registry;
    registry.addKey("HKCR\\CLSID\\{00000000-FFFF-0000-0000-000000000001}\\InprocServer32");
    registry.addValue("HKCR\\old", "", kString, std::string("keep\0", 5));
    registry.addKey("HKCR\\old\\sub");
    registry.addValue("HKLM\\Software\\Microsoft\\Office\\Word\\Addins\\Other", "LoadBehavior", kDword,
                      std::string("\3\0\0\0", 4));
    registry.addKey("HKCU\\a\\b");
    for (const char* key : kForeignKeys) {
        registry.addValue(key, "", kString, std::string("other\0", 6));
        registry.addValue(key, "LoadBehavior", kDword, std::string("\3\0\0\0", 4));
        registry.addValue(key, "Data", kBinary, std::string("\x01\xFF", 2));
    }
    return registry;
}

void require(bool condition) {
    if (!condition) std::abort();
}

bool subset(const std::set<std::string>& inner, const std::set<std::string>& outer) {
    for (const std::string& key : inner) {
        if (!outer.count(key)) return false;
    }
    return true;
}

std::string folded(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> pathNames(const std::string& path) {
    std::vector<std::string> names;
    std::size_t begin = path.find('\\');
    while (begin != std::string::npos) {
        const std::size_t end = path.find('\\', begin + 1);
        names.push_back(folded(path.substr(begin + 1, end == std::string::npos ? end : end - begin - 1)));
        begin = end;
    }
    return names;
}

// The foreign keys the script cannot reach. Every key name the interpreter uses is a whole token of the
// expanded script, read in order, so a key is out of reach when its own name is no token and none of the keys
// above it follows a "ForceRemove" or "Delete" (which would take its whole tree).
std::vector<std::string> keysOutOfReach(const std::string& script, const RegistrarVariables& variables,
                                        LeadBytePredicate isLeadByte) {
    std::set<std::string> names;
    std::set<std::string> treesRemoved;
    ScriptReader reader(isLeadByte);
    if (!failed(reader.load(script, variables))) {
        std::string previous;
        while (!failed(reader.nextToken())) {
            const std::string token = folded(reader.token());
            names.insert(token);
            if (previous == "forceremove" || previous == "delete") treesRemoved.insert(token);
            previous = token;
        }
    }
    std::vector<std::string> outOfReach;
    for (const char* key : kForeignKeys) {
        const std::vector<std::string> path = pathNames(key);
        bool reached = names.count(path.back()) > 0;
        for (const std::string& name : path) reached = reached || treesRemoved.count(name) > 0;
        if (!reached) outOfReach.push_back(key);
    }
    return outOfReach;
}

void requireUntouched(const MemoryRegistry& registry, const MemoryRegistry& before,
                      const std::vector<std::string>& keys) {
    for (const std::string& key : keys) require(registry.dumpOf(key) == before.dumpOf(key));
}

void exercise(const std::string& script, LeadBytePredicate isLeadByte, bool refuse) {
    RegistrarVariables variables;
    variables.defineVariable("APPID", "");
    variables.defineVariable("Module", "C:\\It''s\\Quillery.dll");
    const TextRules rules{isLeadByte, plainNumber};
    const std::vector<std::string> outOfReach = keysOutOfReach(script, variables, isLeadByte);

    const MemoryRegistry before = machine();
    MemoryRegistry registered = before;
    if (refuse) registered.refusedNames = {"b", "x", "CLSID"};
    RegistrarParser parser(registered, variables, rules);
    const Result result = parser.processScript(script, true);
    require(registered.openHandles() == 0);
    requireUntouched(registered, before, outOfReach);

    if (failed(result)) {
        // The same run block by block ends alike and tells how many blocks registered before the failing one;
        // those blocks alone must leave every key the failed run left.
        MemoryRegistry stepwise = before;
        stepwise.refusedNames = registered.refusedNames;
        std::size_t completed = 0;
        require(registerRootBlocks(stepwise, script, variables, rules, static_cast<std::size_t>(-1),
                                   completed) == result);
        require(stepwise.dump() == registered.dump());
        MemoryRegistry earlier = before;
        earlier.refusedNames = registered.refusedNames;
        if (completed > 0) {
            std::size_t again = 0;
            require(registerRootBlocks(earlier, script, variables, rules, completed, again) == kOk &&
                    again == completed);
        }
        require(subset(registered.keyPaths(), earlier.keyPaths()));
        return;
    }
    RegistrarParser remover(registered, variables, rules);
    remover.processScript(script, false);
    require(registered.openHandles() == 0);
    requireUntouched(registered, before, outOfReach);
    if (folded(script).find("noremove") == std::string::npos) {
        require(subset(registered.keyPaths(), before.keyPaths()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string script(reinterpret_cast<const char*>(data) + 1, size - 1);
    exercise(script, (data[0] & 1) ? shiftJisLeadByte : singleByte, (data[0] & 2) != 0);
    return 0;
}
