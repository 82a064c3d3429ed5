#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/com/MessageBoxAnswerer.h"

// The build of the other bitness beside this one, as the tests that put both add-ins on one machine meet it:
// its files, and the registration tool of either bitness, run as an installer runs it.

// Whether this process is a 32-bit one on 64-bit Windows.
bool underWow64();

// A file of the build of the other bitness, when this build was told where that is (scripts/test.sh builds
// both and tells each of the other): a folder of the Unix file system, which the prefix sees under Z:. Empty
// when it was not told.
std::wstring peerFile(const wchar_t* name);

std::wstring quoted(const std::wstring& path);

// The registration tool of this process's own bitness, and that of the other bitness.
std::wstring ownRegsvr32();
std::wstring otherRegsvr32();

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<MessageBoxAnswerer::Shown> shown;
};

// Runs regsvr32 on a DLL and answers the message boxes its process shows, as the user would: a question with
// `answer`, a notice with OK.
ToolRun regsvr32(const std::wstring& arguments, int answer, const std::wstring& tool = ownRegsvr32());
