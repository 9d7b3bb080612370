// Reading diagnostic parameters, and the conditions of descriptor areas as
// the error layer sees them.

#include "zqldda.h"
#include "zqldiag.h"

int ZqlCondioGetParam(CZqlUcStr* out, const CZqlUcStr* text, const char* key) {
  if (out == nullptr) return 0;
  out->Clear();
  if (text == nullptr || key == nullptr) return 0;
  const int at = text->FindFirst(key);
  if (at < 0) return 0;
  const CZqlUcStr keyText(key);
  const unsigned short* p = text->UcStr() + at + keyText.Length();
  int n = 0;
  while (p[n] != 0 && p[n] != '\t') ++n;
  if (n > 0) out->Copy(p, n);
  return out->Length() > 0 ? 1 : 0;
}

int ZqlDDAPushCondition(CZqlDDA* dda, int code, const CZqlUcStr* msg) {
  if (dda == nullptr || code == 0) return 0;
  if (!dda->setErr(static_cast<EZqlError>(code))) return 0;
  if (msg != nullptr) dda->setErrMsg(*msg);
  return dda->PushCond();
}

int ZqlDDAConditions(const CZqlDDA* dda, const SZqlCondition** conds,
                     int* count, int* capacity) {
  const SZqlDiag* body = dda != nullptr ? dda->getDiagData() : nullptr;
  if (body == nullptr || body->conds.recs == nullptr) return 0;
  if (conds != nullptr) *conds = body->conds.recs;
  if (count != nullptr) *count = body->conds.count;
  if (capacity != nullptr) *capacity = body->conds.capacity;
  return 1;
}
