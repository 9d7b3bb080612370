// Driver processes on Unix: starting a driver in a slot of the
// communication buffer, one request and its reply through the driver's data
// segment, and closing a connection.
//
// A driver's data segment stays attached between requests while the slot
// names the same driver process and segment; it is detached when this
// process's last connection to the slot closes or the buffer is left.

#include "uxlink.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ipcux.h"
#include "zqlspin.h"

extern char** environ;

namespace {

// errno that stands for "the driver ended before it reported ready".
constexpr int kEndedBeforeReady = 255;
// Descriptor on which a child reports a failed exec to its parent.
constexpr int kExecErrorFd = 3;
// The failure of a program that reported in without clearing its status:
// the status it left.
constexpr EZqlError kNotADriver = static_cast<EZqlError>(kZqlSlotStarting);

bool ValidDriverPath(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  return std::strlen(path) <= static_cast<std::size_t>(kZqlMaxDriverPath);
}

EZqlError ErrnoToCode(int e) {
  switch (e) {
    case EACCES: return kZqlErrAccessDenied;
    case ENAMETOOLONG: return kZqlErrCannotOpenZQLDriverFile;
    case ENOENT:
    case ENOTDIR: return kZqlErrPathNotFound;
    case ENOEXEC: return kZqlErrInvalidZQLDriverExecutableFormat;
    case ENOMEM: return kZqlErrInsufficientVirtualMemorySpace;
    case kEndedBeforeReady: return kZqlErrErrorFoundDuringDriverInitialization;
    default: return kZqlErrOperatingSystemError;
  }
}

// ---------------------------------------------------------------------------
// The client's moves on a slot
// ---------------------------------------------------------------------------

enum class ESlotMove {
  kStart,    // the driver is about to be started in the slot
  kStarted,  // the driver reported in: the slot is in use
  kSend,     // a request is about to be announced to the driver
  kReplied,  // the wait for the driver's answer ended
  kStop,     // the driver's last connection closed: stop it, free the slot
};

// The status word is shared with the driver: read with acquire and written
// with release order, so that what it guards (the slot's fields, the data
// segment) is seen complete on the other side.
int32_t StatusOf(const linkinf& slot) { return __atomic_load_n(&slot.status, __ATOMIC_ACQUIRE); }

void SetStatus(linkinf* slot, EZqlSlotStatus status) {
  __atomic_store_n(&slot->status, int32_t{status}, __ATOMIC_RELEASE);
}

// A slot a driver may be started in. Under the buffer lock, a slot still
// stopping was left so by a client that ended while it stopped the driver.
bool Startable(const linkinf& slot) {
  return slot.state == kZqlSlotFree || slot.state == kZqlSlotStopping;
}

// Makes move on slot and answers what it tells: kZqlOk, the slot's own
// failure, or kZqlErrInternalZQLError for a slot in a state the move
// cannot come from. REQUIRES: the buffer lock for kStart, kStarted and
// kStop, the slot's driver lock for kSend and kReplied.
EZqlError Move(linkinf* slot, ESlotMove move) {
  ZQL_ASSERT(move == ESlotMove::kSend || move == ESlotMove::kReplied
                 ? ZqlIpcHoldsDriver(static_cast<int>(slot - ZqlIpcComBuf()->slots))
                 : ZqlIpcHoldsComBuf());
  switch (move) {
    case ESlotMove::kStart:
      if (!Startable(*slot) && slot->state != kZqlSlotInUse) return kZqlErrInternalZQLError;
      slot->clientPid = ZqlIpcSelf();
      slot->driverPid = -1;
      // The new driver says itself whether it keeps the wake words.
      slot->spin = 0;
      slot->requestWake = 0;
      slot->replyWake = 0;
      SetStatus(slot, kZqlSlotStarting);
      return kZqlOk;
    case ESlotMove::kStarted:
      // A program that did not clear the status is counted all the same:
      // its connection is released like any other.
      slot->state = kZqlSlotInUse;
      return StatusOf(*slot) == kZqlSlotReady ? kZqlOk : kNotADriver;
    case ESlotMove::kSend:
      if (slot->state != kZqlSlotInUse) return kZqlErrInternalZQLError;
      SetStatus(slot, kZqlSlotPending);
      return kZqlOk;
    case ESlotMove::kReplied: {
      const int32_t status = StatusOf(*slot);
      switch (status) {
        case kZqlSlotReady: return kZqlOk;
        case kZqlSlotStarting: return kNotADriver;
        case kZqlSlotPending: return kZqlErrInternalZQLError;  // the wait ends only after it
        default: return static_cast<EZqlError>(status);       // a driver's refusal
      }
    }
    case ESlotMove::kStop:
      if (slot->state != kZqlSlotInUse) return kZqlErrInternalZQLError;
      slot->connections = 0;
      slot->state = kZqlSlotStopping;
      if (slot->driverPid > 0) kill(slot->driverPid, SIGUSR2);
      slot->state = kZqlSlotFree;
      return kZqlOk;
  }
  return kZqlErrInternalZQLError;
}

// Request traps for the lifetime of the object.
class CTrapScope {
 public:
  CTrapScope() { ZqlIpcSetComTraps(); }
  ~CTrapScope() { ZqlIpcRstComTraps(); }
  CTrapScope(const CTrapScope&) = delete;
  CTrapScope& operator=(const CTrapScope&) = delete;
};

// The semaphore of one driver slot, held for the lifetime of the object.
class CDriverLock {
 public:
  explicit CDriverLock(int slot) : slot_(ZqlIpcLockDriver(slot) == kZqlOk ? slot : -1) {}
  ~CDriverLock() {
    if (slot_ >= 0) ZqlIpcUnlockDriver(slot_);
  }
  CDriverLock(const CDriverLock&) = delete;
  CDriverLock& operator=(const CDriverLock&) = delete;
  bool held() const { return slot_ >= 0; }

