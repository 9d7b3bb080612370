// Reading diagnostic parameters, and the conditions of descriptor areas as
// the error layer sees them.

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

// No descriptor area exists in this build yet, so none can be current and
// these are never reached with one; the driver link supplies the real ones.
int ZqlDDAPushCondition(CZqlDDA*, int, const CZqlUcStr*) { return 0; }

int ZqlDDAConditions(const CZqlDDA*, const SZqlCondition**, int*, int*) {
  return 0;
}
