// CZqlXmfUtil: opening a message file, its index tables and the block cache,
// and the lookup of one message.
//
// Every offset and length read from the file is checked against the file
// before it is used, so that a damaged file raises 0xA00C and never makes
// the reader touch memory outside what it allocated.

#include <cstring>
#include <memory>

#include "zqlxmf.h"

struct SZqlXmfSet {
  uint16_t count;  // messages in the set
  uint32_t first;  // index of its first block entry
};

struct SZqlXmfEntry {
  uint16_t flags;
  uint16_t size;    // bytes of the block
  uint32_t offset;  // from the base
  char* block;      // loaded block (size + 1 bytes), or null
};

namespace {

const unsigned char kMagic[3] = {'X' ^ 0xAB, 'M' ^ 0xCD, 'X' ^ 0xEF};

int RecordLength(const unsigned char* rec) { return (rec[3] << 8) | rec[4]; }
int RecordNumber(const unsigned char* rec) { return ((rec[0] & 0x7F) << 8) | rec[1]; }

// Bytes of a unit in a text of the type, 1 for byte texts.
int UnitOf(int type) {
  return type == kZqlXmfTypeUnits ? 2 : type == kZqlXmfTypeUnits32 ? 4
                                    : type == kZqlXmfTypeUnits64   ? 8
                                                                   : 1;
}

bool Scrambled(int type) { return type != kZqlXmfTypeClear && type != kZqlXmfTypeUnits; }

// Converts the 16-bit unit texts of a freshly read block to the host's order.
// Each record is converted by its own type: a block may mix types, and the
// record headers between them are bytes that must stay as they are. Texts
// of 32-bit and 64-bit units are converted when unscrambled. A malformed
// chain stops the walk; the lookup reports it.
void ConvertBlock(char* block, int size) {
  int pos = 0;
  while (pos + kZqlXmfRecordHeader <= size) {
    auto* rec = reinterpret_cast<unsigned char*>(block + pos);
    const int len = RecordLength(rec);
    if (len < kZqlXmfRecordHeader || pos + len > size) return;
    if (rec[2] == kZqlXmfTypeUnits)
      ZqlXmfConvert(rec + kZqlXmfRecordHeader, (len - kZqlXmfRecordHeader) / 2, 2);
    pos += len + ((pos + len) & 1);
  }
}

// Reverses the scrambling of a record's text once and marks it clear.
void Unscramble(unsigned char* rec) {
  if ((rec[0] & 0x80) != 0) return;
  const int n = RecordLength(rec) - kZqlXmfRecordHeader;
  unsigned char* text = rec + kZqlXmfRecordHeader;
  if (Scrambled(rec[2])) {
    for (int i = 0; i < n; ++i) text[i] ^= static_cast<unsigned char>((n + i) & 0xFF);
    const int unit = UnitOf(rec[2]);
    if (unit > 1) ZqlXmfConvert(text, n / unit, unit);
  }
  rec[0] |= 0x80;
}

// Length of a record's text as the lookup reports it.
int TextLength(const unsigned char* rec) {
  const int n = RecordLength(rec) - kZqlXmfRecordHeader;
  switch (rec[2]) {
    case kZqlXmfTypeUnits:
      return n / 2;
    case kZqlXmfTypeBytes:
    case kZqlXmfTypeClear:
      return n;
    default:
      return n > 0 ? n - 1 : 0;
  }
}

}  // namespace

CZqlXmfUtil::CZqlXmfUtil()
    : base_(0), limit_(0), header_(), sets_(nullptr), entries_(nullptr), cacheTotal_(0),
      fromCache_(0), alive_(0), language_(0), lastType_(0), locks_(nullptr), lockCount_(0) {}

CZqlXmfUtil::~CZqlXmfUtil() { Term(); }

// Opens the file and finds the header through the trailer.
void CZqlXmfUtil::open(const char* path) {
  file_.Open(path, 0);
  const int64_t size = file_.Size();
  if (size < kZqlXmfTrailerSize + kZqlXmfHeaderSize) ZQL_RAISE(kZqlErrInternalZQLError);
  const int64_t p = size - kZqlXmfTrailerSize;
  file_.SetSeek(p);
  int32_t distance = 0;
  unsigned char magic[3];
  XmfReadLong(&distance);
  XmfMulRead(magic, 3, 1);
  if (std::memcmp(magic, kMagic, 3) != 0 || distance < 1 || distance > p) ZQL_RAISE(kZqlErrInternalZQLError);
  base_ = p - distance;
  limit_ = p;
  if (base_ + kZqlXmfHeaderSize > limit_) ZQL_RAISE(kZqlErrInternalZQLError);
  file_.SetSeek(base_);
}

