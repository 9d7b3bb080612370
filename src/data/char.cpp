// char.cpp - CZqlChar, the SQL character string: the store rules with
// their warnings and exceptions, the padded logical value, the collation
// that the coercibility rules choose, comparisons, and the string operators
// (concatenation, SUBSTRING, UPPER, LOWER, TRIM, POSITION, LIKE).

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <typeinfo>

#include "objpack.h"
#include "ucdefs.h"
#include "zqlsdata.h"

namespace {

constexpr unsigned short kBlank = 0x20;
constexpr unsigned short kQuote = 0x27;
constexpr unsigned short kPercent = 0x25;
constexpr unsigned short kUnderscore = 0x5F;
// Longest text taken from a value of another type.
constexpr unsigned int kOtherTextSize = 256;
// Longest text read when a character value is asked for a number.
constexpr unsigned int kNumberTextSize = 32;
// Longest character-set or collation name looked up.
constexpr int kNameSize = 256;

enum ECompare { kGt, kGe, kEq, kLe, kLt, kNe };

// A default name and its units as the default set converts it, kept so
// that a name spelled exactly as the default (what every reply repeats) is
// known without the case-blind compare, which converts the text again.
struct SDefaultSpelling {
  static constexpr int kMax = 64;  // longer names are always compared
  char text[kMax];                 // "" while unused
  char set[kMax];                  // the default set that converted it
  unsigned short units[kMax];
  int length;
};
SDefaultSpelling gSpellings[2];  // the set's and the collation's, mostly
int gSpellingNext = 0;

const SDefaultSpelling* SpellingOf(const char* defaultName) {
  const char* set = ZqlUcDefaultCCT();
  for (const SDefaultSpelling& d : gSpellings)
    if (d.text[0] != '\0' && std::strcmp(d.text, defaultName) == 0 && std::strcmp(d.set, set) == 0)
      return &d;
  if (std::strlen(defaultName) >= SDefaultSpelling::kMax ||
      std::strlen(set) >= SDefaultSpelling::kMax)
    return nullptr;
  SDefaultSpelling& d = gSpellings[gSpellingNext];
  gSpellingNext ^= 1;
  d.text[0] = '\0';
  // A character at a time, as the case-blind compare converts it (no
  // escapes read, no marks composed).
  int n = 0;
  for (const char* p = defaultName; *p != '\0';) {
    if (n == SDefaultSpelling::kMax) return nullptr;
    d.units[n++] = ZqlUcCh2UcMoveCCT(&p, 0);
  }
  d.length = n;
  std::strcpy(d.set, set);
  std::strcpy(d.text, defaultName);
  return &d;
}

// An empty name stands for the default set or collation, as does its own
// name in any case.
bool IsDefault(const CZqlUcStr& name, const char* defaultName) {
  const int n = name.Length();
  if (n == 0) return true;
  const SDefaultSpelling* d = SpellingOf(defaultName);
  if (d && d->length == n &&
      std::memcmp(d->units, name.UcStr(), sizeof(unsigned short) * static_cast<unsigned>(n)) == 0)
    return true;
  return name.Compi(defaultName) == 0;
}

void Warn(EZqlError code) { ZqlPushError(code); }

int Holds(int op, int r) {
  switch (op) {
    case kGt: return r > 0;
    case kGe: return r >= 0;
    case kEq: return r == 0;
    case kLe: return r <= 0;
    case kLt: return r < 0;
    default: return r != 0;
  }
}

unsigned int Min(unsigned int a, unsigned int b) { return a < b ? a : b; }

unsigned int ClampLength(uint64_t length) {
  if (length < 1) return 1;
  return length > kZqlMaxCharLength ? kZqlMaxCharLength : static_cast<unsigned int>(length);
}

// A name as 8-bit text for the lookup functions.
void NameText(const CZqlUcStr& name, char (&out)[kNameSize]) {
  out[0] = '\0';
  name.getToChar(out, kNameSize);
}

// Switches the calling thread to the "C" locale for number formatting and
// back when it goes out of scope.
class CCLocaleScope {
 public:
  CCLocaleScope() : old_(static_cast<locale_t>(0)) {
    const locale_t c = ZqlUcCLocale();
    if (c != static_cast<locale_t>(0)) old_ = uselocale(c);
  }
  ~CCLocaleScope() {
    if (old_ != static_cast<locale_t>(0)) uselocale(old_);
  }
  CCLocaleScope(const CCLocaleScope&) = delete;
  CCLocaleScope& operator=(const CCLocaleScope&) = delete;

