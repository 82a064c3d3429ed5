#pragma once

#include <cstdint>
#include <string>

#include "server/registrar/ScriptRegistry.h"

// The registrar's "D" values read off Windows, where the platform's own conversion is not at hand: decimal
// digits with blanks around them, or "&H" and hexadecimal digits. kFail for anything else and for a number
// past 32 bits.
registrar::Result plainNumber(const std::string& text, std::uint32_t& number);
