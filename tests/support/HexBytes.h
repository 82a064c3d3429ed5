#pragma once

#include <cstdio>
#include <string>

// Bytes in hexadecimal, so that a failure shows exactly what a conversion or an encoding produced.
inline std::string hex(const std::string& text) {
    std::string out;
    char buffer[4];
    for (unsigned char c : text) {
        std::snprintf(buffer, sizeof buffer, "%02X ", c);
        out += buffer;
    }
    return out;
}