 private:
  int slot_;
};

// ---------------------------------------------------------------------------
// Starting a driver
// ---------------------------------------------------------------------------

// Everything the child needs, prepared before fork: between fork and exec
// the child may only make async-signal-safe calls.
struct SZqlExecPlan {
  const char* path;
  char keyText[16];
  char* argv[3];
  int errorFd;  // write end of the exec-error pipe
  long maxFd;   // descriptors to close when close_range is missing
};

void CloseFrom(int first, long maxFd) {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, 0U) == 0) return;
#endif
  for (long fd = first; fd < maxFd; ++fd) close(static_cast<int>(fd));
}

// The child: a session of its own (a terminal's interrupt to one client
// must not stop a driver that all clients share), only descriptors 0-2
// inherited, default signal handling, then the driver.
[[noreturn]] void ExecDriver(const SZqlExecPlan& plan) {
  ZqlIpcChildSignals();
  setsid();
  if (plan.errorFd != kExecErrorFd) dup2(plan.errorFd, kExecErrorFd);
  fcntl(kExecErrorFd, F_SETFD, FD_CLOEXEC);
  CloseFrom(kExecErrorFd + 1, plan.maxFd);
  execve(plan.path, plan.argv, environ);
  const int error = errno;
  ssize_t ignored = write(kExecErrorFd, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

void PreparePlan(SZqlExecPlan* plan, const char* path) {
  plan->path = path;
  std::snprintf(plan->keyText, sizeof plan->keyText, "%d", static_cast<int>(ZqlIpcKey()));
  plan->argv[0] = const_cast<char*>(path);
  plan->argv[1] = plan->keyText;
  plan->argv[2] = nullptr;
  plan->maxFd = sysconf(_SC_OPEN_MAX);
  if (plan->maxFd < 0) plan->maxFd = 1024;
}

// The errno of a failed exec, or 0 once exec succeeded (the pipe closed).
int ReadExecError(int fd) {
  int error = 0;
  ssize_t n;
  while ((n = read(fd, &error, sizeof error)) == -1 && errno == EINTR) {
  }
  return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

// Forks and execs the driver; answers its pid, or -1 with *error set.
pid_t Spawn(const SZqlExecPlan& proto, int* error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = errno;
    return -1;
  }
  SZqlExecPlan plan = proto;
  plan.argv[1] = plan.keyText;
  plan.errorFd = fds[1];
  const pid_t pid = fork();
  if (pid == 0) ExecDriver(plan);
  *error = errno;
  close(fds[1]);
  if (pid > 0) {
    ZqlIpcTrackChild(pid);
    *error = ReadExecError(fds[0]);
    if (*error != 0) ZqlIpcReapChild(pid);
  }
  close(fds[0]);
  return *error != 0 ? -1 : pid;
}

// Starts the driver at path for slot (header word 0 names it already) and
// waits until it reports in. kZqlOk, kNotADriver when it did
// not clear its status (the slot is in use all the same), or the start's
// failure. REQUIRES: the buffer lock is held.
EZqlError StartDriver(linkinf* slot, const char* path) {
  ZQL_ASSERT(ZqlIpcHoldsComBuf());
  const EZqlError code = Move(slot, ESlotMove::kStart);
  if (code != kZqlOk) return code;
  SZqlExecPlan plan{};
  PreparePlan(&plan, path);
  CTrapScope traps;
  int error = 0;
  const pid_t pid = Spawn(plan, &error);
  if (pid < 0) return ErrnoToCode(error);
  // The status tells the start's answer too: a SIGUSR1 that merged with a
  // stray one (a late reply of the driver this one replaces) must not leave
  // the wait to the driver's lifetime while this process holds the buffer
  // lock the driver's first idle check waits for.
  const int waited = ZqlIpcAwait(pid, &slot->status);
  if (waited < 0) {
    // Held stopped before it reported in: it is no driver of this slot.
    kill(pid, SIGKILL);
    ZqlIpcReapChild(pid);
  }
  if (waited != 1) return ErrnoToCode(kEndedBeforeReady);
  return Move(slot, ESlotMove::kStarted);
}

// ---------------------------------------------------------------------------
// Slots
// ---------------------------------------------------------------------------

// Counts one more connection of this process to slot i in the record.
void Count(int i, const linkinf& slot, SZqlServer* server) {
  server->slot = i;
  server->driverValue = slot.value;
  ZqlIpcCountConnection(i, +1);
}

bool Counted(EZqlError code) { return code == kZqlOk || code == kNotADriver; }

// Starts the driver in slot i (free, or in use by a driver that is gone).
// Answers kZqlOk, kNotADriver (counted all the same) or the
// start's failure.
EZqlError StartInSlot(SZqlComBuf* buf, int i, const char* path, SZqlServer* server) {
  linkinf& slot = buf->slots[i];
  const bool restart = slot.state == kZqlSlotInUse;
  if (restart) {
    ZqlIpcDropSegment(i);
    ZqlIpcRemoveOrphanSegment(slot);
  }
  buf->loading = i;
  const EZqlError code = StartDriver(&slot, path);
  if (!Counted(code)) return code;
  std::strncpy(slot.path, path, sizeof slot.path - 1);
  slot.path[sizeof slot.path - 1] = '\0';
  slot.connections = restart ? slot.connections + 1 : 1;
  Count(i, slot, server);
  return code;
}

// REQUIRES: the buffer lock is held.
EZqlError PickSlot(const char* path, SZqlServer* server) {
  ZQL_ASSERT(ZqlIpcHoldsComBuf());
  SZqlComBuf* buf = ZqlIpcComBuf();
  int freeSlot = -1;
  for (int i = 0; i < kZqlIpcSlotCount; ++i) {
    linkinf& slot = buf->slots[i];
    if (slot.state == kZqlSlotInUse && std::strncmp(slot.path, path, sizeof slot.path) == 0) {
      if (!ZqlIpcProcessAlive(slot.driverPid)) return StartInSlot(buf, i, path, server);
      ++slot.connections;
      Count(i, slot, server);
      return kZqlOk;
    }
    if (Startable(slot)) freeSlot = i;  // the highest one wins
  }
  if (freeSlot < 0) return kZqlErrTooManyDriverLoaded;
  return StartInSlot(buf, freeSlot, path, server);
}

// Attaches this process to the buffer and counts it there.
EZqlError AttachProcess(const char* iniPath) {
  if (ZqlIpcCreateComBuf(iniPath) != kZqlOk) return kZqlErrCannotCreateCommunicationBuffer;
  ++ZqlIpcComBuf()->attached;
  ZqlIpcJoinClients();
  return ZqlIpcUnlockComBuf();
}

// The reply in the data segment into the record.
EZqlError TakeReply(const SZqlSegment& seg, SZqlServer* server) {
  uint32_t length;
  std::memcpy(&length, seg.addr, sizeof length);
  if (length > seg.size - kZqlReplyHeaderSize) return kZqlErrInternalZQLError;
  if (length > 0 && (server->reply == nullptr || length > server->replyRoom)) {
    // The kept buffer grows to the largest reply seen.
    auto* grown = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(length));
    if (grown == nullptr) return kZqlErrInsufficientMemory;
    ZqlMemoryNblkFree(server->reply);
    server->reply = grown;
    server->replyRoom = length;
  }
  if (length > 0) std::memcpy(server->reply, seg.addr + kZqlReplyHeaderSize, length);
  server->size = static_cast<int32_t>(length);
  return kZqlOk;
}

// This process's spin plan (zqlspin.h), read at its first request.
const SZqlSpinPlan& Spin() {
  static const SZqlSpinPlan plan = ZqlSpinPlanOf();
  return plan;
}

// Sequence of this process's wake tokens.
uint32_t gWakeSequence = 0;

// The wait of a request announced to a driver that keeps the wake words,
// with token in the slot's replyWake: spins for the answer, then sleeps
// for the signal. 1 answered, 0 the driver died, -1 it is held stopped.
// No signal is blocked while spinning: the driver signals only a client
// marked asleep, and a driver child's SIGCHLD missed meanwhile is made up
// for by the wait's early liveness check.
int SpinThenAwait(linkinf* slot, int32_t pid, int32_t token) {
  // As the wait takes it: a slot whose dead driver another client restarts
  // meanwhile (Starting) has not answered.
  auto answered = [slot] {
    const int32_t status = StatusOf(*slot);
    return status != kZqlSlotPending && status != kZqlSlotStarting;
  };
  if (ZqlSpinUntil(Spin(), answered)) return 1;
  CTrapScope traps;  // before the mark: the driver may signal right after it
  if (!ZqlWakeSleep(&slot->replyWake, token)) return 1;  // answered meanwhile, unsignalled
  return ZqlIpcAwait(pid, &slot->status);
}

// One exchange with the driver of slot i: request in, signal, wait, reply
// out, all under the driver's lock.
EZqlError CallDriver(SZqlComBuf* buf, int i, SZqlServer* server) {
  linkinf* slot = &buf->slots[i];
  if (server->size < 0 || (server->size > 0 && server->request == nullptr))
    return kZqlErrInternalZQLError;
  CDriverLock lock(i);
  if (!lock.held()) return kZqlErrCannotCreateCommunicationBuffer;
  slot->clientPid = ZqlIpcSelf();
  EZqlError code = kZqlOk;
  SZqlSegment* seg = ZqlIpcAttachSegment(i, *slot, &code);
  if (seg == nullptr) return code;
  // Refused before anything is written: the segment holds no more.
  if (static_cast<uint32_t>(server->size) > seg->size) return kZqlErrErrorFoundInDBMSCommunication;
  if (server->size > 0) std::memcpy(seg->addr, server->request, server->size);
  const int32_t pid = slot->driverPid;
  if (pid <= 0) return kZqlErrServerDiedConnectionLost;
  // A driver that keeps the wake words is signalled only when it sleeps,
  // and answers a client that still spins without a signal.
  const bool aware = slot->spin == kZqlSpinAware;
  const bool spin = aware && Spin().windowNs > 0;
  const int32_t token = spin ? ZqlWakeToken(++gWakeSequence) : 0;
  // Published by the status; 0 asks for the signal. Atomic: a driver late
  // with the previous reply's wake may still try its token.
  if (aware) __atomic_store_n(&slot->replyWake, token, __ATOMIC_RELAXED);
  const int32_t driverToken = aware ? __atomic_load_n(&slot->requestWake, __ATOMIC_ACQUIRE) : 0;
  auto announce = [&] {
    if (aware && !ZqlWakeNeedsSignal(&slot->requestWake, driverToken)) return true;
    return kill(pid, SIGUSR1) == 0;
  };
  int waited;
  if (spin) {
    code = Move(slot, ESlotMove::kSend);
    if (code != kZqlOk) return code;
    if (!announce()) return kZqlErrServerDiedConnectionLost;
    waited = SpinThenAwait(slot, pid, token);
  } else {
    // Blocked before the request is out: a spinning driver may answer it
    // before any signal of ours.
    CTrapScope traps;
    code = Move(slot, ESlotMove::kSend);
    if (code != kZqlOk) return code;
    if (!announce()) return kZqlErrServerDiedConnectionLost;
    waited = ZqlIpcAwait(pid, &slot->status);
  }
  if (waited < 0) {
    // The driver is held stopped: its reply, should it come once it runs
    // again, is for no one.
    slot->clientPid = 0;
    return kZqlErrErrorFoundInDBMSCommunication;
  }
  // Another client may have restarted the slot under the buffer lock while
  // this one waited for a driver that died: the new driver's status is no
  // answer, and the segment holds no reply.
  if (waited == 0 || slot->driverPid != pid) return kZqlErrServerDiedConnectionLost;
  code = Move(slot, ESlotMove::kReplied);
  return code != kZqlOk ? code : TakeReply(*seg, server);
}

}  // namespace

