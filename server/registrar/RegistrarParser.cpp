#include "server/registrar/RegistrarParser.h"

#include <cctype>
#include <deque>
#include <new>

namespace registrar {
namespace {

constexpr std::size_t kMaxExpandedSize = 0x3FFFFFFF;

bool equalIgnoringCase(const std::string& text, const char* other) {
    std::size_t i = 0;
    for (; i < text.size() && other[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(other[i])))
            return false;
    }
    return i == text.size() && other[i] == '\0';
}

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

Key rootNamed(const std::string& name) {
    for (const RootName& root : kRoots) {
        if (equalIgnoringCase(name, root.shortName) || equalIgnoringCase(name, root.longName))
            return root.key;
    }
    return kNoKey;
}

// Keys that "ForceRemove" and "Delete" never delete, whoever asks.
bool isProtectedKey(const std::string& name) {
    static const char* const kProtected[] = {"AppID",    "CLSID",     "Component Categories",
                                             "FileType", "Interface", "Hardware",
                                             "Mime",     "SAM",       "SECURITY",
                                             "SYSTEM",   "Software",  "TypeLib"};
    for (const char* protectedName : kProtected) {
        if (equalIgnoringCase(name, protectedName)) return true;
    }
    return false;
}

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// Stands in for the registry while a root block is checked before it is registered: every call succeeds and
// nothing is kept, so the only failures left are those of the script itself.
class AcceptingRegistry final : public ScriptRegistry {
public:
    long openKey(Key, const std::string&, std::uint32_t, Key& key) override { return give(key); }
    long createKey(Key, const std::string&, Key& key) override { return give(key); }
    long setValue(Key, const std::string*, std::uint32_t, const unsigned char*, std::uint32_t) override {
        return kSuccess;
    }
    long deleteValue(Key, const std::string&) override { return kSuccess; }
    long deleteKey(Key, const std::string&) override { return kSuccess; }
    long enumerateKey(Key, std::uint32_t, std::string&) override { return kNoMoreItems; }
    long countSubkeys(Key, std::uint32_t& count) override {
        count = 0;
        return kSuccess;
    }
    long closeKey(Key) override { return kSuccess; }

private:
    static long give(Key& key) {
        key = 1;
        return kSuccess;
    }
};

// One key opened by the interpreter, closed exactly once.
class OpenedKey {
public:
    explicit OpenedKey(ScriptRegistry& registry) : registry_(registry) {}
    ~OpenedKey() { close(); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    Key get() const { return key_; }
    Key* receive() {
        close();
        return &key_;
    }
    long close() {
        const long status = key_ != kNoKey ? registry_.closeKey(key_) : kSuccess;
        key_ = kNoKey;
        return status;
    }

private:
    ScriptRegistry& registry_;
    Key key_ = kNoKey;
};

}  // namespace

Result RegistrarVariables::defineVariable(const char* name, const char* text) noexcept {
    if (!name || !text) return kInvalidArgument;
    try {
        entries_.emplace_back(name, text);
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

const std::string* RegistrarVariables::lookupVariable(const std::string& name) const noexcept {
    for (const auto& entry : entries_) {
        if (equalIgnoringCase(name, entry.first.c_str())) return &entry.second;
    }
    return nullptr;
}

std::string doubledQuotes(const std::string& text, LeadBytePredicate isLeadByte) {
    std::string doubled;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            doubled += text[i];
            doubled += text[++i];
            continue;
        }
        if (text[i] == '\'') doubled += '\'';
        doubled += text[i];
    }
    return doubled;
}

Result plainNumber(const std::string& text, std::uint32_t& number) {
    std::size_t begin = text.find_first_not_of(' ');
    const std::size_t end = text.find_last_not_of(' ') + 1;
    if (begin == std::string::npos) return kFail;
    unsigned base = 10;
    if (end - begin > 2 && text[begin] == '&' && (text[begin + 1] == 'H' || text[begin + 1] == 'h')) {
        base = 16;
        begin += 2;
    }
    std::uint64_t value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = text[i];
        const bool digit =
            (c >= '0' && c <= '9') || (base == 16 && std::isxdigit(static_cast<unsigned char>(c)));
        if (!digit) return kFail;
        value = value * base + static_cast<unsigned>(hexDigit(c));
        if (value > 0xFFFFFFFFu) return kFail;
    }
    number = static_cast<std::uint32_t>(value);
    return kOk;
}

std::size_t RegistrarParser::characterLength(std::size_t position) const {
    return rules_.isLeadByte(static_cast<unsigned char>(text_[position])) && position + 1 < text_.size() ? 2
                                                                                                         : 1;
}

