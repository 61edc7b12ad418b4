#pragma once
// MCS server: the entry points the session table calls, the per-session MCS
// areas and the forms state as far as the session table needs them.
//
// The request handler itself (decoding, the forms engine, replies) comes
// with the MCS units; until then its entry points trace a "#" line and
// return a failure code, so nothing reports as served that was not.

#include "mcs/mcsareas.h"
#include "plat/plat.h"

#include <array>
#include <cstdint>
#include <memory>

constexpr int MCS_TITLE_SIZE = 166;

// ZENBUF header: 24 bytes, the function code big-endian at 16..17.
constexpr int ZENBUF_HEADER_SIZE = 24;
constexpr int ZENBUF_FUNC_OFFSET = 16;

// Function codes the session table itself deals with.
enum : int32_t {
    dFidle = 18,
    dFmcsEnd = 203,
    dFbgnPsuedo = 205,
    dFendPsuedo = 206,
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

// The forms state of a session's MCS channel: the fields the format and
// request units share (McsFormsState: sKey, sXmit and the rest), then those
// the session table uses.
struct McsTerminal : McsFormsState {
    const McsTermOps* ops;
    uint8_t lockedForInput;     // keys are not taken while the host works
    uint8_t xmitRequested;      // the user asked to transmit while locked
    uint8_t hostXmit;           // a host-requested transmit is being performed
    uint16_t sessOptions;       // session flags 0x0010 and 0x0008, copied at selection
    uint8_t titleSaved;
    char savedTitle[MCS_TITLE_SIZE + 1];
};

// A forms state with do-nothing terminal operations (dispose frees it).
McsTerminal* mcsTermNew();
// Runs the two shutdown operations (end use, dispose) and clears *term.
void mcsTermShutdown(McsTerminal** term);
// Puts a saved window title back on the window and forgets it.
void mcsRestoreTitle(McsTerminal* term, PWnd wnd);
// Closes a list dialog or pop-up of the slot and removes the host's
// application menu from the frame. 0, or negative when not possible.
int mcsCloseDialogs(int slot);

// The terminal size the MCS layer works with (rows, columns up to 166),
// published by the session selection.
void mcsSetTermSize(int rows, int cols);
int mcsTermRows();
int mcsTermCols();

// Serves one received message of the slot's MCS channel (it may write a
// reply through the MCS descriptor). 0 or positive when served, negative
// when not.
int msrDoMcsRequest(int slot, uint8_t* buf, int len);
// Completes a function that waits for the operator: returns the reply length
// with *reply set, 0 when still waiting, negative on failure. noKey is set
// for a run that no key started.
int doMcsInputFunc(int noKey, const uint8_t** reply);
// Accepts a pending call-back on the listening socket. 0 or positive when a
// session got its MCS channel, negative otherwise.
int msrStart(int listenSocket);
