#include "common/log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/codes.h"
#include "common/strtab.h"
#include "common/version.h"
#include "plat/folders.h"
#include "ui/errbox.h"

unsigned logFlags = 0x80;

namespace {

constexpr unsigned LOG_KEEPONCLOSE = 0x1000;
constexpr long LOG_POSCHECK = 32769;   // ask the file for its position this often
constexpr long LOG_KEEPWHOLEMIN = 524288000;
constexpr long LOG_MINMAX = 32768;
constexpr int LOG_PREFIXTEXTMAX = 8;
constexpr int LOG_TABCOLMAX = 63;
constexpr int LOG_OPTIONSMAX = 63;
constexpr int DUMP_HEXLINE = 24;
constexpr int DUMP_HEXWIDTH = 53;
constexpr int DUMP_TEXTLINE = 80;
constexpr int DUMP_SHORT = 41;        // shorter blocks are always shown in hex
constexpr int DUMP_TEXTSCAN = 240;    // a binary byte before this makes the whole block hex
constexpr int DUMP_SAMERUN = 40;

constexpr const char* monthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct LogState {
  FILE* file = nullptr;
  char fileName[LOG_NAMEMAX + 1] = "log.error";
  unsigned configFlags = 0;
  long maxSize = LOG_DEFAULTMAX;
  long cycleStart = 0;
  int cycleCount = 0;
  long position = 0;
  long writtenSince = 0;
  bool atLineStart = true;
  int nesting = 0;
  char prefixText[LOG_PREFIXTEXTMAX + 2] = "";  // text and its trailing space
  char linePrefix[64] = "";
  int prefixWidth = 0;
  bool keepWhole = false;
  bool rotate = false;
  bool hundredths = false;
  bool dbgOn = false;
  char options[LOG_OPTIONSMAX + 1] = "";
  char dbgPath[PLAT_PATHBUF + 16] = "";
};

LogState lg;

// Bounded copy that always terminates.
void copyText(char* dst, std::size_t size, const char* src) {
  std::snprintf(dst, size, "%s", src);
}

void setBits(unsigned bits, bool on) {
  if (on) {
    lg.configFlags |= bits;
    logFlags |= bits;
  } else {
    lg.configFlags &= ~bits;
    logFlags &= ~bits;
  }
}

long currentPos() { return lg.position + lg.writtenSince; }

void rawWrite(const char* text, std::size_t length) {
  if (!lg.file || length == 0) return;
  std::size_t done = std::fwrite(text, 1, length, lg.file);
  lg.writtenSince += static_cast<long>(done);
  if (done != length || lg.writtenSince >= LOG_POSCHECK) {
    long p = std::ftell(lg.file);
    if (p >= 0) {
      lg.position = p;
      lg.writtenSince = 0;
    }
  }
}

void rawWrite(const char* text) { rawWrite(text, std::strlen(text)); }

void writeSpaces(int count) {
  static constexpr char spaces[] = "                                                                ";
  while (count > 0) {
    int n = count < 64 ? count : 64;
    rawWrite(spaces, static_cast<std::size_t>(n));
    count -= n;
  }
}

void seekPosition() {
  long p = std::ftell(lg.file);
  if (p >= 0) lg.position = p;
  lg.writtenSince = 0;
}

void sizeText(long size, char* out, std::size_t cap) {
  if (size <= 2097152)
    std::snprintf(out, cap, "%ldK", (size + 512) / 1024);
  else
    std::snprintf(out, cap, "%ldM", (size + 500000) / 1048576);
}

std::tm localNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

void buildLinePrefix() {
  std::tm tm = localNow();
  char timeText[32];
  if (logFlags & LOG_HMS)
    std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d ", tm.tm_hour, tm.tm_min, tm.tm_sec);
  else if (lg.hundredths || (logFlags & LOG_HUNDREDTHS))
    std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d.%02d ", tm.tm_hour, tm.tm_min, tm.tm_sec, 0);
  else
    std::snprintf(timeText, sizeof timeText, "%02d/%02d %02d:%02d ", tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min);
  int n;
  if (lg.cycleCount == 0)
    n = std::snprintf(lg.linePrefix, sizeof lg.linePrefix, lg.maxSize > 0 ? " %s%s" : "%s%s", lg.prefixText,
                      timeText);
  else
    n = std::snprintf(lg.linePrefix, sizeof lg.linePrefix, "%c%s%s", (lg.cycleCount & 1) ? 'A' : 'B',
                      lg.prefixText, timeText);
  lg.prefixWidth = n < static_cast<int>(sizeof lg.linePrefix) ? n : static_cast<int>(sizeof lg.linePrefix) - 1;
}

// Steps every message shares: the line prefix, indentation and the text.
void emit(const char* msg, std::size_t length) {
  if (length == 0) return;
  if (msg[0] == '#' || msg[0] == '~') {
    if (!lg.atLineStart) rawWrite("\n", 1);
    if (msg[0] == '#') {
      buildLinePrefix();
      rawWrite(lg.linePrefix, static_cast<std::size_t>(lg.prefixWidth));
    } else {
      int n = static_cast<int>(std::strlen(lg.prefixText));
      rawWrite(lg.prefixText, static_cast<std::size_t>(n));
      writeSpaces(lg.prefixWidth - n);
    }
    const char* text = msg + 1;
    std::size_t rest = length - 1;
    // A TAB after the leading characters lines the text up with continuation lines.
    std::size_t lead = 0;
    while (lead < rest && lead < static_cast<std::size_t>(lg.nesting) && text[lead] != '\t') ++lead;
    if (lead < rest && text[lead] == '\t') {
      rawWrite(text, lead);
      int column = lg.prefixWidth + static_cast<int>(lead);
      int target = lg.prefixWidth + lg.nesting;
      if (target > LOG_TABCOLMAX) target = LOG_TABCOLMAX;
      writeSpaces(target > column ? target - column : 1);
      text += lead + 1;
      rest -= lead + 1;
    }
    rawWrite(text, rest);
  } else {
    if (lg.atLineStart && msg[0] != '\n') writeSpaces(lg.prefixWidth + lg.nesting);
    rawWrite(msg, length);
  }
  lg.atLineStart = msg[length - 1] == '\n';
}

void emitf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void emitf(const char* format, ...) {
  char buf[LOG_MSGMAX];
  va_list ap;
  va_start(ap, format);
  int n = std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  if (n < 0) return;
  emit(buf, static_cast<std::size_t>(n < LOG_MSGMAX ? n : LOG_MSGMAX - 1));
}

void closeFile() {
  if (lg.file) std::fclose(lg.file);
  lg.file = nullptr;
  logFlags &= LOG_KEEPONCLOSE;
}

// Wraps the ring: cut the file here and go on just after the header.
void cycle() {
  ++lg.cycleCount;
  rawWrite("\n", 1);
  std::fflush(lg.file);
  long here = std::ftell(lg.file);
  if (here >= 0 && ftruncate(fileno(lg.file), here) != 0) {
    // The old tail stays; the next pass overwrites it.
  }
  if (std::fseek(lg.file, lg.cycleStart, SEEK_SET) != 0) {
    int e = errno;
    lg.writtenSince = 0;
    emitf("\n fseek error %d '%s'\n", e, std::strerror(e));
    seekPosition();
    return;
  }
  lg.position = lg.cycleStart;
  lg.writtenSince = 0;
  lg.atLineStart = true;
  rawWrite("\n", 1);
  char size[32];
  sizeText(lg.maxSize, size, sizeof size);
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) && tm.tm_year + 1900 != 0)
    emitf("#Log file cycle %d on %s %d, %d; Max size %s\n", lg.cycleCount, monthNames[tm.tm_mon], tm.tm_mday,
          tm.tm_year + 1900, size);
  else
    emitf("#Log file cycle %d; Max size %s\n", lg.cycleCount, size);
}

