// objpack.cpp - writing and reading packed buffers (see objpack.h).
//
// Items are not aligned, so every header field and payload is moved with
// memcpy, never read or written in place as typed data. Nothing here
// allocates, except getPackedValue(CZqlUcStr*), whose result owns its text.
#include "objpack.h"

#include <cstring>

#include "zqlucode.h"

namespace {

// Payload width of the fixed-size types, 0 for the length-prefixed ones and
// -1 for a value that is not a type.
int FixedWidth(uint32_t type) {
  switch (type) {
    case kZqlPackChar:
    case kZqlPackUChar:
      return 1;
    case kZqlPackShort:
    case kZqlPackUShort:
      return 2;
    case kZqlPackInt:
    case kZqlPackUInt:
    case kZqlPackLong:
    case kZqlPackULong:
      return 4;
    case kZqlPackDouble:
      return 8;
    case kZqlPackString:
    case kZqlPackUString:
    case kZqlPackUcStr:
    case kZqlPackBytes:
      return 0;
    default:
      return -1;
  }
}

bool IsVariable(uint32_t type) { return FixedWidth(type) == 0; }

// Bytes of an item header: label, type and, for types 10-13, the length.
uint32_t HeaderWidth(uint32_t type) { return IsVariable(type) ? 6 : 4; }

uint16_t Load16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void Store16(unsigned char* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, sizeof w);
}

void Store32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

CZqlObjPack::CZqlObjPack()
    : buffer_(nullptr),
      current_(nullptr),
      offset_(0),
      curSize_(0),
      curType_(kZqlPackNone),
      bufSize_(0),
      damaged_(0),
      spill_(0),
      overflowed_(0) {}

CZqlObjPack::CZqlObjPack(void* buffer, uint32_t size) : CZqlObjPack() {
  setBuffer(buffer, size);
}

CZqlObjPack::~CZqlObjPack() = default;

int CZqlObjPack::setBuffer(void* buffer, uint32_t size) {
  buffer_ = static_cast<unsigned char*>(buffer);
  bufSize_ = buffer ? size : 0;
  offset_ = 0;
  damaged_ = 0;
  spill_ = 0;
  overflowed_ = 0;
  clearCurrent();
  return 1;
}

int CZqlObjPack::setRoom(void* buffer, uint32_t size) {
  setBuffer(buffer, size);
  spill_ = 1;
  return 1;
}

uint32_t CZqlObjPack::Size() const {
  return offset_ == 0 ? 0 : offset_ + kZqlPackHeaderSize;
}

void CZqlObjPack::clearCurrent() {
  current_ = nullptr;
  curSize_ = 0;
  curType_ = kZqlPackNone;
}

