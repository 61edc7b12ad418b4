// ZENMSG: unpacking a ZENBUF, adding and reading entries, and the dump.
#include "common/arc/packmsg.h"

#include "common/log.h"
#include "mcs/fncode.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUnit = "packmsg.cpp";
constexpr int AREA_TOTAL = ZENMSG_AREASIZE + ZENMSG_SLACK;
constexpr int TYPE_INLINE9 = 9; // walked like an inline String, never made here

struct Entry {
  int offset; // of the head in the area
  std::uint16_t length;
  std::int16_t type;
  std::int32_t word; // value word, host order
};

long long padded(long long length) { return (length + 3) & ~3LL; }

// The request cannot go on: trace on, the line logged, a code for the handler.
int fatal(int line) {
  logOptions("t");
  logPrintf("#insist failed at %d of %s\n", line, kUnit);
  return PACK_EFATAL;
}

// A non-fatal failure of the unpack.
int invalid(int line) {
  logPrintf("#ERROR: insist failed at %d of %s\n", line, kUnit);
  return PACK_EINVALID;
}

Entry readEntry(const ZENMSG& msg, int offset) {
  Entry e;
  e.offset = offset;
  std::memcpy(&e.length, msg.area.data() + offset, 2);
  std::memcpy(&e.type, msg.area.data() + offset + 2, 2);
  std::memcpy(&e.word, msg.area.data() + offset + 4, 4);
  return e;
}

void writeHead(ZENMSG& msg, int offset, std::uint16_t length, ZenType type, std::int32_t word) {
  const auto t = static_cast<std::int16_t>(type);
  std::memcpy(msg.area.data() + offset, &length, 2);
  std::memcpy(msg.area.data() + offset + 2, &t, 2);
  std::memcpy(msg.area.data() + offset + 4, &word, 4);
}

bool inlineData(const Entry& e) {
  return (e.type == static_cast<int>(ZenType::String) || e.type == TYPE_INLINE9 ||
          e.type == static_cast<int>(ZenType::BigString)) &&
         e.word == 0;
}

int entrySize(const Entry& e) { return ZENMSG_ENTRYHEAD + (inlineData(e) ? static_cast<int>(padded(e.length)) : 0); }

// Parameter n, with its head and any inline data inside the area.
bool findEntry(const ZENMSG& msg, int n, Entry* e) {
  if (n < 1) n = 1;
  if (n > msg.Prm) {
    logPrintf("%s Want param %d of only %d; func %d; sub %d\n", kUnit, n, msg.Prm, msg.func, msg.Sub);
    return false;
  }
  const int end = msg.used < AREA_TOTAL ? msg.used : AREA_TOTAL;
  int offset = 0;
  for (int i = 1;; ++i) {
    if (offset > end - ZENMSG_ENTRYHEAD) return false;
    *e = readEntry(msg, offset);
    const int size = entrySize(*e);
    if (size > AREA_TOTAL - offset) return false;
    if (i == n) return true;
    offset += size;
  }
}

// Data of an entry held outside the message, checked against the area.
const std::uint8_t* overflowData(const ZenOverflow* overflow, std::int32_t offset, long long length) {
  if (!overflow || !overflow->base || offset < 0 || length < 0) return nullptr;
  if (offset + length > overflow->capacity) return nullptr;
  return overflow->base + offset;
}

std::int32_t bigLength(const ZENMSG& msg, const Entry& e) {
  std::int32_t v;
  std::memcpy(&v, msg.area.data() + e.offset + ZENMSG_ENTRYHEAD, 4);
  return v;
}
std::int32_t bigOffset(const ZENMSG& msg, const Entry& e) {
  std::int32_t v;
  std::memcpy(&v, msg.area.data() + e.offset + ZENMSG_ENTRYHEAD + 4, 4);
  return v;
}

// Data address and length of any entry; null for an unknown type or a bad
// reference.
const std::uint8_t* entryData(const ZENMSG& msg, const ZenOverflow* overflow, const Entry& e, long long* length) {
  const std::uint8_t* value = msg.area.data() + e.offset + 4;
  switch (e.type) {
    case static_cast<int>(ZenType::Char): *length = 1; return value;
    case static_cast<int>(ZenType::Short): *length = 2; return value;
    case static_cast<int>(ZenType::Int): *length = 4; return value;
    case static_cast<int>(ZenType::String):
      *length = e.length;
      return e.word == 0 ? msg.area.data() + e.offset + ZENMSG_ENTRYHEAD : nullptr;
    case static_cast<int>(ZenType::LString):
    case static_cast<int>(ZenType::IOString):
      *length = e.length;
      return overflowData(overflow, e.word, e.length);
    case static_cast<int>(ZenType::BigString):
      *length = bigLength(msg, e);
      return overflowData(overflow, bigOffset(msg, e), *length);
    default: *length = 0; return nullptr;
  }
}

