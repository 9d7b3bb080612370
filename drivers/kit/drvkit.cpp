// The driver's side of the driver link: handshake, request loop, stop.

#include <pthread.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "objpack.h"
#include "zqldrvkit.h"
#include "zqlspin.h"

namespace {

constexpr int kStopSignals[] = {SIGUSR2, SIGTERM, SIGINT, SIGHUP, SIGQUIT};
constexpr int kFatalSignals[] = {SIGILL, SIGABRT, SIGFPE, SIGBUS, SIGSEGV, SIGSYS};
// Room for a reply that tells only its outcome, and then some.
constexpr uint32_t kMinSegment = 64;
constexpr uint32_t kPackHeader = 8;  // marker and total length of a request
constexpr int kKeyAttempts = 64;

// The data segment to remove on the way out, -1 when none.
volatile sig_atomic_t gSegmentId = -1;

void RemoveSegment() {
  const int id = gSegmentId;
  gSegmentId = -1;
  if (id >= 0) shmctl(id, IPC_RMID, nullptr);
}

void FatalHandler(int sig) {
  RemoveSegment();
  signal(sig, SIG_DFL);
  raise(sig);
}

void InstallExitPaths() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(RemoveSegment);
  struct sigaction act{};
  act.sa_handler = FatalHandler;
  act.sa_flags = SA_RESETHAND;
  sigemptyset(&act.sa_mask);
  for (int sig : kFatalSignals) sigaction(sig, &act, nullptr);
}

// Requests and stop signals are taken synchronously in Run.
sigset_t LoopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGUSR1);
  for (int sig : kStopSignals) sigaddset(&set, sig);
  return set;
}

bool ParseKey(const char* text, int32_t* key) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  *key = static_cast<int32_t>(value);
  return true;
}

// The driver's moves on its slot's status.
enum class EDrvMove {
  kClaim,   // start-up: is a client starting this slot (status Starting, no driver)?
  kReady,   // start-up done, the slot's fields filled in: Starting -> Ready
  kTake,    // a SIGUSR1 came: is a request pending (Pending)? Else it is a stray
  kAnswer,  // the reply lies in the segment: Pending -> Ready
};

// Makes move and answers whether the slot was in the state the move comes
// from; a move that finds another state changes nothing. The status is
// shared with the client: it is read with acquire and written with release
// order, so that what it guards (the slot's fields, the segment) is seen
// complete.
bool Move(linkinf& slot, EDrvMove move) {
  const int32_t status = __atomic_load_n(&slot.status, __ATOMIC_ACQUIRE);
  switch (move) {
    case EDrvMove::kClaim: return slot.driverPid == -1 && status == kZqlSlotStarting;
    case EDrvMove::kTake: return status == kZqlSlotPending;
    case EDrvMove::kReady:
      if (status != kZqlSlotStarting) return false;
      slot.driverPid = getpid();
      __atomic_store_n(&slot.status, int32_t{kZqlSlotReady}, __ATOMIC_RELEASE);
      return true;
    case EDrvMove::kAnswer:
      if (status != kZqlSlotPending) return false;
      __atomic_store_n(&slot.status, int32_t{kZqlSlotReady}, __ATOMIC_RELEASE);
      return true;
  }
  return false;
}

// Candidate keys for the data segment, spread by process id and attempt.
key_t CandidateKey(int attempt) {
  const uint32_t pid = static_cast<uint32_t>(getpid());
  const uint32_t mixed = (pid * 2654435761u) ^ (static_cast<uint32_t>(attempt) * 0x9E3779B9u) ^
                         0x5A514C00u;
  return static_cast<key_t>(mixed);
}

long MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec);
}

