// zqlappl.h - the whole public interface of the ZQL client library.
#ifndef ZQL_ZQLAPPL_H
#define ZQL_ZQLAPPL_H

#include "zqlclass.h"
#include "zqlcol.h"
#include "zqlident.h"
#include "zqlsdata.h"
#include "zqlsql.h"
#include "zqlstm.h"
#include "zqlucode.h"

#endif  // ZQL_ZQLAPPL_H