// ---------------------------------------------------------------------------
// Connections
// ---------------------------------------------------------------------------

EZqlError ZqlLoadServerOnUnix(const char* iniPath, const char* driverPath, SZqlServer* server) {
  if (server == nullptr) return kZqlErrInternalZQLError;
  server->slot = -1;
  if (!ValidDriverPath(driverPath)) return kZqlErrDriverNameIsInvalid;
  if (ZqlIpcComBuf() == nullptr && AttachProcess(iniPath) != kZqlOk)
    return kZqlErrCannotCreateCommunicationBuffer;
  EZqlError code = ZqlIpcLockComBuf();
  if (code == kZqlOk) {
    code = PickSlot(driverPath, server);
    if (ZqlIpcUnlockComBuf() != kZqlOk && code == kZqlOk)
      code = kZqlErrCannotCreateCommunicationBuffer;
  }
  // A process left without connections leaves the buffer, whatever failed.
  if (code != kZqlOk && ZqlIpcConnections() == 0 && ZqlIpcComBuf() != nullptr)
    ZqlIpcDeleteComBuf();
  return code;
}

EZqlError ZqlSendDataToServer(SZqlServer* server) {
  SZqlComBuf* buf = ZqlIpcComBuf();
  if (buf == nullptr) return kZqlErrCannotCreateCommunicationBuffer;
  if (server == nullptr || server->slot < 0 || server->slot >= kZqlIpcSlotCount)
    return kZqlErrInternalZQLError;
  const EZqlError code = CallDriver(buf, server->slot, server);
  if (code == kNotADriver) buf->slots[server->slot].path[0] = '\0';
  return code;
}

