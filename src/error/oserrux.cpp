// Operating-system errors as conditions.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "zqldiag.h"
#include "zqlxmf.h"

namespace {

// The POSIX.1 error numbers whose system text is used; any other number is
// shown in decimal.
bool IsPosixError(int e) {
  switch (e) {
    case EPERM: case ENOENT: case ESRCH: case EINTR: case EIO: case ENXIO:
    case E2BIG: case ENOEXEC: case EBADF: case ECHILD: case EAGAIN:
    case ENOMEM: case EACCES: case EFAULT: case EBUSY: case EEXIST:
    case EXDEV: case ENODEV: case ENOTDIR: case EISDIR: case EINVAL:
    case ENFILE: case EMFILE: case ENOTTY: case EFBIG: case ENOSPC:
    case ESPIPE: case EROFS: case EMLINK: case EPIPE: case EDOM: case ERANGE:
    case EDEADLK: case ENOLCK: case ENAMETOOLONG: case ENOSYS:
    case ENOTEMPTY:
      return true;
    default:
      return false;
  }
}

constexpr int kOsMessageSet = 6;

}  // namespace

void ZqlOsErrorText(int osError, CZqlUcStr* out) {
  ZqlGetResStrObj(kOsMessageSet, 1, "operation system error: ", out);
  char number[16];
  std::snprintf(number, sizeof number, "%d", osError);
  const char* text = IsPosixError(osError) ? std::strerror(osError) : nullptr;
  out->Append(text != nullptr && *text != '\0' ? text : number);
}

void ZqlGenOsError(int osError) {
  CZqlDDA* dda = ZqlGetCurrentDDA();
  if (dda == nullptr) return;
  CZqlUcStr text;
  ZqlOsErrorText(osError, &text);
  ZqlDDAPushCondition(dda, kZqlErrOperatingSystemError, &text);
}