bool areaFull(const ZENMSG& msg) { return msg.used < 0 || msg.used >= ZENMSG_ADDLIMIT || msg.Prm < 0; }

int addFixed(ZENMSG& msg, ZenType type, const std::uint8_t* value, int size) {
  if (areaFull(msg)) return fatal(__LINE__);
  std::int32_t word = 0;
  if (type == ZenType::Char) word = static_cast<std::int8_t>(value[0]);
  else std::memcpy(&word, value, static_cast<std::size_t>(size));
  writeHead(msg, msg.used, 0, type, word);
  msg.used = static_cast<std::int16_t>(msg.used + ZENMSG_ENTRYHEAD);
  ++msg.Prm;
  return PACK_OK;
}

} // namespace

int msgAddString(ZENMSG& msg, const ZenOverflow* overflow, const void* bytes, int length) {
  if (areaFull(msg)) return fatal(__LINE__);
  if (length < 0) {
    if (!bytes) return fatal(__LINE__);
    length = static_cast<int>(std::strlen(static_cast<const char*>(bytes)) + 1);
  }
  if (!bytes && length > 0) return fatal(__LINE__);
  const long long pad = padded(length);
  const int room = ZENMSG_AREASIZE - msg.used;
  const int at = msg.used;
  bool inlined;
  if (!overflow) {
    if (pad > room) return fatal(__LINE__);
    inlined = true;
  } else {
    inlined = pad < ZENMSG_INLINEMAX && pad <= room;
  }
  if (inlined) {
    writeHead(msg, at, static_cast<std::uint16_t>(length), ZenType::String, 0);
    std::uint8_t* data = msg.area.data() + at + ZENMSG_ENTRYHEAD;
    if (length > 0) std::memmove(data, bytes, static_cast<std::size_t>(length));
    std::memset(data + length, 0, static_cast<std::size_t>(pad - length));
    msg.used = static_cast<std::int16_t>(msg.used + static_cast<int>(pad));
  } else {
    if (msg.overflowUsed < 0 || overflow->capacity - msg.overflowUsed < pad || (pad > 0 && !overflow->base))
      return PACK_EINVALID;
    const std::int32_t offset = msg.overflowUsed;
    if (length > 0) std::memmove(overflow->base + offset, bytes, static_cast<std::size_t>(length));
    msg.overflowUsed += static_cast<std::int32_t>(pad);
    if (length > ZENMSG_BIGSTRING) {
      writeHead(msg, at, 8, ZenType::BigString, 0);
      const std::int32_t big = length;
      std::memcpy(msg.area.data() + at + ZENMSG_ENTRYHEAD, &big, 4);
      std::memcpy(msg.area.data() + at + ZENMSG_ENTRYHEAD + 4, &offset, 4);
      msg.used = static_cast<std::int16_t>(msg.used + 8);
    } else {
      writeHead(msg, at, static_cast<std::uint16_t>(length), ZenType::IOString, offset);
    }
  }
  ++msg.Prm;
  msg.used = static_cast<std::int16_t>(msg.used + ZENMSG_ENTRYHEAD);
  return PACK_OK;
}

int msgAddChar(ZENMSG& msg, std::uint8_t value) { return addFixed(msg, ZenType::Char, &value, 1); }

int msgAddShort(ZENMSG& msg, std::int16_t value) {
  std::uint8_t bytes[2];
  zenPut16(bytes, value);
  return addFixed(msg, ZenType::Short, bytes, 2);
}

int msgAddInt(ZENMSG& msg, std::int32_t value) {
  std::uint8_t bytes[4];
  zenPut32(bytes, value);
  return addFixed(msg, ZenType::Int, bytes, 4);
}

