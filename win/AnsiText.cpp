#include "win/AnsiText.h"

#include <climits>

#include "win/FailurePolicy.h"

namespace win {

std::wstring wideFrom(UINT codePage, const char* text, size_t length) {
    if (!text || length == 0 || length > INT_MAX) return {};
    const int count = static_cast<int>(length);
    const int wideLength = ::MultiByteToWideChar(codePage, 0, text, count, nullptr, 0);
    if (wideLength <= 0) return {};
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, count, &wide[0], wideLength);
    return wide;
}

std::string narrowTo(UINT codePage, const wchar_t* text, size_t length) {
    if (!text || length == 0 || length > INT_MAX) return {};
    const int count = static_cast<int>(length);
    const int narrowLength = ::WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (narrowLength <= 0) return {};
    std::string narrow(static_cast<size_t>(narrowLength), '\0');
    ::WideCharToMultiByte(codePage, 0, text, count, &narrow[0], narrowLength, nullptr, nullptr);
    return narrow;
}

bool isValidAnsi(const std::string& text) {
    if (text.empty()) return true;
    if (text.size() > INT_MAX) return false;
    return ::MultiByteToWideChar(kAnsiCodePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                 nullptr, 0) > 0;
}

BSTR widenToBstr(const std::string& text) noexcept {
    if (text.empty()) return ::SysAllocStringLen(L"", 0);
    if (text.size() > INT_MAX) return nullptr;
    const int length = static_cast<int>(text.size());
    const int wideLength = ::MultiByteToWideChar(kAnsiCodePage, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0) return ::SysAllocStringLen(L"", 0);
    BSTR result = ::SysAllocStringLen(nullptr, static_cast<UINT>(wideLength));
    if (!result) return nullptr;
    ::MultiByteToWideChar(kAnsiCodePage, 0, text.data(), length, result, wideLength);
    return result;
}

std::string narrowFromWide(const wchar_t* text, size_t length) noexcept {
    return orFallback(std::string(), [&] { return narrowTo(kAnsiCodePage, text, length); });
}

}  // namespace win
