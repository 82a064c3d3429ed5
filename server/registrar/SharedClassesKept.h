#pragma once

#include <set>
#include <string>

#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// On 64-bit Windows the 32-bit and the 64-bit library of one product register into one classes root, and
// only a few of its subtrees (the class ids among them) are kept apart per registry view; everything else,
// the ProgIDs above all, is one key that both bitnesses wrote and both need. While the library of the other
// bitness stays registered, unregistering this one must leave that shared part in place: this registry passes
// every call through to `inner`, except that deleting a key or a value in the shared part of the classes root
// succeeds without deleting anything.
class SharedClassesKept final : public ScriptRegistry {
public:
    explicit SharedClassesKept(ScriptRegistry& inner) : inner_(inner) {}

    // Whether the subtree of the classes root named `name` is kept apart per registry view.
    static bool isPerView(const std::string& name);

    long openKey(Key parent, const std::string& name, std::uint32_t access, Key& key) override;
    long createKey(Key parent, const std::string& name, Key& key) override;
    long setValue(Key key, const std::string* name, std::uint32_t type, const unsigned char* data,
                  std::uint32_t size) override;
    long deleteValue(Key key, const std::string& name) override;
    long deleteKey(Key parent, const std::string& name) override;
    long enumerateKey(Key key, std::uint32_t index, std::string& name) override;
    long countSubkeys(Key key, std::uint32_t& count) override;
    long closeKey(Key key) override;

private:
    bool isShared(Key parent, const std::string& name) const;
    long track(long status, Key parent, const std::string& name, Key key);

    ScriptRegistry& inner_;
    // The open keys that lie in the shared part.
    std::set<Key> shared_;
};

}  // namespace registrar