void CZqlXmfUtil::readHeader() {
  SZqlXmfHeader h;
  XmfMulRead(h.title, sizeof h.title, 1);
  XmfMulRead(h.subtitle, sizeof h.subtitle, 1);
  XmfMulRead(h.codePage, sizeof h.codePage, 1);
  XmfMulRead(h.language, sizeof h.language, 1);
  XmfReadShort(&h.version);
  XmfMulRead(h.values, 16, 4);
  h.title[sizeof h.title - 1] = '\0';
  h.subtitle[sizeof h.subtitle - 1] = '\0';
  if (h.version != kZqlXmfVersion) ZQL_RAISE(kZqlErrInternalZQLError);
  if (std::memchr(h.codePage, 0, sizeof h.codePage) == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
  if (std::memchr(h.language, 0, sizeof h.language) == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
  header_ = h;
}

// Reads the attribute table and the index tables, checking that everything
// they name lies inside the file.
void CZqlXmfUtil::readTables() {
  const int64_t span = limit_ - base_;
  const int64_t attr = static_cast<uint32_t>(header_.values[kZqlXmfValueAttrOffset]);
  const int64_t index = static_cast<uint32_t>(header_.values[kZqlXmfValueIndexOffset]);
  const int64_t sets = header_.values[kZqlXmfValueSets];
  const int64_t entries = header_.values[kZqlXmfValueEntries];
  if (header_.values[kZqlXmfValuePerBlock] < 1 || sets < 0 || entries < 0) ZQL_RAISE(kZqlErrInternalZQLError);
  if (attr + (kZqlXmfAttrRecords * 3 + 1) * 2 > span) ZQL_RAISE(kZqlErrInternalZQLError);
  if (index + sets * 6 + entries * 8 > span) ZQL_RAISE(kZqlErrInternalZQLError);

  uint16_t attrs[kZqlXmfAttrRecords * 3 + 1];
  file_.SetSeek(base_ + attr);
  XmfMulRead(attrs, kZqlXmfAttrRecords * 3 + 1, 2);

  sets_ = static_cast<SZqlXmfSet*>(ZqlMemoryCalloc(static_cast<std::size_t>(sets) + 1,
                                                   sizeof(SZqlXmfSet)));
  entries_ = static_cast<SZqlXmfEntry*>(ZqlMemoryCalloc(static_cast<std::size_t>(entries) + 1,
                                                        sizeof(SZqlXmfEntry)));
  file_.SetSeek(base_ + index);
  for (int64_t i = 0; i < sets; ++i) {
    XmfReadShort(&sets_[i].count);
    int32_t first = 0;
    XmfReadLong(&first);
    sets_[i].first = static_cast<uint32_t>(first);
  }
  for (int64_t i = 0; i < entries; ++i) {
    int32_t offset = 0;
    XmfReadShort(&entries_[i].flags);
    XmfReadShort(&entries_[i].size);
    XmfReadLong(&offset);
    entries_[i].offset = static_cast<uint32_t>(offset);
  }
  // Only a file found sound replaces the process-wide attribute table.
  for (int c = 0; c < kZqlXmfAttrRecords; ++c)
    XmfSetAttr(c, attrs[c * 3], attrs[c * 3 + 1], attrs[c * 3 + 2]);
  XmfSetAmode(attrs[kZqlXmfAttrRecords * 3]);
}

int CZqlXmfUtil::Init(const char* path) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (alive_) return 1;
    ZqlXmfIoInit();
    const int ok = ZqlTry([&] {
      if (path == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
      open(path);
      readHeader();
      readTables();
    });
    if (!ok) {
      release();  // ZqlTryCode() still names the failure
      return 0;
    }
    lockCount_ = 0;
    alive_ = 1;
    language_ = header_.language[0] * 128 + header_.language[1];
    return 1;
  });
}

// Frees the blocks, the tables and the lock list and closes the file.
void CZqlXmfUtil::release() {
  if (entries_ != nullptr) {
    const int32_t n = alive_ ? header_.values[kZqlXmfValueEntries] : 0;
    for (int32_t i = 0; i < n; ++i) ZqlMemoryFree(entries_[i].block);
  }
  ZqlMemoryFree(entries_);
  ZqlMemoryFree(sets_);
  ZqlMemoryFree(locks_);
  entries_ = nullptr;
  sets_ = nullptr;
  locks_ = nullptr;
  lockCount_ = 0;
  alive_ = 0;
  cacheTotal_ = 0;
  file_.Close();
}

int CZqlXmfUtil::Term() {
  if (alive_) XmfXmsgReset(kZqlFalse);
  release();
  header_ = SZqlXmfHeader();
  return 1;
}

void CZqlXmfUtil::XmfXmsgReset(EZqlBoolean reload) {
  if (!alive_) return;
  const int32_t n = header_.values[kZqlXmfValueEntries];
  for (int32_t i = 0; i < n; ++i) {
    SZqlXmfEntry& e = entries_[i];
    if (e.block == nullptr || (e.flags & kZqlXmfFlagRelease) == 0) continue;
    if (reload == kZqlTrue && (e.flags & kZqlXmfFlagLocked) != 0) continue;
    ZqlMemoryFree(e.block);
    e.block = nullptr;
  }
  if (reload == kZqlFalse) lockCount_ = 0;
}

