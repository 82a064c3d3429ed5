#include "win/ProgramRun.h"

#include <algorithm>

#include "win/UniqueHandle.h"

namespace win {
namespace {

// How long the reader sleeps when the pipe is empty and the program still runs: it wakes at once when the
// program ends.
constexpr DWORD kPollMs = 10;
constexpr DWORD kPipeSize = 64 * 1024;

// Moves what is in the pipe now into `run`, keeping one byte past the limit to tell that it was passed. False
// once every writing end is closed and all was read, or the limit was passed.
bool readWhatIsThere(HANDLE pipe, ProgramRun& run, std::size_t outputLimit) {
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) return true;
        const std::size_t room = outputLimit + 1 - run.output.size();
        DWORD read = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>({available, sizeof buffer, room}));
        if (!::ReadFile(pipe, buffer, wanted, &read, nullptr)) return false;
        run.output.append(buffer, read);
        if (run.output.size() > outputLimit) {
            run.output.resize(outputLimit);
            run.tooLong = true;
            return false;
        }
    }
}

}  // namespace

ProgramRun runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                      std::size_t outputLimit) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    UniqueHandle reader, writer;
    if (!::CreatePipe(reader.receive(), writer.receive(), &inherited, kPipeSize)) return run;
    // Only the writing end goes to the program.
    if (!::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0)) return run;

    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process))
        return run;
    const UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    run.started = true;
    // The program holds its own copy: the pipe breaks once it, and whatever it started, let go of theirs.
    writer.reset();

    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    const auto left = [deadline] {
        const ULONGLONG now = ::GetTickCount64();
        return now >= deadline ? DWORD{0} : static_cast<DWORD>(deadline - now);
    };
    bool ended = false;
    for (;;) {
        // Whether it ended is asked before the pipe is emptied, so that what it wrote before it ended is
        // read.
        ended = ::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
        if (!readWhatIsThere(reader.get(), run, outputLimit) || ended) break;
        if (left() == 0) break;
        ::WaitForSingleObject(process.hProcess, std::min(kPollMs, left()));
    }
    // A program that closed its output may still be running.
    if (!ended && !run.tooLong) ended = ::WaitForSingleObject(process.hProcess, left()) == WAIT_OBJECT_0;
    if (!ended) {
        run.timedOut = !run.tooLong;
        ::TerminateProcess(process.hProcess, run.tooLong ? ERROR_BUFFER_OVERFLOW : ERROR_TIMEOUT);
        ::WaitForSingleObject(process.hProcess, INFINITE);
    }
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
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
