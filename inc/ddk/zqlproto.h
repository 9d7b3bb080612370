// zqlproto.h - the driver protocol, shared by the client's link and the
// driver kit: request codes and labels, the values that travel unchanged
// to a driver, and the communication buffer with its driver slots.
//
// Where a request's outcome travels: only in the reply, at label 2 (0, or
// the EZqlError code of the failure, with the driver's descriptor area at
// label 4 before it). A slot's status word tells where the exchange
// stands, never how the request went.
#ifndef ZQL_ZQLPROTO_H
#define ZQL_ZQLPROTO_H

#include <csignal>
#include <cstddef>
#include <cstdint>

#include "zqltry.h"

ZQL_PUBLIC_BEGIN

// ---------------------------------------------------------------------------
// Requests and replies
// ---------------------------------------------------------------------------

// Protocol version every request carries at label 0 and Attach answers.
constexpr int32_t kZqlProtocolVersion = 0x10001;

// Request codes (label 3). 16 and 17 are not used by the client.
enum EZqlRequest : int32_t {
  kZqlReqAttach = 0,
  kZqlReqDetach = 1,
  kZqlReqConnect = 2,
  kZqlReqDisconnect = 3,
  kZqlReqIExecute = 4,
  kZqlReqIExeNative = 5,
  kZqlReqIExeInterDB = 6,
  kZqlReqPrepare = 7,
  kZqlReqPrepareInterDB = 8,
  kZqlReqExecute = 9,
  kZqlReqDeallocStm = 10,
  kZqlReqAllocCsr = 11,
  kZqlReqOpen = 12,
  kZqlReqClose = 13,
  kZqlReqFetch = 14,
  kZqlReqCancel = 15,
  kZqlReqStatus = 18,
};

// Labels of requests and replies.
constexpr int kZqlReqLabelVersion = 0;  // long, kZqlProtocolVersion
constexpr int kZqlReqLabelRetCode = 2;  // reply: long, the request's outcome
constexpr int kZqlReqLabelCode = 3;     // long, EZqlRequest
constexpr int kZqlReqLabelArea = 4;     // long 0, then a packed CZqlDDA
constexpr int kZqlReqLabelInfo = 5;     // long, the first Attach value
constexpr int kZqlReqLabelArg1 = 11;    // first field; the reply's result
constexpr int kZqlReqLabelArg2 = 12;
constexpr int kZqlReqLabelArg3 = 13;
constexpr int kZqlReqLabelName = 14;    // AllocCsr: long 0, then a CZqlIdent
// Attach answers six values at labels 5 to 10.
constexpr int kZqlAttachValueCount = 6;

// Values the request layer hands to the driver unchanged; the names give
// the meaning the SQL objects attach to them.
enum EZqlCurScr : uint32_t {  // scrollability of a cursor
  kZqlCurNonScroll = 0,
  kZqlCurScroll = 1,
};

enum EZqlCurSns : uint32_t {  // sensitivity of a cursor
  kZqlCurSensitivityDefault = 0,
  kZqlCurInsensitive = 1,
};

enum EZqlDirection : uint32_t {  // fetch direction; 5 and 6 use the offset
  kZqlFetchNext = 1,
  kZqlFetchPrior = 2,
  kZqlFetchFirst = 3,
  kZqlFetchLast = 4,
  kZqlFetchAbsolute = 5,
  kZqlFetchRelative = 6,
};

// Status items. 0, 1 and 8 to 10 concern a connection, 2 to 6 a cursor;
// the connection items' meaning is the driver's.
enum EZqlStatInfo : uint32_t {
  kZqlStatConnection0 = 0,
  kZqlStatConnection1 = 1,
  kZqlStatCsrOpen = 2,         // 0 closed
  kZqlStatCsrInsensitive = 3,  // 1 yes
  kZqlStatCsrScrollable = 4,   // 1 yes
  kZqlStatCsrPosition = 5,     // kZqlCsrOnRow: positioned on a row
  kZqlStatCsrUpdatable = 6,
  kZqlStatConnection8 = 8,
  kZqlStatConnection9 = 9,
  kZqlStatConnection10 = 10,
};

// Position value of kZqlStatCsrPosition for a cursor on a row.
constexpr uint32_t kZqlCsrOnRow = 4;

// ---------------------------------------------------------------------------
// The communication buffer
//
// A System V shared memory segment of kZqlComBufSize bytes keyed by
// ftok(full path of zql.ini, kZqlIpcProjectId), with a set of
// kZqlIpcSemCount semaphores under the same key: semaphore 20 guards the
// buffer (a binary lock, 1 when free); semaphores 0..19 are not taken (the
// requests to driver slot i are serialised by the slot's lock behind the
// client table, see kZqlIpcLockSize). Each driver creates a data segment:
// the request is copied to its offset 0, the reply comes back as a 32-bit
// length at offset 0 followed by that many bytes. A request is announced to
// the driver with SIGUSR1, the reply comes back with SIGUSR1, SIGUSR2 stops
// a driver. All integers are 32-bit, native order.
// ---------------------------------------------------------------------------

