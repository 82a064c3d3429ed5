#include "server/registrar/ScriptReader.h"

#include "server/registrar/IgnoringCase.h"

namespace registrar {
namespace {

constexpr std::size_t kMaxExpandedSize = 0x3FFFFFFF;

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

Result expandVariables(const std::string& text, const RegistrarVariables& variables,
                       LeadBytePredicate isLeadByte, std::string& expanded) {
    expanded.clear();
    expanded.reserve(text.size() * 2 < 100 ? 1000 : text.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length =
            isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
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
                end += isLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
            }
            if (end >= text.size()) return kSyntaxError;
            if (end - i - 1 > ScriptReader::kMaxVariableName) return kFail;
            const std::string* value = variables.lookupVariable(text.substr(i + 1, end - i - 1));
            if (!value) return kSyntaxError;
            expanded += *value;
            i = end + 1;
        }
        if (expanded.size() > kMaxExpandedSize) return kOutOfMemory;
    }
    return kOk;
}

Result ScriptReader::load(const std::string& text, const RegistrarVariables& variables) {
    position_ = 0;
    token_.clear();
    return expandVariables(text.substr(0, text.find('\0')), variables, isLeadByte_, text_);
}

void ScriptReader::clear() noexcept {
    std::string().swap(text_);
    position_ = 0;
}

std::size_t ScriptReader::characterLength(std::size_t position) const noexcept {
    return isLeadByte_(static_cast<unsigned char>(text_[position])) && position + 1 < text_.size() ? 2 : 1;
}

bool ScriptReader::tokenIsKeyName() const noexcept {
    // A trailing byte may look like a backslash without being one.
    for (std::size_t i = 0; i < token_.size();) {
        if (isLeadByte_(static_cast<unsigned char>(token_[i])) && i + 1 < token_.size()) {
            i += 2;
        } else if (token_[i++] == '\\') {
            return false;
        }
    }
    return !token_.empty();
}

bool ScriptReader::tokenIs(const char* keyword) const noexcept {
    return equalIgnoringCase(token_, keyword);
}

void ScriptReader::skipWhiteSpace() noexcept {
    while (position_ < text_.size() && isWhiteSpace(text_[position_])) ++position_;
}

Result ScriptReader::nextToken() {
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

}  // namespace registrar
