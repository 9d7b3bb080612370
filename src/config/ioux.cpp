// The file layer on the POSIX file interface: path helpers, CZqlFile with
// waiting byte-range locks, and CZqlDirMisc.

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "zqlio.h"

namespace {

constexpr int kMaxSubstitutions = 32;
constexpr int kExtensionMax = 15;
// Pause between two attempts at a busy lock.
constexpr std::chrono::milliseconds kLockRetry(10);

// Records the system error, then raises 0xB022 "Operating System error".
#define ZQL_RAISE_OS(err)                   \
  do {                                      \
    ZqlGenOsError(err);                     \
    ZQL_RAISE(kZqlErrOperatingSystemError); \
  } while (0)

// Copies src into a kZqlMaxPath buffer; 0 (and "") when it does not fit.
int CopyPath(char* dst, const char* src) {
  const std::size_t n = std::strlen(src);
  if (n >= static_cast<std::size_t>(kZqlMaxPath)) {
    dst[0] = '\0';
    return 0;
  }
  std::memcpy(dst, src, n + 1);
  return 1;
}

// s in the default character set into a kZqlMaxPath buffer; 0 when too long.
int ToPath(const CZqlUcStr& s, char* dst) {
  dst[0] = '\0';
  if (s.Chlen() >= kZqlMaxPath) return 0;
  s.getToChar(dst, kZqlMaxPath);
  return 1;
}

// Appends text to the path being built in dst (len bytes so far), cutting
// at kZqlMaxPath - 1 characters. Answers the new length.
std::size_t AppendCut(char* dst, std::size_t len, const char* text, std::size_t n) {
  const std::size_t room = static_cast<std::size_t>(kZqlMaxPath) - 1 - len;
  if (n > room) n = room;
  std::memcpy(dst + len, text, n);
  dst[len + n] = '\0';
  return len + n;
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '_';
}

// Position of the first '$' that starts the path or follows a '/', or -1.
int FindReference(const char* path) {
  for (int i = 0; path[i] != '\0'; ++i) {
    if (path[i] == '$' && (i == 0 || path[i - 1] == '/')) return i;
  }
  return -1;
}

// Replaces the first reference in path; answers 0 when none is left.
int SubstituteOne(char* path) {
  const int at = FindReference(path);
  if (at < 0) return 0;
  const char* p = path + at + 1;
  if (*p == '$') ++p;
  char name[kZqlMaxPath];
  std::size_t n = 0;
  const char* end;
  if (*p == '{') {
    const char* close = std::strchr(p + 1, '}');
    end = close != nullptr ? close + 1 : p + std::strlen(p);
    n = static_cast<std::size_t>((close != nullptr ? close : end) - (p + 1));
    std::memcpy(name, p + 1, n);
  } else {
    for (end = p; IsNameChar(*end); ++end) name[n++] = *end;
  }
  name[n] = '\0';
  const char* value = n > 0 ? std::getenv(name) : nullptr;
  char out[kZqlMaxPath];
  std::size_t len = AppendCut(out, 0, path, static_cast<std::size_t>(at));
  if (value != nullptr) len = AppendCut(out, len, value, std::strlen(value));
  AppendCut(out, len, end, std::strlen(end));
  std::strcpy(path, out);
  return 1;
}

// Start of the path after the last "//" or "/~" (the second character).
const char* RestartPoint(const char* path) {
  const char* start = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (p[0] == '/' && (p[1] == '/' || p[1] == '~')) start = p + 1;
  }
  return start;
}

bool HasDotSegment(const char* path) {
  for (const char* p = path; *p != '\0'; ++p) {
    if (p[0] != '/' || p[1] != '.') continue;
    if (p[2] == '/' || p[2] == '\0') return true;
    if (p[2] == '.' && (p[3] == '/' || p[3] == '\0')) return true;
  }
  return false;
}