 private:
  locale_t old_;
};

// Which operand's collation a pairing takes.
enum class EPick { kThis, kOther, kConflict };

// The coercibility table: this value's coercibility against the other's;
// `same` tells whether both name the same collation.
EPick Pick(EZqlCAttr a, EZqlCAttr b, bool same) {
  switch (a) {
    case kZqlCoercible:
      return b == kZqlNoCollating ? EPick::kConflict : EPick::kOther;
    case kZqlImplicit:
      if (b == kZqlCoercible) return EPick::kThis;
      if (b == kZqlImplicit) return same ? EPick::kThis : EPick::kConflict;
      return b == kZqlExplicit ? EPick::kOther : EPick::kConflict;
    case kZqlNoCollating:
      return b == kZqlExplicit ? EPick::kOther : EPick::kConflict;
    default:  // explicit
      return b != kZqlExplicit || same ? EPick::kThis : EPick::kConflict;
  }
}

EZqlCAttr ValidCoerc(int32_t c) {
  return c >= kZqlCoercible && c <= kZqlExplicit ? static_cast<EZqlCAttr>(c) : kZqlCoercible;
}

}  // namespace

// The units of a logical value or of a text built from two of them: never
// more than twice the longest value plus two quotes, so a fixed array does.
class CZqlChar::CUnits {
 public:
  static constexpr unsigned int kCapacity = 2 * kZqlMaxCharLength + 2;

  CUnits() : n_(0) { u_[0] = 0; }
  // Appends n units (what exceeds the capacity is dropped).
  void add(const unsigned short* s, unsigned int n) {
    n = Min(n, kCapacity - n_);
    std::memcpy(u_ + n_, s, n * sizeof(unsigned short));
    n_ += n;
    u_[n_] = 0;
  }
  void fill(unsigned short u, unsigned int n) {
    n = Min(n, kCapacity - n_);
    for (unsigned int i = 0; i < n; ++i) u_[n_++] = u;
    u_[n_] = 0;
  }
  unsigned int size() const { return n_; }
  const unsigned short* data() const { return u_; }  // terminated
  unsigned short operator[](unsigned int i) const { return u_[i]; }

 private:
  unsigned short u_[kCapacity + 1];
  unsigned int n_;
};

// The collation an operator takes, with the coercibility of its result.
struct CZqlChar::SColl {
  unsigned long id;
  CZqlUcStr name;
  EZqlCAttr coerc;
};

// ---------------------------------------------------------------------------
// Construction and attributes
// ---------------------------------------------------------------------------

// The names of the default character set and collation are a courtesy
// copy: identifier 0 is what selects the defaults, and an empty name (the
// copy did not fit in memory) stands for the default wherever a name is
// read (packing, the collation pick), so the value is sound without it.
CZqlChar::CZqlChar(unsigned int length)
    : length_(ClampLength(length)),
      current_(length_),
      flags_(0),
      charSetId_(0),
      charSetName_(ZqlUcDefaultCCT()),
      collId_(0),
      collName_(ZqlUcDefaultCLT()),
      coerc_(kZqlCoercible) {}

CZqlChar::~CZqlChar() = default;

CZqlChar* CZqlChar::duplicate() const { return new CZqlChar(*this); }

int CZqlChar::setCharSet(const CZqlUcStr& name) {
  return ZqlEntry<int>(0, [&]() -> int {
    char text[kNameSize];
    NameText(name, text);
    const unsigned long id = ZqlUcGetIdCCT(text);
    charSetId_ = id;
    charSetName_ = ZqlUcGetNmCCT(id);
    coerc_ = kZqlImplicit;
    return 1;
  });
}

void CZqlChar::setDefCharSet() {
  charSetId_ = 0;
  charSetName_ = ZqlUcDefaultCCT();
  coerc_ = kZqlCoercible;
}

// The identifier is looked up with the name: comparisons use the
// identifier, which must never name another collation than the name does.
int CZqlChar::setCollName(const CZqlUcStr& name) {
  return ZqlEntry<int>(0, [&]() -> int {
    char text[kNameSize];
    NameText(name, text);
    const unsigned long id = ZqlUcGetIdCLT(text);
    collId_ = id;
    collName_ = ZqlUcGetNmCLT(id);
    return 1;
  });
}

int CZqlChar::setCollIdent(unsigned long id) {
  const CZqlUcStr name(ZqlUcGetNmCLT(id));  // a stale identifier raises
  if (id != 0 && name.Length() == 0) return 0;
  collId_ = id;
  collName_ = name;
  coerc_ = kZqlExplicit;
  return 1;
}

void CZqlChar::setCoerc(EZqlCAttr coerc) { coerc_ = ValidCoerc(coerc); }

unsigned int CZqlChar::ReturnLength() const { return is_varying() ? current_ : length_; }

unsigned int CZqlChar::ByteSize() const {
  const int bytes = text_.Chlen(charSetId_);
  return static_cast<unsigned int>(bytes) + 2 * (padLength() - text_.Length());
}

// REQUIRES (held by every store): text length <= current <= declared.
void CZqlChar::padded(CUnits* out) const {
  const unsigned int n = static_cast<unsigned int>(text_.Length());
  out->add(text_.UcStr(), n);
  if (padLength() > n) out->fill(kBlank, padLength() - n);
}

// ---------------------------------------------------------------------------
// Collations
// ---------------------------------------------------------------------------

