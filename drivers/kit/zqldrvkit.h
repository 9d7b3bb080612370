// zqldrvkit.h - the driver's side of the driver link, shared by every ZQL
// driver program.
//
// Layers, bottom up:
//   CZqlDrvKit         the process protocol: start-up handshake with the
//                      client that started the driver, the data segment,
//                      the request loop, stopping;
//   CZqlDrvRawHandler  receives each request's raw bytes and produces the
//                      reply's bytes; CZqlDrvDecoder (zqldrvreq.h)
//                      implements it and calls the driver's CZqlDriver.
//
// A driver's main:
//   CZqlDrvKit kit;
//   if (kit.Start(argc, argv, options) != 0) return 1;
//   CZqlDrvDecoder decoder(&myDriver, kit.ReplyCapacity());
//   return kit.Run(&decoder);
//
// The kit handles SIGUSR1 (a request), SIGUSR2 (stop), and SIGTERM, SIGINT,
// SIGHUP and SIGQUIT (stop) synchronously: they stay blocked and are taken
// one at a time, so a request that arrives while another is served waits
// instead of being lost. While Run serves, a second thread takes
// kZqlIpcInterruptSignal and hands the slot's interrupt word to the
// handler's Interrupt, so a running request can be stopped. The data segment is removed on every way out:
// Close or the destructor, exit() (an exit handler), and the fatal signals.
// One kit per process.
#ifndef ZQL_ZQLDRVKIT_H
#define ZQL_ZQLDRVKIT_H

#include <pthread.h>

#include <cstdint>
#include <vector>

#include "zqlproto.h"
#include "zqlspin.h"

// Size of the data segment unless the driver asks for another.
constexpr uint32_t kZqlDrvDefaultSegment = 256 * 1024;

struct SZqlDrvOptions {
  // Bytes of the data segment: the largest request, and 4 more than the
  // largest reply. At least 64.
  uint32_t segmentSize = kZqlDrvDefaultSegment;
  // The driver's value, which the client copies into its server record.
  int32_t value = 0;
  // Every request and reply goes by signal: the kit neither spins nor
  // keeps the slot's wake words (zqlproto.h), as a driver not built on it.
  bool signalsOnly = false;
};

// Receives the requests of a driver.
class CZqlDrvRawHandler {
 public:
  virtual ~CZqlDrvRawHandler() = default;
  // Serves one request: size bytes at request (a packed buffer; borrowed for
  // the call only). Appends the reply's bytes to *reply, which arrives
  // empty, and answers 0; or answers an EZqlError code without a reply, and
  // the kit replies with that code alone at label 2. Must not throw.
  virtual int32_t Serve(const unsigned char* request, uint32_t size,
                        std::vector<unsigned char>* reply) = 0;
  // The client process whose request the next Serve carries.
  virtual void Serving(int32_t clientPid) { (void)clientPid; }
  // Client process pid ended without closing its connections to this
  // driver: roll them back and forget them. Must not throw.
  virtual void ClientGone(int32_t pid) { (void)pid; }
  // A client asked, out of band, to stop the request running for
  // connection. Called on the kit's interrupt thread, concurrently with
  // Serve: must be thread-safe and must not throw.
  virtual void Interrupt(uint32_t connection) { (void)connection; }
};

class CZqlDrvKit {
 public:
  CZqlDrvKit();
  // Close().
  ~CZqlDrvKit();
  CZqlDrvKit(const CZqlDrvKit&) = delete;
  CZqlDrvKit& operator=(const CZqlDrvKit&) = delete;

