#pragma once
// The per-session MCS records: the areas a forms request is decoded into
// (McsAreas, one per session for its whole life), the cached screen
// formats, the decoded control record, and the forms-state fields that the
// format and request units share with the forms engine (McsFormsState, the
// part of McsTerminal they use).
#include "common/arc/packmsg.h"

#include <array>
#include <cstdint>
#include <memory>

constexpr int MCS_MSGAREA_SIZE = 9999;
constexpr int MCS_AREAB_SIZE = 1400;
constexpr int MCS_AREAC_SIZE = 700;
constexpr int MCS_AREAA_SIZE = 512;
constexpr int MCS_AREAD_SIZE = 1400;
constexpr int MCS_AREAD_COPY = 700;     // a request's trailing colour String holds at most this
constexpr int MCS_OVERFLOW_SIZE = 5000;
constexpr int MCS_FMTCACHE_ENTRIES = 3;
constexpr int MCS_FMTNAME_LEN = 8;
constexpr int MCS_CTLBLK_MIN = 128;
constexpr int MCS_CTLBLK_MAX = 156;
constexpr int MCS_SYSNAME_LEN = 8;
constexpr int MCS_WSKIND_LEN = 4;
constexpr int MCS_IDENT_LEN = 8;
constexpr int MCS_TERMID_LEN = 46;      // "UTS1.00t" and 38 "0"
constexpr int MCS_WORKDIR_LEN = 68;
constexpr int MCS_HELPNAME_LEN = 8;
constexpr int MCS_MAX_TERM_COLS = 166;
constexpr int MCS_FMTBUF_SIZE = 2829;   // the largest format reply (2828 bytes) and a terminating 0
constexpr int MCS_MASKBLOCK_SIZE = 512;

// Message area layout.
constexpr int MA_FMTNAME = 0;
constexpr int MA_OUTKIND = 12;
constexpr int MA_CAPACITY = 14;
constexpr int MA_STATUS = 16;
constexpr int MA_FILL = 17;
constexpr int MA_TEXTLEN = 18;
constexpr int MA_TEXT = 20;

// One cached screen format (entry 0 is the newest).
struct McsFmtCacheEntry {
    char name[MCS_FMTNAME_LEN];
    std::unique_ptr<uint8_t[]> data;    // copy of the format, 0-terminated
    int32_t length;
    int32_t rows, cols;
    int32_t areaASize;
    int32_t maData, maIcount, maOcount;
    int32_t dataFields;
};

// The decoded copy of the control block's record part (block offsets 73 to
// 111); the reply writes it back.
struct McsControl {
    int16_t outRow;             // first row of the next format output, 1-based; <= 0 window top
    int16_t outCol;
    int16_t scrRows;
    int16_t scrCols;
    int16_t value81;
    int16_t value83;
    uint8_t status;
    int16_t curRow;
    int16_t curCol;
    char fmtName[MCS_FMTNAME_LEN];  // first byte below "!": the default name is used
    uint8_t value98;
    char termName[MCS_FMTNAME_LEN];
    uint8_t value108;
    int16_t value110;
};

// The per-session MCS areas; text areas start blank-filled (mcsAreasNew).
struct McsAreas {
    int32_t overflowCap = 0;            // 0 until the MCS channel starts, then 5000
    int32_t trailingCount = 0;
    std::unique_ptr<uint8_t[]> overflow;
    std::array<uint8_t, MCS_MSGAREA_SIZE> msgArea;
    std::array<uint8_t, MCS_AREAB_SIZE> areaB;
    std::array<uint8_t, MCS_AREAC_SIZE> areaC;
    std::array<uint8_t, MCS_AREAA_SIZE> areaA;
    uint8_t statusChar = ' ';
    std::array<McsFmtCacheEntry, MCS_FMTCACHE_ENTRIES> fmtCache{};
    McsControl ctl{};
    ZENMSG msg{};
    std::array<uint8_t, MCS_AREAD_SIZE> areaD;
};

// The session's overflow area as the message operations take it; null
// before the MCS channel has given the session one.
inline ZenOverflow mcsOverflowOf(McsAreas& a) { return ZenOverflow{a.overflow.get(), a.overflowCap}; }

