// uxlink.h - the Unix driver link: the communication buffer that all clients
// and drivers of one zql.ini share, its 21 semaphores, the signals that
// announce requests and replies, and the starting, calling and stopping of
// driver processes.
//
// Wire objects (shared with the drivers, see drivers/kit):
//   - the communication buffer: a System V shared memory segment of 3928
//     bytes (SZqlComBuf) keyed by ftok(full path of zql.ini, 25);
//   - a set of 21 semaphores under the same key: semaphore i (0..19)
//     serialises the requests to driver slot i, semaphore 20 guards the
//     buffer. Each is a binary lock, 1 when free;
//   - one data segment per driver, created by the driver: the request is
//     copied to offset 0, the reply comes back as a 32-bit length at offset 0
//     followed by that many bytes.
// All IPC objects are owner-only (0600); a buffer or semaphore set that
// belongs to another user is refused.
//
// Signals: a request is announced to the driver with SIGUSR1, the reply
// comes back with SIGUSR1, SIGUSR2 stops a driver. While a client waits it
// re-checks every 5 seconds that the driver is alive. While an IPC lock is
// held, the fatal signals release the locks before the process ends.
//
// Errors: the low functions record the last IPC error (ZqlIpcLastError) and
// answer a failure value; LoadServerOnUnix, SendDataToServer and
// DisconServerOnUnix raise it with ZqlTryThrow.
//
// Process-wide state, single-threaded: call from one thread only.
#ifndef ZQL_UXLINK_H
#define ZQL_UXLINK_H

#include <cstddef>
#include <cstdint>

struct SZqlServer;

// ftok project id of the communication buffer and the semaphore set.
constexpr int kZqlIpcProjectId = 25;
// Driver slots in the communication buffer, and the semaphores.
constexpr int kZqlIpcSlotCount = 20;
constexpr int kZqlIpcSemCount = 21;
constexpr int kZqlIpcSemComBuf = 20;  // the buffer's own lock
// Permissions of every IPC object: owner only.
constexpr int kZqlIpcMode = 0600;
// Seconds between liveness checks of a driver while waiting for it.
constexpr unsigned kZqlIpcAlarmSeconds = 5;

// Slot states.
constexpr int32_t kZqlSlotFree = 0;
constexpr int32_t kZqlSlotInUse = 0xFF;
constexpr int32_t kZqlSlotStopping = 0x00ABCD00;  // just before SIGUSR2
// Slot status while a request is with the driver, which replaces it with
// its answer before it signals the reply.
constexpr int32_t kZqlSlotPending = 0x7FFFFFFF;

// Bytes of the path field of a slot, NUL included, and the longest driver
// path it holds.
constexpr int kZqlSlotPathSize = 131;
constexpr int kZqlMaxDriverPath = kZqlSlotPathSize - 1;

