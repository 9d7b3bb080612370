// ipcux.h - the low layer of the Unix driver link: this process's IPC
// objects (the communication buffer, its semaphores, the drivers' data
// segments), the locks, the signal traps, and the waits for another
// process. The driver layer above it (uxlink.h) starts, calls and stops
// drivers; nothing here calls up into it.
//
// Every function answers a status value (kZqlOk or an EZqlError code, or
// as its contract says) and never raises. All IPC objects are owner-only
// (kZqlIpcMode); a buffer, semaphore set or segment that belongs to another
// user is refused.
//
// Signals: while an IPC lock is held, the fatal signals (SIGILL, SIGABRT,
// SIGFPE, SIGBUS, SIGSEGV, SIGSYS) release the locks before the process
// ends. The traps go in with the process's first driver connection (or
// lock) and out with its last one; dispositions set in between replace
// them (the semaphores are still released at the process's end: SEM_UNDO).
//
// Process-wide state, single-threaded: call from one thread only.
#ifndef ZQL_IPCUX_H
#define ZQL_IPCUX_H

#include <cstdint>

#include "zqlproto.h"

// ---------------------------------------------------------------------------
// The communication buffer and the locks
// ---------------------------------------------------------------------------

// Attaches the communication buffer of the zql.ini at path (which must
// exist), creating it and the semaphore set when missing. kZqlOk with the
// buffer lock held (release with ZqlIpcUnlockComBuf); else
// kZqlErrCannotCreateCommunicationBuffer when the key, the semaphores or
// the segment cannot be had or belong to another user, with nothing
// attached and nothing this call made left behind.
EZqlError ZqlIpcCreateComBuf(const char* path);
// Detaches this process from the buffer (and from every data segment); the
// last process removes the segment and the semaphore set. kZqlOk;
// kZqlErrInternalZQLError when nothing is attached;
// kZqlErrCannotCreateCommunicationBuffer when locking or unlocking fails.
EZqlError ZqlIpcDeleteComBuf();
// Enters this process in the buffer's client table (zqlproto.h), so that
// a driver can take back its connections should it end without closing
// them. A full table leaves it out. REQUIRES: the buffer attached and its
// lock held, this process not yet entered.
void ZqlIpcJoinClients();
// The attached buffer, or null.
SZqlComBuf* ZqlIpcComBuf();
// The key of the attached buffer, -1 when none.
int32_t ZqlIpcKey();

// Lock semaphore 20 (no-op when this process holds it already) and release
// it (no-op when not held); lock and release the request lock of driver
// slot i (0..19), one lock of this process at a time. kZqlOk, or
// kZqlErrCannotCreateCommunicationBuffer without a semaphore set or buffer,
// for a slot outside 0..19 (or not held, to release), or when the system
// refuses. Locking may block while another process holds the lock; a lock
// whose holder died is taken over.
EZqlError ZqlIpcLockComBuf();
EZqlError ZqlIpcUnlockComBuf();
EZqlError ZqlIpcLockDriver(int i);
EZqlError ZqlIpcUnlockDriver(int i);
// 1 while this process holds the buffer lock, or the lock of driver slot i.
int ZqlIpcHoldsComBuf();
int ZqlIpcHoldsDriver(int i);

// Driver connections of this process, in all and to slot. Counting the
// first connection installs the fatal-signal traps, uncounting the last
// removes them; a count never goes below 0.
int ZqlIpcConnections();
int ZqlIpcSlotConnections(int slot);
void ZqlIpcCountConnection(int slot, int delta);

// ---------------------------------------------------------------------------
// Data segments. A driver's segment stays attached between requests while
// slot i names the same driver process and segment key.
// ---------------------------------------------------------------------------

struct SZqlSegment {
  int32_t key;          // the slot's segment key when attached
  int32_t pid;          // the slot's driver when attached
  unsigned char* addr;  // null when not attached
  uint32_t size;        // usable bytes: what the slot claims, at most the segment's
};

// The data segment of the driver in slot i (its key and pid as slot names
// them), attached; null with *code set when it cannot be had:
// kZqlErrServerDiedConnectionLost (no driver, no segment),
// kZqlErrCannotCreateCommunicationBuffer (a segment of another user).
// Valid until ZqlIpcDropSegment(i) or the buffer is left.
SZqlSegment* ZqlIpcAttachSegment(int i, const linkinf& slot, EZqlError* code);
void ZqlIpcDropSegment(int i);
// Removes the data segment a dead driver of slot left behind (it cannot
// remove it itself once killed), when it is ours and was made by that
// driver.
void ZqlIpcRemoveOrphanSegment(const linkinf& slot);

// ---------------------------------------------------------------------------
// Processes and waits
// ---------------------------------------------------------------------------

// Driver children of this process: tracked ones are reaped by the request
// traps and by the liveness test. ZqlIpcReapChild waits for pid to end.
void ZqlIpcTrackChild(int32_t pid);
void ZqlIpcReapChild(int32_t pid);
// 1 while process pid exists and has not ended (an unreaped, ended process
// counts as gone); 0 for pid <= 0. A process of another user counts as
// alive.
int ZqlIpcProcessAlive(int32_t pid);
// This process's id, asked of the system once per process (a fork makes
// the child ask again).
int32_t ZqlIpcSelf();

// Request traps: ZqlIpcSetComTraps blocks SIGUSR1 and SIGCHLD (the wait
// takes them with sigtimedwait; no handler, alarm or disposition is
// touched). ZqlIpcRstComTraps restores the signal mask, first raising
// SIGCHLD again when the wait took one, for the caller's own children.
void ZqlIpcSetComTraps();
void ZqlIpcRstComTraps();
// With the request traps set: waits until the driver pid answered (1) or
// is gone (0), re-testing at each signal and after each liveness period;
// a driver held stopped (SIGSTOP) for a whole period ends the wait with -1.
// With status null the answer is a SIGUSR1 from pid. Otherwise (a start-up
// or a request) it is *status leaving kZqlSlotStarting or kZqlSlotPending
// together with pid's SIGUSR1, or, when that signal merged with a stray
// one, with the end of the next period; a driver that ended after it
// answered still counts as having answered. SIGUSR1 from others is
// swallowed. May block for as long as the driver lives and runs.
int ZqlIpcAwait(int32_t pid, const volatile int32_t* status);
// For a new child before exec (async-signal-safe): default dispositions for
// the fatal signals, and the signal mask from before ZqlIpcSetComTraps.
void ZqlIpcChildSignals();

// ---------------------------------------------------------------------------
// Test seams
// ---------------------------------------------------------------------------

// A function called while waiting, after the request or start was announced
// and before the first wait (null: none).
void TEST_ZqlIpcSetWaitHook(void (*hook)());
// The liveness periods that ran out while waiting.
int TEST_ZqlIpcAlarmCount();
// 1 while a thread (of any process) holds driver slot i's request lock, 0
// when it is free (one whose holder died is taken over and freed), -1
// without a buffer or for a slot outside 0..19.
int TEST_ZqlIpcDriverLocked(int i);
// Forgets all state of this process (detaches what is attached, removes
// nothing) so that a failed test does not spill into the next.
void TEST_ZqlIpcReset();

#endif  // ZQL_IPCUX_H
