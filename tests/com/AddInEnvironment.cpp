#include "tests/com/AddInEnvironment.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <memory>

#include "tests/com/MessageBoxAnswerer.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInLocation.h"
#include "win/EntryPoint.h"

namespace {

class AddInEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        office_ = std::make_unique<OfficeParentKeys>();
        ASSERT_EQ(callAddInExport("DllRegisterServer"), S_OK)
            << "could not register the add-in beside the test program";
    }
    void TearDown() override {
        MessageBoxAnswerer yes(IDYES);
        callAddInExport("DllUnregisterServer");
        office_.reset();
        ::CoUninitialize();
    }

private:
    std::unique_ptr<OfficeParentKeys> office_;
};

}  // namespace

namespace {
constexpr char kOfficeKey[] = "Software\\Microsoft\\Office";
}

OfficeParentKeys::OfficeParentKeys(REGSAM view)
    : view_(view), existed_(fixtures::keyExists(HKEY_LOCAL_MACHINE, kOfficeKey, view)) {}

OfficeParentKeys::~OfficeParentKeys() {
    if (!existed_) fixtures::deleteTree(HKEY_LOCAL_MACHINE, kOfficeKey, view_);
}

RegisteredAddIn::~RegisteredAddIn() {
    MessageBoxAnswerer yes(IDYES);
    callAddInExport("DllUnregisterServer");
}

bool installAddInEnvironment() {
    ::testing::AddGlobalTestEnvironment(new AddInEnvironment());
    return true;
}

HMODULE loadedAddIn() {
    return ::GetModuleHandleW(L"Quillery.dll");
}

HRESULT addInCanUnloadNow() {
    HMODULE module = loadedAddIn();
    if (!module) return E_UNEXPECTED;
    auto canUnload = entryPointAs<HRESULT(WINAPI*)()>(::GetProcAddress(module, "DllCanUnloadNow"));
    return canUnload ? canUnload() : E_UNEXPECTED;
}

bool registryDword(HKEY root, const std::string& path, const char* name, DWORD& value) {
    DWORD size = sizeof(value);
    return ::RegGetValueA(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
           ERROR_SUCCESS;
}

void setRegistryDword(HKEY root, const std::string& path, const char* name, DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(root, path.c_str(), name, REG_DWORD, &value, sizeof(value)))
        << "could not store " << name << " under " << path;
}
