// lispcoll.cpp - the defaults of the container interface: an empty
// container. Walking answers 0 so that a loop over a container that does not
// override it ends at once instead of running on null items.
#include "lispcoll.h"

namespace {

int NoItem(void** item) {
  if (item) *item = nullptr;
  return 0;
}

}  // namespace

int CZqlLispCollection::Qty() const { return 0; }
int CZqlLispCollection::getNextItem(void** item) { return NoItem(item); }
int CZqlLispCollection::getPrevItem(void** item) { return NoItem(item); }
int CZqlLispCollection::getFirstItem(void** item) { return NoItem(item); }
int CZqlLispCollection::getLastItem(void** item) { return NoItem(item); }
int CZqlLispCollection::getItem(int, void** item) { return NoItem(item); }
int CZqlLispCollection::findItem(const void*) { return 0; }
int CZqlLispCollection::delItem(int) { return 0; }
int CZqlLispCollection::delItem(const void*) { return 0; }
int CZqlLispCollection::insertItem(const void*, int) { return 0; }
int CZqlLispCollection::addItem(const void*, int) { return 0; }
int CZqlLispCollection::updItem(const void*, int) { return 0; }
int CZqlLispCollection::setPos(int index) { return index == 0; }
int CZqlLispCollection::getPos() const { return 0; }
int CZqlLispCollection::lclear() { return 1; }
int CZqlLispCollection::cmpItem(const void*, const void*) const { return 0; }
