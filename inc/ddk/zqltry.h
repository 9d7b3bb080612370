// zqltry.h - error codes, the try table and exception handlers.
//
// Inside the library a failure raises an EZqlError code with ZQL_RAISE; the
// code travels to the innermost open try frame, whose owner releases what it
// holds (RAII does that here) and either raises the code again outward or
// answers its failure result. At the library's boundary a caller may open a
// CZqlExceptionHandler; a code raised while no frame is open becomes a
// CZqlException delivered to that handler. Every public entry runs as
// ZqlEntry, so a raise with neither open lands in a frame of the entry.
//
// The transfer is made with C++ exceptions of two private types that only
// ZqlTry and CZqlExceptionHandler::Run catch. No other code may catch them,
// and none ever leaves the library: every entry point is a protected call.
#ifndef ZQL_ZQLTRY_H
#define ZQL_ZQLTRY_H

#include <cassert>
#include <cstdint>
#include <new>
#include <optional>
#include <utility>

#include "zqlsys.h"

ZQL_PUBLIC_BEGIN

// Error codes. Below 0xA000 (and 0xCF00) the high byte is the SQLSTATE class
// and the low byte the subclass; 0xA0xx are library errors, 0xB0xx driver and
// communication errors.
enum EZqlError : int32_t {
  kZqlOk = 0,
  kZqlErrNone = -1,  // SQLSTATE "FFFFF", no message
#define ZQL_ERROR(name, code, msgno, text) kZqlErr##name = code,
#include "zqlerr.def"
#undef ZQL_ERROR
};

// Diagnostic items of conditions, descriptor areas and LISP diagnostics.
enum EZqlDiag : int32_t {
  kZqlDiagConditionNumber = 1,
  kZqlDiagMessageLength = 2,
  kZqlDiagMessageOctetLength = 3,
  kZqlDiagReturnedSqlstate = 21,
  kZqlDiagClassOrigin = 22,
  kZqlDiagSubclassOrigin = 23,
  kZqlDiagServerName = 24,
  kZqlDiagConnectionName = 25,
  kZqlDiagConstraintCatalog = 26,
  kZqlDiagConstraintSchema = 27,
  kZqlDiagConstraintName = 28,
  kZqlDiagCatalogName = 29,
  kZqlDiagSchemaName = 30,
  kZqlDiagTableName = 31,
  kZqlDiagColumnName = 32,
  kZqlDiagCursorName = 33,
  kZqlDiagMessageText = 34,
  kZqlDiagUserDefined = 1024,  // and up
};

// Deepest frame index: 201 frames (levels 0..200) may be open at once.
constexpr int kZqlTryMaxLevel = 200;

// Jump context of a try frame or a handler: the target of a raise.
struct SZqlJumpContext {
  int level;  // frame level, or -1 for a handler
};

// ---------------------------------------------------------------------------
// Try table
// ---------------------------------------------------------------------------

// Opens a frame; 1 on success. At level 200 stores 0xA00E as the current code
// and answers 0; answers 0 without storing anything when the table cannot be
// allocated. Opening the outermost frame clears code, line and file.
int ZqlTryCreate();
SZqlJumpContext* ZqlTryData();  // innermost frame's context, null if no table
// Closes the innermost frame; with none open clears the code and answers 0.
int ZqlTryDelete();
// Raises code. With a frame open: keeps line and file of the first raise of
// the current error, stores the code, closes the innermost frame and
// transfers to its owner (does not return). With no frame open: delivers a
// one-condition exception to the innermost handler (does not return), or,
// with no handler either, answers 0 and the caller carries on.
int ZqlTryThrow(int code, int line, const char* file);
int ZqlTryReady();          // 1 when a frame is open
int ZqlTryCode();           // current code; 0xA00C when there is no table
const char* ZqlTryFile();   // recorded file, "" when none
int ZqlTryLine();           // recorded line, 0 when none
int ZqlTryLevel();          // innermost open level, -1 when none

