// objpack.h - the packed buffer that carries every request to a driver and
// every reply from it, and the byte-order helpers.
//
// Buffer layout, in the writer's native byte order with no padding anywhere:
//   bytes 0-3  the marker 0x01020304 (written with the first item)
//   bytes 4-7  total length in bytes, header included (uint32_t)
//   then the items, one directly behind the other:
//     label (uint16_t), type (uint16_t, EZqlPackObjType),
//     for types 10-13 the payload length (uint16_t),
//     the payload: the value's bytes as they lie in memory.
//
// Conventions of the objects that pack themselves (CZqlObject::packTo):
//   - an object ends its items with label kZqlPackEnd, type kZqlPackLong;
//     the value belongs to the object;
//   - a nested object follows a marker item (container's label, long 0) and
//     is read by handing the same CZqlObjPack to its unpackFrom;
//   - optional items are left out; readers ignore labels they do not know.
//
// A CZqlObjPack never owns its buffer. Writers pack twice: once without a
// buffer to learn Size(), then, identically, into a buffer of that size;
// or, with a buffer kept between uses (setRoom), once, and a second time
// only when it proved too small.
#ifndef ZQL_OBJPACK_H
#define ZQL_OBJPACK_H

#include <cstdint>

#include "zqlclass.h"

// Exported from libzql although private to the library and the driver kit:
// the kit reads and writes requests with it.
ZQL_PUBLIC_BEGIN

class CZqlUcStr;

// Item types. A "long" item is 4 bytes (int32_t) on every platform.
enum EZqlPackObjType : uint16_t {
  kZqlPackNone = 0,      // no current item (before a read, after a failed one)
  kZqlPackChar = 1,      // 1 byte
  kZqlPackUChar = 2,     // 1 byte
  kZqlPackShort = 3,     // 2 bytes
  kZqlPackUShort = 4,    // 2 bytes
  kZqlPackInt = 5,       // 4 bytes; never written, accepted when read
  kZqlPackUInt = 6,      // 4 bytes; never written, accepted when read
  kZqlPackLong = 7,      // 4 bytes, int32_t
  kZqlPackULong = 8,     // 4 bytes, uint32_t
  kZqlPackDouble = 9,    // 8 bytes, IEEE double
  kZqlPackString = 10,   // length-prefixed: the chars and their NUL
  kZqlPackUString = 11,  // as 10, unsigned chars
  kZqlPackUcStr = 12,    // length-prefixed: 16-bit code units and a zero unit
  kZqlPackBytes = 13,    // length-prefixed raw bytes
};

// Label of the item that ends an object's items; getNext also answers it at
// the end of the buffer.
constexpr int kZqlPackEnd = 0xFFFF;
// Size of the buffer header (marker and total length).
constexpr uint32_t kZqlPackHeaderSize = 8;
// Largest payload of a length-prefixed item (types 10-13).
constexpr uint32_t kZqlPackMaxPayload = 65535;
// The byte-order marker as the writer stores it.
constexpr uint32_t kZqlPackMarker = 0x01020304;

// Writer and reader of one packed buffer.
//
// Writing raises and writes nothing when
//   - a length-prefixed payload exceeds 65535 bytes or a length is negative:
//     0xA00B "invalid function arguments" (raised in the sizing pass too);
//   - the item would not fit in the buffer attached with setBuffer:
//     0xA00C "internal ZQL error" (the two passes packed different items).
// Reading never touches a byte outside the buffer given to setBuffer. A
// buffer whose length field or items run past that size, or whose length
// field is below 8, is damaged: the reading call raises 0xA00C and then
// behaves as at the end of the buffer. When no try frame or handler is open
// the call takes the raise itself and answers its end/failure value.
class CZqlObjPack : public CZqlObject {
 public:
  // No buffer, nothing written or read.
  CZqlObjPack();
  // As setBuffer(buffer, size).
  CZqlObjPack(void* buffer, uint32_t size);
  CZqlObjPack(const CZqlObjPack&) = delete;
  CZqlObjPack& operator=(const CZqlObjPack&) = delete;
  // Frees nothing: the buffer belongs to its provider.
  ~CZqlObjPack() override;

  // Attaches buffer (borrowed; must stay valid while this pack uses it) of
  // size bytes, or null for sizing, and restarts at the first item. For
  // writing, size is the room the writer may fill; for reading, the bytes
  // that may be read (a reply's received length). Answers 1.
  int setBuffer(void* buffer, uint32_t size);
  // For writing in one pass where a buffer is kept between uses: as
  // setBuffer, but an item that does not fit is not refused. From that item
  // on nothing more is written (Buffer() answers null) and Overflowed()
  // answers true; Size() still counts every item, so that the writer can
  // provide that many bytes and pack again. Answers 1.
  int setRoom(void* buffer, uint32_t size);
  // True when a buffer attached with setRoom proved too small.
  bool Overflowed() const { return overflowed_ != 0; }
  // The attached buffer (null while sizing) and its size.
  void* Buffer() const { return buffer_; }
  uint32_t BufferSize() const { return bufSize_; }

