// A short soak: a few hundred complete host sessions in this process, rotating hosts and printers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/RuntimeLoadCost.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInDiscovery.h"
#include "tools/soak/Soak.h"

namespace {

TEST(Soak, ThreeHundredSessionsGiveEverythingBackAndLeaveTheProcessFlat) {
    const fixtures::InstallationFixture installed;
    std::vector<std::unique_ptr<fixtures::CreatedKey>> keys;
    for (const hostsim::HostProfile& host : hostsim::hostProfiles()) {
        const std::wstring path = hostsim::addInsKeyPath(host) + L"\\TandrelQuillery.Connect";
        keys.push_back(
            std::make_unique<fixtures::CreatedKey>(HKEY_CURRENT_USER, std::string(path.begin(), path.end())));
        fixtures::setDword(HKEY_CURRENT_USER, keys.back()->path(), "LoadBehavior", 3);
    }
    soak::Options options;
    options.sessions = 300;
    options.checkEvery = 60;
    const soak::Result result = soak::run(options);

    ASSERT_EQ(300, result.sessions);
    std::wstring findings;
    for (const std::wstring& finding : result.firstFindings) findings += finding + L"\n";
    EXPECT_EQ(0, result.sessionsWithFindings) << std::string(findings.begin(), findings.end());
    EXPECT_GT(result.hostPrintCalls, 0);
    EXPECT_EQ(150, result.reloads);
    ASSERT_EQ(5u, result.checkpoints.size());
    for (const soak::Checkpoint& checkpoint : result.checkpoints)
        EXPECT_EQ(S_OK, checkpoint.canUnloadNow) << "after " << checkpoint.sessions << " sessions";
    // The first checkpoint is the baseline: the first rounds load the add-in, the parser and the type
    // library. GDI objects are not compared: Wine counts none; the soak program reports them on Windows.
    const soak::Checkpoint& first = result.checkpoints[1];
    const soak::Checkpoint& last = result.checkpoints.back();
    const long long reloads = (last.sessions - first.sessions) / options.reloadEvery;
    EXPECT_LE(last.handles, first.handles + 4 + reloads * kRuntimeHandlesPerLoad)
        << "handles from " << first.handles << " to " << last.handles << " over " << reloads << " reloads";
    EXPECT_EQ(first.nextTlsSlot, last.nextTlsSlot) << "TLS slots kept over " << reloads << " reloads";
    EXPECT_LE(last.privateBytes, first.privateBytes + 512 * 1024)
        << "private bytes from " << first.privateBytes << " to " << last.privateBytes;
}

}  // namespace