// Raises code inside the library; never returns. With a frame open it acts
// as ZqlTryThrow; with none but a handler open the handler receives a
// one-condition exception. REQUIRES: a frame or a handler is open, which
// every library entry point guarantees by running as ZqlEntry or inside
// ZqlTry; should one forget, the raise still leaves as a CZqlTryJump that
// ZqlTry and CZqlExceptionHandler::Run turn into a failure.
[[noreturn]] void ZqlRaise(int code, int line, const char* file);
// ZqlPushError(code), then ZqlRaise(code, line, file).
[[noreturn]] void ZqlPushnRaise(EZqlError code, int line, const char* file);

// Raise at the caller's file and line: the only way internal code raises.
#define ZQL_RAISE(code) ZqlRaise((code), __LINE__, __FILE__)
#define ZQL_PUSH_RAISE(code) ZqlPushnRaise((code), __LINE__, __FILE__)
// Raises the current code again outward (recovery branches use this); the
// place of the first raise stays recorded.
#define ZQL_RERAISE() ZQL_RAISE(ZqlTryCode())

// Checks a caller's duty (a REQUIRES: of a contract) in debug and sanitizer
// builds; compiled out with NDEBUG.
#define ZQL_ASSERT(cond) assert(cond)

// Transport of a raise to a frame; caught only by ZqlTry.
struct CZqlTryJump {
  int level;  // the level of the frame the raise closed
};

class CZqlExceptionHandler;
// Transport of an exception to a handler; caught only by
// CZqlExceptionHandler::Run.
struct CZqlHandlerJump {
  CZqlExceptionHandler* target;
};

namespace zql_detail {
// Closes the frame opened at `level` if a transfer left it open. For a
// foreign C++ exception also records a code: 0xA008 for bad_alloc, else
// 0xA00C.
void TryLanded(int level, bool foreign, bool no_memory) noexcept;
}  // namespace zql_detail

// Runs body() in a new try frame.
// Answers 1 when body ran to its end (the frame is closed again), 0 when a
// code was raised into the frame or the frame could not be opened; the frame
// is then already closed and ZqlTryCode() names the failure. A transfer to an
// exception handler passes through after closing this frame.
template <class Body>
int ZqlTry(Body&& body) {
  if (!ZqlTryCreate()) return 0;
  const int level = ZqlTryLevel();
  try {
    std::forward<Body>(body)();
  } catch (const CZqlTryJump&) {
    zql_detail::TryLanded(level, false, false);
    return 0;
  } catch (const CZqlHandlerJump&) {
    zql_detail::TryLanded(level, false, false);
    throw;
  } catch (const std::bad_alloc&) {
    zql_detail::TryLanded(level, true, true);
    return 0;
  } catch (...) {
    zql_detail::TryLanded(level, true, false);
    return 0;
  }
  ZqlTryDelete();
  return 1;
}

// Raises the current code again outward, as ZqlTryThrow: for callers outside
// the library (internal code uses ZQL_RERAISE).
inline int ZqlTryRethrow() { return ZqlTryThrow(ZqlTryCode(), 0, 0); }

int ZqlExceptionHandlerReady();

// Runs body() as a public entry point of the library and answers what body
// answers. With a frame or an exception handler of the caller's open, a raise
// inside body goes there as the entry's contract says; with neither open a
// frame opened here takes it and the entry answers fail (ZqlTryCode() then
// names the code). So a raise inside the library always lands.
template <class R, class Body>
R ZqlEntry(R fail, Body&& body) {
  if (ZqlTryReady() || ZqlExceptionHandlerReady()) return std::forward<Body>(body)();
  // Built in place, never assigned: a value class's assignment stores an SQL
  // value under the target's own attributes.
  std::optional<R> result;
  if (!ZqlTry([&] { result.emplace(std::forward<Body>(body)()); })) return fail;
  return std::move(*result);
}

// ZqlEntry for an entry without result.
template <class Body>
void ZqlEntryVoid(Body&& body) {
  if (ZqlTryReady() || ZqlExceptionHandlerReady()) {
    std::forward<Body>(body)();
    return;
  }
  ZqlTry(std::forward<Body>(body));
}