// Field record flags.
enum : uint32_t {
    MCSF_MODIFIED = 0x2,
    MCSF_NUMERIC = 0x4,
    MCSF_RIGHT = 0x8,
    MCSF_BLANKZERO = 0x10,
    MCSF_LEFTNUM = 0x80,
    MCSF_DECPT = 0xF000,        // number of decimal places, bits 12-15
};
constexpr int MCSF_DECPT_SHIFT = 12;

// One data field of the painted format (mcsFields entry; entry 0 unused).
struct McsField {
    uint32_t flags;
    uint8_t row;                // 0-based screen position of the first cell
    uint8_t col;
    uint8_t length;             // 0 marks an unused entry
    uint8_t digits;
    uint8_t zeroSup;
    const uint8_t* mask;        // interned edit mask (length byte, characters) or null
    char help[MCS_HELPNAME_LEN];
};

// The edit-mask store: a chain of blocks of entries (length byte, the mask
// characters, a terminating 0).
struct McsMaskBlock {
    std::unique_ptr<McsMaskBlock> next;
    int32_t used = 0;
    std::array<uint8_t, MCS_MASKBLOCK_SIZE> entries{};
};

// The forms-state fields of McsTerminal that the format, request and
// read-back units use; mcsinit sets them.
struct McsFormsState {
    uint8_t initialised = 0;
    int32_t termKind = 0;               // 6: this front end
    int16_t mcsRow = 0, mcsCol = 0;     // cursor, 0-based
    int16_t mcsNumRow = 0, mcsNumCol = 0;
    int16_t cells = 0;                  // usable rows x columns
    int16_t lastRow = 0;
    int16_t usableRows = 0;
    int16_t mcsTrow = 0, mcsTcol = 0, mcsBrow = 0, mcsBcol = 0;  // bottom and right exclusive
    std::unique_ptr<uint16_t[]> map;    // (mcsNumRow + 2) x mcsNumCol field-map words
    std::unique_ptr<McsField[]> mcsFields;  // always fieldCap + 1 entries or more
    int32_t fieldCap = 0;
    int32_t numFields = 0;
    std::unique_ptr<McsMaskBlock> masks;
    char curFmtName[MCS_FMTNAME_LEN] = {};  // format the field table was prepared for
    char defFmtName[MCS_FMTNAME_LEN] = {};  // control block 0..7
    char sysName[MCS_SYSNAME_LEN] = {};
    char wsKind[MCS_WSKIND_LEN] = {};
    char identText[MCS_IDENT_LEN] = {};
    char termId[MCS_TERMID_LEN] = {};
    char workDir[MCS_WORKDIR_LEN] = {};
    int32_t waitTime = 0;               // seconds
    uint32_t termOptions = 0;
    int16_t fieldIndex = 0;
    int32_t keyChar = 0;                // key code
    int32_t keyChar2 = 0;
    int32_t sKey = 0;                   // pending key or result code for the next input request
    uint8_t sXmit = 0;                  // transmit mode
    uint8_t rollChar = 0;
    uint8_t stk = 0;                    // overlay depth
    uint8_t dataAlign = 0;
    uint8_t modeByte = 0;               // control block 50, also set by dFutsout
    uint8_t value51 = 0;
    uint8_t msgDone = 0;
    uint8_t fieldRoutine = 0;           // field-output routine selector
    uint8_t signStyle = 0;
    uint8_t decimalChar = 0;
    uint8_t currencyChar = 0;
    uint8_t condLevel = 0;
    uint8_t fillChar = ' ';
    uint8_t xferActive = 0;
    uint8_t utsInOption = 0;            // handed to the UTS input side
    int32_t ctlLen = MCS_CTLBLK_MIN;    // control block length sent back
    // One-shot replacements of control block values 81 and 83 for the next reply.
    uint8_t override81Set = 0, override83Set = 0;
    int16_t override81 = 0, override83 = 0;
    char sysHelpName[MCS_HELPNAME_LEN] = {};
    char scrHelpName[MCS_HELPNAME_LEN] = {};
    uint8_t sysHelpKey = 0, scrHelpKey = 0, fldHelpKey = 0;
    int16_t hlRow = 0, hlCol = 0, hlLen = 0;    // highlighted field
    std::array<uint8_t, MCS_FMTBUF_SIZE> fmtBuf{};  // the current format
};
