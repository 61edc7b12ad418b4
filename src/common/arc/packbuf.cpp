// ZENBUF building, reading, sizing and dumps.
#include "common/arc/packbuf.h"

#include "common/log.h"
#include "mcs/fncode.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUnit = "packbuf.cpp";

// Where walking a parameter head ends.
enum class Walk { Ok, Truncated, BadType, BadLength };

struct Param {
  int offset;   // of the head
  int type;
  int dataSize;
};

// Parameters the header announces: none while len is negative.
int paramCount(const ZenBufHeader& h) { return h.len < 0 || h.Prm < 0 ? 0 : h.Prm; }

// Reads the head at offset and checks that the data lies inside buf.
Walk walkParam(std::span<const std::uint8_t> buf, int offset, Param* p) {
  const int size = static_cast<int>(buf.size());
  p->offset = offset;
  p->type = -1;
  p->dataSize = 0;
  if (offset > size - ZENBUF_PRMHEAD) return Walk::Truncated;
  const int length = zenGet16(buf.data() + offset);
  p->type = zenGet16(buf.data() + offset + 2);
  switch (p->type) {
    case static_cast<int>(ZenType::Char): p->dataSize = 1; break;
    case static_cast<int>(ZenType::Short): p->dataSize = 2; break;
    case static_cast<int>(ZenType::Int): p->dataSize = 4; break;
    case static_cast<int>(ZenType::String):
      if (length < 0) return Walk::BadLength;
      p->dataSize = length;
      break;
    default: return Walk::BadType;
  }
  if (p->dataSize > size - offset - ZENBUF_PRMHEAD) return Walk::Truncated;
  return Walk::Ok;
}

void insistFailed(int line, std::span<const std::uint8_t> buf) {
  logPrintf("#ERROR: insist failed at %d of %s\n", line, kUnit);
  dumpbuf(buf);
}

// Parameter n (n <= 1 gives the first). Its head lies inside buf, and so does
// its data when its type is known. quiet: no messages at all.
bool findParam(std::span<const std::uint8_t> buf, int n, bool quiet, Param* p) {
  ZenBufHeader h;
  bufHeader(buf, &h);
  const int count = paramCount(h);
  if (n < 1) n = 1;
  if (n > count) {
    if (!quiet) logPrintf("%s:%d Want param %d of only %d\n", kUnit, __LINE__, n, count);
    return false;
  }
  int offset = ZENBUF_HDRSIZE;
  for (int i = 1;; ++i) {
    const Walk w = walkParam(buf, offset, p);
    if (i == n && (w == Walk::Ok || w == Walk::BadType)) return true;
    if (w != Walk::Ok) {
      if (!quiet) insistFailed(__LINE__, buf);
      return false;
    }
    offset += ZENBUF_PRMHEAD + p->dataSize;
  }
}

// Appends a parameter head and its data at 24 + len.
int append(std::span<std::uint8_t> buf, ZenType type, int headLength, const void* data, int dataSize) {
  if (buf.size() < static_cast<std::size_t>(ZENBUF_HDRSIZE)) return PACK_EROOM;
  const int len = zenGet16(buf.data() + ZENBUF_LEN);
  if (len < 0) return PACK_EBADBUF;
  const int grown = len + ZENBUF_PRMHEAD + dataSize;
  if (grown > ZENBUF_STRMAX) return PACK_EROOM;
  if (static_cast<std::size_t>(ZENBUF_HDRSIZE + grown) > buf.size()) return PACK_EROOM;
  std::uint8_t* at = buf.data() + ZENBUF_HDRSIZE + len;
  zenPut16(at, headLength);
  zenPut16(at + 2, static_cast<int>(type));
  if (dataSize > 0) std::memmove(at + ZENBUF_PRMHEAD, data, static_cast<std::size_t>(dataSize));
  zenPut16(buf.data() + ZENBUF_LEN, grown);
  zenPut16(buf.data() + ZENBUF_PRM, zenGet16(buf.data() + ZENBUF_PRM) + 1);
  return PACK_OK;
}

