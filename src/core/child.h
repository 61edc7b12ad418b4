#pragma once
// CHILD: the session table and the dispatch of host data.
//
// Eight slots, each pairing a screen (core/cuscr.h) with a ChSession that
// holds the session's two channels (HostIO: telnet, rlogin or SSH; MCS: the
// host daemon's call-back), its mode and the state of its UNIX-mode
// interpreter. Every piece of arriving data is routed here either to the
// UNIX interpreter (character mode) or to the MCS request handler; the
// pseudo-mode protocol (BgnPsuedo, the end-of-output mark, EndPsuedo and the
// 500 ms mode-switch timer) switches a session between the two.
//
// One thread. The busy flag (ChSemSet) keeps one piece of work from starting
// inside another: readiness that arrives while a handler runs further down
// the stack is queued (waitRequest, 10 entries) and replayed as the flag is
// cleared, one entry per clear. Every nested call that may change the
// current session is followed by selecting the previous one again.

#include "plat/plat.h"
#include "term/unix.h"

#include <array>
#include <cstdint>

struct KORVEX;
struct McsTerminal;
struct McsAreas;

constexpr int CH_MAX_SESSIONS = 8;
constexpr int CH_MAX_REQUESTS = 10;
constexpr int CH_MSGBUF_SIZE = 16632;   // program-wide message buffer
constexpr int CH_HOSTREAD_MAX = 16376;  // one HostIO read
constexpr int CH_HOSTNAME_SIZE = 12;
constexpr int CH_HOSTNAME_CHARS = 9;
constexpr uint32_t CH_MODESWITCH_MS = 500;
constexpr uintptr_t CH_KEYDELAY_TIMER = 123;
constexpr int CH_KEYTEXT_MAX = 190;     // keys sent in one write
constexpr int32_t IDM_FILECLOSE = 205;

constexpr char CH_EOF_MARK[] = "<([%EOF%])>";
constexpr int CH_EOF_MARK_LEN = 11;

// ChSession flags.
enum : uint16_t {
    CHF_WAITINPUT = 0x0001,   // MCS: waiting for operator input
    CHF_CHARMODE = 0x0002,    // host data goes to the UNIX interpreter
    CHF_IDLE = 0x0004,        // MCS: idle
    CHF_MODE = 0x0007,
    CHF_OPT08 = 0x0008,       // MCS terminal options, mirrored into the forms state
    CHF_OPT10 = 0x0010,
    CHF_ACTIVITY = 0x0020,    // host data or keys processed (status line)
    CHF_TRANSPRINT = 0x0040,
    CHF_EOFSEEN = 0x0080,     // an EndPsuedo may be answered at once
    CHF_HOSTWAIT = 0x0100,    // HostIO data arrived in MCS mode
    CHF_ENDPENDING = 0x0200,  // EndPsuedo came before the mark
    CHF_EOFLOOK = 0x0400,     // looking for the mark
    CHF_MCSWAITING = 0x0800,  // MCS data arrived while EndPsuedo was pending
    CHF_HOSTOOB = 0x1000,     // the waiting host data was out-of-band
    CHF_LOCALECHO = 0x2000,
    CHF_SKIPECHO = 0x4000,
};

// Mode-switch timer field: 0 none, a timer handle while running, or this
// value: stop it when the current MCS request is finished.
constexpr intptr_t CH_TIMER_STOP = -1;

struct ChSession {
    int32_t slot;               // also the identifier of the mode-switch timer
    int32_t scrSlot;
    char hostName[CH_HOSTNAME_SIZE];
    int32_t hostConn;
    int64_t mcsDeadline;        // seconds; 0 = none
    uint16_t flags;
    int16_t eofCount;           // characters of the mark matched so far
    intptr_t timer;
    int32_t transPrint;         // print jobs (0 = none)
    int32_t hostPrint;
    int32_t prevFunc;
    int32_t func;
    KORVEX* hostIO;
    KORVEX* mcs;
    McsTerminal* term;
    McsAreas* areas;
    UnixState unix;