// ---------------------------------------------------------------------------
// Exceptions at the library's boundary
// ---------------------------------------------------------------------------

class CZqlException;

// A recovery point at the library's boundary. Handlers form a stack in
// creation order; a handler leaves it when destroyed or, earlier, when an
// exception is thrown to it. The exception that arrives is owned by the
// handler and destroyed with it, unless it was passed on to the outer one.
class CZqlExceptionHandler {
 public:
  CZqlException* exception;     // owned; null until one arrives
  CZqlExceptionHandler* outer;  // innermost handler when this was opened
  SZqlJumpContext context;      // zero-filled at construction
  int thrown;                   // 1 once an exception was thrown here

  CZqlExceptionHandler();
  ~CZqlExceptionHandler();
  CZqlExceptionHandler(const CZqlExceptionHandler&) = delete;
  CZqlExceptionHandler& operator=(const CZqlExceptionHandler&) = delete;

  // Runs body() with this handler as the recovery point. Answers 0 when body
  // ran to its end, 1 when an exception was thrown to this handler (read
  // `exception`, which may be null when building it ran out of memory).
  // Only a transfer to a handler further out escapes; a stray raise or C++
  // exception becomes a one-condition exception here.
  template <class Body>
  int Run(Body&& body);

 private:
  // Takes a raise or C++ exception that no frame caught: closes the frames
  // opened inside Run and keeps a one-condition exception with code.
  void stray(int code) noexcept;
  int levelAtRun_ = -1;
};

template <class Body>
int CZqlExceptionHandler::Run(Body&& body) {
  levelAtRun_ = ZqlTryLevel();
  try {
    std::forward<Body>(body)();
    return 0;
  } catch (const CZqlHandlerJump& jump) {
    if (jump.target != this) throw;  // meant for a handler further out
    return 1;
  } catch (const CZqlTryJump&) {
    stray(ZqlTryCode());
  } catch (const std::bad_alloc&) {
    stray(kZqlErrInsufficientMemory);
  } catch (...) {
    stray(kZqlErrInternalZQLError);
  }
  return 1;
}

// Pushes a condition with code onto the current descriptor area (none: no-op).
void ZqlPushError(EZqlError code);
// ZqlPushError(code), then ZqlTryThrow(code, 0, 0): for callers outside the
// library (internal code uses ZQL_PUSH_RAISE).
int ZqlPushnThrow(EZqlError code);
int ZqlExceptionHandlerReady();  // 1 when a handler is open
// Delivers e (owned from here on) to the innermost handler; with none open
// destroys e and returns.
void ZqlExceptionThrow(CZqlException* e);
// With a handler open: throws a new one-condition exception with code.
void ZqlExceptionRecall(int code);
// With a handler open: throws a new exception holding copies of dda's
// conditions (or one condition with the current code when dda has none).
// Answers 0 when no handler is open or the exception cannot be built.
int ZqlExceptionsFromDDA(CZqlDDA* dda);
// With a frame open raises the current code into it, else as
// ZqlExceptionsFromDDA. Answers 0 when neither is open.
int ZqlExceptionsToCatch(CZqlDDA* dda);

class CZqlUcStr;
// The message of code into out (code 0: empty). 0 when out is null, else 1.
int ZqlMakeErrorMessage(int code, CZqlUcStr* out);
// The five SQLSTATE characters of code into out, unterminated. 0 for null out.
int ZqlMakeSQLSTATE(int code, char* out);
// The default message text of code, or null when code is not in the table.
const char* ZqlErrorDefaultText(int code);
// The message number of code in set 1, or 0 when code is not in the table.
int ZqlErrorMessageNumber(int code);
// The table of codes, ascending: ZqlErrorCodeAt(0 .. ZqlErrorCodeCount()-1).
int ZqlErrorCodeCount();
int ZqlErrorCodeAt(int i);
// Pushes an operating-system error (0xB022 with the system's text) onto the
// current descriptor area; does nothing when there is none.
void ZqlGenOsError(int osError);

ZQL_PUBLIC_END

#endif  // ZQL_ZQLTRY_H