// Normalises the absolute path src into dst: "." segments go, ".." removes
// the segment before it, repeated '/' collapse; "" becomes "/".
void Normalise(const char* src, char* dst) {
  std::size_t len = 0;
  dst[0] = '\0';
  const char* p = src;
  while (*p != '\0') {
    while (*p == '/') ++p;
    const char* seg = p;
    while (*p != '\0' && *p != '/') ++p;
    const std::size_t n = static_cast<std::size_t>(p - seg);
    if (n == 0 || (n == 1 && seg[0] == '.')) continue;
    if (n == 2 && seg[0] == '.' && seg[1] == '.') {
      while (len > 0 && dst[len - 1] != '/') --len;
      if (len > 0) --len;  // the '/' before the removed segment
      dst[len] = '\0';
      continue;
    }
    len = AppendCut(dst, len, "/", 1);
    len = AppendCut(dst, len, seg, n);
  }
  if (len == 0) std::strcpy(dst, "/");
}

// The prefix a relative start stands for: a home directory or the current
// directory, and the rest of the path after it. Answers 0 for an unknown
// user.
int RelativePrefix(const char* rest, char* prefix, const char** tail) {
  *tail = rest;
  prefix[0] = '\0';
  if (rest[0] == '/') return 1;
  if (rest[0] != '~') {
    if (getcwd(prefix, kZqlMaxPath) == nullptr) prefix[0] = '\0';
    return 1;
  }
  const char* slash = std::strchr(rest, '/');
  const char* end = slash != nullptr ? slash : rest + std::strlen(rest);
  *tail = end;
  if (end == rest + 1) {
    ZqlGetHomeDir(prefix);
    return 1;
  }
  char user[kZqlMaxPath];
  const std::size_t n = static_cast<std::size_t>(end - rest - 1);
  std::memcpy(user, rest + 1, n);
  user[n] = '\0';
  const passwd* pw = getpwnam(user);
  if (pw == nullptr || pw->pw_dir == nullptr) return 0;
  CopyPath(prefix, pw->pw_dir);
  return 1;
}

// A substituted and expanded copy of path in out; 0 when it cannot be had.
int Resolve(const char* path, char* out) {
  if (path == nullptr || !CopyPath(out, path)) return 0;
  ZqlSubstituteInFileName(out);
  return ZqlExpandFileName(out) != nullptr ? 1 : 0;
}

bool StatPath(const char* path, struct stat* st) {
  char full[kZqlMaxPath];
  return Resolve(path, full) && ::stat(full, st) == 0;
}

int AccessPath(const char* path, int how) {
  char full[kZqlMaxPath];
  return Resolve(path, full) && ::access(full, how) == 0 ? 1 : 0;
}

SZqlFileTime TimeOf(const struct stat& st) {
  SZqlFileTime t;
  t.words[0] = static_cast<uint32_t>(st.st_mtim.tv_sec);
  t.words[1] = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  return t;
}

}  // namespace

// ---------------------------------------------------------------------------
// Path helpers
// ---------------------------------------------------------------------------

char* ZqlGetHomeDir(char* buffer) {
  buffer[0] = '\0';
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0' && CopyPath(buffer, home)) return buffer;
  const passwd* pw = nullptr;
  const char* user = std::getenv("USER");
  if (user != nullptr && *user != '\0') pw = getpwnam(user);
  if (pw == nullptr) pw = getpwuid(getuid());
  if (pw != nullptr && pw->pw_dir != nullptr) CopyPath(buffer, pw->pw_dir);
  return buffer;
}

