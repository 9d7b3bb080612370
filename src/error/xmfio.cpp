// Byte order of message files: their integers are little-endian, and the
// readers here convert them to the host's order.

#include <cstring>

#include "zqlxmf.h"

namespace {

using Converter = void (*)(void* units, int count, int unit);

// Reverses the bytes of each unit (a big-endian host).
void rbyteswap(void* units, int count, int unit) {
  auto* p = static_cast<unsigned char*>(units);
  for (int i = 0; i < count; ++i, p += unit) {
    for (int a = 0, b = unit - 1; a < b; ++a, --b) {
      const unsigned char t = p[a];
      p[a] = p[b];
      p[b] = t;
    }
  }
}

// Leaves the units as they are (a little-endian host).
void rnoswap(void*, int, int) {}

Converter gRead = nullptr;

}  // namespace

void ZqlXmfIoInit() {
  if (gRead != nullptr) return;
  const uint16_t probe = 0x1234;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  const bool little = first == 0x34;
  gRead = little ? rnoswap : rbyteswap;
}

void ZqlXmfConvert(void* units, int count, int unit) {
  ZqlXmfIoInit();
  gRead(units, count, unit);
}

int CZqlXmfUtil::XmfMulRead(void* buffer, int count, int unit) {
  return ZqlEntry<int>(0, [&]() -> int {
    ZqlXmfIoInit();
    const int64_t n = static_cast<int64_t>(count) * unit;
    if (count < 0 || unit < 1 || n > 0x7FFFFFFF) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    unsigned int got = 0;
    if (!file_.Read(buffer, static_cast<unsigned int>(n), &got)) return 0;
    if (got != static_cast<unsigned int>(n)) ZQL_RAISE(kZqlErrInternalZQLError);
    gRead(buffer, count, unit);
    return 1;
  });
}

int CZqlXmfUtil::XmfReadShort(uint16_t* value) { return XmfMulRead(value, 1, 2); }
int CZqlXmfUtil::XmfReadLong(int32_t* value) { return XmfMulRead(value, 1, 4); }
int CZqlXmfUtil::XmfReadReal(double* value) { return XmfMulRead(value, 1, 8); }
