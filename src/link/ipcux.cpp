// The low layer of the Unix driver link: module state, the communication
// buffer and its semaphores, the drivers' data segments, the locks, the
// signal traps and the waits.
//
// A client killed while holding a lock (SIGKILL cannot be caught) must not
// block the others. The buffer's lock is a semaphore taken with SEM_UNDO
// (a new set is made free with SETALL, which no process exit undoes). The
// lock taken around every request, one per driver slot, is a process-shared
// robust mutex behind the client table: free, it costs no system call (a
// semaphore costs one each way), and the next locker after a holder that
// died takes it over (EOWNERDEAD), as SEM_UNDO would have freed it.
//
// Waiting never tests a flag and then pauses: the request signals stay
// blocked for the whole exchange and are taken with sigtimedwait, so a
// reply that arrives before the wait is taken by it instead of being lost,
// and no handler, alarm or disposition of the caller's is touched per
// request. The wait's 5-second timeout is the liveness check.
//
// The fatal-signal traps are installed once, when this process opens its
// first driver connection, and stay until its last one closes: a lock
// taken per request then costs no system call. While no lock is held they
// pass each signal on as the caller's disposition would take it.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ipcux.h"

namespace {

constexpr int kFatalSignals[] = {SIGILL, SIGABRT, SIGFPE, SIGBUS, SIGSEGV, SIGSYS};
constexpr int kFatalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];
// The signals of a request: the reply, and the end of a driver child.
constexpr int kTrapSignals[] = {SIGUSR1, SIGCHLD};
// Driver processes this process started and may have to reap.
constexpr int kMaxChildren = 64;
// When a wait first checks that its driver lives (a full period follows).
constexpr timespec kFirstCheck{0, 10 * 1000 * 1000};
// How often a wait looks at a driver that it found stopped.
constexpr timespec kStoppedCheck{1, 0};
// Attempts at attaching the buffer while another process removes it.
constexpr int kCreateAttempts = 4;

// Fields read or written by the signal handlers are volatile sig_atomic_t.
struct SZqlIpcModule {
  SZqlComBuf* comBuf = nullptr;  // attached buffer, null when not attached
  int32_t key = -1;              // -1 when unknown
  volatile sig_atomic_t semId = -1;       // -1 when none
  int shmId = -1;                         // -1 when none
  volatile sig_atomic_t comBufHeld = 0;   // this process holds semaphore 20
  volatile sig_atomic_t driverHeld = -1;  // driver semaphore held, -1 when none
  int connections = 0;                    // driver connections of this process
  int clientEntry = -1;                   // this process's client-table entry, -1 none
  int slotConnections[kZqlIpcSlotCount] = {};
  SZqlSegment segments[kZqlIpcSlotCount] = {};

  pid_t expectFrom = 0;   // accepted sender of SIGUSR1, 0 = any
  int replied = 0;        // SIGUSR1 from expectFrom arrived
  int childSignals = 0;   // SIGCHLDs taken by the wait, for the caller
  int alarms = 0;         // liveness periods that ran out while waiting
  void (*waitHook)() = nullptr;  // test seam, see ipcux.h
  sigset_t callerMask;    // signal mask before ZqlIpcSetComTraps
  pid_t self = 0;         // this process's id, 0 until asked (and after fork)

  int shtNesting = 0;
  struct sigaction oldFatal[kFatalCount];
  volatile sig_atomic_t shutdown = 0;
  siginfo_t* fatalInfo = nullptr;  // siginfo of the fatal signal being handled
  void* fatalContext = nullptr;

  volatile sig_atomic_t children[kMaxChildren] = {};
};

SZqlIpcModule g;

// The fourth argument of semctl.
union SemArg {
  int val;
  semid_ds* buf;
  unsigned short* array;
};

