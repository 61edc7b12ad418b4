#pragma once
// MCS server: the call-back handshake (msrStart), the request handler
// (msrDoMcsRequest, msrServerHandler, doMcsInputFunc), the per-session MCS
// areas and the forms state as far as the session table needs them.
//
// Everything acts on the current session; the entry points select the
// session they serve first. Replies are built in one program-wide buffer
// and written at once through the session's MCS descriptor.

#include "mcs/mcsareas.h"
#include "mcs/mcsdlg.h"
#include "plat/plat.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

constexpr int MCS_TITLE_SIZE = 166;
constexpr int MSR_REPLY_SIZE = 16632;       // the shared reply buffer
constexpr int MSR_OVERFLOW_SIZE = MCS_OVERFLOW_SIZE;
constexpr int MSR_PEERNAME_MAX = 63;
constexpr int MSR_SESSNAME_LEN = 9;
constexpr int MSR_HELD_MAX = 10;            // requests kept while an EndPsuedo waits
constexpr int MSR_APP_CMD_MAX = 80;
constexpr int MSR_APP_ARGS_MAX = 16;
constexpr int MSR_ASK_TEXT = 144;           // message-area text an ask request blanks
constexpr int MSR_ASK_DEFAULT = 72;         // text offset of the default answer
constexpr int MSR_ASK_PROMPT_MAX = 72;
constexpr int MSR_LIST_TITLE_MAX = 80;
constexpr int MSR_OLDLIST_TEXT_MAX = 100;
constexpr int MSR_PROMPT_SRC_MAX = 100;
constexpr int MSR_WINTITLE_MAX = 100;
constexpr int MSR_AREAC_REPLY = 700;
constexpr uint32_t MSR_DEADLINE_MS = 1000;  // how often waiting sessions' deadlines are checked
constexpr uintptr_t MSR_DEADLINE_TIMER = 2; // frame timer (1 is the printer time-out)

// ZENBUF header: 24 bytes, the function code big-endian at 16..17.
constexpr int ZENBUF_HEADER_SIZE = 24;
constexpr int ZENBUF_FUNC_OFFSET = 16;

// Function codes the session table and the handler deal with by number.
enum : int32_t {
    dFutsin = 31,
    dFask = 36,
    dFaskyn = 37,
    dFlist = 38,
    dFmenu = 39,
    dFtitle = 47,
    dFunsolmsg = 51,
    dFidle = 18,
    dFerase = 24,
    dFwinapp = 80,
    dFfree = 82,
    dFzenh2p = 87,
    dFzenp2h = 88,
    dFutsoutraw = 201,
    dFmcsEnd = 203,
    dFbgnPsuedo = 205,
    dFendPsuedo = 206,
};
// The other requests of the channel's own range.
enum : int32_t {
    MSR_REQ_WORKDIR = 202,
    MSR_REQ_TIMEDINPUT = 204,
    MSR_REQ_TIMEOUT = 207,
    MSR_REQ_PRINTDATA = 208,
    MSR_REQ_PRINTON = 209,
    MSR_REQ_PRINTOFF = 210,
};

// Allocates a session's areas, every text area blank-filled (0x20).
// Null when memory is short.
McsAreas* mcsAreasNew();
// Frees the format copies of the cache and the overflow area (capacity 0);
// the areas stay.
void mcsFreeFormats(McsAreas* areas);
// Frees everything, the record included.
void mcsAreasFree(McsAreas* areas);

struct McsTerminal;

// The terminal operations the session table calls. Every slot is filled.
struct McsTermOps {
    void (*dispose)(McsTerminal* term);   // frees the record and what it owns
    void (*endUse)(McsTerminal* term);    // resets the screen state
};

// A new-style dFlist being collected: exactly rows x (columns + 1) bytes.
struct McsListData {
    int32_t rows = 0;
    int32_t cols = 0;
    int32_t expected = 0;
    int32_t received = 0;
    std::unique_ptr<uint8_t[]> bytes;
};

