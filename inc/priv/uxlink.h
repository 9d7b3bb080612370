// uxlink.h - the transport of the Unix driver link: starting a driver in a
// slot of the communication buffer (or reusing the one running there), one
// request and its reply through the driver's data segment, and closing a
// connection. Built on the low layer of ipcux.h.
//
// Every function answers a status value (kZqlOk or an EZqlError code) and
// never raises; the request layer (ipclink.h) turns a failure into a raise.
//
// A request to a driver that keeps the slot's wake words (every driver on
// the kit) spins before it sleeps: the client watches the status word for
// the reply for up to the spin window (zqlspin.h, 50 us; off when the
// process may use one CPU only) and the driver watches it for the next
// request as long after each reply, and neither signals a side that still
// spins (the token protocol of zqlproto.h settles it). A program that
// streams requests then pays about 1.5 us a round trip instead of two
// wake-ups (about 20 us); the price is up to the window of CPU burned on
// each side per request that comes later. A driver that does not keep the
// words is signalled every time, as before.
//
// Process-wide state, single-threaded: call from one thread only.
#ifndef ZQL_UXLINK_H
#define ZQL_UXLINK_H

#include <cstdint>

#include "zqlproto.h"

struct SZqlIpcSys;

// The record of a driver connection, shared by all copies of a CZqlServer.
struct SZqlServer {
  int32_t refCount;
  char baseName[32];     // driver file name after the last '/', <= 31 chars
  SZqlIpcSys* ipcSys;    // counted reference to the IPC system's body
  int32_t slot;          // driver slot; -1 while the connection is not counted
  int32_t reserved;
  int32_t driverValue;   // the driver's value from its slot
  int32_t size;          // request size; the reply size after a request
  int32_t attach[kZqlAttachValueCount];  // what Attach received at labels 5 to 10
  unsigned char* request;  // owned (ZqlMemoryMalloc); null when none
  unsigned char* reply;    // owned (ZqlMemoryMalloc); null when none
  uint32_t requestRoom;    // bytes allocated at request
  uint32_t replyRoom;      // bytes allocated at reply
};

// Connects the record to the driver at driverPath for the zql.ini at
// iniPath (full paths): reuses the slot of a running driver with that path,
// restarts it in its slot when its process is gone, or starts it in the
// highest free slot and waits until it reports ready. Sets server->slot and
// server->driverValue and counts the connection (kZqlOk). Failures:
// kZqlErrDriverNameIsInvalid (empty path, or over kZqlMaxDriverPath
// characters: refused before anything is made);
// kZqlErrCannotCreateCommunicationBuffer (the buffer or its locks);
// kZqlErrTooManyDriverLoaded (no free slot); a start that failed by errno
// (EACCES kZqlErrAccessDenied, ENAMETOOLONG kZqlErrCannotOpenZQLDriverFile,
// ENOENT/ENOTDIR kZqlErrPathNotFound, ENOEXEC
// kZqlErrInvalidZQLDriverExecutableFormat, ENOMEM
// kZqlErrInsufficientVirtualMemorySpace, others kZqlErrOperatingSystemError);
// kZqlErrErrorFoundDuringDriverInitialization (the driver ended before it
// reported ready). A program that reported in without clearing its status
// (the value of kZqlSlotStarting, kZqlErrProgramReferencedInZQLINIIsNotAnZQLDriver)
// answers that value and leaves the connection counted in the slot
// (release it with ZqlDisconServerOnUnix). A process left without
// connections leaves the buffer. Blocks while the driver starts.
EZqlError ZqlLoadServerOnUnix(const char* iniPath, const char* driverPath, SZqlServer* server);

// Sends the record's request (server->request, server->size bytes) to its
// slot's driver and waits for the reply: its length goes to server->size
// and its bytes into server->reply, which is kept across requests and
// grows when the reply does not fit its room (server->replyRoom); an empty
// reply leaves the buffer as it was (null before any reply). kZqlOk, or:
// kZqlErrCannotCreateCommunicationBuffer (no buffer, the driver lock, a
// data segment of another user); kZqlErrInternalZQLError (no slot, a reply
// whose length exceeds the segment, a status the exchange cannot end in);
// kZqlErrServerDiedConnectionLost (the driver is gone or has no data
// segment); kZqlErrErrorFoundInDBMSCommunication (a request larger than
// the data segment: nothing is sent); kZqlErrInsufficientMemory (the reply
// buffer); the code a driver not built on the kit left in the status.
// After the value of kZqlSlotStarting the slot's path is emptied so that
// it is not reused. Blocks while the driver lives and has not answered.
EZqlError ZqlSendDataToServer(SZqlServer* server);

// Closes one connection of this process to slot. *stopped (may be null)
// receives true when this was the driver's last connection (it was told to
// stop and the slot freed). The process's last connection detaches the
// buffer. kZqlOk, or: kZqlErrCannotCreateCommunicationBuffer (no buffer, a
// lock); kZqlErrInternalZQLError (slot outside 0..19 or not in use, or
// nothing to detach).
EZqlError ZqlDisconServerOnUnix(int slot, bool* stopped = nullptr);

// Where an out-of-band interrupt goes: a driver slot and the driver's
// connection id; slot -1 for none. A plain value, safe to copy and to use
// on any thread.
struct SZqlInterrupt {
  int32_t slot = -1;
  uint32_t connection = 0;
};

// Asks the driver of target's slot, out of band, to stop the request it is
// running for target's connection (see kZqlIpcInterruptSignal): takes no
// lock and touches no record, so it may be called on any thread while
// another waits for that driver. Waits at most about 100 ms for an earlier
// interrupt of the same driver to be taken. Nothing is sent while the
// driver has no request pending. As with any cancel, a request that ends
// just as the interrupt comes may leave it to the next one of that
// connection. kZqlOk when the driver was signalled or had nothing pending
// (whether it knows the word is its own business), or:
// kZqlErrConnectionDoesNotExist (slot -1); kZqlErrCannotCreateCommunicationBuffer
// (no buffer); kZqlErrInternalZQLError (slot beyond 19, connection 0);
// kZqlErrServerDiedConnectionLost (no driver in the slot, or it is gone);
// kZqlErrErrorFoundInDBMSCommunication (an earlier interrupt was never
// taken).
EZqlError ZqlInterruptServerOnUnix(const SZqlInterrupt& target);

#endif  // ZQL_UXLINK_H
