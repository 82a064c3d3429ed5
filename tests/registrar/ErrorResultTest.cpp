// Win32 error codes as results: the registrar's registry errors and the library's failed platform calls are
// turned into HRESULTs the one same way, and a call that failed without an error code is still a failure.
#include "win/ErrorResult.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(ErrorResult, AFailureIsNeverReportedAsSuccess) {
    const struct {
        unsigned long code;
        std::uint32_t fromError, fromFailure;
    } rows[] = {
        {0, 0x00000000u, 0x80004005u},        // no error code: success as a code, E_FAIL as a failure
        {2, 0x80070002u, 0x80070002u},        // file not found
        {5, 0x80070005u, 0x80070005u},        // access denied
        {1813, 0x80070715u, 0x80070715u},     // a resource type not found
        {0x12345, 0x80072345u, 0x80072345u},  // only the low 16 bits are the code
    };
    for (const auto& row : rows) {
        EXPECT_EQ(static_cast<std::uint32_t>(win::resultFromError(static_cast<long>(row.code))),
                  row.fromError)
            << "code " << row.code;
        EXPECT_EQ(static_cast<std::uint32_t>(win::resultFromFailure(row.code)), row.fromFailure)
            << "code " << row.code;
        EXPECT_LT(win::resultFromFailure(row.code), 0) << "code " << row.code;
    }
}

}  // namespace