// A process that no longer runs: gone, or ended and not yet reaped (its
// state in /proc is Z or X). One of another user counts as running.
bool ProcessGone(int32_t pid) {
  if (pid <= 0) return false;
  if (kill(pid, 0) != 0) return errno == ESRCH;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[256];
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return false;
  text[n] = '\0';
  const char* paren = std::strrchr(text, ')');
  return paren != nullptr && paren[1] == ' ' && (paren[2] == 'Z' || paren[2] == 'X');
}

// One semop with SEM_UNDO on the buffer's lock, retried on EINTR: a driver
// killed while it holds the lock releases it.
bool BufferLock(int semId, int delta) {
  sembuf op{};
  op.sem_num = static_cast<unsigned short>(kZqlIpcSemComBuf);
  op.sem_op = static_cast<short>(delta);
  op.sem_flg = SEM_UNDO;
  while (semop(semId, &op, 1) == -1)
    if (errno != EINTR) return false;
  return true;
}

}  // namespace

CZqlDrvKit::CZqlDrvKit() = default;

CZqlDrvKit::~CZqlDrvKit() { Close(); }

linkinf& CZqlDrvKit::slotInfo() const { return comBuf_->slots[slot_]; }

int32_t CZqlDrvKit::ClientPid() const {
  if (comBuf_ == nullptr || slot_ < 0) return 0;
  return __atomic_load_n(&slotInfo().clientPid, __ATOMIC_ACQUIRE);
}

int32_t CZqlDrvKit::attachBuffer(int32_t key) {
  comId_ = shmget(key, kZqlComBufSize, 0);
  shmid_ds ds{};
  if (comId_ < 0 || shmctl(comId_, IPC_STAT, &ds) != 0)
    return kZqlErrCannotCreateCommunicationBuffer;
  if (ds.shm_perm.uid != geteuid() || ds.shm_segsz < kZqlComBufSize)
    return kZqlErrCannotCreateCommunicationBuffer;
  void* at = shmat(comId_, nullptr, 0);
  if (at == reinterpret_cast<void*>(-1)) return kZqlErrCannotCreateCommunicationBuffer;
  comBuf_ = static_cast<SZqlComBuf*>(at);
  clientTable_ = ds.shm_segsz >= kZqlComSegSize;
  // The semaphores, for the dead clients' bookkeeping; only a set of ours.
  semid_ds sds{};
  const int sem = semget(key, 0, 0);
  if (sem >= 0 && semctl(sem, 0, IPC_STAT, &sds) == 0 && sds.sem_perm.uid == geteuid())
    semId_ = sem;
  return 0;
}

int32_t CZqlDrvKit::createSegment(uint32_t size) {
  for (int attempt = 0; attempt < kKeyAttempts; ++attempt) {
    const key_t key = CandidateKey(attempt);
    if (key == IPC_PRIVATE || key == static_cast<key_t>(-1)) continue;
    const int id = shmget(key, size, IPC_CREAT | IPC_EXCL | kZqlIpcMode);
    if (id < 0 && errno == EEXIST) continue;
    if (id < 0) return kZqlErrCannotCreateCommunicationBuffer;
    gSegmentId = id;
    void* at = shmat(id, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) return kZqlErrCannotCreateCommunicationBuffer;
    seg_ = static_cast<unsigned char*>(at);
    segSize_ = size;
    linkinf& slot = slotInfo();
    slot.segKey = key;
    slot.segSize = static_cast<int32_t>(size);
    return 0;
  }
  return kZqlErrCannotCreateCommunicationBuffer;
}

