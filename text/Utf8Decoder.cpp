#include "text/Utf8Decoder.h"

#include <cstdint>
#include <cstring>

namespace {

// Eight bytes at once: a word without any high bit is eight ASCII characters.
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::size_t kAsciiBlock = 16;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// A lead byte's sequence length is its count of leading one bits; 0x00-0xBF stand alone.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0xC0)
        return 1;
    std::size_t length = 0;
    while (length < 8 && (lead & (0x80u >> length)) != 0)
        ++length;
    return length;
}

// Widens runs of ASCII bytes one block at a time; most markup and string files are nearly all ASCII, and this
// is what keeps loading them close to the cost of copying them.
std::size_t widenAsciiRun(const unsigned char* bytes, std::size_t size, std::size_t pos, char16_t*& out) {
    while (size - pos >= kAsciiBlock) {
        std::uint64_t low;
        std::uint64_t high;
        std::memcpy(&low, bytes + pos, sizeof low);
        std::memcpy(&high, bytes + pos + sizeof low, sizeof high);
        if (((low | high) & kHighBits) != 0)
            break;
        for (std::size_t i = 0; i < kAsciiBlock; ++i)
            out[i] = bytes[pos + i];
        out += kAsciiBlock;
        pos += kAsciiBlock;
    }
    return pos;
}

}  // namespace

bool decodeUtf8(const unsigned char* bytes, std::size_t size, std::u16string& units) {
    const std::size_t start = units.size();
    if (size == 0)
        return true;
    // Every sequence yields one unit, so the byte count bounds the units; one allocation serves the whole
    // input.
    units.resize(start + size);
    char16_t* const first = &units[start];
    char16_t* out = first;
    std::size_t pos = 0;
    while (pos < size) {
        pos = widenAsciiRun(bytes, size, pos, out);
        if (pos >= size)
            break;
        const unsigned char b0 = bytes[pos];
        const std::size_t length = sequenceLength(b0);
        if (length > size - pos || length >= 5) {
            units.resize(start);
            return false;
        }
        for (std::size_t i = 1; i < length; ++i) {
            if (!isContinuation(bytes[pos + i])) {
                units.resize(start);
                return false;
            }
        }
        switch (length) {
            case 1:
                *out = b0;
                break;
            case 2:
                *out = static_cast<char16_t>(((b0 & 0x1Fu) << 6) | (bytes[pos + 1] & 0x3Fu));
                break;
            case 3:
                *out = static_cast<char16_t>(((b0 & 0x0Fu) << 12) | ((bytes[pos + 1] & 0x3Fu) << 6) |
                                             (bytes[pos + 2] & 0x3Fu));
                break;
            default:
                *out = kFourByteSequenceUnit;
                break;
        }
        ++out;
        pos += length;
    }
    units.resize(start + static_cast<std::size_t>(out - first));
    return true;
}
