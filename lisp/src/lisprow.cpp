// lisprow.cpp - values between LISP items and the client's data values.
#include "lisprow.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "kel.h"
#include "lispbuf.h"
#include "lispcol.h"
#include "lisplist.h"
#include "lisproot.h"
#include "zqlappl.h"

namespace {

// A number for a character parameter (a driver that cannot tell a
// parameter's type describes it as text) goes in as its exact text: the
// value classes' own double-to-text form keeps only a few digits.
int StoreNumberText(CZqlData* value, double v) {
  char text[40];
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", v);
  } else {
    std::snprintf(text, sizeof text, "%.17g", v);
  }
  return value->storeValue(CZqlUcStr(text));
}

}  // namespace

CZqlLispRow::~CZqlLispRow() { setRow(nullptr); }

void CZqlLispRow::setRow(CZqlRow* row) {
  if (row_ == row) return;
  CZqlRow* old = row_;
  row_ = row;
  delete old;
}

CZqlRow* CZqlLispRow::release() {
  CZqlRow* r = row_;
  row_ = nullptr;
  return r;
}

CZqlData* CZqlLispRow::getData(int i) const {
  if (!row_ || i < 0 || i >= row_->ColNum()) return nullptr;
  CZqlData* data = nullptr;
  ZqlTry([&] { data = (*row_)[i].getData(); });
  return data;
}

CZqlLispObj* CZqlLispRow::lclone() const {
  auto* copy = new (std::nothrow) CZqlLispRow;
  if (copy && !copy->lcopyFrom(this)) {
    delete copy;
    return nullptr;
  }
  return copy;
}

int CZqlLispRow::lcopyFrom(const CZqlLispObj* other) {
  if (!other || other->lisA() != kZqlLispClsRow) return 0;
  const CZqlRow* src = static_cast<const CZqlLispRow*>(other)->row_;
  CZqlRow* copy = nullptr;
  if (src && !ZqlLispGuard(this, [&] { copy = src->duplicate(); })) return 0;
  setRow(copy);
  return 1;
}

namespace {

// Fills column i of a new row from descriptor item i of the list; false when
// the item is not a usable descriptor of the kind asked for.
using FillColumn = bool (*)(CZqlLispObj* item, CZqlColumn* column);

bool FillFromParm(CZqlLispObj* item, CZqlColumn* column) {
  CZqlParameter* par = item && item->lisA() == kZqlLispClsParm
                           ? static_cast<CZqlLispParm*>(item)->getPar()
                           : nullptr;
  if (!par || !par->Dsc()) return false;
  column->setName(par->Name());
  column->setDataDsc(par->Dsc());
  column->setNullable(par->isNullable());
  return true;
}

bool FillFromCol(CZqlLispObj* item, CZqlColumn* column) {
  CZqlColumn* col = item && item->lisA() == kZqlLispClsCol
                        ? static_cast<CZqlLispCol*>(item)->getCol()
                        : nullptr;
  if (!col) return false;
  *column = *col;
  return true;
}

}  // namespace

// One column per descriptor of items, filled by fill; a descriptor that
// cannot be used is an internal fault (the lists come from this module).
static int BuildRow(CZqlLispRow* self, CZqlLispList* items, FillColumn fill) {
  self->setRow(nullptr);
  if (!items) return 0;
  CZqlRow* row = nullptr;
  bool complete = true;
  const int ok = ZqlLispGuard(self, [&] {
    row = new CZqlRow(items->Qty());
    for (int i = 0; i < items->Qty() && complete; ++i) {
      CZqlLispObj* item = nullptr;
      items->getItem(i, &item);
      complete = fill(item, &(*row)[i]);
    }
  });
  if (!ok || !complete) {
    if (!complete) self->errPush(kZqlLispErrInternal);
    delete row;
    return 0;
  }
  self->setRow(row);
  return 1;
}

int CZqlLispRow::initParms(CZqlLispList* parms) {
  return BuildRow(this, parms, FillFromParm);
}