// After each message: cycling, flushing and the runaway stop.
void afterMessage() {
  if (!lg.file) return;
  if (!lg.atLineStart && currentPos() <= lg.maxSize + LOG_SLACK) return;
  if (lg.maxSize > 0 && currentPos() > lg.maxSize) {
    if (logFlags & LOG_APPEND)
      lg.maxSize = 0;  // an appended file cannot be cut, so it just grows
    else
      cycle();
  }
  if (!(logFlags & LOG_NOFLUSH)) std::fflush(lg.file);
  if (currentPos() >= LOG_RUNAWAY) {
    rawWrite("\n\nERROR: Log file run away!!!\n\n");
    logClose();
  }
}

void markCycleStart() {
  if (!lg.file || lg.keepWhole) return;
  rawWrite("\n", 1);
  lg.atLineStart = true;
  std::fflush(lg.file);
  seekPosition();
  lg.cycleStart = lg.position;
  std::tm tm = localNow();
  char size[32];
  sizeText(lg.maxSize, size, sizeof size);
  emitf("#Log file cycle %d on %s %d, %d; Max log size %s\n", lg.cycleCount, monthNames[tm.tm_mon], tm.tm_mday,
        tm.tm_year + 1900, size);
  if (lg.maxSize > 0 && lg.maxSize < lg.cycleStart) lg.maxSize = 3 * lg.cycleStart;
  afterMessage();
}

