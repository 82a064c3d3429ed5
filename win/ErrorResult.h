#pragma once

#include <cstdint>

// The one way a Win32 error code becomes an HRESULT. Free of the platform's headers, so that the code that
// needs no operating system (the registrar's interpreter) reports registry errors the same way.
namespace win {

// A Win32 error code n > 0 becomes 0x80070000 | (n & 0xFFFF); anything else is taken as it is (0 stays S_OK,
// and a value that is already an HRESULT passes through).
constexpr std::int32_t resultFromError(long code) {
    return code > 0 ? static_cast<std::int32_t>(0x80070000u | (static_cast<std::uint32_t>(code) & 0xFFFFu))
                    : static_cast<std::int32_t>(code);
}

// The result of a platform call that reported failure, with the error code it left: a call that failed
// without saying why is still a failure (E_FAIL), never S_OK.
constexpr std::int32_t resultFromFailure(unsigned long code) {
    return code == 0 ? static_cast<std::int32_t>(0x80004005) : resultFromError(static_cast<long>(code));
}

}  // namespace win