char* ZqlFileBasename(char* path) {
  char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

char* ZqlFileDirname(char* path) {
  char* slash = std::strrchr(path, '/');
  if (slash != nullptr)
    slash[1] = '\0';
  else
    std::strcpy(path, ".");
  return path;
}

char* ZqlSubstituteInFileName(char* path) {
  // Values are substituted again, so a variable that names itself would
  // never end; the count bounds that.
  for (int i = 0; i < kMaxSubstitutions && SubstituteOne(path); ++i) {
  }
  return path;
}

char* ZqlExpandFileName(char* path) {
  const char* rest = RestartPoint(path);
  if (rest[0] == '/' && !HasDotSegment(rest)) {
    std::memmove(path, rest, std::strlen(rest) + 1);
    return path;
  }
  char prefix[kZqlMaxPath];
  const char* tail = nullptr;
  if (!RelativePrefix(rest, prefix, &tail)) return nullptr;
  char joined[kZqlMaxPath];
  std::size_t len = AppendCut(joined, 0, prefix, std::strlen(prefix));
  if (tail[0] != '/') len = AppendCut(joined, len, "/", 1);
  AppendCut(joined, len, tail, std::strlen(tail));
  Normalise(joined, path);
  return path;
}

int ZqlFileDirectoryP(const char* path) {
  struct stat st;
  return StatPath(path, &st) && S_ISDIR(st.st_mode) ? 1 : 0;
}

int ZqlFileExistsP(const char* path) { return AccessPath(path, F_OK); }
int ZqlFileReadableP(const char* path) { return AccessPath(path, R_OK); }

int ZqlFileWritableP(const char* path) {
  char full[kZqlMaxPath];
  if (!Resolve(path, full)) return 0;
  if (::access(full, F_OK) == 0) return ::access(full, W_OK) == 0 ? 1 : 0;
  return ::access(ZqlFileDirname(full), W_OK) == 0 ? 1 : 0;
}

int ZqlFindFile(const char* directories, const char* name, char* result) {
  if (result != nullptr) result[0] = '\0';
  if (directories == nullptr || name == nullptr || result == nullptr) return 0;
  const char* p = directories;
  const std::size_t nameLen = std::strlen(name);
  while (*p != '\0') {
    p += std::strspn(p, " \t;:");
    const std::size_t n = std::strcspn(p, " \t;:");
    if (n == 0) break;
    const bool slash = p[n - 1] == '/';
    if (n + (slash ? 0 : 1) + nameLen < static_cast<std::size_t>(kZqlMaxPath)) {
      char candidate[kZqlMaxPath];
      std::memcpy(candidate, p, n);
      std::size_t len = n;
      if (!slash) candidate[len++] = '/';
      std::memcpy(candidate + len, name, nameLen + 1);
      if (ZqlFileExistsP(candidate) && !ZqlFileDirectoryP(candidate))
        return CopyPath(result, candidate);
    }
    p += n;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// CZqlFile
// ---------------------------------------------------------------------------

// The open-file record.
struct SZqlFileRecord {
  uint32_t reserved[2];  // not used by this layer
  int refs;              // 1 when opened
  int fd;
  int timeOut;  // lock time-out in seconds
  int mode;     // the Open mode bits
  char path[kZqlMaxPath];
  // The file's contents for ReadString, loaded by its first call.
  char* lines;
  std::size_t lineSize;
  std::size_t linePos;
  bool linesLoaded;
};

CZqlFile::CZqlFile() : rec_(nullptr) {}

CZqlFile::~CZqlFile() { Close(); }

int CZqlFile::Open(const CZqlUcStr& path, int mode) {
  return ZqlEntry<int>(0, [&]() -> int {
    char p[kZqlMaxPath];
    if (!ToPath(path, p)) ZQL_RAISE_OS(ENAMETOOLONG);
    return Open(p, mode);
  });
}

int CZqlFile::Open(const char* path, int mode) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ != nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    if (path == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (std::strlen(path) >= static_cast<std::size_t>(kZqlMaxPath)) ZQL_RAISE_OS(ENAMETOOLONG);
    int flags = (mode & kZqlFileReadWrite) ? O_RDWR : O_RDONLY;
    if (mode & kZqlFileCreate) flags |= O_CREAT | O_TRUNC;
    if (mode & kZqlFileCreateKeep) flags |= O_CREAT;
    // Descriptors never leak into the driver processes the library starts.
    const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, 0777);
    if (fd < 0) ZQL_RAISE_OS(errno);
    auto* rec = static_cast<SZqlFileRecord*>(ZqlMemoryMalloc(sizeof(SZqlFileRecord)));
    if (rec == nullptr) {
      ::close(fd);
      return 0;
    }
    rec->refs = 1;
    rec->fd = fd;
    rec->timeOut = kZqlLockTimeOutDefault;
    rec->mode = mode;
    std::strcpy(rec->path, path);
    rec_ = rec;
    return 1;
  });
}

