// common.h - helpers shared by the value tests (data, datetime, datachar):
// text views of values, two-pass packing and a descriptor area that collects
// pushed conditions (expected packed bytes: dda/packbytes.h).
#ifndef ZQL_TESTS_DATA_COMMON_H
#define ZQL_TESTS_DATA_COMMON_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <string>
#include <vector>

#include "dda/packbytes.h"
#include "objpack.h"
#include "zqldda.h"
#include "zqlsdata.h"

using Buffer = std::vector<unsigned char>;

// Units below 0x80 as characters, others as "<XXXX>".
inline std::string Str(const CZqlUcStr& s) {
  std::string out;
  for (int i = 0; i < s.Length(); ++i) {
    const unsigned short u = s.UcStr()[i];
    char buf[8];
    std::snprintf(buf, sizeof buf, "<%04X>", u);
    out += u < 0x80 ? std::string(1, static_cast<char>(u)) : std::string(buf);
  }
  return out;
}

// The literal; a null's is "null" and answered 0.
inline std::string Literal(const CZqlData& v) {
  CZqlUcStr s;
  EXPECT_EQ(v.SQLLiteral(&s), v.isNull() ? 0 : 1);
  if (v.isNull()) {
    EXPECT_EQ(Str(s), "null");
  }
  return Str(s);
}

inline std::string TypeText(const CZqlData& v) {
  CZqlUcStr s;
  v.SQLType(&s);
  return Str(s);
}

// Packs in the two passes every writer uses.
inline Buffer Pack(const std::function<void(CZqlObjPack*)>& write) { return PackTwice(write); }

// v after the assignment v = x.
template <class T, class X>
T With(T v, const X& x) {
  v = x;
  return v;
}

// A null value of v's class and attributes.
template <class T>
std::unique_ptr<T> Empty(const T& v) {
  std::unique_ptr<T> e(v.duplicate());
  e->setNull();
  return e;
}

// v packed as a data descriptor group under label 10, with the container's
// next item behind it, and read back: the group and the value are consumed
// whole, and type, nullness and literal survive. size: the packed bytes.
inline std::unique_ptr<CZqlData> ThroughDescriptor(const CZqlData& v, std::size_t* size = nullptr) {
  Buffer bytes = Pack([&](CZqlObjPack* p) {
    ZqlPackDataDescriptor(p, 10, v);
    p->add(99, static_cast<int32_t>(1));
  });
  if (size != nullptr) *size = bytes.size();
  CZqlObjPack pack(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(pack.getNext(), 10);
  std::unique_ptr<CZqlData> back;
  EXPECT_EQ(Raised([&] { back.reset(ZqlUnpackDataDescriptor(&pack, 10)); }), 0) << Literal(v);
  EXPECT_EQ(pack.getNext(), 99) << Literal(v);
  if (back == nullptr) return back;
  EXPECT_EQ(back->Type(), v.Type());
  EXPECT_EQ(back->isNull(), v.isNull());
  EXPECT_EQ(Literal(*back), Literal(v));
  return back;
}

// Makes a new descriptor area current for its lifetime; Codes() are the
// conditions pushed meanwhile, oldest first.
class CDiagScope {
 public:
  CDiagScope() {
    dda_.Init(100);
    prev_ = ZqlSetCurrentDDA(&dda_);
  }
  ~CDiagScope() { ZqlSetCurrentDDA(prev_); }
  CDiagScope(const CDiagScope&) = delete;
  CDiagScope& operator=(const CDiagScope&) = delete;

  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (int i = dda_.CondCount() - 1; i >= 0; --i) codes.push_back(dda_.Err(i));
    return codes;
  }
  bool Has(int code) const {
    for (int c : Codes())
      if (c == code) return true;
    return false;
  }
  bool None() const { return dda_.CondCount() == 0; }
  void Flush() { dda_.FlushCond(); }
  CZqlDDA& Area() { return dda_; }

 private:
  CZqlDDA dda_;
  CZqlDDA* prev_;
};

// The round trips every value must survive, each compared with same(v,
// back): its packed form alone (of packSize() bytes, into a new object) and
// as a data descriptor group, duplicate(), a store from itself and, when
// texts is set, its 16-bit and 8-bit texts stored back without condition.
template <class T, class Same>
void ExpectRoundTrips(const T& v, Same same, bool texts) {
  SCOPED_TRACE(Literal(v));
  const Buffer buf = Pack([&](CZqlObjPack* p) { v.packTo(p); });
  EXPECT_EQ(buf.size(), v.packSize());
  std::unique_ptr<T> unpacked;
  if constexpr (std::is_abstract<T>::value) {
    unpacked = Empty(v);
  } else {
    unpacked = std::make_unique<T>();
  }
  EXPECT_EQ(UnpackInto(unpacked.get(), buf), 0);
  same(v, *unpacked);
  const std::unique_ptr<CZqlData> group = ThroughDescriptor(v);
  const T* viaGroup = dynamic_cast<const T*>(group.get());
  ASSERT_NE(viaGroup, nullptr);
  same(v, *viaGroup);
  same(v, *std::unique_ptr<T>(static_cast<T*>(v.duplicate())));
  auto stored = Empty(v);
  ASSERT_EQ(stored->storeValue(static_cast<const CZqlData&>(v)), 1);
  same(v, *stored);
  if (!texts) return;
  CDiagScope diag;
  CZqlUcStr wide;
  ASSERT_EQ(v.getValue(&wide), 1);
  auto fromWide = Empty(v);
  ASSERT_EQ(Raised([&] { fromWide->storeValue(wide); }), 0);
  same(v, *fromWide);
  std::vector<char> narrow(4096);
  ASSERT_EQ(v.getValue(narrow.data(), static_cast<unsigned int>(narrow.size())), 1);
  auto fromNarrow = Empty(v);
  ASSERT_EQ(Raised([&] {
              fromNarrow->storeValue(narrow.data(), static_cast<unsigned int>(narrow.size()));
            }),
            0);
  same(v, *fromNarrow);
  EXPECT_TRUE(diag.None());
}

// Rows of operations on values: the text of the result ("" for null), or
// the code raised.
struct SOpCase {
  std::function<std::string()> op;
  const char* text;
  int code;
};

inline void ExpectOps(std::initializer_list<SOpCase> cases) {
  int row = 0;
  for (const SOpCase& c : cases) {
    std::string got;
    EXPECT_EQ(Raised([&] { got = c.op(); }), c.code) << "row " << row;
    if (c.code == 0) {
      EXPECT_EQ(got, c.text) << "row " << row;
    }
    ++row;
  }
}

#endif  // ZQL_TESTS_DATA_COMMON_H
