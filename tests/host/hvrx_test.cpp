// hvrx_test.cpp - the system registry, runtime classes and services.
#include <gtest/gtest.h>

#include "hvrx.h"

namespace {

HvRxDictionary* ClassDictionary() {
  return static_cast<HvRxDictionary*>(hvrxSysRegistry()->at(kHvRxClassDictionary));
}

class Widget : public HvRxObject {
 public:
  static HvRxClass* gDesc;
  HvRxClass* isA() const override { return gDesc; }
};
HvRxClass* Widget::gDesc = nullptr;

HvRxObject* MakeWidget() { return new Widget(); }

TEST(HvRxRegistryTest, BuiltInAndOtherEntries) {
  HvRxDictionary* reg = hvrxSysRegistry();
  ASSERT_TRUE(reg && ClassDictionary());
  EXPECT_TRUE(ClassDictionary()->isKindOf(HvRxDictionary::desc()));
  HvRxObject* linker = reg->at(kHvRxDynamicLinker);
  ASSERT_NE(linker, nullptr);
  EXPECT_TRUE(linker->isKindOf(HvRxDynamicLinker::desc()));
  EXPECT_FALSE(linker->isKindOf(HvRxDictionary::desc()));
  EXPECT_EQ(ClassDictionary()->at(kHvRxObjectClassName), HvRxObject::desc());
  // The host's own entries can be neither replaced nor removed.
  uint32_t id = 7;
  HvRxObject other;
  EXPECT_EQ(reg->atPut(kHvRxClassDictionary, &other, id), nullptr);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(reg->at(kHvRxClassDictionary), ClassDictionary());
  EXPECT_EQ(reg->remove(kHvRxDynamicLinker), nullptr);
  // Other entries come and go; a replaced one is handed back.
  auto* a = new HvRxObject();
  auto* b = new HvRxObject();
  id = 0;
  EXPECT_EQ(reg->atPut("Test_Entry", a, id), nullptr);
  EXPECT_GT(id, 0u);
  EXPECT_EQ(reg->at("Test_Entry"), a);
  EXPECT_EQ(reg->atPut("Test_Entry", b, id), a);  // the previous one comes back
  delete a;
  EXPECT_EQ(reg->remove("Test_Entry"), b);
  delete b;
  EXPECT_EQ(reg->at("Test_Entry"), nullptr);
  EXPECT_EQ(reg->remove("Test_Entry"), nullptr);
  EXPECT_EQ(reg->at(nullptr), nullptr);
  EXPECT_EQ(reg->atPut(nullptr, reg, id), nullptr);
}

TEST(HvRxClassTest, DerivationAndConstruction) {
  Widget::gDesc = newHvRxClass("CTestWidget", kHvRxObjectClassName, 0, MakeWidget, 0, 0);
  ASSERT_NE(Widget::gDesc, nullptr);
  EXPECT_EQ(newHvRxClass("CTestWidget", kHvRxObjectClassName, 0, MakeWidget, 0, 0), Widget::gDesc);
  hvrxBuildClassHierarchy();
  EXPECT_EQ(ClassDictionary()->at("CTestWidget"), Widget::gDesc);
  EXPECT_TRUE(Widget::gDesc->isDerivedFrom(HvRxObject::desc()));
  EXPECT_FALSE(HvRxObject::desc()->isDerivedFrom(Widget::gDesc));
  HvRxObject* w = Widget::gDesc->create();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isKindOf(Widget::gDesc));
  void* out = nullptr;
  EXPECT_EQ(w->QueryInterface("HvRxObject", &out), 0);
  EXPECT_EQ(out, w);
  EXPECT_EQ(w->QueryInterface("HvRxDictionary", &out), -1);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(w->AddRef(), 2u);
  EXPECT_EQ(w->Release(), 1u);
  EXPECT_EQ(w->Release(), 0u);  // deleted itself
  deleteHvRxClass(Widget::gDesc);
  EXPECT_EQ(ClassDictionary()->at("CTestWidget"), nullptr);
}

TEST(HvRxClassTest, ParentsLinkWhenTheyAppear) {
  HvRxClass* child = newHvRxClass("CTestChild", "CTestParent", 0, nullptr, 0, 0);
  EXPECT_EQ(child->myParent(), nullptr);
  HvRxClass* parent = newHvRxClass("CTestParent", kHvRxObjectClassName, 0, nullptr, 0, 0);
  hvrxBuildClassHierarchy();
  EXPECT_EQ(child->myParent(), parent);
  EXPECT_TRUE(child->isDerivedFrom(HvRxObject::desc()));
  EXPECT_EQ(child->create(), nullptr);  // no constructor
  deleteHvRxClass(parent);
  EXPECT_EQ(child->myParent(), nullptr);  // unlinked, not dangling
  EXPECT_FALSE(child->isDerivedFrom(HvRxObject::desc()));
  deleteHvRxClass(child);
  deleteHvRxClass(HvRxObject::desc());  // built-in classes stay
  EXPECT_EQ(ClassDictionary()->at(kHvRxObjectClassName), HvRxObject::desc());
}

TEST(HvRxServiceTest, ServicesOncePerNameAndUnknownAppsRefused) {
  HvRxObject* s = hvrxRegisterService("Test_Services");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(hvrxRegisterService("Test_Services"), s);
  EXPECT_NE(hvrxRegisterService("Other_Services"), s);
  EXPECT_EQ(hvrxRegisterService(nullptr), nullptr);
  auto* linker = static_cast<HvRxDynamicLinker*>(hvrxSysRegistry()->at(kHvRxDynamicLinker));
  int unrelated = 0;
  EXPECT_FALSE(linker->registerApp(&unrelated));
  EXPECT_FALSE(linker->registerApp(nullptr));
  EXPECT_FALSE(linker->isAppRegistered(&unrelated));
}

}  // namespace
