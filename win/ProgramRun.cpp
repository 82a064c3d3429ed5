#include "win/ProgramRun.h"

#include "win/UniqueHandle.h"

namespace win {

ProgramRun runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    ProgramRun run;
    wchar_t folder[MAX_PATH + 1] = {}, file[MAX_PATH] = {};
    // The folder's name must leave room for the file's: GetTempFileName writes at most MAX_PATH characters.
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH - 14 || !::GetTempFileNameW(folder, L"qdr", 0, file)) return run;
    {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        UniqueHandle output(::CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, &inherited, TRUNCATE_EXISTING,
                                          FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (output) {
            std::wstring command = L"\"" + program + L"\" " + arguments;
            STARTUPINFOW startup = {};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = output.get();
            startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
            PROCESS_INFORMATION process = {};
            if (::CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process)) {
                UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
                run.started = true;
                if (::WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0)
                    ::TerminateProcess(process.hProcess, ERROR_TIMEOUT);
                ::WaitForSingleObject(process.hProcess, INFINITE);
                ::GetExitCodeProcess(process.hProcess, &run.exitCode);
            }
        }
    }
    UniqueHandle input(::CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (input && ::ReadFile(input.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        run.output.append(buffer, read);
    input.reset();
    ::DeleteFileW(file);
    return run;
}

std::wstring ownProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace win
