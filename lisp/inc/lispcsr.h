// lispcsr.h - a cursor as LISP sees it.
#ifndef ZQL_LISPCSR_H
#define ZQL_LISPCSR_H

#include <vector>

#include "lispsqlobj.h"
#include "zqlappl.h"

class CZqlLispIdent;
class CZqlLispStm;

// Cursor state bits of ZQL_STATECSR.
constexpr int kZqlLispCsrOpen = 2;
constexpr int kZqlLispCsrUpdatable = 4;
constexpr int kZqlLispCsrInsensitive = 8;
constexpr int kZqlLispCsrScrollable = 16;

// A CZqlCsr with a handle, owned by its statement's list.
class CZqlLispCsr : public CZqlLispStmObj, public CZqlCsr {
 public:
  explicit CZqlLispCsr(const char* name);
  ~CZqlLispCsr() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsCsr; }
  int init() { return CZqlLispSQLObj::init(); }

  CZqlStm* stm() const override { return const_cast<CZqlLispCsr*>(this); }

  // The state bits (open, updatable, scrollable when not updatable,
  // insensitive).
  int status();
  // Reads the options after the name from buf and allocates the cursor on
  // stm; 1 or 0 (conditions stored).
  int ZqlAllocate(CZqlLispStm* stm, const CZqlLispIdent& name,
                  CZqlLispBuf* buf);
  // Reads the direction (and position) from args, fetches and writes the
  // row to out as CZqlLispRow::writeBuf does; 1, or 0 past the last row or
  // on a failure (conditions stored).
  int ZqlFetch(CZqlLispBuf* args, CZqlLispBuf* out);
  // Writes the row the Fetch just delivered to out: the values as they
  // stand when none needs converting (getFetchedValues), else a converted
  // copy (getFetchedRow). 1, or 0 (conditions stored).
  int writeFetched(CZqlLispBuf* out);

  std::vector<const CZqlData*> asIs_;  // borrowed from the area; kept for its room
  // Reads the (column value) pairs at buf's position; a new CZqlRow owned
  // by the caller, or null.
  CZqlRow* readPairs(CZqlLispBuf* buf);
};

#endif  // ZQL_LISPCSR_H
