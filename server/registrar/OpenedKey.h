#pragma once

#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// One key opened by the interpreter, closed exactly once.
class OpenedKey {
public:
    explicit OpenedKey(ScriptRegistry& registry) noexcept : registry_(registry) {}
    ~OpenedKey() { close(); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    Key get() const noexcept { return key_; }
    // Where an open or create puts the new key; whatever was held before is closed first.
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

}  // namespace registrar
