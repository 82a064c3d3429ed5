// A host that frees unused libraries loads the add-in and frees it again many times in one process: here more
// times than the process has TLS slots. Each cycle makes both classes on the loading thread and on another,
// releases them, asks DllCanUnloadNow and frees the library; what the cycles leave in the process is set
// against the same cycles over a plain C library, which costs only what the loader keeps of any library.
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <thread>

#include "TandrelLib.h"
#include "tests/support/RuntimeLoadCost.h"
#include "tools/hostsim/AddInLocation.h"
#include "tools/hostsim/ProcessFootprint.h"
#include "win/ComPtr.h"
#include "win/EntryPoint.h"

namespace {

constexpr long kCycles = 1200;  // the process has 1,088 TLS slots

// Makes both classes through the library's own factories and releases them; true when the library serves no
// classes (the plain one) or both were made.
bool makeBothClasses(HMODULE library) {
    const auto getClassObject = entryPointAs<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        ::GetProcAddress(library, "DllGetClassObject"));
    for (const CLSID* classId : {&CLSID_Connect, &CLSID_SimpleATLAddIn}) {
        if (!getClassObject) break;
        win::ComPtr<IClassFactory> factory;
        win::ComPtr<IUnknown> object;
        if (getClassObject(*classId, IID_IClassFactory, factory.receiveVoid()) != S_OK ||
            factory->CreateInstance(nullptr, IID_IUnknown, object.receiveVoid()) != S_OK)
            return false;
    }
    return true;
}

// One load, use and unload; what went wrong, or nothing.
std::string oneCycle(const std::wstring& path) {
    const HMODULE library = ::LoadLibraryW(path.c_str());
    if (!library) return "LoadLibrary failed with " + std::to_string(::GetLastError());
    bool madeHere = makeBothClasses(library);
    bool madeElsewhere = false;
    std::thread([&] { madeElsewhere = makeBothClasses(library); }).join();
    const auto canUnloadNow = entryPointAs<HRESULT(WINAPI*)()>(::GetProcAddress(library, "DllCanUnloadNow"));
    const HRESULT unload = canUnloadNow ? canUnloadNow() : E_UNEXPECTED;
    ::FreeLibrary(library);
    if (!madeHere || !madeElsewhere) return "the classes were not made on both threads";
    if (unload != S_OK) return "DllCanUnloadNow answered " + std::to_string(unload);
    if (::GetModuleHandleW(path.c_str())) return "the library is still loaded after FreeLibrary";
    return {};
}

struct CycleRun {
    long failedCycles = 0;
    std::string firstFailure;
    hostsim::ProcessFootprint before;
    hostsim::ProcessFootprint after;
};

CycleRun cycles(const std::wstring& path) {
    // A host has the libraries that the add-in imports loaded before any add-in; loaded and freed with it at
    // every cycle, Wine's spooler library keeps a handle of its own at every load.
    for (const wchar_t* imported :
         {L"advapi32.dll", L"gdi32.dll", L"ole32.dll", L"oleaut32.dll", L"user32.dll", L"winspool.drv"})
        ::LoadLibraryW(imported);
    oneCycle(path);
    oneCycle(path);
    CycleRun run;
    run.before = hostsim::processFootprint();
    for (long cycle = 1; cycle <= kCycles; ++cycle) {
        const std::string failure = oneCycle(path);
        if (failure.empty()) continue;
        if (run.failedCycles++ == 0) run.firstFailure = "cycle " + std::to_string(cycle) + ": " + failure;
    }
    run.after = hostsim::processFootprint();
    return run;
}

std::wstring besideProgram(const wchar_t* name) {
    const std::wstring addIn = hostsim::addInBesideProgram();
    return addIn.substr(0, addIn.find_last_of(L'\\') + 1) + name;
}

// The cycles over the plain library, then over a copy of ours: run once for every test below.
struct Runs {
    CycleRun plain;
    CycleRun ours;
};

const Runs& runs() {
    static const Runs measured = [] {
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        const std::wstring copy =
            std::wstring(folder) + L"quillery-reload-" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
        Runs made;
        made.plain = cycles(besideProgram(L"QuilleryPlain.dll"));
        made.ours = ::CopyFileW(hostsim::addInBesideProgram().c_str(), copy.c_str(), FALSE)
                        ? cycles(copy)
                        : CycleRun{kCycles, "the library could not be copied", {}, {}};
        ::DeleteFileW(copy.c_str());
        return made;
    }();
    return measured;
}

TEST(Reload, EveryCycleMakesBothClassesOnTwoThreadsAndUnloads) {
    EXPECT_EQ(0, runs().plain.failedCycles) << "the plain library, " << runs().plain.firstFailure;
    EXPECT_EQ(0, runs().ours.failedCycles) << runs().ours.firstFailure;
}

// What the cycles over our library may leave beyond what those over the plain one left, measure by measure.
TEST(Reload, LeavesNoMoreThanAPlainLibraryAndTheRuntimesShare) {
    using Footprint = hostsim::ProcessFootprint;
    const struct {
        const char* name;
        long long (*of)(const Footprint&);
        long long allowed;
    } measures[] = {
        {"the next free TLS slot", [](const Footprint& at) -> long long { return at.nextTlsSlot; }, 0},
        {"the handle count", [](const Footprint& at) -> long long { return at.handles; },
         4 + (kRuntimeHandlesPerLoad * kCycles)},
        {"committed private bytes", [](const Footprint& at) -> long long { return at.privateBytes; },
         256 * 1024},
    };
    for (const auto& measure : measures) {
        const long long plain = measure.of(runs().plain.after) - measure.of(runs().plain.before);
        const long long ours = measure.of(runs().ours.after) - measure.of(runs().ours.before);
        EXPECT_LE(ours - plain, measure.allowed)
            << measure.name << " grew by " << ours << " over " << kCycles << " loads of the add-in (from "
            << measure.of(runs().ours.before) << "), by " << plain << " over as many of a plain library";
    }
}

}  // namespace
