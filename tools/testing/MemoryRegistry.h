#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "server/registrar/ScriptRegistry.h"

// A registry of our own for running registrar scripts off Windows: the seven predefined roots, keys whose
// names compare without regard to ASCII letter case, typed values, handles that stay valid (but dead) when
// their key is deleted, and a key refused on request to stand in for a registry that says no.
class MemoryRegistry final : public registrar::ScriptRegistry {
public:
    static constexpr long kInvalidParameter = 87;
    static constexpr long kKeyDeleted = 1018;

    MemoryRegistry();
    MemoryRegistry(const MemoryRegistry& other);
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    long openKey(registrar::Key parent, const std::string& name, std::uint32_t access,
                 registrar::Key& key) override;
    long createKey(registrar::Key parent, const std::string& name, registrar::Key& key) override;
    long setValue(registrar::Key key, const std::string* name, std::uint32_t type, const unsigned char* data,
                  std::uint32_t size) override;
    long deleteValue(registrar::Key key, const std::string& name) override;
    long deleteKey(registrar::Key parent, const std::string& name) override;
    long enumerateKey(registrar::Key key, std::uint32_t index, std::string& name) override;
    long countSubkeys(registrar::Key key, std::uint32_t& count) override;
    long closeKey(registrar::Key key) override;

    // Paths are written as "HKLM\\a\\b" (short root names); values as "HKLM\\a\\b" + ":" + name ("" for the
    // default value).
    void addKey(const std::string& path);
    void addValue(const std::string& path, const std::string& name, std::uint32_t type,
                  const std::string& data);
    bool hasKey(const std::string& path) const;
    // Type letter and data bytes of a value, e.g. "S:abc\0"; empty when missing.
    std::string value(const std::string& path, const std::string& name) const;
    // Every key, and every value with its type and bytes, one per line in a fixed order.
    std::string dump() const;
    // Every key's path, in lower case.
    std::set<std::string> keyPaths() const;

    // Creating a key of this name, or writing a value into it, fails with access denied.
    std::set<std::string> refusedNames;
    // Masks of every open, in order.
    std::vector<std::uint32_t> openMasks;
    std::size_t openHandles() const { return handles_.size(); }

private:
    struct CaseLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    struct Value {
        std::uint32_t type;
        std::string data;
    };
    struct Node {
        std::map<std::string, std::shared_ptr<Node>, CaseLess> children;
        std::map<std::string, Value, CaseLess> values;
        bool deleted = false;
    };

    std::shared_ptr<Node> nodeOf(registrar::Key key) const;
    std::shared_ptr<Node> nodeAt(const std::string& path, bool create);
    registrar::Key handleFor(std::shared_ptr<Node> node);
    static std::shared_ptr<Node> copyOf(const Node& node);
    static void dumpNode(const Node& node, const std::string& path, std::string& out,
                         std::set<std::string>* keys);

    std::map<registrar::Key, std::shared_ptr<Node>> roots_;
    std::map<std::string, registrar::Key> rootNames_;
    std::map<registrar::Key, std::shared_ptr<Node>> handles_;
    registrar::Key nextHandle_ = 0x1000;
};
