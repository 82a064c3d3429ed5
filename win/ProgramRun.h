#pragma once

#include <windows.h>

#include <string>

namespace win {

struct ProgramRun {
    bool started = false;
    DWORD exitCode = 0;
    std::string output;  // what the program wrote to its standard output, as bytes
};

// Runs `program` (an absolute path, passed as the application name and, quoted, as the command line's first
// word, so that no search and no other reading of a path with spaces can pick another file) with `arguments`,
// to its end or for `timeoutMs` at most, after which it is ended. Its output goes to a temporary file of this
// account's own, which a program that never ends cannot block the way a full pipe would.
ProgramRun runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs);

// This program's own file.
std::wstring ownProgramPath();

}  // namespace win