int CZqlFile::Close() {
  if (rec_ == nullptr) return 0;
  ::close(rec_->fd);
  ZqlMemoryFree(rec_->lines);
  ZqlMemoryFree(rec_);
  rec_ = nullptr;
  return 1;
}

int CZqlFile::Read(void* buf, unsigned int n) {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    ssize_t got;
    do {
      got = ::read(rec_->fd, buf, n);
    } while (got < 0 && errno == EINTR);
    if (got < 0) ZQL_RAISE_OS(errno);
    return static_cast<int>(got);
  });
}

int CZqlFile::Read(void* buf, unsigned int n, unsigned int* got) {
  const int r = Read(buf, n);
  if (r < 0) return 0;
  if (got != nullptr) *got = static_cast<unsigned int>(r);
  return 1;
}

int CZqlFile::Write(const void* buf, unsigned int n) {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    const char* p = static_cast<const char*>(buf);
    unsigned int done = 0;
    while (done < n) {
      const ssize_t w = ::write(rec_->fd, p + done, n - done);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) ZQL_RAISE_OS(errno);
      done += static_cast<unsigned int>(w);
    }
    return static_cast<int>(n);
  });
}

int CZqlFile::SetSeek(int64_t offset, EZqlFileSeekFrom from) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    const int whence = from == kZqlSeekCur ? SEEK_CUR : from == kZqlSeekEnd ? SEEK_END : SEEK_SET;
    if (::lseek(rec_->fd, static_cast<off_t>(offset), whence) < 0) ZQL_RAISE_OS(errno);
    return 1;
  });
}

int CZqlFile::SetSeek(int64_t offset) { return SetSeek(offset, kZqlSeekSet); }

int CZqlFile::GetSeek(int64_t* pos) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    const off_t at = ::lseek(rec_->fd, 0, SEEK_CUR);
    if (at < 0) ZQL_RAISE_OS(errno);
    if (pos != nullptr) *pos = static_cast<int64_t>(at);
    return 1;
  });
}

int64_t CZqlFile::Size() {
  return ZqlEntry<int64_t>(-1, [&]() -> int64_t {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    struct stat st;
    if (::fstat(rec_->fd, &st) != 0) ZQL_RAISE_OS(errno);
    return static_cast<int64_t>(st.st_size);
  });
}

int CZqlFile::Truncate(int64_t size) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    if (::ftruncate(rec_->fd, static_cast<off_t>(size)) != 0) ZQL_RAISE_OS(errno);
    return 1;
  });
}

// Reads the whole file into the line buffer.
int CZqlFile::loadLines() {
  return ZqlEntry<int>(0, [&]() -> int {
    const int64_t size = Size();
    if (size < 0) return 0;
    char* data = static_cast<char*>(ZqlMemoryMalloc(static_cast<std::size_t>(size) + 1));
    if (data == nullptr) return 0;
    std::size_t have = 0;
    while (have < static_cast<std::size_t>(size)) {
      const ssize_t got = ::pread(rec_->fd, data + have, static_cast<std::size_t>(size) - have,
                                  static_cast<off_t>(have));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        const int err = got < 0 ? errno : 0;
        ZqlMemoryFree(data);
        if (err != 0) ZQL_RAISE_OS(err);
        break;  // the file shrank meanwhile: keep what was read
      }
      have += static_cast<std::size_t>(got);
    }
    if (have > 0 && data[have - 1] >= 1 && data[have - 1] <= 31) --have;
    ZqlMemoryFree(rec_->lines);
    rec_->lines = data;
    rec_->lineSize = have;
    rec_->linePos = 0;
    rec_->linesLoaded = true;
    return 1;
  });
}

