// lispcoll.h - the container interface shared by the binding's result
// buffers, packs, object lists and the handle table.
#ifndef ZQL_LISPCOLL_H
#define ZQL_LISPCOLL_H

#include "lispobj.h"

// An ordered container with a position. Items are handed in and out as
// untyped pointers whose meaning each container defines (a resbuf node, the
// bytes of a pack item). Index -1 names the current position; the position
// runs from 0 to Qty(), Qty() meaning past the end.
//
// The versions here are the defaults of an empty container: counts and
// positions are 0, out-parameters are set to null, and the operations that
// walk, search or change answer 0 (there is nothing to reach). The concrete
// containers override everything the binding uses.
class CZqlLispCollection : public CZqlLispObj {
 public:
  EZqlLispClassId lisA() const override { return kZqlLispClsCollection; }

  // The number of items.
  virtual int Qty() const;
  // Move the position and hand out the item reached (when item is not
  // null); 1 when an item was reached.
  virtual int getNextItem(void** item);
  virtual int getPrevItem(void** item);
  virtual int getFirstItem(void** item);
  virtual int getLastItem(void** item);
  // Makes the item at index (-1: current) current; 1 when there is one.
  virtual int getItem(int index, void** item);
  // Searches from the position onward for an item equal to item (cmpItem);
  // 1 with the match current, else 0 with the position past the end.
  virtual int findItem(const void* item);
  // Remove the item at index (-1: current), or the first equal to item.
  virtual int delItem(int index);
  virtual int delItem(const void* item);
  // Insert a copy of item before index (-1: current); insertItem makes it
  // current, addItem moves the position past it.
  virtual int insertItem(const void* item, int index);
  virtual int addItem(const void* item, int index);
  // Overwrites the item at index (-1: current).
  virtual int updItem(const void* item, int index);
  // Sets the position (0 .. Qty()); 1 on success.
  virtual int setPos(int index);
  virtual int getPos() const;
  // Removes every item; 1 on success.
  virtual int lclear();
  // 0 when a and b are equal, else non-zero.
  virtual int cmpItem(const void* a, const void* b) const;
};

#endif  // ZQL_LISPCOLL_H
