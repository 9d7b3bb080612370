// zqldrvsql.h - SQL text helpers that every driver of a SQL DBMS shares:
// UTF-8 <-> 16-bit Unicode, a lexical scanner over statement texts
// (literals, quoted identifiers, comments, placeholders), the statement type
// from a text's leading keywords, the session statement texts the client
// sends, the DBMS name text the client splits, and the ISO transaction
// state of a connection.
//
// Nothing here talks to a DBMS or raises: every function answers its result
// (and says so when it can fail). Texts are UTF-8 std::string; offsets are
// byte offsets into them unless a name says otherwise.
#ifndef ZQL_ZQLDRVSQL_H
#define ZQL_ZQLDRVSQL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zqldda.h"
#include "zqlucode.h"

// ---------------------------------------------------------------------------
// UTF-8 and 16-bit Unicode
// ---------------------------------------------------------------------------

// n units of u as UTF-8 into *out (replaced). Surrogate pairs become one
// 4-byte character. Answers false, with *out holding the text before it,
// at the first unpaired surrogate.
bool ZqlDrvUtf16ToUtf8(const unsigned short* u, size_t n, std::string* out);
// The text of s as UTF-8 (false as above).
bool ZqlDrvToUtf8(const CZqlUcStr& s, std::string* out);
// n bytes of UTF-8 as 16-bit units into *out (replaced, not terminated):
// characters above U+FFFF become surrogate pairs. A byte sequence that is
// not UTF-8 (overlong, surrogate code points, above U+10FFFF, cut short)
// becomes one U+FFFD per bad byte; answers false when that happened.
bool ZqlDrvUtf8ToUtf16(const char* s, size_t n, std::vector<unsigned short>* out);
// The same into a CZqlUcStr (empty for n == 0). May raise 0xA008.
bool ZqlDrvUtf8ToUcStr(const char* s, size_t n, CZqlUcStr* out);
// n bytes of UTF-8 converted as above and stored into out, a character
// value, unless the units outnumber its length. Answers the unit count;
// a count above out->Length() stored nothing. A value replaced row after
// row keeps its own text: nothing is allocated. Raises as out's storeValue.
size_t ZqlDrvStoreUtf8(CZqlData* out, const char* s, size_t n);
// Number of 16-bit units that the first byteOffset bytes of utf8 take
// (byteOffset clipped to the text): the 0-based unit index of the
// character at that byte. Add 1 for a descriptor area's error position.
int32_t ZqlDrvUnitsBefore(const std::string& utf8, size_t byteOffset);

// ---------------------------------------------------------------------------
// Scanner
// ---------------------------------------------------------------------------

// What a DBMS's lexical rules add to the ISO ones ('...' strings with ''
// inside, "..." identifiers with "" inside, -- and /* */ comments).
struct SZqlSqlDialect {
  bool brackets = false;       // [name] and `name` are identifiers (SQLite)
  bool dollarQuotes = false;   // $tag$...$tag$ strings, $1 placeholders (PostgreSQL)
  bool nestedComments = false; // /* /* */ */ nests (PostgreSQL)
  bool colonNames = true;      // :name is a placeholder (not after another ':')
  bool atDollarNames = false;  // @name and $name are placeholders (SQLite)
};

enum class EZqlSqlToken {
  kWord,         // keyword or regular identifier: letters, digits, _, $
  kQuoted,       // delimited identifier, quotes included
  kString,       // string literal, quotes included (also X'..', E'..', $$..$$)
  kNumber,       // numeric literal
  kPlaceholder,  // ?, ?NNN, :name, @name, $name, $N
  kSemicolon,    // a statement separator
  kOther,        // any other character (operators, parentheses, commas)
};

struct SZqlSqlToken {
  EZqlSqlToken kind;
  size_t begin;  // byte offset of the first byte
  size_t end;    // byte offset after the last byte
};

struct SZqlSqlScan {
  std::vector<SZqlSqlToken> tokens;  // in text order, comments and blanks left out
  bool unterminated = false;         // a literal, identifier or comment runs off the end
  bool hasNul = false;               // the text holds a NUL byte
  // Statements: runs of tokens separated by semicolons (empty runs not
  // counted); a trailing semicolon does not start another one.
  int statements = 0;
};

// Tokens of utf8 under the dialect's rules. Never fails: bad input gives
// kOther tokens and the flags above.
SZqlSqlScan ZqlDrvScan(const std::string& utf8, const SZqlSqlDialect& dialect);

// The token's text.
std::string ZqlDrvTokenText(const std::string& utf8, const SZqlSqlToken& t);
// True when t is a word equal to keyword (ASCII, any letter case).
bool ZqlDrvIsWord(const std::string& utf8, const SZqlSqlToken& t, const char* keyword);
// The identifier t names, as CZqlIdent::Body keeps it: a word in upper case
// (ASCII letters), a delimited identifier without its quotes and with
// doubled quotes made single. Empty for other tokens.
std::string ZqlDrvIdentBody(const std::string& utf8, const SZqlSqlToken& t);

// `WHERE CURRENT OF name` at the end of a statement (a trailing semicolon
// allowed): where the clause starts and the cursor name's body. Answers
// false when the text does not end so.
struct SZqlCurrentOf {
  size_t whereBegin = 0;  // byte offset of WHERE
  size_t nameEnd = 0;     // byte offset after the name
  std::string name;       // as ZqlDrvIdentBody gives it
};
bool ZqlDrvFindCurrentOf(const std::string& utf8, const SZqlSqlScan& scan, SZqlCurrentOf* out);