void CZqlXmfUtil::addLock(int entry) {
  for (int i = 0; i < lockCount_; ++i)
    if (locks_[i] == entry) return;
  int* grown = static_cast<int*>(
      ZqlMemoryRealloc(locks_, sizeof(int) * static_cast<std::size_t>(lockCount_ + 1)));
  if (grown == nullptr) return;  // the block stays loaded all the same
  locks_ = grown;
  locks_[lockCount_++] = entry;
}

// Loads the block of an entry into the cache (resetting the cache first when
// the limit is reached) and answers it.
char* CZqlXmfUtil::loadBlock(int entry) {
  SZqlXmfEntry& e = entries_[entry];
  if (e.block != nullptr) {
    fromCache_ = 1;
    return e.block;
  }
  fromCache_ = 0;
  if (static_cast<int64_t>(e.offset) + e.size > limit_ - base_ || e.size < kZqlXmfRecordHeader) {
    ZQL_RAISE(kZqlErrInternalZQLError);
  }
  const int32_t cacheLimit = header_.values[kZqlXmfValueCacheLimit];
  if (cacheLimit >= 0) {
    cacheTotal_ += e.size;
    if (cacheTotal_ >= cacheLimit) XmfXmsgReset(kZqlTrue);
  }
  char* block = static_cast<char*>(ZqlMemoryMalloc(static_cast<std::size_t>(e.size) + 1));
  if (block == nullptr) return nullptr;
  std::unique_ptr<char, void (*)(void*)> guard(block, ZqlMemoryFree);
  file_.SetSeek(base_ + e.offset);
  XmfMulRead(block, e.size, 1);
  ConvertBlock(block, e.size);
  e.block = guard.release();
  return e.block;
}

// The record of number in a block of size bytes holding at most g records.
char* CZqlXmfUtil::findRecord(char* block, int size, int number) {
  const int g = header_.values[kZqlXmfValuePerBlock];
  int pos = 0;
  for (int k = 0; k < g && pos + kZqlXmfRecordHeader <= size; ++k) {
    auto* rec = reinterpret_cast<unsigned char*>(block + pos);
    const int len = RecordLength(rec);
    if (len < kZqlXmfRecordHeader || pos + len > size) break;
    if (RecordNumber(rec) == number) return block + pos;
    pos += len + ((pos + len) & 1);
  }
  ZQL_RAISE(kZqlErrInternalZQLError);
}

const char* CZqlXmfUtil::XmsgIntr(int set, int number, int* length) {
  return ZqlEntry<const char*>(nullptr, [&]() -> const char* {
    const char* text = nullptr;
    const int ok = ZqlTry([&] {
      if (!file_.IsOpen() || !alive_ || set < 0 || set >= header_.values[kZqlXmfValueSets] ||
          number < 1 || number > sets_[set].count) {
        ZQL_RAISE(kZqlErrInvalidFunctionArguments);
      }
      const int g = header_.values[kZqlXmfValuePerBlock];
      const int64_t entry = static_cast<int64_t>(sets_[set].first) + (number + g - 1) / g - 1;
      if (entry >= header_.values[kZqlXmfValueEntries]) ZQL_RAISE(kZqlErrInternalZQLError);
      char* block = loadBlock(static_cast<int>(entry));
      if ((entries_[entry].flags & kZqlXmfFlagLocked) != 0) addLock(static_cast<int>(entry));
      auto* rec = reinterpret_cast<unsigned char*>(
          findRecord(block, entries_[entry].size, number));
      lastType_ = rec[2];
      if (length != nullptr) *length = TextLength(rec);
      Unscramble(rec);
      text = reinterpret_cast<const char*>(rec + kZqlXmfRecordHeader);
    });
    if (!ok) ZQL_RERAISE();
    return text;
  });
}

int CZqlXmfUtil::XmsgCharGet(int set, int number) {
  const char* text = XmsgIntr(set, number, nullptr);
  return text != nullptr ? static_cast<unsigned char>(text[0]) : -1;
}

int CZqlXmfUtil::Xmsg(int set, int number, CZqlUcStr* out) {
  return ZqlEntry<int>(0, [&]() -> int {
    return ZqlTry([&] {
      if (out == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
      int length = 0;
      const char* text = XmsgIntr(set, number, &length);
      if (lastType_ == kZqlXmfTypeUnits) {
        out->Copy(reinterpret_cast<const unsigned short*>(text), length);
        return;
      }
      const char* cp = header_.codePage[0] != '\0' ? header_.codePage : nullptr;
      if (length == 0)
        out->Clear();
      else
        out->Copy(text, length, cp);
    });
  });
}