int32_t CZqlDrvKit::Start(int argc, char** argv, const SZqlDrvOptions& options) {
  int32_t key = 0;
  if (argc < 2 || argv == nullptr || !ParseKey(argv[1], &key))
    return kZqlErrInvalidFunctionArguments;
  uint32_t size = options.segmentSize < kMinSegment ? kMinSegment : options.segmentSize;
  if (size > static_cast<uint32_t>(INT32_MAX)) size = static_cast<uint32_t>(INT32_MAX);
  // Blocked before the client hears of us: a request that comes at once
  // must wait for Run, not meet SIGUSR1's default action.
  const sigset_t loop = LoopSignals();
  sigprocmask(SIG_BLOCK, &loop, nullptr);
  // Blocked in every thread: only the interrupt thread takes it.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, kZqlIpcInterruptSignal);
  sigprocmask(SIG_BLOCK, &interrupt, nullptr);
  InstallExitPaths();
  int32_t code = attachBuffer(key);
  if (code != 0) return code;
  slot_ = comBuf_->loading;
  if (slot_ < 0 || slot_ >= kZqlIpcSlotCount) return kZqlErrErrorFoundDuringDriverInitialization;
  linkinf& slot = slotInfo();
  if (!Move(slot, EDrvMove::kClaim)) return kZqlErrErrorFoundDuringDriverInitialization;
  code = createSegment(size);
  if (code != 0) return code;
  slot.value = options.value;
  wakeWords_ = !options.signalsOnly;
  spin_ = wakeWords_ ? ZqlSpinPlanOf() : SZqlSpinPlan{};
  slot.spin = wakeWords_ ? kZqlSpinAware : 0;  // the starting client cleared the wake words
  if (!Move(slot, EDrvMove::kReady)) return kZqlErrErrorFoundDuringDriverInitialization;
  if (slot.clientPid > 0) kill(slot.clientPid, SIGUSR1);
  return 0;
}

int CZqlDrvKit::Run(CZqlDrvRawHandler* handler) {
  ZQL_ASSERT(comBuf_ != nullptr && seg_ != nullptr && handler != nullptr);
  startInterrupts(handler);
  const int answer = serve(handler);
  stopInterrupts();
  return answer;
}

// Takes interrupts until stopInterrupts; a thread that cannot be made
// leaves the driver without them (requests still run to their end).
void CZqlDrvKit::startInterrupts(CZqlDrvRawHandler* handler) {
  interruptHandler_ = handler;
  __atomic_store_n(&stopInterrupts_, 0, __ATOMIC_RELEASE);
  pthread_t thread;
  if (pthread_create(&thread, nullptr, &CZqlDrvKit::interruptLoop, this) == 0) {
    interrupter_ = thread;
    hasInterrupter_ = true;
  }
}

void CZqlDrvKit::stopInterrupts() {
  if (!hasInterrupter_) return;
  __atomic_store_n(&stopInterrupts_, 1, __ATOMIC_RELEASE);
  pthread_kill(interrupter_, kZqlIpcInterruptSignal);
  pthread_join(interrupter_, nullptr);
  hasInterrupter_ = false;
}

void* CZqlDrvKit::interruptLoop(void* arg) {
  auto* kit = static_cast<CZqlDrvKit*>(arg);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, kZqlIpcInterruptSignal);
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (__atomic_load_n(&kit->stopInterrupts_, __ATOMIC_ACQUIRE) != 0) return nullptr;
    linkinf& slot = kit->slotInfo();
    const int32_t connection = __atomic_exchange_n(&slot.interrupt, 0, __ATOMIC_ACQ_REL);
    if (connection != 0) kit->interruptHandler_->Interrupt(static_cast<uint32_t>(connection));
  }
}

// After a reply that armed a spin: spins for the next request. True when
// one is pending (seen, or announced without a signal); false when the
// driver is now marked asleep and the next request comes by signal.
bool CZqlDrvKit::spinForRequest() {
  spinArmed_ = false;
  linkinf& slot = slotInfo();
  auto pending = [&slot] { return __atomic_load_n(&slot.status, __ATOMIC_ACQUIRE) == kZqlSlotPending; };
  if (ZqlSpinUntil(spin_, pending)) return true;
  return !ZqlWakeSleep(&slot.requestWake, requestToken_);
}

