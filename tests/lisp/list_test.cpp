// CZqlLispList and CZqlLispDsc: ownership of the objects (also under copy),
// removal by object, and the handle table's entries.
#include <gtest/gtest.h>

#include <memory>

#include "lispdsc.h"
#include "lisplist.h"
#include "lispsqlobj.h"
#include "lisptest.h"

namespace {

// An object that counts its live instances and may remove itself from a
// list when destroyed.
class Tracked : public CZqlLispObj {
 public:
  explicit Tracked(int key, CZqlLispList* home = nullptr)
      : key_(key), home_(home) {
    ++live;
  }
  ~Tracked() override {
    --live;
    if (home_) {
      CZqlLispObj* self = this;
      EXPECT_EQ(home_->delItem(&self), 0);  // already out of the list
    }
  }
  EZqlLispClassId lisA() const override { return kZqlLispClsRow; }
  int cmp(const CZqlLispObj* other) const override {
    return key_ - static_cast<const Tracked*>(other)->key_;
  }
  int key() const { return key_; }

  static int live;

 private:
  int key_;
  CZqlLispList* home_;
};

int Tracked::live = 0;

class LispListTest : public ::testing::Test {
 protected:
  void SetUp() override { Tracked::live = 0; }
  void TearDown() override { EXPECT_EQ(Tracked::live, 0); }
};

std::vector<int> Keys(CZqlLispList& list) {
  std::vector<int> out;
  CZqlLispObj* obj = nullptr;
  for (int ok = list.getFirstItem(&obj); ok; ok = list.getNextItem(&obj))
    out.push_back(static_cast<Tracked*>(obj)->key());
  return out;
}

void Fill(CZqlLispList& list, int n) {
  for (int i = 0; i < n; ++i) ASSERT_EQ(list.addItem(new Tracked(i), -1), 1);
}

TEST_F(LispListTest, OwnerDeletesOnRemoveReplaceClearAndDestroy) {
  {
    CZqlLispList list;
    Fill(list, 25);
    EXPECT_EQ(Tracked::live, 25);
    ASSERT_EQ(list.delItem(3), 1);
    EXPECT_EQ(Tracked::live, 24);
    ASSERT_EQ(list.updItem(new Tracked(100), 0), 1);
    EXPECT_EQ(Tracked::live, 24);
    CZqlLispObj* same = nullptr;
    ASSERT_EQ(list.getItem(0, &same), 1);
    ASSERT_EQ(list.updItem(same, 0), 1);  // itself: kept
    EXPECT_EQ(static_cast<Tracked*>(same)->key(), 100);
    ASSERT_EQ(list.lclear(), 1);
    EXPECT_EQ(Tracked::live, 0);
    Fill(list, 12);
  }
  EXPECT_EQ(Tracked::live, 0);
}

TEST_F(LispListTest, CopyHoldsSamePointersAndNeverDeletes) {
  auto source = std::make_unique<CZqlLispList>();
  Fill(*source, 15);
  std::unique_ptr<CZqlLispObj> clone(source->lclone());
  auto* copy = static_cast<CZqlLispList*>(clone.get());
  ASSERT_TRUE(copy);
  EXPECT_FALSE(copy->isOwner());
  EXPECT_TRUE(source->isOwner());
  EXPECT_FALSE(copy->isShared());  // pages of its own at once
  EXPECT_EQ(Keys(*copy), Keys(*source));
  CZqlLispObj* a = nullptr;
  CZqlLispObj* b = nullptr;
  source->getItem(7, &a);
  copy->getItem(7, &b);
  EXPECT_EQ(a, b);
  // Removing from the copy deletes nothing.
  ASSERT_EQ(copy->delItem(0), 1);
  ASSERT_EQ(copy->lclear(), 1);
  EXPECT_EQ(Tracked::live, 15);
  clone.reset();
  EXPECT_EQ(Tracked::live, 15);
  // A copy that outlives its source deletes nothing either (ASan).
  CZqlLispList late;
  ASSERT_EQ(late.lcopyFrom(source.get()), 1);
  source.reset();
  EXPECT_EQ(Tracked::live, 0);
  EXPECT_EQ(late.Qty(), 15);
}

TEST_F(LispListTest, CopyIntoOwningListDeletesItsObjectsFirst) {
  CZqlLispList source;
  Fill(source, 4);
  CZqlLispList target;
  ASSERT_EQ(target.addItem(new Tracked(50), -1), 1);
  ASSERT_EQ(target.lcopyFrom(&source), 1);
  EXPECT_EQ(Tracked::live, 4);
  EXPECT_EQ(Keys(target), (std::vector<int>{0, 1, 2, 3}));
  // A borrowed object added later stays its owner's.
  Tracked extra(60);
  ASSERT_EQ(target.addItem(&extra, -1), 1);
  ASSERT_EQ(target.lclear(), 1);
  EXPECT_EQ(Tracked::live, 5);
}

TEST_F(LispListTest, NullObjectsAndOtherClassesRefused) {
  CZqlLispList list;
  EXPECT_EQ(list.addItem(static_cast<CZqlLispObj*>(nullptr), -1), 0);
  EXPECT_EQ(list.insertItem(static_cast<CZqlLispObj*>(nullptr), 0), 0);
  EXPECT_EQ(list.Qty(), 0);
  CZqlLispPack pack(sizeof(void*), 10 * sizeof(void*), 1);
  EXPECT_EQ(list.lcopyFrom(&pack), 0);
  EXPECT_TRUE(list.isOwner());
}

TEST_F(LispListTest, RemoveByObjectKeepsPositionOnSameItem) {
  CZqlLispList list;
  Fill(list, 12);
  CZqlLispObj* victim = nullptr;
  ASSERT_EQ(list.getItem(2, &victim), 1);
  ASSERT_EQ(list.setPos(8), 1);
  ASSERT_EQ(list.delItem(&victim), 1);
  EXPECT_EQ(victim, nullptr);
  CZqlLispObj* cur = nullptr;
  ASSERT_EQ(list.getItem(-1, &cur), 1);
  EXPECT_EQ(static_cast<Tracked*>(cur)->key(), 8);
  Tracked stranger(99);
  CZqlLispObj* p = &stranger;
  EXPECT_EQ(list.delItem(&p), 0);
  EXPECT_EQ(p, &stranger);
  EXPECT_EQ(list.Qty(), 11);
}

TEST_F(LispListTest, ObjectRemovingItselfWhenDeletedIsDeletedOnce) {
  CZqlLispList list;
  for (int i = 0; i < 11; ++i)
    ASSERT_EQ(list.addItem(new Tracked(i, &list), -1), 1);
  ASSERT_EQ(list.delItem(5), 1);
  EXPECT_EQ(Tracked::live, 10);
  ASSERT_EQ(list.lclear(), 1);
  EXPECT_EQ(Tracked::live, 0);
}

TEST_F(LispListTest, FindByPointerAndByValue) {
  CZqlLispList list;
  Fill(list, 6);
  Tracked probe(4);
  ASSERT_EQ(list.setPos(0), 1);
  EXPECT_EQ(list.findItem(&probe), 0);  // not the same object
  ASSERT_EQ(list.setPos(0), 1);
  ASSERT_EQ(list.findItemValue(&probe), 1);
  EXPECT_EQ(list.getPos(), 4);
  CZqlLispObj* found = nullptr;
  list.getItem(-1, &found);
  ASSERT_EQ(list.setPos(0), 1);
  ASSERT_EQ(list.findItem(found), 1);
  EXPECT_EQ(list.getPos(), 4);
  EXPECT_EQ(list.cmpItemValue(nullptr, &probe), -1);
}

// ---------------------------------------------------------------------------

class Named : public CZqlLispSQLObj {
 public:
  EZqlLispClassId lisA() const override { return kZqlLispClsSession; }
};

TEST(LispDsc, EntriesByHandle) {
  CZqlLispDsc table;
  std::vector<std::unique_ptr<Named>> objs;
  for (int i = 1; i <= 12; ++i) {
    objs.push_back(std::make_unique<Named>());
    ASSERT_EQ(table.addItem(CZqlLispHandle(i), objs.back().get(), table.Qty()),
              1);
  }
  EXPECT_EQ(table.addItem(CZqlLispHandle(13.0), nullptr, -1), 0);
  CZqlLispSQLObj* obj = nullptr;
  ASSERT_EQ(table.setPos(0), 1);
  ASSERT_EQ(table.findItem(CZqlLispHandle(11.0), &obj), 1);
  EXPECT_EQ(obj, objs[10].get());
  EXPECT_EQ(table.findItem(CZqlLispHandle(3.0), &obj), 0);  // from position
  EXPECT_EQ(obj, nullptr);

  ASSERT_EQ(table.setPos(6), 1);
  EXPECT_EQ(table.delItem(CZqlLispHandle(40.0)), 1);  // none: position kept
  EXPECT_EQ(table.getPos(), 6);
  EXPECT_EQ(table.delItem(CZqlLispHandle(2.0)), 1);
  EXPECT_EQ(table.getPos(), 1);
  EXPECT_EQ(table.Qty(), 11);
  CZqlLispHandle h;
  ASSERT_EQ(table.getItem(-1, &h, &obj), 1);
  EXPECT_EQ(h.Value(), 3.0);
  EXPECT_EQ(obj, objs[2].get());
  ASSERT_EQ(table.getLastItem(&h, &obj), 1);
  EXPECT_EQ(h.Value(), 12.0);
  EXPECT_EQ(table.getNextItem(&h, &obj), 0);
  EXPECT_TRUE(h.isNull());
  EXPECT_EQ(obj, nullptr);

  SZqlLispDscEntry a{1.0, nullptr}, b{2.0, objs[0].get()};
  EXPECT_LT(table.cmpItem(&a, &b), 0);
  b.handle = 1.0;
  EXPECT_EQ(table.cmpItem(&a, &b), 0);
}

TEST(LispDsc, CloneSharesAndTheTableOwnsNothing) {
  Named one;
  CZqlLispDsc table;
  ASSERT_EQ(table.addItem(CZqlLispHandle(1.0), &one, -1), 1);
  std::unique_ptr<CZqlLispObj> clone(table.lclone());
  auto* copy = static_cast<CZqlLispDsc*>(clone.get());
  EXPECT_EQ(copy->firstPage(), table.firstPage());
  EXPECT_EQ(copy->delItem(CZqlLispHandle(1.0)), 1);
  EXPECT_EQ(copy->Qty(), 0);
  EXPECT_EQ(table.Qty(), 1);
}

}  // namespace