int CZqlFile::ReadLine(const char** text, int* length) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    if (!rec_->linesLoaded && !loadLines()) return 0;
    const char* data = rec_->lines;
    std::size_t pos = rec_->linePos;
    const std::size_t size = rec_->lineSize;
    while (pos < size && (data[pos] == '\n' || data[pos] == '\r')) ++pos;
    const std::size_t start = pos;
    while (pos < size && data[pos] != '\n' && data[pos] != '\r') ++pos;
    rec_->linePos = pos;
    if (pos == start) ZQL_RAISE(kZqlErrEOFFound);
    if (text != nullptr) *text = data + start;
    if (length != nullptr) *length = static_cast<int>(pos - start);
    return 1;
  });
}

int CZqlFile::ReadString(CZqlUcStr* line) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (line == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    line->Clear();
    const char* text = nullptr;
    int length = 0;
    if (!ReadLine(&text, &length)) return 0;
    line->Copy(text, length);
    return 1;
  });
}

int CZqlFile::WriteString(const CZqlUcStr& s) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    const int n = s.Chlen();
    char* buf = static_cast<char*>(ZqlMemoryMalloc(static_cast<std::size_t>(n) + 2));
    if (buf == nullptr) return 0;
    s.getToChar(buf, n + 1);
    const std::size_t len = std::strlen(buf);
    buf[len] = '\n';
    const int w = Write(buf, static_cast<unsigned int>(len + 1));
    ZqlMemoryFree(buf);
    return w < 0 ? 0 : 1;
  });
}

// One attempt loop at a range. Read-only files take shared locks: an
// exclusive lock needs a descriptor open for writing.
int CZqlFile::lockOne(uint32_t offset, uint32_t length, bool lock) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    if (length == 0) ZQL_RAISE(kZqlErrInvalidFunctionArguments);  // 0 means "to EOF"
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = !lock ? F_UNLCK : (rec_->mode & kZqlFileReadWrite) ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = getpid();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(rec_->timeOut);
    for (;;) {
      if (::fcntl(rec_->fd, F_SETLK, &fl) == 0) return 1;
      const int err = errno;
      if (err != EACCES && err != EAGAIN && err != EINTR) ZQL_RAISE_OS(err);
      if (std::chrono::steady_clock::now() >= deadline)
        ZQL_RAISE(kZqlErrTableIsLockedByAnotherCursor);
      std::this_thread::sleep_for(kLockRetry);
    }
  });
}

int CZqlFile::lockGroup(const SZqlLockGroup* groups, int count, bool lock) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    if (groups == nullptr || count < 1) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (!lock) {
      for (int i = 0; i < count; ++i)
        if (!lockOne(groups[i].offset, groups[i].length, false)) return 0;
      return 1;
    }
    // Each range is tried with the shortest time-out; a busy one releases the
    // ranges taken so far, so that two processes never hold parts of each
    // other's groups, and the round starts again until the deadline.
    const int saved = rec_->timeOut;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(saved);
    rec_->timeOut = 0;
    int taken = 0;
    int busy = 0;
    const int ok = ZqlTry([&] {
      while (taken < count) {
        if (ZqlTry([&] { lockOne(groups[taken].offset, groups[taken].length, true); })) {
          ++taken;
          continue;
        }
        if (ZqlTryCode() != kZqlErrTableIsLockedByAnotherCursor) ZQL_RERAISE();
        for (int i = 0; i < taken; ++i) lockOne(groups[i].offset, groups[i].length, false);
        taken = 0;
        if (std::chrono::steady_clock::now() >= deadline) {
          busy = 1;
          return;
        }
        std::this_thread::sleep_for(kLockRetry);
      }
    });
    rec_->timeOut = saved;
    if (!ok) {
      const int code = ZqlTryCode();
      for (int i = 0; i < taken; ++i)
        ZqlTry([&] { lockOne(groups[i].offset, groups[i].length, false); });
      ZQL_RAISE(code);
    }
    if (busy) ZQL_RAISE(kZqlErrTableIsLockedByAnotherCursor);
    return 1;
  });
}

int CZqlFile::Lock(uint32_t offset, uint32_t length) { return lockOne(offset, length, true); }
int CZqlFile::Unlock(uint32_t offset, uint32_t length) { return lockOne(offset, length, false); }

