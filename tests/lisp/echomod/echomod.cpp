// lispechomod - a module for the binding tests. Its functions copy their
// arguments into a CZqlLispBuf and hand LISP values back through
// kel_retlist, so that values make the whole trip LISP -> resbuf chain ->
// CZqlLispBuf -> resbuf chain -> LISP.
//   (LB_ECHO args...)   the arguments, copied node by node
//   (LB_TYPES args...)  the type code of every node of the argument chain
//   (LB_SUM nums...)    the sum of the numbers, read with S, L and R
//   (LB_BUILD)          a list built with the buffer's add operations
#include <cstdint>

#include "hvrx.h"
#include "kel.h"
#include "lispbuf.h"

namespace {

const char* const kFunctions[] = {"LB_ECHO", "LB_TYPES", "LB_SUM", "LB_BUILD"};
constexpr int16_t kFunctionCount = 4;

int Return(CZqlLispBuf& out) {
  if (!out.getHead()) return kel_retnil() == RTNORM ? kHvRxOk : kHvRxFail;
  return kel_retlist(out.getHead()) == RTNORM ? kHvRxOk : kHvRxFail;
}

int Echo() {
  CZqlLispBuf args;
  if (!args.addItemList(kel_getargs())) return kHvRxFail;
  return Return(args);
}

int Types() {
  CZqlLispBuf args, out;
  args.addItemList(kel_getargs());
  for (int ok = args.getFirstItem(); ok; ok = args.getNextItem())
    out.addItem(static_cast<int16_t>(args.ItemType()));
  return Return(out);
}

int Sum() {
  CZqlLispBuf args;
  args.addItemList(kel_getargs());
  double sum = 0.0;
  for (args.getFirstItem(); !args.isNone(); args.getNextItem()) {
    if (args.isShort()) sum += args.S();
    else if (args.isLong()) sum += args.L();
    else if (args.isReal()) sum += args.R();
    else return kel_fail("LB_SUM: not a number") == RTNORM ? kHvRxOk : kHvRxFail;
  }
  return kel_retreal(sum) == RTNORM ? kHvRxOk : kHvRxFail;
}

int Build() {
  CZqlLispBuf out;
  const double p2[] = {1.5, -2.0};
  const double p3[] = {1.0, 2.0, 3.0};
  out.addItem(int16_t{-32768});
  out.addItem(int32_t{-32769});
  out.addItem(p2, kZqlTrue);
  out.addItem(p3, kZqlFalse);
  out.addBList();  // (1 (2 (3)))
  out.addItem(int16_t{1});
  out.addBList();
  out.addItem(int16_t{2});
  out.addBList();
  out.addItem(int16_t{3});
  out.addEList();
  out.addEList();
  out.addEList();
  out.writeBufPair(&out, "key", "value");
  out.writeBufPair(&out, int16_t{8}, "text");
  out.writeBufPair(&out, int16_t{34}, int16_t{7});
  out.addItemType(RTNIL);
  out.addItemType(RTT);
  return Return(out);
}

}  // namespace

extern "C" int hvrxEntryPoint(int msg, void*) {
  switch (msg) {
    case kHvRxLoadFuncMsg:
      for (int16_t i = 0; i < kFunctionCount; ++i)
        if (kel_defun(kFunctions[i], i) != RTNORM) return kHvRxFail;
      return kHvRxOk;
    case kHvRxUnloadFuncMsg:
      for (int16_t i = 0; i < kFunctionCount; ++i) kel_undef(kFunctions[i], i);
      return kHvRxOk;
    case kHvRxInvokeFuncMsg:
      switch (kel_getfuncode()) {
        case 0: return Echo();
        case 1: return Types();
        case 2: return Sum();
        case 3: return Build();
        default: return kHvRxFail;
      }
    default:
      return kHvRxOk;
  }
}
