#pragma once

#include <cstddef>
#include <string>

// The add-in's own UTF-8 decoder: strict about multi-byte structure (a malformed sequence rejects the whole
// input), lenient about everything else (overlong forms and surrogate code points decode to their value; a
// stray continuation byte passes as the character of the same number; a byte-order mark is kept).

// A four-byte sequence (a code point above U+FFFF) cannot fit the one 16-bit unit that every sequence decodes
// to; it becomes the replacement character, which the narrow code page later shows as its default character.
constexpr char16_t kFourByteSequenceUnit = 0xFFFD;

// Decodes `size` bytes into one UTF-16 unit per sequence, appending to `units`. Returns false (and leaves
// `units` as it was) when a sequence runs past the end, has a lead byte 0xF8-0xFF or lacks a continuation
// byte.
bool decodeUtf8(const unsigned char* bytes, std::size_t size, std::u16string& units);
