// Rows of columns and the owning object list.
#include <gtest/gtest.h>

#include <memory>

#include "dda/packbytes.h"
#include "zqlcol.h"

namespace {

TEST(Row, BadIndexRaisesAndAnswersTheSentinel) {
  CZqlRow row(3);
  EXPECT_EQ(row.ColNum(), 3);
  EXPECT_EQ(Raised([&] { row[3]; }), kZqlErrInvalidDescriptorIndex);
  EXPECT_EQ(Raised([&] { row[-1]; }), kZqlErrInvalidDescriptorIndex);
  // Without a frame the raise returns and the sentinel comes back.
  CZqlColumn& wrong = row[3];
  EXPECT_EQ(Text(wrong.Name().Body()), "Wrong Column Number");
}

TEST(Row, NamesFindAndDistinctness) {
  CZqlRow row(3);
  row[0].setName(CZqlIdent("A"));
  row[1].setName(CZqlIdent("b"));
  row[2].setName(CZqlIdent("C"));
  EXPECT_EQ(row.findCol(CZqlIdent("B")), 1);
  EXPECT_EQ(row.findCol(CZqlIdent("Z")), -1);
  EXPECT_EQ(row.isDistinct(), 1);
  row[2].setName(CZqlIdent("a"));
  EXPECT_EQ(row.isDistinct(), 0);
  std::unique_ptr<CZqlRow> copy(row.duplicate());
  EXPECT_EQ(copy->ColNum(), 3);
  EXPECT_EQ(copy->findCol(CZqlIdent("B")), 1);
  row.Clear();
  EXPECT_EQ(row.ColNum(), 0);
  EXPECT_EQ(row.isDistinct(), -1);
  CZqlRow none(-2);
  EXPECT_EQ(none.ColNum(), 0);
}

// A list element that counts its destructions.
class Tracked : public CZqlObject {
 public:
  Tracked(int id, int* deaths) : id(id), deaths_(deaths) {}
  ~Tracked() override { ++*deaths_; }
  Tracked* duplicate() const override { return new Tracked(id + 100, deaths_); }
  int id;

 private:
  int* deaths_;
};

int Id(CZqlObject* o) { return o != nullptr ? static_cast<Tracked*>(o)->id : -1; }

TEST(List, DelDestroysDetachDoesNot) {
  int deaths = 0;
  CZqlList list;
  Tracked* t[4];
  for (int i = 0; i < 4; ++i) {
    t[i] = new Tracked(i, &deaths);
    ASSERT_EQ(list.addLast(t[i]), 1);
  }
  Tracked stranger(9, &deaths);
  EXPECT_EQ(list.del(&stranger), 0);
  EXPECT_EQ(deaths, 0);
  EXPECT_EQ(list.detach(t[1]), 1);
  EXPECT_EQ(deaths, 0);
  EXPECT_EQ(list.del(t[2]), 1);
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(list.qnty(), 2);
  EXPECT_EQ(Id(list.last()), 3);
  EXPECT_EQ(list.delLast(), 1);
  EXPECT_EQ(Id(list.last()), 0);  // the tail moved back
  EXPECT_EQ(list.addFirst(t[1]), 1);
  EXPECT_EQ(Id(list[0]), 1);
  EXPECT_EQ(Id(list[1]), 0);
  EXPECT_EQ(list[2], nullptr);
  EXPECT_EQ(list.delTail(5), 0);
  EXPECT_EQ(list.detachTail(0), 1);
  EXPECT_EQ(list.qnty(), 0);
  EXPECT_EQ(list.first(), nullptr);
  EXPECT_EQ(list.delFirst(), 0);
  delete t[0];
  delete t[1];
  EXPECT_EQ(deaths, 4);
}

TEST(List, CursorWalksAndPositionsResume) {
  int deaths = 0;
  CZqlList list;
  for (int i = 0; i < 3; ++i) list.addLast(new Tracked(i, &deaths));
  EXPECT_EQ(list.next(), nullptr);  // no cursor yet
  EXPECT_EQ(Id(list.first()), 0);
  const uintptr_t pos = list.position();
  EXPECT_EQ(Id(list.next()), 1);
  EXPECT_EQ(Id(list.getCurrent()), 1);
  EXPECT_EQ(Id(list.next()), 2);
  EXPECT_EQ(list.next(), nullptr);
  EXPECT_EQ(list.position(), 0u);
  EXPECT_EQ(Id(list.getAt(pos)), 0);
  EXPECT_EQ(Id(list.next(pos)), 1);
  EXPECT_EQ(Id(list.next(static_cast<uintptr_t>(-1))), 0);
  EXPECT_EQ(list.getAt(0), nullptr);
  list.addLast(new Tracked(3, &deaths));
  EXPECT_EQ(list.getCurrent(), nullptr);  // inserting cleared the cursor
}

TEST(List, ReplaceOverwriteDuplicateAndClear) {
  int deaths = 0;
  CZqlList list;
  list.addLast(new Tracked(0, &deaths));
  list.addLast(nullptr);
  EXPECT_EQ(list.replace(0, new Tracked(5, &deaths)), 1);
  EXPECT_EQ(deaths, 1);
  Tracked keep(6, &deaths);
  EXPECT_EQ(list.overwrite(1, &keep), 1);
  EXPECT_EQ(list.replace(2, nullptr), 0);
  std::unique_ptr<CZqlList> copy(list.duplicate());
  EXPECT_EQ(Id((*copy)[0]), 105);
  EXPECT_EQ(Id((*copy)[1]), 106);
  list.detach(1);
  list.Clear();
  EXPECT_EQ(deaths, 2);
  copy.reset();
  EXPECT_EQ(deaths, 4);
  std::unique_ptr<Tracked> owned(new Tracked(7, &deaths));
  list.addLast(owned.get());
  list.detachAll();
  EXPECT_EQ(deaths, 4);
  EXPECT_EQ(list.qnty(), 0);
}

}  // namespace