bool RegistrarParser::tokenIsKeyName() const {
    // A trailing byte may look like a backslash without being one.
    for (std::size_t i = 0; i < token_.size();) {
        if (rules_.isLeadByte(static_cast<unsigned char>(token_[i])) && i + 1 < token_.size()) {
            i += 2;
        } else if (token_[i++] == '\\') {
            return false;
        }
    }
    return !token_.empty();
}

bool RegistrarParser::tokenIs(const char* keyword) const {
    return equalIgnoringCase(token_, keyword);
}

Result RegistrarParser::expandVariables(const std::string& text, std::string& expanded) const {
    expanded.clear();
    expanded.reserve(text.size() * 2 < 100 ? 1000 : text.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length =
            rules_.isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (length == 2 || text[i] != '%') {
            expanded.append(text, i, length);
            i += length;
        } else if (i + 1 < text.size() && text[i + 1] == '%') {
            expanded += '%';
            i += 2;
        } else {
            // The name runs to the next "%", stepping by whole characters.
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '%') {
                end +=
                    rules_.isLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
            }
            if (end >= text.size()) return kSyntaxError;
            if (end - i - 1 > kMaxVariableName) return kFail;
            const std::string* value = variables_.lookupVariable(text.substr(i + 1, end - i - 1));
            if (!value) return kSyntaxError;
            expanded += *value;
            i = end + 1;
        }
        if (expanded.size() > kMaxExpandedSize) return kOutOfMemory;
    }
    return kOk;
}

void RegistrarParser::skipWhiteSpace() {
    while (position_ < text_.size() && isWhiteSpace(text_[position_])) ++position_;
}

Result RegistrarParser::nextToken() {
    token_.clear();
    skipWhiteSpace();
    if (position_ >= text_.size()) return kSyntaxError;
    // A character joins the token only while it and a terminator fit the token buffer with a byte to spare:
    // tokens of up to 4094 bytes.
    auto append = [this](std::size_t length) {
        if (token_.size() + length + 1 >= kTokenBufferSize) return false;
        token_.append(text_, position_, length);
        position_ += length;
        return true;
    };
    if (text_[position_] == '\'') {
        ++position_;
        for (;;) {
            if (position_ >= text_.size()) return kSyntaxError;
            if (text_[position_] == '\'') {
                if (position_ + 1 < text_.size() && text_[position_ + 1] == '\'') {
                    ++position_;
                    if (!append(1)) return kSyntaxError;
                    continue;
                }
                ++position_;
                return kOk;
            }
            if (!append(characterLength(position_))) return kSyntaxError;
        }
    }
    while (position_ < text_.size() && !isWhiteSpace(text_[position_])) {
        if (!append(characterLength(position_))) return kSyntaxError;
    }
    return kOk;
}

