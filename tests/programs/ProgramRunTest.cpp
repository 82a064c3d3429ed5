// How the doctor runs another program: its output through a pipe while it runs, up to a limit, for a time.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "win/ProgramRun.h"

namespace {

constexpr DWORD kMinute = 60000;

struct Row {
    const char* name;
    std::wstring program;
    DWORD timeoutMs;
    std::size_t limit;
    bool started, timedOut, tooLong;
};

TEST(ProgramRunTest, TakesTheOutputWhileItRunsUpToItsLimitAndEndsItAtTheTimeOut) {
    const std::wstring own = win::ownProgramPath(), folder = own.substr(0, own.find_last_of(L'\\') + 1);
    const std::wstring doctor = folder + L"quillery-doctor.exe";
    const win::ProgramRun whole = win::runProgram(doctor, L"--help", kMinute);
    ASSERT_EQ(0u, whole.output.find("usage: quillery-doctor")) << whole.output;
    const std::size_t size = whole.output.size();
    const Row rows[] = {
        {"the output at the limit", doctor, kMinute, size, true, false, false},
        {"the output one byte past the limit", doctor, kMinute, size - 1, true, false, true},
        {"no time at all", doctor, 0, win::kProgramOutputLimit, true, true, false},
        {"no such program", folder + L"quillery-absent.exe", kMinute, 0, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const win::ProgramRun run = win::runProgram(row.program, L"--help", row.timeoutMs, row.limit);
        EXPECT_EQ(std::make_tuple(row.started, row.timedOut, row.tooLong),
                  std::make_tuple(run.started, run.timedOut, run.tooLong));
        // Ended at the time-out, or its output whole up to the limit.
        EXPECT_TRUE(row.timedOut ? run.exitCode == ERROR_TIMEOUT
                                 : run.output == whole.output.substr(0, row.limit))
            << "exit code " << run.exitCode << ", output " << run.output;
    }
}

}  // namespace
