// The character attribute table of the message files: class flags, case
// partners and evaluation values of the 256 8-bit codes, and the character
// mode. Process-wide; the last message file opened fills it.

#include "zqlxmf.h"

namespace {

struct SZqlXmfAttr {
  uint16_t flags;
  uint8_t partner;
  uint8_t eval;
};

SZqlXmfAttr gAttr[kZqlXmfAttrRecords];
int gMode = 1;

constexpr int kTwoByteMode = 2;

int Has(int c, int mask) { return (gAttr[c & 0xFF].flags & mask) != 0 ? 1 : 0; }

}  // namespace

int CZqlXmfUtil::XmfIsAlpha(int c) { return Has(c, kZqlXmfUpper | kZqlXmfLower); }
int CZqlXmfUtil::XmfIsUpper(int c) { return Has(c, kZqlXmfUpper); }
int CZqlXmfUtil::XmfIsLower(int c) { return Has(c, kZqlXmfLower); }
int CZqlXmfUtil::XmfIsDigit(int c) { return Has(c, kZqlXmfDigit); }
int CZqlXmfUtil::XmfIsXdigit(int c) { return Has(c, kZqlXmfDigit | kZqlXmfHexLetter); }
int CZqlXmfUtil::XmfIsSpace(int c) { return Has(c, kZqlXmfSpace); }
int CZqlXmfUtil::XmfIsPunct(int c) { return Has(c, kZqlXmfPunct); }
int CZqlXmfUtil::XmfIsAlnum(int c) {
  return Has(c, kZqlXmfUpper | kZqlXmfLower | kZqlXmfDigit);
}
int CZqlXmfUtil::XmfIsPrint(int c) {
  return Has(c, kZqlXmfUpper | kZqlXmfLower | kZqlXmfDigit | kZqlXmfPunct | kZqlXmfBlank);
}
int CZqlXmfUtil::XmfIsGraph(int c) {
  return Has(c, kZqlXmfUpper | kZqlXmfLower | kZqlXmfDigit | kZqlXmfPunct);
}
int CZqlXmfUtil::XmfIsCntrl(int c) { return Has(c, kZqlXmfCntrl); }
int CZqlXmfUtil::XmfIsLeadingByte(int c) { return Has(c, kZqlXmfLeadByte); }
int CZqlXmfUtil::XmfIsHankak(int c) { return Has(c, kZqlXmfHalfWidth); }

int CZqlXmfUtil::XmfIsAlnum7bit(int c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? 1 : 0;
}

int CZqlXmfUtil::XmfToUpper(int c) { return XmfIsLower(c) ? gAttr[c & 0xFF].partner : c; }
int CZqlXmfUtil::XmfToLower(int c) { return XmfIsUpper(c) ? gAttr[c & 0xFF].partner : c; }
int CZqlXmfUtil::XmfEvalch(int c) { return gAttr[c & 0xFF].eval; }

int CZqlXmfUtil::XmfIsKanji(int c) {
  if (gMode != kTwoByteMode) return 0;
  if (Has(c >> 8, kZqlXmfLeadByte)) return 2;
  return Has(c, kZqlXmfLeadByte);
}

int CZqlXmfUtil::XmfIsHankan(int c) {
  if (gMode != kTwoByteMode) return 0;
  return Has(c >> 8, kZqlXmfHalfFirst) && Has(c, kZqlXmfHalfSecond) ? 1 : 0;
}

int CZqlXmfUtil::XmfIs2bcode(int c) {
  if (gMode != kTwoByteMode) return 0;
  if (XmfIsHankan(c)) return 3;
  if (Has(c >> 8, kZqlXmfLeadByte)) return 2;
  return c >= 0 && c < 0x100 && Has(c, kZqlXmfLeadByte) ? 1 : 0;
}

int CZqlXmfUtil::XmfSetAttr(int c, int flags, int partner, int eval) {
  if (c < 0 || c >= kZqlXmfAttrRecords) return 0;
  gAttr[c].flags = static_cast<uint16_t>(flags);
  gAttr[c].partner = static_cast<uint8_t>(partner & 0xFF);
  gAttr[c].eval = static_cast<uint8_t>(eval & 0xFF);
  return 1;
}

int CZqlXmfUtil::XmfSetAmode(int mode) {
  if (mode < 1 || mode > 3) return 0;
  gMode = mode;
  return 1;
}

int CZqlXmfUtil::XmfAmode() { return gMode; }