Result RegistrarParser::processScript(const std::string& text, bool doRegister) noexcept {
    try {
        const Result expansion = expandVariables(text.substr(0, text.find('\0')), text_);
        Result result = failed(expansion) ? expansion : processRootBlocks(doRegister);
        text_.clear();
        text_.shrink_to_fit();
        return result;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

Result RegistrarParser::processRootBlocks(bool doRegister) {
    position_ = 0;
    completedBlocks_ = 0;
    skipWhiteSpace();
    while (position_ < text_.size() && completedBlocks_ < blockLimit_) {
        Result result = nextToken();
        if (failed(result)) return result;
        const Key root = rootNamed(token_);
        if (root == kNoKey) return kSyntaxError;
        result = nextToken();
        if (failed(result)) return result;
        if (token_.empty() || token_[0] != '{') return kSyntaxError;
        result = doRegister ? registerRootBlock(root, position_) : processKeyList(root, false, false, 0);
        if (failed(result)) return result;
        ++completedBlocks_;
        skipWhiteSpace();
    }
    return kOk;
}

Result RegistrarParser::registerRootBlock(Key root, std::size_t blockStart) {
    // The whole block is read once against a registry that accepts everything: a block with a fault in its
    // text then writes nothing, instead of deleting and creating keys up to the fault.
    AcceptingRegistry accepting;
    ScriptRegistry* real = registry_;
    registry_ = &accepting;
    Result result = processKeyList(root, true, false, 0);
    registry_ = real;
    if (failed(result)) return result;

    position_ = blockStart;
    path_.clear();
    created_.clear();
    trackedRoot_ = root;
    tracking_ = true;
    result = processKeyList(root, true, false, 0);
    tracking_ = false;
    if (failed(result)) {
        // Undo the block as its unregistration would, then take back any key the block itself created that
        // is still there, such as a NoRemove key that was new.
        position_ = blockStart;
        processKeyList(root, false, false, 0);
        removeCreatedKeys();
    }
    created_.clear();
    return result;
}

void RegistrarParser::removeCreatedKeys() {
    for (auto created = created_.rbegin(); created != created_.rend(); ++created) {
        Key parent = created->root;
        std::deque<OpenedKey> chain;
        bool reached = true;
        for (std::size_t i = 0; i + 1 < created->path.size() && reached; ++i) {
            chain.emplace_back(*registry_);
            reached = registry_->openKey(parent, created->path[i], kReadAccess, *chain.back().receive()) ==
                      kSuccess;
            parent = chain.back().get();
        }
        if (!reached) continue;
        const std::string& name = created->path.back();
        OpenedKey key(*registry_);
        if (registry_->openKey(parent, name, kReadAccess, *key.receive()) != kSuccess) continue;
        const bool keep = hasSubkeys(key.get());
        key.close();
        if (!keep) registry_->deleteKey(parent, name);
    }
}

Result RegistrarParser::processKeyList(Key parent, bool doRegister, bool recovery, int depth) {
    if (depth >= kMaxNesting) return kSyntaxError;
    Result result = nextToken();
    if (failed(result)) return result;
    while (!tokenEndsBlock()) {
        bool removable = true;
        if (tokenIs("ForceRemove") || tokenIs("Delete")) {
            const bool deleteOnly = tokenIs("Delete");
            result = nextToken();
            if (failed(result)) return result;
            if (!tokenIsKeyName()) return kSyntaxError;
            if (doRegister) {
                if (!isProtectedKey(token_)) deleteKeyTree(parent, token_, 0);
                if (deleteOnly) {
                    result = nextToken();
                    if (failed(result)) return result;
                    result = skipAssignment();
                    if (failed(result)) return result;
                    // Nothing is created, so there is no key a block could belong to.
                    if (tokenStartsBlock()) return kSyntaxError;
                    continue;
                }
            }
            result = doRegister ? registerKeyEntry(parent, removable, depth)
                                : unregisterKeyEntry(parent, removable, recovery, depth);
            if (failed(result)) return result;
            continue;
        }
        if (tokenIs("NoRemove")) {
            removable = false;
            result = nextToken();
            if (failed(result)) return result;
        }
        if (tokenIs("Val")) {
            result = nextToken();
            if (failed(result)) return result;
            const std::string valueName = token_;
            result = nextToken();
            if (failed(result)) return result;
            if (!tokenIsAssignment()) return kSyntaxError;
            if (doRegister) {
                result = setValue(parent, &valueName);
                if (failed(result)) return result;
            } else {
                if (!recovery && removable) {
                    OpenedKey key(*registry_);
                    long status = registry_->openKey(parent, "", kWriteAccess, *key.receive());
                    if (status != kSuccess) return resultFromError(status);
                    status = registry_->deleteValue(key.get(), valueName);
                    if (status != kSuccess && status != kFileNotFound) return resultFromError(status);
                }
                result = skipAssignment();
                if (failed(result)) return result;
            }
            // A value has no block.
            if (tokenStartsBlock()) return kSyntaxError;
            continue;
        }
        result = doRegister ? registerKeyEntry(parent, removable, depth)
                            : unregisterKeyEntry(parent, removable, recovery, depth);
        if (failed(result)) return result;
    }
    return kOk;
}

Result RegistrarParser::registerKeyEntry(Key parent, bool, int depth) {
    // An empty name would stand for the parent itself; a backslash would reach past this entry's own key.
    if (!tokenIsKeyName()) return kSyntaxError;
    const std::string name = token_;
    OpenedKey key(*registry_);
    if (registry_->openKey(parent, name, kReadWriteAccess, *key.receive()) != kSuccess &&
        registry_->openKey(parent, name, kReadAccess, *key.receive()) != kSuccess) {
        const long status = registry_->createKey(parent, name, *key.receive());
        if (status != kSuccess) return resultFromError(status);
        if (tracking_) {
            std::vector<std::string> path = path_;
            path.push_back(name);
            created_.push_back({trackedRoot_, std::move(path)});
        }
    }
    Result result = nextToken();
    if (failed(result)) return result;
    if (tokenIsAssignment()) {
        result = setValue(key.get(), nullptr);
        if (failed(result)) return result;
    }
    if (tokenStartsBlock()) {
        path_.push_back(name);
        result = processKeyList(key.get(), true, false, depth + 1);
        path_.pop_back();
        if (failed(result)) return result;
        result = nextToken();
        if (failed(result)) return result;
    }
    return kOk;
}

Result RegistrarParser::unregisterKeyEntry(Key parent, bool removable, bool recovery, int depth) {
    if (!tokenIsKeyName()) return kSyntaxError;
    // The whole name is kept: a shortened one could name, and delete, another key.
    const std::string name = token_;
    OpenedKey key(*registry_);
    const long opened =
        recovery ? kFileNotFound : registry_->openKey(parent, name, kReadAccess, *key.receive());
    const bool walkInRecovery = opened != kSuccess;
    Result result = nextToken();
    if (failed(result)) return result;
    result = skipAssignment();
    if (failed(result)) return result;
    if (tokenStartsBlock()) {
        // A fault in the text stops the walk even in recovery: reading on from the middle of a block would
        // apply its entries to the wrong key.
        result = processKeyList(key.get(), false, walkInRecovery, depth + 1);
        if (failed(result)) return result;
        result = nextToken();
        if (failed(result)) return result;
    }
    if (opened == kFileNotFound) return kOk;
    if (opened != kSuccess) return resultFromError(opened);
    const bool keep = hasSubkeys(key.get());
    const long closed = key.close();
    if (closed != kSuccess) return resultFromError(closed);
    if (removable && !keep) {
        const long status = registry_->deleteKey(parent, name);
        if (status != kSuccess) return resultFromError(status);
    }
    return kOk;
}

bool RegistrarParser::hasSubkeys(Key key) {
    std::uint32_t count = 0;
    return registry_->countSubkeys(key, count) == kSuccess && count > 0;
}

Result RegistrarParser::setValue(Key key, const std::string* valueName) {
    Result result = nextToken();
    if (failed(result)) return result;
    if (token_.size() != 1) return kSyntaxError;
    const char type = static_cast<char>(std::toupper(static_cast<unsigned char>(token_[0])));
    if (type != 'S' && type != 'M' && type != 'D' && type != 'B') return kSyntaxError;
    result = nextToken();
    if (failed(result)) return result;

    std::string data;
    std::uint32_t registryType = kString;
    switch (type) {
        case 'S':
            data = token_;
            data += '\0';
            break;
        case 'M': {
            registryType = kMultiString;
            for (std::size_t i = 0; i < token_.size();) {
                const std::size_t length =
                    rules_.isLeadByte(static_cast<unsigned char>(token_[i])) && i + 1 < token_.size() ? 2 : 1;
                if (length == 1 && token_[i] == '\\' && i + 1 < token_.size() && token_[i + 1] == '0') {
                    data += '\0';
                    i += 2;
                } else {
                    data.append(token_, i, length);
                    i += length;
                }
            }
            data.append(2, '\0');
            // The list ends with its first empty piece; anything after that is not part of it.
            std::size_t end = 0;
            for (;;) {
                const std::size_t pieceEnd = data.find('\0', end);
                const bool empty = pieceEnd == end;
                end = pieceEnd + 1;
                if (empty) break;
            }
            data.resize(end);
            break;
        }
        case 'D': {
            registryType = kDword;
            std::uint32_t number = 0;
            const Result converted = rules_.toNumber(token_, number);
            if (converted == kOutOfMemory) return converted;
            // A text that is not a number stores 0 rather than whatever the conversion left behind.
            if (failed(converted)) number = 0;
            for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((number >> shift) & 0xFF);
            break;
        }
        default: {
            registryType = kBinary;
            if (token_.size() % 2 != 0) return kFail;
            data.assign(token_.size() / 2, '\0');
            for (std::size_t i = 0; i < token_.size(); ++i) {
                const int digit = hexDigit(token_[i]);
                data[i / 2] = static_cast<char>(static_cast<unsigned char>(data[i / 2]) +
                                                (i % 2 == 0 ? digit << 4 : digit));
            }
            break;
        }
    }
    const long status =
        registry_->setValue(key, valueName, registryType, reinterpret_cast<const unsigned char*>(data.data()),
                            static_cast<std::uint32_t>(data.size()));
    if (status != kSuccess) return resultFromError(status);
    return nextToken();
}

Result RegistrarParser::skipAssignment() {
    if (!tokenIsAssignment()) return kOk;
    for (int i = 0; i < 3; ++i) {
        const Result result = nextToken();
        if (failed(result)) return result;
    }
    return kOk;
}

long RegistrarParser::deleteKeyTree(Key parent, const std::string& name, int depth) {
    if (depth >= kMaxNesting) return kAccessDenied;
    OpenedKey key(*registry_);
    long status = registry_->openKey(parent, name, kReadWriteAccess, *key.receive());
    if (status != kSuccess) return status;
    std::string child;
    for (;;) {
        status = registry_->enumerateKey(key.get(), 0, child);
        if (status == kNoMoreItems) break;
        if (status != kSuccess) return status;
        status = deleteKeyTree(key.get(), child, depth + 1);
        if (status != kSuccess) return status;
    }
    key.close();
    return registry_->deleteKey(parent, name);
}

}  // namespace registrar
