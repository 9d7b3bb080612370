// The resource layer. Until the message file and zql.ini are read, every
// message comes from its default text and no setting is configured.

#include "zqlsys.h"
#include "zqlxmf.h"

int ZqlInitResource() { return 0; }

int ZqlTermResource() { return 1; }

int ZqlGetResStrObj(int /*set*/, int /*number*/, const char* deflt,
                    CZqlUcStr* out) {
  if (out == nullptr) return 0;
  out->Copy(deflt != nullptr ? deflt
                             : "Cannot find zqlloc.xmx and no default message");
  return 1;
}

const char* ZqlSysPath() { return ""; }
long ZqlSysMaxmem() { return -1; }
int ZqlSysDebug() { return 0; }
const char* ZqlSysDump() { return nullptr; }
