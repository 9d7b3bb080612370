// Column, parameter and output descriptors: copies and their packed forms.
#include <gtest/gtest.h>

#include <memory>

#include "dda/packbytes.h"
#include "zqlcol.h"
#include "zqldda.h"

namespace {

// Read back, the name, nullability and type of a described column:
// ZQL_COLDSC in tests/lisp/e2e/dsc.lsp.
TEST(ColumnPack, IntegerColumnWithANamePacksNameAndDescriptorOnly) {
  const CZqlIdent name("ID");
  CZqlInt dsc;
  const CZqlColumn col(name, dsc);
  const Bytes expected = CPackBytes().Long(0, 0x101).Long(1, 0).Items(PackObject(name)).Long(10, 4)
                         .Long(12, 0).Items(PackObject(dsc)).End(0).Buffer();
  EXPECT_EQ(PackObject(col), expected);
  EXPECT_EQ(col.packSize(), expected.size());
  CZqlColumn back;
  back.setOffset(3);
  ASSERT_EQ(UnpackInto(&back, expected), 0);
  EXPECT_EQ(back.Native(), kZqlTrue);
  EXPECT_EQ(back.Offset(), 0u);
}

TEST(ColumnPack, EveryOptionalFieldTravels) {
  CZqlColumn col(CZqlIdent("C"), CZqlIdent("DOM"));
  col.setNullable(kZqlFalse);
  col.setNative(kZqlFalse);
  col.setOffset(12);
  const CZqlDT dsc(kZqlIDayToSecond, 4, 2);
  col.setDataDsc(&dsc);
  CZqlDate deflt;
  deflt.set(2000, 2, 29);
  col.setDefault(&deflt);
  const Bytes expected = CPackBytes().Long(0, 0x101).Long(1, 0).Items(PackObject(col.Name()))
                         .Long(2, 0).Long(3, 0).Long(5, 0).Items(PackObject(col.Domain()))
                         .Long(6, 12).Items(Group(10, dsc)).Items(Group(20, deflt)).End(0).Buffer();
  const Bytes packed = PackObject(col);
  ASSERT_EQ(packed, expected);
  // The groups' heads: DAY TO SECOND is interval 10, a DATE datetime 1.
  EXPECT_EQ(Group(10, dsc), CPackBytes().Long(10, 10).Long(11, 10).Long(12, 0)
                                .Items(PackObject(dsc)).Buffer());
  EXPECT_EQ(Group(20, deflt), CPackBytes().Long(20, 9).Long(21, 1).Long(22, 0)
                                  .Items(PackObject(deflt)).Buffer());
  CZqlColumn back;
  ASSERT_EQ(UnpackInto(&back, packed), 0);
  EXPECT_EQ(Text(back.Domain().Body()), "DOM");
  EXPECT_EQ(back.Native(), kZqlFalse);
  EXPECT_EQ(back.Offset(), 12u);
  ASSERT_NE(back.getData(), nullptr);
  EXPECT_EQ(back.getData()->IntervalType(), kZqlIDayToSecond);
  const CZqlDate* d = dynamic_cast<const CZqlDate*>(back.Default());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Day(), 29);
}

TEST(ColumnPack, ValueFormCarriesOnlyTheValue) {
  CZqlInt v;
  v.storeValue(5L);
  const CZqlColumn col(CZqlIdent("N"), v);
  const Bytes expected = CPackBytes().Long(0, 0x101).Long(12, 0).Items(PackObject(v, true)).End(0)
                         .Buffer();
  EXPECT_EQ(PackObject(col, true), expected);
  CZqlColumn other(CZqlIdent("N"), CZqlInt());
  ASSERT_EQ(UnpackInto(&other, expected, true), 0);
  EXPECT_EQ(Text(*other.getData()), "5");
  CZqlColumn bare;  // nowhere to put the value
  EXPECT_EQ(UnpackInto(&bare, expected, true), kZqlErrInternalZQLError);
}

TEST(ColumnPack, DamagedColumnsAreRefused) {
  CZqlColumn col;
  EXPECT_EQ(UnpackInto(&col, CPackBytes().Long(0, 0x100).Buffer()), kZqlErrInternalZQLError);
  EXPECT_EQ(UnpackInto(&col, CPackBytes().Long(0, 0x101).Long(10, 9).Long(11, 77).Buffer()),
            kZqlErrInternalZQLError);
  EXPECT_EQ(UnpackInto(&col, CPackBytes().Long(0, 0x101).Long(10, 10).Long(12, 0).Buffer()),
            kZqlErrInternalZQLError);  // interval without its subtype
  EXPECT_EQ(UnpackInto(&col, CPackBytes().Long(0, 0x101).Str(2, "wide").Buffer()),
            kZqlErrInternalZQLError);
}

