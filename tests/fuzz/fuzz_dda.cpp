// Fuzz target: unpacking arbitrary bytes into a descriptor area. Every
// unpack must either succeed or raise 0xA00C "internal ZQL error"; any
// other code, a crash, a leak or a read outside the given bytes (caught by
// the sanitizers) is a fault.
//
// The first input byte picks the options, the rest is the packed area:
//   bit 0  overwrite the length field with the real size, so that the
//          items, not just the header, are exercised
//   bit 1  unpack into an area that already holds a described query (two
//          columns, a parameter with a bound value, the row's outputs and
//          conditions), as a client's area does when a reply arrives
//   bit 2  make the area the current one, so conditions that the value
//          classes push while reading land in the area being read
//   bit 3  pack the area again after a successful unpack, as each
//          command kind would (packSize must match the bytes written), and
//          read that back into a duplicate (success or 0xA00C)
//   bit 4  prefix a sound version item, so the reader gets past it
//   bit 5  ignore the above for the bytes: pack a sound area with every
//          block (the second input byte picks the command kind) and spoil
//          it with the rest of the input, read as (offset, xor) triples, so
//          the deep readers are reached without a seed corpus
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "objpack.h"
#include "zqlcol.h"
#include "zqldda.h"

namespace {

void Check(int completed) {
  if (!completed && ZqlTryCode() != kZqlErrInternalZQLError) std::abort();
}

// A client's area after PREPARE of a query and one FETCH.
void Describe(CZqlDDA* dda, CZqlInt* bound) {
  dda->Init(4);
  dda->setCmdStmType(kZqlStmPrepare);
  dda->setStmType(kZqlStmCursor);
  dda->AllocColDsc(2);
  const CZqlInt i;
  CZqlChar c(6);
  dda->ColDsc(0)->setDataDsc(&i);
  dda->ColDsc(1)->setDataDsc(&c);
  dda->AllocParDsc(1);
  dda->ParDsc(0)->setDsc(&i);
  dda->ParDsc(0)->setBind(bound);
  dda->CreateOutput();
  dda->pushErr(kZqlErrEOFFound);
  dda->setDiagPar(kZqlDiagTableName, CZqlUcStr("T"));
  dda->pushErr(kZqlErrStackOverflow);
}

// Packs dda as command cmd twice (sizing, then writing) and reads the
// bytes back into a duplicate.
void Repack(const CZqlDDA& dda, EZqlStatement cmd) {
  std::unique_ptr<CZqlDDA> copy(dda.duplicate());
  if (!copy) std::abort();
  copy->setCmdStmType(cmd);
  const unsigned int size = copy->packSize();
  std::vector<unsigned char> buf(size);
  CZqlObjPack pack(buf.empty() ? nullptr : buf.data(), size);
  if (!ZqlTry([&] { copy->packTo(&pack); }) || pack.Size() != size) std::abort();
  pack.setBuffer(buf.empty() ? nullptr : buf.data(), size);
  Check(ZqlTry([&] { copy->unpackFrom(&pack); }));
}

// A sound area with conditions, columns, a parameter and a row, packed as
// command cmd, spoiled by (offset low, offset high, xor) triples.
std::vector<unsigned char> Spoiled(const uint8_t* data, size_t size) {
  if (size < 1) return {};
  static const EZqlStatement kCmds[][2] = {{kZqlStmPrepare, kZqlStmSelect},
                                           {kZqlStmExecute, kZqlStmUndefined},
                                           {kZqlStmFetch, kZqlStmCursor},
                                           {kZqlStmConnect, kZqlStmUndefined}};
  const auto& kind = kCmds[data[0] % 4];
  CZqlInt bound;
  bound.storeValue(-5L);
  CZqlDDA dda;
  Describe(&dda, &bound);
  dda.setNameOfDBMS("dbms");
  dda.setSUTable("EMP");
  dda.setStatusOfDBMS(2);
  dda.setRowCount(9);
  dda.setCmdStmType(kind[0]);
  dda.setStmType(kind[1]);
  CZqlData* v = nullptr;
  if (dda.OutDsc(1)->getBind(&v)) v->storeValue("abc", 4);
  std::vector<unsigned char> buf(dda.packSize());
  CZqlObjPack pack(buf.data(), uint32_t(buf.size()));
  dda.packTo(&pack);
  for (size_t i = 1; i + 2 < size; i += 3) {
    const size_t at = (data[i] | size_t(data[i + 1]) << 8) % buf.size();
    buf[at] ^= data[i + 2];
  }
  return buf;
}

std::vector<unsigned char> Input(const uint8_t* data, size_t size, uint8_t options) {
  if (options & 32) return Spoiled(data, size);
  std::vector<unsigned char> buf(data, data + size);
  if (options & 16) {
    const uint16_t head[2] = {0, 7};
    const int32_t version = kZqlDDAPackVersion;
    std::vector<unsigned char> item(8);
    std::memcpy(item.data(), head, 4);
    std::memcpy(item.data() + 4, &version, 4);
    const size_t at = buf.size() >= 8 ? 8 : buf.size();
    buf.insert(buf.begin() + long(at), item.begin(), item.end());
  }
  if ((options & 1) && buf.size() >= 8) {
    const uint32_t n = uint32_t(buf.size());
    std::memcpy(buf.data() + 4, &n, 4);
  }
  // An exact-size copy: reading past the end is then a sanitizer fault.
  return std::vector<unsigned char>(buf.begin(), buf.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 20) return 0;
  const uint8_t options = data[0];
  std::vector<unsigned char> buf = Input(data + 1, size - 1, options);

  CZqlInt bound;
  bound.storeValue(3L);
  CZqlDDA dda;
  if (options & 2) Describe(&dda, &bound);
  CZqlDDA* previous = ZqlGetCurrentDDA();
  if (options & 4) ZqlSetCurrentDDA(&dda);

  CZqlObjPack pack(buf.empty() ? nullptr : buf.data(), uint32_t(buf.size()));
  const int ok = ZqlTry([&] { dda.unpackFrom(&pack); });
  Check(ok);
  if (ok && (options & 8)) {
    for (EZqlStatement cmd : {kZqlStmConnect, kZqlStmPrepare, kZqlStmExecute,
                              kZqlStmOpen, kZqlStmFetch}) {
      Repack(dda, cmd);
    }
  }
  ZqlSetCurrentDDA(previous);
  return 0;
}
