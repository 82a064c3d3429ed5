// The library's entry points, class factories, server locks, interface lookup and aggregation, on a fresh
// copy of the add-in loaded by the test itself.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TandrelLib.h"
#include "addin/OfficeInterfaces.h"
#include "tests/server/LoadedServer.h"
#include "tools/hostsim/AutomationObject.h"
#include "win/ComPtr.h"

namespace {

const IID kUnknownInterface = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class ServerFrameTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.loaded()) << "could not load a copy of the add-in"; }
    void TearDown() override {
        EXPECT_EQ(S_OK, server_.canUnloadNow()) << "the test left a server lock behind";
    }

    LoadedServer server_;
};

TEST_F(ServerFrameTest, AnUnknownClassIsNotAvailableAndLeavesTheOutPointerNull) {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              server_.getClassObject(kUnknownInterface, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, server_.getClassObject(CLSID_Connect, IID_IClassFactory, nullptr));
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, server_.getClassObject(CLSID_Connect, IID_IDispatch, &object));
    EXPECT_EQ(nullptr, object);
}

TEST_F(ServerFrameTest, EachClassHasOneFactoryEvenWhenManyThreadsAskAtOnce) {
    constexpr int kThreads = 8;
    std::vector<IClassFactory*> factories(kThreads, nullptr);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int index = 0; index < kThreads; ++index) {
        threads.emplace_back([&, index] {
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            server_.getClassObject(CLSID_Connect, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factories[index]));
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (IClassFactory* factory : factories) EXPECT_EQ(factories[0], factory);

    win::ComPtr<IClassFactory> simpleFactory;
    ASSERT_EQ(S_OK,
              server_.getClassObject(CLSID_SimpleATLAddIn, IID_IClassFactory, simpleFactory.receiveVoid()));
    EXPECT_NE(static_cast<IClassFactory*>(simpleFactory.get()), factories[0]);
    for (IClassFactory* factory : factories) {
        if (factory) factory->Release();
    }
}

TEST_F(ServerFrameTest, LiveObjectsFactoriesHandedOutAndLockServerKeepTheLibraryLoaded) {
    EXPECT_EQ(S_OK, server_.canUnloadNow());
    win::ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, server_.getClassObject(CLSID_Connect, IID_IClassFactory, factory.receiveVoid()));
    EXPECT_EQ(S_FALSE, server_.canUnloadNow()) << "a factory handed out";

    win::ComPtr<IUnknown> connect;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, connect.receiveVoid()));
    factory.reset();
    EXPECT_EQ(S_FALSE, server_.canUnloadNow()) << "a live object";
    connect.reset();
    EXPECT_EQ(S_OK, server_.canUnloadNow());

    ASSERT_EQ(S_OK, server_.getClassObject(CLSID_Connect, IID_IClassFactory, factory.receiveVoid()));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.reset();
    EXPECT_EQ(S_FALSE, server_.canUnloadNow()) << "one LockServer lock left";
    ASSERT_EQ(S_OK, server_.getClassObject(CLSID_Connect, IID_IClassFactory, factory.receiveVoid()));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
}

TEST_F(ServerFrameTest, CreateInstanceChecksItsArguments) {
    win::ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, server_.getClassObject(CLSID_Connect, IID_IClassFactory, factory.receiveVoid()));
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, kUnknownInterface, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_FALSE, server_.canUnloadNow()) << "the factory itself is handed out";
}

