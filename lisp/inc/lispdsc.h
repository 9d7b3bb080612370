// lispdsc.h - the handle table: which binding object each live handle names.
#ifndef ZQL_LISPDSC_H
#define ZQL_LISPDSC_H

#include "lisphandle.h"
#include "lisppack.h"

// One entry of the handle table.
struct SZqlLispDscEntry {
  double handle;         // the handle's value
  CZqlLispSQLObj* obj;   // borrowed: the table never deletes it
};

// A pack of {handle, object} entries, ten per page, spare limit 1. The
// table does not own the objects: each binding object enters itself when
// it gets its handle and withdraws when it is destroyed. Entries compare by
// handle value (cmpItem).
class CZqlLispDsc : public CZqlLispPack {
 public:
  CZqlLispDsc();

  EZqlLispClassId lisA() const override { return kZqlLispClsDsc; }
  // A new table sharing this one's entries (copy on write), owned by the
  // caller; null when it cannot be made.
  CZqlLispObj* lclone() const override;
  // Takes other's entries (other must be a CZqlLispDsc).
  int lcopyFrom(const CZqlLispObj* other) override;

  // Walking: each yields the handle and the object of the entry reached
  // (a null handle and null object when none); as the pack's walking.
  using CZqlLispPack::getNextItem;
  using CZqlLispPack::getPrevItem;
  using CZqlLispPack::getFirstItem;
  using CZqlLispPack::getLastItem;
  using CZqlLispPack::getItem;
  int getNextItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj);
  int getPrevItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj);
  int getFirstItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj);
  int getLastItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj);
  int getItem(int index, CZqlLispHandle* handle, CZqlLispSQLObj** obj);

  // Searches from the current position onward for the handle; 1 with the
  // entry current and its object in *obj (when obj is not null), else 0
  // with the position past the end. Search the whole table by setting the
  // position to 0 first.
  using CZqlLispPack::findItem;
  int findItem(const CZqlLispHandle& handle, CZqlLispSQLObj** obj);
  // Removes the entry of handle, searched from the first entry; the
  // position is left where the entry was, or restored when there was none.
  // Answers 1 in both cases.
  using CZqlLispPack::delItem;
  int delItem(const CZqlLispHandle& handle);
  // Insert (entry becomes current) or add (position moves past it) the
  // pair before index (-1: current), or overwrite the entry at index. A
  // null object answers 0: every entry names an object.
  using CZqlLispPack::insertItem;
  using CZqlLispPack::addItem;
  using CZqlLispPack::updItem;
  int insertItem(const CZqlLispHandle& handle, CZqlLispSQLObj* obj,
                 int index);
  int addItem(const CZqlLispHandle& handle, CZqlLispSQLObj* obj, int index);
  int updItem(const CZqlLispHandle& handle, CZqlLispSQLObj* obj, int index);

  // Compares two entries by their handles: negative, 0 or positive.
  int cmpItem(const void* a, const void* b) const override;

 private:
  static int yield(const void* item, CZqlLispHandle* handle,
                   CZqlLispSQLObj** obj);
};

#endif  // ZQL_LISPDSC_H