// Conflicts of dyadic operators give "no collating sequence" with the
// default collation, except two different explicit collations. Collations
// are told apart by name: a name that could not be looked up here keeps
// identifier 0 and must still differ from the default.
int CZqlChar::pickColl(const CZqlChar& other, bool dyadic, SColl* out) const {
  const bool same = collName_.Compi(other.collName_) == 0 ||
                    (IsDefault(collName_, ZqlUcDefaultCLT()) &&
                     IsDefault(other.collName_, ZqlUcDefaultCLT()));
  switch (Pick(coerc_, other.coerc_, same)) {
    case EPick::kThis:
      *out = SColl{collId_, collName_, coerc_};
      return 1;
    case EPick::kOther:
      *out = SColl{other.collId_, other.collName_, other.coerc_};
      return 1;
    case EPick::kConflict:
      break;
  }
  if (!dyadic || (coerc_ == kZqlExplicit && other.coerc_ == kZqlExplicit)) return 0;
  *out = SColl{0, CZqlUcStr(ZqlUcDefaultCLT()), kZqlNoCollating};
  return 1;
}

void CZqlChar::takeColl(const SColl& c) {
  collId_ = c.id;
  collName_ = c.name;
  coerc_ = c.coerc;
}

int CZqlChar::isCompColSet(const CZqlChar& other) const {
  return ZqlEntry<int>(0, [&]() -> int {
    SColl c;
    if (!pickColl(other, false, &c)) ZQL_PUSH_RAISE(kZqlErrNotPermittedCollatingSequence);
    return 1;
  });
}

unsigned long CZqlChar::CompColSet(const CZqlChar& other) const {
  return ZqlEntry<unsigned long>(0, [&]() -> unsigned long {
    SColl c;
    if (!pickColl(other, false, &c)) ZQL_PUSH_RAISE(kZqlErrNotPermittedCollatingSequence);
    return c.id;
  });
}

int CZqlChar::isDyadicOpColSet(const CZqlChar& other) const {
  return ZqlEntry<int>(0, [&]() -> int {
    SColl c;
    if (!pickColl(other, true, &c)) ZQL_PUSH_RAISE(kZqlErrNotPermittedCollatingSequence);
    return 1;
  });
}

unsigned long CZqlChar::DyadicOpColSet(const CZqlChar& other, EZqlCAttr* coerc) const {
  return ZqlEntry<unsigned long>(0, [&]() -> unsigned long {
    SColl c;
    if (!pickColl(other, true, &c)) ZQL_PUSH_RAISE(kZqlErrNotPermittedCollatingSequence);
    if (coerc != nullptr) *coerc = c.coerc;
    return c.id;
  });
}

// ---------------------------------------------------------------------------
// Compatibility
// ---------------------------------------------------------------------------

int CZqlChar::is_comparable(const CZqlData* other) const {
  const CZqlChar* c = dynamic_cast<const CZqlChar*>(other);
  SColl coll;
  return c != nullptr && pickColl(*c, false, &coll);
}

int CZqlChar::is_storable(const CZqlData* other) const {
  const CZqlChar* c = dynamic_cast<const CZqlChar*>(other);
  SColl coll;
  return c != nullptr && pickColl(*c, true, &coll);
}

int CZqlChar::is_castable(const CZqlData* other) const { return other != nullptr; }

CZqlData* CZqlChar::checkCat(const CZqlData* other) const {
  const CZqlChar* c = dynamic_cast<const CZqlChar*>(other);
  SColl coll;
  if (c == nullptr || !pickColl(*c, true, &coll)) return nullptr;
  CZqlChar* r = new (std::nothrow) CZqlChar(ClampLength(uint64_t{length_} + c->length_));
  if (r == nullptr) return nullptr;
  r->flags_ = static_cast<uint16_t>(((flags_ | c->flags_) & kVarying) | (flags_ & kNational));
  r->charSetId_ = charSetId_;
  r->charSetName_ = charSetName_;
  r->takeColl(coll);
  return r;
}

// ---------------------------------------------------------------------------
// Storing
// ---------------------------------------------------------------------------

// Trailing blanks are not kept: the padding rebuilds them. The new text is
// built aside, so a failed allocation leaves the value as it was.
int CZqlChar::setText(const unsigned short* units, unsigned int n, unsigned int current) {
  return ZqlEntry<int>(0, [&]() -> int {
    while (n > 0 && units[n - 1] == kBlank) --n;
    // A value stored row after row keeps its body: nothing to allocate.
    if (n > 0 && text_.Overwrite(units, static_cast<int>(n))) {
      current_ = current;
      null_ = 0;
      return 1;
    }
    CZqlUcStr text;
    if (n > 0) text.Copy(units, static_cast<int>(n));
    text_ = text;
    current_ = current;
    null_ = 0;
    return 1;
  });
}

int CZqlChar::setText(const CZqlUcStr& from, unsigned int n, unsigned int current) {
  if (n != static_cast<unsigned int>(from.Length()) || (n > 0 && from.UcStr()[n - 1] == kBlank))
    return setText(from.UcStr(), n, current);
  text_ = from;  // shares the body: no copy, nothing that can fail
  current_ = current;
  null_ = 0;
  return 1;
}

