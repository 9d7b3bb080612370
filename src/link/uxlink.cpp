// Driver processes on Unix: starting a driver in a slot of the
// communication buffer, one request and its reply through the driver's data
// segment, and closing a connection.
//
// A driver's data segment stays attached between requests while the slot
// names the same driver process and segment; it is detached when this
// process's last connection to the slot closes or the buffer is left.

#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ipclink.h"
#include "uxlink.h"
#include "zqltry.h"

extern char** environ;

namespace {

// errno that stands for "the driver ended before it reported ready".
constexpr int kEndedBeforeReady = 255;
// Descriptor on which a child reports a failed exec to its parent.
constexpr int kExecErrorFd = 3;

struct SZqlSegment {
  int32_t key;          // the slot's segment key when attached
  int32_t pid;          // the slot's driver when attached
  unsigned char* addr;  // null when not attached
  uint32_t size;        // usable bytes
};

SZqlSegment gSegments[kZqlIpcSlotCount];

int Fail(int code) {
  ZqlIpcSetLastError(code);
  return 0;
}

// Sets the last error and answers it.
int Code(int code) {
  ZqlIpcSetLastError(code);
  return code;
}

int Raise(int code) {
  ZqlTryThrow(code, 0, 0);
  return 0;
}

bool ValidDriverPath(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  return std::strlen(path) <= static_cast<std::size_t>(kZqlMaxDriverPath);
}

int ErrnoToCode(int e) {
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

// Request traps for the lifetime of the object (or until reset).
class TrapScope {
 public:
  TrapScope() { SetComTraps(); }
  ~TrapScope() { reset(); }
  TrapScope(const TrapScope&) = delete;
  TrapScope& operator=(const TrapScope&) = delete;
  void reset() {
    if (on_) RstComTraps();
    on_ = false;
  }

 private:
  bool on_ = true;
};

// The semaphore of one driver slot, held for the lifetime of the object.
class DriverLock {
 public:
  explicit DriverLock(int slot) : slot_(LockDriver(slot) == 0 ? slot : -1) {}
  ~DriverLock() {
    if (slot_ >= 0) UnlockDriver(slot_);
  }
  DriverLock(const DriverLock&) = delete;
  DriverLock& operator=(const DriverLock&) = delete;
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

// ---------------------------------------------------------------------------
// Data segments
// ---------------------------------------------------------------------------

void DropSegment(int slot) {
  SZqlSegment& seg = gSegments[slot];
  if (seg.addr != nullptr) shmdt(seg.addr);
  seg = SZqlSegment{};
}

// The data segment of the driver in slot i, attached; null with *code set
// when it cannot be had.
SZqlSegment* AttachSegment(int i, const linkinf& slot, int* code) {
  SZqlSegment& seg = gSegments[i];
  if (seg.addr != nullptr && seg.key == slot.segKey && seg.pid == slot.driverPid) return &seg;
  DropSegment(i);
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
  return &seg;
}

// Removes the data segment a dead driver left behind (it cannot remove it
// itself once killed), when it is ours and was made by that driver.
void RemoveOrphanSegment(const linkinf& slot) {
  if (slot.driverPid <= 0) return;
  const int id = shmget(slot.segKey, 0, 0);
  shmid_ds ds{};
  if (id < 0 || shmctl(id, IPC_STAT, &ds) != 0) return;
  if (ds.shm_perm.uid == geteuid() && ds.shm_cpid == slot.driverPid)
    shmctl(id, IPC_RMID, nullptr);
}

int TakeReply(const SZqlSegment& seg, SZqlServer* server) {
  uint32_t length;
  std::memcpy(&length, seg.addr, sizeof length);
  if (length > seg.size - kZqlReplyHeaderSize) return Fail(kZqlErrInternalZQLError);
  unsigned char* reply = nullptr;
  if (length > 0) {
    reply = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(length));
    if (reply == nullptr) return Fail(kZqlErrInsufficientMemory);
    std::memcpy(reply, seg.addr + kZqlReplyHeaderSize, length);
  }
  ZqlMemoryNblkFree(server->reply);
  server->reply = reply;
  server->size = static_cast<int32_t>(length);
  return 1;
}

// ---------------------------------------------------------------------------
// Slots
// ---------------------------------------------------------------------------

// Counts one more connection of this process to slot i in the record.
void Connect(int i, const linkinf& slot, SZqlServer* server) {
  server->slot = i;
  server->driverValue = slot.value;
  ZqlIpcCountConnection(i, +1);
}

// Starts the driver in slot i (free, or in use by a driver that is gone).
// Answers 0, 0xB01A (counted all the same) or the start's error.
int StartInSlot(SZqlComBuf* buf, int i, const char* path, SZqlServer* server) {
  linkinf& slot = buf->slots[i];
  const bool restart = slot.state == kZqlSlotInUse;
  if (restart) {
    DropSegment(i);
    RemoveOrphanSegment(slot);
  }
  buf->loading = i;
  if (!LowLoadServer(&slot, path)) return ZqlIpcLastError();
  std::strncpy(slot.path, path, sizeof slot.path - 1);
  slot.path[sizeof slot.path - 1] = '\0';
  slot.connections = restart ? slot.connections + 1 : 1;
  slot.state = kZqlSlotInUse;
  Connect(i, slot, server);
  return ZqlIpcLastError();
}

// REQUIRES: the buffer lock is held.
int PickSlot(const char* path, SZqlServer* server) {
  SZqlComBuf* buf = ZqlIpcComBuf();
  int freeSlot = -1;
  for (int i = 0; i < kZqlIpcSlotCount; ++i) {
    linkinf& slot = buf->slots[i];
    if (slot.state == kZqlSlotInUse && std::strncmp(slot.path, path, sizeof slot.path) == 0) {
      if (!ZqlIpcProcessAlive(slot.driverPid)) return StartInSlot(buf, i, path, server);
      ++slot.connections;
      Connect(i, slot, server);
      return 0;
    }
    if (slot.state == kZqlSlotFree) freeSlot = i;  // the highest one wins
  }
  if (freeSlot < 0) return kZqlErrTooManyDriverLoaded;
  return StartInSlot(buf, freeSlot, path, server);
}

// Attaches this process to the buffer and counts it there.
bool AttachProcess(const char* iniPath) {
  SZqlComBuf* buf = CreateComBuf(iniPath);
  if (buf == nullptr) return false;
  ++buf->attached;
  return UnlockComBuf() == 0;
}

int LoadCode(const char* iniPath, const char* driverPath, SZqlServer* server) {
  ZqlIpcSetLastError(0);
  if (server == nullptr) return Code(kZqlErrInternalZQLError);
  server->slot = -1;
  if (!ValidDriverPath(driverPath)) return Code(kZqlErrDriverNameIsInvalid);
  if (ZqlIpcComBuf() == nullptr && !AttachProcess(iniPath))
    return Code(kZqlErrCannotCreateCommunicationBuffer);
  int code = kZqlErrCannotCreateCommunicationBuffer;
  if (LockComBuf() == 0) {
    code = PickSlot(driverPath, server);
    if (UnlockComBuf() != 0 && code == 0) code = kZqlErrCannotCreateCommunicationBuffer;
  }
  // A process left without connections leaves the buffer, whatever failed.
  if (code != 0 && ZqlIpcConnections() == 0 && ZqlIpcComBuf() != nullptr) DeleteComBuf();
  return Code(code);
}

void StopDriver(linkinf& slot) {
  slot.connections = 0;
  slot.state = kZqlSlotStopping;
  if (slot.driverPid > 0) kill(slot.driverPid, SIGUSR2);
  slot.state = kZqlSlotFree;
}

}  // namespace

void ZqlIpcDropSegments() {
  for (int i = 0; i < kZqlIpcSlotCount; ++i) DropSegment(i);
}

// ---------------------------------------------------------------------------
// Low functions
// ---------------------------------------------------------------------------

int LowLoadServer(linkinf* slot, const char* driverPath) {
  ZqlIpcSetLastError(0);
  if (slot == nullptr) return Fail(kZqlErrInternalZQLError);
  if (!ValidDriverPath(driverPath)) return Fail(kZqlErrDriverNameIsInvalid);
  slot->clientPid = ZqlIpcSelf();
  slot->status = kZqlErrProgramReferencedInZQLINIIsNotAnZQLDrive;
  slot->driverPid = -1;
  SZqlExecPlan plan{};
  PreparePlan(&plan, driverPath);
  TrapScope traps;
  int error = 0;
  const pid_t pid = Spawn(plan, &error);
  if (pid < 0) return Fail(ErrnoToCode(error));
  if (!ZqlIpcAwait(pid, nullptr)) return Fail(ErrnoToCode(kEndedBeforeReady));
  if (slot->status != 0) ZqlIpcSetLastError(kZqlErrProgramReferencedInZQLINIIsNotAnZQLDrive);
  return 1;
}

int LowCallDriver(linkinf* slot, SZqlServer* server) {
  ZqlIpcSetLastError(0);
  SZqlComBuf* buf = ZqlIpcComBuf();
  if (buf == nullptr) return Fail(kZqlErrCannotCreateCommunicationBuffer);
  const long index = slot - buf->slots;
  if (server == nullptr || index < 0 || index >= kZqlIpcSlotCount)
    return Fail(kZqlErrInternalZQLError);
  if (server->size < 0 || (server->size > 0 && server->request == nullptr))
    return Fail(kZqlErrInternalZQLError);
  DriverLock lock(static_cast<int>(index));
  if (!lock.held()) return Fail(kZqlErrCannotCreateCommunicationBuffer);
  slot->clientPid = ZqlIpcSelf();
  int code = 0;
  SZqlSegment* seg = AttachSegment(static_cast<int>(index), *slot, &code);
  if (seg == nullptr) return Fail(code);
  // Refused before anything is written: the segment holds no more.
  if (static_cast<uint32_t>(server->size) > seg->size)
    return Fail(kZqlErrErrorFoundInDBMSCommunication);
  if (server->size > 0) std::memcpy(seg->addr, server->request, server->size);
  const int32_t pid = slot->driverPid;
  slot->status = kZqlSlotPending;
  TrapScope traps;
  if (pid <= 0 || kill(pid, SIGUSR1) != 0 || !ZqlIpcAwait(pid, &slot->status))
    return Fail(kZqlErrServerDiedConnectionLost);
  traps.reset();
  const int32_t status = slot->status;
  if (status != 0) return Fail(status);
  return TakeReply(*seg, server);
}

// ---------------------------------------------------------------------------
// Connections
// ---------------------------------------------------------------------------

int LoadServerOnUnix(const char* iniPath, const char* driverPath, SZqlServer* server) {
  const int code = LoadCode(iniPath, driverPath, server);
  return code != 0 ? Raise(code) : 1;
}

int ZqlIpcSendRequest(SZqlServer* server) {
  ZqlIpcSetLastError(0);
  SZqlComBuf* buf = ZqlIpcComBuf();
  if (buf == nullptr) return Code(kZqlErrCannotCreateCommunicationBuffer);
  if (server == nullptr || server->slot < 0 || server->slot >= kZqlIpcSlotCount)
    return Code(kZqlErrInternalZQLError);
  linkinf* slot = &buf->slots[server->slot];
  if (LowCallDriver(slot, server)) return 0;
  const int code = ZqlIpcLastError();
  if (code == kZqlErrProgramReferencedInZQLINIIsNotAnZQLDrive) slot->path[0] = '\0';
  return code;
}

int SendDataToServer(SZqlServer* server) {
  const int code = ZqlIpcSendRequest(server);
  return code != 0 ? Raise(code) : 1;
}

int ZqlIpcCloseConnection(int slot, int* stopped) {
  if (stopped != nullptr) *stopped = 0;
  ZqlIpcSetLastError(0);
  SZqlComBuf* buf = ZqlIpcComBuf();
  if (buf == nullptr) return Code(kZqlErrCannotCreateCommunicationBuffer);
  if (slot < 0 || slot >= kZqlIpcSlotCount) return Code(kZqlErrInternalZQLError);
  if (LockComBuf() != 0) return Code(kZqlErrCannotCreateCommunicationBuffer);
  linkinf& s = buf->slots[slot];
  if (s.state != kZqlSlotInUse) {
    UnlockComBuf();
    return Code(kZqlErrInternalZQLError);
  }
  if (--s.connections <= 0) {
    StopDriver(s);
    if (stopped != nullptr) *stopped = 1;
  }
  int code = UnlockComBuf() == 0 ? 0 : kZqlErrCannotCreateCommunicationBuffer;
  ZqlIpcCountConnection(slot, -1);
  if (ZqlIpcSlotConnections(slot) == 0) DropSegment(slot);
  if (ZqlIpcConnections() == 0 && !DeleteComBuf()) code = ZqlIpcLastError();
  return Code(code);
}

int DisconServerOnUnix(int slot) {
  int stopped = 0;
  const int code = ZqlIpcCloseConnection(slot, &stopped);
  if (code != 0) return Raise(code);
  return stopped ? 0 : 1;
}
