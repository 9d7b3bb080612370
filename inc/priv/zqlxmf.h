// zqlxmf.h - the library's resources: message texts and the settings of the
// section "ZQL" of zql.ini.
#ifndef ZQL_ZQLXMF_H
#define ZQL_ZQLXMF_H

#include "zqlucode.h"

// Starts the resources once; 1 when started. A failed start is not retried
// until ZqlTermResource.
int ZqlInitResource();
// Ends the resources and returns to the not-started state; answers 1.
int ZqlTermResource();
// The text of message `number` of `set` into out: from the message file when
// it has it, else deflt (or a fixed text when deflt is null). 0 for a null
// out, else 1. Never raises for a missing file or message.
int ZqlGetResStrObj(int set, int number, const char* deflt, CZqlUcStr* out);
const char* ZqlSysPath();  // "Path" of the section ZQL, "" when unset
long ZqlSysMaxmem();       // "Memmax", -1 when unset
int ZqlSysDebug();         // 1 when "Debug" is "Yes"

#endif  // ZQL_ZQLXMF_H