int CZqlChar::storeUnits(const unsigned short* units, unsigned int n) {
  if (n > length_) {
    Warn(kZqlErrStringDataRightTruncation0104);
    n = length_;
  }
  return setText(units, n, n);
}

int CZqlChar::storeValue(const char* text, unsigned int size, unsigned long charset) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    const size_t bytes = strnlen(text, size);
    CZqlUcStr units;
    if (bytes > 0) units.Copy(text, bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes), charset);
    return storeUnits(units.UcStr(), static_cast<unsigned int>(units.Length()));
  });
}

int CZqlChar::storeValue(const char* text, unsigned int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    return storeValue(text, size, charSetId_);
  });
}

int CZqlChar::storeValue(const char* text, unsigned int size, unsigned int* used) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (used != nullptr) *used = 0;
    const int ok = storeValue(text, size, charSetId_);
    if (ok && used != nullptr) *used = static_cast<unsigned int>(strnlen(text, size));
    return ok;
  });
}

int CZqlChar::storeValue(const unsigned short* text) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr) return 0;
    const auto n = static_cast<unsigned int>(ZqlUcStrlen(text));
    return n <= length_ ? setText(text, n, n) : storeUnits(text, n);
  });
}

int CZqlChar::storeValue(const CZqlUcStr& text) {
  return ZqlEntry<int>(0, [&]() -> int {
    const auto n = static_cast<unsigned int>(text.Length());
    // A text that fits is shared, not copied.
    if (n <= length_) return setText(text, n, n);
    return storeUnits(text.UcStr(), n);
  });
}

// A value of another type must keep every character of its text: a cut
// number would read as another number.
int CZqlChar::storeOtherText(const char* text) {
  return ZqlEntry<int>(0, [&]() -> int {
    size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ') --n;
    CZqlUcStr units;
    if (n > 0) units.Copy(text, static_cast<int>(n), 0UL);
    const unsigned int count = static_cast<unsigned int>(units.Length());
    if (count > length_) ZQL_PUSH_RAISE(kZqlErrStringDataRightTruncation2201);
    return setText(units.UcStr(), count, count);
  });
}

int CZqlChar::storeValue(double value) {
  return ZqlEntry<int>(0, [&]() -> int {
    char text[64];
    {
      CCLocaleScope c;
      std::snprintf(text, sizeof text, "%E", value);
    }
    return storeOtherText(text);
  });
}

int CZqlChar::storeValue(long value) {
  return ZqlEntry<int>(0, [&]() -> int {
    char text[32];
    std::snprintf(text, sizeof text, "%ld", value);
    return storeOtherText(text);
  });
}

int CZqlChar::storeValue(short value) {
  return ZqlEntry<int>(0, [&]() -> int {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return storeOtherText(text);
  });
}

// A bit string gives one character per 16 bits, high byte first; the last
// character is filled with zero bits.
int CZqlChar::storeBits(const CZqlData& source) {
  return ZqlEntry<int>(0, [&]() -> int {
    const CZqlBinary* b = dynamic_cast<const CZqlBinary*>(&source);
    if (b == nullptr) ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
    const unsigned int bytes = (b->BitCount() + 7) / 8;
    unsigned int chars = (b->BitCount() + 15) / 16;
    unsigned short units[kZqlMaxBitLength / 16 + 1];
    for (unsigned int i = 0; i < chars; ++i) {
      const unsigned int hi = b->Bits()[2 * i];
      const unsigned int lo = 2 * i + 1 < bytes ? b->Bits()[2 * i + 1] : 0;
      units[i] = static_cast<unsigned short>(hi << 8 | lo);
      // A zero unit would end the text and lose what follows it.
      if (units[i] == 0) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    }
    if (chars > length_) {
      Warn(kZqlErrStringDataRightTruncation0104);
      chars = length_;
    } else if (chars < length_) {
      Warn(kZqlErrImplicitZeroBitPadding);
    }
    return setText(units, chars, chars);
  });
}

int CZqlChar::storeValue(const CZqlData& other) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (&other == this) return 1;
    if (other.isNull()) {
      setNull();
      return 1;
    }
    // A value of this very class (a fetched row's copy) needs no search of
    // the class tree.
    const CZqlChar* c = typeid(other) == typeid(*this) ? static_cast<const CZqlChar*>(&other)
                                                       : dynamic_cast<const CZqlChar*>(&other);
    if (c != nullptr) {
      SColl coll;
      if (!pickColl(*c, true, &coll)) ZQL_PUSH_RAISE(kZqlErrNotPermittedCollatingSequence);
      unsigned int current = c->ReturnLength();
      if (current > length_) {
        Warn(kZqlErrStringDataRightTruncation0104);
        current = length_;
      }
      const unsigned int n = Min(static_cast<unsigned int>(c->text_.Length()), current);
      if (!setText(c->text_, n, current)) return 0;
      takeColl(coll);
      return 1;
    }
    if (other.is_binary()) return storeBits(other);
    char text[kOtherTextSize];
    if (!other.getValue(text, sizeof text)) {
      ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
    }
    return storeOtherText(text);
  });
}