int bufToMsg(ZENMSG& msg, const ZenOverflow* overflow, std::span<const std::uint8_t> buf, int first, int last) {
  ZenBufHeader h;
  if (!bufHeader(buf, &h)) return invalid(__LINE__);
  msg.Pri = h.Pri;
  msg.P = h.P;
  msg.Q = h.Q;
  msg.Seg = h.Seg;
  msg.func = h.func;
  // Replacing the parameters releases their share of the overflow area too.
  if (last <= 0) msg.Sub = h.Sub;
  if (last <= 0 || first <= 1) {
    msg.Prm = 0;
    msg.used = 0;
    msg.overflowUsed = 0;
  }
  int count = h.Prm < 0 ? 0 : h.Prm;
  if (h.len < 0) {
    if (logFlags & LOG_PACKET) logPrintf("#packbuf: len is %d so assume 0 prms\n", h.len);
    count = 0;
  }
  const int size = static_cast<int>(buf.size());
  int offset = ZENBUF_HDRSIZE;
  for (int i = 1; i <= count; ++i) {
    if (last > 0 && i > last) break;
    if (offset > size - ZENBUF_PRMHEAD) return invalid(__LINE__);
    const std::uint8_t* head = buf.data() + offset;
    const int length = zenGet16(head);
    const int type = zenGet16(head + 2);
    int dataSize;
    switch (type) {
      case static_cast<int>(ZenType::Char): dataSize = 1; break;
      case static_cast<int>(ZenType::Short): dataSize = 2; break;
      case static_cast<int>(ZenType::Int): dataSize = 4; break;
      case static_cast<int>(ZenType::String):
        // A negative wire length would mean "up to a NUL" to msgAddString.
        if (length < 0) return invalid(__LINE__);
        dataSize = length;
        break;
      default: return invalid(__LINE__);
    }
    if (dataSize > size - offset - ZENBUF_PRMHEAD) return invalid(__LINE__);
    const std::uint8_t* data = head + ZENBUF_PRMHEAD;
    offset += ZENBUF_PRMHEAD + dataSize;
    if (last > 0 && i < first) continue;
    int r;
    if (type == static_cast<int>(ZenType::String)) {
      r = msgAddString(msg, overflow, data, dataSize);
      if (r == PACK_EINVALID) return invalid(__LINE__);
    } else {
      r = addFixed(msg, static_cast<ZenType>(type), data, dataSize);
    }
    if (r < 0) return r;
  }
  return msg.Prm;
}

const std::uint8_t* msgFindParam(const ZENMSG& msg, int n) {
  Entry e;
  return findEntry(msg, n, &e) ? msg.area.data() + e.offset : nullptr;
}

const std::uint8_t* msgGetData(const ZENMSG& msg, const ZenOverflow* overflow, int n) {
  Entry e;
  if (!findEntry(msg, n, &e)) {
    fatal(__LINE__);
    return nullptr;
  }
  long long length;
  const std::uint8_t* data = entryData(msg, overflow, e, &length);
  if (!data) fatal(__LINE__);
  return data;
}

int msgCopyString(const ZENMSG& msg, const ZenOverflow* overflow, int n, std::span<std::uint8_t> dest) {
  Entry e;
  if (!findEntry(msg, n, &e)) return fatal(__LINE__);
  if (e.type != static_cast<int>(ZenType::String) && e.type != static_cast<int>(ZenType::LString) &&
      e.type != static_cast<int>(ZenType::IOString) && e.type != static_cast<int>(ZenType::BigString))
    return fatal(__LINE__);
  long long length;
  const std::uint8_t* data = entryData(msg, overflow, e, &length);
  if (!data) return fatal(__LINE__);
  long long count = static_cast<long long>(dest.size()) < length ? static_cast<long long>(dest.size()) : length;
  if (count <= 0) return 0;
  std::memmove(dest.data(), data, static_cast<std::size_t>(count));
  return static_cast<int>(count);
}

int msgGetChar(const ZENMSG& msg, int n) {
  Entry e;
  if (!findEntry(msg, n, &e) || e.type != static_cast<int>(ZenType::Char)) return fatal(__LINE__);
  return msg.area[static_cast<std::size_t>(e.offset + 4)];
}

int msgGetInt(const ZENMSG& msg, int n, std::int32_t* value) {
  Entry e;
  if (!findEntry(msg, n, &e)) return fatal(__LINE__);
  const std::uint8_t* bytes = msg.area.data() + e.offset + 4;
  if (e.type == static_cast<int>(ZenType::Short)) *value = zenGet16(bytes);
  else if (e.type == static_cast<int>(ZenType::Int)) *value = zenGet32(bytes);
  else return fatal(__LINE__);
  return PACK_OK;
}

