#include "doctor/DisabledItemRecord.h"

namespace doctor {
namespace {

constexpr size_t kHeaderBytes = 12;

uint32_t wordAt(const uint8_t* data) {
    return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
           static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
}

void putWord(std::vector<uint8_t>& bytes, uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
}

// The UTF-16LE text of `length` bytes, up to its first NUL.
std::u16string textAt(const uint8_t* data, size_t length) {
    std::u16string text;
    for (size_t offset = 0; offset + 1 < length; offset += 2) {
        const char16_t unit = static_cast<char16_t>(data[offset] | data[offset + 1] << 8);
        if (unit == u'\0') break;
        text.push_back(unit);
    }
    return text;
}

void putText(std::vector<uint8_t>& bytes, const std::u16string& text) {
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

uint32_t byteLength(const std::u16string& text) {
    return static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t));
}

}  // namespace

DisabledItemReading readDisabledItem(const uint8_t* data, size_t size) {
    DisabledItemReading reading;
    if (!data || size < kHeaderBytes) {
        reading.problem = "shorter than its 12-byte header (" + std::to_string(size) + " bytes)";
        return reading;
    }
    const uint32_t kind = wordAt(data);
    const uint64_t pathBytes = wordAt(data + 4);
    const uint64_t nameBytes = wordAt(data + 8);
    if (pathBytes % 2 != 0 || nameBytes % 2 != 0) {
        reading.problem = "a length that is not a whole number of UTF-16 characters (" +
                          std::to_string(pathBytes) + ", " + std::to_string(nameBytes) + ")";
        return reading;
    }
    // In 64 bits, two lengths near 4 GB cannot wrap around to something that seems to fit.
    if (kHeaderBytes + pathBytes + nameBytes > size) {
        reading.problem = "its lengths (" + std::to_string(pathBytes) + " and " + std::to_string(nameBytes) +
                          " bytes) run past its end (" + std::to_string(size) + " bytes)";
        return reading;
    }
    reading.record.kind = kind;
    reading.record.path = textAt(data + kHeaderBytes, static_cast<size_t>(pathBytes));
    reading.record.friendlyName = textAt(data + kHeaderBytes + pathBytes, static_cast<size_t>(nameBytes));
    if (reading.record.path.empty()) {
        reading.problem = "it names no file";
        return reading;
    }
    reading.readable = true;
    return reading;
}

std::vector<uint8_t> disabledItemBytes(const DisabledItemRecord& record) {
    std::vector<uint8_t> bytes;
    putWord(bytes, record.kind);
    putWord(bytes, byteLength(record.path));
    putWord(bytes, byteLength(record.friendlyName));
    putText(bytes, record.path);
    putText(bytes, record.friendlyName);
    return bytes;
}

}  // namespace doctor
