// A driver for the link tests. It answers Attach and Detach as a real
// driver does, echoes test requests, and misbehaves on demand.
//
// Environment (inherited from the client that starts it):
//   ZQL_TEST_DRIVER_MODE     exit-early   ends before reporting ready
//                            not-driver   signals the client, changes nothing
//                            die-in-request  ends while serving a request
//                            bad-reply    answers with a length word larger
//                                         than the segment
//                            bad-version  answers Attach with another version
//   ZQL_TEST_DRIVER_SEGMENT  size of the data segment in bytes
//   ZQL_TEST_DRIVER_LOG      file that receives one line per packed request
//
// Test requests start with the marker "TEST" instead of the packed buffer's
// marker; their payload (after the 8-byte header) is a command:
//   EMPTY                 empty reply
//   BIG <n>               a reply of n bytes
//   SLEEP <ms> <path>     creates path, sleeps, then echoes
//   anything else         echoes the whole request

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "objpack.h"
#include "zqldrvkit.h"

namespace {

constexpr uint32_t kTestMarker = 0x54534554;  // "TEST"
constexpr int32_t kProtocolVersion = 0x10001;
constexpr int32_t kDriverValue = 4242;

std::string Mode() {
  const char* mode = std::getenv("ZQL_TEST_DRIVER_MODE");
  return mode != nullptr ? mode : "";
}

void Log(const std::string& line) {
  const char* path = std::getenv("ZQL_TEST_DRIVER_LOG");
  if (path == nullptr) return;
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0) return;
  const std::string text = line + "\n";
  ssize_t ignored = write(fd, text.data(), text.size());
  (void)ignored;
  close(fd);
}

class ScriptedDriver : public CZqlDrvRawHandler {
 public:
  ScriptedDriver(CZqlDrvKit* kit, std::string mode) : kit_(kit), mode_(std::move(mode)) {}

  int32_t Serve(const unsigned char* request, uint32_t size,
                std::vector<unsigned char>* reply) override {
    if (mode_ == "die-in-request") std::exit(4);
    if (mode_ == "bad-reply") kit_->TEST_SetRawReplyLength(kit_->SegmentSize());
    uint32_t marker;
    std::memcpy(&marker, request, sizeof marker);
    if (marker == kTestMarker) return Command(request, size, reply);
    int32_t status = 0;
    ZqlTry([&] { status = Packed(request, size, reply); });
    return status;
  }

 private:
  int32_t Command(const unsigned char* request, uint32_t size, std::vector<unsigned char>* reply) {
    const std::string payload(reinterpret_cast<const char*>(request) + 8, size - 8);
    if (payload.rfind("EMPTY", 0) == 0) return 0;
    if (payload.rfind("BIG ", 0) == 0) {
      reply->assign(std::strtoul(payload.c_str() + 4, nullptr, 10), 'x');
      return 0;
    }
    if (payload.rfind("SLEEP ", 0) == 0) Sleep(payload);
    reply->assign(request, request + size);
    return 0;
  }

  static void Sleep(const std::string& payload) {
    char path[512] = {};
    long ms = 0;
    if (std::sscanf(payload.c_str(), "SLEEP %ld %511s", &ms, path) != 2) return;
    const int fd = open(path, O_WRONLY | O_CREAT, 0600);
    if (fd >= 0) close(fd);
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }

  // Attach, Detach and any other packed request.
  int32_t Packed(const unsigned char* request, uint32_t size, std::vector<unsigned char>* reply) {
    CZqlObjPack in(const_cast<unsigned char*>(request), size);
    int32_t code = -1;
    if (in.setActive(3)) in.getPackedValue(&code);
    std::string line = "code=" + std::to_string(code);
    for (int label = 4; label <= 12; ++label) {
      int32_t value;
      if (in.setActive(label) && in.getPackedValue(&value))
        line += " " + std::to_string(label) + ":" + std::to_string(value);
    }
    Log(line);
    CZqlObjPack out;
    Reply(&out, code);
    reply->resize(out.Size());
    out.setBuffer(reply->data(), static_cast<uint32_t>(reply->size()));
    Reply(&out, code);
    return 0;
  }

  void Reply(CZqlObjPack* out, int32_t code) {
    if (code == 0) {
      out->add(0, mode_ == "bad-version" ? kProtocolVersion + 1 : kProtocolVersion);
      for (int label = 5; label <= 10; ++label) out->add(label, static_cast<int32_t>(496 + label));
    } else if (code != 1) {
      out->add(2, static_cast<int32_t>(0));
    } else {
      out->add(0, kProtocolVersion);
    }
  }

  CZqlDrvKit* kit_;
  std::string mode_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = Mode();
  if (mode == "exit-early") return 3;
  if (mode == "not-driver") {
    kill(getppid(), SIGUSR1);
    return 0;
  }
  SZqlDrvOptions options;
  options.value = kDriverValue;
  if (const char* size = std::getenv("ZQL_TEST_DRIVER_SEGMENT"))
    options.segmentSize = static_cast<uint32_t>(std::strtoul(size, nullptr, 10));
  CZqlDrvKit kit;
  if (kit.Start(argc, argv, options) != 0) return 2;
  ScriptedDriver driver(&kit, mode);
  return kit.Run(&driver);
}
