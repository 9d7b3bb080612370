// Shared helpers of the driver link tests: a private zql.ini per test,
// connecting records to the scripted driver, test requests, child processes
// with bounded waits, and the check that no IPC object outlives a test.
#ifndef ZQL_TESTS_IPC_FIXTURE_H
#define ZQL_TESTS_IPC_FIXTURE_H

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/resource.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ipclink.h"
#include "ipcux.h"
#include "objpack.h"
#include "uxlink.h"
#include "zqlucode.h"
#include "zqltry.h"

namespace zqltest {

constexpr uint32_t kTestMarker = 0x54534554;  // "TEST", see scripted_driver.cpp
constexpr int32_t kDriverValue = 4242;
constexpr int kWaitMs = 20000;  // bound of every wait in these tests

// A test request: marker, total length, payload.
inline std::vector<unsigned char> Request(const std::string& payload, size_t total = 0) {
  const size_t size = total != 0 ? total : 8 + payload.size();
  std::vector<unsigned char> bytes(size, ' ');
  const uint32_t length = static_cast<uint32_t>(size);
  std::memcpy(bytes.data(), &kTestMarker, 4);
  std::memcpy(bytes.data() + 4, &length, 4);
  std::memcpy(bytes.data() + 8, payload.data(), std::min(payload.size(), size - 8));
  return bytes;
}

// The outcome a packed reply carries at label 2, or -1 when it has none.
inline int32_t RetCode(std::vector<unsigned char> reply) {
  CZqlObjPack in(reply.data(), static_cast<uint32_t>(reply.size()));
  int32_t code = -1;
  ZqlTry([&] {
    if (in.setActive(kZqlReqLabelRetCode)) in.getPackedValue(&code);
  });
  return code;
}

// The 8-bit form of a Unicode string.
inline std::string Text(const CZqlUcStr& s) {
  std::vector<char> buf(static_cast<size_t>(s.Length()) * 7 + 1);
  s.getToChar(buf.data(), static_cast<int>(buf.size()));
  return buf.data();
}
inline std::string Text(const CZqlUcStr* s) { return s != nullptr ? Text(*s) : "<null>"; }

// The lines of a file (a driver's log or trace).
inline std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The code raised by f, or 0 when it ran to its end.
template <class F>
int Raised(F f) {
  return ZqlTry(f) ? 0 : ZqlTryCode();
}

// A server record on the stack; owns its buffers, never disconnects.
struct Record {
  SZqlServer r{};
  Record() { r.slot = -1; }
  ~Record() {
    ZqlMemoryNblkFree(r.request);
    ZqlMemoryNblkFree(r.reply);
  }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
};

// Sends request through the record; the reply lands in *reply. Answers the
// transport's status.
inline int Send(Record* rec, const std::vector<unsigned char>& request,
                std::vector<unsigned char>* reply = nullptr) {
  ZqlMemoryNblkFree(rec->r.request);
  rec->r.request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(request.size()));
  std::memcpy(rec->r.request, request.data(), request.size());
  rec->r.size = static_cast<int32_t>(request.size());
  const int code = ZqlSendDataToServer(&rec->r);
  if (code == 0 && reply != nullptr)
    reply->assign(rec->r.reply, rec->r.reply + (rec->r.reply != nullptr ? rec->r.size : 0));
  return code;
}

// Disconnects the record's slot. Answers 1 while the driver has other
// connections, 0 when it was told to stop, or -code on failure.
inline int Disconnect(Record* rec) {
  bool stopped = false;
  const int code = ZqlDisconServerOnUnix(rec->r.slot, &stopped);
  rec->r.slot = -1;
  return code != 0 ? -code : stopped ? 0 : 1;
}

// One byte through a pipe, with a bounded wait.
struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe(fd) != 0) std::abort();
  }
  ~Pipe() {
    close(fd[0]);
    close(fd[1]);
  }
  void Put(int32_t value) {
    if (write(fd[1], &value, sizeof value) != sizeof value) std::abort();
  }
  // The value, or INT32_MIN on time-out.
  int32_t Get(int waitMs = kWaitMs) {
    pollfd p{fd[0], POLLIN, 0};
    int32_t value = INT32_MIN;
    if (poll(&p, 1, waitMs) == 1 && read(fd[0], &value, sizeof value) != sizeof value)
      value = INT32_MIN;
    return value;
  }
};

