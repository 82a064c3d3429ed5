// Runs any text as a registrar script against an in-memory registry that already holds other software's keys,
// in a single-byte and a double-byte code page. Beyond what the sanitizers catch, it checks that every key is
// closed again, that a failing registration leaves no key that its earlier root blocks alone would not have
// left (nothing half-written), and that registering and then unregistering a script leaves no key that was
// not there before unless the script keeps it on purpose (NoRemove).

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "server/registrar/RegistrarParser.h"
#include "tools/testing/MemoryRegistry.h"
#include "tools/testing/ModelCodePages.h"

using namespace registrar;

namespace {

bool singleByte(unsigned char) {
    return false;
}

MemoryRegistry machine() {
    MemoryRegistry registry;
    registry.addKey("HKCR\\CLSID\\{00000000-FFFF-0000-0000-000000000001}\\InprocServer32");
    registry.addValue("HKCR\\old", "", kString, std::string("keep\0", 5));
    registry.addKey("HKCR\\old\\sub");
    registry.addValue("HKLM\\Software\\Microsoft\\Office\\Word\\Addins\\Other", "LoadBehavior", kDword,
                      std::string("\3\0\0\0", 4));
    registry.addKey("HKCU\\a\\b");
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

void exercise(const std::string& script, LeadBytePredicate isLeadByte, bool refuse) {
    RegistrarVariables variables;
    variables.defineVariable("APPID", "");
    variables.defineVariable("Module", "C:\\It''s\\Quillery.dll");
    const TextRules rules{isLeadByte, plainNumber};

    const MemoryRegistry before = machine();
    MemoryRegistry registered = before;
    if (refuse) registered.refusedNames = {"b", "x", "CLSID"};
    RegistrarParser parser(registered, variables, rules);
    const Result result = parser.processScript(script, true);
    require(registered.openHandles() == 0);

    if (failed(result)) {
        MemoryRegistry earlier = before;
        earlier.refusedNames = registered.refusedNames;
        if (parser.completedRootBlocks() > 0) {
            RegistrarParser again(earlier, variables, rules);
            again.limitRootBlocks(parser.completedRootBlocks());
            require(again.processScript(script, true) == kOk);
        }
        require(subset(registered.keyPaths(), earlier.keyPaths()));
        return;
    }
    RegistrarParser remover(registered, variables, rules);
    remover.processScript(script, false);
    require(registered.openHandles() == 0);
    std::string folded = script;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (folded.find("noremove") == std::string::npos) {
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