// ---------------------------------------------------------------------------
// Statements
// ---------------------------------------------------------------------------

// The statement type of a text from its leading keywords (INSERT 37,
// UPDATE 51 or with WHERE CURRENT OF 50, DELETE 20 / 19, CREATE TABLE 14,
// CREATE VIEW 15, CREATE [UNIQUE] INDEX 16, DROP TABLE 29, DROP VIEW 31,
// DROP INDEX 32, SELECT / VALUES / WITH ... SELECT 42, COMMIT 11, ROLLBACK
// 41, GRANT 36, REVOKE 40, ALTER TABLE 4, SET ... 43-49, CREATE SCHEMA 13,
// DROP SCHEMA 28); kZqlStmUndefined for anything else.
EZqlStatement ZqlDrvStatementType(const std::string& utf8, const SZqlSqlScan& scan);

// The session statements the client library sends for immediate
// execution, parsed. Kinds other than kNone carry what they say.
enum class EZqlSessionStm {
  kNone,              // not a session statement: the DBMS's business
  kCommit,            // COMMIT [WORK]
  kRollback,          // ROLLBACK [WORK] (not ROLLBACK TO ...)
  kSetTransaction,    // SET TRANSACTION mode, ...
  kSetConstraints,    // SET CONSTRAINTS ALL|names DEFERRED|IMMEDIATE
  kSetCatalog,        // SET CATALOG 'x'
  kSetSchema,         // SET SCHEMA 'x'
  kSetNames,          // SET NAMES 'x'
  kSetTimeZone,       // SET TIME ZONE LOCAL | INTERVAL '...' HOUR TO MINUTE
  kSetAuthorization,  // SET SESSION AUTHORIZATION 'x'
  kMalformed,         // begins like one of the SET statements above but is not well formed
};

struct SZqlSessionText {
  EZqlSessionStm kind = EZqlSessionStm::kNone;
  // kSetTransaction: READ ONLY given (readWrite when READ WRITE given);
  // isolation 1..4 as EZqlTILevel, 0 when not given; diagnostics -1 when
  // not given.
  bool readOnly = false;
  bool readWrite = false;
  int isolation = 0;
  int32_t diagnostics = -1;
  // kSetConstraints: DEFERRED (else IMMEDIATE); allConstraints for ALL.
  bool deferred = false;
  bool allConstraints = false;
  // kSetCatalog .. kSetAuthorization: the value (literal without quotes,
  // or LOCAL, or the interval literal's text).
  std::string value;
};

// Parses utf8 as one of the session statements. Never fails.
SZqlSessionText ZqlDrvParseSession(const std::string& utf8, const SZqlSqlScan& scan);

// ---------------------------------------------------------------------------
// DBMS name text and diagnostics
// ---------------------------------------------------------------------------

// The DBMS name text the client splits: lead cut or padded with blanks to
// 14 characters, then dbms "-" code "-" object "-" message. Hyphens in dbms,
// code and object become '_' so that the fields stay apart; the message is
// kept as it is.
std::string ZqlDrvDbmsName(const std::string& lead, const std::string& dbms,
                           const std::string& code, const std::string& object,
                           const std::string& message);

// Pushes a condition onto dda: code, the UTF-8 message (when not empty) and
// the table name item (when not empty). Answers code. Never raises.
int32_t ZqlDrvCondition(CZqlDDA* dda, int32_t code, const std::string& message,
                        const std::string& table = std::string());

// The plain warning (SQLSTATE 01000), for statements accepted with nothing
// to do.
constexpr EZqlError kZqlDrvWarning = static_cast<EZqlError>(0x0100);

// ---------------------------------------------------------------------------
// ISO transactions
// ---------------------------------------------------------------------------

// The transaction state of one connection when the DBMS starts no
// transaction by itself: the driver opens one before the first statement
// after a connect, COMMIT or ROLLBACK.
enum class EZqlTxState {
  kIdle,  // no transaction: the next statement opens one
  kOpen,  // a transaction is open; COMMIT or ROLLBACK ends it
  kAuto,  // the connection commits each statement itself (no ISO transactions)
};

enum class EZqlTxEvent {
  kStatement,  // a statement is about to run
  kBegun,      // the driver opened the transaction (after kStatement said so)
  kEnded,      // COMMIT or ROLLBACK succeeded, or the DBMS rolled back itself
};

// What the driver must do for an event: whether it has to open a
// transaction first. Impossible transitions (kBegun outside kIdle) answer
// false and leave the state alone; *impossible (when not null) is set.
class CZqlIsoTx {
 public:
  explicit CZqlIsoTx(bool autoCommit) : state_(autoCommit ? EZqlTxState::kAuto : EZqlTxState::kIdle) {}
  // kStatement: answers true when a transaction must be opened first.
  // kBegun, kEnded: move the state; answer false.
  bool On(EZqlTxEvent event, bool* impossible = nullptr);
  EZqlTxState State() const { return state_; }
  bool Open() const { return state_ == EZqlTxState::kOpen; }

 private:
  EZqlTxState state_;
};

#endif  // ZQL_ZQLDRVSQL_H