int CZqlDrvKit::serve(CZqlDrvRawHandler* handler) {
  const sigset_t loop = LoopSignals();
  const timespec idle{static_cast<time_t>(kZqlIpcAlarmSeconds), 0};
  const timespec none{0, 0};
  lastCheck_ = MonotonicSeconds();
  long lastLook = lastCheck_;
  for (;;) {
    siginfo_t info;
    int sig;
    if (spinArmed_ && spinForRequest()) {
      // A request found by spinning is served as one that was signalled;
      // the stop signals are looked at once a second all the same.
      sig = SIGUSR1;
      const long now = MonotonicSeconds();
      if (now != lastLook) {
        lastLook = now;
        const int other = sigtimedwait(&loop, &info, &none);
        if (other > 0 && other != SIGUSR1) {
          serveOne(handler);  // the request first, then the stop
          sig = other;
        }
      }
    } else {
      sig = sigtimedwait(&loop, &info, &idle);
    }
    bool stop = false;
    if (sig == SIGUSR1) {
      // A client that ended may hold SQL locks the request waits for: its
      // connections go first (a quick look, for ended and reaped processes).
      if (reclaimDeadClients(handler, true)) return 1;
      serveOne(handler);
      // A driver that is never idle checks all the same.
      if (MonotonicSeconds() - lastCheck_ >= static_cast<long>(kZqlIpcAlarmSeconds))
        idleCheck(handler, &stop);
    } else if (sig == SIGUSR2) {
      return 0;
    } else if (sig > 0) {
      return 1;
    } else if (errno == EAGAIN) {
      idleCheck(handler, &stop);
    }
    if (stop) return 1;
  }
}

void CZqlDrvKit::idleCheck(CZqlDrvRawHandler* handler, bool* stop) {
  lastCheck_ = MonotonicSeconds();
  *stop = !linkAlive() || reclaimDeadClients(handler, false);
}

// Takes the connections of ended clients off this driver's slot (see Run).
// quick: only processes already reaped count as ended (one kill() each;
// the requesting client is skipped), else also those not yet reaped.
// Answers true when the slot is left without connections: it is freed
// here, and the driver is to end.
bool CZqlDrvKit::reclaimDeadClients(CZqlDrvRawHandler* handler, bool quick) {
  if (!clientTable_ || semId_ < 0) return false;
  SZqlClientTable* table = ZqlClientTableOf(comBuf_);
  const int32_t requester = quick ? ClientPid() : 0;
  auto ended = [&](int32_t pid) {
    if (!quick) return ProcessGone(pid);
    return pid != requester && kill(pid, 0) != 0 && errno == ESRCH;
  };
  // A cheap look first: nothing to do unless a client with connections
  // here has ended.
  bool any = false;
  for (const SZqlIpcClient& c : table->clients)
    if (c.pid > 0 && c.connections[slot_] > 0 && ended(c.pid)) any = true;
  if (!any) return false;
  if (!BufferLock(semId_, -1)) return false;
  linkinf& slot = slotInfo();
  int32_t gone[kZqlIpcClientCount];
  int goneCount = 0;
  for (SZqlIpcClient& c : table->clients) {
    if (c.pid <= 0 || c.connections[slot_] <= 0 || !ended(c.pid)) continue;
    gone[goneCount++] = c.pid;
    slot.connections -= c.connections[slot_];
    if (slot.connections < 0) slot.connections = 0;
    c.connections[slot_] = 0;
    bool more = false;  // connections to other drivers, which take them off
    for (int32_t n : c.connections) more = more || n > 0;
    if (!more) {
      c = SZqlIpcClient{};
      --comBuf_->attached;
    }
  }
  const bool last = slot.connections <= 0 && slot.state == kZqlSlotInUse;
  if (last) {
    slot.state = kZqlSlotFree;
    slot.connections = 0;
  }
  const bool empty = comBuf_->attached <= 0;
  if (empty) {
    // The last one out: the buffer and the semaphores go (the lock with
    // them: a process waiting for it fails and makes a new set).
    shmctl(comId_, IPC_RMID, nullptr);
    semctl(semId_, 0, IPC_RMID);
    semId_ = -1;
  } else {
    BufferLock(semId_, +1);
  }
  for (int i = 0; i < goneCount; ++i) handler->ClientGone(gone[i]);
  return last || empty;
}

