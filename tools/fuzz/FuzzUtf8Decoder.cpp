// The decoder on any byte string: what it decodes is appended after what the output held, never more units
// than bytes; what it refuses leaves the output untouched; pure ASCII is always accepted, unit for unit.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/Utf8Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string units = u"pre";
    const bool decoded = decodeUtf8(data, size, units);
    if (units.compare(0, 3, u"pre") != 0) std::abort();
    if (decoded ? units.size() - 3 > size : units.size() != 3) std::abort();
    // Pure ASCII input is always accepted and comes back unit for unit.
    bool ascii = true;
    for (std::size_t i = 0; i < size && ascii; ++i) ascii = data[i] < 0x80;
    if (ascii && (!decoded || units.size() != size + 3)) std::abort();
    return 0;
}