int CZqlFile::Lock(const SZqlLockGroup* groups, int count) {
  return lockGroup(groups, count, true);
}

int CZqlFile::Unlock(const SZqlLockGroup* groups, int count) {
  return lockGroup(groups, count, false);
}

int CZqlFile::Lock(uint32_t length) {
  int64_t pos = 0;
  if (!GetSeek(&pos)) return 0;
  return lockOne(static_cast<uint32_t>(pos), length, true);
}

int CZqlFile::Unlock(uint32_t length) {
  int64_t pos = 0;
  if (!GetSeek(&pos)) return 0;
  return lockOne(static_cast<uint32_t>(pos), length, false);
}

void CZqlFile::SetTimeOut(int seconds) {
  if (rec_ == nullptr) return;
  if (seconds < kZqlLockTimeOutMin) seconds = kZqlLockTimeOutMin;
  if (seconds > kZqlLockTimeOutMax) seconds = kZqlLockTimeOutMax;
  rec_->timeOut = seconds;
}

int CZqlFile::TimeOut() const { return rec_ != nullptr ? rec_->timeOut : 0; }

int CZqlFile::isCanRead() const { return rec_ != nullptr ? 1 : 0; }

int CZqlFile::isCanReadWrite() const {
  return rec_ != nullptr && (rec_->mode & kZqlFileReadWrite) ? 1 : 0;
}

int CZqlFile::LastAccess(SZqlFileTime* time) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (rec_ == nullptr) ZQL_RAISE(kZqlErrInternalZQLError);
    struct stat st;
    if (::fstat(rec_->fd, &st) != 0) ZQL_RAISE_OS(errno);
    if (time != nullptr) *time = TimeOf(st);
    return 1;
  });
}

const char* CZqlFile::Path() const { return rec_ != nullptr ? rec_->path : ""; }

// ---------------------------------------------------------------------------
// CZqlDirMisc
// ---------------------------------------------------------------------------

struct SZqlDirListing {
  DIR* dir;
  char filter[kExtensionMax + 1];
};

CZqlDirMisc::CZqlDirMisc() : list_(nullptr) {}

CZqlDirMisc::~CZqlDirMisc() { FileListClose(); }

int CZqlDirMisc::Find(const CZqlUcStr& name, CZqlUcStr* path) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (path == nullptr || name.Length() == 0) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    char n[kZqlMaxPath];
    char found[kZqlMaxPath];
    if (!ToPath(name, n)) return 0;
    if (!Find(n, found, kZqlMaxPath)) return 0;
    path->Copy(found);
    return 1;
  });
}

int CZqlDirMisc::Find(const char* name, char* path, int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (name == nullptr || *name == '\0' || path == nullptr || size < 1)
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    path[0] = '\0';
    char found[kZqlMaxPath];
    const bool itself = Resolve(name, found) && !ZqlFileDirectoryP(found) && ZqlFileExistsP(found);
    if (!itself) {
      const char* lists[] = {ZqlSysPath(), std::getenv("ZQL"), std::getenv("KOVA"),
                             std::getenv("PATH")};
      bool hit = false;
      for (const char* list : lists) {
        if (ZqlFindFile(list, name, found)) {
          hit = true;
          break;
        }
      }
      char resolved[kZqlMaxPath];
      if (!hit || !Resolve(found, resolved)) return 0;
      std::strcpy(found, resolved);
    }
    if (std::strlen(found) >= static_cast<std::size_t>(size)) return 0;
    std::strcpy(path, found);
    return 1;
  });
}

int CZqlDirMisc::Path(const CZqlUcStr& name, CZqlUcStr* path) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (path == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    char n[kZqlMaxPath];
    char full[kZqlMaxPath];
    if (!ToPath(name, n) || !Resolve(n, full)) ZQL_RAISE_OS(ENOENT);
    struct stat st;
    if (::stat(full, &st) != 0) ZQL_RAISE_OS(errno);
    const std::size_t len = std::strlen(full);
    if (S_ISDIR(st.st_mode) && full[len - 1] != '/') AppendCut(full, len, "/", 1);
    path->Copy(full);
    return 1;
  });
}

