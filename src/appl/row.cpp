// CZqlRow: a fixed array of columns with a sentinel for bad indexes.

#include <memory>

#include "zqlcol.h"

namespace {

// The sentinel's name tells a caller who ignored the raise what happened.
const char kSentinelName[] = "Wrong Column Number";

}  // namespace

CZqlRow::CZqlRow(int n) : cols_(nullptr), count_(0) {
  if (n <= 0) return;
  ZqlEntryVoid([&] {
    cols_ = new CZqlColumn[static_cast<std::size_t>(n)];
    count_ = n;
  });
}

CZqlRow::CZqlRow(const CZqlRow& other)
    : CZqlObject(other), cols_(nullptr), count_(0), sentinel_(other.sentinel_) {
  if (other.count_ <= 0) return;
  ZqlEntryVoid([&] {
    std::unique_ptr<CZqlColumn[]> cols(
        new CZqlColumn[static_cast<std::size_t>(other.count_)]);
    for (int i = 0; i < other.count_; ++i) cols[i] = other.cols_[i];
    cols_ = cols.release();
    count_ = other.count_;
  });
}

CZqlRow::~CZqlRow() { delete[] cols_; }

CZqlRow* CZqlRow::duplicate() const { return new CZqlRow(*this); }

void CZqlRow::Clear() {
  delete[] cols_;
  cols_ = nullptr;
  count_ = 0;
}

CZqlColumn& CZqlRow::operator[](int i) const {
  CZqlColumn* col = ZqlEntry<CZqlColumn*>(&sentinel_, [&] {
    if (i < 0 || i >= count_) {
      // Named when first handed out, not with each row: a row is made for
      // every fetched row, and the name costs an identifier parse.
      if (sentinel_.Name().Length() == 0) sentinel_.setName(CZqlIdent(kSentinelName));
      ZQL_RAISE(kZqlErrInvalidDescriptorIndex);
    }
    return &cols_[i];
  });
  return *col;
}

int CZqlRow::findCol(const CZqlIdent& name) const {
  for (int i = 0; i < count_; ++i) {
    if (cols_[i].Name() == name) return i;
  }
  return -1;
}

int CZqlRow::isDistinct() const {
  if (cols_ == nullptr) return -1;
  for (int i = 0; i < count_; ++i) {
    for (int j = i + 1; j < count_; ++j) {
      if (cols_[i].Name() == cols_[j].Name()) return 0;
    }
  }
  return 1;
}
