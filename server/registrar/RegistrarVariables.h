#pragma once

#include <string>
#include <utility>
#include <vector>

#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// The variables a script refers to as %NAME%. A name may be defined twice; a lookup finds the first
// definition whose name equals the one asked for without regard to letter case.
class RegistrarVariables {
public:
    // kInvalidArgument when either is null, kOutOfMemory when the copy fails.
    Result defineVariable(const char* name, const char* text) noexcept;
    const std::string* lookupVariable(const std::string& name) const noexcept;
    void clearVariables() noexcept { entries_.clear(); }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// `text` with every single quote doubled, stepping by whole characters, so that S '%MODULE%' stores the path
// unchanged.
std::string doubledQuotes(const std::string& text, LeadBytePredicate isLeadByte);

}  // namespace registrar