// One semop on semaphore sem of the set, with SEM_UNDO; retried when a
// signal interrupts the wait. Async-signal-safe.
int SemOp(int sem, int delta) {
  sembuf op{};
  op.sem_num = static_cast<unsigned short>(sem);
  op.sem_op = static_cast<short>(delta);
  op.sem_flg = SEM_UNDO;
  while (semop(g.semId, &op, 1) == -1) {
    if (errno != EINTR) return -1;
  }
  return 0;
}

EZqlError Locked(int rc) { return rc == 0 ? kZqlOk : kZqlErrCannotCreateCommunicationBuffer; }

// The request lock of driver slot i in buf, a whole segment.
pthread_mutex_t* SlotLock(SZqlComBuf* buf, int i) {
  static_assert(sizeof(pthread_mutex_t) <= kZqlIpcLockSize, "a slot's lock fits its place");
  static_assert((kZqlComBufSize + sizeof(SZqlClientTable)) % alignof(pthread_mutex_t) == 0,
                "the slots' locks are aligned");
  char* locks = reinterpret_cast<char*>(ZqlClientTableOf(buf)) + sizeof(SZqlClientTable);
  return reinterpret_cast<pthread_mutex_t*>(locks + static_cast<std::size_t>(i) * kZqlIpcLockSize);
}

// Makes the slots' locks of the new segment buf. REQUIRES: no other
// process attached yet (the buffer's lock held since before it was made).
bool MakeSlotLocks(SZqlComBuf* buf) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0;
  for (int i = 0; ok && i < kZqlIpcSlotCount; ++i) ok = pthread_mutex_init(SlotLock(buf, i), &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

// The answer rc of taking lock, with a lock whose holder died taken over:
// 0 held, or an errno value.
int TakenOver(pthread_mutex_t* lock, int rc) {
  return rc == EOWNERDEAD ? pthread_mutex_consistent(lock) : rc;
}

// Takes slot i's lock of the attached buffer. 0, or an errno value.
int LockSlot(int i) {
  pthread_mutex_t* lock = SlotLock(g.comBuf, i);
  return TakenOver(lock, pthread_mutex_lock(lock));
}

int FatalIndex(int sig) {
  for (int i = 0; i < kFatalCount; ++i)
    if (kFatalSignals[i] == sig) return i;
  return -1;
}

sigset_t TrapSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kTrapSignals) sigaddset(&set, sig);
  return set;
}

long MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec);
}

bool HoldsLock() { return g.comBufHeld || g.driverHeld >= 0; }

void ForgetSelf() { g.self = 0; }

// ---------------------------------------------------------------------------
// Fatal-signal traps. The handler runs inside a signal: only
// async-signal-safe calls from FatalAction down.
// ---------------------------------------------------------------------------

void FatalAction(int sig, siginfo_t* info, void* ctx);

// A saved disposition that is a function (not default, not ignore).
bool IsFunction(const struct sigaction& old) {
  if (old.sa_flags & SA_SIGINFO) return old.sa_sigaction != nullptr;
  return old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN && old.sa_handler != nullptr;
}

void CallOld(const struct sigaction& old, int sig) {
  if (!IsFunction(old)) return;
  if (old.sa_flags & SA_SIGINFO)
    old.sa_sigaction(sig, g.fatalInfo, g.fatalContext);
  else
    old.sa_handler(sig);
}

// Ends the process by sig itself rather than by exit(), which would run
// exit handlers in a process that may have faulted inside them; a core
// dump and the parent's view of the cause are kept.
[[noreturn]] void EndBySignal(int sig) {
  signal(sig, SIG_DFL);
  raise(sig);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, sig);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);  // delivers it: the end
  _exit(255);
}

// A fatal signal while no lock is held: taken as the disposition saved
// when the traps went in would take it. A handler is called (and may
// return); the default action ends the process by the signal.
void PassOn(int sig) {
  const struct sigaction& old = g.oldFatal[FatalIndex(sig)];
  if (IsFunction(old)) {
    CallOld(old, sig);
    return;
  }
  if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN) return;
  EndBySignal(sig);
}

