#include "host/HostApplication.h"

#include <gtest/gtest.h>

#include <string>

#include "win/UniqueBstr.h"

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

// The ribbon identifier as the host passes it: a BSTR of the given length, which may hold a NUL.
win::UniqueBstr ribbonId(const std::wstring& text) {
    return win::UniqueBstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

TEST(HostApplicationDetach, KindSurvivesDetach) {
    CountingDispatch application;
    HostApplication host;
    host.attach(&application, nullptr);
    host.detectKind(ribbonId(L"Microsoft.PowerPoint.Presentation").get());
    host.detach();
    EXPECT_EQ(host.kind(), HostKind::PowerPoint);
}

TEST(HostApplicationKind, NewObjectIsNone) {
    HostApplication host;
    EXPECT_EQ(host.kind(), HostKind::None);
    EXPECT_EQ(static_cast<int>(host.kind()), 4);
}

// Each call decides afresh from the whole identifier: exact, case-sensitive, over the BSTR's full length. The
// platform's linguistic comparison would count a soft hyphen or a zero-width space as nothing, and a
// comparison that stops at a NUL would take what follows it for nothing; the host passes exact identifiers,
// so none of those may select a host. Each row starts from another host's kind, so a row that leaves the kind
// untouched fails.
TEST(HostApplicationKind, TheWholeIdentifierSelectsTheHost) {
    using namespace std::string_literals;
    const struct {
        std::wstring identifier;
        HostKind expected;
    } rows[] = {
        {L"Microsoft.Word.Document", HostKind::Word},
        {L"Microsoft.Excel.Workbook", HostKind::Excel},
        {L"Microsoft.PowerPoint.Presentation", HostKind::PowerPoint},
        {L"", HostKind::None},
        {L"Microsoft.Word.Document\0"s, HostKind::None},
        {L"Microsoft.Excel.Workbook\0Other"s, HostKind::None},
        {L"Microsoft.Word.Document\u00AD", HostKind::None},
        {L"Microsoft.Word.Docu\u00ADment", HostKind::None},
        {L"Microsoft.Excel.Workbook\u200B", HostKind::None},
        {L"microsoft.word.document", HostKind::None},
        {L"MICROSOFT.EXCEL.WORKBOOK", HostKind::None},
        {L"Microsoft.Word.Document ", HostKind::None},
        {L" Microsoft.Word.Document", HostKind::None},
        {L"Microsoft.Word.Documen", HostKind::None},
        {L"Microsoft.Word", HostKind::None},
        {L"Microsoft.Outlook.Explorer", HostKind::None},
        {L"Microsoft.Word.Document.Other", HostKind::None},
    };
    for (const auto& row : rows) {
        HostApplication host;
        const auto before = ribbonId(row.expected == HostKind::Excel ? L"Microsoft.Word.Document"
                                                                     : L"Microsoft.Excel.Workbook");
        host.detectKind(before.get());
        const auto identifier = ribbonId(row.identifier);
        EXPECT_EQ(host.detectKind(identifier.get()), row.expected)
            << "identifier " << testing::PrintToString(row.identifier);
        EXPECT_EQ(host.kind(), row.expected) << "identifier " << testing::PrintToString(row.identifier);
    }
    HostApplication host;
    host.detectKind(ribbonId(L"Microsoft.Word.Document").get());
    EXPECT_EQ(host.detectKind(nullptr), HostKind::None) << "a null identifier";
}

}  // namespace
