#include "tools/testing/PlainNumber.h"

#include <cctype>

using namespace registrar;

Result plainNumber(const std::string& text, std::uint32_t& number) {
    std::size_t begin = text.find_first_not_of(' ');
    const std::size_t end = text.find_last_not_of(' ') + 1;
    if (begin == std::string::npos) return kFail;
    unsigned base = 10;
    if (end - begin > 2 && text[begin] == '&' && (text[begin + 1] == 'H' || text[begin + 1] == 'h')) {
        base = 16;
        begin += 2;
    }
    std::uint64_t value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const int c = static_cast<unsigned char>(text[i]);
        const bool digit = std::isdigit(c) || (base == 16 && std::isxdigit(c));
        if (!digit) return kFail;
        value = value * base + static_cast<unsigned>(std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
        if (value > 0xFFFFFFFFu) return kFail;
    }
    number = static_cast<std::uint32_t>(value);
    return kOk;
}
