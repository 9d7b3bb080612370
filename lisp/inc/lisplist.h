// lisplist.h - a list of binding objects on a pack of object pointers.
#ifndef ZQL_LISPLIST_H
#define ZQL_LISPLIST_H

#include "lisppack.h"

// A pack of CZqlLispObj pointers, ten per page, spare limit 1.
//
// Ownership. A list made by its constructor owns its objects (unless made
// with owner false): removing an item, replacing it (updItem) or clearing
// the list deletes the object, and so does destroying the list. A list
// filled by lcopyFrom or lclone holds the same pointers as its source but
// never owns them: it deletes nothing, and it must not be used after the
// source (or whoever owns the objects) has deleted them. So no object is
// ever deleted by two lists.
//
// Objects are removed from the list before they are deleted, so an
// object's destructor may look the list up or remove itself from it.
class CZqlLispList : public CZqlLispPack {
 public:
  explicit CZqlLispList(EZqlBoolean owner = kZqlTrue);
  // Deletes the objects when the list owns them.
  ~CZqlLispList() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsList; }
  // A new list holding this list's pointers without owning them (caller
  // owns the list, not the objects); null when it cannot be made.
  CZqlLispObj* lclone() const override;
  // Clears this list (deleting its objects when it owns them), then holds
  // other's pointers, on pages of its own, without owning them. other must
  // be a CZqlLispList. 1 on success; 0 with the list empty on failure.
  int lcopyFrom(const CZqlLispObj* other) override;
  // Whether the list deletes its objects.
  bool isOwner() const { return owner_; }

  // Walking with the object reached (null when none); as the pack's.
  using CZqlLispPack::getNextItem;
  using CZqlLispPack::getPrevItem;
  using CZqlLispPack::getFirstItem;
  using CZqlLispPack::getLastItem;
  using CZqlLispPack::getItem;
  int getNextItem(CZqlLispObj** obj);
  int getPrevItem(CZqlLispObj** obj);
  int getFirstItem(CZqlLispObj** obj);
  int getLastItem(CZqlLispObj** obj);
  int getItem(int index, CZqlLispObj** obj);

  // Search from the current position onward for the object itself
  // (findItem) or for one whose cmp with obj is 0 (findItemValue); 1 with
  // the match current, else 0 and the position past the end.
  using CZqlLispPack::findItem;
  int findItem(const CZqlLispObj* obj);
  int findItemValue(const CZqlLispObj* obj);

  // Removes the item at index (-1: current), deleting its object when the
  // list owns it.
  int delItem(int index) override;
  using CZqlLispPack::delItem;
  // Removes *obj wherever it is in the list (deleting it when owned) and
  // nulls *obj; the position is kept on the same item (or on the one that
  // followed the removed item). 0, with *obj unchanged, when *obj is not in
  // the list.
  int delItem(CZqlLispObj** obj);
  // Insert obj before index (-1: current) and make it current, or add it
  // and move past it (see CZqlLispPack). A null obj answers 0. An owning
  // list takes obj over only on success.
  using CZqlLispPack::insertItem;
  using CZqlLispPack::addItem;
  using CZqlLispPack::updItem;
  int insertItem(CZqlLispObj* obj, int index);
  int addItem(CZqlLispObj* obj, int index);
  // Puts obj at index (-1: current); an owning list deletes the object it
  // replaces (unless it is obj itself).
  int updItem(CZqlLispObj* obj, int index);
  // Removes every item, deleting the objects when the list owns them.
  int lclear() override;
  // a->cmp(b); a null object sorts first.
  int cmpItemValue(const CZqlLispObj* a, const CZqlLispObj* b) const;

 private:
  static CZqlLispObj* objectAt(const void* item);
  bool owner_;
};

#endif  // ZQL_LISPLIST_H