TEST_F(ServerFrameTest, TheConnectionObjectsIdentityAndPlainDispatchAreItsCallbackInterface) {
    win::ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, server_.create(CLSID_Connect, nullptr, IID_IUnknown, identity.receiveVoid()));
    win::ComPtr<IDispatch> dispatch;
    win::ComPtr<ISimpleATLAddIn> callbacks;
    win::ComPtr<_IDTExtensibility2> connection;
    win::ComPtr<IRibbonExtensibility> ribbon;
    ASSERT_EQ(S_OK, identity->QueryInterface(IID_IDispatch, dispatch.receiveVoid()));
    ASSERT_EQ(S_OK, identity->QueryInterface(IID_ISimpleATLAddIn, callbacks.receiveVoid()));
    ASSERT_EQ(S_OK, identity->QueryInterface(IID__IDTExtensibility2, connection.receiveVoid()));
    ASSERT_EQ(S_OK, identity->QueryInterface(IID_IRibbonExtensibility, ribbon.receiveVoid()));
    EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(dispatch.get()));
    EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(callbacks.get()));

    for (IUnknown* part : {static_cast<IUnknown*>(connection.get()), static_cast<IUnknown*>(ribbon.get())}) {
        win::ComPtr<IUnknown> again;
        ASSERT_EQ(S_OK, part->QueryInterface(IID_IUnknown, again.receiveVoid()));
        EXPECT_EQ(identity.get(), again.get()) << "every interface leads back to one identity";
    }
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, identity->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(ServerFrameTest, OnlyTheSecondClassCanBeAggregatedAndOnlyForItsIUnknown) {
    auto* outer = new hostsim::AutomationObject();
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, server_.create(CLSID_Connect, outer, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, server_.create(CLSID_SimpleATLAddIn, outer, IID_IDispatch, &object));

    win::ComPtr<IUnknown> inner;
    ASSERT_EQ(S_OK, server_.create(CLSID_SimpleATLAddIn, outer, IID_IUnknown, inner.receiveVoid()));
    EXPECT_EQ(1u, outer->references()) << "the inner object must not hold its outer object";
    EXPECT_EQ(S_FALSE, server_.canUnloadNow());

    // Interfaces of the inner object speak for the outer one.
    win::ComPtr<ISimpleATLAddIn> callbacks;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_ISimpleATLAddIn, callbacks.receiveVoid()));
    EXPECT_EQ(2u, outer->references());
    callbacks.reset();
    EXPECT_EQ(1u, outer->references());

    inner.reset();
    EXPECT_EQ(S_OK, server_.canUnloadNow());
    outer->Release();
}

TEST_F(ServerFrameTest, TheSecondClassDoesNothingInAnyMethod) {
    win::ComPtr<ISimpleATLAddIn> simple;
    ASSERT_EQ(S_OK, server_.create(CLSID_SimpleATLAddIn, nullptr, IID_ISimpleATLAddIn, simple.receiveVoid()));
    BSTR text = reinterpret_cast<BSTR>(0x77);
    VARIANT_BOOL flag = 0x55;
    LONG number = 0x66;
    VARIANT_BOOL state = VARIANT_TRUE;
    EXPECT_EQ(S_OK, simple->OnLoad(nullptr));
    EXPECT_EQ(S_OK, simple->GetLabel(nullptr, &text));
    EXPECT_EQ(S_OK, simple->GetSupertip(nullptr, &text));
    EXPECT_EQ(S_OK, simple->GetEnabled(nullptr, &flag));
    EXPECT_EQ(S_OK, simple->GetVisible(nullptr, &flag));
    EXPECT_EQ(S_OK, simple->GetItemCount(nullptr, &number));
    EXPECT_EQ(S_OK, simple->GetItemID(nullptr, 1, &text));
    EXPECT_EQ(S_OK, simple->GetItemLabel(nullptr, 1, &text));
    EXPECT_EQ(S_OK, simple->GetPrintQualitySelectedItemIndex(nullptr, &number));
    EXPECT_EQ(S_OK, simple->GetLayoutSelectedItemIndex(nullptr, &number));
    EXPECT_EQ(S_OK, simple->GetNUpSelectedItemIndex(nullptr, &number));
    EXPECT_EQ(S_OK, simple->GetPagesPerSheetSelectedItemIndex(nullptr, &number));
    EXPECT_EQ(S_OK, simple->GetBlackAndWhitePressed(nullptr, &flag));
    EXPECT_EQ(S_OK, simple->GetDuplexPressed(nullptr, &flag));
    EXPECT_EQ(S_OK, simple->GetFitToPagePressed(nullptr, &flag));
    EXPECT_EQ(S_OK, simple->OnPrintClicked(nullptr));
    EXPECT_EQ(S_OK, simple->OnPrintQualityClicked(nullptr, &text, 1));
    EXPECT_EQ(S_OK, simple->OnLayoutClicked(nullptr, &text, 1));
    EXPECT_EQ(S_OK, simple->OnBlackAndWhiteClicked(nullptr, &state));
    EXPECT_EQ(S_OK, simple->OnFitToPageClicked(nullptr, &state));
    EXPECT_EQ(S_OK, simple->OnDuplexClicked(nullptr, &state));
    EXPECT_EQ(S_OK, simple->OnNUpClicked(nullptr, &text, 1));
    EXPECT_EQ(S_OK, simple->OnPagesPerSheetClicked(nullptr, &text, 1));
    EXPECT_EQ(S_OK, simple->OnDialogboxLauncher(nullptr));
    EXPECT_EQ(reinterpret_cast<BSTR>(0x77), text);
    EXPECT_EQ(0x55, flag);
    EXPECT_EQ(0x66, number);
    EXPECT_EQ(VARIANT_TRUE, state);
}

}  // namespace
