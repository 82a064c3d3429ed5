// The frame under many threads at once: class objects, instances, server locks, the unload question and the
// first dispatch call (which loads the type information), from sixteen threads in either kind of apartment,
// on a fresh copy of the library each round so that every round creates its factories and loads anew.
#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TandrelLib.h"
#include "tests/com/AddInEnvironment.h"
#include "tests/server/LoadedServer.h"
#include "win/ComPtr.h"

namespace {

constexpr int kThreads = 16;
constexpr int kRounds = 12;
// The callback whose dispatch id the type library fixes.
constexpr DISPID kGetLabelId = 2;

// What one thread saw in one round.
struct Sighting {
    IUnknown* factory[2] = {};
    DISPID labelId = DISPID_UNKNOWN;
    HRESULT unloadWhileHeld = E_FAIL;
    bool ok = false;
};

void workOneRound(const LoadedServer& server, DWORD apartment, std::atomic<int>& ready, Sighting& seen) {
    if (FAILED(::CoInitializeEx(nullptr, apartment))) return;
    ++ready;
    while (ready.load() < kThreads) std::this_thread::yield();
    {
        const CLSID* classes[] = {&CLSID_Connect, &CLSID_SimpleATLAddIn};
        win::ComPtr<IClassFactory> factories[2];
        bool ok = true;
        for (int index = 0; index < 2; ++index) {
            ok = ok && server.getClassObject(*classes[index], IID_IClassFactory,
                                             factories[index].receiveVoid()) == S_OK;
            seen.factory[index] = factories[index].get();
        }
        win::ComPtr<IDispatch> connect;
        ok = ok && factories[0]->LockServer(TRUE) == S_OK;
        ok = ok && factories[0]->CreateInstance(nullptr, IID_IDispatch, connect.receiveVoid()) == S_OK;
        if (connect) {
            OLECHAR name[] = L"GetLabel";
            LPOLESTR names[] = {name};
            ok = ok && connect->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &seen.labelId) == S_OK;
        }
        seen.unloadWhileHeld = server.canUnloadNow();
        ok = ok && factories[0]->LockServer(FALSE) == S_OK;
        seen.ok = ok;
    }
    ::CoUninitialize();
}

class ServerThreadsTest : public ::testing::TestWithParam<DWORD> {};

TEST_P(ServerThreadsTest, SixteenThreadsShareOneFactoryPerClassLoadOnceAndGiveEveryLockBack) {
    for (int round = 0; round < kRounds; ++round) {
        LoadedServer server;
        ASSERT_TRUE(server.loaded()) << "round " << round;
        std::vector<Sighting> seen(kThreads);
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (Sighting& sighting : seen)
            threads.emplace_back(workOneRound, std::cref(server), GetParam(), std::ref(ready),
                                 std::ref(sighting));
        for (std::thread& thread : threads) thread.join();

        for (int index = 0; index < kThreads; ++index) {
            const Sighting& sighting = seen[index];
            EXPECT_TRUE(sighting.ok) << "round " << round << ", thread " << index;
            EXPECT_EQ(seen[0].factory[0], sighting.factory[0]) << "a second Connect factory, round " << round;
            EXPECT_EQ(seen[0].factory[1], sighting.factory[1]) << "a second factory, round " << round;
            EXPECT_EQ(kGetLabelId, sighting.labelId) << "round " << round << ", thread " << index;
            EXPECT_EQ(S_FALSE, sighting.unloadWhileHeld) << "round " << round << ", thread " << index;
        }
        EXPECT_NE(seen[0].factory[0], seen[0].factory[1]);
        EXPECT_EQ(S_OK, server.canUnloadNow()) << "a lock or reference was lost in round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Apartments, ServerThreadsTest,
                         ::testing::Values(COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED),
                         [](const ::testing::TestParamInfo<DWORD>& info) {
                             return info.param == COINIT_MULTITHREADED ? "FreeThreaded" : "Apartment";
                         });

const bool environment = installAddInEnvironment();

}  // namespace