// The forms state of a session's MCS channel: the fields the format and
// request units share (McsFormsState: sKey, sXmit and the rest), then those
// the session table and the request handler use.
struct McsTerminal : McsFormsState {
    const McsTermOps* ops;
    uint8_t lockedForInput;     // keys are not taken while the host works
    uint8_t xmitRequested;      // the user asked to transmit while locked
    uint8_t hostXmit;           // a host-requested transmit is being performed
    uint16_t sessOptions;       // session flags 0x0010 and 0x0008, copied at selection
    uint8_t titleSaved;
    char savedTitle[MCS_TITLE_SIZE + 1];
    uint8_t needsInput;         // set by LCLpreProcess when the request waits
    int32_t msgAvail;           // completion code of the current request (0 none)
    uint8_t poll;               // poll setting, traced with old-style lists
    uint8_t titleSet;           // a host title is on the window
    int32_t sessNo;             // session number + 1
    char sessName[MSR_SESSNAME_LEN];
    char menuTitle[MCS_TITLE_SIZE + 1];
    McsListData list;
    // Requests that arrived behind an EndPsuedo still waiting for the mark;
    // served in order once it is answered.
    std::vector<std::vector<uint8_t>> held;
};

// A forms state with do-nothing terminal operations (dispose frees it).
McsTerminal* mcsTermNew();
// Runs the two shutdown operations (end use, dispose) and clears *term.
void mcsTermShutdown(McsTerminal** term);
// Puts a saved window title back on the window and forgets it.
void mcsRestoreTitle(McsTerminal* term, PWnd wnd);

// The terminal size the MCS layer works with (rows, columns up to 166),
// published by the session selection.
void mcsSetTermSize(int rows, int cols);
int mcsTermRows();
int mcsTermCols();

// Serves one received message of the slot's MCS channel (it may write a
// reply through the MCS descriptor). 0 or positive when served, negative
// when not.
int msrDoMcsRequest(int slot, uint8_t* buf, int len);
// Dispatches one request of the current session: the reply's length with
// *reply set, 0 when there is no reply (now), PACK_EFATAL when the request
// could not be unpacked (the caller ends the channel), other negative codes
// when there is no session to serve it.
int msrServerHandler(std::span<const uint8_t> request, const uint8_t** reply);
// Completes a function that waits for the operator: returns the reply length
// with *reply set, 0 when still waiting, negative on failure. noKey is set
// for a run that no key started.
int doMcsInputFunc(int noKey, const uint8_t** reply);
// Accepts a pending call-back on the listening socket. The slot that got
// its MCS channel, or negative.
int msrStart(int listenSocket);

// A dialog of the slot closed with its answer in the message area: the
// reply goes out now. 0, or negative when nothing was sent.
int msrDialogDone(int slot);

// The periodic deadline check: every session waiting for input whose
// deadline has passed gets its reply. The frame calls msrTimer with its
// PM_TIMER messages; true when the timer was this one.
void msrCheckDeadlines();
bool msrTimer(PWnd wnd, uintptr_t id);

// Seconds of the clock deadlines are kept in: the wall clock at first use,
// advanced by the platform's tick clock.
int64_t msrNow();

// The forms engine as the handler calls it. The default table holds the
// entry points of mcs/mcsform.h; tests install recorders (null restores).
struct McsFormsCall;
struct McsFormsOps {
    int (*preProcess)(const McsFormsCall& call);
    int (*postProcess)(const McsFormsCall& call);
    int (*inputCheck)(int func, int noKey, uint8_t* areaC);
    int (*outputDone)();
    int (*dispHelp)(const uint8_t* text, int length, const uint8_t* title, int titleLength);
    void (*utsOut)(const uint8_t* bytes, int length);
};
void msrSetFormsOps(const McsFormsOps* ops);
