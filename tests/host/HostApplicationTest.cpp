#include "host/HostApplication.h"

#include <gtest/gtest.h>

namespace {

// An automation object that counts the references others hold on it, and may refuse to be asked for
// IDispatch.
class CountingDispatch final : public IDispatch {
public:
    explicit CountingDispatch(bool refuseDispatch = false) : refuseDispatch_(refuseDispatch) {}

    // References held besides the test's own.
    long heldByOthers() const { return references_ - 1; }
    int dispatchQueries() const { return dispatchQueries_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IDispatch)) {
            ++dispatchQueries_;
            if (refuseDispatch_) return E_NOINTERFACE;
        } else if (!IsEqualIID(iid, IID_IUnknown)) {
            return E_NOINTERFACE;
        }
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        // The test owns the object on its stack; a count below the test's own reference is an over-release.
        EXPECT_GT(references_, 1) << "released more often than referenced";
        return static_cast<ULONG>(--references_);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

private:
    bool refuseDispatch_;
    long references_ = 1;
    int dispatchQueries_ = 0;
};

TEST(HostApplicationAttach, KeepsOneReferenceToEachObjectAndGivesThemBackOnDetach) {
    CountingDispatch application;
    CountingDispatch addIn;
    HostApplication host;
    EXPECT_TRUE(host.attach(&application, &addIn));
    EXPECT_EQ(application.heldByOthers(), 1);
    EXPECT_EQ(addIn.heldByOthers(), 1);
    EXPECT_EQ(host.application(), &application);
    host.detach();
    EXPECT_EQ(application.heldByOthers(), 0);
    EXPECT_EQ(addIn.heldByOthers(), 0);
    EXPECT_EQ(host.application(), nullptr);
}

TEST(HostApplicationAttach, AsksBothObjectsForIDispatch) {
    CountingDispatch application;
    CountingDispatch addIn;
    HostApplication host;
    host.attach(&application, &addIn);
    EXPECT_EQ(application.dispatchQueries(), 1);
    EXPECT_EQ(addIn.dispatchQueries(), 1);
}

TEST(HostApplicationAttach, NullApplicationIsRefusedAndNothingKept) {
    CountingDispatch addIn;
    HostApplication host;
    EXPECT_FALSE(host.attach(nullptr, &addIn));
    EXPECT_EQ(addIn.heldByOthers(), 0);
    EXPECT_EQ(addIn.dispatchQueries(), 0);
    EXPECT_EQ(host.application(), nullptr);
}

TEST(HostApplicationAttach, NullAddInKeepsOnlyTheApplication) {
    CountingDispatch application;
    HostApplication host;
    EXPECT_TRUE(host.attach(&application, nullptr));
    EXPECT_EQ(application.heldByOthers(), 1);
    host.detach();
    EXPECT_EQ(application.heldByOthers(), 0);
}

TEST(HostApplicationAttach, RefusedQueryLeavesThatReferenceEmptyButStillSucceeds) {
    CountingDispatch application(true);
    CountingDispatch addIn(true);
    HostApplication host;
    EXPECT_TRUE(host.attach(&application, &addIn));
    EXPECT_EQ(host.application(), nullptr);
    EXPECT_EQ(application.heldByOthers(), 0);
    EXPECT_EQ(addIn.heldByOthers(), 0);
}

TEST(HostApplicationAttach, SecondAttachGivesBackTheFirstObjects) {
    CountingDispatch first;
    CountingDispatch firstAddIn;
    CountingDispatch second;
    CountingDispatch secondAddIn;
    HostApplication host;
    host.attach(&first, &firstAddIn);
    host.attach(&second, &secondAddIn);
    EXPECT_EQ(first.heldByOthers(), 0);
    EXPECT_EQ(firstAddIn.heldByOthers(), 0);
    EXPECT_EQ(second.heldByOthers(), 1);
    EXPECT_EQ(secondAddIn.heldByOthers(), 1);
    EXPECT_EQ(host.application(), &second);
    host.detach();
    EXPECT_EQ(second.heldByOthers(), 0);
    EXPECT_EQ(secondAddIn.heldByOthers(), 0);
}

TEST(HostApplicationAttach, AttachingTheSameObjectsAgainHoldsOneReferenceEach) {
    CountingDispatch application;
    CountingDispatch addIn;
    HostApplication host;
    host.attach(&application, &addIn);
    host.attach(&application, &addIn);
    EXPECT_EQ(application.heldByOthers(), 1);
    EXPECT_EQ(addIn.heldByOthers(), 1);
}

