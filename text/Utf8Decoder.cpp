#include "text/Utf8Decoder.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kAsciiBlock = 32;
// Units are gathered in a small buffer that stays in the first-level cache and appended to the output a chunk
// at a time, so the output is written once rather than cleared first and then overwritten.
constexpr std::size_t kChunk = 2048;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Widens the block at `bytes` into `out` when all of it is ASCII; false, with nothing written, otherwise.
bool widenAsciiBlock(const unsigned char* bytes, char16_t* out) {
#if defined(__SSE2__)
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
    if (_mm_movemask_epi8(_mm_or_si128(first, second)) != 0) return false;
    const __m128i zero = _mm_setzero_si128();
    auto* wide = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(wide, _mm_unpacklo_epi8(first, zero));
    _mm_storeu_si128(wide + 1, _mm_unpackhi_epi8(first, zero));
    _mm_storeu_si128(wide + 2, _mm_unpacklo_epi8(second, zero));
    _mm_storeu_si128(wide + 3, _mm_unpackhi_epi8(second, zero));
    return true;
#else
    // A word without any high bit is eight ASCII characters.
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    // The block is copied first so that the compiler need not fear the stores changing the input.
    unsigned char block[kAsciiBlock];
    std::memcpy(block, bytes, kAsciiBlock);
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < kAsciiBlock; i += sizeof any) {
        std::uint64_t word;
        std::memcpy(&word, block + i, sizeof word);
        any |= word;
    }
    if ((any & kHighBits) != 0) return false;
    char16_t wide[kAsciiBlock];
    for (std::size_t i = 0; i < kAsciiBlock; ++i) wide[i] = block[i];
    std::memcpy(out, wide, sizeof wide);
    return true;
#endif
}

}  // namespace

bool decodeUtf8(const unsigned char* bytes, std::size_t size, std::u16string& units) {
    const std::size_t start = units.size();
    // Every sequence yields one unit, so the byte count bounds the units: one allocation serves the whole
    // input.
    units.reserve(start + size);
    char16_t chunk[kChunk];
    std::size_t filled = 0;
    std::size_t pos = 0;
    // Where a block of ASCII is worth trying again: text that mixes in other characters is decoded one
    // sequence at a time for a block's length after a block has failed.
    std::size_t blockRetry = 0;
    while (pos < size) {
        // Runs of ASCII, as most markup and string files nearly are, widen a block at a time.
        if (pos >= blockRetry) {
            while (filled <= kChunk - kAsciiBlock && size - pos >= kAsciiBlock) {
                if (!widenAsciiBlock(bytes + pos, chunk + filled)) {
                    blockRetry = pos + kAsciiBlock;
                    break;
                }
                filled += kAsciiBlock;
                pos += kAsciiBlock;
            }
        }
        if (filled >= kChunk) {
            units.append(chunk, filled);
            filled = 0;
            continue;
        }
        if (pos >= size) break;
        // One sequence; its length is the lead byte's count of leading one bits, and 0x00-0xBF stand alone.
        const unsigned char b0 = bytes[pos];
        const std::size_t left = size - pos;
        if (b0 < 0xC0) {
            chunk[filled] = b0;
            pos += 1;
        } else if (b0 < 0xE0) {
            if (left < 2 || !isContinuation(bytes[pos + 1])) break;
            chunk[filled] = static_cast<char16_t>(((b0 & 0x1Fu) << 6) | (bytes[pos + 1] & 0x3Fu));
            pos += 2;
        } else if (b0 < 0xF0) {
            if (left < 3 || !isContinuation(bytes[pos + 1]) || !isContinuation(bytes[pos + 2])) break;
            chunk[filled] = static_cast<char16_t>(((b0 & 0x0Fu) << 12) | ((bytes[pos + 1] & 0x3Fu) << 6) |
                                                  (bytes[pos + 2] & 0x3Fu));
            pos += 3;
        } else if (b0 < 0xF8) {
            if (left < 4 || !isContinuation(bytes[pos + 1]) || !isContinuation(bytes[pos + 2]) ||
                !isContinuation(bytes[pos + 3])) {
                break;
            }
            chunk[filled] = kFourByteSequenceUnit;
            pos += 4;
        } else {
            // Five to eight leading ones: no such sequence is accepted, however many bytes follow.
            break;
        }
        ++filled;
    }
    if (pos < size) {
        // A malformed sequence rejects the whole input.
        units.resize(start);
        return false;
    }
    units.append(chunk, filled);
    return true;
}
