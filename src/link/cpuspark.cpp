// cpuspark.cpp - byte order of this platform and byte reversal of values
// that cross to a process of the other byte order.
#include <cstdint>
#include <cstring>

#include "objpack.h"

namespace {

// value with its sizeof(T) bytes in reverse order. Works on the object
// representation, so floating-point values are never reinterpreted.
template <class T>
T Reverse(T value) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  for (size_t i = 0, j = sizeof(T) - 1; i < j; ++i, --j) {
    const unsigned char t = bytes[i];
    bytes[i] = bytes[j];
    bytes[j] = t;
  }
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace

int ZqlCpuByteOrder() {
  const uint32_t probe = kZqlPackMarker;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 0x01;  // most significant byte first
}

// The big-endian platform is also the one that traps on unaligned access.
int ZqlCpuAlignFlag() { return ZqlCpuByteOrder(); }

int16_t ZqlCpuPortShort(int16_t value) { return Reverse(value); }

int32_t ZqlCpuPortLong(int32_t value) { return Reverse(value); }

float ZqlCpuPortFloat(float value) { return Reverse(value); }

double ZqlCpuPortDouble(double value) { return Reverse(value); }
