// The SQL text helpers every SQL driver shares (drivers/kit/zqldrvsql.h).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zqldrvsql.h"

namespace {

SZqlSqlDialect Sqlite() {
  SZqlSqlDialect d;
  d.brackets = true;
  d.atDollarNames = true;
  return d;
}

TEST(SqlText, Utf16AndUtf8RoundTrip) {
  struct Case {
    std::vector<unsigned short> units;
    std::string utf8;
  } cases[] = {
      {{'a', 'b'}, "ab"},
      {{0xE9}, "\xC3\xA9"},
      {{0x20AC}, "\xE2\x82\xAC"},
      {{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},  // U+1F600 as a surrogate pair
      {{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},  // U+10FFFF
      {{0xFFFF}, "\xEF\xBF\xBF"},
  };
  for (const Case& c : cases) {
    std::string utf8;
    EXPECT_TRUE(ZqlDrvUtf16ToUtf8(c.units.data(), c.units.size(), &utf8));
    EXPECT_EQ(utf8, c.utf8);
    std::vector<unsigned short> back;
    EXPECT_TRUE(ZqlDrvUtf8ToUtf16(c.utf8.data(), c.utf8.size(), &back));
    EXPECT_EQ(back, c.units);
  }
}

TEST(SqlText, BadInputIsReported) {
  const std::vector<unsigned short> lone[] = {{0xD800}, {'a', 0xDC00}, {0xD800, 'b'}};
  for (const auto& u : lone) {
    std::string out;
    EXPECT_FALSE(ZqlDrvUtf16ToUtf8(u.data(), u.size(), &out));
  }
  const std::string bad[] = {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\xFF"};
  for (const std::string& b : bad) {
    std::vector<unsigned short> out;
    EXPECT_FALSE(ZqlDrvUtf8ToUtf16(b.data(), b.size(), &out)) << b;
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], 0xFFFD);
  }
}

TEST(SqlText, UnitsBeforeAByteOffset) {
  const std::string text = "\xC3\xA9\xF0\x9F\x98\x80x";  // é, U+1F600, x
  const struct {
    size_t byte;
    int32_t units;
  } cases[] = {{0, 0}, {2, 1}, {6, 3}, {7, 4}, {100, 4}};
  for (const auto& c : cases) EXPECT_EQ(ZqlDrvUnitsBefore(text, c.byte), c.units) << c.byte;
}

TEST(SqlText, ScannerSkipsLiteralsAndComments) {
  const struct {
    const char* text;
    int placeholders;
    int statements;
    bool unterminated;
  } cases[] = {
      {"SELECT ? , :a, ?12, @b, $c FROM t", 5, 1, false},
      {"SELECT '?' , \"?\", [?], `?` -- ?\n /* ? */", 0, 1, false},
      {"SELECT 'it''s ?' ; SELECT 2;", 0, 2, false},
      {"SELECT 1;;  ", 0, 1, false},
      {"SELECT 'open", 0, 1, true},
      {"SELECT /* open", 0, 1, true},
      {"SELECT a::text FROM t", 0, 1, false},
      {"", 0, 0, false},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    const SZqlSqlScan scan = ZqlDrvScan(text, Sqlite());
    int n = 0;
    for (const SZqlSqlToken& t : scan.tokens) n += t.kind == EZqlSqlToken::kPlaceholder ? 1 : 0;
    EXPECT_EQ(n, c.placeholders) << text;
    EXPECT_EQ(scan.statements, c.statements) << text;
    EXPECT_EQ(scan.unterminated, c.unterminated) << text;
  }
}

TEST(SqlText, WhereCurrentOfAtTheEnd) {
  const struct {
    const char* text;
    bool found;
    const char* name;
  } cases[] = {
      {"DELETE FROM T WHERE CURRENT OF c1", true, "C1"},
      {"UPDATE T SET A=5 WHERE current of \"My\"\"Cur\";", true, "My\"Cur"},
      {"UPDATE T SET A='WHERE CURRENT OF C' WHERE ID=1", false, ""},
      {"DELETE FROM T -- WHERE CURRENT OF C", false, ""},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    SZqlCurrentOf at;
    EXPECT_EQ(ZqlDrvFindCurrentOf(text, ZqlDrvScan(text, Sqlite()), &at), c.found) << text;
    if (c.found) {
      EXPECT_EQ(at.name, c.name);
      EXPECT_EQ(text.substr(at.whereBegin, 5), "WHERE");
    }
  }
}

// The plain form of each kind: tests/lisp/e2e/conn.lsp (prepared on both
// drivers).
TEST(SqlText, StatementTypesFromLeadingKeywords) {
  const struct {
    const char* text;
    EZqlStatement type;
  } cases[] = {
      {"insert into t values (1)", kZqlStmInsert},
      {"  /* c */ UPDATE t SET a = 1", kZqlStmUpdateWhere},
      {"UPDATE t SET a = 1 WHERE CURRENT OF c", kZqlStmUpdateCursor},
      {"DELETE FROM t WHERE CURRENT OF c", kZqlStmDeleteCursor},
      {"CREATE TEMP TABLE t (a INT)", kZqlStmCreateTable},
      {"CREATE UNIQUE INDEX i ON t (a)", kZqlStmCreateIndex},
      {"DROP TABLE t", kZqlStmDropTable},
      {"(SELECT 1)", kZqlStmSelect},
      {"VALUES (1)", kZqlStmSelect},
      {"WITH x AS (SELECT 1) SELECT * FROM x", kZqlStmSelect},
      {"WITH x AS (SELECT 1) DELETE FROM t", kZqlStmDeleteWhere},
      {"ALTER TABLE t ADD b INT", kZqlStmAlterTable},
      {"COMMIT WORK", kZqlStmCommit},
      {"ROLLBACK", kZqlStmRollback},
      {"SET TRANSACTION READ ONLY", kZqlStmSetTransaction},
      {"PRAGMA x", kZqlStmUndefined},
      {"", kZqlStmUndefined},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    EXPECT_EQ(ZqlDrvStatementType(text, ZqlDrvScan(text, Sqlite())), c.type) << text;
  }
}

// COMMIT WORK and ROLLBACK WORK, their effect and the transaction state
// after them: Sqlite.IsoTransactions in driver_test.cpp.
TEST(SqlText, SessionTextsTheClientSends) {
  const struct {
    const char* text;
    EZqlSessionStm kind;
    bool readOnly;
    int isolation;
    const char* value;
  } cases[] = {
      {"commit", EZqlSessionStm::kCommit, false, 0, ""},
      {"ROLLBACK TO SAVEPOINT a", EZqlSessionStm::kNone, false, 0, ""},
      {"SET TRANSACTION READ ONLY,ISOLATION LEVEL SERIALIZABLE,DIAGNOSTICS SIZE 0",
       EZqlSessionStm::kSetTransaction, true, 4, ""},
      {"SET TRANSACTION READ WRITE,ISOLATION LEVEL READ COMMITTED,DIAGNOSTICS SIZE 5",
       EZqlSessionStm::kSetTransaction, false, 2, ""},
      {"SET TRANSACTION READ SOMETIMES", EZqlSessionStm::kMalformed, false, 0, ""},
      {"SET CONSTRAINTS ALL DEFERRED", EZqlSessionStm::kSetConstraints, false, 0, ""},
      {"SET CATALOG 'it''s'", EZqlSessionStm::kSetCatalog, false, 0, "it's"},
      {"SET SCHEMA 'main'", EZqlSessionStm::kSetSchema, false, 0, "main"},
      {"SET NAMES 'UTF8'", EZqlSessionStm::kSetNames, false, 0, "UTF8"},
      {"SET TIME ZONE LOCAL", EZqlSessionStm::kSetTimeZone, false, 0, "LOCAL"},
      {"SET TIME ZONE INTERVAL '+01:00' HOUR TO MINUTE", EZqlSessionStm::kSetTimeZone, false, 0,
       "INTERVAL '+01:00' HOUR TO MINUTE"},
      {"SET SESSION AUTHORIZATION 'bob'", EZqlSessionStm::kSetAuthorization, false, 0, "bob"},
      {"SET CATALOG", EZqlSessionStm::kMalformed, false, 0, ""},
      {"COMMIT WORK; DROP TABLE t", EZqlSessionStm::kNone, false, 0, ""},
      {"SELECT 1", EZqlSessionStm::kNone, false, 0, ""},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    const SZqlSessionText r = ZqlDrvParseSession(text, ZqlDrvScan(text, Sqlite()));
    EXPECT_EQ(r.kind, c.kind) << text;
    EXPECT_EQ(r.readOnly, c.readOnly) << text;
    EXPECT_EQ(r.isolation, c.isolation) << text;
    EXPECT_EQ(r.value, c.value) << text;
  }
}

TEST(SqlText, DbmsNameKeepsItsFieldsApart) {
  EXPECT_EQ(ZqlDrvDbmsName("zqlsqlite", "SQLite 3.40.1", "19", "my-table", "a - b"),
            "zqlsqlite     SQLite 3.40.1-19-my_table-a - b");
  EXPECT_EQ(ZqlDrvDbmsName("a-very-long-lead-text", "D", "", "", "").substr(0, 15),
            "a-very-long-leD");
}

TEST(SqlText, IsoTransactionStates) {
  CZqlIsoTx tx(false);
  EXPECT_TRUE(tx.On(EZqlTxEvent::kStatement));
  EXPECT_FALSE(tx.On(EZqlTxEvent::kBegun));
  EXPECT_TRUE(tx.Open());
  EXPECT_FALSE(tx.On(EZqlTxEvent::kStatement));
  bool impossible = false;
  tx.On(EZqlTxEvent::kBegun, &impossible);
  EXPECT_TRUE(impossible);
  tx.On(EZqlTxEvent::kEnded);
  EXPECT_EQ(tx.State(), EZqlTxState::kIdle);
  CZqlIsoTx autoTx(true);
  EXPECT_FALSE(autoTx.On(EZqlTxEvent::kStatement));
  EXPECT_EQ(autoTx.State(), EZqlTxState::kAuto);
}

}  // namespace