constexpr int kZqlIpcProjectId = 25;
constexpr int kZqlIpcSlotCount = 20;
constexpr int kZqlIpcSemCount = 21;
constexpr int kZqlIpcSemComBuf = 20;  // the buffer's own lock
// Permissions of every IPC object: owner only.
constexpr int kZqlIpcMode = 0600;
// Seconds between liveness checks of the other side while waiting for it.
constexpr unsigned kZqlIpcAlarmSeconds = 5;

// Out of band: a client asks a driver to stop the request it runs for a
// connection by storing the connection's id in the slot's interrupt word
// (when that is 0) and sending kZqlIpcInterruptSignal, without the driver's
// lock, so that it reaches a driver busy with another thread's or process's
// request. The driver takes the word back to 0. SIGURG is ignored by
// default, so a driver that does not know the word is not harmed by it.
constexpr int kZqlIpcInterruptSignal = SIGURG;
// A slot's state. Clients write it, under the buffer lock.
enum EZqlSlotState : int32_t {
  // No driver: the slot may be given to one.
  kZqlSlotFree = 0,
  // A driver was started here for `path`; `connections` count its users.
  kZqlSlotInUse = 0xFF,
  // The driver is being told to stop (just before SIGUSR2); free right after.
  kZqlSlotStopping = 0x00ABCD00,
};

// A slot's status: where the exchange with its driver stands. The client
// writes it before it signals the driver, the driver before it signals back.
enum EZqlSlotStatus : int32_t {
  // The driver is ready; after a request, its reply lies in the data segment.
  kZqlSlotReady = 0,
  // Set by the client before the driver starts, cleared by the driver when
  // it is ready: a program that reports in with it still set is no driver.
  kZqlSlotStarting = kZqlErrProgramReferencedInZQLINIIsNotAnZQLDriver,
  // A request lies in the data segment and is the driver's to answer.
  kZqlSlotPending = 0x7FFFFFFF,
  // A driver not built on the kit may leave an EZqlError code here instead
  // of a reply; the client takes it as the request's failure.
};

// Spinning before sleeping. A side that waits (the client for its reply,
// the driver for the next request) may spin on the status word for a short
// while instead of sleeping in sigtimedwait at once; the other side then
// skips its signal. Whether to signal is settled on the waiter's wake word
// (requestWake for the driver, replyWake for the client) by a token: a
// sequence number with the waiter's state in its low two bits.
//   waiter, before the other side can finish: word = token (kZqlWakeSpin)
//   other side, after its status write: ZqlWakeNeedsSignal(word, token it
//     read) -- a token still spinning is marked done and no signal is sent
//   waiter, when its spin ends unanswered: ZqlWakeSleep(word, token) -- it
//     marks itself asleep and waits for the signal, or finds its token done:
//     the status write came, and no signal will.
// Exactly one side wins the word, so no wake-up is lost and none is sent to
// a spinning side. A driver announces that it keeps the words by writing
// kZqlSpinAware into `spin` when it starts (the starting client clears it);
// a driver that does not is signalled every time and never spun on, and a
// token that is not spinning always asks for the signal.
constexpr int32_t kZqlSpinAware = 0x5350494E;
constexpr int32_t kZqlWakeSpin = 1;   // the waiter spins: no signal
constexpr int32_t kZqlWakeSleep = 2;  // the waiter sleeps: signal it
constexpr int32_t kZqlWakeDone = 3;   // the other side finished, sent no signal
constexpr int32_t kZqlWakeStateMask = 3;

// The spinning token of sequence number seq.
inline int32_t ZqlWakeToken(uint32_t seq) {
  return static_cast<int32_t>((seq << 2) | static_cast<uint32_t>(kZqlWakeSpin));
}

