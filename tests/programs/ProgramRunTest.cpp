// How the doctor runs another program and takes its output: through a pipe while it runs, up to a limit, for
// a time at most.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "win/ProgramRun.h"

namespace {

constexpr DWORD kMinute = 60000;

std::wstring besideThisProgram(const wchar_t* name) {
    const std::wstring own = win::ownProgramPath();
    return own.substr(0, own.find_last_of(L'\\') + 1) + name;
}

struct Row {
    const char* name;
    std::wstring program;
    DWORD timeoutMs;
    std::size_t limit;
    bool started, timedOut, tooLong;
    std::size_t outputSize;
};

TEST(ProgramRunTest, TakesTheOutputWhileItRunsUpToItsLimitAndEndsItAtTheTimeOut) {
    const std::wstring doctor = besideThisProgram(L"quillery-doctor.exe");
    const win::ProgramRun whole = win::runProgram(doctor, L"--help", kMinute);
    ASSERT_EQ(0u, whole.output.find("usage: quillery-doctor")) << whole.output;
    const std::size_t size = whole.output.size();
    const Row rows[] = {
        {"the output at the limit", doctor, kMinute, size, true, false, false, size},
        {"the output one byte past the limit", doctor, kMinute, size - 1, true, false, true, size - 1},
        {"no time at all", doctor, 0, win::kProgramOutputLimit, true, true, false, 0},
        {"no such program", besideThisProgram(L"quillery-absent.exe"), kMinute, size, false, false, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const win::ProgramRun run = win::runProgram(row.program, L"--help", row.timeoutMs, row.limit);
        EXPECT_EQ(row.started, run.started);
        EXPECT_EQ(row.timedOut, run.timedOut);
        EXPECT_EQ(row.tooLong, run.tooLong);
        if (row.timedOut) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), run.exitCode) << "it was not ended";
        } else {
            EXPECT_EQ(whole.output.substr(0, row.outputSize), run.output);
        }
    }
}

}  // namespace
