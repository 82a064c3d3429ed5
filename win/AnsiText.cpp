#include "win/AnsiText.h"

#include <climits>

#include "win/FailurePolicy.h"

namespace win {

BSTR widenToBstr(const std::string& text) noexcept {
    if (text.empty()) return ::SysAllocStringLen(L"", 0);
    if (text.size() > INT_MAX) return nullptr;
    const int length = static_cast<int>(text.size());
    const int wideLength = ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0) return ::SysAllocStringLen(L"", 0);
    BSTR result = ::SysAllocStringLen(nullptr, static_cast<UINT>(wideLength));
    if (!result) return nullptr;
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, result, wideLength);
    return result;
}

std::string narrowFromWide(const wchar_t* text, size_t length) noexcept {
    if (!text || length == 0 || length > INT_MAX) return {};
    const int wideLength = static_cast<int>(length);
    const int narrowLength =
        ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (narrowLength <= 0) return {};
    return orFallback(std::string(), [&] {
        std::string result(static_cast<size_t>(narrowLength), '\0');
        ::WideCharToMultiByte(CP_THREAD_ACP, 0, text, wideLength, &result[0], narrowLength, nullptr, nullptr);
        return result;
    });
}

}  // namespace win
