#pragma once

#include <windows.h>

namespace win {

// Windows' own libraries that are no KnownDLLs (the spooler, the XML parser) are loaded at run time one way:
// from System32 and from nowhere else, never from the folder a program was copied to, the current folder or
// the PATH, where any user may have put a library of the same name. (What an image imports statically its
// load configuration keeps to System32: win/image.) `load` is the platform's LoadLibraryExA, or a test's
// stand-in that sees the flags.
HMODULE loadSystemLibrary(const char* name, decltype(&::LoadLibraryExA) load = ::LoadLibraryExA) noexcept;

}  // namespace win
