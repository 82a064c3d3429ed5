#include "server/registrar/RegistrarParser.h"

#include <new>

#include "server/registrar/IgnoringCase.h"

namespace registrar {
namespace {

struct RootName {
    const char* shortName;
    const char* longName;
    Key key;
};

const RootName kRoots[] = {
    {"HKCR", "HKEY_CLASSES_ROOT", kClassesRoot},
    {"HKCU", "HKEY_CURRENT_USER", kCurrentUser},
    {"HKLM", "HKEY_LOCAL_MACHINE", kLocalMachine},
    {"HKU", "HKEY_USERS", kUsers},
    {"HKPD", "HKEY_PERFORMANCE_DATA", kPerformanceData},
    {"HKCC", "HKEY_CURRENT_CONFIG", kCurrentConfig},
    {"HKDD", "HKEY_DYN_DATA", kDynData},
};

}  // namespace

Key rootKeyNamed(const std::string& name) noexcept {
    for (const RootName& root : kRoots) {
        if (equalIgnoringCase(name, root.shortName) || equalIgnoringCase(name, root.longName))
            return root.key;
    }
    return kNoKey;
}

Result readRootBlockHead(ScriptReader& reader, Key& root) {
    Result result = reader.nextToken();
    if (failed(result)) return result;
    root = rootKeyNamed(reader.token());
    if (root == kNoKey) return kSyntaxError;
    result = reader.nextToken();
    if (failed(result)) return result;
    if (reader.token().empty() || reader.token()[0] != '{') return kSyntaxError;
    return kOk;
}

Result RegistrarParser::processScript(const std::string& text, bool doRegister) noexcept {
    Result result = kOk;
    try {
        result = reader_.load(text, variables_);
        if (!failed(result)) result = processRootBlocks(doRegister);
    } catch (const std::bad_alloc&) {
        result = kOutOfMemory;
    }
    reader_.clear();
    return result;
}

Result RegistrarParser::processRootBlocks(bool doRegister) {
    reader_.skipWhiteSpace();
    while (!reader_.atEnd()) {
        Key root = kNoKey;
        Result result = readRootBlockHead(reader_, root);
        if (failed(result)) return result;
        result = doRegister ? walk_.registerRootBlock(root) : walk_.unregisterRootBlock(root);
        if (failed(result)) return result;
        reader_.skipWhiteSpace();
    }
    return kOk;
}

}  // namespace registrar
