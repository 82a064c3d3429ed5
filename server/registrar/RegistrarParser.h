#pragma once

#include <string>

#include "server/registrar/RegistrarVariables.h"
#include "server/registrar/RegistryWalk.h"
#include "server/registrar/ScriptReader.h"
#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// The predefined root a script names ("HKCR" or "HKEY_CLASSES_ROOT", any letter case, and so on); kNoKey
// for any other name.
Key rootKeyNamed(const std::string& name) noexcept;

// Reads the head of the next root block, a root name and a token that starts with "{", leaving the reader at
// the block's key list. kSyntaxError for an unknown root or a missing brace.
Result readRootBlockHead(ScriptReader& reader, Key& root);

// Runs a registrar script: a sequence of root blocks, each a root name and a brace block of keys and values,
// registered or unregistered one after the other. Registration stops at the first block that fails, which is
// taken back; the blocks before it stay registered. Unregistration stops at the first block that fails.
class RegistrarParser {
public:
    // The registry, the variables and the rules must outlive the parser.
    RegistrarParser(ScriptRegistry& registry, const RegistrarVariables& variables,
                    const TextRules& rules) noexcept
        : variables_(variables), reader_(rules.isLeadByte), walk_(registry, reader_, rules) {}

    // Registers (`doRegister`) or unregisters everything the script names. The text ends at its first NUL.
    // Running out of memory is reported as kOutOfMemory.
    Result processScript(const std::string& text, bool doRegister) noexcept;

private:
    Result processRootBlocks(bool doRegister);

    const RegistrarVariables& variables_;
    ScriptReader reader_;
    RegistryWalk walk_;
};

}  // namespace registrar