EZqlError ZqlDisconServerOnUnix(int slot, bool* stopped) {
  if (stopped != nullptr) *stopped = false;
  SZqlComBuf* buf = ZqlIpcComBuf();
  if (buf == nullptr) return kZqlErrCannotCreateCommunicationBuffer;
  if (slot < 0 || slot >= kZqlIpcSlotCount) return kZqlErrInternalZQLError;
  if (ZqlIpcLockComBuf() != kZqlOk) return kZqlErrCannotCreateCommunicationBuffer;
  linkinf& s = buf->slots[slot];
  if (s.state != kZqlSlotInUse) {
    ZqlIpcUnlockComBuf();
    return kZqlErrInternalZQLError;
  }
  if (--s.connections <= 0) {
    Move(&s, ESlotMove::kStop);
    if (stopped != nullptr) *stopped = true;
  }
  // Counted off under the lock: the client table must agree with the slot
  // whenever a driver looks.
  ZqlIpcCountConnection(slot, -1);
  EZqlError code = ZqlIpcUnlockComBuf();
  if (ZqlIpcSlotConnections(slot) == 0) ZqlIpcDropSegment(slot);
  if (ZqlIpcConnections() == 0) {
    const EZqlError left = ZqlIpcDeleteComBuf();
    if (left != kZqlOk) code = left;
  }
  return code;
}