int msgParamLen(const ZENMSG& msg, int n) {
  Entry e;
  if (!findEntry(msg, n, &e)) return -1;
  switch (e.type) {
    case static_cast<int>(ZenType::Char): return 1;
    case static_cast<int>(ZenType::Short): return 2;
    case static_cast<int>(ZenType::Int): return 4;
    case static_cast<int>(ZenType::String):
    case static_cast<int>(ZenType::LString):
    case static_cast<int>(ZenType::IOString): return e.length;
    case static_cast<int>(ZenType::BigString): return bigLength(msg, e);
    default: return -1;
  }
}

void dumpbmsgTo(const ZenDumpSink& sink, const ZENMSG& msg, const ZenOverflow* overflow) {
  const char* name = functionName(msg.func);
  const auto* record = reinterpret_cast<const std::uint8_t*>(&msg);
  const int raw = sizeof msg < static_cast<std::size_t>(ZENBUF_RAWDUMP) ? static_cast<int>(sizeof msg) : ZENBUF_RAWDUMP;
  zenSinkPrintf(sink, "#Dump %s message P%d Pri=%d Q%d Seg=%d Sub=%d Prm=%d\n", name, msg.P, msg.Pri, msg.Q,
                msg.Seg / 4096, msg.Sub, msg.Prm);
  int count = msg.Prm;
  if (msg.used < 0) {
    if (sink.packetTrace(sink.context)) zenSinkPrintf(sink, "#dumpbmsg: len is %d so assume 0 prms\n", msg.used);
    count = 0;
  } else if (msg.Prm < 0 || msg.Prm > ZENBUF_DUMPPRMMAX) {
    sink.dump(sink.context, "ZENMSG", record, raw);
    return;
  }
  const int end = msg.used < AREA_TOTAL ? msg.used : AREA_TOTAL;
  int offset = 0;
  int shown = 0;
  for (int i = 1; i <= count; ++i) {
    const Entry e = offset <= end - ZENMSG_ENTRYHEAD ? readEntry(msg, offset) : Entry{offset, 0, -1, 0};
    const int size = e.type < 0 ? 0 : entrySize(e);
    if (e.type < 0 || size > AREA_TOTAL - offset) {
      zenSinkPrintf(sink, "#ERROR: insist failed at %d of %s\n", __LINE__, kUnit);
      sink.dump(sink.context, "Dump ZENMSG", record, raw);
      return;
    }
    const std::uint8_t* value = msg.area.data() + offset + 4;
    long long length = 0;
    char title[64];
    switch (e.type) {
      case static_cast<int>(ZenType::Char): {
        const int c = value[0];
        zenSinkPrintf(sink, "- %2d Char  '%c' x%02X\n", i, (c >= 0x20 && c <= 0x7E) ? c : '.', c);
        break;
      }
      case static_cast<int>(ZenType::Short): zenSinkPrintf(sink, "%2d Short %d\n", i, zenGet16(value)); break;
      case static_cast<int>(ZenType::Int): {
        const std::int32_t v = zenGet32(value);
        zenSinkPrintf(sink, "- %2d Int   %d   (0x%08X)\n", i, v, static_cast<unsigned>(v));
        break;
      }
      case static_cast<int>(ZenType::String):
      case static_cast<int>(ZenType::LString):
      case static_cast<int>(ZenType::IOString):
      case static_cast<int>(ZenType::BigString): {
        const std::uint8_t* data = entryData(msg, overflow, e, &length);
        if (e.type == static_cast<int>(ZenType::String)) std::snprintf(title, sizeof title, "%2d String", i);
        else if (e.type == static_cast<int>(ZenType::LString)) std::snprintf(title, sizeof title, "%2d L String", i);
        else if (e.type == static_cast<int>(ZenType::IOString))
          std::snprintf(title, sizeof title, "%2d IO String @ %lX", i,
                        static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(data)));
        else std::snprintf(title, sizeof title, "%2d Big String", i);
        sink.dump(sink.context, title, data, data ? static_cast<int>(length) : 0);
        break;
      }
      default:
        zenSinkPrintf(sink, "#ERROR: %2d Bad type %d (0x%X)\n", i, e.type, static_cast<unsigned>(e.type));
        sink.dump(sink.context, "Dump ZENMSG", record, raw);
        return;
    }
    ++shown;
    offset += size;
  }
  if (shown >= 2) zenSinkPrintf(sink, "End of dump %s message\n", name);
}

void dumpbmsg(const ZENMSG& msg, const ZenOverflow* overflow) {
  if (!logIsOpen()) return;
  dumpbmsgTo(zenLogSink(), msg, overflow);
}

void dumpbmsgText(const ZENMSG& msg, const ZenOverflow* overflow, std::string& out) {
  dumpbmsgTo(zenTextSink(out), msg, overflow);
}
