// Calls by name: the embedded type library as the platform reads it, and the IDispatch of the add-in's
// objects answered from it once it is registered.
#include <gtest/gtest.h>

#include <string>

#include "TandrelLib.h"
#include "addin/OfficeInterfaces.h"
#include "tests/com/AddInEnvironment.h"
#include "tools/hostsim/OfficeHost.h"
#include "tools/hostsim/AddInLocation.h"
#include "win/ComPtr.h"
#include "win/UniqueBstr.h"

namespace {

const bool environment = installAddInEnvironment();

// The callback interface, in its vtable and dispatch-id order, with the automation type of each parameter
// after the ribbon control.
struct Method {
    const wchar_t* name;
    std::vector<VARTYPE> parameters;
};

const std::vector<Method>& callbackMethods() {
    static const std::vector<Method> methods = {
        {L"OnLoad", {VT_DISPATCH}},
        {L"GetLabel", {VT_DISPATCH, VT_BSTR | VT_BYREF}},
        {L"GetSupertip", {VT_DISPATCH, VT_BSTR | VT_BYREF}},
        {L"GetEnabled", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"GetVisible", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"GetItemCount", {VT_DISPATCH, VT_I4 | VT_BYREF}},
        {L"GetItemID", {VT_DISPATCH, VT_I4, VT_BSTR | VT_BYREF}},
        {L"GetItemLabel", {VT_DISPATCH, VT_I4, VT_BSTR | VT_BYREF}},
        {L"GetPrintQualitySelectedItemIndex", {VT_DISPATCH, VT_I4 | VT_BYREF}},
        {L"GetLayoutSelectedItemIndex", {VT_DISPATCH, VT_I4 | VT_BYREF}},
        {L"GetNUpSelectedItemIndex", {VT_DISPATCH, VT_I4 | VT_BYREF}},
        {L"GetPagesPerSheetSelectedItemIndex", {VT_DISPATCH, VT_I4 | VT_BYREF}},
        {L"GetBlackAndWhitePressed", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"GetDuplexPressed", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"GetFitToPagePressed", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"OnPrintClicked", {VT_DISPATCH}},
        {L"OnPrintQualityClicked", {VT_DISPATCH, VT_BSTR | VT_BYREF, VT_I4}},
        {L"OnLayoutClicked", {VT_DISPATCH, VT_BSTR | VT_BYREF, VT_I4}},
        {L"OnBlackAndWhiteClicked", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"OnFitToPageClicked", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"OnDuplexClicked", {VT_DISPATCH, VT_BOOL | VT_BYREF}},
        {L"OnNUpClicked", {VT_DISPATCH, VT_BSTR | VT_BYREF, VT_I4}},
        {L"OnPagesPerSheetClicked", {VT_DISPATCH, VT_BSTR | VT_BYREF, VT_I4}},
        {L"OnDialogboxLauncher", {VT_DISPATCH}},
    };
    return methods;
}

std::wstring documentation(ITypeInfo* info, MEMBERID member, bool helpString) {
    win::UniqueBstr name, help;
    info->GetDocumentation(member, name.receive(), help.receive(), nullptr, nullptr);
    BSTR text = helpString ? help.get() : name.get();
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

class TypeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK,
                  ::LoadTypeLibEx(hostsim::addInBesideProgram().c_str(), REGKIND_NONE, library_.receive()));
    }
    win::ComPtr<ITypeLib> library_;
};

TEST_F(TypeLibraryTest, TheLibraryIsTandrelLibOneZero) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library_->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(LIBID_TandrelLib, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    library_->ReleaseTLibAttr(attributes);
    win::UniqueBstr name, help;
    ASSERT_EQ(S_OK, library_->GetDocumentation(-1, name.receive(), help.receive(), nullptr, nullptr));
    EXPECT_STREQ(L"TandrelLib", name.get());
    EXPECT_STREQ(L"Tandrel 1.0 Type Library", help.get());
}

TEST_F(TypeLibraryTest, BothClassesAreDescribed) {
    for (const auto& [classId, help] :
         {std::pair<const GUID*, const wchar_t*>{&CLSID_Connect, L"Connect Class"},
          {&CLSID_SimpleATLAddIn, L"SimpleATLAddIn Class"}}) {
        win::ComPtr<ITypeInfo> info;
        ASSERT_EQ(S_OK, library_->GetTypeInfoOfGuid(*classId, info.receive()));
        EXPECT_EQ(help, documentation(info.get(), MEMBERID_NIL, true));
    }
}