    // Header of the EndPsuedo request that had to wait for the mark; the
    // answer is made from it.
    std::array<uint8_t, 24> endHeader;
    int32_t endHeaderSet;
};

// The selection. Read freely; change only through sessSelect.
extern ChSession* chSessPtr;    // current session or null
extern int chCurSlot;           // -1 when none

// The program-wide message buffer: HostIO reads land in it, and the MCS
// layer reads and builds its messages in it.
uint8_t* chMsgBuffer();

// The record of a slot (whether open or not), or null outside 0..7.
ChSession* sessAt(int slot);
// True when the slot has a screen.
bool sessIsOpen(int slot);

void sessTableInit();
// Opens a session to a host: slot (or -1 for the lowest free one), -1 when
// no slot is free, -2 when the host does not resolve or cannot be reached.
int ChConnect(const char* host, const char* login, int kind, int slot);
// Kind 0 opens a session without a host connection.
int sessOpen(int slot, const char* host, const char* login, int kind);
void sessClose(int slot);
int sessSelect(int slot);

// The busy flag. 1, or 0 when on was asked while it was already set.
int ChSemSet(int on, const char* name);
bool chBusy();
void waitRequest(KORVEX* d, int slot, int oob);
void releaseRequest(int index);
int chRequestCount();

void uiProcessData(KORVEX* d, int oob);
// The EOF-mark scan of one HostIO read of n bytes in buf (cap bytes of
// room): the match count carries over in the session, characters held back
// at the end of one read are put in front of the next when they turn out to
// be text, and the rest of a read after the mark is dropped. Returns how
// many bytes from buf's start are to be shown now; *markFound is set when
// the mark completed (flags 0x0400 cleared, 0x0080 set).
int sessEofScan(ChSession* s, uint8_t* buf, int n, int cap, bool* markFound);
void uiProcessKeys();
int msrDoKeyInput();
void sessKeyTyped(int32_t key);
void mcsChannelEnd();

// The pseudo-mode switch as the MCS handler drives it.
// BgnPsuedo: 1 switched to character mode (looking for the mark), 0 already
// in character mode.
int sessBgnPsuedo(int slot);
// EndPsuedo: 1 when it is answered now (the session is idle in MCS mode and
// the handler sends the reply), 0 when it waits for the mark; header is the
// request's 24-byte header (or null), kept for the deferred answer.
int sessEndPsuedo(int slot, const uint8_t* header);

// Session window events.
void uiSessionSocketEvent(PWnd wnd, PWParam wp, PLParam lp);
void uiSessionModeTimer(int slot);
void uiSessionKeyTimer(PWnd wnd);
void uiSessionClose(PWnd wnd);
PResult uiSessionQueryEnd(PWnd wnd);
void uiSessionDestroyed(PWnd wnd);

// The routing of the session window: handles the messages of this unit and
// sets *handled; the window procedure of the session window calls it first.
PResult sessWndRoute(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp, bool* handled);
// A session window procedure with nothing but that routing.
PResult sessWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);

// The frame window: told when the session list changes, asked to close
// when the last session goes with "AutoExit" on, sent IDM_FILECLOSE.
void sessSetFrame(PWnd frame);
// The listening socket with a call-back that arrived while busy; the next
// session window event accepts it. -1 clears it.
void sessSetPendingAccept(int listenSocket);
int sessPendingAccept();

// Where the bytes for the UNIX interpreter and the deferred EndPsuedo go;
// tests swap in recorders. Null restores unixOut and msrDoMcsRequest.
using ChHostOutput = int (*)(const uint8_t* bytes, int length);
using ChMcsRequest = int (*)(int slot, uint8_t* buf, int len);
void sessSetHostOutput(ChHostOutput fn);
void sessSetMcsRequest(ChMcsRequest fn);
