// How long a side of the driver link spins on the slot's status word before
// it sleeps in sigtimedwait (the wake protocol is in zqlproto.h).
//
// A round trip through signals costs two wake-ups of a sleeping process,
// about 20 us on a loaded two-CPU VM; with both sides spinning it is a few
// cache-line transfers, about 1 to 3 us. The price is CPU burned while one
// side waits: up to the window per request on the client (then it sleeps),
// and up to the window after each reply on the driver. 50 us covers the
// gap between the requests of a program that streams them (a fetch loop)
// and is short beside a request that does real work. Spinning is off when
// the process may run on one CPU only (pinned, or a single-CPU machine):
// there the spinner would only burn the time slice the other side needs.
// ZQL_SPIN_USEC overrides the window (0 turns spinning off), for
// measurement.
#ifndef ZQL_ZQLSPIN_H
#define ZQL_ZQLSPIN_H

#include <sched.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>

#include "zqlsys.h"

ZQL_PUBLIC_BEGIN

constexpr int64_t kZqlSpinDefaultNs = 50 * 1000;

// The spin window of this process in nanoseconds, 0 for none. Reads the
// affinity and the environment; the caller keeps the answer.
inline int64_t ZqlSpinWindowNs() {
  if (const char* text = std::getenv("ZQL_SPIN_USEC")) {
    char* end = nullptr;
    const long usec = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && usec >= 0 && usec <= 1000 * 1000) return int64_t{usec} * 1000;
  }
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof cpus, &cpus) != 0 || CPU_COUNT(&cpus) < 2) return 0;
  return kZqlSpinDefaultNs;
}

inline int64_t ZqlSpinNowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Spins for up to windowNs until done() holds; answers done()'s last value.
// The clock is read every 64 turns.
template <class Done>
bool ZqlSpinUntil(int64_t windowNs, Done done) {
  if (windowNs <= 0) return done();
  const int64_t end = ZqlSpinNowNs() + windowNs;
  for (unsigned turn = 1;; ++turn) {
    if (done()) return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    if (turn % 64 == 0 && ZqlSpinNowNs() >= end) return done();
  }
}

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSPIN_H