// Releases the held IPC locks, calls the old handler of sig if it was a
// function, then ends the process by sig.
[[noreturn]] void DoShutdown(int sig) {
  if (g.driverHeld >= 0) {
    // Fails (EPERM) when the signal came to another thread than the
    // holder: the lock is then taken over once the process has ended.
    pthread_mutex_unlock(SlotLock(g.comBuf, g.driverHeld));
    g.driverHeld = -1;
  }
  if (g.comBufHeld) {
    SemOp(kZqlIpcSemComBuf, +1);
    g.comBufHeld = 0;
  }
  CallOld(g.oldFatal[FatalIndex(sig)], sig);
  EndBySignal(sig);
}

// While this process holds an IPC lock, runs DoShutdown once (further
// instances are ignored); otherwise passes the signal on.
void SigTrap(int sig) {
  if (FatalIndex(sig) < 0) return;
  if (!HoldsLock() && !g.shutdown) {
    PassOn(sig);
    return;
  }
  signal(sig, SIG_IGN);  // further instances are ignored
  if (g.shutdown) return;
  g.shutdown = 1;
  DoShutdown(sig);
}

void FatalAction(int sig, siginfo_t* info, void* ctx) {
  const int saved = errno;
  g.fatalInfo = info;
  g.fatalContext = ctx;
  SigTrap(sig);
  errno = saved;
}

void DropSignal(int) {}

// Installs the traps on the first nesting level, saving the dispositions
// found. Each lock holds a level, and so does the process while it has
// driver connections.
void ShtPrepare() {
  if (g.shtNesting++ > 0) return;
  struct sigaction act{};
  act.sa_sigaction = FatalAction;
  act.sa_flags = SA_SIGINFO;
  sigemptyset(&act.sa_mask);
  for (int i = 0; i < kFatalCount; ++i) sigaction(kFatalSignals[i], &act, &g.oldFatal[i]);
  // A reply that comes after its wait ended (a driver that answers late, one
  // replaced meanwhile) would end the process by SIGUSR1's default action:
  // while connected, a SIGUSR1 outside a wait is dropped instead. A caller's
  // own disposition stays.
  struct sigaction usr1{};
  if (sigaction(SIGUSR1, nullptr, &usr1) == 0 && !(usr1.sa_flags & SA_SIGINFO) &&
      usr1.sa_handler == SIG_DFL) {
    struct sigaction drop{};
    drop.sa_handler = DropSignal;
    drop.sa_flags = SA_RESTART;
    sigemptyset(&drop.sa_mask);
    sigaction(SIGUSR1, &drop, nullptr);
  }
}

// Puts the saved dispositions back when the nesting returns to 0; a
// disposition the caller set while the traps were in stays.
void ShtRestore() {
  if (g.shtNesting <= 0 || --g.shtNesting > 0) return;
  struct sigaction usr1{};
  if (sigaction(SIGUSR1, nullptr, &usr1) == 0 && !(usr1.sa_flags & SA_SIGINFO) &&
      usr1.sa_handler == DropSignal) {
    usr1.sa_handler = SIG_DFL;
    usr1.sa_flags = 0;
    sigaction(SIGUSR1, &usr1, nullptr);
  }
  for (int i = 0; i < kFatalCount; ++i) {
    struct sigaction now{};
    if (sigaction(kFatalSignals[i], nullptr, &now) != 0) continue;
    if ((now.sa_flags & SA_SIGINFO) && now.sa_sigaction == FatalAction)
      sigaction(kFatalSignals[i], &g.oldFatal[i], nullptr);
  }
}

// ---------------------------------------------------------------------------
// Children
// ---------------------------------------------------------------------------

// Reaps the driver children that have ended. Async-signal-safe.
void ReapChildren() {
  for (int i = 0; i < kMaxChildren; ++i) {
    const pid_t pid = g.children[i];
    if (pid <= 0) continue;
    int status;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r == -1 && errno == ECHILD)) g.children[i] = 0;
  }
}