// Runs body in a child process that ends with body's result.
template <class F>
pid_t Child(F body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

// The wait status of pid, or -1 when it did not end in time (then killed).
inline int WaitChild(pid_t pid, int waitMs = kWaitMs) {
  for (int ms = 0; ms < waitMs; ms += 10) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

inline bool ExitedWith(int status, int code) {
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// Runs body(&out) in a child process, which sends its results with
// out.Put; answers the first `count` of them (INT32_MIN for each one that
// did not come in time). A child that hangs is killed: the test ends.
template <class F>
std::vector<int32_t> Bounded(int count, F body) {
  Pipe out;
  const pid_t pid = Child([&] {
    body(&out);
    return 0;
  });
  std::vector<int32_t> values;
  for (int i = 0; i < count; ++i) values.push_back(out.Get());
  WaitChild(pid);
  return values;
}

#ifdef ZQL_PG_STATE
// The socket folder of the tests' private PostgreSQL server (tests/pg), or
// "" when it is not running.
inline std::string PgSocket() {
  std::ifstream in(ZQL_PG_STATE);
  std::string dir;
  std::getline(in, dir);
  return dir;
}
#endif

// Shared memory segments as the kernel lists them: (key, id, creator pid).
struct SegmentInfo {
  long key;
  int id;
  int cpid;
};

inline std::vector<SegmentInfo> Segments() {
  std::vector<SegmentInfo> out;
  std::ifstream in("/proc/sysvipc/shm");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    long key, size;
    int id, perms, cpid;
    if (fields >> key >> id >> perms >> size >> cpid) out.push_back({key, id, cpid});
  }
  return out;
}

// Whether pid created a shared memory segment that is still there.
inline bool SegmentOf(pid_t pid) {
  for (const SegmentInfo& s : Segments())
    if (s.cpid == pid) return true;
  return false;
}

// 1 while a process exists and has not ended; reaps it when it is our child.
inline bool Alive(pid_t pid) {
  if (pid <= 0) return false;
  int status;
  if (waitpid(pid, &status, WNOHANG) == pid) return false;
  if (kill(pid, 0) != 0) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t paren = text.rfind(')');
  return paren == std::string::npos || paren + 2 >= text.size() ||
         (text[paren + 2] != 'Z' && text[paren + 2] != 'X');
}

// Waits until cond() holds; false on time-out.
template <class C>
bool Eventually(C cond) {
  for (int ms = 0; ms < kWaitMs; ms += 10) {
    if (cond()) return true;
    usleep(10000);
  }
  return cond();
}

// Each test gets its own directory and zql.ini, so its IPC key is its own.
class IpcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Processes that these tests crash on purpose leave no core files.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    char tmpl[] = "/tmp/zqlipcXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ini_ = dir_ + "/zql.ini";
    std::ofstream(ini_) << "[ZQL]\n";
    key_ = ftok(ini_.c_str(), kZqlIpcProjectId);
    ASSERT_NE(key_, -1);
    driver_ = ZQL_TEST_DRIVER;
    unsetenv("ZQL_TEST_DRIVER_MODE");
    unsetenv("ZQL_TEST_DRIVER_SEGMENT");
    unsetenv("ZQL_TEST_DRIVER_LOG");
  }

  void TearDown() override {
    if (*cwd_ != '\0') {
      EXPECT_EQ(chdir(cwd_), 0);
    }
    TEST_ZqlIpcSetWaitHook(nullptr);
    ExpectNoIpcLeft();
    TEST_ZqlIpcReset();
    unsetenv("ZQL_TEST_DRIVER_MODE");
    unsetenv("ZQL_TEST_DRIVER_SEGMENT");
    unsetenv("ZQL_TEST_DRIVER_LOG");
    const std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir_;
  }

  // Makes the test's directory current until the test ends.
  void EnterDir() {
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }

  // Connects rec to the driver at path; answers the transport's status and
  // remembers the driver process for the final check.
  int Connect(Record* rec, const std::string& path) {
    const int code = ZqlLoadServerOnUnix(ini_.c_str(), path.c_str(), &rec->r);
    if (rec->r.slot >= 0) NoteDriver(rec->r.slot);
    return code;
  }

  // Connects an application session (CZqlSession) to environment and
  // notes its driver; answers Connect's answer.
  template <class S>
  int ConnectSession(S* session, const char* environment) {
    const int answer = session->Connect(CZqlUcStr(environment), CZqlUcStr(), CZqlUcStr());
    if (answer == 1)
      NoteDriver(session->Dispatcher()->Record()->sessions->getObji(session->SessionId())
                     ->server->ServerBody()->slot);
    return answer;
  }

  void NoteDriver(int slot) {
    SZqlComBuf* buf = ZqlIpcComBuf();
    if (buf != nullptr && buf->slots[slot].driverPid > 0)
      drivers_.insert(buf->slots[slot].driverPid);
    NoteSegments();
  }

  // Rewrites zql.ini: DB1 reaches the scripted driver (db1: more lines of
  // its section), DB2 the same program under another name (a second driver
  // process).
  void Ini(const std::string& db1 = "") {
    if (second_.empty()) second_ = DriverAlias("second_driver");
    std::ofstream(ini_) << "[ENVIRONMENTS]\nDB1 = x\nDB2 = x\n"
                        << "[DB1]\nDriver = SCRIPT\n" << db1 << "[SCRIPT]\nPath = " << driver_
                        << "\n[DB2]\nDriver = SECOND\n[SECOND]\nPath = " << second_ << "\n";
  }

  // A symlink to the scripted driver under another name.
  std::string DriverAlias(const std::string& name) {
    const std::string path = dir_ + "/" + name;
    EXPECT_EQ(symlink(driver_.c_str(), path.c_str()), 0);
    return path;
  }

  // The buffer as another process sees it (attached read-only), or null.
  const SZqlComBuf* Peek() {
    const int id = shmget(key_, 0, 0);
    if (id < 0) return nullptr;
    void* at = shmat(id, nullptr, SHM_RDONLY);
    if (at == reinterpret_cast<void*>(-1)) return nullptr;
    peeks_.push_back(at);
    return static_cast<const SZqlComBuf*>(at);
  }

  bool BufferExists() const { return shmget(key_, 0, 0) >= 0; }
  bool SemaphoresExist() const { return semget(key_, 0, 0) >= 0; }

  // The buffer, the semaphores, every driver started and the drivers' data
  // segments must all be gone (waiting a bounded time for drivers to end).
  void ExpectNoIpcLeft() {
    for (void* at : peeks_) shmdt(at);
    peeks_.clear();
    EXPECT_FALSE(SemaphoresExist()) << "semaphore set left";
    EXPECT_TRUE(Eventually([&] { return !BufferExists(); })) << "buffer left";
    NoteSegments();
    for (pid_t pid : drivers_)
      EXPECT_TRUE(Eventually([&] { return !Alive(pid); })) << "driver " << pid << " left";
    for (int id : segments_)
      EXPECT_TRUE(Eventually([&] { return !SegmentExists(id); })) << "data segment " << id << " left";
    ForceCleanup();
  }

  // Records the segments the drivers created, by id: once a driver has
  // ended, its pid may be another process's (pids wrap at 32768 here),
  // and that process's segments are none of ours.
  void NoteSegments() {
    for (const SegmentInfo& s : Segments())
      if (drivers_.count(s.cpid) != 0) segments_.insert(s.id);
  }

  static bool SegmentExists(int id) {
    for (const SegmentInfo& s : Segments())
      if (s.id == id) return true;
    return false;
  }

  // Removes whatever a failed test left, so that the next test starts clean.
  void ForceCleanup() {
    NoteSegments();
    for (pid_t pid : drivers_)
      if (Alive(pid)) kill(pid, SIGKILL);
    for (const SegmentInfo& s : Segments())
      if (s.key == key_ || segments_.count(s.id) != 0) shmctl(s.id, IPC_RMID, nullptr);
    const int sem = semget(key_, 0, 0);
    if (sem >= 0) semctl(sem, 0, IPC_RMID);
  }

  std::string dir_, ini_, driver_, second_;
  key_t key_ = -1;
  std::set<pid_t> drivers_;
  std::set<int> segments_;  // ids of the drivers' data segments (NoteSegments)
  std::vector<void*> peeks_;
  char cwd_[PATH_MAX] = {};
};

}  // namespace zqltest

#endif  // ZQL_TESTS_IPC_FIXTURE_H
