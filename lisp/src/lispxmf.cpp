// lispxmf.cpp - the binding's message file.
#include "lispxmf.h"

#include <cstring>
#include <string>

#include "lisproot.h"
#include "zqlappl.h"
#include "zqlio.h"
#include "zqlxmf.h"

namespace {

constexpr const char kFileName[] = "zqllisp.xmx";
constexpr const char kNoMessage[] = "no applicable message is available";

// Message numbers of the codes 1 to 21 (index code - 1).
constexpr int kMessageOf[] = {4,  3,  5,  6,  7,  8,  9,  12, 13, 11, 10,
                              14, 15, 16, 17, 18, 19, 20, 21, 22, 23};

}  // namespace

int ZqlLispMessageNumber(int code) {
  if (code < 1 || code > static_cast<int>(sizeof kMessageOf / sizeof(int)))
    return 1;
  return kMessageOf[code - 1];
}

CZqlLispXmf::~CZqlLispXmf() { term(); }

int CZqlLispXmf::init() {
  int ok = 0;
  ZqlTry([&] {
    if (!reader_) reader_ = new CZqlXmfUtil;
    if (!text_) text_ = new CZqlUcStr;
    CZqlDirMisc dirs;
    char path[kZqlMaxPath] = {0};
    if (!dirs.Find(kFileName, path, sizeof path))
      std::strncpy(path, kFileName, sizeof path - 1);
    ok = reader_->Init(path);
  });
  return ok;
}

int CZqlLispXmf::term() {
  if (reader_) {
    ZqlTry([&] { reader_->Term(); });
    delete reader_;
    reader_ = nullptr;
  }
  delete text_;
  text_ = nullptr;
  return 1;
}

char* CZqlLispXmf::errMsg(int message, int set) {
  if (set == -1) set = 1;
  if (message < 1) message = 1;
  std::string text;
  int ok = 0;
  if (reader_ && text_) {
    ZqlTry([&] {
      ok = reader_->Xmsg(set, message, text_) && ZqlLispText(*text_, &text);
    });
  }
  if (!ok) text = kNoMessage;
  if (text.size() > INT32_MAX) text = kNoMessage;
  char* out = allocBuf(static_cast<int32_t>(text.size()));
  if (out) std::memcpy(out, text.data(), text.size());
  return out;
}
