#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace win {

// The registry values Office and its add-ins keep, read the way the doctor and the host simulator both read
// them.

// A registry value's text: REG_SZ as it is, REG_EXPAND_SZ with its environment variables expanded, either up
// to a first NUL (a value need not end in one). Nothing when the value is absent, of another type, or cannot
// be read or expanded. A value that grows between sizing and reading is read again.
std::optional<std::wstring> registryText(HKEY key, const wchar_t* name);

// A REG_DWORD value under `path`; nothing when the key or the value is missing or of another type.
std::optional<DWORD> registryDword(HKEY root, const std::wstring& path, const wchar_t* name);

}  // namespace win
