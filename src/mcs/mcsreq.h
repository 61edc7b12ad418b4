#pragma once
// Forms requests: a received ZENBUF decoded into the session's MCS areas and
// forms state, the control block read and written back, and the standard
// reply (msrSendData) built from the same areas.
//
// Control block (128..156 bytes, integers big-endian): names and options of
// the forms state at 0..57, the control record at 73..111, and in replies
// the current format's stamp words (112), the control record's first values
// (120) and the format's time stamp as text (128..139).
#include "mcs/mcsareas.h"

#include <cstdint>
#include <span>

struct KORVEX;

constexpr uint32_t MCS_OPT_SHORTREPLY = 0x1000000;
constexpr int MCS_KEY95_EXTENDED = 93;
constexpr int MCS_PAGEOUT_FUNC = 211;
constexpr int MCS_DEVNAME_LEN = 9;
constexpr int MCS_LIST_WAIT = 3600;

// Control block offsets.
constexpr int CB_DEFFMT = 0;
constexpr int CB_SYSNAME = 8;
constexpr int CB_WSKIND = 16;
constexpr int CB_IDENT = 20;
constexpr int CB_WAIT = 28;
constexpr int CB_OPTIONS = 32;
constexpr int CB_FIELDIDX = 36;
constexpr int CB_KEY = 39;
constexpr int CB_KEY2 = 45;
constexpr int CB_XMIT = 46;
constexpr int CB_ROLL = 47;
constexpr int CB_STK = 48;
constexpr int CB_ALIGN = 49;
constexpr int CB_MODE = 50;
constexpr int CB_VALUE51 = 51;
constexpr int CB_MSGDONE = 52;
constexpr int CB_ROUTINE = 53;
constexpr int CB_SIGN = 54;
constexpr int CB_DECIMAL = 55;
constexpr int CB_CURRENCY = 56;
constexpr int CB_CONDLEVEL = 57;
constexpr int CB_OUTROW = 73;
constexpr int CB_OUTCOL = 75;
constexpr int CB_SCRROWS = 77;
constexpr int CB_SCRCOLS = 79;
constexpr int CB_VALUE81 = 81;
constexpr int CB_VALUE83 = 83;
constexpr int CB_STATUS = 85;
constexpr int CB_CURROW = 86;
constexpr int CB_CURCOL = 88;
constexpr int CB_FMTNAME = 90;
constexpr int CB_VALUE98 = 98;
constexpr int CB_TERMNAME = 99;
constexpr int CB_VALUE108 = 108;
constexpr int CB_VALUE110 = 110;
constexpr int CB_FMTWORDS = 112;
constexpr int CB_CTLWORDS = 120;
constexpr int CB_DATE = 128;
constexpr int CB_TIME = 134;

// The key code a 95-code byte stands for (0 for a byte past the table).
int32_t mcsKey95Decode(uint8_t b);
// The 95-code byte of a key code; "_" when it has none.
uint8_t mcsKey95Encode(int32_t key);

// Decodes a control block of len bytes (cut to 156) into the forms state and
// the control record.
void mcsDecodeCtl(McsAreas& areas, McsFormsState& fs, const uint8_t* block, int len);
// Encodes the control block for a reply into out (at least 156 bytes);
// returns its length (the forms state's, at least 128). The time stamp comes
// from the cached format named by the control record (or the default name).
int mcsEncodeCtl(McsAreas& areas, McsFormsState& fs, uint8_t* out);

// Decodes a forms request into the areas and forms state; missing or
// mistyped parameters are insist failures that leave the area as it was.
// 0, or PACK_EFATAL when the message could not be unpacked (the request
// cannot be completed).
int mcsDecodeRequest(McsAreas& areas, McsFormsState& fs, std::span<const uint8_t> request);

// The standard reply to function func, built in reply (the shared 16632-byte
// buffer); the format of the message area is read through mcs when the reply
// needs its sizes. The reply's size, or negative when it does not fit.
int msrSendData(McsAreas& areas, McsFormsState& fs, KORVEX* mcs, int func, std::span<uint8_t> reply);

// Page output (function 211): the device name (9 bytes) and the page image,
// written on the MCS descriptor. The write's result; negative when it
// failed (the caller ends the MCS channel).
int msrPageOut(KORVEX* mcs, const char* device, const uint8_t* page, int len);
