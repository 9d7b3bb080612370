// gen.h - zqlxmgen: writes the message sources (.xms, see tools/zqlxmc/xmc.h)
// that are made at build time from other data: the error messages of
// msg/zqlerr.def, character-set tables from the C library's iconv, the
// character-property tables from the Unicode Character Database, and
// collations from their readable sources.
#ifndef ZQL_TOOLS_GEN_H
#define ZQL_TOOLS_GEN_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace gen {

// Every generator writes its source to out and answers 0, or prints
// "FILE:LINE: message" (or "zqlxmgen: message") on standard error and
// answers 1.
int Errors(std::FILE* out);
int Charset(const std::string& name, const std::string& iconvName, std::FILE* out);
int Unicode(const std::string& dataFile, const std::string& exclusionsFile, std::FILE* out);
int Collation(const std::string& sourceFile, std::FILE* out);

// Writes one message of 16-bit units as hexadecimal words, wrapped with
// '\' continuations.
void WriteUnits(std::FILE* out, int number, const std::vector<uint16_t>& units);
// A message source string literal for bytes (escapes for everything that
// is not printable ASCII).
std::string Quote(const std::string& bytes);

// Marks "no mapping" in a table row.
constexpr uint16_t kNoMapping = 0xFFFD;

}  // namespace gen

#endif  // ZQL_TOOLS_GEN_H
