// zqlddk.h - everything a driver needs: the error layer, configuration,
// files, the descriptor area and the value classes it carries, and the
// driver protocol.
#ifndef ZQL_ZQLDDK_H
#define ZQL_ZQLDDK_H

#include "zqlappl.h"
#include "zqlconf.h"
#include "zqldda.h"
#include "zqlio.h"
#include "zqlproto.h"
#include "zqlsys.h"
#include "zqltry.h"

#endif  // ZQL_ZQLDDK_H
