#include "server/registrar/RegistryWalk.h"

#include <deque>
#include <new>

#include "server/registrar/AcceptingRegistry.h"
#include "server/registrar/IgnoringCase.h"
#include "server/registrar/OpenedKey.h"
#include "server/registrar/ScopedAssignment.h"
#include "server/registrar/ValueEncoding.h"

namespace registrar {
namespace {

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

}  // namespace

Result RegistryWalk::registerRootBlock(Key root) {
    const std::size_t blockStart = reader_.position();
    // Read through first: a block with a fault in its text then writes nothing, instead of deleting and
    // creating keys up to the fault.
    Result result = readThrough(root);
    if (failed(result)) return result;

    reader_.rewind(blockStart);
    result = registerTracked(root);
    if (failed(result)) rollBack(root, blockStart);
    created_.clear();
    return result;
}

Result RegistryWalk::unregisterRootBlock(Key root) {
    return processKeyList(root, false, false, 0);
}

Result RegistryWalk::readThrough(Key root) {
    AcceptingRegistry accepting;
    // The walk must not be left pointing at the stand-in once it is gone, however the read-through ends.
    const ScopedAssignment<ScriptRegistry*> detour(registry_, &accepting);
    return processKeyList(root, true, false, 0);
}

Result RegistryWalk::registerTracked(Key root) {
    path_.clear();
    created_.clear();
    const ScopedAssignment<Key> trackedRoot(trackedRoot_, root);
    const ScopedAssignment<bool> tracking(tracking_, true);
    try {
        return processKeyList(root, true, false, 0);
    } catch (const std::bad_alloc&) {
        // Part of the block may be written; it is taken back like any other failure.
        return kOutOfMemory;
    }
}

void RegistryWalk::rollBack(Key root, std::size_t blockStart) noexcept {
    // Undo the block as its unregistration would (its own result does not matter: the registration's failure
    // is what is reported), then take back any key the block itself created that is still there, such as a
    // NoRemove key that was new.
    try {
        reader_.rewind(blockStart);
        processKeyList(root, false, false, 0);
    } catch (const std::bad_alloc&) {
        // The keys it created are still taken back below.
    }
    try {
        removeCreatedKeys();
    } catch (const std::bad_alloc&) {
    }
}

void RegistryWalk::removeCreatedKeys() {
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

Result RegistryWalk::processKeyList(Key parent, bool doRegister, bool recovery, int depth) {
    if (depth >= kMaxNesting) return kSyntaxError;
    Result result = reader_.nextToken();
    if (failed(result)) return result;
    while (!reader_.tokenEndsBlock()) {
        bool removable = true;
        if (reader_.tokenIs("ForceRemove") || reader_.tokenIs("Delete")) {
            const bool deleteOnly = reader_.tokenIs("Delete");
            result = reader_.nextToken();
            if (failed(result)) return result;
            if (!reader_.tokenIsKeyName()) return kSyntaxError;
            if (doRegister) {
                if (!isProtectedKey(reader_.token())) deleteKeyTree(parent, reader_.token(), 0);
                if (deleteOnly) {
                    result = reader_.nextToken();
                    if (failed(result)) return result;
                    result = skipAssignment();
                    if (failed(result)) return result;
                    // Nothing is created, so there is no key a block could belong to.
                    if (reader_.tokenStartsBlock()) return kSyntaxError;
                    continue;
                }
            }
            result = doRegister ? registerKeyEntry(parent, depth)
                                : unregisterKeyEntry(parent, removable, recovery, depth);
            if (failed(result)) return result;
            continue;
        }
        if (reader_.tokenIs("NoRemove")) {
            removable = false;
            result = reader_.nextToken();
            if (failed(result)) return result;
        }
        if (reader_.tokenIs("Val")) {
            result = reader_.nextToken();
            if (failed(result)) return result;
            const std::string valueName = reader_.token();
            result = reader_.nextToken();
            if (failed(result)) return result;
            if (!reader_.tokenIsAssignment()) return kSyntaxError;
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
            if (reader_.tokenStartsBlock()) return kSyntaxError;
            continue;
        }
        result = doRegister ? registerKeyEntry(parent, depth)
                            : unregisterKeyEntry(parent, removable, recovery, depth);
        if (failed(result)) return result;
    }
    return kOk;
}

Result RegistryWalk::registerKeyEntry(Key parent, int depth) {
    // An empty name would stand for the parent itself; a backslash would reach past this entry's own key.
    if (!reader_.tokenIsKeyName()) return kSyntaxError;
    const std::string name = reader_.token();
    OpenedKey key(*registry_);
    // A key that is missing or refused is looked for again with less access, and then created. Any other
    // failure (the registry out of memory, say) is the registration's: going on with a key opened for reading
    // only would end in a refusal that hides the real cause, or in a success that should not be.
    const auto missingOrRefused = [](long status) {
        return status == kFileNotFound || status == kAccessDenied;
    };
    long status = registry_->openKey(parent, name, kReadWriteAccess, *key.receive());
    if (status != kSuccess && missingOrRefused(status))
        status = registry_->openKey(parent, name, kReadAccess, *key.receive());
    if (status != kSuccess && !missingOrRefused(status)) return resultFromError(status);
    if (status != kSuccess) {
        // The record of the key is made before the key: once the key exists, noting it can no longer fail.
        CreatedKey created{trackedRoot_, {}};
        if (tracking_) {
            created.path = path_;
            created.path.push_back(name);
            created_.reserve(created_.size() + 1);
        }
        status = registry_->createKey(parent, name, *key.receive());
        if (status != kSuccess) return resultFromError(status);
        if (tracking_) created_.push_back(std::move(created));
    }
    Result result = reader_.nextToken();
    if (failed(result)) return result;
    if (reader_.tokenIsAssignment()) {
        result = setValue(key.get(), nullptr);
        if (failed(result)) return result;
    }
    if (reader_.tokenStartsBlock()) {
        path_.push_back(name);
        result = processKeyList(key.get(), true, false, depth + 1);
        path_.pop_back();
        if (failed(result)) return result;
        result = reader_.nextToken();
        if (failed(result)) return result;
    }
    return kOk;
}

Result RegistryWalk::unregisterKeyEntry(Key parent, bool removable, bool recovery, int depth) {
    if (!reader_.tokenIsKeyName()) return kSyntaxError;
    // The whole name is kept: a shortened one could name, and delete, another key.
    const std::string name = reader_.token();
    OpenedKey key(*registry_);
    const long opened =
        recovery ? kFileNotFound : registry_->openKey(parent, name, kReadAccess, *key.receive());
    const bool walkInRecovery = opened != kSuccess;
    Result result = reader_.nextToken();
    if (failed(result)) return result;
    result = skipAssignment();
    if (failed(result)) return result;
    if (reader_.tokenStartsBlock()) {
        // A fault in the text stops the walk even in recovery: reading on from the middle of a block would
        // apply its entries to the wrong key.
        result = processKeyList(key.get(), false, walkInRecovery, depth + 1);
        if (failed(result)) return result;
        result = reader_.nextToken();
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

bool RegistryWalk::hasSubkeys(Key key) {
    std::uint32_t count = 0;
    return registry_->countSubkeys(key, count) == kSuccess && count > 0;
}

Result RegistryWalk::setValue(Key key, const std::string* valueName) {
    Result result = reader_.nextToken();
    if (failed(result)) return result;
    const std::string type = reader_.token();
    result = reader_.nextToken();
    if (failed(result)) return result;
    EncodedValue value;
    result = encodeValue(type, reader_.token(), rules_, value);
    if (failed(result)) return result;
    const long status = registry_->setValue(key, valueName, value.type,
                                            reinterpret_cast<const unsigned char*>(value.data.data()),
                                            static_cast<std::uint32_t>(value.data.size()));
    if (status != kSuccess) return resultFromError(status);
    return reader_.nextToken();
}

Result RegistryWalk::skipAssignment() {
    if (!reader_.tokenIsAssignment()) return kOk;
    for (int i = 0; i < 3; ++i) {
        const Result result = reader_.nextToken();
        if (failed(result)) return result;
    }
    return kOk;
}

long RegistryWalk::deleteKeyTree(Key parent, const std::string& name, int depth) {
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
