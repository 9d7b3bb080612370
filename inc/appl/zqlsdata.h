// zqlsdata.h - SQL data values, one header per family: the abstract value
// (zqlsbase.h), numerics (zqlsnum.h), character strings (zqlschar.h), bit
// strings (zqlsbit.h), intervals and datetimes (zqlstime.h) and the
// implementation-defined value (zqlsimpl.h). Include this header (or
// zqlappl.h), not the family headers one by one.
//
// Every value is created null. storeValue makes it hold a value, setNull
// makes it null again; attributes (precision, scale, ...) are fixed by the
// constructor, which clamps them silently.
//
// "May raise" below means: the operation pushes the condition onto the
// current descriptor area (ZqlPushError) and raises its code into the
// caller's frame or handler. With neither open the operation takes the raise
// itself (ZqlEntry) and answers its failure value (0, or a null result) with
// the target unchanged.
// Warnings are pushed without raising.

#ifndef ZQL_ZQLSDATA_H
#define ZQL_ZQLSDATA_H

#include "zqlsbase.h"
#include "zqlsnum.h"
#include "zqlschar.h"
#include "zqlsbit.h"
#include "zqlstime.h"
#include "zqlsimpl.h"

#endif  // ZQL_ZQLSDATA_H
