#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace win {

struct ProgramRun {
    bool started = false;
    bool timedOut = false;  // it was still running at the time-out, and was ended
    bool tooLong = false;   // its output went past the limit, and it was ended
    DWORD exitCode = 0;
    std::string output;  // what the program wrote to its standard output, as bytes, up to the limit
};

// The most output runProgram keeps by default: far more than any report of ours.
constexpr std::size_t kProgramOutputLimit = 4 * 1024 * 1024;

// Runs `program` (an absolute path, passed as the application name and, quoted, as the command line's first
// word, so that no search and no other reading of a path with spaces can pick another file) with `arguments`,
// to its end or for `timeoutMs` at most, after which it is ended. Its output comes through an anonymous pipe
// that only this process reads, while it runs, so nothing of it passes through a file another account could
// change; a program that writes more than `outputLimit` bytes is ended there.
ProgramRun runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                      std::size_t outputLimit = kProgramOutputLimit);

// This program's own file.
std::wstring ownProgramPath();

}  // namespace win
