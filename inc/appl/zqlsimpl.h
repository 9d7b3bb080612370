// zqlsimpl.h - the implementation-defined value.
// Reached through zqlsdata.h (and zqlappl.h), whose opening comment says
// what "may raise" means for every value.

#ifndef ZQL_ZQLSIMPL_H
#define ZQL_ZQLSIMPL_H

#include "zqlsbase.h"

ZQL_PUBLIC_BEGIN

// ---------------------------------------------------------------------------
// Implementation-defined values
// ---------------------------------------------------------------------------

// The raw bytes of an implementation-defined value: a body shared between
// duplicates (reference count, byte count, bytes), made only for 1 to 4096
// bytes; any other count, or exhausted memory, leaves the object without
// body (size 0).
class CZqlImplDefFxd : public CZqlObject {
 public:
  // Copies length bytes of data (borrowed for the call). Never raises.
  CZqlImplDefFxd(const void* data, long length);
  CZqlImplDefFxd(const CZqlImplDefFxd&) = delete;
  CZqlImplDefFxd& operator=(const CZqlImplDefFxd&) = delete;
  // Releases this holder's share of the body.
  ~CZqlImplDefFxd() override;
  // A new holder sharing the body, owned by the caller. May raise 0xA008.
  CZqlImplDefFxd* duplicate() const override;

  // As CZqlData::read and size over the bytes. Never raise.
  long read(char* buffer, long start, long count) const;
  long size() const;
  const void* data() const;  // the bytes, null without body

 private:
  struct SBody;
  CZqlImplDefFxd() : body_(nullptr) {}
  SBody* body_;
};

// A value of a type only the driver knows: its type number, type name and
// raw bytes (in the attached CZqlImplDefFxd).
class CZqlImplDef : public CZqlData {
 public:
  CZqlImplDef();
  CZqlImplDef(const CZqlImplDef& other) = default;  // duplicates the bytes' holder
  CZqlImplDef& operator=(const CZqlImplDef&) = delete;
  ~CZqlImplDef() override;
  CZqlImplDef* duplicate() const override;  // may raise 0xA008

  int Type() const override { return kZqlTypeImplDef; }
  int ImplDataType() const override { return type_; }
  int is_implement() const override { return 1; }
  long read(char* buffer, long start, long count) const override;
  long size() const override;  // the byte count

  // Sets the implementation type number / the type name (may raise 0xA008).
  void setType(int type) { type_ = type; }
  void setName(const CZqlUcStr& name);
  const CZqlUcStr& Name() const { return name_; }
  // Replaces the raw bytes by a copy of data (1 to 4096 bytes) and makes
  // the value not null. Answers 1; 0 for another length; raises 0xA008
  // when memory is exhausted.
  int setBytes(const void* data, long length);

  int SQLType(CZqlUcStr* out) const override;     // "." and the type name
  int SQLLiteral(CZqlUcStr* out) const override;  // empty (1), or "null" (0)

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;

 private:
  const CZqlImplDefFxd* bytes() const;

  int32_t type_;
  CZqlUcStr name_;
};

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSIMPL_H
