// The module's class object, unloading and the identities an instance answers.
#include <gtest/gtest.h>

#include "server.h"

namespace clasp::testing {
namespace {

ComPtr<IClassFactory> Factory() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(Server::Get().get_class_object(GuidOf(kClsidText), __uuidof(IClassFactory),
                                           factory.PutVoid()),
            S_OK);
  return factory;
}

TEST(ClassFactory, RefusesOtherClassesNullOutPointersAndAggregation) {
  const Server& server = Server::Get();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(server.get_class_object(GuidOf(kIidText), __uuidof(IClassFactory), &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(server.get_class_object(GuidOf(kClsidText), __uuidof(IClassFactory), nullptr),
            E_POINTER);

  const ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IDispatch), nullptr), E_POINTER);
  ComPtr<IUnknown> outer = QueryAs<IUnknown>(factory.Get());
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), __uuidof(IUnknown), &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  ComPtr<IDispatch> component;
  EXPECT_EQ(factory->CreateInstance(nullptr, GuidOf(kLibidText), component.PutVoid()),
            E_NOINTERFACE);
}

// A class object and an instance from it, made when the module could unload.
struct LiveInstance {
  LiveInstance() {
    EXPECT_EQ(Server::Get().can_unload_now(), S_OK);
    factory = Factory();
    EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IDispatch), component.PutVoid()), S_OK);
  }
  ComPtr<IClassFactory> factory;
  ComPtr<IDispatch> component;
};

TEST(ClassFactory, ModuleUnloadsOnlyWithoutInstancesAndLocks) {
  const Server& server = Server::Get();
  LiveInstance live;
  live.factory.Reset();
  EXPECT_EQ(server.can_unload_now(), S_FALSE) << "an instance is alive";
  live.component.Reset();
  EXPECT_EQ(server.can_unload_now(), S_OK);

  ComPtr<IClassFactory> factory = Factory();
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(server.can_unload_now(), S_FALSE) << "the factory is locked";
  factory = Factory();
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(server.can_unload_now(), S_OK);
}

TEST(ClassFactory, AnUnlockWithoutALockCannotUnloadALiveInstance) {
  const Server& server = Server::Get();
  LiveInstance live;
  // A client that gives back locks it never took: ignored.
  EXPECT_EQ(live.factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(live.factory->LockServer(FALSE), S_OK);
  live.factory.Reset();
  EXPECT_EQ(server.can_unload_now(), S_FALSE) << "an instance is alive";
  live.component.Reset();
  EXPECT_EQ(server.can_unload_now(), S_OK) << "the ignored unlocks left a count behind";
}

TEST(ClassFactory, InstanceAnswersHoldfastUnderAllThreeIdentifiers) {
  const ComPtr<IClassFactory> factory = Factory();
  ComPtr<IUnknown> identity;
  ASSERT_EQ(factory->CreateInstance(nullptr, __uuidof(IUnknown), identity.PutVoid()), S_OK);
  ComPtr<IUnknown> holdfast;
  ASSERT_EQ(identity->QueryInterface(GuidOf(kIidText), holdfast.PutVoid()), S_OK);
  for (const wchar_t* iid : {kIidText, kIidV0Text, kIidV1Text}) {
    SCOPED_TRACE(::testing::Message() << iid);
    ComPtr<IUnknown> answer;
    ASSERT_EQ(identity->QueryInterface(GuidOf(iid), answer.PutVoid()), S_OK);
    EXPECT_EQ(answer.Get(), holdfast.Get());
    ComPtr<IUnknown> back;
    ASSERT_EQ(answer->QueryInterface(__uuidof(IUnknown), back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), identity.Get());
  }
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(identity->QueryInterface(__uuidof(IDispatch), dispatch.PutVoid()), S_OK);
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(identity->QueryInterface(__uuidof(ISupportErrorInfo), support.PutVoid()), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(GuidOf(kIidText)), S_OK);
  ComPtr<IUnknown> none;
  EXPECT_EQ(identity->QueryInterface(GuidOf(kClsidText), none.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(identity->QueryInterface(__uuidof(IClassFactory), none.PutVoid()), E_NOINTERFACE);
  // No interface of its own beyond _Holdfast: not the own-failure watch that
  // tools were once offered in the shipped module.
  EXPECT_EQ(identity->QueryInterface(GuidOf(L"{D21927FF-DC63-4D25-811F-96BCC42E486A}"),
                                     none.PutVoid()),
            E_NOINTERFACE);
}

TEST(ClassFactory, HostsCreateItByProgId) {
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  ComPtr<IUnknown> holdfast;
  EXPECT_EQ(component->QueryInterface(GuidOf(kIidText), holdfast.PutVoid()), S_OK);
}

}  // namespace
}  // namespace clasp::testing
