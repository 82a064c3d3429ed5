#include "server/registrar/RegistrarVariables.h"

#include <new>

#include "server/registrar/IgnoringCase.h"

namespace registrar {

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

}  // namespace registrar
