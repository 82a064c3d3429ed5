#pragma once

#include <cstddef>
#include <string>

#include "server/registrar/RegistrarVariables.h"
#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// `text` with its %NAME% references replaced by the variables' texts and every "%%" made one "%". Expansion
// works on the raw text, quoted or not: kSyntaxError for an unknown or unterminated reference, kFail for a
// name of 32 bytes or more, kOutOfMemory past 1 GB. Throws std::bad_alloc when memory runs out.
Result expandVariables(const std::string& text, const RegistrarVariables& variables,
                       LeadBytePredicate isLeadByte, std::string& expanded);

// One registrar script, read a token at a time. Tokens are separated by white space; a token that starts
// with a single quote runs to the next single quote that is not doubled and may hold anything. Every step
// moves by whole characters of the script's code page, so a double-byte character is never split.
class ScriptReader {
public:
    // Tokens are held in a buffer of this many bytes with their terminator and a byte to spare: 4094 bytes
    // at most.
    static constexpr std::size_t kTokenBufferSize = 4096;
    static constexpr std::size_t kMaxVariableName = 31;

    explicit ScriptReader(LeadBytePredicate isLeadByte) noexcept : isLeadByte_(isLeadByte) {}

    // Takes `text` up to its first NUL with its variables expanded, and starts reading at its beginning.
    // Throws std::bad_alloc when memory runs out.
    Result load(const std::string& text, const RegistrarVariables& variables);
    // Gives back the text's memory.
    void clear() noexcept;

    // The next token; kSyntaxError at the end of the text, for an unterminated quote and for a token too long
    // for the buffer. Throws std::bad_alloc when memory runs out.
    Result nextToken();
    void skipWhiteSpace() noexcept;
    bool atEnd() const noexcept { return position_ >= text_.size(); }
    std::size_t position() const noexcept { return position_; }
    void rewind(std::size_t position) noexcept { position_ = position; }

    const std::string& token() const noexcept { return token_; }
    bool tokenStartsBlock() const noexcept { return token_ == "{"; }
    bool tokenEndsBlock() const noexcept { return !token_.empty() && token_[0] == '}'; }
    bool tokenIsAssignment() const noexcept { return !token_.empty() && token_[0] == '='; }
    // The token is `keyword`, compared without regard to letter case.
    bool tokenIs(const char* keyword) const noexcept;
    // One key's name: not empty (which would stand for the parent itself) and without a backslash (which
    // would reach past the entry's own key).
    bool tokenIsKeyName() const noexcept;

private:
    std::size_t characterLength(std::size_t position) const noexcept;

    LeadBytePredicate isLeadByte_;
    std::string text_;
    std::size_t position_ = 0;
    std::string token_;
};

}  // namespace registrar
