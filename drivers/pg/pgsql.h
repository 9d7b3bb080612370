// pgsql.h - what the driver reads in and rewrites of the client's SQL text:
// statement types, `?` placeholders as `$n`, WHERE CURRENT OF, the FOR
// UPDATE clause and the table of an updatable query. The scans skip string
// literals ('...', E'...', $tag$...$tag$), quoted identifiers and comments.
// None raises.
#ifndef ZQL_DRIVERS_PG_PGSQL_H
#define ZQL_DRIVERS_PG_PGSQL_H

#include <string>
#include <vector>

#include "zqldrvsql.h"

namespace zqlpg {

// A text as sent to the server, with the way back to the client's text.
struct SPgText {
  std::string client;    // UTF-8 of the client's text
  std::string sent;      // what the server receives
  std::vector<int> map;  // byte of sent -> byte of client (one more entry: the end)
  // The client's 1-based character position (16-bit units) of the
  // server's 1-based character position in sent.
  int ClientPosition(int serverPosition) const;
};

// The statement type of the leading keywords (kZqlStmUndefined when none
// is known; a query is kZqlStmSelect).
EZqlStatement StatementTypeOf(const std::string& sql);
// Only blanks and comments.
bool IsBlank(const std::string& sql);
// sql with its `?` placeholders numbered $1, $2, ...
SPgText WithNumberedPlaceholders(const std::string& sql);
// The offset of a final "WHERE CURRENT OF name", with *name the body of
// the cursor's name (regular names in upper case), or npos.
size_t FindCurrentOf(const std::string& sql, std::string* name);
// The offset of a final "FOR UPDATE [OF columns]", or npos.
size_t FindForUpdate(const std::string& sql);
// Whether the query reads one table without grouping or joins; *table
// receives the table as written.
bool SingleTable(const std::string& sql, std::string* table);
// The query with columns (a list starting with ", ") put last in its select
// list, before its FROM (so that ORDER BY positions keep their columns).
std::string WithHiddenColumns(const std::string& sql, const std::string& columns);

// sql with every bit string literal X'<hex>' written as the bytea literal
// '\x<hex>': the client writes BIT VARYING values (bytea here) that way in
// the positioned UPDATEs it builds, and PostgreSQL types X'..' as bit.
std::string WithByteaLiterals(const std::string& sql);
// The client's session statement in sql, parsed.
SZqlSessionText SessionTextOf(const std::string& sql);

}  // namespace zqlpg

#endif  // ZQL_DRIVERS_PG_PGSQL_H
