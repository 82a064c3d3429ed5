// Every program we build, asked for help and given an option it does not know, as a new user tries it: help
// is the usage on stdout and success; an unknown option is refused by name on stderr, and the program changes
// nothing (no key, no value, no file). And the one rule that tells options from paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TandrelLib.h"
#include "win/CommandLine.h"
#include "win/UniqueHandle.h"
#include "win/UniqueHkey.h"

namespace {

using win::CommandWord;

TEST(CommandWord, OptionsStartWithADashOrASlashAndPathsAreOperands) {
    const struct {
        CommandWord kind;
        std::vector<const wchar_t*> words;
    } rows[] = {
        {CommandWord::Help, {L"--help", L"-h", L"/?"}},
        {CommandWord::Option, {L"--bogus", L"-x", L"/q", L"/tmp/x"}},
        {CommandWord::Operand,
         {L"C:\\x", L"Z:/x", L"\\\\server\\share", L"//server/share", L"-", L"/", L"", L"word", L"12"}},
    };
    for (const auto& row : rows) {
        for (const wchar_t* word : row.words) {
            const std::string narrow = win::CommandLine::printable(word);
            EXPECT_EQ(static_cast<int>(row.kind), static_cast<int>(win::commandWordOf(word))) << narrow;
            EXPECT_EQ(static_cast<int>(row.kind), static_cast<int>(win::commandWordOf(narrow.c_str())))
                << narrow << " (narrow)";
        }
    }
}

std::wstring besideProgram(const std::wstring& name) {
    wchar_t path[MAX_PATH] = {};
    std::wstring result(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    return result.substr(0, result.find_last_of(L"\\/") + 1) + name;
}

std::wstring temporaryFolder() {
    wchar_t base[MAX_PATH] = {};
    wchar_t name[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    ::GetTempFileNameW(base, L"qcl", 0, name);
    ::DeleteFileW(name);
    ::CreateDirectoryW(name, nullptr);
    return name;
}

// The names in a folder, "." and ".." aside.
std::vector<std::wstring> namesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

std::string contentsOf(const std::wstring& file) {
    std::string text;
    const win::UniqueHandle handle(::CreateFileW(file.c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (handle && ::ReadFile(handle.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read);
    return text;
}

// Every key and value below `path`, in the order the registry lists them, as text to compare.
void describeKey(HKEY root, const std::wstring& path, std::wstring& out) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        out += L"(absent) " + path + L"\n";
        return;
    }
    const win::UniqueHkey key(opened);
    out += L"[" + path + L"]\n";
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, largestData = 0;
    ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                       &longestName, &largestData, nullptr, nullptr);
    for (DWORD index = 0; index < values; ++index) {
        std::wstring name(longestName + 1, L'\0');
        std::vector<BYTE> data(largestData + 1);
        DWORD nameLength = longestName + 1, size = largestData + 1, type = 0;
        if (::RegEnumValueW(key.get(), index, &name[0], &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        out += L"  " + name.substr(0, nameLength) + L" type " + std::to_wstring(type) + L":";
        for (DWORD byte = 0; byte < size; ++byte) out += L" " + std::to_wstring(data[byte]);
        out += L"\n";
    }
    for (DWORD index = 0; index < subkeys; ++index) {
        std::wstring name(longestSubkey + 1, L'\0');
        DWORD nameLength = longestSubkey + 1;
        if (::RegEnumKeyExW(key.get(), index, &name[0], &nameLength, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            describeKey(root, path + L"\\" + name.substr(0, nameLength), out);
    }
}

// What our programs write when they run: the installation and per-user keys, the printer and the default
// printer, the driver's key, the class and its ProgID, the Office add-in keys and the uninstall entry.
std::wstring watchedRegistry() {
    wchar_t connectClass[40] = {};
    ::StringFromGUID2(CLSID_Connect, connectClass, 40);
    const std::wstring clsid = connectClass;
    const struct {
        HKEY root;
        std::wstring path;
    } watched[] = {
        {HKEY_LOCAL_MACHINE, L"Software\\Corvane"},
        {HKEY_CURRENT_USER, L"Software\\Corvane"},
        {HKEY_LOCAL_MACHINE, L"Software\\CorvaneInkJet"},
        {HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Print\\Printers"},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + clsid},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\TandrelQuillery.Connect"},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office"},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Office"},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + clsid},
    };
    std::wstring text;
    for (const auto& key : watched) {
        text += key.root == HKEY_LOCAL_MACHINE ? L"HKLM " : L"HKCU ";
        describeKey(key.root, key.path, text);
    }
    return text;
}

struct ProgramRun {
    bool finished = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Runs `program` beside this test with one word, in the empty folder `workingFolder`, its output and errors
// in files of their own. A program still running after two minutes took the word for work to do; it is
// stopped.
ProgramRun runProgram(const std::wstring& program, const std::wstring& word,
                      const std::wstring& workingFolder, const std::wstring& outputFolder) {
    ProgramRun run;
    const std::wstring outPath = outputFolder + L"\\out.txt", errPath = outputFolder + L"\\err.txt";
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    {
        const auto create = [&](const std::wstring& path) {
            return win::UniqueHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        };
        const win::UniqueHandle out = create(outPath), err = create(errPath);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        PROCESS_INFORMATION process{};
        std::wstring command = L"\"" + besideProgram(program) + L"\" " + word;
        if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, workingFolder.c_str(),
                              &startup, &process))
            return run;
        const win::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
        run.finished = ::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
        if (!run.finished) {
            ::TerminateProcess(process.hProcess, 1);
            ::WaitForSingleObject(process.hProcess, INFINITE);
        }
        ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    run.out = contentsOf(outPath);
    run.err = contentsOf(errPath);
    ::DeleteFileW(outPath.c_str());
    ::DeleteFileW(errPath.c_str());
    return run;
}

class ProgramTest : public ::testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override {
        workingFolder_ = temporaryFolder();
        outputFolder_ = temporaryFolder();
    }
    void TearDown() override {
        ::RemoveDirectoryW(workingFolder_.c_str());
        ::RemoveDirectoryW(outputFolder_.c_str());
    }

    // The program's name without ".exe", as its usage spells it.
    std::string name() const {
        const std::string program = win::CommandLine::printable(GetParam());
        return program.substr(0, program.size() - 4);
    }

    ProgramRun run(const wchar_t* word) {
        const std::wstring before = watchedRegistry();
        ProgramRun result = runProgram(GetParam(), word, workingFolder_, outputFolder_);
        EXPECT_TRUE(result.finished) << name() << " " << win::CommandLine::printable(word)
                                     << " did not end: it took the word for work to do";
        EXPECT_TRUE(before == watchedRegistry())
            << name() << " " << win::CommandLine::printable(word) << " changed the registry";
        EXPECT_TRUE(namesIn(workingFolder_).empty())
            << name() << " " << win::CommandLine::printable(word) << " left files in its working folder";
        return result;
    }

    std::wstring workingFolder_;
    std::wstring outputFolder_;
};

TEST_P(ProgramTest, AnswersHelpWithItsUsageOnStandardOutput) {
    for (const wchar_t* word : {L"--help", L"-h", L"/?"}) {
        const ProgramRun help = run(word);
        const std::string shown = win::CommandLine::printable(word);
        EXPECT_EQ(0u, help.exitCode) << name() << " " << shown << ": " << help.err;
        EXPECT_EQ(0u, help.out.rfind("usage: " + name(), 0)) << name() << " " << shown << ": " << help.out;
        EXPECT_EQ("", help.err) << name() << " " << shown;
    }
}

TEST_P(ProgramTest, RefusesAnUnknownOptionByNameAndChangesNothing) {
    for (const wchar_t* word : {L"--bogus", L"/bogus"}) {
        const ProgramRun refused = run(word);
        const std::string shown = win::CommandLine::printable(word);
        EXPECT_EQ(static_cast<DWORD>(win::CommandLine::kUsageError), refused.exitCode)
            << name() << " " << shown << ": " << refused.out;
        EXPECT_NE(std::string::npos, refused.err.find("unknown option \"" + shown + "\""))
            << name() << " " << shown << ": " << refused.err;
        EXPECT_EQ("", refused.out) << name() << " " << shown;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, ProgramTest,
                         ::testing::Values(L"quillery-doctor.exe", L"quillery-fixtures.exe",
                                           L"settings-report.exe", L"quillery-hostsim.exe",
                                           L"quillery-soak.exe", L"quillery-startup-bench.exe",
                                           L"quillery-hardening.exe"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             std::string name;
                             for (const char letter : win::CommandLine::printable(info.param)) {
                                 if (letter == '.') break;
                                 if (isalnum(static_cast<unsigned char>(letter))) name += letter;
                             }
                             return name;
                         });

}  // namespace