TEST(HostApplicationAttach, RefusedSecondAttachKeepsTheFirstObjects) {
    CountingDispatch application;
    HostApplication host;
    host.attach(&application, nullptr);
    EXPECT_FALSE(host.attach(nullptr, nullptr));
    EXPECT_EQ(application.heldByOthers(), 1);
    EXPECT_EQ(host.application(), &application);
}

TEST(HostApplicationDetach, SecondDetachAndDetachOfNothingDoNothing) {
    CountingDispatch application;
    CountingDispatch addIn;
    HostApplication host;
    host.detach();
    host.attach(&application, &addIn);
    host.detach();
    host.detach();
    EXPECT_EQ(application.heldByOthers(), 0);
    EXPECT_EQ(addIn.heldByOthers(), 0);
}

TEST(HostApplicationDetach, DestructionGivesBackWhatIsStillHeld) {
    CountingDispatch application;
    CountingDispatch addIn;
    {
        HostApplication host;
        host.attach(&application, &addIn);
    }
    EXPECT_EQ(application.heldByOthers(), 0);
    EXPECT_EQ(addIn.heldByOthers(), 0);
}

TEST(HostApplicationDetach, KindSurvivesDetach) {
    CountingDispatch application;
    HostApplication host;
    host.attach(&application, nullptr);
    host.detectKind(L"Microsoft.PowerPoint.Presentation");
    host.detach();
    EXPECT_EQ(host.kind(), HostKind::PowerPoint);
}

TEST(HostApplicationKind, NewObjectIsNone) {
    HostApplication host;
    EXPECT_EQ(host.kind(), HostKind::None);
    EXPECT_EQ(static_cast<int>(host.kind()), 4);
}

TEST(HostApplicationKind, EachRibbonIdentifierSelectsItsHost) {
    HostApplication host;
    EXPECT_EQ(host.detectKind(L"Microsoft.Word.Document"), HostKind::Word);
    EXPECT_EQ(host.kind(), HostKind::Word);
    EXPECT_EQ(host.detectKind(L"Microsoft.Excel.Workbook"), HostKind::Excel);
    EXPECT_EQ(host.detectKind(L"Microsoft.PowerPoint.Presentation"), HostKind::PowerPoint);
    EXPECT_EQ(static_cast<int>(host.kind()), 3);
}

TEST(HostApplicationKind, EveryCallDecidesAfresh) {
    HostApplication host;
    EXPECT_EQ(host.detectKind(L"Microsoft.Excel.Workbook"), HostKind::Excel);
    EXPECT_EQ(host.detectKind(L""), HostKind::None);
    EXPECT_EQ(host.kind(), HostKind::None);
}

TEST(HostApplicationKind, NullIdentifierIsNone) {
    HostApplication host;
    host.detectKind(L"Microsoft.Word.Document");
    EXPECT_EQ(host.detectKind(nullptr), HostKind::None);
    EXPECT_EQ(host.kind(), HostKind::None);
}

// The platform's comparison is linguistic: it counts "Microsoft.Word.Document" followed by, or broken by, a
// soft hyphen as equal to the identifier. The host passes exact identifiers, so neither may select a host.
TEST(HostApplicationKind, CharactersThePlatformIgnoresStillMakeADifferentIdentifier) {
    HostApplication host;
    EXPECT_EQ(host.detectKind(L"Microsoft.Word.Document\u00AD"), HostKind::None);
    EXPECT_EQ(host.detectKind(L"Microsoft.Word.Docu\u00ADment"), HostKind::None);
    EXPECT_EQ(host.detectKind(L"Microsoft.Excel.Workbook\u200B"), HostKind::None);
}

TEST(HostApplicationKind, ComparisonIsExactAndCaseSensitive) {
    HostApplication host;
    const wchar_t* const nearMisses[] = {
        L"microsoft.word.document",    L"MICROSOFT.EXCEL.WORKBOOK",      L"Microsoft.Word.Document ",
        L" Microsoft.Word.Document",   L"Microsoft.Word.Documen",        L"Microsoft.Word",
        L"Microsoft.Outlook.Explorer", L"Microsoft.Word.Document.Other",
    };
    for (const wchar_t* identifier : nearMisses) {
        EXPECT_EQ(host.detectKind(identifier), HostKind::None)
            << "identifier " << testing::PrintToString(identifier);
    }
}

}  // namespace
