// lispxmf.h - the binding's message file "zqllisp.xmx".
#ifndef ZQL_LISPXMF_H
#define ZQL_LISPXMF_H

#include "lispobj.h"

class CZqlXmfUtil;
class CZqlUcStr;

class CZqlLispXmf : public CZqlLispObj, public CZqlLispXmfIf {
 public:
  CZqlLispXmf() = default;
  CZqlLispXmf(const CZqlLispXmf&) = delete;
  CZqlLispXmf& operator=(const CZqlLispXmf&) = delete;
  ~CZqlLispXmf() override;  // term()

  EZqlLispClassId lisA() const override { return kZqlLispClsXmf; }
  // Finds "zqllisp.xmx" along the library's search path and opens it;
  // 1 on success. Never raises.
  int init();
  // Closes the file. Answers 1.
  int term();
  // Message `message` (below 1: 1) of set `set` (-1: 1) as a new string-
  // cache buffer owned by the caller; "no applicable message is
  // available" when it cannot be read; null only without a string cache.
  char* errMsg(int message, int set) override;

 private:
  CZqlXmfUtil* reader_ = nullptr;  // owned
  CZqlUcStr* text_ = nullptr;      // owned; the last message read
};

// The message number of a binding error code in set 1.
int ZqlLispMessageNumber(int code);

#endif  // ZQL_LISPXMF_H