void Untrack(pid_t pid) {
  for (int i = 0; i < kMaxChildren; ++i)
    if (g.children[i] == pid) g.children[i] = 0;
}

bool Tracked(pid_t pid) {
  for (int i = 0; i < kMaxChildren; ++i)
    if (g.children[i] == pid) return true;
  return false;
}

enum class EChild { kRunning, kEnded, kNotOurs };

// State of a tracked child: waitpid knows it exactly (and reaps it when it
// ended); a process of this pid that is no child of ours is untracked.
EChild ChildState(pid_t pid) {
  if (!Tracked(pid)) return EChild::kNotOurs;
  int status;
  const pid_t r = waitpid(pid, &status, WNOHANG);
  if (r == 0) return EChild::kRunning;
  Untrack(pid);
  return r == pid ? EChild::kEnded : EChild::kNotOurs;
}

bool Pending(int sig) {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, sig) == 1;
}

// The state letter of pid in /proc (R, S, T, Z ...), or 0 when unknown.
char ProcState(pid_t pid);

// A process that ended but was not yet reaped by its parent still answers
// kill(pid, 0); on Linux its state in /proc tells it apart.
bool IsZombie(pid_t pid) {
  const char state = ProcState(pid);
  return state == 'Z' || state == 'X';
}

// A process stopped by a signal (SIGSTOP, SIGTSTP) or by a debugger.
bool IsStopped(pid_t pid) {
  const char state = ProcState(pid);
  return state == 'T' || state == 't';
}

char ProcState(pid_t pid) {
#ifdef __linux__
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[256];
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return 0;
  text[n] = '\0';
  const char* paren = std::strrchr(text, ')');  // the name may hold spaces
  return paren != nullptr && paren[1] == ' ' ? paren[2] : 0;
#else
  (void)pid;
  return 0;
#endif
}

// Bookkeeping of one request signal taken by the wait.
void TakeSignal(int sig, const siginfo_t& info) {
  if (sig == SIGUSR1) {
    // From anyone else it is a stray: it neither ends nor hides the wait.
    if (g.expectFrom == 0 || info.si_pid == g.expectFrom) g.replied = 1;
    return;
  }
  ReapChildren();
  // The caller may have children of its own: it gets the signal back when
  // the request ends (ZqlIpcRstComTraps).
  g.childSignals = 1;
}

// ---------------------------------------------------------------------------
// The buffer
// ---------------------------------------------------------------------------

void DropSegments() {
  for (int i = 0; i < kZqlIpcSlotCount; ++i) ZqlIpcDropSegment(i);
}

// This process's entry of the client table, or null (none, or one
// inherited from the parent of a fork).
SZqlIpcClient* OwnEntry() {
  if (g.comBuf == nullptr || g.clientEntry < 0) return nullptr;
  SZqlIpcClient& e = ZqlClientTableOf(g.comBuf)->clients[g.clientEntry];
  return e.pid == ZqlIpcSelf() ? &e : nullptr;
}

void Forget() {
  g.clientEntry = -1;
  g.comBuf = nullptr;
  g.key = -1;
  g.semId = -1;
  g.shmId = -1;
}

bool OwnedSemaphores(int semId) {
  semid_ds ds{};
  SemArg arg;
  arg.buf = &ds;
  if (semctl(semId, 0, IPC_STAT, arg) == -1) return false;
  return ds.sem_perm.uid == geteuid() && ds.sem_nsems == kZqlIpcSemCount;
}

bool OwnedSegment(int shmId) {
  shmid_ds ds{};
  if (shmctl(shmId, IPC_STAT, &ds) == -1) return false;
  return ds.shm_perm.uid == geteuid() && ds.shm_segsz >= kZqlComSegSize;
}