int rawLength(std::span<const std::uint8_t> buf) {
  return buf.size() < static_cast<std::size_t>(ZENBUF_RAWDUMP) ? static_cast<int>(buf.size()) : ZENBUF_RAWDUMP;
}

// --- sinks ---

void logSinkPrint(void*, const char* text) { logPrintf("%s", text); }
void logSinkDump(void*, const char* title, const std::uint8_t* bytes, int length) { logDump(title, bytes, length); }
bool logSinkPacket(void*) { return (logFlags & LOG_PACKET) != 0; }

constexpr int TEXT_HEXLINE = 24; // bytes per hex line, as in the log
constexpr int TEXT_HEXWIDTH = 53;

void textSinkPrint(void* context, const char* text) {
  auto& out = *static_cast<std::string*>(context);
  if (*text == '#' || *text == '~') ++text;
  out += text;
}

void textSinkDump(void* context, const char* title, const std::uint8_t* bytes, int length) {
  auto& out = *static_cast<std::string*>(context);
  char line[160];
  if (title) {
    std::snprintf(line, sizeof line, "---- %s len=%d  ----\n", *title == '#' ? title + 1 : title, length);
    out += line;
  }
  if (!bytes) {
    out += "<NULL> memory address\n";
    return;
  }
  for (int off = 0; off < length; off += TEXT_HEXLINE) {
    const int count = length - off < TEXT_HEXLINE ? length - off : TEXT_HEXLINE;
    char hex[TEXT_HEXWIDTH + 8];
    char chars[TEXT_HEXLINE + 1];
    int h = 0;
    for (int i = 0; i < count; ++i) {
      const std::uint8_t b = bytes[off + i];
      h += std::snprintf(hex + h, sizeof hex - static_cast<std::size_t>(h), "%02X", b);
      if ((i + 1) % 4 == 0 && i + 1 < count) hex[h++] = ' ';
      chars[i] = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
    }
    hex[h] = '\0';
    chars[count] = '\0';
    std::snprintf(line, sizeof line, " %6.6X : %-*s '%s'\n", static_cast<unsigned>(off), TEXT_HEXWIDTH, hex, chars);
    out += line;
  }
  out += "\n";
}

bool textSinkPacket(void*) { return true; }

} // namespace

bool bufHeader(std::span<const std::uint8_t> buf, ZenBufHeader* header) {
  if (buf.size() < static_cast<std::size_t>(ZENBUF_HDRSIZE)) {
    *header = ZenBufHeader{};
    return false;
  }
  const std::uint8_t* b = buf.data();
  header->Pri = zenGet32(b + ZENBUF_PRI);
  header->P = zenGet32(b + ZENBUF_P);
  header->Q = zenGet32(b + ZENBUF_Q);
  header->Seg = zenGet32(b + ZENBUF_SEG);
  header->func = zenGet16(b + ZENBUF_FUNC);
  header->Sub = zenGet16(b + ZENBUF_SUB);
  header->Prm = zenGet16(b + ZENBUF_PRM);
  header->len = zenGet16(b + ZENBUF_LEN);
  return true;
}

int bufInit(std::span<std::uint8_t> buf, std::int32_t P, std::int32_t Pri, std::int32_t Q, std::int32_t Seg,
            std::int16_t func, std::int16_t Sub) {
  if (buf.size() < static_cast<std::size_t>(ZENBUF_HDRSIZE)) return PACK_EROOM;
  std::uint8_t* b = buf.data();
  zenPut32(b + ZENBUF_PRI, Pri);
  zenPut32(b + ZENBUF_P, P);
  zenPut32(b + ZENBUF_Q, Q);
  zenPut32(b + ZENBUF_SEG, Seg);
  zenPut16(b + ZENBUF_FUNC, func);
  zenPut16(b + ZENBUF_SUB, Sub);
  zenPut16(b + ZENBUF_PRM, 0);
  zenPut16(b + ZENBUF_LEN, 0);
  return PACK_OK;
}

