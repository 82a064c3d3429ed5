#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace win {

// Text crosses the COM boundary as UTF-16 BSTRs; inside the add-in every string is narrow text in the ANSI
// code page of the calling thread. These two conversions are the only crossings.

// A new BSTR holding `text` widened with the thread's ANSI code page; null when memory runs out.
BSTR widenToBstr(const std::string& text) noexcept;

// `text` (which may be null, meaning empty) narrowed with the thread's ANSI code page; characters the code
// page lacks become its default character. Empty when memory runs out.
std::string narrowFromWide(const wchar_t* text, size_t length) noexcept;
inline std::string narrowFromBstr(BSTR text) noexcept {
    return narrowFromWide(text, text ? ::SysStringLen(text) : 0);
}

}  // namespace win
