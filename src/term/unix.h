#pragma once
// UNIX-mode interpreter: the VT-style terminal of a session in character
// mode. Host bytes are matched against an ordered table of patterns and
// written to the current screen through the screen-buffer operations only;
// replies go back through the session's HostIO descriptor. The same unit
// owns the key table (key codes to host byte strings) and the local echo of
// "Oracle Optimizing" mode.
//
// The state lives in the session record (ChSession embeds a UnixState). It
// owns heap buffers (tab stops, reply buffer, held echo
// text): reset it by assignment (`st = UnixState{}`) or unixFree, never by
// memset.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

struct ChSession;
struct UnixSeq;     // one entry of the sequence table (unix.cpp)

constexpr uint8_t UNIX_TYPE_V = 'V';
constexpr int UNIX_PARSE_MAX = 100;      // parse buffer carried across reads
constexpr int UNIX_PARAM_MAX = 100;
constexpr int UNIX_SEQ_COUNT = 74;
constexpr int UNIX_KEY_COUNT = 40;
constexpr int UNIX_REPLY_MIN = 100;      // reply buffer: max(100, 2 * Cols)
constexpr int UNIX_ECHO_MAX = 256;       // held local-echo text
constexpr int UNIX_OPT_PATTERN_MAX = 15; // "OptimizeOn" / "OptimizeOff" bytes
constexpr int UNIX_OPT_READ_MAX = 24;    // characters read from the option
constexpr int UNIX_KEY_STRING_MAX = 8;   // longest key string, with room
constexpr int UNIX_SCROLL_REFRESH = 12;  // every 12th scroll repaints

// Keyboard flags.
enum : int32_t {
    UNIX_KBD_APPCURSOR = 0x1,   // cursor keys send their application strings
    UNIX_KBD_LOCKED = 0x2,      // keys stay queued
};

// ChSession flags that belong to the interpreter.
constexpr uint16_t UNIX_FLAG_TRANSPRINT = 0x0040;
constexpr uint16_t UNIX_FLAG_LOCALECHO = 0x2000;
constexpr uint16_t UNIX_FLAG_SKIPECHO = 0x4000;

// Key table entry: the application string is null when the key has none.
struct UnixKey {
    int32_t key;
    const char* normal;
    const char* application;
};

struct UnixState {
    uint8_t termType = 0;
    int32_t kbdFlags = 0;
    int32_t lastRow = 0, lastCol = 0;
    int32_t top = 0, left = 0, bottom = 0, right = 0;   // scroll region
    int32_t pendingWrap = 0;
    int32_t curCol = 0, curRow = 0;
    int32_t savedCol = 0, savedRow = 0;
    uint8_t attr = 20;
    int32_t lineGraphics = 0, insertMode = 0, cursorVisible = 1;
    int32_t parseCount = 0;
    std::array<uint8_t, UNIX_PARSE_MAX> parse{};
    std::vector<uint8_t> tabs;                   // one byte per column, 1 = stop
    const UnixSeq* seqTable = nullptr;
    const UnixKey* keyTable = nullptr;
    int32_t seqCount = 0, keyCount = 0;
    std::vector<uint8_t> reply;                  // replies and one-line work area
    std::unique_ptr<std::array<char, UNIX_ECHO_MAX>> echoText;  // null = none held
    int32_t echoLen = 0;
    int32_t scrollCount = 0;                     // scrolls since the last refresh
};

// Sets up the interpreter of a session for a grid of rows x cols. full = true
// when the session is made (everything reset), false on a resize (margins and
// tab stops renewed, cursor and modes kept). type is UNIX_TYPE_V (0 keeps the
// tables). Returns 0, or -1 for bad arguments.
int unixInit(ChSession* sess, int type, int rows, int cols, bool full);
// Frees the buffers of the state (session close).
void unixFree(UnixState& st);

// Interprets host bytes on the current session (its screen must be the
// current screen). Incomplete sequences are kept for the next call.
// Returns 0, or -1 when there is no current session.
int unixOut(const uint8_t* bytes, int length);
// The same on a given session record, whose screen must be the current
// screen (the session table's selection is not consulted).
int unixOutSession(ChSession* sess, const uint8_t* bytes, int length);

// Local echo: offered every text the keyboard is about to send. 1 = taken
// (shown and held, or flushed together with held text), 0 = the caller sends
// it.
int doLocalEcho(const char* text, int length);
// Sends and frees the held local-echo text of the current session.
void unixEchoFlush();
// True while local-echo text is held: the host-data path pops the cursor
// before unixOut and pushes it after.
inline bool unixEchoHeld(const UnixState& st) { return st.echoText != nullptr; }

// Key translation by the session's key table: writes the bytes for a key
// code into out (at most cap) and returns their count. Keys not in the table
// give their low byte.
int unixKeyString(const UnixState& st, int32_t key, char* out, int cap);
inline bool unixKbdLocked(const UnixState& st) { return (st.kbdFlags & UNIX_KBD_LOCKED) != 0; }

// Start-up: the "Options" values "OptimizeOn" and "OptimizeOff" replace the
// local-echo switch patterns ("\x" and two lower-case hex digits stand for a
// byte; at most 15 bytes kept). Null or empty keeps the default.
void unixSetOptimizePatterns(const char* on, const char* off);
// Reads both options from the configuration store and applies them.
void unixLoadOptions();

// The MCS listening port reported to the host (start-up sets it to the port
// actually bound).
void unixSetListenPort(unsigned port);
