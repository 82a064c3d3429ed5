#pragma once

#include <cstddef>
#include <string>

// Text that a platform call left in a fixed buffer: the bytes up to the first NUL among the `returned` bytes
// the call reported, never beyond them. Data that fills the whole buffer without a NUL did not fit (the
// platform then hands back a truncated, unterminated piece), so it counts as absent. May throw
// std::bad_alloc.
inline std::string boundedText(const char* buffer, std::size_t returned, std::size_t capacity) {
    const std::size_t available = returned < capacity ? returned : capacity;
    for (std::size_t i = 0; i < available; ++i) {
        if (buffer[i] == '\0') return std::string(buffer, i);
    }
    if (available == capacity) return std::string();
    return std::string(buffer, available);
}