int bufAddString(std::span<std::uint8_t> buf, const void* bytes, int length) {
  if (!bytes && length != 0) return PACK_ELENGTH;
  if (length < 0) {
    const std::size_t n = std::strlen(static_cast<const char*>(bytes)) + 1;
    if (n > static_cast<std::size_t>(ZENBUF_STRMAX)) return PACK_ELENGTH;
    length = static_cast<int>(n);
  }
  // The wire length is signed 16-bit: a longer string could not be read back.
  if (length > ZENBUF_STRMAX) return PACK_ELENGTH;
  return append(buf, ZenType::String, length, bytes, length);
}

int bufAddInt(std::span<std::uint8_t> buf, std::int32_t value) {
  std::uint8_t data[4];
  zenPut32(data, value);
  return append(buf, ZenType::Int, 0, data, 4);
}

int bufAddShort(std::span<std::uint8_t> buf, std::int16_t value) {
  std::uint8_t data[2];
  zenPut16(data, value);
  return append(buf, ZenType::Short, 0, data, 2);
}

int bufAddChar(std::span<std::uint8_t> buf, std::uint8_t value) { return append(buf, ZenType::Char, 0, &value, 1); }

const std::uint8_t* bufFindParam(std::span<const std::uint8_t> buf, int n) {
  Param p;
  return findParam(buf, n, false, &p) ? buf.data() + p.offset : nullptr;
}

const std::uint8_t* bufGetString(std::span<const std::uint8_t> buf, int n) {
  Param p;
  if (!findParam(buf, n, false, &p)) return nullptr;
  if (p.type != static_cast<int>(ZenType::String)) {
    insistFailed(__LINE__, buf);
    return nullptr;
  }
  return buf.data() + p.offset + ZENBUF_PRMHEAD;
}

int bufCopyString(std::span<const std::uint8_t> buf, int n, std::span<std::uint8_t> dest) {
  Param p;
  if (!findParam(buf, n, false, &p)) return 0;
  if (p.type != static_cast<int>(ZenType::String) || dest.empty()) {
    insistFailed(__LINE__, buf);
    return 0;
  }
  const int count = dest.size() < static_cast<std::size_t>(p.dataSize) ? static_cast<int>(dest.size()) : p.dataSize;
  if (count > 0) std::memmove(dest.data(), buf.data() + p.offset + ZENBUF_PRMHEAD, static_cast<std::size_t>(count));
  return count;
}

int bufGetChar(std::span<const std::uint8_t> buf, int n) {
  Param p;
  if (!findParam(buf, n, false, &p)) return 0xFF;
  if (p.type != static_cast<int>(ZenType::Char)) {
    insistFailed(__LINE__, buf);
    return 0xFF;
  }
  return buf[static_cast<std::size_t>(p.offset + ZENBUF_PRMHEAD)];
}

std::int32_t bufGetInt(std::span<const std::uint8_t> buf, int n) {
  Param p;
  if (!findParam(buf, n, false, &p)) return -1;
  const std::uint8_t* data = buf.data() + p.offset + ZENBUF_PRMHEAD;
  if (p.type == static_cast<int>(ZenType::Int)) return zenGet32(data);
  if (p.type == static_cast<int>(ZenType::Short)) return zenGet16(data);
  insistFailed(__LINE__, buf);
  return -1;
}

std::int16_t bufGetShort(std::span<const std::uint8_t> buf, int n) {
  Param p;
  if (!findParam(buf, n, false, &p)) return -1;
  const std::uint8_t* data = buf.data() + p.offset + ZENBUF_PRMHEAD;
  if (p.type == static_cast<int>(ZenType::Short)) return zenGet16(data);
  if (p.type == static_cast<int>(ZenType::Int)) return zenGet16(data + 2);
  insistFailed(__LINE__, buf);
  return -1;
}

int bufParamLen(std::span<const std::uint8_t> buf, int n) {
  Param p;
  if (!findParam(buf, n, true, &p) || p.type < 0 || p.type > static_cast<int>(ZenType::String)) return -1;
  return p.dataSize;
}

