// impldef.cpp - CZqlImplDef, a value of a type only the driver knows, and
// CZqlImplDefFxd, the shared holder of its raw bytes.

#include <cstddef>
#include <cstring>
#include <new>

#include "objpack.h"
#include "zqlsdata.h"

// Largest raw value held; the packed form would not carry much more.
static constexpr long kMaxBytes = 4096;
// Type numbers from 4000 on belong to values whose bytes stay with the
// driver.
static constexpr int32_t kFirstRemoteType = 4000;

// ---------------------------------------------------------------------------
// CZqlImplDefFxd
// ---------------------------------------------------------------------------

struct CZqlImplDefFxd::SBody {
  long refs;
  long count;
  unsigned char bytes[1];  // count bytes
};

CZqlImplDefFxd::CZqlImplDefFxd(const void* data, long length) : body_(nullptr) {
  if (data == nullptr || length < 1 || length > kMaxBytes) return;
  const size_t need = offsetof(SBody, bytes) + static_cast<size_t>(length);
  void* raw = ZqlMemoryNblkMalloc(need);
  if (raw == nullptr) return;
  body_ = static_cast<SBody*>(raw);
  body_->refs = 1;
  body_->count = length;
  std::memcpy(body_->bytes, data, static_cast<size_t>(length));
}

CZqlImplDefFxd::~CZqlImplDefFxd() {
  if (body_ != nullptr && --body_->refs == 0) ZqlMemoryFree(body_);
}

CZqlImplDefFxd* CZqlImplDefFxd::duplicate() const {
  CZqlImplDefFxd* copy = new CZqlImplDefFxd();
  copy->body_ = body_;
  if (body_ != nullptr) ++body_->refs;
  return copy;
}

long CZqlImplDefFxd::read(char* buffer, long start, long count) const {
  if (body_ == nullptr || buffer == nullptr || count < 1 || start < 0 || start >= body_->count) {
    return 0;
  }
  const long n = count < body_->count - start ? count : body_->count - start;
  std::memcpy(buffer, body_->bytes + start, static_cast<size_t>(n));
  return n;
}

long CZqlImplDefFxd::size() const { return body_ != nullptr ? body_->count : 0; }

const void* CZqlImplDefFxd::data() const { return body_ != nullptr ? body_->bytes : nullptr; }

// ---------------------------------------------------------------------------
// CZqlImplDef
// ---------------------------------------------------------------------------

CZqlImplDef::CZqlImplDef() : type_(0) {}

CZqlImplDef::~CZqlImplDef() = default;

CZqlImplDef* CZqlImplDef::duplicate() const { return new CZqlImplDef(*this); }

const CZqlImplDefFxd* CZqlImplDef::bytes() const {
  return static_cast<const CZqlImplDefFxd*>(attached_);
}

long CZqlImplDef::read(char* buffer, long start, long count) const {
  return bytes() != nullptr ? bytes()->read(buffer, start, count) : 0;
}

long CZqlImplDef::size() const { return bytes() != nullptr ? bytes()->size() : 0; }

void CZqlImplDef::setName(const CZqlUcStr& name) { name_.Copy(name); }

int CZqlImplDef::setBytes(const void* data, long length) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (data == nullptr || length < 1 || length > kMaxBytes) return 0;
    CZqlImplDefFxd* holder = new CZqlImplDefFxd(data, length);
    if (holder->size() != length) {
      delete holder;
      ZQL_PUSH_RAISE(kZqlErrInsufficientMemory);
    }
    Clear();
    attached_ = holder;
    null_ = 0;
    return 1;
  });
}

int CZqlImplDef::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy(".");
  out->Append(name_);
  return 1;
}

int CZqlImplDef::SQLLiteral(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  if (isNull()) {
    out->Copy("null");
    return 0;
  }
  out->Clear();
  return 1;
}

void CZqlImplDef::packItems(CZqlObjPack* pack) const {
  if (!isNull()) pack->add(0, static_cast<int32_t>(0));
  pack->add(1, type_);
  if (name_.Length() > 0) pack->add(2, name_);
  if (!isNull() && type_ >= 0 && type_ < kFirstRemoteType && size() > 0) {
    pack->add(3, bytes()->data(), static_cast<int>(size()));
  }
}

// Raw bytes that cannot be held leave the value without bytes; reading the
// rest goes on.
void CZqlImplDef::unpackItem(CZqlObjPack* pack, int label) {
  switch (label) {
    case 0:
      null_ = 0;
      break;
    case 1:
      ReadItem(pack, &type_);
      break;
    case 2:
      pack->getPackedValue(&name_);
      break;
    case 3: {
      Clear();
      CZqlImplDefFxd* holder =
          new (std::nothrow) CZqlImplDefFxd(pack->getPtr(), static_cast<long>(pack->getSize()));
      if (holder != nullptr && holder->size() == 0) {
        delete holder;
        holder = nullptr;
      }
      attached_ = holder;
      break;
    }
    default:
      break;
  }
}