int CZqlLispRow::initCols(CZqlLispList* cols) {
  return BuildRow(this, cols, FillFromCol);
}

int CZqlLispRow::readBuf(CZqlLispBuf* buf) {
  if (!row_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  SReadState state;
  for (int i = 0; i < row_->ColNum(); ++i) {
    if (!readValue(i, buf, &state)) return 0;
  }
  return 1;
}

int CZqlLispRow::readValue(int i, CZqlLispBuf* buf, SReadState* state) {
  if (!row_ || !buf || !state) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  if (i < 0 || i >= row_->ColNum()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  const int type = buf->ItemType();
  bool isPoint = type == RTPOINT || type == RT3DPOINT;
  if (!isPoint) state->coordinatesUsed = 0;
  if (type != 0 && type != RTNIL && type != RTREAL && type != RTLONG &&
      type != RTSHORT && type != RTSTR && !isPoint) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  int stored = 1;
  const int ok = ZqlLispGuard(this, [&] {
    CZqlColumn& col = (*row_)[i];
    const CZqlData* current = col.getData();
    CZqlData* value = nullptr;
    if (type == 0 || type == RTNIL) {
      value = current ? current->duplicate() : new CZqlChar(255);
      value->setNull();
    } else if (type == RTREAL || isPoint) {
      value = current ? current->duplicate() : new CZqlReal;
      double v = buf->R();
      if (isPoint) {
        const int k = state->coordinatesUsed;
        v = k == 0 ? buf->PX() : k == 1 ? buf->PY() : buf->PZ();
      }
      stored = value->is_character() ? StoreNumberText(value, v)
                                     : value->storeValue(v);
    } else if (type == RTLONG) {
      value = current ? current->duplicate() : new CZqlInt;
      stored = value->is_character() ? StoreNumberText(value, buf->L())
                                     : value->storeValue(static_cast<long>(buf->L()));
    } else if (type == RTSHORT) {
      value = current ? current->duplicate() : new CZqlSmallInt;
      stored = value->is_character() ? StoreNumberText(value, buf->S())
                                     : value->storeValue(static_cast<short>(buf->S()));
    } else {
      value = current ? current->duplicate() : new CZqlChar(255);
      CZqlUcStr text(buf->C());
      if (value->Type() == kZqlTypeBit || value->Type() == kZqlTypeVarbit) {
        stored = static_cast<CZqlBinary*>(value)->storeHexValue(text);
      } else {
        stored = value->storeValue(text);
      }
    }
    col.setDataDsc(value);
    delete value;
  });
  if (!ok) return 0;
  if (!stored) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  if (isPoint) {
    const int count = type == RTPOINT ? 2 : 3;
    if (++state->coordinatesUsed < count) return 1;  // more values to come
    state->coordinatesUsed = 0;
  }
  if (type != 0) buf->getNextItem();
  return 1;
}

int ZqlLispWriteValue(const CZqlLispObj* owner, CZqlLispBuf* buf, const CZqlData* data) {
  // Implementation-defined values have no LISP form.
  if (!data || data->isNull() || data->is_implement()) return buf->addItemType(RTNIL);
  if (data->is_numeric()) {
    double v = 0.0;
    data->getValue(&v);
    return buf->addItem(v);
  }
  CZqlUcStr text;
  if (data->is_character() || data->is_datetime() || data->is_interval()) {
    data->getValue(&text);
  } else if (data->is_binary()) {
    static_cast<const CZqlBinary*>(data)->getHexValue(&text);
  } else {
    owner->errPush(kZqlLispErrInternal);
    return 0;
  }
  std::string chars;
  return ZqlLispText(text, &chars) && buf->addItem(chars.c_str());
}

int CZqlLispRow::writeBuf(CZqlLispBuf* buf) const {
  if (!row_ || !buf) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  int ok = 1;
  const int guarded = ZqlLispGuard(this, [&] {
    for (int i = 0; ok && i < row_->ColNum(); ++i) ok = ZqlLispWriteValue(this, buf, (*row_)[i].getData());
  });
  return guarded && ok;
}
