#pragma once
// ZENBUF: the packed buffer of one MCS message on the wire.
//
//   header (24 bytes, big-endian): Pri P Q Seg (int32), func Sub Prm len (int16)
//   then Prm parameters back to back: length (int16), type (int16), data
//   (Char 1 byte, Short 2, Int 4 big-endian, String `length` bytes).
//
// Every operation takes the buffer as a span: for a received buffer, the
// bytes that arrived; for one being built, the room the caller owns. Nothing
// is read or written outside it whatever the header and the parameter heads
// say; a parameter that would run past the end counts as missing.
#include <cstdint>
#include <span>
#include <string>

constexpr int ZENBUF_HDRSIZE = 24;
constexpr int ZENBUF_PRMHEAD = 4;
constexpr int ZENBUF_STRMAX = 32767;  // wire lengths are signed 16-bit
constexpr int ZENBUF_DUMPPRMMAX = 12; // dumps decode at most this many parameters
constexpr int ZENBUF_RAWDUMP = 200;   // bytes shown raw when they cannot be decoded

// Header offsets.
constexpr int ZENBUF_PRI = 0;
constexpr int ZENBUF_P = 4;
constexpr int ZENBUF_Q = 8;
constexpr int ZENBUF_SEG = 12;
constexpr int ZENBUF_FUNC = 16;
constexpr int ZENBUF_SUB = 18;
constexpr int ZENBUF_PRM = 20;
constexpr int ZENBUF_LEN = 22;

// Parameter type codes; only Char..String travel on the wire, the others
// exist in an unpacked ZENMSG only.
enum class ZenType : std::int16_t {
  Char = 0,
  Short = 1,
  Int = 2,
  String = 3,
  LString = 4,
  IOString = 5,
  BigString = 10,
};

// Results of the packed-message operations (negative = failure).
constexpr int PACK_OK = 0;
constexpr int PACK_EROOM = -301;    // the buffer being built has no room for it
constexpr int PACK_ELENGTH = -302;  // string length outside 0..32767 (after strlen + 1)
constexpr int PACK_EBADBUF = -303;  // the header does not allow an append (len negative)
constexpr int PACK_EINVALID = -304; // unpack failed: bad type, refused or malformed parameter;
                                    // the entries made so far stay in the message
// Fatal insist failure of the ZENMSG operations ("#insist failed at ..." is
// logged first): the message area is full, an inline string does not fit
// with no overflow area, or a missing parameter or wrong type was asked for.
// Nothing has been written past the parameter area. The request cannot be
// completed: the request handler refuses the message and ends the MCS
// channel.
constexpr int PACK_EFATAL = -305;

// The decoded header, host order.
struct ZenBufHeader {
  std::int32_t Pri;
  std::int32_t P;
  std::int32_t Q;
  std::int32_t Seg;
  std::int16_t func;
  std::int16_t Sub;
  std::int16_t Prm;
  std::int16_t len;
};

// Big-endian helpers; a buffer may start at any address.
inline std::int16_t zenGet16(const std::uint8_t* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
}
inline std::int32_t zenGet32(const std::uint8_t* p) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
                                   (static_cast<std::uint32_t>(p[2]) << 8) | p[3]);
}
inline void zenPut16(std::uint8_t* p, std::int32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void zenPut32(std::uint8_t* p, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  p[0] = static_cast<std::uint8_t>(u >> 24);
  p[1] = static_cast<std::uint8_t>(u >> 16);
  p[2] = static_cast<std::uint8_t>(u >> 8);
  p[3] = static_cast<std::uint8_t>(u);
}

// The header of buf; false (header zeroed) when buf is shorter than 24 bytes.
bool bufHeader(std::span<const std::uint8_t> buf, ZenBufHeader* header);

// --- Building ---------------------------------------------------------------
// Each append writes at 24 + len, then adds 4 + data size to len and 1 to
// Prm. 0, or a negative code with the buffer unchanged.

// Writes the header with Prm = 0 and len = 0.
int bufInit(std::span<std::uint8_t> buf, std::int32_t P, std::int32_t Pri, std::int32_t Q, std::int32_t Seg,
            std::int16_t func, std::int16_t Sub);
// A String of length bytes; a negative length takes the NUL-terminated text
// with its terminator (strlen + 1).
int bufAddString(std::span<std::uint8_t> buf, const void* bytes, int length);
int bufAddInt(std::span<std::uint8_t> buf, std::int32_t value);
int bufAddShort(std::span<std::uint8_t> buf, std::int16_t value);
int bufAddChar(std::span<std::uint8_t> buf, std::uint8_t value);

// --- Reading ----------------------------------------------------------------
// Parameters are numbered from 1. An insist failure of a reader logs
// "#ERROR: insist failed at %d of %s\n", dumps the buffer with dumpbuf and
// returns the failure value given; the caller carries on with it.

// Head of parameter n (n <= 1 gives the first); null when n > Prm ("Want
// param" line) or the parameters before it are malformed.
const std::uint8_t* bufFindParam(std::span<const std::uint8_t> buf, int n);
// Data of a String parameter (not terminated); null on failure.
const std::uint8_t* bufGetString(std::span<const std::uint8_t> buf, int n);
// Copies min(dest.size(), length) bytes of a String, no terminator; the count,
// or 0 on failure (an empty dest is a failure too).
int bufCopyString(std::span<const std::uint8_t> buf, int n, std::span<std::uint8_t> dest);
// A Char's byte, or 0xFF on failure.
int bufGetChar(std::span<const std::uint8_t> buf, int n);
// An Int, or a Short sign-extended; -1 on failure.
std::int32_t bufGetInt(std::span<const std::uint8_t> buf, int n);
// A Short, or an Int's low 16 bits; -1 on failure.
std::int16_t bufGetShort(std::span<const std::uint8_t> buf, int n);
// Data size of parameter n (1, 2, 4 or the String length); -1 for a missing
// parameter or an unknown type, without a message.
int bufParamLen(std::span<const std::uint8_t> buf, int n);

// Total size, 24 + sum of (4 + data size), found by walking the parameters
// (not from len). A type outside Char..String logs "#ERROR: %2d Bad type %d
// (0x%X)\n" with a raw dump and gives 24; so does a parameter that would run
// past the end of buf or a negative String length.
int getBufSize(std::span<const std::uint8_t> buf);

// --- Dumps ------------------------------------------------------------------
// The parameters decoded to the trace log (nothing while it is closed).
void dumpbuf(std::span<const std::uint8_t> buf);

// The same lines as plain text appended to out, for tools: no time stamps,
// the leading "#" or "~" of each line dropped, hex dumps in the log's hex
// layout, and the "len is %d" line shown whatever the trace flags.
void dumpbufText(std::span<const std::uint8_t> buf, std::string& out);

// Where a dump goes: one formatted message at a time, and titled hex dumps.
// The packed-message dumps are written once against this table.
struct ZenDumpSink {
  void (*print)(void* context, const char* text);
  void (*dump)(void* context, const char* title, const std::uint8_t* bytes, int length);
  bool (*packetTrace)(void* context); // show the "len is %d" lines
  void* context;
};
// The sink writing to the trace log, and one appending plain text to a string.
ZenDumpSink zenLogSink();
ZenDumpSink zenTextSink(std::string& out);
// Formats one message into the sink (at most 2199 characters).
void zenSinkPrintf(const ZenDumpSink& sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
void dumpbufTo(const ZenDumpSink& sink, std::span<const std::uint8_t> buf);
