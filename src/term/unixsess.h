#pragma once
// What the interpreter needs of its session and of the rest of the program,
// in one place: the session record's fields, the HostIO channel, the
// listening port, the status line and the display character map.
#include "core/child.h"
#include "term/unix.h"

#include <cstdint>

constexpr uint16_t UNIX_FLAG_ACTIVITY = CHF_ACTIVITY;
static_assert(UNIX_FLAG_TRANSPRINT == CHF_TRANSPRINT);
static_assert(UNIX_FLAG_LOCALECHO == CHF_LOCALECHO);
static_assert(UNIX_FLAG_SKIPECHO == CHF_SKIPECHO);

inline ChSession* uxCurrent() { return chSessPtr; }
inline UnixState& uxState(ChSession* s) { return s->unix; }
inline uint16_t& uxFlags(ChSession* s) { return s->flags; }
inline int32_t& uxTprint(ChSession* s) { return s->transPrint; }
inline int uxSlot(ChSession* s) { return s->slot; }

// Writes to the session's HostIO channel: >= 0, or negative on failure.
int uxHostWrite(ChSession* s, const uint8_t* bytes, int length);
// The workstation's address (4 bytes, network order); zeros when unknown.
void uxLocalAddr(ChSession* s, uint8_t* out);
// The MCS listening port, 0..65535.
unsigned uxListenPort();
void uxStatusUpdate(int slot);
int uxUnixToWin(int code);
// Posts IDM_FILECLOSE to the frame (a key or echo write failed).
void uxPostFileClose();
