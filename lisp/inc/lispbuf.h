// lispbuf.h - a chain of host result buffers (resbuf) with a read/write
// position: how every LISP value enters and leaves the module.
//
// The root keeps two: the argument buffer, a copy of each call's arguments
// that the handlers read item by item, and the result buffer, into which the
// result list is built before it is handed to the host.
#ifndef ZQL_LISPBUF_H
#define ZQL_LISPBUF_H

#include <cstdint>

#include "kel.h"
#include "lispcoll.h"

// A resbuf chain owned by the buffer, with a position: the current node, or
// none (past the end). Every node is made with kel_newrb and released with
// kel_relrb; texts and bytes in nodes are C-library allocations (see kel.h).
//
// Reading: the type tests and accessors look at the current node. An
// accessor with no chain or no current node pushes kZqlLispErrInternal, on
// a node of another type kZqlLispErrItemType, and answers 0 (null).
//
// Building: every add operation inserts before the current node (at the end
// when the position is past it) and leaves the position after the new node,
// so that additions to a cleared buffer append in order. A node that cannot
// be allocated pushes kZqlLispErrNoMemory and the operation answers 0; the
// nodes added before stay.
//
// Indexes count nodes from 0; index -1 names the current node. The position
// index runs from 0 to Qty(), Qty() meaning past the end.
class CZqlLispBuf : public CZqlLispCollection {
 public:
  // kind is kept for the owner (setKind/getKind); nothing depends on it.
  explicit CZqlLispBuf(EZqlBoolean kind = kZqlFalse);
  CZqlLispBuf(const CZqlLispBuf&) = delete;
  CZqlLispBuf& operator=(const CZqlLispBuf&) = delete;
  // Releases the chain.
  ~CZqlLispBuf() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsBuf; }
  void setKind(EZqlBoolean kind) { kind_ = kind; }
  EZqlBoolean getKind() const { return kind_; }

  // ---- Position and walking ------------------------------------------------
  // Each moves the position and, when node is not null, stores the node
  // reached (null when none). 1 when a node was reached. getNextItem past
  // the last node (and getFirstItem/getLastItem on an empty chain) leave the
  // position past the end; getPrevItem at the first node answers 0 and
  // leaves the position there.
  int getFirstItem(resbuf** node = nullptr);
  int getLastItem(resbuf** node = nullptr);
  int getNextItem(resbuf** node = nullptr);
  int getPrevItem(resbuf** node = nullptr);
  // Makes node index (-1: the current one) current; 0 when there is none
  // (the position is then unchanged).
  int getItem(int index, resbuf** node = nullptr);
  // Sets the position to index (0 .. Qty()) or to a node of the chain
  // (null: past the end); 0 for anything else, position unchanged.
  int setPos(int index) override;
  int setPos(const resbuf* node);
  // The position's index (Qty() when past the end), and its node.
  int getPos() const override;
  int getPos(resbuf** node) const;
  // The first node, or null. The chain stays the buffer's.
  resbuf* getHead() const { return head_; }
  int Qty() const override;

  // ---- Type tests on the current node (false when there is none) -----------
  bool isChar() const { return is(RTSTR); }
  bool isNum() const { return is(RTSHORT) || is(RTLONG) || is(RTREAL); }
  bool isReal() const { return is(RTREAL); }
  bool isLong() const { return is(RTLONG); }
  bool isShort() const { return is(RTSHORT); }
  bool isEnt() const { return is(RTENAME); }
  bool isBin() const { return is(RTBINXD) || is(RTBINARY); }
  bool isBList() const { return is(RTLB); }
  bool isEList() const { return is(RTLE); }
  bool isNil() const { return is(RTNIL); }
  // True when there is no current node: every argument has been read.
  bool isNone() const { return cur_ == nullptr; }
  // The current node's type code, or 0.
  int ItemType() const { return cur_ ? cur_->restype : 0; }

  // ---- Accessors of the current node ---------------------------------------
  int16_t S() const;         // RTSHORT
  int32_t L() const;         // RTLONG
  double R() const;          // RTREAL (0.0 on error)
  const char* C() const;     // RTSTR; the text stays the buffer's
  const double* P() const;   // RTPOINT; the coordinates stay the buffer's
  double PX() const;         // RTPOINT or RT3DPOINT
  double PY() const;         // RTPOINT or RT3DPOINT
  double PZ() const;         // RT3DPOINT
  const int32_t* E() const;  // RTENAME; the two longs
  // Byte nodes: the bytes (the buffer's) and their count through length.
  const char* B(int32_t* length) const;

  // ---- Building ------------------------------------------------------------
  int addItem(double value);                          // RTREAL
  // A point of two (is2D true: RTPOINT) or three coordinates (RT3DPOINT).
  int addItem(const double* point, EZqlBoolean is2D);
  int addItem(int16_t value);                         // RTSHORT
  int addItem(int32_t value);                         // RTLONG
  int addItem(const char* text);                      // RTSTR, copied
  // RTSTR taking text over; it must come from malloc (see kel.h). On
  // failure text is freed.
  int addSetItem(char* text);
  int addBinItem(const void* bytes, int32_t length);  // RTBINARY, copied
  // RTBINARY taking bytes over (malloc'ed); freed on failure.
  int addSetBinItem(void* bytes, int32_t length);
  int addItem(const int32_t* ename);                  // RTENAME
  int addBList() { return addItemType(RTLB); }
  int addEList() { return addItemType(RTLE); }
  // A node without value: RTLB, RTLE, RTDOTE, RTNIL or RTT. Other types
  // answer 0 (their nodes would need a value).
  int addItemType(int16_t type);
  // A deep copy of node (any type), or node itself (with whatever follows
  // it: the buffer takes the rest of its chain over too).
  int addItem(const resbuf* node);
  int addSetItem(resbuf* node);
  // A deep copy of every node of chain, in order (null: nothing, 1); or the
  // chain itself, taken over.
  int addItemList(const resbuf* chain);
  int addSetItemList(resbuf* chain);

  // Insert before the current node (at the end when past it) and make the
  // new node current: a copy of node, node itself (with its rest), or a
  // node without value (as addItemType).
  int insertItem(const resbuf* node);
  int insertSetItem(resbuf* node);
  int insertItemType(int16_t type);

  // Replace node index (-1: current) by a new node, which becomes current;
  // the type may change. 0 when there is no such node or the new node
  // cannot be made (the old one then stays).
  int updItem(int index, const resbuf* node);
  int updSetItem(int index, resbuf* node);  // takes node (single) over
  int updItem(int index, int16_t value);
  int updItem(int index, int32_t value);
  int updItem(int index, double value);
  int updItem(int index, const char* text);
  int updItem(int index, const double* point, EZqlBoolean is2D);
  int updItem(int index, const int32_t* ename);
  int updItem(int index, const void* bytes, int32_t length);
  int updSetItem(int index, char* text);

  // Releases node index (-1: the current one, or the first when the
  // position is past the end); the node after it becomes current. 0 for an
  // index below -1 or past the end, or an empty chain.
  int delItem(int index) override;
  // Releases the whole chain; the buffer is empty.
  int lclear() override;
  // Releases the nodes from index (-1: the current one) to the end; the
  // position is past the end. 0 when there is no such node.
  int lclear(int index);
  // Detaches the nodes from index (-1: the current one) to the end without
  // releasing them and answers their chain, which the caller then owns
  // (kel_relrb); null when there is no such node.
  resbuf* release(int index = -1);

  // ---- Searching -----------------------------------------------------------
  // Each searches from the current node onward for an equal value of the
  // type named; 1 with the match current, else 0 with the position past
  // the end. Values compare exactly (doubles by ==, points and bytes byte
  // for byte, strings by length and bytes).
  int findItem(const resbuf* node);  // same type and equal value
  int findItem(double value);
  int findItem(const double* point, EZqlBoolean is2D);
  int findItem(int16_t value);
  int findItem(int32_t value);
  int findItem(const char* text);
  int findItem(const void* bytes, int32_t length);
  int findItem(const int32_t* ename);
  int findItemType(int16_t type);
  // 0 when a and b are of the same type with equal values (list begins
  // equal list begins ...). Nodes of different types are unequal; when both
  // carry values that also pushes kZqlLispErrItemType.
  int cmpItem(const resbuf* a, const resbuf* b) const;

  // ---- The container interface (items are resbuf nodes) --------------------
  int getNextItem(void** item) override;
  int getPrevItem(void** item) override;
  int getFirstItem(void** item) override;
  int getLastItem(void** item) override;
  int getItem(int index, void** item) override;
  int findItem(const void* item) override;
  int delItem(const void* item) override;
  int insertItem(const void* item, int index) override;
  int addItem(const void* item, int index) override;
  int updItem(const void* item, int index) override;
  int cmpItem(const void* a, const void* b) const override;

 private:
  bool is(int type) const { return cur_ && cur_->restype == type; }
  // The current node checked for an accessor; null after pushing the error.
  const resbuf* checked(int type, int type2 = 0) const;
  // A new node of type (a spare one, else kel_newrb), null after pushing
  // kZqlLispErrNoMemory.
  resbuf* newNode(int type) const;
  resbuf* newString(const char* text) const;
  resbuf* newBytes(const void* bytes, int32_t length) const;
  resbuf* newPoint(const double* point, EZqlBoolean is2D) const;
  resbuf* copyResBuf(const resbuf* node) const;
  // Links the chain first..last before the current node; the position
  // stays on the current node (after the chain).
  void link(resbuf* first, resbuf* last);
  int append(resbuf* node);  // link(node, node); 0 for null
  int insertNode(resbuf* node);
  // Puts node in place of the node at index; node becomes current.
  int replace(int index, resbuf* node);
  // The node at index (-1: current) and its predecessor; null when none.
  resbuf* nodeAt(int index, resbuf** before) const;
  // Searches from the current node for a node matching pred.
  template <class Pred>
  int findIf(Pred pred);

  resbuf* head_ = nullptr;
  resbuf* cur_ = nullptr;   // null: past the end
  resbuf* prev_ = nullptr;  // node before cur_ (the last node when past end)
  // Nodes lclear() emptied, kept for newNode: the buffers are cleared and
  // refilled on every call, and a node each time from the C library would
  // be most of a short call's work. Valueless, linked by rbnext.
  mutable resbuf* spare_ = nullptr;
  mutable int spareCount_ = 0;
  EZqlBoolean kind_;
};

#endif  // ZQL_LISPBUF_H