  // 0 before anything was added or read; else offset + 8: the bytes the
  // buffer needs (writing) or the end of the last item read (reading).
  uint32_t Size() const;

  // Add one item; each answers 1, or raises as described above (answering 0
  // with nothing open to take the raise). Integers go out as the fixed-width
  // types below.
  int add(int label, char value);               // kZqlPackChar
  int add(int label, unsigned char value);      // kZqlPackUChar
  int add(int label, int16_t value);            // kZqlPackShort
  int add(int label, uint16_t value);           // kZqlPackUShort
  int add(int label, int32_t value);            // kZqlPackLong
  int add(int label, uint32_t value);           // kZqlPackULong
  int add(int label, double value);             // kZqlPackDouble
  // The characters and the NUL; null packs a 0-length item. The pointer
  // overloads are distinct from the void* one below by design.
  int add(int label, const char* text);          // kZqlPackString
  int add(int label, const unsigned char* text);  // kZqlPackUString
  // The code units and a zero unit; the empty string packs one zero unit.
  int add(int label, const CZqlUcStr& text);    // kZqlPackUcStr
  // length raw bytes from data (null data reserves the space, see getBind).
  int add(int label, const void* data, int length);  // kZqlPackBytes
  // A platform `long` would not fit the 4-byte item on every platform:
  // callers convert to int32_t/uint32_t themselves.
  int add(int label, long value) = delete;
  int add(int label, unsigned long value) = delete;
  int add(int label, long long value) = delete;
  int add(int label, unsigned long long value) = delete;

  // The writer behind all add operations: an item of type with size payload
  // bytes copied from data, or reserved (left as they are) when data is null.
  // Answers 1, or raises as described above.
  int put(int label, EZqlPackObjType type, int size, const void* data);

  // Reads the next item and makes it current. Answers its label, or
  // kZqlPackEnd at the end of the buffer, at an item of unknown type, or
  // (after raising 0xA00C) at damage; then there is no current item.
  int getNext();
  // Searches from the first item for the first one labelled label: answers 1
  // and makes it current, or 0 (no current item; damage raises 0xA00C).
  int setActive(int label);

  // The current item: payload (points into the buffer, valid while the
  // buffer is; null when the item has no payload), its size and its type.
  const void* getPtr() const { return current_; }
  void* getPtr() { return current_; }
  uint32_t getSize() const { return curSize_; }
  EZqlPackObjType getType() const { return curType_; }

  // Copy 1, 2, 4 or 8 bytes of the current payload into *out and answer 1;
  // answer 0 with *out untouched when there is no current payload or it is
  // shorter than *out. The item's type is not checked.
  int getPackedValue(char* out) const;
  int getPackedValue(unsigned char* out) const;
  int getPackedValue(int16_t* out) const;
  int getPackedValue(uint16_t* out) const;
  int getPackedValue(int32_t* out) const;
  int getPackedValue(uint32_t* out) const;
  int getPackedValue(double* out) const;
  // The current payload as a CZqlUcStr (for kZqlPackUcStr items: the code
  // units up to the first zero unit or the payload's end). Answers 1, or 0
  // with *out emptied when there is no current payload. May raise 0xA008.
  int getPackedValue(CZqlUcStr* out) const;
  // The current item as a 4-byte integer, the one reader of counts, flags
  // and versions in packed areas: a payload of any other width is damage
  // and raises kZqlErrInternalZQLError; with emptyIsZero, an item without
  // payload reads as 0.
  int32_t getInt32(bool emptyIsZero = false) const;

  // Where the payload of a length-prefixed item added next would begin
  // (buffer + 8 + offset + 6), so a writer can build it in place and then
  // add it with null data. Null without a buffer or when the 6-byte item
  // header and `room` payload bytes would not fit in the buffer.
  void* getBind(uint32_t room = 0) const;

 private:
  // add's way for a number: straight in when a started buffer has room,
  // else through put.
  template <class T>
  int putNumber(int label, EZqlPackObjType type, T value);
  int readItem();
  [[noreturn]] void damaged();
  void clearCurrent();
  int fits(uint64_t bytes) const;
  uint32_t readLimit(bool* bad) const;
  int refuseItem();

  unsigned char* buffer_;   // start of the buffer (the marker); not owned
  void* current_;           // payload of the item last added or read
  uint32_t offset_;         // bytes written or read behind the header
  uint32_t curSize_;        // payload size of the item last read
  EZqlPackObjType curType_;  // type of the item last read
  uint32_t bufSize_;        // bytes of buffer_ that may be used
  int damaged_;             // 1 once reading met a damaged buffer
  int spill_;               // 1: attached with setRoom
  int overflowed_;          // 1: the setRoom buffer proved too small
};

// Byte order and alignment of this platform: 1 on a big-endian one (which
// then also requires aligned access), 0 here.
int ZqlCpuByteOrder();
int ZqlCpuAlignFlag();
// value with its bytes in reverse order.
int16_t ZqlCpuPortShort(int16_t value);
int32_t ZqlCpuPortLong(int32_t value);
float ZqlCpuPortFloat(float value);
double ZqlCpuPortDouble(double value);

ZQL_PUBLIC_END

#endif  // ZQL_OBJPACK_H
