#include "server/registrar/ValueEncoding.h"

#include <cctype>

namespace registrar {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

void encodeMultiString(const std::string& text, LeadBytePredicate isLeadByte, std::string& data) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length =
            isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (length == 1 && text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
            data += '\0';
            i += 2;
        } else {
            data.append(text, i, length);
            i += length;
        }
    }
    data.append(2, '\0');
    // The list ends with its first empty piece; anything after that is not part of it.
    std::size_t end = 0;
    for (;;) {
        const std::size_t pieceEnd = data.find('\0', end);
        const bool empty = pieceEnd == end;
        end = pieceEnd + 1;
        if (empty) break;
    }
    data.resize(end);
}

}  // namespace

Result encodeValue(const std::string& type, const std::string& text, const TextRules& rules,
                   EncodedValue& value) {
    if (type.size() != 1) return kSyntaxError;
    std::string& data = value.data;
    data.clear();
    switch (std::toupper(static_cast<unsigned char>(type[0]))) {
        case 'S':
            value.type = kString;
            data = text;
            data += '\0';
            return kOk;
        case 'M':
            value.type = kMultiString;
            encodeMultiString(text, rules.isLeadByte, data);
            return kOk;
        case 'D': {
            value.type = kDword;
            std::uint32_t number = 0;
            const Result converted = rules.toNumber(text, number);
            if (converted == kOutOfMemory) return converted;
            // A text that is not a number stores 0 rather than whatever the conversion left behind.
            if (failed(converted)) number = 0;
            for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((number >> shift) & 0xFF);
            return kOk;
        }
        case 'B':
            value.type = kBinary;
            if (text.size() % 2 != 0) return kFail;
            data.assign(text.size() / 2, '\0');
            for (std::size_t i = 0; i < text.size(); ++i) {
                const int digit = hexDigit(text[i]);
                data[i / 2] = static_cast<char>(static_cast<unsigned char>(data[i / 2]) +
                                                (i % 2 == 0 ? digit << 4 : digit));
            }
            return kOk;
        default:
            return kSyntaxError;
    }
}

}  // namespace registrar
