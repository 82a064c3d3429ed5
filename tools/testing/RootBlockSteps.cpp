#include "tools/testing/RootBlockSteps.h"

#include <new>

#include "server/registrar/RegistrarParser.h"

using namespace registrar;

Result registerRootBlocks(ScriptRegistry& registry, const std::string& script,
                          const RegistrarVariables& variables, const TextRules& rules, std::size_t limit,
                          std::size_t& completed) {
    completed = 0;
    try {
        ScriptReader reader(rules.isLeadByte);
        Result result = reader.load(script, variables);
        if (failed(result)) return result;
        RegistryWalk walk(registry, reader, rules);
        reader.skipWhiteSpace();
        while (!reader.atEnd() && completed < limit) {
            Key root = kNoKey;
            result = readRootBlockHead(reader, root);
            if (failed(result)) return result;
            result = walk.registerRootBlock(root);
            if (failed(result)) return result;
            ++completed;
            reader.skipWhiteSpace();
        }
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}