CZqlChar& CZqlChar::operator=(const CZqlChar& other) {
  storeValue(static_cast<const CZqlData&>(other));
  return *this;
}

CZqlChar& CZqlChar::operator=(const CZqlUcStr& text) {
  storeValue(text);
  return *this;
}

// ---------------------------------------------------------------------------
// Giving the value back
// ---------------------------------------------------------------------------

int CZqlChar::getValue(char* text, unsigned int size, unsigned int* used) const {
  if (used != nullptr) *used = 0;
  if (text == nullptr || size == 0) return 0;
  text[0] = '\0';
  if (isNull()) return 0;
  const int room = size - 1 > INT_MAX ? INT_MAX : static_cast<int>(size - 1);
  const int written = ZqlUcUc2ChCCT(text, room, text_.UcStr(), -1, charSetId_);
  const int needed = ZqlUcUc2ChLenCCT(text_.UcStr(), -1, charSetId_);
  const unsigned int pad = padLength() - static_cast<unsigned int>(text_.Length());
  const unsigned int fit = Min(pad, static_cast<unsigned int>(room - written));
  std::memset(text + written, ' ', fit);
  text[written + fit] = '\0';
  if (written < needed || fit < pad) Warn(kZqlErrStringDataRightTruncation0104);
  if (used != nullptr) *used = static_cast<unsigned int>(written) + fit;
  return 1;
}

int CZqlChar::getValue(char* text, unsigned int size) const {
  return getValue(text, size, nullptr);
}

int CZqlChar::getValue(CZqlUcStr* text) const {
  if (text == nullptr) return 0;
  if (isNull()) {
    text->Clear();
    return 0;
  }
  // Without padding the value is the text itself, shared.
  if (padLength() <= static_cast<unsigned int>(text_.Length())) {
    *text = text_;
    return 1;
  }
  CUnits u;
  padded(&u);
  text->Copy(u.data(), static_cast<int>(u.size()));
  return 1;
}

namespace {

// The leading integer of text, or 0 when there is none; a number outside
// lo..hi raises "numeric value out of range".
int ReadInteger(const char* text, long lo, long hi, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text) return 0;
  if (errno == ERANGE || v < lo || v > hi) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
  *out = v;
  return 1;
}

}  // namespace

int CZqlChar::getValue(double* value) const {
  if (value == nullptr || isNull()) return 0;
  char text[kNumberTextSize];
  text_.getToChar(text, sizeof text);
  const locale_t c = ZqlUcCLocale();
  if (c == static_cast<locale_t>(0)) return 0;
  char* end = nullptr;
  const double v = strtod_l(text, &end, c);
  if (end == text) return 0;
  *value = v;
  return 1;
}

int CZqlChar::getValue(long* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value == nullptr || isNull()) return 0;
    char text[kNumberTextSize];
    text_.getToChar(text, sizeof text);
    return ReadInteger(text, INT32_MIN, INT32_MAX, value);
  });
}

int CZqlChar::getValue(short* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value == nullptr || isNull()) return 0;
    char text[kNumberTextSize];
    text_.getToChar(text, sizeof text);
    long v = 0;
    if (!ReadInteger(text, INT16_MIN, INT16_MAX, &v)) return 0;
    *value = static_cast<short>(v);
    return 1;
  });
}

int CZqlChar::getValue(CZqlData& target) const {
  if (&target == this) return 1;
  if (isNull()) {
    target.setNull();
    return 0;
  }
  return target.storeValue(*this);
}

long CZqlChar::read(char* buffer, long start, long count) const {
  if (isNull()) return 0;
  CUnits u;
  padded(&u);
  const long bytes = static_cast<long>((u.size() + 1) * sizeof(unsigned short));
  return ReadRaw(u.data(), bytes, buffer, start, count);
}

long CZqlChar::size() const {
  return isNull() ? 0 : static_cast<long>(padLength() * sizeof(unsigned short));
}

int CZqlChar::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy(is_national() ? "NATIONAL CHARACTER" : "CHARACTER");
  if (is_varying()) out->Append(" VARYING");
  if (length_ != 1) {
    char n[16];
    std::snprintf(n, sizeof n, "(%u)", length_);
    out->Append(n);
  }
  if (!IsDefault(charSetName_, ZqlUcDefaultCCT())) {
    out->Append(" CHARACTER SET ");
    out->Append(charSetName_);
  }
  return 1;
}

// A varying value keeps its trailing blanks in the literal: they belong to
// its value. A fixed value gets them back from its length.
int CZqlChar::SQLLiteral(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  if (isNull()) {
    out->Copy("null");
    return 0;
  }
  CUnits value;
  if (is_varying()) {
    padded(&value);
  } else {
    value.add(text_.UcStr(), static_cast<unsigned int>(text_.Length()));
  }
  CUnits literal;
  literal.fill(kQuote, 1);
  for (unsigned int i = 0; i < value.size(); ++i) {
    literal.fill(value[i], value[i] == kQuote ? 2 : 1);
  }
  literal.fill(kQuote, 1);
  out->Copy(literal.data(), static_cast<int>(literal.size()));
  return 1;
}

