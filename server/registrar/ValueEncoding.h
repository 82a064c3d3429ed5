#pragma once

#include <cstdint>
#include <string>

#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// What the registry stores for one value of a script: its type and its bytes.
struct EncodedValue {
    std::uint32_t type = kString;
    std::string data;
};

// The registry form of a value that a script writes as the type letter `type` (either case) and the text
// `text`:
//  - S: the text and a terminating NUL (REG_SZ);
//  - M: the text cut into pieces at each backslash followed by the digit zero, each piece NUL-terminated, up
//    to and including the first empty piece, which ends the list (REG_MULTI_SZ);
//  - D: the text as `rules.toNumber` reads it, 0 for a text that is no number, four bytes little-endian
//    (REG_DWORD);
//  - B: the text as hexadecimal digits, two per byte, the first one the high half, anything that is not a
//    digit counting as 0 (REG_BINARY).
// kSyntaxError for any other type, kFail for a binary text of odd length, kOutOfMemory when the number
// conversion runs out of memory. Throws std::bad_alloc when memory runs out.
Result encodeValue(const std::string& type, const std::string& text, const TextRules& rules,
                   EncodedValue& value);

}  // namespace registrar