// The buffer is still there, not removed by its last client, and the slot
// still names this process (it is not being stopped or given to another).
bool CZqlDrvKit::linkAlive() const {
  shmid_ds ds{};
  if (shmctl(comId_, IPC_STAT, &ds) != 0 || (ds.shm_perm.mode & SHM_DEST) != 0) return false;
  const linkinf& slot = slotInfo();
  return slot.driverPid == getpid() && slot.state == kZqlSlotInUse;
}

// A SIGUSR1 without a pending request (a stray, or one sent twice) is not
// answered: the reply would go to a client that waits for none.
void CZqlDrvKit::serveOne(CZqlDrvRawHandler* handler) {
  linkinf& slot = slotInfo();
  if (!Move(slot, EDrvMove::kTake)) return;
  const int32_t client = slot.clientPid;
  // Written before the status; atomic, as the client marks it asleep.
  const int32_t clientToken = __atomic_load_n(&slot.replyWake, __ATOMIC_RELAXED);
  handler->Serving(client);
  uint32_t length;
  std::memcpy(&length, seg_ + 4, sizeof length);
  reply_.clear();
  int32_t outcome = kZqlErrErrorFoundInDBMSCommunication;
  if (length >= kPackHeader && length <= segSize_) {
    // A private copy: the segment may be overwritten while the handler runs
    // if this client dies and the next one sends its request.
    request_.assign(seg_, seg_ + length);
    outcome = handler->Serve(request_.data(), length, &reply_);
  }
  // A client that died while waiting was replaced by the next one, whose
  // request may already lie in the segment: this reply is for no one.
  if (slot.clientPid != client) return;
  writeReply(outcome);
  // The next request's token goes out with the reply, so that a client
  // that sees the reply and sends again at once finds the driver spinning.
  if (spin_.windowNs > 0) {
    requestToken_ = ZqlWakeToken(++wakeSequence_);
    __atomic_store_n(&slot.requestWake, requestToken_, __ATOMIC_RELAXED);
    spinArmed_ = true;
  }
  if (Move(slot, EDrvMove::kAnswer) && client > 0 &&
      (!wakeWords_ || ZqlWakeNeedsSignal(&slot.replyWake, clientToken)))
    kill(client, SIGUSR1);
}

// Writes the reply into the segment: the handler's, or, when it has none
// or it does not fit, one that carries only the outcome at label 2 (which
// always fits: kMinSegment).
void CZqlDrvKit::writeReply(int32_t outcome) {
  if (outcome == 0 && reply_.size() > ReplyCapacity()) outcome = kZqlErrErrorFoundInDBMSCommunication;
  uint32_t length = static_cast<uint32_t>(reply_.size());
  if (outcome != 0) {
    CZqlObjPack pack(seg_ + kZqlReplyHeaderSize, ReplyCapacity());
    pack.add(kZqlReqLabelRetCode, outcome);
    length = pack.Size();
  } else if (length > 0) {
    std::memcpy(seg_ + kZqlReplyHeaderSize, reply_.data(), length);
  }
  if (rawLength_) {
    rawLength_ = false;
    length = rawLengthValue_;
  }
  std::memcpy(seg_, &length, sizeof length);
}

void CZqlDrvKit::Close() {
  if (seg_ != nullptr) shmdt(seg_);
  seg_ = nullptr;
  RemoveSegment();
  if (comBuf_ != nullptr) shmdt(comBuf_);
  comBuf_ = nullptr;
  slot_ = -1;
}

void CZqlDrvKit::TEST_SetRawReplyLength(uint32_t length) {
  rawLength_ = true;
  rawLengthValue_ = length;
}