// ---------------------------------------------------------------------------
// Comparison
// ---------------------------------------------------------------------------

int CZqlChar::compare(int op, const CZqlChar& b) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (isNull() || b.isNull()) return 0;
    SColl c;
    if (!pickColl(b, false, &c)) ZQL_PUSH_RAISE(kZqlErrNotPermittedCollatingSequence);
    return Holds(op, ZqlUcCiStrcmpB(c.id, text_.UcStr(), b.text_.UcStr()));
  });
}

int CZqlChar::compareText(int op, const CZqlUcStr& b) const {
  if (isNull()) return 0;
  return Holds(op, ZqlUcCiStrcmp(collId_, text_.UcStr(), b.UcStr()));
}

int CZqlChar::operator==(const CZqlChar& b) const { return compare(kEq, b); }
int CZqlChar::operator!=(const CZqlChar& b) const { return compare(kNe, b); }
int CZqlChar::operator<(const CZqlChar& b) const { return compare(kLt, b); }
int CZqlChar::operator<=(const CZqlChar& b) const { return compare(kLe, b); }
int CZqlChar::operator>(const CZqlChar& b) const { return compare(kGt, b); }
int CZqlChar::operator>=(const CZqlChar& b) const { return compare(kGe, b); }
int CZqlChar::operator==(const CZqlUcStr& b) const { return compareText(kEq, b); }
int CZqlChar::operator!=(const CZqlUcStr& b) const { return compareText(kNe, b); }
int CZqlChar::operator<(const CZqlUcStr& b) const { return compareText(kLt, b); }
int CZqlChar::operator<=(const CZqlUcStr& b) const { return compareText(kLe, b); }
int CZqlChar::operator>(const CZqlUcStr& b) const { return compareText(kGt, b); }
int CZqlChar::operator>=(const CZqlUcStr& b) const { return compareText(kGe, b); }

// The string on the left: a op b holds when b (mirrored op) a does.
int operator==(const CZqlUcStr& a, const CZqlChar& b) { return b.compareText(kEq, a); }
int operator!=(const CZqlUcStr& a, const CZqlChar& b) { return b.compareText(kNe, a); }
int operator<(const CZqlUcStr& a, const CZqlChar& b) { return b.compareText(kGt, a); }
int operator<=(const CZqlUcStr& a, const CZqlChar& b) { return b.compareText(kGe, a); }
int operator>(const CZqlUcStr& a, const CZqlChar& b) { return b.compareText(kLt, a); }
int operator>=(const CZqlUcStr& a, const CZqlChar& b) { return b.compareText(kLe, a); }

// ---------------------------------------------------------------------------
// String operators
// ---------------------------------------------------------------------------

// A null varying value with this value's declared length, character set,
// collation and coercibility: the shape of every derived string.
CZqlChar CZqlChar::derived() const {
  CZqlChar r(length_);
  r.flags_ = static_cast<uint16_t>(flags_ | kVarying);
  r.charSetId_ = charSetId_;
  r.charSetName_ = charSetName_;
  r.collId_ = collId_;
  r.collName_ = collName_;
  r.coerc_ = coerc_;
  return r;
}

CZqlChar CZqlChar::operator+(const CZqlChar& other) const {
  return ZqlEntry<CZqlChar>(derived(), [&]() -> CZqlChar {
    SColl coll;
    if (!pickColl(other, true, &coll)) ZQL_PUSH_RAISE(kZqlErrNotPermittedCollatingSequence);
    CZqlChar r(ClampLength(uint64_t{length_} + other.ReturnLength()));
    r.flags_ = static_cast<uint16_t>(((flags_ | other.flags_) & kVarying) | (flags_ & kNational));
    r.charSetId_ = charSetId_;
    r.charSetName_ = charSetName_;
    r.takeColl(coll);
    if (isNull() || other.isNull()) return r;
    CUnits u;
    padded(&u);
    other.padded(&u);
    unsigned int n = u.size();
    if (n > kZqlMaxCharLength) {
      Warn(kZqlErrStringDataRightTruncation0104);
      n = kZqlMaxCharLength;
    }
    r.setText(u.data(), n, n);
    return r;
  });
}

// The string acts as a fixed literal of its own length under this value's
// collation.
CZqlChar CZqlChar::operator+(const CZqlUcStr& text) const {
  CZqlChar r = derived();
  r.flags_ = flags_;
  r.length_ = ClampLength(uint64_t{length_} + static_cast<unsigned int>(text.Length()));
  r.current_ = r.length_;
  if (isNull()) return r;
  CUnits u;
  padded(&u);
  u.add(text.UcStr(), static_cast<unsigned int>(text.Length()));
  unsigned int n = static_cast<unsigned int>(u.size());
  // Counted from the string itself: the buffer stops at its capacity.
  if (padLength() + static_cast<uint64_t>(text.Length()) > kZqlMaxCharLength) {
    Warn(kZqlErrStringDataRightTruncation0104);
    n = Min(n, kZqlMaxCharLength);
  }
  r.setText(u.data(), n, n);
  return r;
}

