#pragma once
// Screen formats: fetched from the host with dFfmtReq, the three most recent
// kept per session, their header and help table read here, the field table
// prepared for the format interpreter, and the save and restore of screen
// rectangles under windows laid over the forms screen.
//
// Format layout (16-bit values big-endian, item words least significant
// byte first): a 48-byte header, the item stream from offset 48, then an
// optional help table starting with "J". A data item with bit 15 set is a
// protected field, as bit 15 protects a display item.
#include "mcs/mcsareas.h"

#include <cstdint>
#include <memory>
#include <span>

struct KORVEX;
struct CuSaveBlock;

constexpr int DF_FMTREQ = 200;
constexpr int MCS_FMTREQ_LEN = 17;
constexpr int MCS_FMTREPLY_MAX = 2828;
constexpr int MCS_FMT_HDRSIZE = 48;
constexpr int MCS_FMT_UNDEF_LEN = 137;
constexpr int MCS_FIELDS_INITIAL = 300;
constexpr int MCS_FIELDS_SLACK = 20;
constexpr int MCS_FIELDS_GROW = 16;
constexpr int MCS_OCOUNT_TOTAL = 16;    // reply parameter 1: ma-ocount is the total data size
constexpr int MCS_TERMKIND_FRONTEND = 6;
constexpr int32_t MCS_KEY_TRANSMIT = 0xC600;

// Header offsets.
constexpr int FH_DATASIZE = 0;
constexpr int FH_SLICE = 2;
constexpr int FH_OUTSIZE = 4;
constexpr int FH_INSIZE = 6;
constexpr int FH_ROWS = 8;
constexpr int FH_COLS = 9;
constexpr int FH_FIELDS = 10;
constexpr int FH_LIBRARY = 12;
constexpr int FH_NAME = 20;
constexpr int FH_OPTIONS = 28;          // bytes 28..31 as one word, least significant first
constexpr int FH_FIRSTROW = 31;
constexpr int FH_CURROW = 32;
constexpr int FH_CURCOL = 33;
constexpr int FH_MADATA = 34;
constexpr int FH_AREAA = 36;
constexpr int FH_STREAMLEN = 38;
constexpr int FH_STAMP = 40;            // format time stamp, two words least significant first

// Option bits (header word at 28).
enum : uint32_t {
    FMTOPT_NUMEDIT = 0x8,
    FMTOPT_READTOEND = 0x100,
    FMTOPT_COMPACT = 0x2000,
    FMTOPT_BLANKZERO20 = 0x8000,
};

// Help table.
constexpr uint8_t FMT_HELP_TAG = 'J';
constexpr int FHT_SYSKEY = 2;
constexpr int FHT_SCRKEY = 3;
constexpr int FHT_FLDKEY = 4;
constexpr int FHT_SYSNAME = 8;
constexpr int FHT_SCRNAME = 16;
constexpr int FHT_COUNT = 38;
constexpr int FHT_ENTRIES = 40;
constexpr int FHT_ENTRYSIZE = 11;

// The name as the host's library spells it: upper case, blank padded to 8.
// name is read up to 8 bytes or a 0 byte.
void mcsFmtName(const char* name, char out[MCS_FMTNAME_LEN]);

// The 17-byte request String: kind ("F" format, "H" help), library (8,
// blank padded), the name upper-cased and blank padded.
void mcsFmtRequestString(char kind, const char* library, const char* name, uint8_t out[MCS_FMTREQ_LEN]);

// One dFfmtReq exchange on the MCS descriptor: the request is written as one
// frame and the reply frame read at once into reply. The reply's size
// (checked ZENBUF), or negative: no connection, a failed write or read.
int mcsFmtExchange(KORVEX* mcs, const uint8_t request[MCS_FMTREQ_LEN], std::span<uint8_t> reply);

// Reads the format a reply carries: *format and *length get its bytes (in
// the reply) and *ocountTotal whether parameter 1 was 16. The length, 0 or
// less when there is no such format (a malformed reply counts as none).
int mcsFmtReplyFormat(std::span<const uint8_t> reply, const uint8_t** format, int* length, bool* ocountTotal);

// When header bytes 0..11 are not filled in (rows 0 or data size <= 0),
// walks the item stream and writes rows, columns, field count, data, output
// and input sizes into the header. fmt is the whole format.
void mcsFmtScan(std::span<uint8_t> fmt);
// The number of data fields the stream holds, as a walk of the items counts
// them (repeats included).
int mcsFmtStreamFields(std::span<const uint8_t> fmt);

// The format information kept in a cache entry (all but name, data, length).
void mcsFmtInfo(std::span<const uint8_t> fmt, bool ocountTotal, McsFmtCacheEntry* info);

// The built-in formats; the fallback carries the name given (upper-cased).
std::span<const uint8_t> mcsFmtControlPage();
// Writes the fallback into buf (with a terminating 0); its length.
int mcsFmtUndef(const char* name, std::span<uint8_t> buf);

// Puts the named format into buf with a terminating 0: from the cache when
// useCache is set and it holds the name, else from the host (new entry 0,
// the oldest dropped). 0 from the cache, 1 otherwise; the fallback format
// (1) when there is no connection, an exchange fails or the host has no such
// format. A format too large for buf counts as missing.
int mcsReadRmtFmt(McsAreas& areas, KORVEX* mcs, std::span<uint8_t> buf, const char* name, bool useCache);

// Cache entry i (0..2), or null.
McsFmtCacheEntry* mcsFmtCacheEntry(McsAreas& areas, int i);
// The cached entry holding the name (8 bytes, as stored), or null.
McsFmtCacheEntry* mcsFmtCacheFind(McsAreas& areas, const char* name);
// dFfree: frees the cached formats whose name starts with a printable
// character and resets the current format names to blanks.
void mcsFmtFree(McsAreas& areas, McsFormsState& fs);

// The forms state's initial values, once per context (later calls do
// nothing). rows and cols are the terminal size handed over by msrStart.
// 0, or negative when the field table or map could not be allocated (the
// state is usable; the capacity is then 0).
int mcsinit(McsFormsState& fs, int rows, int cols);

// Prepares the field table and help header for a format, or with an empty
// fmt forgets the current screen format. 0, or negative when the table could
// not be allocated (capacity 0).
int mcsPrepFields(McsFormsState& fs, std::span<const uint8_t> fmt);
// Makes room for field number fieldNo while a format is painted: when
// fieldNo + 1 reaches the capacity it grows by 16 (logged). 0, or negative
// when memory is short (the table stays as it was).
int mcsFieldsEnsure(McsFormsState& fs, int fieldNo);
// The help name for a field whose first cell is (row, col) in the format's
// own coordinates, copied into out (8 bytes, zeros without an entry).
void mcsFmtFieldHelp(std::span<const uint8_t> fmt, int row, int col, char out[MCS_HELPNAME_LEN]);
// Empties the edit-mask store.
void mcsFreeMasks(McsFormsState& fs);

// A saved rectangle of the forms screen and the forms state laid under it.
struct McsScreenSave;
struct McsScreenSaveDelete {
    void operator()(McsScreenSave* s) const;
};
using McsSaveRef = std::unique_ptr<McsScreenSave, McsScreenSaveDelete>;

// Saves the rectangle (inclusive, 0-based) of the current screen. 0, or
// negative with *holder empty (the cells are left as they were).
int mcsSaveScreen(McsFormsState& fs, McsSaveRef* holder, int top, int left, int bottom, int right);
// Puts a save back and empties the holder; nothing with an empty holder.
void mcsRestoreScreen(McsFormsState& fs, McsSaveRef* holder);