TEST_F(TypeLibraryTest, TheCallbackInterfaceIsDualWithItsMethodsInOrder) {
    win::ComPtr<ITypeInfo> dispatchView;
    ASSERT_EQ(S_OK, library_->GetTypeInfoOfGuid(IID_ISimpleATLAddIn, dispatchView.receive()));
    EXPECT_EQ(L"ISimpleATLAddIn Interface", documentation(dispatchView.get(), MEMBERID_NIL, true));
    HREFTYPE vtableReference = 0;
    ASSERT_EQ(S_OK, dispatchView->GetRefTypeOfImplType(-1, &vtableReference));
    win::ComPtr<ITypeInfo> vtableView;
    ASSERT_EQ(S_OK, dispatchView->GetRefTypeInfo(vtableReference, vtableView.receive()));

    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, vtableView->GetTypeAttr(&attributes));
    EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    const auto& methods = callbackMethods();
    ASSERT_EQ(methods.size(), attributes->cFuncs);
    vtableView->ReleaseTypeAttr(attributes);

    for (UINT index = 0; index < methods.size(); ++index) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(S_OK, vtableView->GetFuncDesc(index, &function));
        const Method& expected = methods[index];
        EXPECT_EQ(static_cast<MEMBERID>(index + 1), function->memid) << expected.name;
        EXPECT_EQ(static_cast<SHORT>((7 + index) * sizeof(void*)), function->oVft) << expected.name;
        EXPECT_EQ(expected.name, documentation(vtableView.get(), function->memid, false));
        EXPECT_EQ(std::wstring(L"method ") + expected.name,
                  documentation(vtableView.get(), function->memid, true));
        EXPECT_EQ(VT_HRESULT, function->elemdescFunc.tdesc.vt) << expected.name;
        ASSERT_EQ(expected.parameters.size(), static_cast<size_t>(function->cParams)) << expected.name;
        for (SHORT parameter = 0; parameter < function->cParams; ++parameter) {
            const TYPEDESC& type = function->lprgelemdescParam[parameter].tdesc;
            const VARTYPE seen = type.vt == VT_PTR ? (type.lptdesc->vt | VT_BYREF) : type.vt;
            EXPECT_EQ(expected.parameters[parameter], seen) << expected.name << " parameter " << parameter;
        }
        vtableView->ReleaseFuncDesc(function);
    }
}

TEST(VersionResource, FileAndProductVersionAre1_41_0_0InUsEnglishUnicode) {
    const std::wstring path = hostsim::addInBesideProgram();
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(41, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(41, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
    // Dated by the commit built, as the installed string files are.
    wchar_t* copyright = nullptr;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\LegalCopyright",
                                 reinterpret_cast<void**>(&copyright), &length));
    EXPECT_EQ(std::wstring(L"Copyright \u00A9 ") + QUILLERY_COPYRIGHT_YEARS L" Corvane International, Inc.",
              copyright);
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, host_.create()); }
    DISPID idOf(const wchar_t* name) {
        DISPID id = 12345;
        EXPECT_EQ(S_OK, host_.dispatchIdOf(name, id)) << name;
        return id;
    }
    hostsim::OfficeHost host_;
};

TEST_F(DispatchTest, EveryCallbackNameBindsToItsDispatchId) {
    const auto& methods = callbackMethods();
    for (size_t index = 0; index < methods.size(); ++index)
        EXPECT_EQ(static_cast<DISPID>(index + 1), idOf(methods[index].name)) << methods[index].name;
}

TEST_F(DispatchTest, NamesInAnotherCaseAreMatchedByTheTypeInformation) {
    EXPECT_EQ(1, idOf(L"onload"));
    EXPECT_EQ(24, idOf(L"ONDIALOGBOXLAUNCHER"));
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, host_.dispatchIdOf(L"OnLoadX", id));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, host_.dispatchIdOf(L"OnLoa", id));
}

TEST_F(DispatchTest, EveryIndexGivesTheOneTypeInformation) {
    IDispatch* dispatch = host_.addIn();
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfoCount(nullptr));
    win::ComPtr<ITypeInfo> first, fifth;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, first.receive()));
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(5, LOCALE_USER_DEFAULT, fifth.receive()));
    EXPECT_EQ(first.get(), fifth.get());
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr));
}

TEST_F(DispatchTest, TheSecondClassAnswersNamesToo) {
    hostsim::OfficeHost simple;
    ASSERT_EQ(E_NOINTERFACE, simple.create(L"TandrelQuillery.SimpleATLAddIn"))
        << "it is created, but it is no add-in connection";
    DISPID id = 0;
    ASSERT_EQ(S_OK, simple.dispatchIdOf(L"GetItemLabel", id));
    EXPECT_EQ(8, id);
    EXPECT_EQ(S_OK, simple.call(L"OnPrintClicked", {hostsim::dispatchArgument(nullptr)}));
}

TEST_F(DispatchTest, AnInterfaceWhoseLibraryIsNotRegisteredReportsTheLoadingFailure) {
    // The Office libraries that describe the host's own interfaces are not installed here.
    auto connection = win::ComPtr<_IDTExtensibility2>::queryFrom(host_.addIn(), IID__IDTExtensibility2);
    ASSERT_TRUE(connection);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
    const HRESULT result = connection->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    EXPECT_EQ(nullptr, info);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"OnConnection")};
    DISPID id = 0;
    EXPECT_EQ(result, connection->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

}  // namespace
