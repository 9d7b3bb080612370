// zqldiag.h - how the error layer reaches the conditions of a descriptor
// area without depending on the descriptor area's class.
#ifndef ZQL_ZQLDIAG_H
#define ZQL_ZQLDIAG_H

#include "zqlclass.h"

// Pushes a condition with code (and msg when not null) onto dda.
// Answers 1 when pushed, 0 otherwise. Raises only on exhaustion.
int ZqlDDAPushCondition(CZqlDDA* dda, int code, const CZqlUcStr* msg);

// Points *conds, *count and *capacity at dda's condition stack, in push
// order. Answers 0 when dda has no body or no condition array.
int ZqlDDAConditions(const CZqlDDA* dda, const SZqlCondition** conds,
                     int* count, int* capacity);

// The text ZqlGenOsError pushes for osError: the message-file prefix and the
// system's text for the POSIX.1 error numbers, else the number.
void ZqlOsErrorText(int osError, CZqlUcStr* out);

#endif  // ZQL_ZQLDIAG_H
