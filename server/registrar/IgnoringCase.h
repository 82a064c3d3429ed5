#pragma once

#include <cctype>
#include <string>

namespace registrar {

// Whether `text` equals `other` without regard to ASCII letter case: script keywords, root names, protected
// key names and variable names all compare this way.
inline bool equalIgnoringCase(const std::string& text, const char* other) {
    std::size_t i = 0;
    for (; i < text.size() && other[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(other[i])))
            return false;
    }
    return i == text.size() && other[i] == '\0';
}

}  // namespace registrar