// Positions start .. start + count - 1 of the logical value (from 1);
// a start of 0 or a count beyond the end take what the range covers.
CZqlChar CZqlChar::Substring(unsigned int start, unsigned int count) const {
  CZqlChar r = derived();
  if (isNull()) return r;
  const uint64_t end = static_cast<uint64_t>(padLength()) + 1;
  const uint64_t lo = start < 1 ? 1 : start;
  const uint64_t hi = uint64_t{start} + count < end ? uint64_t{start} + count : end;
  CUnits u;
  padded(&u);
  if (hi <= lo) {
    r.setText(u.data(), 0, 0);
  } else {
    const unsigned int n = static_cast<unsigned int>(hi - lo);
    r.setText(u.data() + (lo - 1), n, n);
  }
  return r;
}

CZqlChar CZqlChar::Substring(unsigned int start) const { return Substring(start, UINT_MAX); }

CZqlChar CZqlChar::Upper() const {
  CZqlChar r(*this);
  r.text_.toUpper();
  return r;
}

CZqlChar CZqlChar::Lower() const {
  CZqlChar r(*this);
  r.text_.toLower();
  return r;
}

CZqlChar CZqlChar::Trim(EZqlTrimSpec side, const CZqlChar& trim) const {
  CZqlChar r = derived();
  if (isNull() || trim.isNull()) return r;
  ZqlEntryVoid([&] {
    if (trim.ReturnLength() != 1) ZQL_PUSH_RAISE(kZqlErrTrimError);
    CUnits t;
    trim.padded(&t);
    CUnits u;
    padded(&u);
    unsigned int b = 0;
    unsigned int e = u.size();
    if (side != kZqlTrimTrailing) {
      while (b < e && u[b] == t[0]) ++b;
    }
    if (side != kZqlTrimLeading) {
      while (e > b && u[e - 1] == t[0]) --e;
    }
    r.setText(u.data() + b, e - b, e - b);
  });
  return r;
}

CZqlNumeric CZqlChar::Position(const CZqlChar& search) const {
  CZqlNumeric r(4);
  if (isNull() || search.isNull()) return r;
  if (search.ReturnLength() == 0 || search.text_.Length() == 0) {
    r.storeValue(1L);
    return r;
  }
  CUnits u;
  padded(&u);
  const unsigned short* at = ZqlUcStrstr(u.data(), search.text_.UcStr());
  r.storeValue(at != nullptr ? static_cast<long>(at - u.data() + 1) : 0L);
  return r;
}

// ---------------------------------------------------------------------------
// LIKE
// ---------------------------------------------------------------------------

namespace {

// One element of a compiled pattern.
struct SLikeToken {
  enum EKind : unsigned char { kUnit, kOne, kAny } kind;
  unsigned short unit;  // for kUnit
};

// Compiles pattern units into tokens (runs of % collapse into one); with an
// escape unit, the escape makes the next %, _ or escape a plain unit.
// Answers the token count, or -1 after raising "invalid escape sequence".
int Compile(const unsigned short* p, unsigned int n, const unsigned short* escape,
            SLikeToken* out) {
  int m = 0;
  for (unsigned int i = 0; i < n; ++i) {
    const unsigned short u = p[i];
    if (escape != nullptr && u == *escape) {
      const unsigned short next = i + 1 < n ? p[i + 1] : 0;
      if (next != kPercent && next != kUnderscore && next != *escape) {
        ZQL_PUSH_RAISE(kZqlErrInvalidEscapeSequence);
      }
      out[m++] = SLikeToken{SLikeToken::kUnit, next};
      ++i;
    } else if (u == kPercent) {
      if (m == 0 || out[m - 1].kind != SLikeToken::kAny) out[m++] = SLikeToken{SLikeToken::kAny, 0};
    } else if (u == kUnderscore) {
      out[m++] = SLikeToken{SLikeToken::kOne, 0};
    } else {
      out[m++] = SLikeToken{SLikeToken::kUnit, u};
    }
  }
  return m;
}

// Matches the text against the tokens. On a mismatch the last % seen takes
// one more unit and matching resumes after it: a later % can only need
// what an earlier one would give up, so no further backtracking is needed
// and the work stays within text length times pattern length.
bool Matches(const unsigned short* s, unsigned int n, const SLikeToken* p, int m) {
  unsigned int i = 0;
  int k = 0;
  int star = -1;
  unsigned int starAt = 0;
  while (i < n) {
    if (k < m && (p[k].kind == SLikeToken::kOne ||
                  (p[k].kind == SLikeToken::kUnit && p[k].unit == s[i]))) {
      ++i;
      ++k;
    } else if (k < m && p[k].kind == SLikeToken::kAny) {
      star = k++;
      starAt = i;
    } else if (star >= 0) {
      k = star + 1;
      i = ++starAt;
    } else {
      return false;
    }
  }
  while (k < m && p[k].kind == SLikeToken::kAny) ++k;
  return k == m;
}

}  // namespace

