// The validating flavour of the library and the doctor beside this program: Windows' Control Flow Guard as
// Wine does not enforce it. Every indirect call the add-in's own code makes is checked by the validator
// linked into it (a miss ends the process with STATUS_STACK_BUFFER_OVERRUN and a line naming the target); the
// calls Office makes into the add-in are checked here, against the library's table as the file holds it.
#include <gtest/gtest.h>
#include <oaidl.h>
#include <objbase.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "TandrelLib.h"
#include "addin/OfficeInterfaces.h"
#include "doctor/PeImage.h"
#include "tests/com/AddInEnvironment.h"
#include "tests/support/MachineCertificate.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/HostSession.h"
#include "win/ComPtr.h"
#include "win/ProgramRun.h"

namespace {

const bool environment = installAddInEnvironment();
constexpr DWORD kGuardStop = 0xC0000409;

// The guard's function table of the library this process loaded, as image addresses.
std::vector<uint32_t> guardTable(HMODULE module) {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(module, path, MAX_PATH);
    const std::vector<unsigned char> bytes = readFileBytes(path);
    const auto image = doctor::readPeImage(bytes.data(), bytes.size());
    const auto config =
        image ? doctor::readLoadConfiguration(*image, bytes.data(), bytes.size()) : std::nullopt;
    return config ? config->guardFunctions : std::vector<uint32_t>();
}

// The folder of this test program, the validating files' own, with its closing backslash.
std::wstring besideThisProgram() {
    const std::wstring program = win::ownProgramPath();
    return program.substr(0, program.find_last_of(L'\\') + 1);
}

// The vtable entries of `object` seen as `iid` that the guard table of their module lacks; "not answered"
// when the object does not answer to it.
std::string unlisted(IUnknown* object, REFIID iid, size_t methods) {
    void* part = nullptr;
    if (FAILED(object->QueryInterface(iid, &part))) return "not answered";
    const auto* const* vtable = *static_cast<void* const* const*>(part);
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(vtable[0]), &module);
    const std::vector<uint32_t> table = guardTable(module);
    std::string missing = table.empty() ? "no guard table" : "";
    for (size_t index = 0; index < methods; ++index) {
        const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(vtable[index]) -
                                                   reinterpret_cast<uintptr_t>(module));
        if (!std::binary_search(table.begin(), table.end(), address)) missing += " " + std::to_string(index);
    }
    static_cast<IUnknown*>(part)->Release();
    return missing;
}

// How many methods the vtable of the dual interface `iid` has, from the type library.
size_t dualMethods(IDispatch* object) {
    win::ComPtr<ITypeInfo> info, vtableView;
    HREFTYPE reference = 0;
    TYPEATTR* attributes = nullptr;
    if (FAILED(object->GetTypeInfo(0, 0, info.receive())) ||
        FAILED(info->GetRefTypeOfImplType(-1, &reference)) ||
        FAILED(info->GetRefTypeInfo(reference, vtableView.receive())) ||
        FAILED(vtableView->GetTypeAttr(&attributes)))
        return 0;
    const size_t methods = attributes->cbSizeVft / sizeof(void*);
    vtableView->ReleaseTypeAttr(attributes);
    return methods;
}

TEST(GuardedCalls, EveryInterfaceEachClassAnswersToIsInTheGuardTable) {
    struct Row {
        const char* name;
        const CLSID* clsid;
        const IID* iid;
        size_t methods;  // 0: the dual interface's own count, from the type library
    };
    const Row rows[] = {
        {"the connection object's IUnknown", &CLSID_Connect, &IID_IUnknown, 3},
        {"its IDispatch", &CLSID_Connect, &IID_IDispatch, 7},
        {"its _IDTExtensibility2", &CLSID_Connect, &IID__IDTExtensibility2, 12},
        {"its IRibbonExtensibility", &CLSID_Connect, &IID_IRibbonExtensibility, 8},
        {"its callbacks", &CLSID_Connect, &IID_ISimpleATLAddIn, 0},
        {"the callback object's IDispatch", &CLSID_SimpleATLAddIn, &IID_IDispatch, 7},
        {"its callbacks", &CLSID_SimpleATLAddIn, &IID_ISimpleATLAddIn, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        win::ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, ::CoGetClassObject(*row.clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                           factory.receiveVoid()));
        EXPECT_EQ("", unlisted(factory.get(), IID_IClassFactory, 5)) << "the class factory";
        win::ComPtr<IDispatch> object;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, object.receiveVoid()));
        const size_t methods = row.methods ? row.methods : dualMethods(object.get());
        ASSERT_GE(methods, row.methods ? 3u : 8u) << "the callbacks' vtable is not in the type library";
        EXPECT_EQ("", unlisted(object.get(), *row.iid, methods)) << "vtable entries missing, of " << methods;
    }
}

