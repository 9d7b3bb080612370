// sltmd5.h - MD5 (RFC 1321) for the hashed results of sqllogictest files.
#ifndef ZQL_TOOLS_SLTMD5_H
#define ZQL_TOOLS_SLTMD5_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace zqlslt {

// An MD5 digest being computed: Update any number of times, then Hex once.
class CSltMd5 {
 public:
  CSltMd5();
  void Update(const void* data, size_t size);
  void Update(const std::string& s) { Update(s.data(), s.size()); }
  // The digest as 32 lower-case hex digits; the object is spent afterwards.
  std::string Hex();

 private:
  void block(const unsigned char* p);

  uint32_t state_[4];
  uint64_t bytes_;             // message length so far
  unsigned char buffer_[64];   // the unfinished block
};

}  // namespace zqlslt

#endif  // ZQL_TOOLS_SLTMD5_H
