#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Which machine a program or library is built for, read from its PE header, and what that means for Office:
// Windows loads a DLL only into a process of the same machine, so 32-bit Office needs the x86 add-in and
// 64-bit Office the x64 one. No operating system needed: the header is read from bytes.
namespace doctor {

enum class Bitness { Unknown, Bits32, Bits64 };

// The bitness this program is built for: the Office whose add-in it can load.
constexpr Bitness kThisBitness = sizeof(void*) == 8 ? Bitness::Bits64 : Bitness::Bits32;

// The COFF header's Machine field (IMAGE_FILE_MACHINE_*).
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

// The machine a PE file is built for, from the file's first `size` bytes: the DOS header's offset of the NT
// headers (at 0x3C), the "PE\0\0" signature there and the Machine field after it. 0 when the bytes hold no
// such header (not a program, or cut short before it).
uint16_t peMachine(const unsigned char* bytes, std::size_t size);

// The machine of the program or library at `path`, from its header; 0 when the file cannot be read or is no
// such file.
uint16_t machineOfFile(const std::filesystem::path& path);

// The bitness of Office whose programs are built for `machine`, and the add-in's machine Office of `bitness`
// loads. ARM64 is named in texts but is not what either Office loads.
Bitness bitnessOf(uint16_t machine);
uint16_t machineFor(Bitness bitness);

// "32-bit", "64-bit" (empty for Unknown).
const char* bitsText(Bitness bitness);
// For people: "64-bit (x64)", "32-bit (x86)", "ARM64", "machine 0x01C4"; "not a Windows program" for 0.
std::string machineText(uint16_t machine);
// Office's own words for its bitness in the registry ("x86", "x64", any case); Unknown for anything else.
Bitness bitnessOfPlatform(const std::string& platform);

}  // namespace doctor
