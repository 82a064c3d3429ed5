#include "doctor/PeImage.h"

#include <cstdio>

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
constexpr std::size_t kMostGuardFunctions = 1 << 20;
constexpr std::size_t kMostExports = 1 << 16;
constexpr std::size_t kMostTlsCallbacks = 64;
constexpr std::size_t kRuntimeFunctionSize = 12;
constexpr uint8_t kUnwindExceptionHandler = 0x1;
constexpr uint8_t kUnwindTerminationHandler = 0x2;
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
    image.entryPoint = file.u32(optional + 16);
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

namespace {

// The image address of an address as the image writes it (at its preferred base); nullopt outside the image.
std::optional<uint32_t> imageAddress(const PeImage& image, uint64_t written) {
    if (written < image.imageBase || written - image.imageBase > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(written - image.imageBase);
}

}  // namespace

std::optional<PeLoadConfiguration> readLoadConfiguration(const PeImage& image, const unsigned char* bytes,
                                                         std::size_t size) {
    const Bytes file(bytes, size);
    const PeRange directory = image.directory(PeDirectory::LoadConfig);
    if (directory.address == 0 || directory.size == 0) return std::nullopt;
    const auto at = image.fileOffsetOf(directory.address);
    if (!at || !file.holds(*at, 4)) return std::nullopt;
    PeLoadConfiguration config;
    config.size = file.u32(*at);
    if (!file.holds(*at, config.size)) return std::nullopt;
    // The two layouts: where each field lies, and how wide an address is.
    const std::size_t word = image.pe32Plus ? 8 : 4;
    const std::size_t dependentAt = image.pe32Plus ? 78 : 54;
    const std::size_t cookieAt = image.pe32Plus ? 88 : 60;
    const std::size_t checkAt = image.pe32Plus ? 112 : 72;
    const auto field = [&](std::size_t offset, std::size_t width) -> uint64_t {
        return offset + width <= config.size ? file.number(*at + offset, width).value_or(0) : 0;
    };
    config.dependentLoadFlags = static_cast<uint16_t>(field(dependentAt, 2));
    config.securityCookie = field(cookieAt, word);
    config.guardCheckFunction = field(checkAt, word);
    config.guardDispatchFunction = field(checkAt + word, word);
    const uint64_t table = field(checkAt + 2 * word, word);
    const uint64_t count = field(checkAt + 3 * word, word);
    config.guardFlags = static_cast<uint32_t>(field(checkAt + 4 * word, 4));
    if (table == 0 || count == 0) return config;
    const std::size_t stride = 4 + (config.guardFlags >> kGuardCfTableStrideShift);
    const auto tableAddress = imageAddress(image, table);
    const auto tableAt = tableAddress ? image.fileOffsetOf(*tableAddress) : std::nullopt;
    if (count > kMostGuardFunctions || !tableAt ||
        !file.holds(*tableAt, static_cast<std::size_t>(count) * stride))
        return std::nullopt;
    for (std::size_t index = 0; index < count; ++index)
        config.guardFunctions.push_back(file.u32(*tableAt + index * stride));
    return config;
}

std::optional<std::vector<PeCallTarget>> callTargetsFromOutside(const PeImage& image,
                                                                const unsigned char* bytes,
                                                                std::size_t size) {
    const Bytes file(bytes, size);
    std::vector<PeCallTarget> targets;
    if (image.entryPoint != 0) targets.push_back({image.entryPoint, "entry point"});

    // Exports: the address table, with each name that points into it.
    const PeRange exports = image.directory(PeDirectory::Export);
    if (exports.address != 0 && exports.size != 0) {
        const auto at = image.fileOffsetOf(exports.address);
        if (!at || !file.holds(*at, 40)) return std::nullopt;
        const uint32_t functionCount = file.u32(*at + 20);
        const uint32_t nameCount = file.u32(*at + 24);
        const auto functions = image.fileOffsetOf(file.u32(*at + 28));
        const auto names = image.fileOffsetOf(file.u32(*at + 32));
        const auto ordinals = image.fileOffsetOf(file.u32(*at + 36));
        if (functionCount > kMostExports || nameCount > functionCount || !functions ||
            !file.holds(*functions, std::size_t{functionCount} * 4) ||
            (nameCount != 0 && (!names || !ordinals || !file.holds(*names, std::size_t{nameCount} * 4) ||
                                !file.holds(*ordinals, std::size_t{nameCount} * 2))))
            return std::nullopt;
        std::vector<std::string> exportNames(functionCount);
        for (uint32_t index = 0; index < nameCount; ++index) {
            const uint16_t ordinal = file.u16(*ordinals + index * 2);
            const auto nameAt = image.fileOffsetOf(file.u32(*names + index * 4));
            const auto name = nameAt ? file.name(*nameAt, kLongestLibraryName) : std::nullopt;
            if (ordinal >= functionCount || !name) return std::nullopt;
            exportNames[ordinal] = *name;
        }
        for (uint32_t index = 0; index < functionCount; ++index) {
            const uint32_t address = file.u32(*functions + index * 4);
            // An address inside the export directory forwards to another library's export.
            if (address == 0 || (address >= exports.address && address - exports.address < exports.size))
                continue;
            targets.push_back({address, "export " + (exportNames[index].empty() ? "#" + std::to_string(index)
                                                                                : exportNames[index])});
        }
    }

    // TLS callbacks: a zero-terminated array of addresses as written.
    const PeRange tls = image.directory(PeDirectory::Tls);
    if (tls.address != 0 && tls.size != 0) {
        const std::size_t word = image.pe32Plus ? 8 : 4;
        const auto at = image.fileOffsetOf(tls.address);
        if (!at || !file.holds(*at, 4 * word)) return std::nullopt;
        const uint64_t callbacks = file.number(*at + 3 * word, word).value_or(0);
        if (callbacks != 0) {
            const auto listAddress = imageAddress(image, callbacks);
            const auto list = listAddress ? image.fileOffsetOf(*listAddress) : std::nullopt;
            if (!list) return std::nullopt;
            for (std::size_t index = 0;; ++index) {
                if (index == kMostTlsCallbacks || !file.holds(*list + index * word, word))
                    return std::nullopt;
                const uint64_t callback = file.number(*list + index * word, word).value_or(0);
                if (callback == 0) break;
                const auto address = imageAddress(image, callback);
                if (!address) return std::nullopt;
                targets.push_back({*address, "TLS callback " + std::to_string(index + 1)});
            }
        }
    }

    // A 64-bit image's unwind information: each function's UNWIND_INFO, whose exception or termination
    // handler the system's dispatcher calls. A chained entry carries no handler of its own.
    const PeRange pdata = image.directory(PeDirectory::Exception);
    if (image.pe32Plus && pdata.address != 0 && pdata.size != 0) {
        const auto at = image.fileOffsetOf(pdata.address);
        if (!at || !file.holds(*at, pdata.size)) return std::nullopt;
        std::vector<uint32_t> seen;
        for (std::size_t entry = 0; entry + kRuntimeFunctionSize <= pdata.size;
             entry += kRuntimeFunctionSize) {
            const uint32_t begin = file.u32(*at + entry);
            const auto unwind = image.fileOffsetOf(file.u32(*at + entry + 8) & ~1u);
            if (!unwind || !file.holds(*unwind, 4)) return std::nullopt;
            const uint8_t flags = static_cast<uint8_t>((file.u16(*unwind) & 0xFF) >> 3);
            if (!(flags & (kUnwindExceptionHandler | kUnwindTerminationHandler))) continue;
            const std::size_t codes = (file.u16(*unwind + 2) & 0xFF);
            const std::size_t handlerAt = *unwind + 4 + ((codes + 1) & ~std::size_t{1}) * 2;
            if (!file.holds(handlerAt, 4)) return std::nullopt;
            const uint32_t handler = file.u32(handlerAt);
            bool known = false;
            for (uint32_t address : seen) known = known || address == handler;
            if (known) continue;
            seen.push_back(handler);
            char text[48];
            std::snprintf(text, sizeof text, "exception handler of 0x%X", begin);
            targets.push_back({handler, text});
        }
    }
    return targets;
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
