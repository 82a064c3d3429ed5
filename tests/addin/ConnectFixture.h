#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "tests/com/AddInEnvironment.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/hostsim/AutomationObject.h"
#include "tools/hostsim/OfficeHost.h"
#include "tools/hostsim/RibbonControl.h"

// A host that has loaded and connected the add-in over an installation and a default printer of the test's
// choosing, and the helpers with which the tests ask it what the ribbon asks.
class ConnectFixture : public ::testing::Test {
protected:
    using Options = fixtures::PrinterFixture::Options;

    ~ConnectFixture() override;

    // Installs, then creates and connects the add-in as the host does at start-up, with `application` (or a
    // plain automation object of the fixture's) as the host's application object.
    void connect(const Options& printer = Options(),
                 const fixtures::InstallationFixture::Options& installation = {},
                 IDispatch* application = nullptr);
    void disconnectAndRelease();

    std::wstring label(const wchar_t* controlId);
    std::wstring supertip(const wchar_t* controlId);
    VARIANT_BOOL visible(const wchar_t* controlId);
    VARIANT_BOOL pressed(const wchar_t* getter, const wchar_t* controlId);
    LONG selected(const wchar_t* getter, const wchar_t* controlId);
    LONG itemCount(const wchar_t* controlId);
    std::wstring itemId(const wchar_t* controlId, LONG index);
    std::wstring itemLabel(const wchar_t* controlId, LONG index);
    HRESULT select(const wchar_t* action, const wchar_t* controlId, LONG index);
    HRESULT toggle(const wchar_t* action, const wchar_t* controlId, VARIANT_BOOL pressed);
    HRESULT print();

    template <typename Value>
    Value ask(HRESULT (hostsim::OfficeHost::*getter)(const wchar_t*, IDispatch*, Value&), const wchar_t* name,
              const wchar_t* controlId, Value sentinel);

    // The markup for `ribbonId`, or nothing when the add-in handed out none.
    std::optional<std::wstring> markupFor(const wchar_t* ribbonId);

    // A one-shot value in the driver's settings key, or nothing when absent.
    std::optional<DWORD> driverValue(const char* name);
    // The per-user state stored for a control, or nothing when absent.
    std::optional<DWORD> userValue(const char* name);
    void storeUserValue(const char* name, DWORD value);

    std::unique_ptr<fixtures::InstallationFixture> installation_;
    std::unique_ptr<fixtures::PrinterFixture> printer_;
    hostsim::OfficeHost host_;
    hostsim::AutomationObject* application_ = new hostsim::AutomationObject();
    hostsim::AutomationObject* addInObject_ = new hostsim::AutomationObject();
    bool connected_ = false;
};

// The UTF-8 fixture file as the host receives it: widened.
std::wstring widenedFixture(const char* fileName);
