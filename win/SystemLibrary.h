#pragma once

#include <windows.h>

namespace win {

// Windows' own libraries that are no KnownDLLs (the spooler, the XML parser) are loaded at run time one way:
// from System32 and from nowhere else, never from the folder a program was copied to, the current folder or
// the PATH, where any user may have put a library of the same name. (What an image imports statically its
// load configuration keeps to System32: win/image.) `load` is the platform's LoadLibraryExA, or a test's
// stand-in that sees the flags.
HMODULE loadSystemLibrary(const char* name, decltype(&::LoadLibraryExA) load = ::LoadLibraryExA) noexcept;

// An object of `classId` asked of a loaded COM server library itself, through its own DllGetClassObject and class
// factory: COM's activation would look the class up in the merged HKEY_CLASSES_ROOT, where a user's own classes
// come first. HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) when the library exports no DllGetClassObject.
HRESULT createFromLibrary(HMODULE library, REFCLSID classId, REFIID iid, void** object) noexcept;

}  // namespace win
