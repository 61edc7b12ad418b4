#pragma once
// ZENMSG: a received ZENBUF unpacked for the forms engine. One per session;
// long strings go to the session's overflow area.
//
// Entries of the parameter area, each an 8-byte head (host order):
//   length (uint16): string byte count; 0 for Char, Short, Int; 8 for a Big String
//   type (int16): ZenType
//   value word (4 bytes): Char: the sign-extended character (host int);
//     Short: the 2 value bytes big-endian then 0; Int: 4 bytes big-endian;
//     String: 0 when the data follows inline (padded to a multiple of 4),
//     else the data's offset in the overflow area (LString, IOString)
// A Big String is 16 bytes: head (8, BigString, 0), 32-bit length, offset.
// Offsets rather than addresses keep the entries at their 8 bytes and let
// every reader check them against the overflow area's capacity.
#include "common/arc/packbuf.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

constexpr int ZENMSG_AREASIZE = 512;
constexpr int ZENMSG_SLACK = 8;         // room for the last entry's head past 512
constexpr int ZENMSG_ENTRYHEAD = 8;
constexpr int ZENMSG_ADDLIMIT = 504;    // no entry is added once this much is used
constexpr int ZENMSG_INLINEMAX = 24;    // padded strings shorter than this stay inline
constexpr int ZENMSG_BIGSTRING = 65000; // longer strings become Big Strings

struct ZENMSG {
  std::int32_t Pri;
  std::int32_t P;
  std::int32_t Q;
  std::int32_t Seg;
  std::int16_t func;
  std::int16_t Sub;
  std::int16_t Prm;
  std::int16_t used;
  std::int32_t overflowUsed;
  std::array<std::uint8_t, ZENMSG_AREASIZE + ZENMSG_SLACK> area;
};

// A session's overflow area (5000 bytes once its MCS channel has started).
// Pass null where the session has none yet; while capacity is 0 every string
// that would go there is refused.
struct ZenOverflow {
  std::uint8_t* base;
  std::int32_t capacity;
};

// Unpacks buf into msg: the header always, and the parameters first..last
// (last <= 0: all, replacing those held; first <= 1 also replaces; a later
// first appends). Returns the number of parameters held, PACK_EINVALID (a
// bad type, a malformed parameter or a string the full overflow area
// refused) or PACK_EFATAL; the entries made before a failure stay.
int bufToMsg(ZENMSG& msg, const ZenOverflow* overflow, std::span<const std::uint8_t> buf, int first, int last);

// Adds a String entry; a negative length takes strlen + 1 of a NUL-terminated
// text. 0, PACK_EINVALID when the overflow area is full (the message is
// unchanged), PACK_EFATAL when the area is full or an inline string does not
// fit while there is no overflow area.
int msgAddString(ZENMSG& msg, const ZenOverflow* overflow, const void* bytes, int length);
// Fixed entries: the value bytes as on the wire. 0 or PACK_EFATAL.
int msgAddChar(ZENMSG& msg, std::uint8_t value);
int msgAddShort(ZENMSG& msg, std::int16_t value);
int msgAddInt(ZENMSG& msg, std::int32_t value);

// Readers; parameters are numbered from 1. A missing parameter or a wrong
// type is a fatal insist failure (PACK_EFATAL, null for the pointers).
// Entry of parameter n; null when n > Prm ("Want param" line, not fatal here).
const std::uint8_t* msgFindParam(const ZENMSG& msg, int n);
// Address of the data: inline data, value bytes, or the overflow area.
const std::uint8_t* msgGetData(const ZENMSG& msg, const ZenOverflow* overflow, int n);
// Copies min(dest.size(), length) bytes of a string entry; the count.
int msgCopyString(const ZENMSG& msg, const ZenOverflow* overflow, int n, std::span<std::uint8_t> dest);
// The byte of a Char entry (0..255).
int msgGetChar(const ZENMSG& msg, int n);
// A Short sign-extended or an Int, into *value. 0 or PACK_EFATAL.
int msgGetInt(const ZENMSG& msg, int n, std::int32_t* value);
// 1, 2, 4, the string length or the Big String length; -1 for a missing
// parameter or another type.
int msgParamLen(const ZENMSG& msg, int n);

// The message decoded to the trace log, and the same as plain text.
void dumpbmsg(const ZENMSG& msg, const ZenOverflow* overflow);
void dumpbmsgText(const ZENMSG& msg, const ZenOverflow* overflow, std::string& out);
void dumpbmsgTo(const ZenDumpSink& sink, const ZENMSG& msg, const ZenOverflow* overflow);