TEST(ParameterPack, NullableOnlyWhenNotTheDefault) {
  CZqlParameter p;
  const CZqlInt dsc;
  p.setDsc(&dsc);
  p.setNullable(kZqlFalse);
  const Bytes notNull = CPackBytes().Long(0, 0x101).Long(3, 0).Items(Group(10, dsc)).End(0)
                        .Buffer();
  EXPECT_EQ(PackObject(p), notNull);
  p.setNullable(kZqlTrue);
  p.setName(CZqlIdent("P1"));
  const Bytes named = CPackBytes().Long(0, 0x101).Long(2, 0).Items(PackObject(p.Name()))
                      .Items(Group(10, dsc)).End(0).Buffer();
  EXPECT_EQ(PackObject(p), named);
  CZqlParameter back;
  back.setNullable(kZqlFalse);
  ASSERT_EQ(UnpackInto(&back, named), 0);
  EXPECT_EQ(back.isNullable(), kZqlTrue);
  EXPECT_EQ(Text(back.Name().Body()), "P1");
  ASSERT_EQ(UnpackInto(&back, notNull), 0);
  EXPECT_EQ(back.isNullable(), kZqlFalse);
  EXPECT_EQ(back.Name().Length(), 0);
}

TEST(ParameterBinding, OnlyAdoptedValuesAreFreed) {
  CZqlParameter p;
  CZqlInt mine;
  EXPECT_EQ(p.setBind(&mine), 0);  // no descriptor yet
  p.setDsc(&mine);
  ASSERT_EQ(p.setBind(&mine), 1);
  ASSERT_EQ(p.adoptBind(new CZqlInt), 1);  // replaces, mine untouched
  CZqlParameter copy;
  copy.assign(p);
  CZqlData* a = nullptr;
  CZqlData* b = nullptr;
  p.getBind(&a);
  copy.getBind(&b);
  EXPECT_NE(a, b);  // the adopted value was duplicated
  EXPECT_EQ(p.duplicate(), nullptr);
  CZqlParameter bare;
  EXPECT_EQ(bare.adoptBind(new CZqlInt), 0);  // refused, and freed
}

TEST(OutputPack, FullAndValueForms) {
  CZqlColumn col(CZqlIdent("X"), CZqlInt());
  CZqlOutput out;
  EXPECT_EQ(out.setBind(nullptr), 0);  // no column
  out.setColumn(&col);
  CZqlInt* v = new CZqlInt;
  v->storeValue(-9L);
  ASSERT_EQ(out.setBind(v), 1);
  const Bytes full = CPackBytes().Long(0, 0x101).Items(Group(10, *v)).End(0).Buffer();
  EXPECT_EQ(PackObject(out), full);
  CZqlOutput back;
  ASSERT_EQ(UnpackInto(&back, full), 0);
  CZqlData* got = nullptr;
  ASSERT_EQ(back.getBind(&got), 1);
  EXPECT_EQ(Text(*got), "-9");
  const Bytes values = PackObject(out, true);
  EXPECT_EQ(values, CPackBytes().Long(0, 0x101).Long(12, 0).Items(PackObject(*v, true))
                        .End(0).Buffer());
  CZqlOutput empty;
  EXPECT_EQ(UnpackInto(&empty, values, true), kZqlErrInternalZQLError);
}

TEST(ColumnCopy, CopiesAreDeepAndClearResets) {
  CZqlChar c(5);
  CZqlColumn a(CZqlIdent("A"), c);
  ASSERT_NE(a.Collation(), nullptr);
  EXPECT_EQ(Text(*a.Collation()), Text(c.CollName()));
  CZqlInt d;
  a.setDefault(&d);
  a.setDefault(nullptr);  // keeps the default
  ASSERT_NE(a.Default(), nullptr);
  CZqlColumn b(a);
  EXPECT_NE(b.getData(), a.getData());
  EXPECT_NE(b.Default(), a.Default());
  std::unique_ptr<CZqlColumn> dup(a.duplicate());
  EXPECT_EQ(dup->getData()->Type(), kZqlTypeChar);
  const CZqlColumn& same = b;
  b = same;  // self-assignment keeps the descriptor
  EXPECT_NE(b.getData(), nullptr);
  const CZqlInt n;
  CZqlColumn numeric(CZqlIdent("N"), n);
  EXPECT_EQ(numeric.Collation(), nullptr);
  numeric.setCollation("x");  // nothing for other types
  CZqlInt five;
  five.storeValue(5L);
  numeric = &five;
  EXPECT_EQ(Text(*numeric.getData()), "5");
  b.Clear();
  EXPECT_EQ(b.getData(), nullptr);
  EXPECT_EQ(b.Default(), nullptr);
  EXPECT_EQ(b.Name().Length(), 0);
}

}  // namespace