// The semaphore set of key, created free when missing (*created set).
int GetSemaphores(key_t key, bool* created) {
  *created = false;
  for (;;) {
    const int id = semget(key, kZqlIpcSemCount, kZqlIpcMode);
    if (id >= 0 || errno != ENOENT) return id;
    const int made = semget(key, kZqlIpcSemCount, IPC_CREAT | IPC_EXCL | kZqlIpcMode);
    if (made < 0 && errno == EEXIST) continue;  // another process was faster
    if (made < 0) return -1;
    unsigned short ones[kZqlIpcSemCount];
    for (unsigned short& v : ones) v = 1;
    SemArg arg;
    arg.array = ones;
    if (semctl(made, 0, SETALL, arg) == -1) {
      semctl(made, 0, IPC_RMID);
      return -1;
    }
    *created = true;
    return made;
  }
}

// The segment of key, attached; created zero-filled when missing.
SZqlComBuf* GetSegment(key_t key, bool* created) {
  *created = false;
  int id = shmget(key, kZqlComSegSize, kZqlIpcMode);
  if (id < 0 && errno == ENOENT) {
    id = shmget(key, kZqlComSegSize, IPC_CREAT | IPC_EXCL | kZqlIpcMode);
    *created = id >= 0;
  }
  if (id < 0) return nullptr;
  g.shmId = id;
  if (!*created && !OwnedSegment(id)) return nullptr;
  void* at = shmat(id, nullptr, 0);
  if (at == reinterpret_cast<void*>(-1)) return nullptr;
  if (!*created) return static_cast<SZqlComBuf*>(at);
  std::memset(at, 0, kZqlComSegSize);
  if (MakeSlotLocks(static_cast<SZqlComBuf*>(at))) return static_cast<SZqlComBuf*>(at);
  shmdt(at);
  return nullptr;
}

enum class EAttempt { kDone, kFailed, kRetry };

// One attempt of ZqlIpcCreateComBuf. kRetry when the set vanished under us
// (its last user removed it between our lookup and our lock).
EAttempt TryCreateComBuf(const char* path) {
  const key_t key = ftok(path, kZqlIpcProjectId);
  if (key == -1) return EAttempt::kFailed;
  g.key = key;
  bool semCreated = false;
  const int semId = GetSemaphores(key, &semCreated);
  if (semId < 0) return EAttempt::kFailed;
  g.semId = semId;
  g.comBufHeld = 0;
  if (!semCreated && !OwnedSemaphores(semId)) return EAttempt::kFailed;
  if (ZqlIpcLockComBuf() != kZqlOk)
    return errno == EIDRM || errno == EINVAL ? EAttempt::kRetry : EAttempt::kFailed;
  bool shmCreated = false;
  SZqlComBuf* buf = GetSegment(key, &shmCreated);
  if (buf != nullptr) {
    g.comBuf = buf;
    return EAttempt::kDone;
  }
  // Undo what this attempt made; a set of someone else stays.
  ZqlIpcUnlockComBuf();
  if (semCreated) semctl(semId, 0, IPC_RMID);
  if (shmCreated) shmctl(g.shmId, IPC_RMID, nullptr);
  return EAttempt::kFailed;
}

}  // namespace

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

SZqlComBuf* ZqlIpcComBuf() { return g.comBuf; }
int32_t ZqlIpcKey() { return g.key; }
int ZqlIpcConnections() { return g.connections; }
int ZqlIpcHoldsComBuf() { return g.comBufHeld ? 1 : 0; }
int ZqlIpcHoldsDriver(int i) { return i >= 0 && g.driverHeld == i ? 1 : 0; }

int ZqlIpcSlotConnections(int slot) {
  return slot >= 0 && slot < kZqlIpcSlotCount ? g.slotConnections[slot] : 0;
}

