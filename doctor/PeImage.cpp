#include "doctor/PeImage.h"

namespace doctor {
namespace {

constexpr std::size_t kNtHeadersPointerAt = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSymbolSize = 18;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
// Windows maps no more sections than this; a header that claims more is damaged.
constexpr uint16_t kMostSections = 96;
constexpr std::size_t kMostDirectories = 16;
// Bounds for the tables an image points at, far beyond any real library: a hostile count ends the read.
constexpr std::size_t kMostImportedLibraries = 1024;
constexpr std::size_t kLongestLibraryName = 260;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kDelayDescriptorSize = 32;
constexpr std::size_t kDebugEntrySize = 28;
constexpr uint32_t kDebugTypeExDllCharacteristics = 20;
constexpr uint16_t kCertificateRevision2 = 0x0200;
constexpr uint16_t kCertificatePkcsSignedData = 0x0002;

// The bytes of a file with every read bounded by them: a read that does not fit fails instead of running past.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    bool holds(std::size_t at, std::size_t count) const { return at <= size_ && size_ - at >= count; }

    std::optional<uint64_t> number(std::size_t at, std::size_t count) const {
        if (!holds(at, count)) return std::nullopt;
        uint64_t value = 0;
        for (std::size_t index = count; index-- > 0;) value = value << 8 | data_[at + index];
        return value;
    }
    uint16_t u16(std::size_t at) const { return static_cast<uint16_t>(number(at, 2).value_or(0)); }
    uint32_t u32(std::size_t at) const { return static_cast<uint32_t>(number(at, 4).value_or(0)); }