// One driver slot of the communication buffer (196 bytes).
struct linkinf {
  int32_t state;        // kZqlSlotFree / kZqlSlotInUse / kZqlSlotStopping
  int32_t connections;  // servers of all client processes using the driver
  int32_t status;       // 0xB01A before the start; 0 when ready;
                        // kZqlSlotPending while a request is served; after
                        // each request 0 or an EZqlError code (driver)
  int32_t segSize;      // bytes of the driver's data segment (driver)
  int32_t value;        // driver's value, copied into the server record
  int32_t driverPid;    // -1 before the start (then the driver's)
  int32_t clientPid;    // the client that waits for the current reply
  int32_t segKey;       // IPC key of the driver's data segment (driver)
  char unused[33];      // not used by the client
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
static_assert(offsetof(linkinf, unused) == 32, "slot layout");
static_assert(offsetof(linkinf, path) == 65, "slot layout");

// The communication buffer.
struct SZqlComBuf {
  int32_t loading;   // slot whose driver is being started (the driver reads it)
  int32_t attached;  // client processes attached to the buffer
  linkinf slots[kZqlIpcSlotCount];
};

constexpr std::size_t kZqlComBufSize = 3928;
static_assert(sizeof(SZqlComBuf) == kZqlComBufSize, "buffer is 3928 bytes");
static_assert(offsetof(SZqlComBuf, attached) == 4, "buffer layout");
static_assert(offsetof(SZqlComBuf, slots) == 8, "buffer layout");

// Data segment: the reply's length word, then its bytes.
constexpr uint32_t kZqlReplyHeaderSize = 4;

// ---------------------------------------------------------------------------
// Communication buffer and locks. The lock functions answer 0, or -1 on
// failure; they never raise.
// ---------------------------------------------------------------------------

// Attaches the communication buffer of the zql.ini at path (which must
// exist), creating it and the semaphore set when missing. Answers the buffer
// with the buffer lock held (release with UnlockComBuf), or null with the last
// IPC error 0xB01E when the key, the semaphores or the segment cannot be had,
// or belong to another user. Never raises.
SZqlComBuf* CreateComBuf(const char* path);
// Detaches this process from the buffer; the last process removes the
// segment and the semaphore set. Answers 1; 0 with the last IPC error 0xA00C
// when nothing is attached, 0xB01E when locking fails. Never raises.
int DeleteComBuf();
// Locks semaphore 20 (no-op when this process holds it already).
int LockComBuf();
// Unlocks semaphore 20 (no-op when not held).
int UnlockComBuf();
// Locks / unlocks the semaphore of driver slot i (0..19).
int LockDriver(int i);
int UnlockDriver(int i);

// Fatal-signal traps: ShtPrepare installs SigTrap for SIGILL, SIGABRT,
// SIGFPE, SIGBUS, SIGSEGV and SIGSYS on the first nesting level, saving the
// old dispositions; ShtRestore puts them back when the nesting returns to 0
// (a disposition the caller set meanwhile stays). Each lock holds a level,
// and so does the process while it has driver connections: the traps go in
// with the first connection and out with the last, and locking costs no
// system call. Dispositions set after the first connection replace the
// traps (the semaphores are still released at the process's end: SEM_UNDO).
void ShtPrepare();
void ShtRestore();
// Releases the held IPC locks, calls the old handler of sig if it was a
// function, then ends the process by sig with the default action.
void DoShutdown(int sig);

// Request traps: SetComTraps blocks SIGUSR1 and SIGCHLD (the wait takes
// them with sigtimedwait; no handler, alarm or disposition is touched) and
// clears the last signal. RstComTraps restores the signal mask, first
// raising SIGCHLD again when the wait took one, for the caller's own
// children.
void SetComTraps();
void RstComTraps();
// Handler of the fatal signals: while this process holds an IPC lock, runs
// DoShutdown once (further instances are ignored); otherwise takes the
// signal as the disposition saved by ShtPrepare would (a handler is called,
// the default action ends the process). Other signals: nothing.
void SigTrap(int sig);

// ---------------------------------------------------------------------------
// Drivers
// ---------------------------------------------------------------------------

// Starts the driver at driverPath for slot (header word 0 must name it
// already) and waits until it reports ready. Answers 1 when the driver
// reported in (the last IPC error is 0xB01A when it did not clear its
// status), 0 on failure with the last IPC error set: a path over 130
// characters 0xB019; fork or exec failures by errno (EACCES 0xB005,
// ENAMETOOLONG 0xB001, ENOENT/ENOTDIR 0xB002, ENOEXEC 0xB003, ENOMEM
// 0xB010, others 0xB022); a driver that ended before reporting 0xB01C.
// REQUIRES: the buffer lock is held. Never raises.
int LowLoadServer(linkinf* slot, const char* driverPath);
// Sends the record's request (server->request, server->size bytes) to the
// slot's driver and waits for the reply, which replaces server->reply and
// server->size. Answers 1 when the driver answered status 0, else 0 with the
// last IPC error: the driver's status; 0xB017 when the driver is gone or its
// data segment cannot be attached; 0xB01D for a request larger than the
// data segment (nothing is sent); 0xA00C for a reply whose length exceeds
// the segment; 0xB01E for a segment of another user; 0xA008 when the reply
// buffer cannot be allocated. Sets the slot's status to kZqlSlotPending
// before the driver is signalled. REQUIRES: the buffer is attached and slot
// is one of its slots. Never raises.
int LowCallDriver(linkinf* slot, SZqlServer* server);

// Connects the record to the driver at driverPath for the zql.ini at
// iniPath (full paths): reuses the slot of a running driver with that path,
// restarts it in its slot when its process is gone, or starts it in the
// highest free slot. Sets server->slot and server->driverValue and answers
// 1. Raises the last IPC error on failure: 0xB01E (buffer), 0xB018 (no free
// slot), 0xB019 (path too long) and those of LowLoadServer; 0xB01A leaves
// the connection counted in the slot (release it with DisconServerOnUnix).
// Answers 0 when the raise returns.
int LoadServerOnUnix(const char* iniPath, const char* driverPath, SZqlServer* server);
// One request of the record (see LowCallDriver). Answers 1, or raises the
// last IPC error (0xB01E without a buffer, 0xA00C without a slot). After
// 0xB01A the slot's path is emptied so that it is not reused.
int SendDataToServer(SZqlServer* server);
// Closes one connection of this process to slot. Answers 1 while other
// connections use the driver, 0 when this was the last one (the driver was
// told to stop and the slot freed). The process's last connection detaches
// the buffer (DeleteComBuf). Raises 0xB01E (no buffer, lock failure),
// 0xA00C (slot outside 0..19 or not in use) or the error of DeleteComBuf.
int DisconServerOnUnix(int slot);

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

// The last IPC error (0 when the last transport call succeeded).
int ZqlIpcLastError();
// The attached communication buffer, or null.
SZqlComBuf* ZqlIpcComBuf();
// Driver connections of this process.
int ZqlIpcConnections();
// As SendDataToServer, but answers the error code (0 on success) instead of
// raising. Never raises.
int ZqlIpcSendRequest(SZqlServer* server);
// As DisconServerOnUnix, but answers the error code (0 on success) instead
// of raising; *stopped (may be null) receives 1 when the driver was told to
// stop. Never raises.
int ZqlIpcCloseConnection(int slot, int* stopped);
// Test seams: a function called while waiting for a driver, after the
// request or start was announced and before the first wait (null: none);
// the number of 5-second liveness periods that ran out while waiting.
void TEST_ZqlIpcSetWaitHook(void (*hook)());
int TEST_ZqlIpcAlarmCount();
// Test hook: forgets all state of this process (detaches what is attached,
// removes nothing) so that a failed test does not spill into the next.
void TEST_ZqlIpcReset();

// ---------------------------------------------------------------------------
// Shared by the link's own sources (ipcux.cpp, uxlink.cpp) only.
// ---------------------------------------------------------------------------

void ZqlIpcSetLastError(int code);
int32_t ZqlIpcKey();  // key of the attached buffer, -1 when none
// This process's connections to slot; ZqlIpcCountConnection adds delta to
// them and to the process total (never below 0).
int ZqlIpcSlotConnections(int slot);
void ZqlIpcCountConnection(int slot, int delta);
// Driver children of this process: tracked ones are reaped by the request
// traps and by the liveness test. ZqlIpcReapChild waits for pid to end.
void ZqlIpcTrackChild(int32_t pid);
int ZqlIpcReapChild(int32_t pid);
// 1 while process pid exists and has not ended (an unreaped, ended process
// counts as gone); 0 for pid <= 0. A process of another user counts as alive.
int ZqlIpcProcessAlive(int32_t pid);
// With the request traps set: waits until the driver pid answered (1) or
// is gone (0), re-testing at each signal and after each 5-second period.
// With status null (start-up) the answer is a SIGUSR1 from pid. Otherwise
// (a request) it is *status leaving kZqlSlotPending together with pid's
// SIGUSR1, or, when that signal merged with a stray one, with the end of
// the next period; a driver that ended after it answered still counts as
// having answered. SIGUSR1 from others is swallowed.
int ZqlIpcAwait(int32_t pid, const volatile int32_t* status);
// This process's id, asked of the system once per process (a fork makes
// the child ask again).
int32_t ZqlIpcSelf();
// For a new child before exec (async-signal-safe): default dispositions for
// the trapped and fatal signals, and the signal mask from before
// SetComTraps.
void ZqlIpcChildSignals();
// Detaches the data segments this process keeps attached (uxlink.cpp).
void ZqlIpcDropSegments();

#endif  // ZQL_UXLINK_H
