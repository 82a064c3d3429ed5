#include "tests/com/AddInEnvironment.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <memory>

#include "win/EntryPoint.h"
#include "tools/hostsim/ServerRegistration.h"

namespace {

class AddInEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        registration_ = std::make_unique<hostsim::ServerRegistration>(hostsim::addInBesideProgram());
        ASSERT_TRUE(registration_->ok()) << "could not register the add-in beside the test program";
    }
    void TearDown() override {
        registration_.reset();
        ::CoUninitialize();
    }

private:
    std::unique_ptr<hostsim::ServerRegistration> registration_;
};

}  // namespace

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