    // A NUL-terminated name of at most `longest` characters; nullopt when it is longer or not terminated.
    std::optional<std::string> name(std::size_t at, std::size_t longest) const {
        std::string text;
        for (std::size_t index = at; holds(index, 1); ++index) {
            if (data_[index] == 0) return text;
            if (text.size() == longest) break;
            text += static_cast<char>(data_[index]);
        }
        return std::nullopt;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
};

// An 8-byte section name, or its long form: "/<decimal offset>" into the COFF string table, which follows the
// symbols (a stripped image has neither, and keeps the short form).
std::string sectionName(const Bytes& bytes, std::size_t at, uint32_t symbols, uint32_t symbolCount) {
    std::string name;
    for (std::size_t index = 0; index < 8; ++index) {
        const auto letter = bytes.number(at + index, 1);
        if (!letter || *letter == 0) break;
        name += static_cast<char>(*letter);
    }
    if (name.size() < 2 || name[0] != '/' || symbols == 0) return name;
    uint64_t offset = 0;
    for (std::size_t index = 1; index < name.size(); ++index) {
        if (name[index] < '0' || name[index] > '9') return name;
        offset = offset * 10 + static_cast<uint64_t>(name[index] - '0');
    }
    const uint64_t strings = symbols + uint64_t{symbolCount} * kSymbolSize;
    return bytes.name(static_cast<std::size_t>(strings + offset), kLongestLibraryName).value_or(name);
}

// The library names of an import table: descriptors of `entrySize` bytes until an empty one, the name's address
// at `nameAt` within each. `toAddress` turns what a descriptor holds into an image address (delay-load
// descriptors of the oldest form hold a virtual address).
template <typename ToAddress>
bool readImportNames(const PeImage& image, const Bytes& bytes, PeDirectory which, std::size_t entrySize,
                     std::size_t nameAt, ToAddress toAddress, std::vector<std::string>& names) {
    const PeRange table = image.directory(which);
    if (table.address == 0 || table.size == 0) return true;
    const auto start = image.fileOffsetOf(table.address);
    if (!start) return false;
    for (std::size_t index = 0; index < kMostImportedLibraries; ++index) {
        const std::size_t at = *start + index * entrySize;
        if (!bytes.holds(at, entrySize)) return false;
        const uint32_t name = bytes.u32(at + nameAt);
        if (name == 0) return true;
        const auto address = toAddress(bytes, at, name);
        const auto nameOffset = address ? image.fileOffsetOf(*address) : std::nullopt;
        const auto text = nameOffset ? bytes.name(*nameOffset, kLongestLibraryName) : std::nullopt;
        if (!text) return false;
        names.push_back(*text);
    }
    return false;
}

bool readExtendedCharacteristics(PeImage& image, const Bytes& bytes) {
    const PeRange table = image.directory(PeDirectory::Debug);
    if (table.address == 0 || table.size == 0) return true;
    const auto start = image.fileOffsetOf(table.address);
    if (!start || !bytes.holds(*start, table.size)) return false;
    for (std::size_t at = *start; at + kDebugEntrySize <= *start + table.size; at += kDebugEntrySize) {
        if (bytes.u32(at + 12) != kDebugTypeExDllCharacteristics) continue;
        const uint32_t dataSize = bytes.u32(at + 16);
        const uint32_t dataAt = bytes.u32(at + 24);
        if (dataSize < 4 || !bytes.holds(dataAt, 4)) return false;
        image.extendedDllCharacteristics = bytes.u32(dataAt);
    }
    return true;
}

}  // namespace

PeRange PeImage::directory(PeDirectory which) const {
    const auto index = static_cast<std::size_t>(which);
    return index < directories.size() ? directories[index] : PeRange{};
}

const PeSection* PeImage::sectionHolding(uint32_t address) const {
    for (const PeSection& section : sections) {
        const uint32_t span = section.virtualSize != 0 ? section.virtualSize : section.rawSize;
        if (address >= section.virtualAddress && address - section.virtualAddress < span) return &section;
    }
    return nullptr;
}

std::optional<std::size_t> PeImage::fileOffsetOf(uint32_t address) const {
    const PeSection* section = sectionHolding(address);
    if (!section || address - section->virtualAddress >= section->rawSize) return std::nullopt;
    return std::size_t{section->rawOffset} + (address - section->virtualAddress);
}

std::optional<std::size_t> ntHeadersAt(const unsigned char* bytes, std::size_t size) {
    const Bytes file(bytes, size);
    if (!file.holds(0, kNtHeadersPointerAt + 4) || bytes[0] != 'M' || bytes[1] != 'Z') return std::nullopt;
    const uint32_t at = file.u32(kNtHeadersPointerAt);
    if (!file.holds(at, 4) || file.u32(at) != 0x00004550) return std::nullopt;
    return at;
}

std::optional<PeImage> readPeHeaders(const unsigned char* bytes, std::size_t size) {
    const auto nt = ntHeadersAt(bytes, size);
    if (!nt) return std::nullopt;
    const Bytes file(bytes, size);
    const std::size_t coff = *nt + 4;
    const std::size_t optional = coff + kCoffHeaderSize;
    if (!file.holds(coff, kCoffHeaderSize)) return std::nullopt;
    PeImage image;
    image.machine = file.u16(coff);
    const uint16_t sectionCount = file.u16(coff + 2);
    image.timeDateStamp = file.u32(coff + 4);
    image.symbolTableOffset = file.u32(coff + 8);
    image.symbolCount = file.u32(coff + 12);
    const uint16_t optionalSize = file.u16(coff + 16);
    image.characteristics = file.u16(coff + 18);
    if (sectionCount > kMostSections || !file.holds(optional, optionalSize)) return std::nullopt;

    const uint16_t magic = file.u16(optional);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) return std::nullopt;
    image.pe32Plus = magic == kMagicPe32Plus;
    // The two forms differ in the width of the image base and what follows it; the directories close both.
    const std::size_t directoryCountAt = image.pe32Plus ? 108 : 92;
    if (optionalSize < directoryCountAt + 4) return std::nullopt;
    image.imageBase = image.pe32Plus ? file.number(optional + 24, 8).value_or(0) : file.u32(optional + 28);
    image.sectionAlignment = file.u32(optional + 32);
    image.fileAlignment = file.u32(optional + 36);
    image.checkSum = file.u32(optional + 64);
    image.dllCharacteristics = file.u16(optional + 70);
    const uint32_t declared = file.u32(optional + directoryCountAt);
    const std::size_t directoryCount = declared < kMostDirectories ? declared : kMostDirectories;
    if ((optionalSize - directoryCountAt - 4) / 8 < directoryCount) return std::nullopt;
    for (std::size_t index = 0; index < directoryCount; ++index) {
        const std::size_t at = optional + directoryCountAt + 4 + index * 8;
        image.directories.push_back({file.u32(at), file.u32(at + 4)});
    }

