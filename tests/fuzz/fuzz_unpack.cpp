// Fuzz target: reading arbitrary bytes as a packed buffer. Every read must
// either succeed or raise 0xA00C "internal ZQL error"; any other code, a
// crash or a read outside the given bytes (caught by the sanitizers) is a
// fault.
//
// The first input byte picks the options, the rest is the buffer:
//   bit 0  overwrite the length field with the real size, so that the
//          items, not just the header, are exercised
//   bit 1  read the items as a stream of identifiers
//   bit 2  look items up with setActive as well
//   bit 3  read the items as a stream of data descriptors (label 10 starts
//          one); each value read is packed again, which must succeed with
//          exactly the size packSize answered, and read back
//   bit 4  as bit 3, but the target writes a sound group head itself (type
//          code from the second input byte, subcode from the third) and the
//          remaining bytes become the value's items, so the values' own
//          readers are reached without a seed corpus
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "objpack.h"
#include "zqlident.h"
#include "zqlsdata.h"
#include "zqlucode.h"

namespace {

void Check(int completed) {
  if (!completed && ZqlTryCode() != kZqlErrInternalZQLError) std::abort();
}

// Reading data descriptors: every type code has its value class now, so
// the same rule as Check holds.
void CheckData(int completed) { Check(completed); }

// Label that starts a data descriptor group in the descriptor stream.
constexpr int kDescLabel = 10;

// Packs value as a descriptor group into a buffer of exactly the size the
// sizing pass answered and reads it back. Both must succeed.
void Repack(const CZqlData& value) {
  CZqlObjPack sizing;
  ZqlPackDataDescriptor(&sizing, kDescLabel, value);
  std::vector<unsigned char> buf(sizing.Size());
  CZqlObjPack pack(buf.data(), uint32_t(buf.size()));
  ZqlPackDataDescriptor(&pack, kDescLabel, value);
  if (pack.Size() != buf.size()) std::abort();
  pack.setBuffer(buf.data(), uint32_t(buf.size()));
  if (pack.getNext() != kDescLabel) std::abort();
  std::unique_ptr<CZqlData> back(ZqlUnpackDataDescriptor(&pack, kDescLabel));
  if (!back || back->Type() != value.Type() ||
      back->isNull() != value.isNull()) {
    std::abort();
  }
}

// Reads descriptor groups until the buffer ends; other labels are skipped.
void ReadValues(CZqlObjPack* pack) {
  for (int i = 0; i < 1000; ++i) {
    const int label = pack->getNext();
    if (label == kZqlPackEnd) break;
    if (label != kDescLabel) continue;
    std::unique_ptr<CZqlData> value(ZqlUnpackDataDescriptor(pack, label));
    if (!value) break;
    if (!ZqlTry([&] { Repack(*value); })) std::abort();
  }
}

// Reads every item and every view of its payload.
void WalkItems(CZqlObjPack* pack) {
  CZqlUcStr text;
  char c;
  int16_t s;
  int32_t l;
  double d;
  for (int i = 0; i < 10000 && pack->getNext() != kZqlPackEnd; ++i) {
    pack->getPackedValue(&c);
    pack->getPackedValue(&s);
    pack->getPackedValue(&l);
    pack->getPackedValue(&d);
    pack->getPackedValue(&text);
  }
}

// Reads identifiers until the buffer ends.
void ReadIdents(CZqlObjPack* pack) {
  CZqlIdent id;
  CZqlUcStr out;
  for (int i = 0; i < 1000 && pack->Size() < pack->BufferSize(); ++i) {
    if (!id.unpackFrom(pack)) break;
    id.ToString(&out);
  }
}

// The bytes of a buffer holding one descriptor group head for code and sub,
// followed by the raw bytes of items.
std::vector<unsigned char> GroupHead(int32_t code, int32_t sub,
                                     const uint8_t* items, size_t n) {
  CZqlObjPack sizing;
  auto head = [&](CZqlObjPack* p) {
    p->add(kDescLabel, code);
    if (code == 9 || code == 10) p->add(kDescLabel + 1, sub);
    p->add(kDescLabel + 2, int32_t{0});
  };
  head(&sizing);
  std::vector<unsigned char> buf(sizing.Size());
  CZqlObjPack pack(buf.data(), uint32_t(buf.size()));
  head(&pack);
  buf.insert(buf.end(), items, items + n);
  const uint32_t total = uint32_t(buf.size());
  std::memcpy(buf.data() + 4, &total, 4);
  // A copy without spare capacity, so a read past the end is a fault.
  return std::vector<unsigned char>(buf.begin(), buf.end());
}

void FuzzGroup(const uint8_t* data, size_t size) {
  if (size < 2) return;
  static const int32_t kCodes[] = {-1, 1, 2, 3, 4,  5,  6,
                                   7,  8, 9, 10, 12, 14, 15};
  const int32_t code = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
  std::vector<unsigned char> buf =
      GroupHead(code, data[1] % 16, data + 2, size - 2);
  CZqlObjPack pack(buf.data(), uint32_t(buf.size()));
  CheckData(ZqlTry([&] { ReadValues(&pack); }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 20) return 0;
  const uint8_t options = data[0];
  if (options & 16) {
    FuzzGroup(data + 1, size - 1);
    return 0;
  }
  // An exact-size heap copy: reading past the end is then a sanitizer fault.
  std::vector<unsigned char> buf(data + 1, data + size);
  if ((options & 1) && buf.size() >= 8) {
    const uint32_t n = uint32_t(buf.size());
    std::memcpy(buf.data() + 4, &n, 4);
  }
  CZqlObjPack pack(buf.empty() ? nullptr : buf.data(), uint32_t(buf.size()));

  Check(ZqlTry([&] { WalkItems(&pack); }));
  if (options & 2) {
    pack.setBuffer(buf.empty() ? nullptr : buf.data(), uint32_t(buf.size()));
    Check(ZqlTry([&] { ReadIdents(&pack); }));
  }
  if (options & 4) {
    pack.setBuffer(buf.empty() ? nullptr : buf.data(), uint32_t(buf.size()));
    Check(ZqlTry([&] {
      for (int label : {0, 1, 2, 3, kZqlPackEnd}) pack.setActive(label);
    }));
  }
  if (options & 8) {
    pack.setBuffer(buf.empty() ? nullptr : buf.data(), uint32_t(buf.size()));
    CheckData(ZqlTry([&] { ReadValues(&pack); }));
  }
  return 0;
}
