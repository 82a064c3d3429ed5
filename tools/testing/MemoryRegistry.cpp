#include "tools/testing/MemoryRegistry.h"

#include <cctype>
#include <cstdio>
#include <new>

using namespace registrar;

namespace {

const std::pair<const char*, Key> kRootNames[] = {
    {"HKCR", kClassesRoot},     {"HKCU", kCurrentUser},   {"HKLM", kLocalMachine}, {"HKU", kUsers},
    {"HKPD", kPerformanceData}, {"HKCC", kCurrentConfig}, {"HKDD", kDynData},
};

}  // namespace

bool MemoryRegistry::CaseLess::operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

MemoryRegistry::MemoryRegistry() {
    for (const auto& root : kRootNames) {
        roots_[root.second] = std::make_shared<Node>();
        rootNames_[root.first] = root.second;
    }
}

MemoryRegistry::MemoryRegistry(const MemoryRegistry& other)
    : refusedNames(other.refusedNames), deniedAccess(other.deniedAccess), rootNames_(other.rootNames_) {
    for (const auto& root : other.roots_) roots_[root.first] = copyOf(*root.second);
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::copyOf(const Node& node) {
    auto copy = std::make_shared<Node>();
    copy->name = node.name;
    copy->values = node.values;
    for (const auto& child : node.children) copy->children[child.first] = copyOf(*child.second);
    return copy;
}

namespace {

constexpr std::uint32_t kEveryAccess = 0xF003F;

// Runs one operation; running out of memory on the way is the platform's error code, and each operation
// makes its change only once nothing can fail any more.
template <typename Operation>
long guarded(Operation&& operation) noexcept {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return kNotEnoughMemory;
    }
}

}  // namespace

MemoryRegistry::Handle MemoryRegistry::handleOf(Key key) const {
    auto root = roots_.find(key);
    if (root != roots_.end()) return {root->second, kEveryAccess};
    auto handle = handles_.find(key);
    return handle != handles_.end() ? handle->second : Handle{nullptr, 0};
}

Key MemoryRegistry::handleFor(std::shared_ptr<Node> node, std::uint32_t access) {
    const Key key = nextHandle_++;
    handles_.emplace(key, Handle{std::move(node), access});
    return key;
}

bool MemoryRegistry::denied(const Node& node, std::uint32_t access) const {
    auto found = deniedAccess.find(node.name);
    return found != deniedAccess.end() && (found->second & access) != 0;
}

long MemoryRegistry::openKey(Key parent, const std::string& name, std::uint32_t access, Key& key) {
    return guarded([&] {
        std::shared_ptr<Node> node = handleOf(parent).node;
        if (!node) return kInvalidParameter;
        if (node->deleted) return kKeyDeleted;
        if (!name.empty()) {
            auto child = node->children.find(name);
            if (child == node->children.end()) return kFileNotFound;
            node = child->second;
        }
        if (denied(*node, access | kReadControlAccess)) return kAccessDenied;
        key = handleFor(node, access);
        return kSuccess;
    });
}

long MemoryRegistry::createKey(Key parent, const std::string& name, Key& key) {
    return guarded([&] {
        const Handle handle = handleOf(parent);
        if (!handle.node) return kInvalidParameter;
        if (handle.node->deleted) return kKeyDeleted;
        if (name.empty()) {
            key = handleFor(handle.node, kReadWriteAccess);
            return kSuccess;
        }
        auto child = handle.node->children.find(name);
        if (child != handle.node->children.end()) {
            if (denied(*child->second, kReadWriteAccess)) return kAccessDenied;
            key = handleFor(child->second, kReadWriteAccess);
            return kSuccess;
        }
        if ((handle.access & kCreateSubkeyAccess) == 0 || refusedNames.count(name)) return kAccessDenied;
        auto fresh = std::make_shared<Node>();
        fresh->name = name;
        const Key made = handleFor(fresh, kReadWriteAccess);
        try {
            handle.node->children.emplace(name, std::move(fresh));
        } catch (const std::bad_alloc&) {
            handles_.erase(made);
            throw;
        }
        key = made;
        return kSuccess;
    });
}

long MemoryRegistry::setValue(Key key, const std::string* name, std::uint32_t type, const unsigned char* data,
                              std::uint32_t size) {
    return guarded([&] {
        const Handle handle = handleOf(key);
        if (!handle.node) return kInvalidParameter;
        if (handle.node->deleted) return kKeyDeleted;
        if ((handle.access & kSetValueAccess) == 0) return kAccessDenied;
        if (name && refusedNames.count(*name)) return kAccessDenied;
        Value value{type, std::string(reinterpret_cast<const char*>(data), size)};
        handle.node->values[name ? *name : std::string()] = std::move(value);
        return kSuccess;
    });
}

