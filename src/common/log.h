#pragma once
// The debug log: one ring-bounded trace file for the whole process.
//
// Trace calls stay in every path: while the log is closed logPrintf and
// logDump are one inline test of logFlags and do not evaluate their
// arguments (logPrintf is a macro for that reason).
//
// Message prefixes: "#" starts a time-stamped line, "~" starts a line aligned
// under the time-stamped ones, anything else continues the current line.
#include <cstddef>

// Active trace flags; bit LOG_OPEN is set only while the log file is open.
extern unsigned logFlags;

constexpr unsigned LOG_OPEN = 0x1;
constexpr unsigned LOG_MCSSTACK = 0x8;    // MCS forms function stack trace
constexpr unsigned LOG_PACKET = 0x10;     // MCS request and reply details
constexpr unsigned LOG_HUNDREDTHS = 0x40; // time stamps hh:mm:ss.hh
constexpr unsigned LOG_NOFLUSH = 0x80;    // do not flush after each message
constexpr unsigned LOG_NOFILE = 0x200;
constexpr unsigned LOG_NAMEFIXED = 0x2000; // name set by option "o"
constexpr unsigned LOG_APPEND = 0x4000;
constexpr unsigned LOG_HMS = 0x8000;       // time stamps hh:mm:ss
constexpr unsigned LOG_EBCDIC = 0x10000;   // dump text column from EBCDIC

constexpr int LOG_MSGMAX = 2200;        // formatted message area, with its NUL
constexpr int LOG_NAMEMAX = 259;        // longest file name
constexpr int LOG_NESTMAX = 30;
constexpr long LOG_DEFAULTMAX = 31457280; // 30 MB until an option sets it
constexpr long LOG_SLACK = 24576;         // a line may run past the maximum by this
constexpr long LOG_RUNAWAY = 104857601;

inline bool logIsOpen() { return (logFlags & LOG_OPEN) != 0; }

// Out-of-line halves; call them through logPrintf / logDump.
int logPrintfOpen(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logDumpOpen(const char* title, const void* bytes, int length);

// Formats (at most 2199 characters) and writes one message. Returns the
// number of bytes formatted, 0 while the log is closed.
#define logPrintf(...) (logIsOpen() ? logPrintfOpen(__VA_ARGS__) : 0)

// A titled hex or text dump of a byte block; a title starting with "#" gives
// a time-stamped header line. bytes may be null ("<NULL> memory address").
inline void logDump(const char* title, const void* bytes, int length) {
  if (logIsOpen()) logDumpOpen(title, bytes, length);
}

// Opens the log file (default name "log.error"; a leading "~" and the
// "$$$", "$$D", "$$T" placeholders are expanded). 0, or -errno on failure.
int logOpen(const char* name, int nesting);
void logClose();
// Applies an option string of letters (see log.cpp). Returns 0.
int logOptions(const char* letters);
void logFlush();

// The debug log ("-d", Alt+D, the menu): on = 1 opens it, 0 closes it.
// Returns 0, or -errno when it could not be opened (the error box is shown).
int dbgLog(int on);
bool dbgLogIsOn();
// Full path of the debug log: "korvex.log" in the documents folder.
const char* dbgLogPath();

// Inspection for the frame window and tests.
const char* logFileName();
long logMaxSize();
int logCycleCount();
// The option strings applied so far (up to 63 characters).
const char* logOptionString();
// Closes the log and returns every setting to its start value (tests).
void logReset();
