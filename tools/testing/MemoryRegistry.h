#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "server/registrar/ScriptRegistry.h"

// A registry of our own for running registrar scripts off Windows: the seven predefined roots, keys whose
// names compare without regard to ASCII letter case, typed values, handles that stay valid (but dead) when
// their key is deleted and that allow only what they were opened for, and keys refused on request to stand in
// for a registry that says no. Like the platform's, every operation reports running out of memory as an error
// code and then has changed nothing.
class MemoryRegistry final : public registrar::ScriptRegistry {
public:
    static constexpr long kInvalidParameter = 87;
    static constexpr long kKeyDeleted = 1018;
    // What a handle must have been opened with to write values into its key, and to create keys below it.
    static constexpr std::uint32_t kSetValueAccess = 0x2;
    static constexpr std::uint32_t kCreateSubkeyAccess = 0x4;
    // Opening a key for any access at all asks for this right.
    static constexpr std::uint32_t kReadControlAccess = 0x20000;

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
    // The same listing for one key and everything below it; empty when the key is missing.
    std::string dumpOf(const std::string& path) const;
    // Every key's path, in lower case.
    std::set<std::string> keyPaths() const;

    // Creating a key of this name, or writing a value of this name, fails with access denied.
    std::set<std::string> refusedNames;
    // Opening an existing key of this name (or the key itself again through a handle of it) for an access
    // that includes any of the given bits fails with access denied: kSetValueAccess | kCreateSubkeyAccess
    // makes the key read-only, kReadControlAccess refuses every open.
    std::map<std::string, std::uint32_t> deniedAccess;
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
        std::string name;
        std::map<std::string, std::shared_ptr<Node>, CaseLess> children;
        std::map<std::string, Value, CaseLess> values;
        bool deleted = false;
    };
    struct Handle {
        std::shared_ptr<Node> node;
        std::uint32_t access;
    };

    // The key behind `key` and what it was opened for (everything for a root); no node for an unknown key.
    Handle handleOf(registrar::Key key) const;
    std::shared_ptr<Node> nodeAt(const std::string& path, bool create);
    registrar::Key handleFor(std::shared_ptr<Node> node, std::uint32_t access);
    bool denied(const Node& node, std::uint32_t access) const;
    static std::shared_ptr<Node> copyOf(const Node& node);
    static void dumpNode(const Node& node, const std::string& path, std::string& out,
                         std::set<std::string>* keys);

    std::map<registrar::Key, std::shared_ptr<Node>> roots_;
    std::map<std::string, registrar::Key> rootNames_;
    std::map<registrar::Key, Handle> handles_;
    registrar::Key nextHandle_ = 0x1000;
};
