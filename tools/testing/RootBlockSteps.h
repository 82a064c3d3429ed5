#pragma once

#include <cstddef>
#include <string>

#include "server/registrar/RegistrarVariables.h"
#include "server/registrar/ScriptRegistry.h"

// Registers a script's root blocks one after the other as the parser takes them, but stops after `limit`
// blocks; `completed` counts the blocks that registered. A registration that failed in block n + 1 must leave
// the registry as this leaves it with limit n. Running out of memory is kOutOfMemory.
registrar::Result registerRootBlocks(registrar::ScriptRegistry& registry, const std::string& script,
                                     const registrar::RegistrarVariables& variables,
                                     const registrar::TextRules& rules, std::size_t limit,
                                     std::size_t& completed);
