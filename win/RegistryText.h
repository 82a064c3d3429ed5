#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace win {

// A registry value's text: REG_SZ as it is, REG_EXPAND_SZ with its environment variables expanded, either up
// to a first NUL (a value need not end in one). Nothing when the value is absent, of another type, or cannot
// be read or expanded. A value that grows between sizing and reading is read again.
std::optional<std::wstring> registryText(HKEY key, const wchar_t* name);

}  // namespace win