void ZqlIpcCountConnection(int slot, int delta) {
  if (slot < 0 || slot >= kZqlIpcSlotCount) return;
  if (delta < 0 && g.slotConnections[slot] <= 0) return;  // not ours
  const int before = g.connections;
  g.slotConnections[slot] += delta;
  g.connections += delta;
  if (SZqlIpcClient* e = OwnEntry()) e->connections[slot] = g.slotConnections[slot];
  // The fatal traps stay in while the process has connections.
  if (before == 0 && g.connections > 0) ShtPrepare();
  if (before > 0 && g.connections == 0) ShtRestore();
}

// ---------------------------------------------------------------------------
// Communication buffer and locks
// ---------------------------------------------------------------------------

EZqlError ZqlIpcCreateComBuf(const char* path) {
  if (path != nullptr) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
      const EAttempt result = TryCreateComBuf(path);
      if (result == EAttempt::kDone) return kZqlOk;
      if (result == EAttempt::kFailed) break;
    }
  }
  if (g.comBuf != nullptr) shmdt(g.comBuf);
  Forget();
  return kZqlErrCannotCreateCommunicationBuffer;
}

EZqlError ZqlIpcDeleteComBuf() {
  if (g.comBuf == nullptr) return kZqlErrInternalZQLError;
  if (ZqlIpcLockComBuf() != kZqlOk) return kZqlErrCannotCreateCommunicationBuffer;
  if (SZqlIpcClient* e = OwnEntry()) *e = SZqlIpcClient{};
  const int32_t left = --g.comBuf->attached;
  DropSegments();
  shmdt(g.comBuf);
  EZqlError code = kZqlOk;
  if (left <= 0) {
    // Both go while the lock is held: a process waiting for the lock then
    // fails with EIDRM and makes a new set, instead of finding a set whose
    // segment is gone.
    shmctl(g.shmId, IPC_RMID, nullptr);
    semctl(g.semId, 0, IPC_RMID);
    g.comBufHeld = 0;
    ShtRestore();
  } else {
    code = ZqlIpcUnlockComBuf();
  }
  Forget();
  return code;
}

void ZqlIpcJoinClients() {
  if (g.comBuf == nullptr || !g.comBufHeld) return;
  SZqlClientTable* table = ZqlClientTableOf(g.comBuf);
  for (int i = 0; i < kZqlIpcClientCount; ++i) {
    if (table->clients[i].pid != 0) continue;
    table->clients[i] = SZqlIpcClient{};
    table->clients[i].pid = ZqlIpcSelf();
    g.clientEntry = i;
    return;
  }
}

EZqlError ZqlIpcLockComBuf() {
  if (g.comBufHeld) return kZqlOk;
  if (g.semId < 0 || SemOp(kZqlIpcSemComBuf, -1) != 0) return kZqlErrCannotCreateCommunicationBuffer;
  g.comBufHeld = 1;
  ShtPrepare();
  return kZqlOk;
}

EZqlError ZqlIpcUnlockComBuf() {
  if (!g.comBufHeld) return kZqlOk;
  const int rc = SemOp(kZqlIpcSemComBuf, +1);
  g.comBufHeld = 0;
  ShtRestore();
  return Locked(rc);
}

EZqlError ZqlIpcLockDriver(int i) {
  if (i < 0 || i >= kZqlIpcSlotCount || g.comBuf == nullptr || LockSlot(i) != 0)
    return kZqlErrCannotCreateCommunicationBuffer;
  g.driverHeld = i;
  ShtPrepare();
  return kZqlOk;
}

EZqlError ZqlIpcUnlockDriver(int i) {
  if (i < 0 || i >= kZqlIpcSlotCount || g.comBuf == nullptr || g.driverHeld != i)
    return kZqlErrCannotCreateCommunicationBuffer;
  const int rc = pthread_mutex_unlock(SlotLock(g.comBuf, i));
  g.driverHeld = -1;
  ShtRestore();
  return Locked(rc);
}

// ---------------------------------------------------------------------------
// Data segments
// ---------------------------------------------------------------------------