  // The start-up handshake: reads the IPC key from argv[1], attaches the
  // communication buffer, finds the slot named by its header word 0, creates
  // the data segment (owner-only), fills in the slot (process id, segment
  // key and size, value), sets its status to kZqlSlotReady and sends
  // SIGUSR1 to the client. Answers 0 when the client was told; else an
  // EZqlError code with nothing told (kZqlErrInvalidFunctionArguments bad
  // arguments; kZqlErrCannotCreateCommunicationBuffer no buffer, a buffer
  // of another user, no segment; kZqlErrErrorFoundDuringDriverInitialization
  // a slot that is not being started).
  int32_t Start(int argc, char** argv, const SZqlDrvOptions& options);
  // Serves requests until SIGUSR2 (answers 0), another stop signal, or the
  // link is found gone at an idle check every 5 seconds (the buffer was
  // removed, or the slot no longer names this process) (answers 1). The
  // same check, and a quicker one before each request (processes already
  // reaped), find client processes that ended without closing their
  // connections (the buffer's client table): their counts come off the
  // slot and the buffer, the handler rolls their connections back
  // (ClientGone), and when that leaves the slot without connections the
  // driver frees it and ends (answers 1), removing the buffer and the
  // semaphores when no client is attached any more. A
  // SIGUSR1 while no request is pending is ignored. After each reply the
  // kit spins for the next request for the spin window (zqlspin.h) before
  // it sleeps, unless options.signalsOnly was set. A reply that does not
  // fit the segment is replaced by one carrying
  // kZqlErrErrorFoundInDBMSCommunication at label 2, as is the answer to a
  // request whose length word does not fit the segment.
  // REQUIRES: Start answered 0; handler outlives the call.
  int Run(CZqlDrvRawHandler* handler);
  // Removes the data segment and detaches everything; safe to repeat.
  void Close();

  uint32_t SegmentSize() const { return segSize_; }
  // Largest reply that fits the segment.
  uint32_t ReplyCapacity() const { return segSize_ - kZqlReplyHeaderSize; }
  int Slot() const { return slot_; }
  // Process id of the client that sent the request being served (the
  // slot's client pid); 0 before Start.
  int32_t ClientPid() const;

  // Test hook: the next reply carries length word `length` (whatever it is)
  // and no bytes, to imitate a damaged reply.
  void TEST_SetRawReplyLength(uint32_t length);

 private:
  linkinf& slotInfo() const;
  int32_t attachBuffer(int32_t key);
  int32_t createSegment(uint32_t size);
  void serveOne(CZqlDrvRawHandler* handler);
  void writeReply(int32_t outcome);
  bool linkAlive() const;
  bool reclaimDeadClients(CZqlDrvRawHandler* handler, bool quick);
  void idleCheck(CZqlDrvRawHandler* handler, bool* stop);
  bool spinForRequest();

  SZqlComBuf* comBuf_ = nullptr;
  int comId_ = -1;
  int semId_ = -1;        // the buffer's semaphores, -1 when not ours
  bool clientTable_ = false;  // the buffer carries the client table
  long lastCheck_ = 0;    // monotonic seconds of the last idle check
  unsigned char* seg_ = nullptr;
  uint32_t segSize_ = 0;
  int slot_ = -1;
  // The wake protocol (zqlproto.h): whether the kit keeps the words, how
  // it spins (or yields) for the next request, its token sequence, the
  // token of its current spin, and whether a reply armed one.
  bool wakeWords_ = false;
  SZqlSpinPlan spin_;
  uint32_t wakeSequence_ = 0;
  int32_t requestToken_ = 0;
  bool spinArmed_ = false;
  std::vector<unsigned char> request_;  // private copy of the request
  std::vector<unsigned char> reply_;
  // The interrupt thread, its stop flag and the handler it calls.
  pthread_t interrupter_{};
  bool hasInterrupter_ = false;
  int stopInterrupts_ = 0;  // atomic access only
  CZqlDrvRawHandler* interruptHandler_ = nullptr;
  int serve(CZqlDrvRawHandler* handler);
  void startInterrupts(CZqlDrvRawHandler* handler);
  void stopInterrupts();
  static void* interruptLoop(void* kit);
  bool rawLength_ = false;
  uint32_t rawLengthValue_ = 0;
};

#endif  // ZQL_ZQLDRVKIT_H
