#include "settings/PrinterQuery.h"
#include "settings/SpoolerLoader.h"

#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "win/UniqueHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using fixtures::PrinterFixture;

TEST(PrinterQuery, DefaultPrinterIsTheUsersDefaultQueue) {
    PrinterFixture printer;
    EXPECT_EQ(PrinterFixture::kQueueName, PrinterQuery().defaultPrinterName());
}

TEST(PrinterQuery, NoDefaultPrinterGivesEmptyName) {
    PrinterFixture printer(PrinterFixture::noDefaultPrinter());
    EXPECT_EQ("", PrinterQuery().defaultPrinterName());
}

TEST(PrinterQuery, FriendlyNameIsTheDriversPrinterData) {
    PrinterFixture printer;
    EXPECT_EQ(PrinterFixture::kFriendlyName, PrinterQuery().friendlyNameOf(PrinterFixture::kQueueName));
}

TEST(PrinterQuery, PrinterOfAnotherMakeHasNoFriendlyName) {
    PrinterFixture printer(PrinterFixture::otherMake());
    EXPECT_EQ("", PrinterQuery().friendlyNameOf("Other Laser"));
}

// A process that has not loaded the spooler yet takes it from System32, never from a folder searched before
// it, for each query: the library links no spooler function of its own.
struct LoadSeen {
    std::string name;
    DWORD flags = 0;
} loadSeen;

HMODULE WINAPI notLoadedYet(LPCSTR) {
    return nullptr;
}

HMODULE WINAPI watchedLoad(LPCSTR name, HANDLE file, DWORD flags) {
    loadSeen = {name, flags};
    return ::LoadLibraryExA(name, file, flags);
}

TEST(PrinterQuery, EachQueryTakesTheSpoolerFromSystem32Only) {
    SpoolerLoader loader;
    loader.getModuleHandle = notLoadedYet;
    loader.loadLibrary = watchedLoad;
    const PrinterQuery query(&loader);
    PrinterFixture printer;
    const std::pair<const char*, std::string (*)(const PrinterQuery&)> rows[] = {
        {PrinterFixture::kQueueName, [](const PrinterQuery& q) { return q.defaultPrinterName(); }},
        {PrinterFixture::kFriendlyName,
         [](const PrinterQuery& q) { return q.friendlyNameOf(PrinterFixture::kQueueName); }}};
    for (const auto& [answer, ask] : rows) {
        loadSeen = {};
        EXPECT_EQ(answer, ask(query));
        EXPECT_EQ("WINSPOOL.DRV", loadSeen.name) << answer;
        EXPECT_EQ(static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32), loadSeen.flags) << answer;
    }
}

TEST(PrinterQuery, UnknownOrEmptyPrinterNameHasNoFriendlyName) {
    EXPECT_EQ("", PrinterQuery().friendlyNameOf("No Such Printer"));
    EXPECT_EQ("", PrinterQuery().friendlyNameOf(""));
}

TEST(PrinterQuery, FriendlyNameIsBoundedByTheBuffer) {
    PrinterFixture::Options options;
    options.settingsKey = false;
    options.friendlyName = std::string(259, 'f');
    {
        PrinterFixture printer(options);
        EXPECT_EQ(*options.friendlyName, PrinterQuery().friendlyNameOf(PrinterFixture::kQueueName));
    }
    options.friendlyName = std::string(300, 'f');
    PrinterFixture printer(options);
    const std::string name = PrinterQuery().friendlyNameOf(PrinterFixture::kQueueName);
    EXPECT_TRUE(name.empty()) << "read " << name.size() << " characters";
}

// --- The version gate: systems before the NT family version 5 have no default-printer query. The version a
// process sees is fixed when it starts, so a small probe program runs under each version instead of this one.

constexpr const char* kProbe = "settings-version-probe.exe";

std::string probePath() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of('\\') + 1) + kProbe;
}

// Runs the probe with Windows `version` (empty: the prefix's own) and returns its exit code: 1 when it found
// a default printer, 0 when not.
DWORD defaultPrinterSeenUnder(const std::string& version) {
    const std::string appKey = std::string("Software\\Wine\\AppDefaults\\") + kProbe;
    fixtures::CreatedKey key(HKEY_CURRENT_USER, appKey);
    if (!version.empty() && !fixtures::setString(HKEY_CURRENT_USER, appKey, "Version", version)) return 0xBAD;
    std::string commandLine = "\"" + probePath() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return 0xBAD;
    }
    win::UniqueHandle process(info.hProcess);
    win::UniqueHandle thread(info.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0xBAD;
    ::GetExitCodeProcess(process.get(), &code);
    if (!version.empty()) fixtures::deleteValue(HKEY_CURRENT_USER, appKey, "Version");
    return code;
}

TEST(PrinterQueryVersionGate, NtFamilyFromVersionFiveFindsTheDefaultPrinter) {
    PrinterFixture printer;
    EXPECT_EQ(1u, defaultPrinterSeenUnder(""));
    EXPECT_EQ(1u, defaultPrinterSeenUnder("win2k"));
}

TEST(PrinterQueryVersionGate, OlderSystemsFindNoDefaultPrinter) {
    PrinterFixture printer;
    EXPECT_EQ(0u, defaultPrinterSeenUnder("nt40"));
    EXPECT_EQ(0u, defaultPrinterSeenUnder("win98"));
}

}  // namespace