EZqlError ZqlInterruptServerOnUnix(const SZqlInterrupt& target) {
  const int slot = target.slot;
  const uint32_t connection = target.connection;
  if (slot < 0) return kZqlErrConnectionDoesNotExist;
  SZqlComBuf* buf = ZqlIpcComBuf();
  if (buf == nullptr) return kZqlErrCannotCreateCommunicationBuffer;
  if (slot >= kZqlIpcSlotCount || connection == 0) return kZqlErrInternalZQLError;
  linkinf& s = buf->slots[slot];
  const int32_t pid = __atomic_load_n(&s.driverPid, __ATOMIC_ACQUIRE);
  if (__atomic_load_n(&s.state, __ATOMIC_ACQUIRE) != kZqlSlotInUse || pid <= 0)
    return kZqlErrServerDiedConnectionLost;
  // A driver with no request pending runs nothing to stop; an interrupt
  // sent now could only meet the next request.
  if (__atomic_load_n(&s.status, __ATOMIC_ACQUIRE) != kZqlSlotPending) return kZqlOk;
  const timespec pause{0, 1000000};
  for (int tries = 0;; ++tries) {
    int32_t none = 0;
    if (__atomic_compare_exchange_n(&s.interrupt, &none, static_cast<int32_t>(connection), false,
                                    __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
      break;
    if (none == static_cast<int32_t>(connection)) break;  // already asked for
    if (tries == 100) return kZqlErrErrorFoundInDBMSCommunication;
    nanosleep(&pause, nullptr);
  }
  return kill(pid, kZqlIpcInterruptSignal) == 0 ? kZqlOk : kZqlErrServerDiedConnectionLost;
}