// Word, Excel and PowerPoint start with the add-in, the user prints, unticks and ticks it on again twice, and
// the host shuts down: nothing the add-in calls stops it.
TEST(GuardedCalls, HostSessionsPrintAndReloadUnderTheValidator) {
    const fixtures::InstallationFixture installed;
    const fixtures::PrinterFixture printer;
    const wchar_t* const rows[][2] = {{L"word", L"ButtonPrintWordID"},
                                      {L"excel", L"ButtonPrintExcelID"},
                                      {L"powerpoint", L"ButtonPrintPowerPointID"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row[0], row[0] + wcslen(row[0])));
        hostsim::HostSession session(*hostsim::hostNamed(row[0]), {});
        session.start();
        ASSERT_NE(nullptr, session.loaded(L"TandrelQuillery.Connect"));
        EXPECT_TRUE(session.perform({hostsim::UserAction::Kind::Press, row[1]}));
        EXPECT_TRUE(session.reloadAddIns());
        EXPECT_TRUE(session.reloadAddIns());
        session.shutDown();
        std::wstring found;
        for (const hostsim::Finding& finding : session.findings()) found += finding.text + L"\n";
        EXPECT_EQ(L"", found);
    }
}

// The simulator (a process of its own) opening the About box and closing it, and the doctor walking the
// chain: each runs to its end, never to the validator's stop.
TEST(GuardedCalls, AboutBoxAndDoctorRunUnderTheValidator) {
    const fixtures::InstallationFixture installed;
    const fixtures::PrinterFixture printer;
    const std::wstring here = besideThisProgram();
    const std::wstring signal = here + L"about-closed.signal";
    std::ofstream(signal.c_str()).put('\n');
    struct Row {
        const char* name;
        std::wstring program, arguments;
    };
    const Row rows[] = {
        {"the About box", here + L"..\\" QUILLERY_HOSTSIM_W, L"--about \"" + signal + L"\" word"},
        {"the doctor", here + L"quillery-doctor.exe", L"--json"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const win::ProgramRun run = win::runProgram(row.program, row.arguments, 120000);
        ASSERT_TRUE(run.started);
        EXPECT_NE(kGuardStop, run.exitCode) << run.output;
        EXPECT_LE(run.exitCode, 1u) << run.output;
    }
    ::DeleteFileW(signal.c_str());
}

// The stack protector's canary, seeded at every load of the shipped library before any of its code runs:
// never zero, never the same twice (the debug file beside the library says where it lies).
TEST(StackProtector, EachLoadSeedsItsOwnCanary) {
    const std::wstring shipped = besideThisProgram() + L"..\\Quillery.dll";
    const std::vector<unsigned char> bytes = readFileBytes(shipped + L".debug");
    const auto debug = doctor::readPeHeaders(bytes.data(), bytes.size());
    ASSERT_TRUE(debug) << "no debug file beside the shipped library";
    const auto canary = doctor::symbolAddress(
        *debug, bytes.data(), bytes.size(), sizeof(void*) == 4 ? "___stack_chk_guard" : "__stack_chk_guard");
    ASSERT_TRUE(canary);
    std::vector<uintptr_t> seen;
    for (int load = 0; load < 3; ++load) {
        const HMODULE module = ::LoadLibraryExW(shipped.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(nullptr, module);
        seen.push_back(
            *reinterpret_cast<const uintptr_t*>(reinterpret_cast<const unsigned char*>(module) + *canary));
        ::FreeLibrary(module);
        EXPECT_NE(0u, seen.back()) << "load " << load;
        for (int earlier = 0; earlier < load; ++earlier)
            EXPECT_NE(seen[earlier], seen.back()) << "load " << load;
    }
}

}  // namespace
