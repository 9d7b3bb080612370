// Fuzz target: the driver kit's request decoder, as a hostile or buggy
// client would feed it. One decoder serves a run of requests, so that the
// statements and cursors of earlier requests are there for later ones.
//
// The input is a list of records: a byte of options, a 16-bit length and
// that many bytes.
//   options bit 0 clear: the bytes are the whole request, as sent;
//   options bit 0 set:   the target packs a sound header (version, label 5,
//                        request code = options >> 3, label 11 and 12 ids
//                        from the first 8 bytes) and appends the rest raw,
//                        fixing the length word, so that the items past the
//                        header reach each request's own reader.
// Every request must be answered (0 with a reply that fits) or refused with
// its code; a crash, a hang or a sanitizer report is a fault.
#include <cstdint>
#include <cstring>
#include <vector>

#include "objpack.h"
#include "zqlcol.h"
#include "zqldrvreq.h"

namespace {

constexpr uint32_t kCapacity = 16 * 1024;

// A driver that accepts everything: one INTEGER parameter and column per
// statement, two rows per cursor.
class CAcceptAll : public CZqlDriver {
 public:
  int32_t Connect(CZqlDDA*, const CZqlUcStr&, const CZqlUcStr&, const CZqlUcStr&,
                  uint32_t* connection) override {
    *connection = ++next_;
    return 0;
  }
  int32_t Disconnect(CZqlDDA*, uint32_t, EZqlBoolean) override { return 0; }
  int32_t IExecute(CZqlDDA*, uint32_t, const CZqlUcStr& text) override {
    return text.Length() % 7 == 0 ? kZqlErrSyntaxErrorOrAccessRuleViolationInDynamicSQLStatement : 0;
  }
  int32_t Prepare(CZqlDDA* dda, uint32_t, const CZqlUcStr&, uint32_t* statement) override {
    CZqlInt type;
    dda->setStmType(kZqlStmSelect);
    dda->AllocParDsc(1);
    dda->ParDsc(0)->setDsc(&type);
    dda->AllocColDsc(1);
    dda->ColDsc(0)->setName(CZqlIdent("N"));
    dda->ColDsc(0)->setDataDsc(&type);
    *statement = ++next_;
    return 0;
  }
  int32_t Execute(CZqlDDA*, uint32_t) override { return 0; }
  int32_t DeallocStm(CZqlDDA*, uint32_t) override { return 0; }
  int32_t AllocCsr(CZqlDDA*, uint32_t, const CZqlIdent&, EZqlCurScr, EZqlCurSns,
                   uint32_t* cursor) override {
    *cursor = ++next_;
    return 0;
  }
  int32_t Open(CZqlDDA*, uint32_t) override {
    rows_ = 0;
    return 0;
  }
  int32_t Close(CZqlDDA*, uint32_t) override { return 0; }
  int32_t Fetch(CZqlDDA* dda, uint32_t, EZqlDirection, int32_t) override {
    if (rows_ >= 2) return kZqlErrNoData0200;
    CZqlData* out = nullptr;
    if (dda->ColCount() < 1 || !dda->OutDsc(0)->getBind(&out) || out == nullptr)
      return kZqlErrInternalZQLError;
    out->storeValue(static_cast<long>(++rows_));
    return 0;
  }
  int32_t Status(CZqlDDA*, uint32_t id, EZqlStatInfo, uint32_t* value) override {
    *value = id;
    return 0;
  }

 private:
  uint32_t next_ = 0;
  int rows_ = 0;
};

// A sound header for request code, with the ids the first bytes give, then
// the rest of the bytes as they are.
std::vector<unsigned char> Build(int32_t code, const uint8_t* data, size_t size) {
  uint32_t ids[2] = {1, 2};
  const size_t idBytes = size < sizeof ids ? size : sizeof ids;
  std::memcpy(ids, data, idBytes);
  auto fill = [&](CZqlObjPack* p) {
    p->add(kZqlReqLabelVersion, kZqlProtocolVersion);
    p->add(kZqlReqLabelInfo, int32_t{1});
    p->add(kZqlReqLabelCode, code);
    p->add(kZqlReqLabelArg1, ids[0]);
    p->add(kZqlReqLabelArg2, ids[1]);
  };
  CZqlObjPack sizing;
  fill(&sizing);
  const uint32_t head = sizing.Size();
  std::vector<unsigned char> out(head);
  CZqlObjPack pack(out.data(), head);
  fill(&pack);
  out.insert(out.end(), data + idBytes, data + size);
  const uint32_t total = static_cast<uint32_t>(out.size());
  std::memcpy(out.data() + 4, &total, sizeof total);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256 * 1024) return 0;
  CAcceptAll driver;
  CZqlDrvDecoder decoder(&driver, kCapacity);
  size_t at = 0;
  while (at + 3 <= size) {
    const uint8_t options = data[at];
    const size_t length = data[at + 1] | (size_t{data[at + 2]} << 8);
    at += 3;
    const size_t n = length < size - at ? length : size - at;
    std::vector<unsigned char> request =
        (options & 1) != 0 ? Build(options >> 3, data + at, n)
                           : std::vector<unsigned char>(data + at, data + at + n);
    at += n;
    std::vector<unsigned char> reply;
    const int32_t code = decoder.Serve(request.data(), static_cast<uint32_t>(request.size()),
                                       &reply);
    if (code == 0 && reply.size() > kCapacity) __builtin_trap();
  }
  return 0;
}
