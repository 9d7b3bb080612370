// xmc.h - the message-file compiler: readable message sources (.xms) to the
// binary message files (.xmx) the ZQL library reads.
//
// Source language, one statement per line; '#' starts a comment outside
// quotes; a line ending in '\' continues on the next one.
//
//   codepage NAME        code page of the texts (default "ascii")
//   language CODE        language code, at most 8 characters (default "en")
//   title "TEXT"         free header texts (at most 82 / 20 characters)
//   subtitle "TEXT"
//   per-block N          messages per block (default 16)
//   cache-limit N        block cache limit in bytes, -1 for none (default)
//   attributes ascii|none  character attribute table (default ascii)
//   prefix N             N filler bytes before the header
//   lock SET             the blocks of SET stay in memory once loaded
//   set N                the following messages belong to set N
//   NUM FORM             a message; NUM is a number or '+' (the previous
//                        number of the set plus one)
//
// Message forms:
//   "TEXT"               NUL-terminated text (record type 0)
//   text "TEXT"          the same
//   bytes HH HH ...      bytes without terminator (type 1)
//   clear "TEXT"         bytes without terminator, not scrambled (type 7)
//   units HHHH ...       16-bit units (type 9)
//   units32 H... / units64 H...   32-bit / 64-bit units (types 10 / 11)
//   end                  the end mark: the single byte 0xFF
//
// Strings take the escapes \\ \" \n \t \r and \xHH.
#ifndef ZQL_TOOLS_XMC_H
#define ZQL_TOOLS_XMC_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace xmc {

// Where a statement came from, for messages.
struct SPlace {
  std::string file;
  int line = 0;
};

struct SMessage {
  int type = 0;
  std::string bytes;  // the text as stored, before scrambling
  SPlace place;
};

// Everything the sources declare.
struct SModel {
  std::string codePage = "ascii";
  std::string language = "en";
  std::string title = "ZQL message file";
  std::string subtitle;
  int perBlock = 16;
  int32_t cacheLimit = -1;
  bool asciiAttributes = true;
  int prefix = 0;
  std::set<int> lockedSets;
  // set -> number -> message
  std::map<int, std::map<int, SMessage>> sets;
};

// A fault in a source: the place and the message.
struct SError {
  SPlace place;
  std::string message;
};

// Parses the source file path into model. Answers false and fills error at
// the first fault.
bool ParseFile(const std::string& path, SModel* model, SError* error);
// Parses source text as if it had been read from a file called name.
bool ParseText(const std::string& name, const std::string& text, SModel* model,
               SError* error);

// Builds the binary file of model into out. Answers false and fills error
// when a block or record would not fit the format.
bool Build(const SModel& model, std::string* out, SError* error);

// Largest message number and record length the format holds.
constexpr int kMaxNumber = 0x7FFF;
constexpr int kMaxRecord = 0x7FFF;
constexpr int kMaxBlock = 0xFFFF;

}  // namespace xmc

#endif  // ZQL_TOOLS_XMC_H