int CZqlDirMisc::Access(const CZqlUcStr& path, EZqlFileAccess mode) {
  char p[kZqlMaxPath];
  if (!ToPath(path, p)) return 0;
  const int how = mode == kZqlAccessRead        ? R_OK
                  : mode == kZqlAccessReadWrite ? (R_OK | W_OK)
                                                : F_OK;
  return AccessPath(p, how);
}

int CZqlDirMisc::Unlink(const CZqlUcStr& path) {
  return ZqlEntry<int>(0, [&]() -> int {
    char p[kZqlMaxPath];
    char full[kZqlMaxPath];
    if (!ToPath(path, p) || !Resolve(p, full)) ZQL_RAISE_OS(ENOENT);
    if (::unlink(full) != 0) ZQL_RAISE_OS(errno);
    return 1;
  });
}

int CZqlDirMisc::Rename(const CZqlUcStr& from, const CZqlUcStr& to) {
  return ZqlEntry<int>(0, [&]() -> int {
    char a[kZqlMaxPath];
    char b[kZqlMaxPath];
    if (!ToPath(from, a) || !ToPath(to, b)) ZQL_RAISE_OS(ENAMETOOLONG);
    if (::rename(a, b) != 0) ZQL_RAISE_OS(errno);
    return 1;
  });
}

int CZqlDirMisc::LastAccess(const CZqlUcStr& path, SZqlFileTime* time) {
  return ZqlEntry<int>(0, [&]() -> int {
    char p[kZqlMaxPath];
    if (!ToPath(path, p)) return 0;
    return LastAccess(p, time);
  });
}

int CZqlDirMisc::LastAccess(const char* path, SZqlFileTime* time) {
  return ZqlEntry<int>(0, [&]() -> int {
    struct stat st;
    if (!StatPath(path, &st)) return 0;
    if (time != nullptr) *time = TimeOf(st);
    return 1;
  });
}

int CZqlDirMisc::FileListOpen(const CZqlUcStr& directory, const CZqlUcStr& extension) {
  return ZqlEntry<int>(0, [&]() -> int {
    FileListClose();
    char p[kZqlMaxPath];
    char full[kZqlMaxPath];
    if (!ToPath(directory, p)) {
      ZqlGenOsError(ENAMETOOLONG);
      return 0;
    }
    if (!Resolve(p[0] != '\0' ? p : ".", full)) {
      ZqlGenOsError(ENOENT);
      return 0;
    }
    DIR* dir = ::opendir(full);
    if (dir == nullptr) {
      ZqlGenOsError(errno);
      return 0;
    }
    auto* list = static_cast<SZqlDirListing*>(ZqlMemoryMalloc(sizeof(SZqlDirListing)));
    if (list == nullptr) {
      ::closedir(dir);
      return 0;
    }
    list->dir = dir;
    char ext[kZqlMaxPath];
    ToPath(extension, ext);
    const std::size_t keep = std::min(std::strlen(ext), static_cast<std::size_t>(kExtensionMax));
    std::memcpy(list->filter, ext, keep);
    list->filter[keep] = '\0';
    list_ = list;
    return 1;
  });
}

int CZqlDirMisc::FileListRead(CZqlUcStr* name) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (name == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    name->Clear();
    if (list_ == nullptr) return 0;
    while (const dirent* e = ::readdir(list_->dir)) {
      const char* n = e->d_name;
      if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
      if (list_->filter[0] == '\0') {
        name->Copy(n);
        return 1;
      }
      const char* dot = std::strrchr(n, '.');
      if (dot == nullptr || std::strcmp(dot + 1, list_->filter) != 0) continue;
      name->Copy(n, static_cast<int>(dot - n));
      return 1;
    }
    return 0;
  });
}

void CZqlDirMisc::FileListClose() {
  if (list_ == nullptr) return;
  ::closedir(list_->dir);
  ZqlMemoryFree(list_);
  list_ = nullptr;
}
