#include "doctor/Machine.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "doctor/PeImage.h"

namespace doctor {
namespace {

// The NT headers of every program we know sit well inside this; a header further in is not looked for.
constexpr std::size_t kHeaderBytes = 64 * 1024;

struct MachineName {
    uint16_t machine;
    Bitness bitness;  // the Office that loads a DLL of this machine
    const char* name;
};

const MachineName kMachines[] = {
    {kMachineI386, Bitness::Bits32, "32-bit (x86)"},
    {kMachineAmd64, Bitness::Bits64, "64-bit (x64)"},
    {kMachineArm64, Bitness::Unknown, "ARM64"},
};

const MachineName* named(uint16_t machine) {
    for (const MachineName& entry : kMachines)
        if (entry.machine == machine) return &entry;
    return nullptr;
}

}  // namespace

uint16_t peMachine(const unsigned char* bytes, std::size_t size) {
    // Only the headers' start is needed: the doctor reads no more of a program than that.
    const auto at = ntHeadersAt(bytes, size);
    // Compared against what is left rather than summed, so that an offset near 4 GB cannot wrap around.
    if (!at || size - *at < 6) return 0;
    return static_cast<uint16_t>(bytes[*at + 4] | bytes[*at + 5] << 8);
}

uint16_t machineOfFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return 0;
    std::vector<unsigned char> bytes(kHeaderBytes);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return peMachine(bytes.data(), static_cast<std::size_t>(file.gcount()));
}

Bitness bitnessOf(uint16_t machine) {
    const MachineName* entry = named(machine);
    return entry ? entry->bitness : Bitness::Unknown;
}

uint16_t machineFor(Bitness bitness) {
    for (const MachineName& entry : kMachines)
        if (entry.bitness == bitness && bitness != Bitness::Unknown) return entry.machine;
    return 0;
}

const char* bitsText(Bitness bitness) {
    switch (bitness) {
        case Bitness::Bits32:
            return "32-bit";
        case Bitness::Bits64:
            return "64-bit";
        case Bitness::Unknown:
            break;
    }
    return "";
}

std::string machineText(uint16_t machine) {
    if (machine == 0) return "not a Windows program";
    if (const MachineName* entry = named(machine)) return entry->name;
    char text[24];
    std::snprintf(text, sizeof text, "machine 0x%04X", static_cast<unsigned>(machine));
    return text;
}

Bitness bitnessOfPlatform(const std::string& platform) {
    std::string lower;
    for (const char c : platform) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == "x86") return Bitness::Bits32;
    if (lower == "x64") return Bitness::Bits64;
    return Bitness::Unknown;
}

}  // namespace doctor