void ZqlIpcDropSegment(int i) {
  if (i < 0 || i >= kZqlIpcSlotCount) return;
  SZqlSegment& seg = g.segments[i];
  if (seg.addr != nullptr) shmdt(seg.addr);
  seg = SZqlSegment{};
}

SZqlSegment* ZqlIpcAttachSegment(int i, const linkinf& slot, EZqlError* code) {
  SZqlSegment& seg = g.segments[i];
  if (seg.addr != nullptr && seg.key == slot.segKey && seg.pid == slot.driverPid) return &seg;
  ZqlIpcDropSegment(i);
  *code = kZqlErrServerDiedConnectionLost;
  if (slot.driverPid <= 0 || slot.segSize < static_cast<int32_t>(kZqlReplyHeaderSize))
    return nullptr;
  const int id = shmget(slot.segKey, 0, 0);
  shmid_ds ds{};
  if (id < 0 || shmctl(id, IPC_STAT, &ds) != 0) return nullptr;
  if (ds.shm_perm.uid != geteuid()) {
    *code = kZqlErrCannotCreateCommunicationBuffer;
    return nullptr;
  }
  void* at = shmat(id, nullptr, 0);
  if (at == reinterpret_cast<void*>(-1)) return nullptr;
  const std::size_t claimed = static_cast<std::size_t>(slot.segSize);
  seg.key = slot.segKey;
  seg.pid = slot.driverPid;
  seg.addr = static_cast<unsigned char*>(at);
  seg.size = static_cast<uint32_t>(claimed < ds.shm_segsz ? claimed : ds.shm_segsz);
  *code = kZqlOk;
  return &seg;
}

void ZqlIpcRemoveOrphanSegment(const linkinf& slot) {
  if (slot.driverPid <= 0) return;
  const int id = shmget(slot.segKey, 0, 0);
  shmid_ds ds{};
  if (id < 0 || shmctl(id, IPC_STAT, &ds) != 0) return;
  if (ds.shm_perm.uid == geteuid() && ds.shm_cpid == slot.driverPid)
    shmctl(id, IPC_RMID, nullptr);
}

// ---------------------------------------------------------------------------
// Processes and waits
// ---------------------------------------------------------------------------

void ZqlIpcTrackChild(int32_t pid) {
  for (int i = 0; i < kMaxChildren; ++i) {
    if (g.children[i] == 0) {
      g.children[i] = pid;
      return;
    }
  }
}

void ZqlIpcReapChild(int32_t pid) {
  int status;
  while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  Untrack(pid);
}

int ZqlIpcProcessAlive(int32_t pid) {
  if (pid <= 0) return 0;
  const EChild child = ChildState(pid);
  if (child != EChild::kNotOurs) return child == EChild::kRunning ? 1 : 0;
  if (kill(pid, 0) != 0 && errno == ESRCH) return 0;
  return IsZombie(pid) ? 0 : 1;  // EPERM: alive, of another user
}

int32_t ZqlIpcSelf() {
  if (g.self == 0) {
    static const int registered = pthread_atfork(nullptr, nullptr, ForgetSelf);
    (void)registered;
    g.self = getpid();
  }
  return g.self;
}

void ZqlIpcSetComTraps() {
  const sigset_t block = TrapSet();
  sigprocmask(SIG_BLOCK, &block, &g.callerMask);
  g.replied = 0;
  g.expectFrom = 0;
  g.childSignals = 0;
}

void ZqlIpcRstComTraps() {
  // Taken from the caller by the wait: given back, now that it can be
  // delivered to the caller's disposition (or stay pending when the caller
  // blocks it).
  if (g.childSignals) raise(SIGCHLD);
  g.childSignals = 0;
  sigprocmask(SIG_SETMASK, &g.callerMask, nullptr);
}