int CZqlChar::match(const CZqlChar& pattern, const CZqlChar* escape) const {
  unsigned short esc = 0;
  if (escape != nullptr) {
    CUnits e;
    escape->padded(&e);
    esc = e[0];
  }
  CUnits p;
  pattern.padded(&p);
  SLikeToken tokens[kZqlMaxCharLength + 1];
  const int m = Compile(p.data(), p.size(), escape != nullptr ? &esc : nullptr, tokens);
  if (m < 0) return 0;
  CUnits s;
  padded(&s);
  return Matches(s.data(), s.size(), tokens, m) ? 1 : 0;
}

int CZqlChar::Like(const CZqlChar& pattern, const CZqlChar& escape) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (isNull() || pattern.isNull() || escape.isNull()) return -1;
    if (escape.Length() != 1 || escape.ReturnLength() != 1) {
      ZQL_PUSH_RAISE(kZqlErrInvalidEscapeCharacter);
    }
    return match(pattern, &escape);
  });
}

int CZqlChar::Like(const CZqlChar& pattern) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (isNull() || pattern.isNull()) return -1;
    return match(pattern, nullptr);
  });
}

// ---------------------------------------------------------------------------
// Packing
// ---------------------------------------------------------------------------

// The coercibility is always written: a value that is not coercible must
// not come back coercible.
void CZqlChar::packItems(CZqlObjPack* pack) const {
  if (!isNull()) pack->add(0, text_);
  if (flags_ != 0) pack->add(1, static_cast<int16_t>(flags_));
  if (length_ != 1) pack->add(2, static_cast<int32_t>(length_));
  pack->add(3, static_cast<int32_t>(coerc_));
  if (current_ != 1) pack->add(4, static_cast<int32_t>(current_));
  if (!IsDefault(charSetName_, ZqlUcDefaultCCT())) {
    pack->add(5, charSetName_);
  }
  if (!IsDefault(collName_, ZqlUcDefaultCLT())) {
    pack->add(6, collName_);
  }
}

void CZqlChar::unpackItem(CZqlObjPack* pack, int label) {
  int16_t flags = 0;
  int32_t v = 0;
  switch (label) {
    case 0:
      pack->getPackedValue(&text_);
      null_ = 0;
      break;
    case 1:
      if (ReadItem(pack, &flags)) flags_ = static_cast<uint16_t>(flags & (kVarying | kNational));
      break;
    case 2:
      if (ReadItem(pack, &v)) length_ = ClampLength(v < 0 ? 0 : static_cast<uint64_t>(v));
      break;
    case 3:
      if (ReadItem(pack, &v)) coerc_ = ValidCoerc(v);
      break;
    case 4:
      if (ReadItem(pack, &v)) current_ = v < 0 ? 0 : static_cast<uint32_t>(v);
      break;
    case 5:
      pack->getPackedValue(&charSetName_);
      break;
    case 6:
      pack->getPackedValue(&collName_);
      break;
    default:
      break;
  }
}

// Names from another process may be unknown here; such a name keeps the
// identifier the value had. Default names stand for identifier 0.
void CZqlChar::lookUpNames() {
  char name[kNameSize];
  if (IsDefault(charSetName_, ZqlUcDefaultCCT())) {
    charSetId_ = 0;
  } else {
    NameText(charSetName_, name);
    unsigned long id = 0;
    if (ZqlTry([&] { id = ZqlUcGetIdCCT(name); }) && id != 0) charSetId_ = id;
  }
  if (IsDefault(collName_, ZqlUcDefaultCLT())) {
    collId_ = 0;
  } else {
    NameText(collName_, name);
    unsigned long id = 0;
    if (ZqlTry([&] { id = ZqlUcGetIdCLT(name); }) && id != 0) collId_ = id;
  }
}

// A damaged or foreign form must still leave a sound value: the text no
// longer than the declared length, the current length between the two.
int CZqlChar::unpackFrom(CZqlObjPack* pack) {
  // The packed form leaves out a current length of 1: a value unpacked
  // over a longer one must not keep the old length.
  current_ = 1;
  // Every row brings the names again: their ids are looked up only when
  // a name changed (shared bodies: a change makes a new one).
  const CZqlUcStr charSet = charSetName_, coll = collName_;
  const int ok = CZqlData::unpackFrom(pack);
  unsigned int n = Min(static_cast<unsigned int>(text_.Length()), length_);
  if (current_ > length_) current_ = length_;
  if (current_ < n) current_ = n;
  while (n > 0 && text_[static_cast<int>(n) - 1] == kBlank) --n;
  if (n < static_cast<unsigned int>(text_.Length())) {
    CZqlUcStr cut;
    if (n > 0) cut.Copy(text_, static_cast<int>(n));
    text_ = cut;
  }
  if (charSetName_.UcStr() != charSet.UcStr() || collName_.UcStr() != coll.UcStr()) lookUpNames();
  return ok;
}