int getBufSize(std::span<const std::uint8_t> buf) {
  ZenBufHeader h;
  if (!bufHeader(buf, &h)) return ZENBUF_HDRSIZE;
  const int count = paramCount(h);
  int offset = ZENBUF_HDRSIZE;
  for (int i = 1; i <= count; ++i) {
    Param p;
    const Walk w = walkParam(buf, offset, &p);
    if (w != Walk::Ok) {
      if (w == Walk::BadType)
        logPrintf("#ERROR: %2d Bad type %d (0x%X)\n", i, p.type, static_cast<unsigned>(p.type));
      else
        logPrintf("#ERROR: insist failed at %d of %s\n", __LINE__, kUnit);
      logDump("getBufSize ZENBUF", buf.data(), rawLength(buf));
      return ZENBUF_HDRSIZE;
    }
    offset += ZENBUF_PRMHEAD + p.dataSize;
  }
  return offset;
}

// --- dumps ---

ZenDumpSink zenLogSink() { return {logSinkPrint, logSinkDump, logSinkPacket, nullptr}; }

ZenDumpSink zenTextSink(std::string& out) { return {textSinkPrint, textSinkDump, textSinkPacket, &out}; }

void zenSinkPrintf(const ZenDumpSink& sink, const char* format, ...) {
  char text[LOG_MSGMAX];
  va_list ap;
  va_start(ap, format);
  const int n = std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (n > 0) sink.print(sink.context, text);
}

void dumpbufTo(const ZenDumpSink& sink, std::span<const std::uint8_t> buf) {
  ZenBufHeader h;
  if (!bufHeader(buf, &h)) {
    sink.dump(sink.context, "ZENBUF", buf.data(), static_cast<int>(buf.size()));
    return;
  }
  const char* name = functionName(h.func);
  zenSinkPrintf(sink, "#Dump %s buffer P%d Pri=%d Q%d Seg=%d Sub=%d Prm=%d\n", name, h.P, h.Pri, h.Q, h.Seg / 4096,
                h.Sub, h.Prm);
  int count = h.Prm;
  if (h.len < 0) {
    if (sink.packetTrace(sink.context)) zenSinkPrintf(sink, "#dumpbuf: len is %d so assume 0 prms\n", h.len);
    count = 0;
  } else if (h.Prm < 0 || h.Prm > ZENBUF_DUMPPRMMAX) {
    sink.dump(sink.context, "ZENBUF", buf.data(), rawLength(buf));
    return;
  }
  int offset = ZENBUF_HDRSIZE;
  int shown = 0;
  for (int i = 1; i <= count; ++i) {
    Param p;
    const Walk w = walkParam(buf, offset, &p);
    if (w != Walk::Ok) {
      if (w == Walk::BadType)
        zenSinkPrintf(sink, "#ERROR: %2d Bad type %d (0x%X)\n", i, p.type, static_cast<unsigned>(p.type));
      else
        zenSinkPrintf(sink, "#ERROR: insist failed at %d of %s\n", __LINE__, kUnit);
      sink.dump(sink.context, "Dump ZENBUF", buf.data(), rawLength(buf));
      return;
    }
    const std::uint8_t* data = buf.data() + offset + ZENBUF_PRMHEAD;
    switch (static_cast<ZenType>(p.type)) {
      case ZenType::Char: {
        const int c = data[0];
        zenSinkPrintf(sink, "%2d Char  '%c' x%02X\n", i, (c >= 0x20 && c <= 0x7E) ? c : '.', c);
        break;
      }
      case ZenType::Short: zenSinkPrintf(sink, "%2d Short %d\n", i, zenGet16(data)); break;
      case ZenType::Int: {
        const std::int32_t v = zenGet32(data);
        zenSinkPrintf(sink, "%2d Int   %d   (0x%08X)\n", i, v, static_cast<unsigned>(v));
        break;
      }
      default: {
        char title[32];
        std::snprintf(title, sizeof title, "%2d String", i);
        sink.dump(sink.context, title, data, p.dataSize);
        break;
      }
    }
    ++shown;
    offset += ZENBUF_PRMHEAD + p.dataSize;
  }
  if (shown >= 2) zenSinkPrintf(sink, "End of dump %s buffer\n", name);
}

void dumpbuf(std::span<const std::uint8_t> buf) {
  if (!logIsOpen()) return;
  dumpbufTo(zenLogSink(), buf);
}

void dumpbufText(std::span<const std::uint8_t> buf, std::string& out) { dumpbufTo(zenTextSink(out), buf); }
