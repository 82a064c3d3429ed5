#include "tests/addin/ConnectFixture.h"

#include "TandrelLib.h"
#include "tools/fixtures/FixtureData.h"
#include "win/ComPtr.h"

namespace {

// The per-user key lies at the installation key's path under HKEY_CURRENT_USER.
constexpr const char* kUserKey = fixtures::InstallationFixture::kKeyPath;

// Each call gets a fresh control, as the ribbon's; the add-in must give back every reference it takes.
class Control {
public:
    explicit Control(const wchar_t* id) : control_(new hostsim::RibbonControl(id)) {}
    ~Control() {
        EXPECT_EQ(1u, control_->references()) << "the add-in kept a reference to the control";
        EXPECT_EQ(0, control_->extraReads()) << "the add-in read the control's tag or context";
        control_->Release();
    }
    IDispatch* get() const { return control_; }

private:
    hostsim::RibbonControl* control_;
};

}  // namespace

std::wstring widenedFixture(const char* fileName) {
    return fixtures::widenedFixtureData(fileName);
}

ConnectFixture::~ConnectFixture() {
    if (connected_) disconnectAndRelease();
    EXPECT_EQ(1u, application_->references()) << "the add-in kept a reference to the application object";
    EXPECT_EQ(1u, addInObject_->references()) << "the add-in kept a reference to the COM add-in object";
    application_->Release();
    addInObject_->Release();
}

void ConnectFixture::connect(const Options& printer,
                             const fixtures::InstallationFixture::Options& installation,
                             IDispatch* application) {
    installation_ = std::make_unique<fixtures::InstallationFixture>(installation);
    printer_ = std::make_unique<fixtures::PrinterFixture>(printer);
    ASSERT_EQ(S_OK, host_.create());
    ASSERT_EQ(S_OK, host_.connect(application ? application : application_, addInObject_));
    connected_ = true;
}

void ConnectFixture::disconnectAndRelease() {
    EXPECT_EQ(S_OK, host_.disconnect());
    host_.release();
    connected_ = false;
    EXPECT_EQ(S_OK, addInCanUnloadNow()) << "a server lock outlived the add-in object";
}

// Asks one getter about a fresh control; the value stays at a sentinel when the call hands nothing back.
template <typename Value>
Value ConnectFixture::ask(HRESULT (hostsim::OfficeHost::*getter)(const wchar_t*, IDispatch*, Value&),
                          const wchar_t* name, const wchar_t* controlId, Value sentinel) {
    Control control(controlId);
    Value value = sentinel;
    EXPECT_EQ(S_OK, (host_.*getter)(name, control.get(), value)) << name << " for " << controlId;
    return value;
}

std::wstring ConnectFixture::label(const wchar_t* controlId) {
    return ask(&hostsim::OfficeHost::text, L"GetLabel", controlId, std::wstring(L"(unset)"));
}

std::wstring ConnectFixture::supertip(const wchar_t* controlId) {
    return ask(&hostsim::OfficeHost::text, L"GetSupertip", controlId, std::wstring(L"(unset)"));
}

VARIANT_BOOL ConnectFixture::visible(const wchar_t* controlId) {
    return ask(&hostsim::OfficeHost::flag, L"GetVisible", controlId, VARIANT_BOOL{42});
}

VARIANT_BOOL ConnectFixture::pressed(const wchar_t* getter, const wchar_t* controlId) {
    return ask(&hostsim::OfficeHost::flag, getter, controlId, VARIANT_BOOL{42});
}

LONG ConnectFixture::selected(const wchar_t* getter, const wchar_t* controlId) {
    return ask(&hostsim::OfficeHost::number, getter, controlId, LONG{42});
}

LONG ConnectFixture::itemCount(const wchar_t* controlId) {
    return ask(&hostsim::OfficeHost::number, L"GetItemCount", controlId, LONG{42});
}

std::wstring ConnectFixture::itemId(const wchar_t* controlId, LONG index) {
    Control control(controlId);
    std::wstring text = L"(unset)";
    EXPECT_EQ(S_OK, host_.itemText(L"GetItemID", control.get(), index, text));
    return text;
}

std::wstring ConnectFixture::itemLabel(const wchar_t* controlId, LONG index) {
    Control control(controlId);
    std::wstring text = L"(unset)";
    EXPECT_EQ(S_OK, host_.itemText(L"GetItemLabel", control.get(), index, text));
    return text;
}

HRESULT ConnectFixture::select(const wchar_t* action, const wchar_t* controlId, LONG index) {
    Control control(controlId);
    return host_.selectItem(action, control.get(), (std::wstring(controlId) + std::to_wstring(index)).c_str(),
                            index);
}

HRESULT ConnectFixture::toggle(const wchar_t* action, const wchar_t* controlId, VARIANT_BOOL pressed) {
    Control control(controlId);
    return host_.toggle(action, control.get(), pressed);
}

// Through the vtable: automation reports every success of a method as S_OK, and Print's S_FALSE (nothing
// printed) is what the tests look at.
HRESULT ConnectFixture::print() {
    Control control(L"ButtonPrintWordID");
    auto callbacks = win::ComPtr<ISimpleATLAddIn>::queryFrom(host_.addIn(), IID_ISimpleATLAddIn);
    return callbacks ? callbacks->OnPrintClicked(control.get()) : E_NOINTERFACE;
}

std::optional<std::wstring> ConnectFixture::markupFor(const wchar_t* ribbonId) {
    std::wstring markup;
    bool received = false;
    EXPECT_EQ(S_OK, host_.customUI(ribbonId, markup, received));
    if (!received) return std::nullopt;
    return markup;
}

std::optional<DWORD> ConnectFixture::driverValue(const char* name) {
    if (!printer_) return std::nullopt;
    return printer_->valueOf(name);
}

std::optional<DWORD> ConnectFixture::userValue(const char* name) {
    DWORD value = 0;
    if (!registryDword(HKEY_CURRENT_USER, kUserKey, name, value)) return std::nullopt;
    return value;
}

void ConnectFixture::storeUserValue(const char* name, DWORD value) {
    setRegistryDword(HKEY_CURRENT_USER, kUserKey, name, value);
}
