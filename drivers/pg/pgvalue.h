// pgvalue.h - the values of the PostgreSQL driver: which SQL type a server
// type (OID and type modifier) becomes, the descriptor value of that type,
// and the exact conversion between the server's text format and the
// client's values, both ways. Also the mapping of the server's SQLSTATEs
// to error codes.
//
// Conversions never cut or round silently: a value the client's type cannot
// hold exactly raises (ZQL_RAISE) with the condition pushed on the current
// descriptor area, naming the column.
#ifndef ZQL_DRIVERS_PG_PGVALUE_H
#define ZQL_DRIVERS_PG_PGVALUE_H

#include <cstdint>
#include <memory>
#include <string>

#include "zqldda.h"
#include "zqlsdata.h"
#include "zqltry.h"

namespace zqlpg {

// Server type OIDs the driver knows (pg_type.oid of the built-in types).
enum EPgOid : uint32_t {
  kPgBool = 16,
  kPgBytea = 17,
  kPgChar = 18,
  kPgName = 19,
  kPgInt8 = 20,
  kPgInt2 = 21,
  kPgInt4 = 23,
  kPgText = 25,
  kPgOid = 26,
  kPgFloat4 = 700,
  kPgFloat8 = 701,
  kPgUnknown = 705,
  kPgBpchar = 1042,
  kPgVarchar = 1043,
  kPgDate = 1082,
  kPgTime = 1083,
  kPgTimestamp = 1114,
  kPgTimestampTz = 1184,
  kPgInterval = 1186,
  kPgTimeTz = 1266,
  kPgNumeric = 1700,
};

// How a server value reaches the client.
enum class EPgKind {
  kSmallInt,     // int2, bool (0 / 1)
  kInteger,      // int4, oid
  kBigInt,       // int8: DECIMAL(19,0), exact up to 2^53
  kNumeric,      // numeric(p,s) with p <= kPgExactDigits: NUMERIC(p,s)
  kNumericText,  // any other numeric: its exact decimal text
  kReal,         // float4
  kDouble,       // float8
  kVarChar,      // varchar(n), text and every type without a mapping
  kChar,         // bpchar(n): CHARACTER(n)
  kBytes,        // bytea: BIT VARYING
  kBool,         // bool: SMALLINT 0 / 1
  kDate,
  kTime,         // time(p) and timetz(p)
  kTimestamp,    // timestamp(p) and timestamptz(p)
  kYearMonth,    // interval year to month (or year, month)
  kDayTime,      // every other interval: DAY(6) TO SECOND(p)
};

// Significant digits a double holds exactly: numerics with more go as text.
constexpr int kPgExactDigits = 15;
// Largest int8 magnitude a double holds exactly (2^53).
constexpr int64_t kPgExactInt = 9007199254740992LL;

struct SPgType {
  uint32_t oid = kPgText;
  EPgKind kind = EPgKind::kVarChar;
  unsigned length = kZqlMaxCharLength;  // characters, bits, or digits (p)
  unsigned scale = 0;                   // numeric s; time precision
  bool zone = false;                    // timetz, timestamptz
};

// The client type of a server type. typmod -1 means "none declared".
SPgType PgTypeOf(uint32_t oid, int32_t typmod);

// A new null value of the type, owned by the caller. Raises 0xA008.
std::unique_ptr<CZqlData> NewValue(const SPgType& type);

// Stores the server's text of a value (text format, DateStyle ISO,
// IntervalStyle sql_standard) into out, a value made by NewValue(type).
// Raises 0x2201 (string or bytes longer than the client type holds),
// 0x2203 (a number beyond the client's exact range), 0x2208 (a date the
// client cannot hold, such as infinity or years before 1), 0x220F (an
// interval mixing months with days), each with its condition.
// The condition goes on dda (borrowed), naming column.
void StoreText(CZqlDDA* dda, const CZqlUcStr& column, const SPgType& type, const char* text,
               int length, CZqlData* out);

// The server's input text of a client value for a parameter of server
// type oid (UTF-8). REQUIRES: value not null. Raises 0xA008.
std::string ParamText(const CZqlData& value, uint32_t oid);

// The error code of a server SQLSTATE: the code of the same class and
// subclass when the library knows it, else the class's code, else 0xCF00.
EZqlError CodeOfSqlstate(const char* sqlstate);

}  // namespace zqlpg

#endif  // ZQL_DRIVERS_PG_PGVALUE_H
