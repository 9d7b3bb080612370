// Test helpers: expected packed buffers written item by item without
// CZqlObjPack, two-pass packing and unpacking of objects, and the code a
// call raised.
#ifndef ZQL_TESTS_PACKBYTES_H
#define ZQL_TESTS_PACKBYTES_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "objpack.h"
#include "zqlclass.h"
#include "zqlsbase.h"

using Bytes = std::vector<unsigned char>;

// The code raised by f, or 0 when it ran to its end.
template <class F>
int Raised(F f) {
  return ZqlTry(f) ? 0 : ZqlTryCode();
}

// Runs fill twice: once to size, once into a buffer of exactly that size,
// which the second pass must fill.
template <class Fill>
Bytes PackTwice(Fill fill) {
  CZqlObjPack sizing;
  fill(&sizing);
  Bytes buf(sizing.Size());
  CZqlObjPack pack(buf.data(), uint32_t(buf.size()));
  fill(&pack);
  EXPECT_EQ(pack.Size(), buf.size());
  return buf;
}

// Unpacks bytes into object (unpackFrom, or unpackValueFrom for values);
// answers the code raised, or 0.
template <class T>
int UnpackInto(T* object, Bytes bytes, bool values = false) {
  CZqlObjPack pack(bytes.empty() ? nullptr : bytes.data(), uint32_t(bytes.size()));
  return Raised([&] {
    if (values) object->unpackValueFrom(&pack);
    else object->unpackFrom(&pack);
  });
}

// The value-descriptor group of value at label.
inline Bytes Group(int label, const CZqlData& value) {
  return PackTwice([&](CZqlObjPack* p) { ZqlPackDataDescriptor(p, label, value); });
}

// The packed form of object (packTo, or packValueTo for values).
inline Bytes PackObject(const CZqlObject& object, bool values = false) {
  return PackTwice([&](CZqlObjPack* p) {
    if (values) object.packValueTo(p);
    else object.packTo(p);
  });
}

// An expected buffer, item by item.
class CPackBytes {
 public:
  CPackBytes& Char(int label, char v) { return Item(label, kZqlPackChar, &v, 1); }
  CPackBytes& Short(int label, int16_t v) { return Item(label, kZqlPackShort, &v, 2); }
  CPackBytes& Long(int label, int32_t v) { return Item(label, kZqlPackLong, &v, 4); }
  CPackBytes& ULong(int label, uint32_t v) { return Item(label, 8, &v, 4); }
  CPackBytes& Double(int label, double v) { return Item(label, kZqlPackDouble, &v, 8); }
  CPackBytes& End(int32_t v) { return Long(0xFFFF, v); }
  CPackBytes& Str(int label, const char* s) {
    return Var(label, 10, s, static_cast<uint16_t>(std::strlen(s) + 1));
  }
  // A kZqlPackUcStr item of ASCII text.
  CPackBytes& Uc(int label, const char* ascii) {
    std::vector<uint16_t> units(ascii, ascii + std::strlen(ascii));
    units.push_back(0);
    return Var(label, 12, units.data(), static_cast<uint16_t>(units.size() * 2));
  }
  // A length-prefixed item of n bytes.
  CPackBytes& Var(int label, uint16_t type, const void* v, uint16_t n) {
    Head(label, type);
    Raw(&n, 2);
    Raw(v, n);
    return *this;
  }
  // The items of a packed buffer (its header left out).
  CPackBytes& Items(const Bytes& packed) {
    if (packed.size() > 8) items_.insert(items_.end(), packed.begin() + 8, packed.end());
    return *this;
  }
  // The header and the items in a buffer sized once. (Growing a vector by
  // insert makes GCC 12 at -O3 report array bounds on its inlined copy.)
  Bytes Buffer() const {
    Bytes out(8 + items_.size());
    const uint32_t marker = kZqlPackMarker;
    const uint32_t total = uint32_t(out.size());
    std::memcpy(out.data(), &marker, 4);
    std::memcpy(out.data() + 4, &total, 4);
    if (!items_.empty()) std::memcpy(out.data() + 8, items_.data(), items_.size());
    return out;
  }

 private:
  CPackBytes& Item(int label, uint16_t type, const void* v, size_t n) {
    Head(label, type);
    Raw(v, n);
    return *this;
  }
  void Head(int label, uint16_t type) {
    const uint16_t l = static_cast<uint16_t>(label);
    Raw(&l, 2);
    Raw(&type, 2);
  }
  void Raw(const void* v, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(v);
    items_.insert(items_.end(), p, p + n);
  }
  Bytes items_;
};

// ASCII text of a string.
inline std::string Text(const CZqlUcStr& s) {
  char buf[1024];
  s.getToChar(buf, sizeof buf);
  return buf;
}

inline std::string Text(const CZqlUcStr* s) { return s != nullptr ? Text(*s) : "<null>"; }

// The 8-bit text form of a value ("" for null).
inline std::string Text(const CZqlData& v) {
  char buf[160];
  v.getValue(buf, sizeof buf);
  return buf;
}

#endif  // ZQL_TESTS_PACKBYTES_H
