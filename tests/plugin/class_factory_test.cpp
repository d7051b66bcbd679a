// The library's entry points and class factory, in process: which class is served, reference
// counts, server locks and the unload answer.
#include "plugin/class_factory.h"

#include <gmock/gmock.h>

#include "tests/plugin/plugin_fixture.h"

namespace qxtest {
namespace {

constexpr CLSID kOtherClass = {0x6D6ABF26, 0x9F38, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xED}};

class ClassFactoryTest : public ::testing::Test {
 protected:
  ClassFactoryTest() { g_lServerLocks.store(0); }
  ~ClassFactoryTest() override {
    EXPECT_EQ(g_lObjects.load(), 0) << "an object or factory was leaked";
    g_lServerLocks.store(0);
  }
  IClassFactory* Factory() {
    void* out = nullptr;
    EXPECT_EQ(DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory, &out), S_OK);
    return static_cast<IClassFactory*>(out);
  }
};

TEST_F(ClassFactoryTest, ServesOnlyThePluginClass) {
  void* out = &out;
  EXPECT_EQ(DllGetClassObject(kOtherClass, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, &out);
  EXPECT_EQ(DllGetClassObject(CLSID_OEMRENDER, IID_IPrintOemUni, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ClassFactoryTest, FactoryComesWithOneReference) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(g_lObjects.load(), 1);
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  void* same = nullptr;
  EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &same), S_OK);
  EXPECT_EQ(same, factory);
  EXPECT_EQ(factory->Release(), 1u);
  EXPECT_EQ(factory->QueryInterface(IID_IPrintOemUni, &same), E_NOINTERFACE);
  EXPECT_EQ(same, nullptr);
  EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ClassFactoryTest, CreatesIndependentObjectsAndRefusesWhatItCannot) {
  IClassFactory* factory = Factory();
  void* a = nullptr;
  void* b = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUni, &a), S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &b), S_OK);
  EXPECT_NE(a, b);
  void* out = &out;
  EXPECT_EQ(factory->CreateInstance(factory, IID_IPrintOemUni, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, &out);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUni, nullptr), E_POINTER);
  EXPECT_EQ(g_lObjects.load(), 3) << "refused objects are not kept";
  EXPECT_EQ(factory->Release(), 0u);
  // The objects outlive the factory that made them.
  EXPECT_EQ(g_lObjects.load(), 2);
  EXPECT_EQ(static_cast<IPrintOemUni*>(a)->Release(), 0u);
  EXPECT_EQ(static_cast<IUnknown*>(b)->Release(), 0u);
}

TEST_F(ClassFactoryTest, ServerLocksAndLiveObjectsKeepTheLibraryLoaded) {
  IClassFactory* factory = Factory();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  // An unbalanced unlock keeps it loaded too.
  factory = Factory();
  factory->LockServer(FALSE);
  factory->Release();
  EXPECT_EQ(g_lServerLocks.load(), -1);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
}

TEST(ModuleEntryTest, CanUploadNowInvertsEveryBit) {
  EXPECT_EQ(DllCanUploadNow(0x0000FFFF), 0xFFFF0000u);
  EXPECT_EQ(DllCanUploadNow(0), 0xFFFFFFFFu);
  EXPECT_EQ(DllCanUploadNow(0xFFFFFFFF), 0u);
}

}  // namespace
}  // namespace qxtest
