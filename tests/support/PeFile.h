#pragma once

// A PE file laid out byte by byte as the linkers lay out our libraries (sections a page apart in memory, 512
// bytes apart in the file), for the tests of the readers of PE images: every field a row may want to spoil is
// a member. No operating system needed.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

struct PeFile {
    struct Section {
        std::string name;  // longer than 8 characters: the COFF string table holds it
        uint32_t characteristics;
        std::vector<unsigned char> data;
    };
    struct Symbol {
        std::string name;
        uint16_t section;  // 1-based
        uint32_t value;    // offset in the section
    };

    bool pe32Plus = true;
    uint16_t machine = 0x8664;
    uint16_t characteristics = 0x2022;  // a DLL, large-address aware, executable
    uint16_t dllCharacteristics = 0x0160;
    uint64_t imageBase = 0x3A9090000;
    uint32_t sectionAlignment = 0x1000;
    std::vector<Section> sections = {{".text", 0x60000020, std::vector<unsigned char>(64, 0x90)},
                                     {".data", 0xC0000040, std::vector<unsigned char>(16)},
                                     {".reloc", 0x42000040, std::vector<unsigned char>(12)}};
    std::vector<std::string> imports = {"KERNEL32.dll", "msvcrt.dll"};  // an .idata section, when any
    std::vector<std::string> delayImports;                             // a .didat section, when any
    std::vector<Symbol> symbols;
    bool cetCompatible = false;  // a debug directory with the extended characteristics
    uint32_t entryPoint = 0;
    std::vector<std::pair<std::string, uint32_t>>
        exports;  // an .edata section, when any: names and addresses
    // A load configuration (an .rdata section of its own, with the guard's function table after it), when
    // loadConfigSize is not 0.
    uint32_t loadConfigSize = 0;
    uint16_t dependentLoadFlags = 0;
    uint64_t guardCheck = 0, guardDispatch = 0;  // the pointers' addresses as written
    uint32_t guardFlags = 0;
    std::vector<uint32_t> guardFunctions;
    bool signature = true;       // a WIN_CERTIFICATE of PKCS #7 signed data at the end
    uint16_t certificateRevision = 0x0200;

