#include "tests/com/OtherBitness.h"

#include <algorithm>
#include <set>

#include "win/UniqueHandle.h"

namespace {

// The windows of one process that are message boxes, answered as the user would.
struct BoxSearch {
    DWORD processId;
    std::set<HWND> answered;
    ToolRun* run;
    int answer;
};

// Called back by the window enumeration with the platform's calling convention, which a lambda does not have
// on every machine.
BOOL CALLBACK answerBox(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (owner != search.processId || std::string(className) != "#32770" || search.answered.count(window) ||
        !::IsWindowVisible(window))
        return TRUE;
    // A box still being built has no texts yet; it is looked at again on the next tick.
    char caption[256] = {}, text[1024] = {};
    if (::GetWindowTextA(window, caption, sizeof caption) == 0 ||
        ::GetWindowTextA(::GetDlgItem(window, 0xFFFF), text, sizeof text) == 0)
        return TRUE;
    search.answered.insert(window);
    const bool question = ::GetDlgItem(window, IDYES) != nullptr;
    search.run->shown.push_back({caption, text, question});
    ::PostMessageA(window, WM_COMMAND, question ? search.answer : IDOK, 0);
    return TRUE;
}

}  // namespace

bool underWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// A file of the build of the other bitness, when this build was told where that is (scripts/test.sh builds
// both and tells each of the other): a folder of the Unix file system, which the prefix sees under Z:. Empty
// when it was not told.
std::wstring peerFile(const wchar_t* name) {
    const std::string folder = QUILLERY_PEER_BIN;
    if (folder.empty()) return std::wstring();
    std::wstring path = L"Z:" + std::wstring(folder.begin(), folder.end()) + L"\\" + name;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// The registration tool of this process's own bitness, as an installer of that bitness starts it: the system
// folder as this process sees it, which for a 32-bit process on 64-bit Windows is the 32-bit one (syswow64).
std::wstring ownRegsvr32() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\regsvr32.exe";
}

// The registration tool of the other bitness: from a 64-bit process the 32-bit one (syswow64); from a 32-bit
// process on 64-bit Windows the 64-bit one, which the "Sysnative" alias of the system folder reaches.
std::wstring otherRegsvr32() {
    wchar_t folder[MAX_PATH] = {};
    if (underWow64()) {
        const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
        return std::wstring(folder, length) + L"\\Sysnative\\regsvr32.exe";
    }
    const UINT length = ::GetSystemWow64DirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\regsvr32.exe";
}

ToolRun regsvr32(const std::wstring& arguments, int answer, const std::wstring& tool) {
    ToolRun run;
    std::wstring command = quoted(tool) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(tool.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return run;
    win::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    BoxSearch search{process.dwProcessId, {}, &run, answer};
    for (int tick = 0; tick < 1500; ++tick) {
        if (::WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
        ::EnumWindows(answerBox, reinterpret_cast<LPARAM>(&search));
    }
    if (::WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 99);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    return run;
}