long MemoryRegistry::deleteValue(Key key, const std::string& name) {
    const Handle handle = handleOf(key);
    if (!handle.node) return kInvalidParameter;
    if (handle.node->deleted) return kKeyDeleted;
    if ((handle.access & kSetValueAccess) == 0) return kAccessDenied;
    return handle.node->values.erase(name) ? kSuccess : kFileNotFound;
}

long MemoryRegistry::deleteKey(Key parent, const std::string& name) {
    std::shared_ptr<Node> node = handleOf(parent).node;
    if (!node || name.empty()) return kInvalidParameter;
    if (node->deleted) return kKeyDeleted;
    auto child = node->children.find(name);
    if (child == node->children.end()) return kFileNotFound;
    if (!child->second->children.empty()) return kAccessDenied;
    child->second->deleted = true;
    node->children.erase(child);
    return kSuccess;
}

long MemoryRegistry::enumerateKey(Key key, std::uint32_t index, std::string& name) {
    return guarded([&] {
        std::shared_ptr<Node> node = handleOf(key).node;
        if (!node) return kInvalidParameter;
        if (node->deleted) return kKeyDeleted;
        if (index >= node->children.size()) return kNoMoreItems;
        auto child = node->children.begin();
        std::advance(child, index);
        // The caller's buffer holds 256 bytes with the terminator.
        if (child->first.size() >= 256) return kMoreData;
        name = child->first;
        return kSuccess;
    });
}

long MemoryRegistry::countSubkeys(Key key, std::uint32_t& count) {
    std::shared_ptr<Node> node = handleOf(key).node;
    if (!node) return kInvalidParameter;
    if (node->deleted) return kKeyDeleted;
    count = static_cast<std::uint32_t>(node->children.size());
    return kSuccess;
}

long MemoryRegistry::closeKey(Key key) {
    if (roots_.count(key)) return kSuccess;
    return handles_.erase(key) ? kSuccess : kInvalidParameter;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::nodeAt(const std::string& path, bool create) {
    std::size_t end = path.find('\\');
    auto root = rootNames_.find(path.substr(0, end));
    if (root == rootNames_.end()) return nullptr;
    std::shared_ptr<Node> node = roots_[root->second];
    while (end != std::string::npos) {
        const std::size_t begin = end + 1;
        end = path.find('\\', begin);
        const std::string name =
            path.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        auto child = node->children.find(name);
        if (child == node->children.end()) {
            if (!create) return nullptr;
            child = node->children.emplace(name, std::make_shared<Node>()).first;
            child->second->name = name;
        }
        node = child->second;
    }
    return node;
}

void MemoryRegistry::addKey(const std::string& path) {
    nodeAt(path, true);
}

void MemoryRegistry::addValue(const std::string& path, const std::string& name, std::uint32_t type,
                              const std::string& data) {
    nodeAt(path, true)->values[name] = Value{type, data};
}

bool MemoryRegistry::hasKey(const std::string& path) const {
    return const_cast<MemoryRegistry*>(this)->nodeAt(path, false) != nullptr;
}

namespace {

char typeLetter(std::uint32_t type) {
    switch (type) {
        case kString:
            return 'S';
        case kMultiString:
            return 'M';
        case kDword:
            return 'D';
        case kBinary:
            return 'B';
        default:
            return '?';
    }
}

}  // namespace

std::string MemoryRegistry::value(const std::string& path, const std::string& name) const {
    std::shared_ptr<Node> node = const_cast<MemoryRegistry*>(this)->nodeAt(path, false);
    if (!node) return std::string();
    auto found = node->values.find(name);
    if (found == node->values.end()) return std::string();
    return std::string(1, typeLetter(found->second.type)) + ":" + found->second.data;
}

void MemoryRegistry::dumpNode(const Node& node, const std::string& path, std::string& out,
                              std::set<std::string>* keys) {
    if (keys) {
        std::string folded = path;
        for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        keys->insert(folded);
    }
    out += "[" + path + "]\n";
    for (const auto& value : node.values) {
        out += "  \"" + value.first + "\" " + typeLetter(value.second.type) + " ";
        for (unsigned char byte : value.second.data) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", byte);
            out += hex;
        }
        out += "\n";
    }
    for (const auto& child : node.children) dumpNode(*child.second, path + "\\" + child.first, out, keys);
}

std::string MemoryRegistry::dump() const {
    std::string out;
    for (const auto& root : rootNames_) dumpNode(*roots_.at(root.second), root.first, out, nullptr);
    return out;
}

std::string MemoryRegistry::dumpOf(const std::string& path) const {
    std::string out;
    if (std::shared_ptr<Node> node = const_cast<MemoryRegistry*>(this)->nodeAt(path, false))
        dumpNode(*node, path, out, nullptr);
    return out;
}

std::set<std::string> MemoryRegistry::keyPaths() const {
    std::string out;
    std::set<std::string> keys;
    for (const auto& root : rootNames_) dumpNode(*roots_.at(root.second), root.first, out, &keys);
    return keys;
}
