// How long a side of the driver link spins on the slot's status word before
// it sleeps in sigtimedwait (the wake protocol is in zqlproto.h).
//
// A round trip through signals costs two wake-ups of a sleeping process,
// about 20 us on a loaded two-CPU VM; with both sides spinning it is a few
// cache-line transfers, about 1 to 3 us. The price is CPU burned while one
// side waits: up to the window per request on the client (then it sleeps),
// and up to the window after each reply on the driver. 50 us covers the
// gap between the requests of a program that streams them (a fetch loop)
// and is short beside a request that does real work.
//
// A process that may run on one CPU only (pinned, or a single-CPU machine)
// does not spin on the CPU: it would only burn the time slice the other
// side needs. It yields the CPU instead (sched_yield) for the same window,
// which hands it to the other side at once when that side is ready to run:
// a round trip is then two yields and two switches, about half of what the
// two signals and wake-ups cost. A yield that comes straight back handed
// the CPU to no one (the other side is not ready to run, or the scheduler
// holds it back because it used more than its share): the waiter then
// sleeps at once rather than loop on yields that keep the CPU from the
// side it waits for.
// ZQL_SPIN_USEC overrides the window (0 turns spinning and yielding off),
// for measurement.
#ifndef ZQL_ZQLSPIN_H
#define ZQL_ZQLSPIN_H

#include <sched.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>

#include "zqlsys.h"

ZQL_PUBLIC_BEGIN

constexpr int64_t kZqlSpinDefaultNs = 50 * 1000;
// A yield that returns sooner handed the CPU to no one: a bare yield takes
// about 0.2 us, one that let the other side run takes two switches and more.
constexpr int64_t kZqlYieldBackNs = 1000;

// How a side waits for the other before it sleeps.
struct SZqlSpinPlan {
  int64_t windowNs = 0;  // how long; 0: it sleeps at once
  bool yield = false;    // by yielding the CPU (one CPU only), not spinning on it
};

// The plan of this process. Reads the affinity and the environment; the
// caller keeps the answer.
inline SZqlSpinPlan ZqlSpinPlanOf() {
  SZqlSpinPlan plan;
  plan.windowNs = kZqlSpinDefaultNs;
  if (const char* text = std::getenv("ZQL_SPIN_USEC")) {
    char* end = nullptr;
    const long usec = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && usec >= 0 && usec <= 1000 * 1000)
      plan.windowNs = int64_t{usec} * 1000;
  }
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  plan.yield = sched_getaffinity(0, sizeof cpus, &cpus) != 0 || CPU_COUNT(&cpus) < 2;
  return plan;
}

inline int64_t ZqlSpinNowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Spins (or yields) as plan says until done() holds; answers done()'s last
// value. A spinner reads the clock every 64 turns, a yielder around every
// yield; a yielder stops early at a yield that handed the CPU to no one.
template <class Done>
bool ZqlSpinUntil(const SZqlSpinPlan& plan, Done done) {
  if (plan.windowNs <= 0) return done();
  const int64_t end = ZqlSpinNowNs() + plan.windowNs;
  for (unsigned turn = 1;; ++turn) {
    if (done()) return true;
    if (plan.yield) {
      const int64_t before = ZqlSpinNowNs();
      sched_yield();
      const int64_t after = ZqlSpinNowNs();
      // Back at once: the scheduler had no one to hand the CPU to, or would
      // not hand it over yet, and the other side cannot answer before it
      // runs. Sleeping costs it less than yielding again.
      if (after - before < kZqlYieldBackNs || after >= end) return done();
      continue;
    }
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    if (turn % 64 == 0 && ZqlSpinNowNs() >= end) return done();
  }
}

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSPIN_H