    const std::size_t sectionTable = optional + optionalSize;
    if (!file.holds(sectionTable, std::size_t{sectionCount} * kSectionHeaderSize)) return std::nullopt;
    for (std::size_t index = 0; index < sectionCount; ++index) {
        const std::size_t at = sectionTable + index * kSectionHeaderSize;
        PeSection section;
        section.name = sectionName(file, at, image.symbolTableOffset, image.symbolCount);
        section.virtualSize = file.u32(at + 8);
        section.virtualAddress = file.u32(at + 12);
        section.rawSize = file.u32(at + 16);
        section.rawOffset = file.u32(at + 20);
        section.characteristics = file.u32(at + 36);
        image.sections.push_back(section);
    }
    return image;
}

std::optional<PeImage> readPeImage(const unsigned char* bytes, std::size_t size) {
    auto image = readPeHeaders(bytes, size);
    if (!image) return std::nullopt;
    const Bytes file(bytes, size);
    const auto plainAddress = [](const Bytes&, std::size_t, uint32_t name) -> std::optional<uint32_t> {
        return name;
    };
    // A delay-load descriptor whose first attribute bit is clear holds virtual addresses, not image ones.
    const uint64_t base = image->imageBase;
    const auto delayAddress = [base](const Bytes& bytes, std::size_t at, uint32_t name) -> std::optional<uint32_t> {
        if (bytes.u32(at) & 1) return name;
        if (name < base || name - base > UINT32_MAX) return std::nullopt;
        return static_cast<uint32_t>(name - base);
    };
    if (!readImportNames(*image, file, PeDirectory::Import, kImportDescriptorSize, 12, plainAddress,
                         image->imports) ||
        !readImportNames(*image, file, PeDirectory::DelayImport, kDelayDescriptorSize, 4, delayAddress,
                         image->delayImports) ||
        !readExtendedCharacteristics(*image, file)) {
        return std::nullopt;
    }
    return image;
}

std::optional<uint32_t> symbolAddress(const PeImage& image, const unsigned char* bytes, std::size_t size,
                                      const std::string& name) {
    const Bytes file(bytes, size);
    const uint64_t strings = image.symbolTableOffset + uint64_t{image.symbolCount} * kSymbolSize;
    if (image.symbolTableOffset == 0 || strings > size) return std::nullopt;
    for (uint32_t index = 0; index < image.symbolCount; ++index) {
        const std::size_t at = image.symbolTableOffset + std::size_t{index} * kSymbolSize;
        // A name of up to 8 bytes is held in place; a longer one is an offset into the string table.
        std::optional<std::string> symbol;
        if (file.u32(at) == 0) {
            symbol = file.name(static_cast<std::size_t>(strings) + file.u32(at + 4), name.size());
        } else {
            symbol = std::string();
            for (std::size_t letter = 0; letter < 8 && bytes[at + letter] != 0; ++letter)
                *symbol += static_cast<char>(bytes[at + letter]);
        }
        const uint16_t section = file.u16(at + 12);
        if (symbol == name && section >= 1 && section <= image.sections.size())
            return image.sections[section - 1].virtualAddress + file.u32(at + 8);
        // Auxiliary records follow their symbol and are no symbols of their own.
        index += static_cast<uint32_t>(file.number(at + 17, 1).value_or(0));
    }
    return std::nullopt;
}

bool hasAuthenticodeSignature(const PeImage& image, const unsigned char* bytes, std::size_t size) {
    const Bytes file(bytes, size);
    const PeRange table = image.directory(PeDirectory::Security);
    if (table.size < 8 || !file.holds(table.address, table.size)) return false;
    const uint32_t length = file.u32(table.address);
    return length >= 8 && length <= table.size && file.u16(table.address + 4) == kCertificateRevision2 &&
           file.u16(table.address + 6) == kCertificatePkcsSignedData;
}

}  // namespace doctor