// A leading "~" becomes $HOME (or $ZENROOT) and "/".
void expandTilde(const char* name, char* out, std::size_t cap) {
  const char* root = nullptr;
  if (name[0] == '~') {
    root = std::getenv("HOME");
    if (!root) root = std::getenv("ZENROOT");
  }
  if (!root) {
    copyText(out, cap, name);
    return;
  }
  const char* rest = name + 1;
  if (*rest == '/') ++rest;
  std::snprintf(out, cap, "%s/%s", root, rest);
}

// "$$$" process id, "$$D" date, "$$T" date and time.
void expandPlaceholders(char* name, std::size_t cap) {
  char out[LOG_NAMEMAX + 1];
  std::size_t o = 0;
  std::tm tm = localNow();
  for (const char* p = name; *p && o < sizeof out - 1;) {
    char piece[32] = "";
    std::size_t skip = 0;
    if (p[0] == '$' && p[1] == '$' && p[2] == '$') {
      std::snprintf(piece, sizeof piece, "%d", static_cast<int>(getpid()));
      lg.rotate = false;
      skip = 3;
    } else if (p[0] == '$' && p[1] == '$' && (p[2] == 'D' || p[2] == 'd')) {
      std::snprintf(piece, sizeof piece, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
      skip = 3;
    } else if (p[0] == '$' && p[1] == '$' && (p[2] == 'T' || p[2] == 't')) {
      std::snprintf(piece, sizeof piece, "%04d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                    tm.tm_hour, tm.tm_min);
      lg.rotate = false;
      skip = 3;
    }
    if (skip == 0) {
      out[o++] = *p++;
      continue;
    }
    for (const char* q = piece; *q && o < sizeof out - 1; ++q) out[o++] = *q;
    p += skip;
  }
  out[o] = '\0';
  copyText(name, cap, out);
}

void rotateFiles() {
  char from[LOG_NAMEMAX + 16], to[LOG_NAMEMAX + 16];
  for (int n = 8; n >= 1; --n) {
    std::snprintf(from, sizeof from, "%s.%d.log", lg.fileName, n);
    std::snprintf(to, sizeof to, "%s.%d.log", lg.fileName, n + 1);
    std::rename(from, to);
  }
  std::snprintf(to, sizeof to, "%s.%d.log", lg.fileName, 1);
  std::rename(lg.fileName, to);
}

void openFailed(int e, const char* path) {
  std::fprintf(stderr, "ERROR %d: Opening %s; %s\n", e, path, std::strerror(e));
}

void afterOpen() {
  logFlags = lg.configFlags | (logFlags & LOG_KEEPONCLOSE) | LOG_OPEN;
  std::fseek(lg.file, 0, SEEK_END);
  seekPosition();
  lg.cycleCount = 0;
  lg.cycleStart = 0;
  lg.atLineStart = true;
  buildLinePrefix();
}

// "#n": log to an inherited descriptor.
int openDescriptor(int fd) {
  int mine = dup(fd);
  FILE* f = mine >= 0 ? fdopen(mine, "a") : nullptr;
  if (!f) {
    if (mine >= 0) close(mine);
    return -errno;
  }
  closeFile();
  lg.file = f;
  std::snprintf(lg.fileName, sizeof lg.fileName, "#%d", fd);
  setBits(LOG_APPEND, true);
  afterOpen();
  return 0;
}

long clampSize(long long n) {
  if (n < LOG_MINMAX) return LOG_MINMAX;
  if (n > 0x7FFFFFFFFFFFLL) return 0x7FFFFFFFFFFFL;
  return static_cast<long>(n);
}

}  // namespace

int logOpen(const char* name, int nesting) {
  if (lg.nesting == 0) lg.nesting = nesting < 0 ? 0 : (nesting > LOG_NESTMAX ? LOG_NESTMAX : nesting);
  if (!(lg.configFlags & LOG_NAMEFIXED) && name && *name) expandTilde(name, lg.fileName, sizeof lg.fileName);
  expandPlaceholders(lg.fileName, sizeof lg.fileName);
  if (lg.rotate) rotateFiles();
  if (lg.configFlags & LOG_NOFILE) return 0;
  closeFile();
  const char* mode;
  if (!lg.keepWhole) {
    mode = (lg.configFlags & LOG_APPEND) ? "a" : "w";
  } else {
    if (!(lg.configFlags & LOG_APPEND)) std::remove(lg.fileName);
    mode = "a";
    setBits(LOG_APPEND, true);
  }
  lg.file = std::fopen(lg.fileName, mode);
  if (!lg.file) {
    int e = errno;
    openFailed(e, lg.fileName);
    return -e;
  }
  afterOpen();
  return 0;
}

void logClose() {
  closeFile();
  lg.dbgOn = false;
}

void logFlush() {
  if (lg.file) std::fflush(lg.file);
}

int logPrintfOpen(const char* format, ...) {
  if (!lg.file) return 0;
  char buf[LOG_MSGMAX];
  va_list ap;
  va_start(ap, format);
  int n = std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  if (n <= 0) return 0;
  if (n >= LOG_MSGMAX) n = LOG_MSGMAX - 1;
  emit(buf, static_cast<std::size_t>(n));
  afterMessage();
  return n;
}

namespace {

bool dumpPrintable(unsigned char c) {
  return (c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

void dumpHex(const unsigned char* bytes, int start, int length, bool ebcdic) {
  int off = start;
  while (off < length) {
    int count = length - off < DUMP_HEXLINE ? length - off : DUMP_HEXLINE;
    char hex[DUMP_HEXWIDTH + 8];
    char chars[DUMP_HEXLINE + 1];
    int h = 0;
    for (int i = 0; i < count; ++i) {
      unsigned char b = bytes[off + i];
      h += std::snprintf(hex + h, sizeof hex - static_cast<std::size_t>(h), "%02X", b);
      if ((i + 1) % 4 == 0 && i + 1 < count) hex[h++] = ' ';
      unsigned char c = ebcdic ? ebcToAsc(b) : b;
      chars[i] = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
    }
    hex[h] = '\0';
    chars[count] = '\0';
    emitf(" %6.6X : %-*s '%s'\n", static_cast<unsigned>(off), DUMP_HEXWIDTH, hex, chars);
    afterMessage();
    if (!lg.file) return;
    off += count;
    // A run of the last four-byte group collapses into one line.
    if (count == DUMP_HEXLINE && length - off >= DUMP_SAMERUN) {
      const unsigned char* word = bytes + off - 4;
      int end = off;
      while (end + 4 <= length && std::memcmp(bytes + end, word, 4) == 0) end += 4;
      if (end - off >= DUMP_SAMERUN) {
        emitf(" %6.6X : ", static_cast<unsigned>(off));
        emitf(" thru %6.6X same as last word\n", static_cast<unsigned>(end - 1));
        afterMessage();
        if (!lg.file) return;
        off = end;
      }
    }
  }
}

void dumpText(const unsigned char* bytes, int length) {
  emitf("        ....+....1....+....2....+....3....+....4....+....5....+....6....+....7....+....8\n");
  int off = 0;
  while (off < length) {
    int count = length - off < DUMP_TEXTLINE ? length - off : DUMP_TEXTLINE;
    // Whole lines equal to the one before collapse into one line.
    if (off >= DUMP_TEXTLINE && count == DUMP_TEXTLINE &&
        std::memcmp(bytes + off, bytes + off - DUMP_TEXTLINE, DUMP_TEXTLINE) == 0) {
      const unsigned char* previous = bytes + off - DUMP_TEXTLINE;
      int runStart = off;
      while (off + DUMP_TEXTLINE <= length && std::memcmp(bytes + off, previous, DUMP_TEXTLINE) == 0)
        off += DUMP_TEXTLINE;
      emitf("%5d : ", runStart + 1);
      emitf(" thru %5d same as last\n", off);
      afterMessage();
      if (!lg.file) return;
      continue;
    }
    int end = off + count;
    char line[DUMP_TEXTLINE * 2 + 1];
    int t = 0;
    for (int i = off; i < end; ++i) {
      unsigned char c = bytes[i];
      const char* esc = nullptr;
      switch (c) {
        case '\t': esc = "\\t"; break;
        case '\n': esc = "\\n"; break;
        case '\f': esc = "\\f"; break;
        case '\r': esc = "\\r"; break;
        case '\\': esc = "\\\\"; break;
        default: break;
      }
      if (esc) {
        line[t++] = esc[0];
        line[t++] = esc[1];
      } else {
        line[t++] = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
      }
    }
    line[t] = '\0';
    emitf("%5d : %s :\n", off + 1, line);
    afterMessage();
    if (!lg.file) return;
    off = end;
  }
}

}  // namespace

void logDumpOpen(const char* title, const void* data, int length) {
  if (!lg.file) return;
  bool ebcdic = (logFlags & LOG_EBCDIC) != 0;
  if (title) {
    if (title[0] == '#')
      emitf("#---- %s len=%d %s ----\n", title + 1, length, ebcdic ? "EBCDIC" : "");
    else
      emitf("~---- %s len=%d %s ----\n", title, length, ebcdic ? "EBCDIC" : "");
  } else if (!lg.atLineStart) {
    emit("\n", 1);
  }
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (!bytes) {
    emitf("<NULL> memory address\n");
    afterMessage();
    return;
  }
  if (length < 0) length = 0;
  int textEnd = 0;  // bytes [0, textEnd) in text form, the rest in hex
  if (length >= DUMP_SHORT && !ebcdic) {
    int bad = 0;
    while (bad < length && dumpPrintable(bytes[bad])) ++bad;
    if (bad == length)
      textEnd = length;
    else if (bad >= DUMP_TEXTSCAN)
      textEnd = bad / DUMP_TEXTLINE * DUMP_TEXTLINE;
  }
  if (textEnd > 0) dumpText(bytes, textEnd);
  if (lg.file && textEnd < length) dumpHex(bytes, textEnd, length, ebcdic);
  if (!lg.file) return;
  emit("\n", 1);
  afterMessage();
}

int logOptions(const char* letters) {
  if (const char* v = std::getenv("COB_SET_TRACE"); v && v[0] == 'Y') lg.keepWhole = true;
  if (!letters) letters = "";
  bool neg = false;
  for (const char* p = letters; *p;) {
    char c = *p++;
    switch (c) {
      case '!': neg = !neg; break;
      case '#': {
        int fd = 0;
        bool any = false;
        while (*p >= '0' && *p <= '9') {
          if (fd < 100000) fd = fd * 10 + (*p - '0');
          any = true;
          ++p;
        }
        if (any) openDescriptor(fd);
        break;
      }
      case '\'': {
        int n = 0;
        char text[LOG_PREFIXTEXTMAX + 1];
        while (*p && *p != '\'') {
          if (n < LOG_PREFIXTEXTMAX) text[n++] = *p;
          ++p;
        }
        if (*p == '\'') ++p;
        text[n] = '\0';
        if (n > 0)
          std::snprintf(lg.prefixText, sizeof lg.prefixText, "%s ", text);
        else
          lg.prefixText[0] = '\0';
        break;
      }
      case 'A': setBits(LOG_APPEND, !neg); break;
      case 'C': markCycleStart(); break;
      case 'E': setBits(LOG_EBCDIC, !neg); break;
      case 'e': setBits(LOG_EBCDIC, neg); break;
      case 'F': setBits(LOG_NOFLUSH, !neg); break;
      case 'G': lg.keepWhole = !neg; break;
      case 'K': lg.rotate = !neg; break;
      case 'N': setBits(LOG_NOFLUSH, neg); break;
      case 'S': setBits(0x80000, !neg); break;
      case 'Z': setBits(0x20000, !neg); break;
      case 'T':
        setBits(LOG_HMS, !neg);
        if (!neg) setBits(LOG_HUNDREDTHS, false);
        break;
      case 'a': setBits(0x50A, !neg); break;
      case 'c': setBits(0x100, !neg); break;
      case 'd': setBits(0x108, !neg); break;
      case 'f': setBits(LOG_NOFILE, !neg); break;
      case 'h':
        setBits(LOG_HUNDREDTHS, !neg);
        if (!neg) setBits(LOG_HMS, false);
        break;
      case 'k': setBits(LOG_KEEPONCLOSE, !neg); break;
      case 'n': setBits(LOG_NOFILE, neg); break;
      case 'o': {
        if (*p == '=') ++p;
        char raw[LOG_NAMEMAX + 1];
        std::size_t n = 0;
        while (*p && *p != ',') {
          if (n < sizeof raw - 1) {
            if (p[0] == '$' && p[1] == '$') {
              n += static_cast<std::size_t>(
                  std::snprintf(raw + n, sizeof raw - n, "%d", static_cast<int>(getpid())));
              if (n > sizeof raw - 1) n = sizeof raw - 1;
              p += 2;
              continue;
            }
            raw[n++] = *p;
          }
          ++p;
        }
        raw[n] = '\0';
        expandTilde(raw, lg.fileName, sizeof lg.fileName);
        setBits(LOG_NAMEFIXED, true);
        break;
      }
      case 'q': setBits(0x800, !neg); break;
      case 'r': setBits(0x400, !neg); break;
      case 's': setBits(0x4, !neg); break;
      case 'w': setBits(0x2, !neg); break;
      case 't':
        if (!neg) {
          setBits(0x51A, true);
          setBits(LOG_NOFLUSH, false);
        } else {
          setBits(0x80D1A, false);
        }
        break;
      default:
        if (c >= '0' && c <= '9') {
          long long n = c - '0';
          while (*p >= '0' && *p <= '9') {
            if (n < 100000000LL) n = n * 10 + (*p - '0');
            ++p;
          }
          if (*p == 'K') {
            n *= 1024;
            ++p;
          } else if (*p == 'M') {
            n *= 1048576;
            ++p;
          } else if (n <= 29) {
            n *= 1048576;
          } else if (n <= 699) {
            n *= 1024;
          }
          lg.maxSize = clampSize(n);
        }
        break;  // P, p and unknown letters do nothing
    }
  }
  if (lg.file && (logFlags & LOG_NOFILE)) logClose();
  if (lg.keepWhole) {
    lg.rotate = false;
    setBits(LOG_NOFLUSH, false);
    if (lg.maxSize < LOG_KEEPWHOLEMIN) lg.maxSize = LOG_KEEPWHOLEMIN;
  }
  std::size_t used = std::strlen(lg.options);
  if (used < LOG_OPTIONSMAX) std::snprintf(lg.options + used, sizeof lg.options - used, "%s", letters);
  return 0;
}

const char* dbgLogPath() {
  char folder[PLAT_PATHBUF];
  if (platDocumentsFolder(folder, sizeof folder) >= 0)
    std::snprintf(lg.dbgPath, sizeof lg.dbgPath, "%skorvex.log", folder);
  else
    copyText(lg.dbgPath, sizeof lg.dbgPath, "korvex.log");
  return lg.dbgPath;
}

int dbgLog(int on) {
  if (!on) {
    if (lg.dbgOn) {
      logClose();
      logFlags &= LOG_KEEPONCLOSE;
    }
    return 0;
  }
  if (lg.dbgOn) return 0;
  logOptions("Q");
  const char* path = dbgLogPath();
  int r = logOpen(path, 1);
  if (r < 0) {
    char text[PLAT_PATHBUF + 200];
    std::snprintf(text, sizeof text, "ERROR %d: Opening %s; %s\n", -r, path, std::strerror(-r));
    showError(text);
    return r;
  }
  lg.dbgOn = true;
  lg.hundredths = true;
  logOptions("T500Ka");
  logPrintf("#Log file korvex.log opened\n");
  logPrintf("%s %d.%d %s %d %s %d", strGet(12015), KVX_VERSION_MAJOR, KVX_VERSION_MINOR, strGet(16033),
            KVX_VERSION_BUILD, strGet(16036), KVX_VERSION_REVISION);
  markCycleStart();
  return 0;
}

bool dbgLogIsOn() { return lg.dbgOn; }
const char* logFileName() { return lg.fileName; }
long logMaxSize() { return lg.maxSize; }
int logCycleCount() { return lg.cycleCount; }
const char* logOptionString() { return lg.options; }

void logReset() {
  closeFile();
  lg = LogState{};
  logFlags = 0x80;
}