// 1 when `bytes` more bytes behind the current offset fit in the buffer.
int CZqlObjPack::fits(uint64_t bytes) const {
  return uint64_t{kZqlPackHeaderSize} + offset_ + bytes <= bufSize_;
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

namespace {

// Raises code from line of this file as put's own raise: into the open frame
// or handler, or, with neither open, answering 0. Out of line, so that the
// items that pack need no frame of their own.
__attribute__((noinline, cold)) int Refuse(EZqlError code, int line) {
  return ZqlEntry<int>(0, [&]() -> int { ZqlRaise(code, line, __FILE__); });
}

// Writes an item's payload. Most are one number: a copy of constant width
// costs no call.
inline void WritePayload(void* to, const void* from, std::size_t size) {
  switch (size) {
    case 1: std::memmove(to, from, 1); return;
    case 2: std::memmove(to, from, 2); return;
    case 4: std::memmove(to, from, 4); return;
    case 8: std::memmove(to, from, 8); return;
    default: std::memmove(to, from, size); return;
  }
}

}  // namespace

int CZqlObjPack::put(int label, EZqlPackObjType type, int size,
                     const void* data) {
  const int width = FixedWidth(type);
  // A fixed-size item whose size disagrees with its type would make every
  // reader lose its place; a long payload does not fit the length field.
  const bool badSize = width < 0 || size < 0 || (width > 0 && size != width) ||
                       (width == 0 && uint32_t(size) > kZqlPackMaxPayload);
  if (badSize || label < 0 || label > 0xFFFF)
    return Refuse(kZqlErrInvalidFunctionArguments, __LINE__);
  const uint32_t head = HeaderWidth(type);
  const uint64_t item = uint64_t{head} + uint32_t(size);
  if (buffer_ && spill_ && !fits(item)) {
    // The room ran out: from here on only the size is counted.
    overflowed_ = 1;
    buffer_ = nullptr;
    bufSize_ = 0;
  }
  if (!buffer_) {  // sizing pass
    if (uint64_t{kZqlPackHeaderSize} + offset_ + item > UINT32_MAX)
      return Refuse(kZqlErrInvalidFunctionArguments, __LINE__);
    offset_ += uint32_t(item);
    current_ = nullptr;
    return 1;
  }
  // More than the sizing pass counted: the two passes differ.
  if (!fits(item)) return Refuse(kZqlErrInternalZQLError, __LINE__);
  if (offset_ == 0) Store32(buffer_, kZqlPackMarker);
  unsigned char* at = buffer_ + kZqlPackHeaderSize + offset_;
  Store16(at, uint32_t(label));
  Store16(at + 2, type);
  if (head == 6) Store16(at + 4, uint32_t(size));
  offset_ += head;
  current_ = nullptr;
  if (size > 0) {
    current_ = at + head;
    // Without data the space stays as it is: the writer built it in place
    // (getBind) or fills it through getPtr() next.
    if (data && data != current_) WritePayload(current_, data, size_t(size));
    offset_ += uint32_t(size);
  }
  Store32(buffer_ + 4, offset_ + kZqlPackHeaderSize);
  return 1;
}

// Most items are numbers added to a buffer already started: header and
// payload go in at once, without put's checks of size and type, which
// every number passes by construction.
template <class T>
inline int CZqlObjPack::putNumber(int label, EZqlPackObjType type, T value) {
  constexpr uint32_t kItem = 4 + sizeof(T);
  if (buffer_ == nullptr || offset_ == 0 || uint32_t(label) > 0xFFFF || !fits(kItem))
    return put(label, type, int(sizeof(T)), &value);
  unsigned char* at = buffer_ + kZqlPackHeaderSize + offset_;
  Store16(at, uint32_t(label));
  Store16(at + 2, type);
  std::memcpy(at + 4, &value, sizeof(T));
  current_ = at + 4;
  offset_ += kItem;
  Store32(buffer_ + 4, offset_ + kZqlPackHeaderSize);
  return 1;
}

int CZqlObjPack::add(int label, char value) {
  return putNumber(label, kZqlPackChar, value);
}

int CZqlObjPack::add(int label, unsigned char value) {
  return putNumber(label, kZqlPackUChar, value);
}

int CZqlObjPack::add(int label, int16_t value) {
  return putNumber(label, kZqlPackShort, value);
}

int CZqlObjPack::add(int label, uint16_t value) {
  return putNumber(label, kZqlPackUShort, value);
}

int CZqlObjPack::add(int label, int32_t value) {
  return putNumber(label, kZqlPackLong, value);
}

int CZqlObjPack::add(int label, uint32_t value) {
  return putNumber(label, kZqlPackULong, value);
}

int CZqlObjPack::add(int label, double value) {
  return putNumber(label, kZqlPackDouble, value);
}

int CZqlObjPack::add(int label, const char* text) {
  if (!text) return put(label, kZqlPackString, 0, nullptr);
  const size_t n = std::strlen(text) + 1;
  // Refuse before the cast: a huge length must not wrap into a small one.
  const int size = n > kZqlPackMaxPayload ? -1 : int(n);
  return put(label, kZqlPackString, size, text);
}

int CZqlObjPack::add(int label, const unsigned char* text) {
  if (!text) return put(label, kZqlPackUString, 0, nullptr);
  const size_t n = std::strlen(reinterpret_cast<const char*>(text)) + 1;
  const int size = n > kZqlPackMaxPayload ? -1 : int(n);
  return put(label, kZqlPackUString, size, text);
}

int CZqlObjPack::add(int label, const CZqlUcStr& text) {
  const uint64_t units = uint64_t(text.Length()) + 1;  // with the zero unit
  if (units == 1) {
    const uint16_t zero = 0;
    return put(label, kZqlPackUcStr, 2, &zero);
  }
  const int size = units * 2 > kZqlPackMaxPayload ? -1 : int(units * 2);
  if (!put(label, kZqlPackUcStr, size, nullptr)) return 0;
  if (current_) std::memcpy(current_, text.UcStr(), size_t(size));
  return 1;
}

int CZqlObjPack::add(int label, const void* data, int length) {
  return put(label, kZqlPackBytes, length, data);
}

void* CZqlObjPack::getBind(uint32_t room) const {
  if (!buffer_ || !fits(uint64_t{6} + room)) return nullptr;
  return buffer_ + kZqlPackHeaderSize + offset_ + 6;
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

// The reader met bytes it cannot trust: no current item, every later read
// answers the end, and 0xA00C is raised.
void CZqlObjPack::damaged() {
  clearCurrent();
  damaged_ = 1;
  ZQL_RAISE(kZqlErrInternalZQLError);
}

// The end of the readable items: the header's length, which must lie
// between 8 and the size the reader was given. 0 for no (or an empty)
// buffer, or one already found damaged; *bad set for a damaged header.
uint32_t CZqlObjPack::readLimit(bool* bad) const {
  *bad = false;
  if (!buffer_ || bufSize_ == 0 || damaged_) return 0;
  uint32_t total = 0;
  if (bufSize_ >= kZqlPackHeaderSize) std::memcpy(&total, buffer_ + 4, 4);
  *bad = total < kZqlPackHeaderSize || total > bufSize_;
  return total;
}

// Marks the reader damaged and raises as damaged() does, inside a frame of
// its own (so without one open it only answers -1). Out of line: sound
// items are read without a frame.
__attribute__((noinline, cold)) int CZqlObjPack::refuseItem() {
  return ZqlEntry<int>(-1, [&]() -> int { damaged(); });
}

// Reads the item at the offset and makes it current. Answers its label, or
// -1 at the end, at an unknown type (the offset stays before it, so the
// reader keeps stopping there) or at damage.
int CZqlObjPack::readItem() {
  bool bad;
  const uint32_t limit = readLimit(&bad);
  if (bad) return refuseItem();
  if (limit == 0 || offset_ >= limit - kZqlPackHeaderSize) {
    clearCurrent();
    return -1;
  }
  const uint32_t avail = limit - kZqlPackHeaderSize - offset_;
  const unsigned char* at = buffer_ + kZqlPackHeaderSize + offset_;
  if (avail < 4) return refuseItem();  // a cut item header
  const uint16_t label = Load16(at);
  const uint16_t type = Load16(at + 2);
  const int width = FixedWidth(type);
  if (width < 0) {
    clearCurrent();
    return -1;
  }
  uint32_t head = 4;
  uint32_t size = uint32_t(width);
  if (width == 0) {
    if (avail < 6) return refuseItem();
    size = Load16(at + 4);
    head = 6;
  }
  if (avail - head < size) return refuseItem();  // payload runs past the end
  offset_ += head + size;
  current_ = size ? const_cast<unsigned char*>(at + head) : nullptr;
  curSize_ = size;
  curType_ = static_cast<EZqlPackObjType>(type);
  return label;
}

int CZqlObjPack::getNext() {
  const int label = readItem();
  return label < 0 ? kZqlPackEnd : label;
}

int CZqlObjPack::setActive(int label) {
  offset_ = 0;
  for (;;) {
    const int got = readItem();
    if (got < 0) return 0;  // end, unknown type or damage: no current item
    if (got == label) return 1;
  }
}

namespace {

template <class T>
int CopyPayload(const void* payload, uint32_t size, T* out) {
  if (!payload || !out || size < sizeof(T)) return 0;
  std::memcpy(out, payload, sizeof(T));
  return 1;
}

}  // namespace

int CZqlObjPack::getPackedValue(char* out) const {
  return CopyPayload(current_, curSize_, out);
}

int CZqlObjPack::getPackedValue(unsigned char* out) const {
  return CopyPayload(current_, curSize_, out);
}

int CZqlObjPack::getPackedValue(int16_t* out) const {
  return CopyPayload(current_, curSize_, out);
}

int CZqlObjPack::getPackedValue(uint16_t* out) const {
  return CopyPayload(current_, curSize_, out);
}

int CZqlObjPack::getPackedValue(int32_t* out) const {
  return CopyPayload(current_, curSize_, out);
}

int32_t CZqlObjPack::getInt32(bool emptyIsZero) const {
  int32_t value = 0;
  if (emptyIsZero && curSize_ == 0) return 0;
  if (curSize_ != sizeof value || !getPackedValue(&value)) ZQL_RAISE(kZqlErrInternalZQLError);
  return value;
}

int CZqlObjPack::getPackedValue(uint32_t* out) const {
  return CopyPayload(current_, curSize_, out);
}

int CZqlObjPack::getPackedValue(double* out) const {
  return CopyPayload(current_, curSize_, out);
}

namespace {

// Whether text is exactly the n packed code units at p.
bool SameUnits(const CZqlUcStr& text, const unsigned char* p, uint32_t n) {
  if (static_cast<uint32_t>(text.Length()) != n) return false;
  const unsigned short* u = text.UcStr();
  for (uint32_t i = 0; i < n; ++i)
    if (u[i] != Load16(p + 2 * i)) return false;
  return true;
}

}  // namespace

int CZqlObjPack::getPackedValue(CZqlUcStr* out) const {
  if (!out) return 0;
  if (!current_) {
    out->Clear();
    return 0;
  }
  const unsigned char* p = static_cast<const unsigned char*>(current_);
  uint32_t units = 0;  // code units before the first zero unit
  while (units < curSize_ / 2 && Load16(p + 2 * units) != 0) ++units;
  // Replies carry the same names again and again: a string that holds the
  // text already keeps it, with no copy.
  if (SameUnits(*out, p, units)) return 1;
  if (units > 0 && reinterpret_cast<uintptr_t>(p) % alignof(unsigned short) == 0) {
    // Into out's own body when it is unshared and large enough: a fetched
    // value's text is replaced row after row.
    out->Copy(reinterpret_cast<const unsigned short*>(p), int(units));
    return 1;
  }
  out->Clear();
  if (units == 0) return 1;
  // An odd address: move the units through an aligned piece at a time.
  unsigned short piece[128];
  for (uint32_t done = 0; done < units;) {
    const uint32_t n = units - done < 128 ? units - done : 128;
    std::memcpy(piece, p + 2 * done, 2 * n);
    out->Append(piece, int(n));
    done += n;
  }
  return 1;
}