// The other side, after it wrote the status the waiter waits for: true when
// it must send the signal; false when the waiter still spun (its token is
// now done and it takes the status without one).
inline bool ZqlWakeNeedsSignal(int32_t* word, int32_t seen) {
  if ((seen & kZqlWakeStateMask) != kZqlWakeSpin) return true;
  return !__atomic_compare_exchange_n(word, &seen, (seen & ~kZqlWakeStateMask) | kZqlWakeDone,
                                      false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

// The waiter, whose spin ended without the status: true when it is now
// marked asleep (the signal will come), false when its token was done (the
// status was written and no signal comes).
inline bool ZqlWakeSleep(int32_t* word, int32_t token) {
  return __atomic_compare_exchange_n(word, &token, (token & ~kZqlWakeStateMask) | kZqlWakeSleep,
                                     false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

// Bytes of the path field of a slot, NUL included, and the longest driver
// path it holds.
constexpr int kZqlSlotPathSize = 131;
constexpr int kZqlMaxDriverPath = kZqlSlotPathSize - 1;

// One driver slot of the communication buffer (196 bytes).
struct linkinf {
  int32_t state;        // EZqlSlotState
  int32_t connections;  // servers of all client processes using the driver
  int32_t status;       // EZqlSlotStatus
  int32_t segSize;      // bytes of the driver's data segment (driver)
  int32_t value;        // driver's value, copied into the server record
  int32_t driverPid;    // -1 before the start (then the driver's)
  int32_t clientPid;    // the client that waits for the current reply
  int32_t segKey;       // IPC key of the driver's data segment (driver)
  int32_t interrupt;    // connection whose running request is to stop, 0: none
  int32_t spin;         // kZqlSpinAware: the driver keeps the wake words below
  int32_t requestWake;  // the driver's wake token while it waits for a request
  int32_t replyWake;    // the client's wake token while it waits for the reply
  char unused[17];      // not used by the client
  char path[kZqlSlotPathSize];  // driver executable; "" once proved no driver
};

static_assert(sizeof(linkinf) == 196, "driver slot is 196 bytes");
static_assert(offsetof(linkinf, connections) == 4, "slot layout");
static_assert(offsetof(linkinf, status) == 8, "slot layout");
static_assert(offsetof(linkinf, segSize) == 12, "slot layout");
static_assert(offsetof(linkinf, value) == 16, "slot layout");
static_assert(offsetof(linkinf, driverPid) == 20, "slot layout");
static_assert(offsetof(linkinf, clientPid) == 24, "slot layout");
static_assert(offsetof(linkinf, segKey) == 28, "slot layout");
static_assert(offsetof(linkinf, interrupt) == 32, "slot layout");
static_assert(offsetof(linkinf, spin) == 36, "slot layout");
static_assert(offsetof(linkinf, requestWake) == 40, "slot layout");
static_assert(offsetof(linkinf, replyWake) == 44, "slot layout");
static_assert(offsetof(linkinf, unused) == 48, "slot layout");
static_assert(offsetof(linkinf, path) == 65, "slot layout");

struct SZqlComBuf {
  int32_t loading;   // slot whose driver is being started (the driver reads it)
  int32_t attached;  // client processes attached to the buffer
  linkinf slots[kZqlIpcSlotCount];
};

constexpr std::size_t kZqlComBufSize = 3928;
static_assert(sizeof(SZqlComBuf) == kZqlComBufSize, "buffer is 3928 bytes");
static_assert(offsetof(SZqlComBuf, attached) == 4, "buffer layout");
static_assert(offsetof(SZqlComBuf, slots) == 8, "buffer layout");

// The client table, right behind the buffer in the same segment: one entry
// per attached client process with its connections to each slot, written
// by the client under the buffer lock. A driver reads it at its idle check
// to find the connections of clients that ended without closing them (a
// SIGKILLed client cannot): it takes their counts off its slot and the
// attach count, rolls their connections back, and the last one out removes
// the buffer and the semaphores. A client that finds the table full is not
// entered (its connections are then only closed by itself).
constexpr int kZqlIpcClientCount = 64;

struct SZqlIpcClient {
  int32_t pid;                              // 0: a free entry
  int32_t connections[kZqlIpcSlotCount];    // this client's, per slot
};

struct SZqlClientTable {
  SZqlIpcClient clients[kZqlIpcClientCount];
};

// The request locks of the driver slots, right behind the client table:
// kZqlIpcLockSize bytes per slot, each a lock the clients share (drivers
// never take them), made by the client that creates the segment.
constexpr std::size_t kZqlIpcLockSize = 64;

// Bytes of the segment: the buffer, the client table, the slots' locks.
constexpr std::size_t kZqlComSegSize =
    kZqlComBufSize + sizeof(SZqlClientTable) + kZqlIpcLockSize * kZqlIpcSlotCount;

// The client table of buf, which must be a whole segment of kZqlComSegSize.
inline SZqlClientTable* ZqlClientTableOf(SZqlComBuf* buf) {
  return reinterpret_cast<SZqlClientTable*>(reinterpret_cast<char*>(buf) + kZqlComBufSize);
}

// Data segment: the reply's length word, then its bytes.
constexpr uint32_t kZqlReplyHeaderSize = 4;

ZQL_PUBLIC_END

#endif  // ZQL_ZQLPROTO_H