int ZqlIpcAwait(int32_t pid, const volatile int32_t* status) {
  g.expectFrom = pid;
  auto answered = [&] {
    return status != nullptr && *status != kZqlSlotPending && *status != kZqlSlotStarting;
  };
  // Done at the driver's SIGUSR1: at start-up the signal is the answer; for
  // a request the slot's status must also have left the pending mark, so a
  // stray SIGUSR1 cannot end the wait early. The driver signals after it
  // wrote its status, and leaving before that signal came would hand it to
  // the caller's disposition; only when it merged with a stray one (and so
  // will not come) does the next liveness period end the wait.
  int periodsAtAnswer = -1;
  // At start-up pid's signal alone is the answer (a program that signals
  // without clearing the status is refused by the caller as no driver).
  const bool startup = status != nullptr && *status == kZqlSlotStarting;
  auto done = [&] {
    if (status == nullptr || (startup && g.replied)) return g.replied != 0;
    if (!answered()) return false;
    if (g.replied) return true;
    if (periodsAtAnswer < 0) periodsAtAnswer = g.alarms;
    return g.alarms > periodsAtAnswer;
  };
  if (g.waitHook != nullptr) g.waitHook();
  // Gone, unless its last word is still a pending SIGUSR1 to be taken.
  auto gone = [&] { return !ZqlIpcProcessAlive(pid) && !Pending(SIGUSR1); };
  const sigset_t set = TrapSet();
  const timespec period{static_cast<time_t>(kZqlIpcAlarmSeconds), 0};
  // The first liveness check comes early: a driver child of ours that ended
  // before the signals were blocked sent its SIGCHLD elsewhere, and only a
  // check shows its end. A prompt answer needs no check at all.
  const timespec* wait = &kFirstCheck;
  // A driver found stopped is looked at every kStoppedCheck; held stopped
  // for a whole period it ends the wait.
  long stoppedSince = -1;
  while (!done()) {
    siginfo_t info;
    const int sig = sigtimedwait(&set, &info, wait);
    if (sig > 0) {
      TakeSignal(sig, info);
      if (sig == SIGUSR1) continue;
    } else if (errno != EAGAIN) {
      continue;  // interrupted by a signal of the caller's
    } else if (wait == &period) {
      g.alarms = g.alarms + 1;
    }
    wait = &period;
    if (done()) break;
    if (gone()) return answered() ? 1 : 0;
    if (IsStopped(pid)) {
      const long now = MonotonicSeconds();
      if (stoppedSince < 0) stoppedSince = now;
      if (now - stoppedSince >= static_cast<long>(kZqlIpcAlarmSeconds)) return -1;
      wait = &kStoppedCheck;
    } else {
      stoppedSince = -1;
    }
  }
  return 1;
}

void ZqlIpcChildSignals() {
  struct sigaction dfl{};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  for (int sig : kFatalSignals) sigaction(sig, &dfl, nullptr);
  sigprocmask(SIG_SETMASK, &g.callerMask, nullptr);
}

// ---------------------------------------------------------------------------
// Test seams
// ---------------------------------------------------------------------------

void TEST_ZqlIpcSetWaitHook(void (*hook)()) { g.waitHook = hook; }
int TEST_ZqlIpcAlarmCount() { return g.alarms; }

int TEST_ZqlIpcDriverLocked(int i) {
  if (i < 0 || i >= kZqlIpcSlotCount || g.comBuf == nullptr) return -1;
  pthread_mutex_t* lock = SlotLock(g.comBuf, i);
  const int rc = pthread_mutex_trylock(lock);
  if (rc == EBUSY) return 1;
  if (TakenOver(lock, rc) != 0) return -1;
  pthread_mutex_unlock(lock);
  return 0;
}

void TEST_ZqlIpcReset() {
  DropSegments();
  if (g.comBuf != nullptr) shmdt(g.comBuf);
  Forget();
  g.comBufHeld = 0;
  g.driverHeld = -1;
  g.connections = 0;
  std::memset(g.slotConnections, 0, sizeof g.slotConnections);
  while (g.shtNesting > 0) ShtRestore();
}
