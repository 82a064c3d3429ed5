#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace win {

// Every narrow text of the add-in and the doctor is in the system's ANSI code page: the one that the "A"
// functions of the registry, the files and the windows read and write, and the one the user changes with
// "Language for non-Unicode programs". A thread's own locale may name another code page; converting with that
// one would garble what the "A" functions hand over. Text crosses the COM boundary as UTF-16 and leaves the
// doctor as UTF-8; these are the only crossings.
constexpr UINT kAnsiCodePage = CP_ACP;

// `length` characters at `text` in another code page. Characters the target lacks become its default
// character; a text the platform will not convert is empty. Throws std::bad_alloc when memory runs out.
std::wstring wideFrom(UINT codePage, const char* text, size_t length);
std::string narrowTo(UINT codePage, const wchar_t* text, size_t length);

inline std::wstring widen(const std::string& ansi) {
    return wideFrom(kAnsiCodePage, ansi.data(), ansi.size());
}
inline std::string narrow(const std::wstring& wide) {
    return narrowTo(kAnsiCodePage, wide.data(), wide.size());
}
inline std::string utf8FromWide(const std::wstring& wide) {
    return narrowTo(CP_UTF8, wide.data(), wide.size());
}
inline std::wstring wideFromUtf8(const std::string& utf8) {
    return wideFrom(CP_UTF8, utf8.data(), utf8.size());
}
inline std::string utf8FromAnsi(const std::string& ansi) {
    return utf8FromWide(widen(ansi));
}
inline std::string ansiFromUtf8(const std::string& utf8) {
    return narrow(wideFromUtf8(utf8));
}

// Whether `text` is valid in the ANSI code page: no double-byte character lacks its second byte.
bool isValidAnsi(const std::string& text);

// A new BSTR holding `text` widened from the ANSI code page; null when memory runs out.
BSTR widenToBstr(const std::string& text) noexcept;

// `text` (which may be null, meaning empty) narrowed to the ANSI code page. Empty when memory runs out.
std::string narrowFromWide(const wchar_t* text, size_t length) noexcept;
inline std::string narrowFromBstr(BSTR text) noexcept {
    return narrowFromWide(text, text ? ::SysStringLen(text) : 0);
}

}  // namespace win
