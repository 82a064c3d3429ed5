#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "server/registrar/ScriptReader.h"
#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// The walk over the registry that one root block of a script describes. Registering creates the keys and
// values the block names; unregistering removes them again where nothing foreign holds on to them and the
// script does not keep them (NoRemove). A registration that fails takes back what its block did.
class RegistryWalk {
public:
    // Deeper than the registry itself allows; keeps a hostile script from exhausting the stack.
    static constexpr int kMaxNesting = 512;

    // Reads the script from `reader`; the registry, the reader and the rules must outlive the walk.
    RegistryWalk(ScriptRegistry& registry, ScriptReader& reader, const TextRules& rules) noexcept
        : registry_(&registry), reader_(reader), rules_(rules) {}

    // Each takes the block whose key list starts at the reader's position (just after the block's "{") under
    // `root`, and leaves the reader after the block's closing brace.
    //
    // The block is first read through against a registry that accepts everything, so that a fault in its text
    // writes nothing. When the real registration then fails, running out of memory included (kOutOfMemory),
    // the block is undone as its unregistration would, and any key it created that is still there (a new
    // NoRemove key, say) is removed as well. Running out of memory while reading the block through, or while
    // unregistering, throws std::bad_alloc; the walk stays usable either way.
    Result registerRootBlock(Key root);
    Result unregisterRootBlock(Key root);

private:
    struct CreatedKey {
        Key root;
        std::vector<std::string> path;
    };

    Result readThrough(Key root);
    Result registerTracked(Key root);
    void rollBack(Key root, std::size_t blockStart) noexcept;
    void removeCreatedKeys();
    Result processKeyList(Key parent, bool doRegister, bool recovery, int depth);
    Result registerKeyEntry(Key parent, int depth);
    Result unregisterKeyEntry(Key parent, bool removable, bool recovery, int depth);
    Result setValue(Key key, const std::string* valueName);
    Result skipAssignment();
    long deleteKeyTree(Key parent, const std::string& name, int depth);
    bool hasSubkeys(Key key);

    ScriptRegistry* registry_;
    ScriptReader& reader_;
    TextRules rules_;
    // While a root block registers: the path below its root of the key being worked in, and every key the
    // block created, so that a failing block can take back exactly what it added.
    std::vector<std::string> path_;
    std::vector<CreatedKey> created_;
    Key trackedRoot_ = kNoKey;
    bool tracking_ = false;
};

}  // namespace registrar
