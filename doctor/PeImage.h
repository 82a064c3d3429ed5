#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A program's or library's PE image as its headers describe it: how Windows maps it (base, alignment, sections),
// what it promises the loader (the DLL characteristics), where its tables lie, which libraries it imports and
// whether it carries a signature. Read from the file's bytes, without the operating system, so that the same
// reader serves the doctor on a customer's machine and our own release checks on the build machine. A file is
// input from a stranger: every offset, size and count is checked against the bytes there are.
namespace doctor {

// IMAGE_FILE_* (the COFF header's characteristics).
constexpr uint16_t kFileRelocsStripped = 0x0001;
constexpr uint16_t kFileLargeAddressAware = 0x0020;
constexpr uint16_t kFileDll = 0x2000;

// IMAGE_DLLCHARACTERISTICS_*.
constexpr uint16_t kDllHighEntropyVa = 0x0020;
constexpr uint16_t kDllDynamicBase = 0x0040;
constexpr uint16_t kDllNxCompat = 0x0100;
constexpr uint16_t kDllNoSeh = 0x0400;
constexpr uint16_t kDllGuardCf = 0x4000;

// IMAGE_SCN_* (a section's characteristics).
constexpr uint32_t kSectionShared = 0x10000000;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;

// IMAGE_DLLCHARACTERISTICS_EX_CET_COMPAT, in the extended characteristics a debug directory entry carries.
constexpr uint32_t kDllExCetCompat = 0x0001;

// The data directories the readers of an image ask for (IMAGE_DIRECTORY_ENTRY_*).
enum class PeDirectory : std::size_t {
    Export = 0,
    Import = 1,
    Exception = 3,
    Security = 4,  // its address is a file offset, not a memory address
    Relocation = 5,
    Debug = 6,
    Tls = 9,
    LoadConfig = 10,
    DelayImport = 13,
};

struct PeSection {
    std::string name;  // as the header or, for a long name, the COFF string table has it
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    uint32_t characteristics = 0;
};

struct PeRange {
    uint32_t address = 0;
    uint32_t size = 0;
};

struct PeImage {
    uint16_t machine = 0;
    uint16_t characteristics = 0;
    uint32_t timeDateStamp = 0;
    bool pe32Plus = false;  // a 64-bit image's optional header
    uint64_t imageBase = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint32_t entryPoint = 0;  // AddressOfEntryPoint; 0 for a library without one
    uint32_t checkSum = 0;
    uint16_t dllCharacteristics = 0;
    uint32_t extendedDllCharacteristics = 0;  // from the debug directory; 0 when it has none
    uint32_t symbolTableOffset = 0;           // a COFF symbol table (a debug file's); 0 when stripped
    uint32_t symbolCount = 0;
    std::vector<PeRange> directories;         // as many as the optional header declares (at most 16)
    std::vector<PeSection> sections;
    std::vector<std::string> imports;       // the libraries the import directory names, in its order
    std::vector<std::string> delayImports;  // and those loaded on first use

    PeRange directory(PeDirectory which) const;
    // The section whose memory holds `address`; nullptr when none does.
    const PeSection* sectionHolding(uint32_t address) const;
    // Where the byte loaded at `address` lies in the file; nullopt when no section's file data holds it.
    std::optional<std::size_t> fileOffsetOf(uint32_t address) const;
};

// Where the NT headers ("PE\0\0") start: the DOS header's pointer at 0x3C, checked against the bytes given.
std::optional<std::size_t> ntHeadersAt(const unsigned char* bytes, std::size_t size);

// The image in `bytes` (the whole file). nullopt when the headers, the section table or a table the image
// names (imports, delay-load imports, debug entries) lies outside the file or is not what it claims to be.
std::optional<PeImage> readPeImage(const unsigned char* bytes, std::size_t size);
// The headers and the section table alone: enough for a debug file, whose sections keep no contents.
std::optional<PeImage> readPeHeaders(const unsigned char* bytes, std::size_t size);

// The address of the symbol `name` in the image's COFF symbol table, which a stripped image leaves in its debug
// file (the same image, its sections' contents aside); nullopt when the table does not name it.
std::optional<uint32_t> symbolAddress(const PeImage& image, const unsigned char* bytes, std::size_t size,
                                      const std::string& name);

// IMAGE_GUARD_* (the load configuration's GuardFlags).
constexpr uint32_t kGuardCfInstrumented = 0x00000100;
constexpr uint32_t kGuardCfFunctionTablePresent = 0x00000400;
// Every entry of the guard's function table is a 4-byte address and this many bytes of flags (bits 28 to 31).
constexpr uint32_t kGuardCfTableStrideShift = 28;
// LOAD_LIBRARY_SEARCH_SYSTEM32, and every other flag that names where a dependent library may be found.
constexpr uint16_t kLoadLibrarySearchSystem32 = 0x0800;

// What an image's load configuration (IMAGE_LOAD_CONFIG_DIRECTORY32/64) says of the loader's search for its
// imports and of Control Flow Guard, with the guard's function table read out. Fields beyond the Size the
// image declares read as zero, as Windows takes them.
struct PeLoadConfiguration {
    uint32_t size = 0;
    uint16_t dependentLoadFlags = 0;
    uint64_t securityCookie = 0;      // an address, as written (at the preferred base)
    uint64_t guardCheckFunction = 0;  // addresses of the check and dispatch pointers
    uint64_t guardDispatchFunction = 0;
    uint32_t guardFlags = 0;
    std::vector<uint32_t> guardFunctions;  // the table: image addresses of every valid indirect-call target
};

// The load configuration of `image`; nullopt when it has none, or when it or the guard table it names lies
// outside the file.
std::optional<PeLoadConfiguration> readLoadConfiguration(const PeImage& image, const unsigned char* bytes,
                                                         std::size_t size);

// An address in the image that code outside it calls through a pointer, and what hands it out.
struct PeCallTarget {
    uint32_t address = 0;
    std::string what;  // "export Name", "entry point", "TLS callback 1", "exception handler of 0x1234"
};

// Every address that the loader, the system or a host reaches by an indirect call from what the image itself
// says: its exports, its entry point, its TLS callbacks and, in a 64-bit image, each language handler that
// its unwind information names. nullopt when one of those tables lies outside the file.
std::optional<std::vector<PeCallTarget>> callTargetsFromOutside(const PeImage& image,
                                                                const unsigned char* bytes, std::size_t size);

// Whether the security directory holds an Authenticode signature: a WIN_CERTIFICATE of revision 2.0 with
// PKCS#7 signed data, inside the file.
bool hasAuthenticodeSignature(const PeImage& image, const unsigned char* bytes, std::size_t size);

}  // namespace doctor