    std::vector<unsigned char> bytes() const {
        std::vector<Section> all = sections;
        std::vector<uint32_t> directory(16 * 2);
        const auto nextVa = [&all] { return 0x1000 * static_cast<uint32_t>(all.size() + 1); };
        const auto addTable = [&](const char* name, int index, const std::vector<std::string>& names,
                                  std::size_t entry, std::size_t nameAt, uint32_t attributes) {
            if (names.empty()) return;
            const uint32_t va = nextVa();
            std::vector<unsigned char> data(entry * (names.size() + 1));
            for (std::size_t at = 0; at < names.size(); ++at) {
                put(data, at * entry, attributes, 4);
                put(data, at * entry + nameAt, va + static_cast<uint32_t>(data.size()), 4);
                data.insert(data.end(), names[at].begin(), names[at].end());
                data.push_back(0);
            }
            directory[index * 2] = va;
            directory[index * 2 + 1] = static_cast<uint32_t>(entry * (names.size() + 1));
            all.push_back({name, 0xC0000040, data});
        };
        addTable(".idata", 1, imports, 20, 12, 0);
        addTable(".didat", 13, delayImports, 32, 4, 1);
        if (!exports.empty()) {
            const uint32_t va = nextVa();
            const std::size_t count = exports.size();
            std::vector<unsigned char> data(40 + count * 10);
            put(data, 20, count, 4);
            put(data, 24, count, 4);
            put(data, 28, va + 40, 4);
            put(data, 32, va + 40 + 4 * count, 4);
            put(data, 36, va + 40 + 8 * count, 4);
            for (std::size_t at = 0; at < count; ++at) {
                put(data, 40 + 4 * at, exports[at].second, 4);
                put(data, 40 + 4 * count + 4 * at, va + data.size(), 4);
                put(data, 40 + 8 * count + 2 * at, at, 2);
                data.insert(data.end(), exports[at].first.begin(), exports[at].first.end());
                data.push_back(0);
            }
            directory[0] = va;
            directory[1] = static_cast<uint32_t>(data.size());
            all.push_back({".edata", 0x40000040, data});
        }
        if (loadConfigSize != 0) {
            const uint32_t va = nextVa();
            const std::size_t word = pe32Plus ? 8 : 4, check = pe32Plus ? 112 : 72;
            std::vector<unsigned char> data(std::max<std::size_t>(loadConfigSize, check + 5 * word));
            put(data, 0, loadConfigSize, 4);
            put(data, pe32Plus ? 78 : 54, dependentLoadFlags, 2);
            put(data, check, guardCheck, word);
            put(data, check + word, guardDispatch, word);
            put(data, check + 2 * word, guardFunctions.empty() ? 0 : imageBase + va + data.size(), word);
            put(data, check + 3 * word, guardFunctions.size(), word);
            put(data, check + 4 * word, guardFlags, 4);
            for (uint32_t function : guardFunctions) {
                data.resize(data.size() + 4);
                put(data, data.size() - 4, function, 4);
            }
            directory[10 * 2] = va;
            directory[10 * 2 + 1] = loadConfigSize;
            all.push_back({".rdata", 0x40000040, data});
        }
        for (std::size_t index = 0; index < all.size(); ++index) {
            if (all[index].name == ".reloc") directory[5 * 2] = 0x1000 * static_cast<uint32_t>(index + 1);
            if (all[index].name == ".reloc") directory[5 * 2 + 1] = static_cast<uint32_t>(all[index].data.size());
        }
        if (cetCompatible) {
            std::vector<unsigned char> debug(28 + 4);
            put(debug, 12, 20, 4);  // IMAGE_DEBUG_TYPE_EX_DLLCHARACTERISTICS
            put(debug, 16, 4, 4);
            put(debug, 28, 1, 4);   // CET_COMPAT
            directory[6 * 2] = nextVa();
            directory[6 * 2 + 1] = 28;
            all.push_back({".buildid", 0x40000040, debug});
        }

        std::string strings(4, '\0');
        const std::size_t optionalSize = (pe32Plus ? 112 : 96) + 16 * 8;
        const std::size_t headers = 0x40 + 24 + optionalSize + 40 * all.size();
        std::vector<unsigned char> file((headers + 0x1FF) & ~std::size_t{0x1FF});
        file[0] = 'M';
        file[1] = 'Z';
        put(file, 0x3C, 0x40, 4);
        put(file, 0x40, 0x4550, 4);
        const std::size_t coff = 0x44, optional = coff + 20;
        put(file, coff, machine, 2);
        put(file, coff + 2, all.size(), 2);
        put(file, coff + 16, optionalSize, 2);
        put(file, coff + 18, characteristics, 2);
        put(file, optional, pe32Plus ? 0x20B : 0x10B, 2);
        put(file, pe32Plus ? optional + 24 : optional + 28, imageBase, pe32Plus ? 8 : 4);
        put(file, optional + 16, entryPoint, 4);
        put(file, optional + 32, sectionAlignment, 4);
        put(file, optional + 36, 0x200, 4);
        put(file, optional + 70, dllCharacteristics, 2);
        const std::size_t directories = optional + (pe32Plus ? 108 : 92);
        put(file, directories, 16, 4);
        for (std::size_t index = 0; index < directory.size(); ++index)
            put(file, directories + 4 + index * 4, directory[index], 4);

        for (std::size_t index = 0; index < all.size(); ++index) {
            const std::size_t at = optional + optionalSize + index * 40;
            std::string name = all[index].name;
            if (name.size() > 8) {
                const std::size_t offset = strings.size();
                strings += name + '\0';
                name = "/" + std::to_string(offset);
            }
            std::copy(name.begin(), name.end(), file.begin() + at);
            const std::vector<unsigned char>& data = all[index].data;
            put(file, at + 8, data.size(), 4);
            put(file, at + 12, 0x1000 * (index + 1), 4);
            put(file, at + 16, (data.size() + 0x1FF) & ~std::size_t{0x1FF}, 4);
            put(file, at + 20, file.size(), 4);
            put(file, at + 36, all[index].characteristics, 4);
            const std::size_t raw = file.size();
            file.insert(file.end(), data.begin(), data.end());
            // The debug entry points at its data by file offset.
            if (all[index].name == ".buildid") put(file, raw + 24, raw + 28, 4);
            file.resize((file.size() + 0x1FF) & ~std::size_t{0x1FF});
        }
        if (!symbols.empty() || strings.size() > 4) {
            put(file, coff + 8, file.size(), 4);
            put(file, coff + 12, symbols.size(), 4);
            for (const Symbol& symbol : symbols) {
                std::vector<unsigned char> record(18);
                if (symbol.name.size() > 8) {
                    put(record, 4, strings.size(), 4);
                    strings += symbol.name + '\0';
                } else {
                    std::copy(symbol.name.begin(), symbol.name.end(), record.begin());
                }
                put(record, 8, symbol.value, 4);
                put(record, 12, symbol.section, 2);
                file.insert(file.end(), record.begin(), record.end());
            }
            put(strings, 0, strings.size(), 4);
            file.insert(file.end(), strings.begin(), strings.end());
        }
        if (signature) {
            file.resize((file.size() + 7) & ~std::size_t{7});
            put(file, directories + 4 + 4 * 8, file.size(), 4);
            put(file, directories + 4 + 4 * 8 + 4, 16, 4);
            std::vector<unsigned char> certificate(16, 0x30);
            put(certificate, 0, 16, 4);
            put(certificate, 4, certificateRevision, 2);
            put(certificate, 6, 2, 2);
            file.insert(file.end(), certificate.begin(), certificate.end());
        }
        return file;
    }

    template <typename Bytes>
    static void put(Bytes& bytes, std::size_t at, uint64_t value, std::size_t count) {
        for (std::size_t index = 0; index < count; ++index)
            bytes[at + index] = static_cast<typename Bytes::value_type>(value >> (8 * index) & 0xFF);
    }
};
