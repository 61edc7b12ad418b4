// Screen formats: the dFfmtReq exchange, the per-session cache, the built-in
// formats, the field table and the saved screen rectangles.
#include "mcs/mcsfmt.h"

#include "common/arc/packbuf.h"
#include "common/log.h"
#include "core/cuscr.h"
#include "net/korvex.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr char kLibrary[] = "ZEN$Y$";
constexpr int kWalkBudget = 1 << 16;    // items walked by one scan, repeats included
constexpr int kWalkDepth = 8;           // nested repeat groups followed by a scan
constexpr int kLenMax = 0x7FFF;         // a field's length with its continuations, and every sum

int get16u(const uint8_t* p) { return (p[0] << 8) | p[1]; }
void put16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void padName(char* dst, int size, const uint8_t* src, int avail) {
    int n = 0;
    for (; n < size && n < avail && src[n] != 0; ++n) dst[n] = static_cast<char>(src[n]);
    for (; n < size; ++n) dst[n] = ' ';
}

// --- Item stream --------------------------------------------------------

enum class Form { Blank, Fill, Display, Data };

struct Item {
    Form form;
    uint32_t word;
    int len;        // positions (data fields: with the continuation lengths)
    int kind;
    int size;       // bytes in the stream
};

constexpr uint32_t IT_DISPLAY = 0x1000;
constexpr uint32_t IT_PROTECT = 0x8000;
constexpr uint32_t IT_NODATA = 0x200000;
constexpr uint32_t IT_INITIAL = 0x400000;
constexpr int DK_SWITCH = 0, DK_LITERAL = 3, DK_ENDROW = 4, DK_REPEAT = 5, DK_COND = 14, DK_SWLIST = 15;
constexpr int DATA_CONTINUE = 3, DATA_MASKED = 12;

// The item at pos, false when it is cut off by the end of the stream.
bool readItem(const uint8_t* s, int pos, int end, int extra, Item* it) {
    const uint8_t b0 = s[pos];
    if ((b0 & 0xC0) == 0xC0) {
        *it = {Form::Blank, b0, b0 & 0x3F, 0, 1};
        return true;
    }
    if ((b0 & 0xC0) == 0x80) {
        *it = {Form::Fill, b0, b0 & 0x3F, 0, 4};
        return pos + 4 <= end;
    }
    if (pos + 3 > end) return false;
    uint32_t w = b0 | (s[pos + 1] << 8) | (s[pos + 2] << 16);
    if (pos + 3 < end) w |= static_cast<uint32_t>(s[pos + 3]) << 24;
    it->word = w;
    it->kind = (w >> 8) & 0xF;
    it->len = b0 & 0x7F;
    if (w & IT_DISPLAY) {
        it->form = Form::Display;
        switch (it->kind) {
        case DK_LITERAL: it->size = 3 + it->len; break;
        case DK_SWITCH: it->size = it->len ? 4 : 3; break;
        case DK_SWLIST: it->size = ((w >> 16) & 0xF) == 3 ? 5 : (it->len ? 3 + it->len : 19); break;
        default: it->size = 3; break;
        }
    } else {
        it->form = Form::Data;
        if (it->kind != DATA_CONTINUE) it->len += extra;
        const int value = (w & IT_INITIAL) ? it->len : 0;
        it->size = it->kind == DATA_MASKED ? 5 + it->len + value : 3 + (it->kind == DATA_CONTINUE ? 0 : value);
    }
    return pos + it->size <= end;
}

struct Walk {
    const uint8_t* s;
    int end;
    int budget = kWalkBudget;
    int rows = 0, cols = 0, col = 0;
    int fields = 0, dataSize = 0, noData = 0, prot = 0;
    int extra = 0;  // continuation length for the next data field
};

// Sums of host-given lengths stay far from overflow however often a
// repeat walks them.
void addCapped(int& sum, int v) { sum = std::min(sum + std::min(v, kLenMax), kLenMax * 16); }

bool displayWidth(int kind) {
    return kind != DK_SWITCH && kind != DK_ENDROW && kind != DK_REPEAT && kind != DK_COND && kind != DK_SWLIST;
}

void endRow(Walk& w) {
    ++w.rows;
    w.cols = std::max(w.cols, w.col);
    w.col = 0;
}

// Walks [from, to); a repeat group or row is walked again as the items say.
// inRepeat: the end-of-row item of a repeated row does not repeat again.
void walkRange(Walk& w, int from, int to, int depth, bool inRepeat) {
    int rowStart = from;
    for (int pos = from; pos < to && w.budget > 0; --w.budget) {
        Item it;
        if (!readItem(w.s, pos, w.end, w.extra, &it)) {
            w.budget = 0;
            return;
        }
        switch (it.form) {
        case Form::Blank:
        case Form::Fill: addCapped(w.col, it.len); break;
        case Form::Display:
            if (it.kind == DK_ENDROW) {
                endRow(w);
                const int times = static_cast<int>(it.word & 0xFF);
                if (!inRepeat && depth < kWalkDepth)
                    for (int k = 0; k < times && w.budget > 0; ++k) walkRange(w, rowStart, pos + it.size, depth + 1, true);
                rowStart = pos + it.size;
            } else if (it.kind == DK_REPEAT) {
                const int times = static_cast<int>(it.word & 0xFF);
                const int back = static_cast<int>((it.word >> 16) & 0xFF);
                const int start = pos - back;
                // Inside a repeated row a jump before the row's first item is not taken.
                const bool taken = back > 0 && start >= (inRepeat ? from : MCS_FMT_HDRSIZE);
                if (depth < kWalkDepth && taken)
                    for (int k = 0; k < times && w.budget > 0; ++k) walkRange(w, start, pos, depth + 1, true);
            } else if (displayWidth(it.kind)) {
                addCapped(w.col, it.len);
            }
            break;
        case Form::Data:
            if (it.kind == DATA_CONTINUE) {
                w.extra = std::min(w.extra + it.len, kLenMax);
                break;
            }
            w.extra = 0;
            addCapped(w.col, it.len);
            ++w.fields;
            addCapped(w.dataSize, (it.len + 3) & ~3);
            if (it.word & IT_NODATA) addCapped(w.noData, it.len);
            if (it.word & IT_PROTECT) addCapped(w.prot, it.len);
            break;
        }
        pos += it.size;
    }
}

Walk walkFormat(std::span<const uint8_t> fmt) {
    Walk w;
    w.s = fmt.data();
    w.end = 0;
    if (fmt.size() < static_cast<size_t>(MCS_FMT_HDRSIZE)) return w;
    const int len = get16u(fmt.data() + FH_STREAMLEN);
    w.end = std::min(static_cast<int>(fmt.size()), MCS_FMT_HDRSIZE + len);
    walkRange(w, MCS_FMT_HDRSIZE, w.end, 0, false);
    w.cols = std::max(w.cols, w.col);
    return w;
}

// --- Built-in formats ---------------------------------------------------

enum class Op : uint8_t { Text, Field, ProtField, NumField, Blanks, EndRow, Repeat, AreaA, Display };

struct BItem {
    Op op;
    const char* text;
    uint8_t kind;
    uint8_t len;
};

constexpr BItem T(const char* t) { return {Op::Text, t, DK_LITERAL, 0}; }
constexpr BItem F(int kind, int len) { return {Op::Field, nullptr, uint8_t(kind), uint8_t(len)}; }
constexpr BItem P(int kind, int len) { return {Op::ProtField, nullptr, uint8_t(kind), uint8_t(len)}; }
constexpr BItem N(int kind, int len) { return {Op::NumField, nullptr, uint8_t(kind), uint8_t(len)}; }
constexpr BItem B(int n) { return {Op::Blanks, nullptr, 0, uint8_t(n)}; }
constexpr BItem E(int again = 0) { return {Op::EndRow, nullptr, 0, uint8_t(again)}; }
// Repeats the 1/2 field and its "/" once more: 3 bytes of field, 4 of "/".
constexpr BItem R() { return {Op::Repeat, nullptr, 1, 7}; }
constexpr BItem A(int len) { return {Op::AreaA, nullptr, 2, uint8_t(len)}; }
constexpr BItem D(int kind, int len) { return {Op::Display, nullptr, uint8_t(kind), uint8_t(len)}; }

// Three 1/2 fields separated by "/".
#define KVX_SLASH3 F(1, 2), T("/"), R(), F(1, 2)

constexpr BItem kControlPage[] = {
    T("(**PRINT*)STA-"), P(1, 6), T("(**XFER**)PRNT("), F(1, 4), T(")XFER("), F(1, 4), T(")XMIT("), F(1, 4),
    T(")MM"), F(1, 2), T("(PARAM)"), E(),
    T("("), KVX_SLASH3, T(")ADR-"), P(1, 6), T("("), KVX_SLASH3, T(")SEARCH("), F(1, 23), T(")   ("), F(1, 2),
    T("/"), F(1, 2), T(")"), E(),
    E(),
    T("CMD..("), F(1, 1), T(") ("), F(1, 1), T(":"), F(2, 8), T("."), F(2, 3), T(")  Options    Sep   Terminal index ("),
    N(10, 1), T(")"), E(),
    T("XMT..("), F(1, 1), T(") ("), F(1, 1), T(":"), F(2, 8), T("."), F(2, 3), T(") ("), F(2, 8), T(") ("), F(2, 2),
    T(")H  Prompt ("), F(2, 2), T(")H  Blocksize("), N(10, 4), T(")"), E(),
    T("RCV..("), F(1, 1), T(") ("), F(1, 1), T(":"), F(2, 8), T("."), F(2, 3), T(") ("), F(2, 8), T(") ("), F(2, 2),
    T(")H   EOF("), F(2, 16), T(")"), E(),
    E(),
    B(6), T("Current Directory"), E(),
    B(5), T("("), F(2, 64), T(")"), E(),
    E(),
    B(11), T("File transfer"), B(1), P(2, 30), E(),
    E(),
    B(16), T("Zendra UTS terminal emulator Control Page"), E(),
    E(10),
};
#undef KVX_SLASH3

constexpr BItem kUndef[] = {
    E(),
    B(8), T("<<<< UNDEFINED SCREEN FORMAT REQUESTED >>>>"), E(),
    A(30), E(),
    D(12, 8), B(1), T("requested"), B(1), D(11, 8), E(),
};

struct BuiltIn {
    std::array<uint8_t, MCS_FMTBUF_SIZE> bytes{};
    int length = 0;
};

int encodeItems(std::span<const BItem> items, uint8_t* out, int room) {
    int n = 0;
    auto put = [&](uint8_t b) {
        if (n < room) out[n] = b;
        ++n;
    };
    for (const BItem& it : items) {
        switch (it.op) {
        case Op::Text: {
            const int len = static_cast<int>(std::strlen(it.text));
            put(static_cast<uint8_t>(len));
            put(0x10 | DK_LITERAL | 0x80);
            put(0);
            for (int i = 0; i < len; ++i) put(static_cast<uint8_t>(it.text[i]));
            break;
        }
        case Op::Field:
        case Op::ProtField:
        case Op::NumField:
            put(it.len);
            put(static_cast<uint8_t>(it.kind | (it.op == Op::ProtField ? 0x80 : 0) | (it.op == Op::NumField ? 0x08 : 0)));
            put(0);
            break;
        case Op::Blanks: put(static_cast<uint8_t>(0xC0 | it.len)); break;
        case Op::EndRow:
            put(it.len);
            put(0x10 | DK_ENDROW);
            put(0);
            break;
        case Op::Repeat:
            put(it.kind);
            put(0x10 | DK_REPEAT);
            put(it.len);
            break;
        case Op::AreaA:
        case Op::Display:
            put(it.len);
            put(static_cast<uint8_t>(0x10 | it.kind | 0x80));
            put(0);
            break;
        }
    }
    return n;
}

struct Header {
    int dataSize, outSize, inSize, rows, cols, fields;
    const char* name;
    uint8_t options[3];
    int firstRow, curRow, curCol, maData, areaA;
};

// Builds a format; the stream is padded with empty blank runs to padTo.
void buildFormat(BuiltIn& f, const Header& h, std::span<const BItem> items, int padTo) {
    uint8_t* p = f.bytes.data();
    const int room = MCS_FMTBUF_SIZE - MCS_FMT_HDRSIZE - 1;
    int len = encodeItems(items, p + MCS_FMT_HDRSIZE, room);
    while (len < padTo && len < room) p[MCS_FMT_HDRSIZE + len++] = 0xC0;
    put16(p + FH_DATASIZE, h.dataSize);
    put16(p + FH_OUTSIZE, h.outSize);
    put16(p + FH_INSIZE, h.inSize);
    p[FH_ROWS] = static_cast<uint8_t>(h.rows);
    p[FH_COLS] = static_cast<uint8_t>(h.cols);
    put16(p + FH_FIELDS, h.fields);
    padName(reinterpret_cast<char*>(p + FH_LIBRARY), 8, reinterpret_cast<const uint8_t*>(kLibrary), 8);
    padName(reinterpret_cast<char*>(p + FH_NAME), 8, reinterpret_cast<const uint8_t*>(h.name), 8);
    std::memcpy(p + FH_OPTIONS, h.options, 3);
    p[FH_FIRSTROW] = static_cast<uint8_t>(h.firstRow);
    p[FH_CURROW] = static_cast<uint8_t>(h.curRow);
    p[FH_CURCOL] = static_cast<uint8_t>(h.curCol);
    put16(p + FH_MADATA, h.maData);
    put16(p + FH_AREAA, h.areaA);
    put16(p + FH_STREAMLEN, len);
    f.length = MCS_FMT_HDRSIZE + len;
}

const BuiltIn& controlPage() {
    static const BuiltIn f = [] {
        BuiltIn b;
        buildFormat(b, Header{296, 241, 199, 24, 73, 37, "KX$CPAGE", {0x05, 0x00, 0x3A}, 1, 1, 36, 241, 0},
                    kControlPage, 602);
        return b;
    }();
    return f;
}

const BuiltIn& undefFormat() {
    static const BuiltIn f = [] {
        BuiltIn b;
        buildFormat(b, Header{0, 0, 0, 4, 51, 0, "UNDEF", {0, 0, 0}, 1, 1, 1, 0, 30}, kUndef,
                    MCS_FMT_UNDEF_LEN - MCS_FMT_HDRSIZE);
        return b;
    }();
    return f;
}

void zeroFields(McsFormsState& fs, int count) {
    if (!fs.mcsFields) return;
    for (int i = 0; i < count; ++i) fs.mcsFields[i] = McsField{};
}

} // namespace

// --- Names and the exchange ---------------------------------------------

void mcsFmtName(const char* name, char out[MCS_FMTNAME_LEN]) {
    int n = 0;
    for (; name && n < MCS_FMTNAME_LEN && name[n] != 0; ++n) {
        const unsigned char c = static_cast<unsigned char>(name[n]);
        out[n] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    for (; n < MCS_FMTNAME_LEN; ++n) out[n] = ' ';
}

void mcsFmtRequestString(char kind, const char* library, const char* name, uint8_t out[MCS_FMTREQ_LEN]) {
    out[0] = static_cast<uint8_t>(kind);
    padName(reinterpret_cast<char*>(out + 1), 8, reinterpret_cast<const uint8_t*>(library ? library : ""), 8);
    mcsFmtName(name, reinterpret_cast<char*>(out + 9));
}

int mcsFmtExchange(KORVEX* mcs, const uint8_t request[MCS_FMTREQ_LEN], std::span<uint8_t> reply) {
    if (!mcs || reply.size() < static_cast<size_t>(ZENBUF_HDRSIZE)) return -1;
    std::array<uint8_t, ZENBUF_HDRSIZE + ZENBUF_PRMHEAD + MCS_FMTREQ_LEN> out{};
    bufInit(out, 0, 0, 0, 0, DF_FMTREQ, 0);
    bufAddString(out, request, MCS_FMTREQ_LEN);
    if (korvexWrite(mcs, out.data(), getBufSize(out)) < 0) return -1;
    // The read replaces the buffer with the message and gives the frame's
    // body length, so the message's own size is found by walking it.
    std::fill(reply.begin(), reply.end(), 0);
    if (korvexRead(mcs, reply.data(), static_cast<int>(reply.size())) < 0) return -1;
    return getBufSize(reply);
}

int mcsFmtReplyFormat(std::span<const uint8_t> reply, const uint8_t** format, int* length, bool* ocountTotal) {
    *format = nullptr;
    *length = 0;
    *ocountTotal = false;
    const int first = bufGetShort(reply, 1);
    const int n = bufGetShort(reply, 2);
    if (n <= 0) return n;
    const uint8_t* data = bufGetString(reply, 3);
    const int have = bufParamLen(reply, 3);
    if (!data || have <= 0) return 0;
    const int len = std::min(n, have);
    if (len < MCS_FMT_HDRSIZE) {
        logPrintf("#mcsReadRmtFmt: format of %d bytes has no header\n", len);
        return 0;
    }
    *format = data;
    *length = len;
    *ocountTotal = first == MCS_OCOUNT_TOTAL;
    return len;
}

// --- Header and information -----------------------------------------------

void mcsFmtScan(std::span<uint8_t> fmt) {
    if (fmt.size() < static_cast<size_t>(MCS_FMT_HDRSIZE)) return;
    uint8_t* p = fmt.data();
    if (p[FH_ROWS] != 0 && zenGet16(p + FH_DATASIZE) > 0) return;
    const Walk w = walkFormat(fmt);
    const int maData = get16u(p + FH_MADATA);
    p[FH_ROWS] = static_cast<uint8_t>(std::min(w.rows, 255));
    p[FH_COLS] = static_cast<uint8_t>(std::min(w.cols, 255));
    put16(p + FH_FIELDS, std::min(w.fields, 0xFFFF));
    put16(p + FH_DATASIZE, std::min(w.dataSize, 0x7FFF));
    put16(p + FH_OUTSIZE, std::max(maData - w.noData, 0));
    put16(p + FH_INSIZE, std::max(maData - w.prot, 0));
}

int mcsFmtStreamFields(std::span<const uint8_t> fmt) { return walkFormat(fmt).fields; }

void mcsFmtInfo(std::span<const uint8_t> fmt, bool ocountTotal, McsFmtCacheEntry* info) {
    info->rows = info->cols = info->areaASize = info->maData = info->maIcount = info->maOcount = info->dataFields = 0;
    if (fmt.size() < static_cast<size_t>(MCS_FMT_HDRSIZE)) return;
    const uint8_t* p = fmt.data();
    info->rows = p[FH_ROWS];
    info->cols = p[FH_COLS];
    info->areaASize = get16u(p + FH_AREAA);
    info->maData = get16u(p + FH_MADATA) + p[FH_SLICE];
    info->maIcount = get16u(p + FH_INSIZE);
    info->maOcount = ocountTotal ? get16u(p + FH_DATASIZE) : get16u(p + FH_OUTSIZE) + p[FH_SLICE];
    info->dataFields = get16u(p + FH_FIELDS);
}

std::span<const uint8_t> mcsFmtControlPage() {
    const BuiltIn& f = controlPage();
    return {f.bytes.data(), static_cast<size_t>(f.length)};
}

int mcsFmtUndef(const char* name, std::span<uint8_t> buf) {
    const BuiltIn& f = undefFormat();
    if (buf.size() < static_cast<size_t>(f.length) + 1) {
        if (!buf.empty()) buf[0] = 0;
        return 0;
    }
    std::memcpy(buf.data(), f.bytes.data(), static_cast<size_t>(f.length));
    mcsFmtName(name, reinterpret_cast<char*>(buf.data() + FH_NAME));
    buf[f.length] = 0;
    return f.length;
}

// --- Cache ------------------------------------------------------------------

McsFmtCacheEntry* mcsFmtCacheEntry(McsAreas& areas, int i) {
    if (i < 0 || i >= MCS_FMTCACHE_ENTRIES) return nullptr;
    return &areas.fmtCache[static_cast<size_t>(i)];
}

McsFmtCacheEntry* mcsFmtCacheFind(McsAreas& areas, const char* name) {
    for (McsFmtCacheEntry& e : areas.fmtCache)
        if (e.data && std::memcmp(e.name, name, MCS_FMTNAME_LEN) == 0) return &e;
    return nullptr;
}

int mcsReadRmtFmt(McsAreas& areas, KORVEX* mcs, std::span<uint8_t> buf, const char* name, bool useCache) {
    char key[MCS_FMTNAME_LEN];
    mcsFmtName(name, key);
    if (useCache) {
        const McsFmtCacheEntry* e = mcsFmtCacheFind(areas, key);
        if (e && static_cast<size_t>(e->length) < buf.size()) {
            std::memcpy(buf.data(), e->data.get(), static_cast<size_t>(e->length));
            buf[static_cast<size_t>(e->length)] = 0;
            return 0;
        }
    }
    uint8_t request[MCS_FMTREQ_LEN];
    mcsFmtRequestString('F', kLibrary, key, request);
    std::array<uint8_t, MCS_FMTREPLY_MAX> reply;
    const uint8_t* fmt = nullptr;
    int len = 0;
    bool ocountTotal = false;
    if (mcsFmtExchange(mcs, request, reply) < 0 || mcsFmtReplyFormat(reply, &fmt, &len, &ocountTotal) <= 0 ||
        static_cast<size_t>(len) >= buf.size()) {
        logPrintf("#mcsReadRmtFmt: no format %.8s, showing UNDEF\n", key);
        mcsFmtUndef(key, buf);
        return 1;
    }
    std::memcpy(buf.data(), fmt, static_cast<size_t>(len));
    buf[static_cast<size_t>(len)] = 0;
    mcsFmtScan(buf.first(static_cast<size_t>(len)));

    McsFmtCacheEntry fresh{};
    std::memcpy(fresh.name, key, MCS_FMTNAME_LEN);
    fresh.data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(len) + 1]());
    if (!fresh.data) {
        std::fprintf(stderr, "mcsReadRmtFmt: calloc of %d failed!\n", len + 1);
        return 1;
    }
    std::memcpy(fresh.data.get(), buf.data(), static_cast<size_t>(len) + 1);
    fresh.length = len;
    mcsFmtInfo(buf.first(static_cast<size_t>(len)), ocountTotal, &fresh);
    for (int i = MCS_FMTCACHE_ENTRIES - 1; i > 0; --i) areas.fmtCache[i] = std::move(areas.fmtCache[i - 1]);
    areas.fmtCache[0] = std::move(fresh);
    return 1;
}

void mcsFmtFree(McsAreas& areas, McsFormsState& fs) {
    for (McsFmtCacheEntry& e : areas.fmtCache) {
        const unsigned char c = static_cast<unsigned char>(e.name[0]);
        if (c > ' ' && c < 0x7F) {
            e = McsFmtCacheEntry{};
            std::memset(e.name, ' ', sizeof e.name);
        }
    }
    std::memset(fs.fmtBuf.data(), ' ', MCS_FMT_HDRSIZE);
    std::memset(fs.curFmtName, ' ', sizeof fs.curFmtName);
    std::memset(fs.defFmtName, ' ', sizeof fs.defFmtName);
}

// --- Forms state and field table -------------------------------------------

int mcsinit(McsFormsState& fs, int rows, int cols) {
    if (fs.initialised) return 0;
    fs.initialised = 1;
    int rc = 0;
    fs.termKind = MCS_TERMKIND_FRONTEND;
    if (fs.termKind == 2 || fs.termKind == 8 || fs.termKind == 9) {
        rows = CU_DEFAULT_ROWS;
        cols = CU_DEFAULT_COLS;
    }
    rows = std::clamp(rows, 1, CU_MAX_ROWS);
    cols = std::clamp(cols, 1, MCS_MAX_TERM_COLS);
    fs.mcsNumRow = static_cast<int16_t>(rows);
    fs.mcsNumCol = static_cast<int16_t>(cols);
    std::memcpy(fs.sysName, "Zendra  ", MCS_SYSNAME_LEN);
    std::memcpy(fs.wsKind, "PC  ", MCS_WSKIND_LEN);
    std::memcpy(fs.termId, "UTS1.00t", 8);
    std::memset(fs.termId + 8, '0', MCS_TERMID_LEN - 8);
    char cwd[260] = {};
    if (!getcwd(cwd, sizeof cwd - 1)) cwd[0] = 0;
    padName(fs.workDir, MCS_WORKDIR_LEN, reinterpret_cast<const uint8_t*>(cwd), static_cast<int>(sizeof cwd));
    std::memset(fs.curFmtName, ' ', sizeof fs.curFmtName);
    std::memset(fs.defFmtName, ' ', sizeof fs.defFmtName);
    std::memset(fs.identText, ' ', sizeof fs.identText);
    std::memset(fs.sysHelpName, ' ', sizeof fs.sysHelpName);
    std::memset(fs.scrHelpName, ' ', sizeof fs.scrHelpName);

    fs.mcsFields.reset(new (std::nothrow) McsField[MCS_FIELDS_INITIAL + 1]());
    fs.fieldCap = fs.mcsFields ? MCS_FIELDS_INITIAL : 0;
    if (!fs.mcsFields) {
        std::fputs("mcsinit: malloc of mcsFields failed!\n", stderr);
        rc = -1;
    }
    fs.numFields = 0;
    if (fs.signStyle < 64) fs.signStyle = 112;
    if (fs.decimalChar <= ' ') fs.decimalChar = '.';
    if (fs.currencyChar <= ' ') fs.currencyChar = '$';
    fs.fillChar = ' ';
    fs.keyChar = MCS_KEY_TRANSMIT;
    fs.sKey = 0;
    fs.sXmit = 0;
    fs.dataAlign = 0;
    fs.msgDone = 0;
    fs.xferActive = 0;
    fs.stk = 0;
    if (fs.termKind == MCS_TERMKIND_FRONTEND || rows < 25) {
        fs.lastRow = static_cast<int16_t>(rows - 1);
        fs.usableRows = static_cast<int16_t>(rows);
    } else {
        fs.lastRow = static_cast<int16_t>(rows - 2);
        fs.usableRows = static_cast<int16_t>(rows - 1);
    }
    fs.mcsTrow = 0;
    fs.mcsTcol = 0;
    fs.mcsBrow = fs.usableRows;
    fs.mcsBcol = fs.mcsNumCol;
    fs.cells = cols * fs.usableRows;

    const size_t words = static_cast<size_t>(rows + 2) * static_cast<size_t>(cols);
    fs.map.reset(new (std::nothrow) uint16_t[words]);
    if (fs.map) {
        std::fill(fs.map.get(), fs.map.get() + words, static_cast<uint16_t>(0x0080));
    } else {
        std::fputs("mcsinit: calloc of M->map failed!\n", stderr);
        rc = -1;
    }
    return rc;
}

void mcsFreeMasks(McsFormsState& fs) {
    // Unlinked one block at a time: a long chain must not recurse.
    std::unique_ptr<McsMaskBlock> b = std::move(fs.masks);
    while (b) b = std::move(b->next);
}

int mcsPrepFields(McsFormsState& fs, std::span<const uint8_t> fmt) {
    if (fmt.empty()) {
        std::memset(fs.curFmtName, ' ', sizeof fs.curFmtName);
        mcsFreeMasks(fs);
        zeroFields(fs, fs.fieldCap);
        return 0;
    }
    if (fmt.size() < static_cast<size_t>(MCS_FMT_HDRSIZE)) return -1;
    const uint8_t* p = fmt.data();
    if (fs.mcsFields && std::memcmp(p + FH_NAME, fs.curFmtName, MCS_FMTNAME_LEN) == 0) return 0;
    mcsFreeMasks(fs);
    const int n = get16u(p + FH_FIELDS);
    fs.numFields = n;
    if (!fs.mcsFields || fs.fieldCap < n + MCS_FIELDS_SLACK) {
        const int cap = 2 * (n + MCS_FIELDS_SLACK);
        fs.mcsFields.reset();
        fs.mcsFields.reset(new (std::nothrow) McsField[static_cast<size_t>(cap) + 2]());
        if (!fs.mcsFields) {
            std::fputs("mcsrtns: malloc of mcsFields failed!\n", stderr);
            fs.fieldCap = 0;
            return -1;
        }
        fs.fieldCap = cap;
    }
    std::memcpy(fs.curFmtName, p + FH_NAME, MCS_FMTNAME_LEN);
    zeroFields(fs, fs.fieldCap);

    const size_t help = MCS_FMT_HDRSIZE + static_cast<size_t>(get16u(p + FH_STREAMLEN));
    if (help < fmt.size() && p[help] == FMT_HELP_TAG) {
        const int avail = static_cast<int>(fmt.size() - help);
        auto at = [&](int off) -> uint8_t { return off < avail ? p[help + static_cast<size_t>(off)] : 0; };
        fs.sysHelpKey = at(FHT_SYSKEY);
        fs.scrHelpKey = at(FHT_SCRKEY);
        fs.fldHelpKey = at(FHT_FLDKEY);
        padName(fs.sysHelpName, MCS_HELPNAME_LEN, p + help + std::min(FHT_SYSNAME, avail), std::max(avail - FHT_SYSNAME, 0));
        padName(fs.scrHelpName, MCS_HELPNAME_LEN, p + help + std::min(FHT_SCRNAME, avail), std::max(avail - FHT_SCRNAME, 0));
    } else {
        std::memset(fs.sysHelpName, ' ', sizeof fs.sysHelpName);
        std::memset(fs.scrHelpName, ' ', sizeof fs.scrHelpName);
        fs.sysHelpKey = fs.scrHelpKey = fs.fldHelpKey = 0;
    }
    return 0;
}

int mcsFieldsEnsure(McsFormsState& fs, int fieldNo) {
    if (fieldNo < 0) return -1;
    while (fieldNo + 1 >= fs.fieldCap) {
        logPrintf("#MCS fields array %d but need %d\n", fs.fieldCap, fieldNo + 1);
        const int cap = fs.fieldCap + MCS_FIELDS_GROW;
        std::unique_ptr<McsField[]> grown(new (std::nothrow) McsField[static_cast<size_t>(cap) + 1]());
        if (!grown) return -1;
        if (fs.mcsFields)
            std::copy(fs.mcsFields.get(), fs.mcsFields.get() + fs.fieldCap + 1, grown.get());
        fs.mcsFields = std::move(grown);
        fs.fieldCap = cap;
    }
    return 0;
}

void mcsFmtFieldHelp(std::span<const uint8_t> fmt, int row, int col, char out[MCS_HELPNAME_LEN]) {
    std::memset(out, 0, MCS_HELPNAME_LEN);
    if (fmt.size() < static_cast<size_t>(MCS_FMT_HDRSIZE)) return;
    const size_t help = MCS_FMT_HDRSIZE + static_cast<size_t>(get16u(fmt.data() + FH_STREAMLEN));
    if (help + FHT_ENTRIES > fmt.size() || fmt[help] != FMT_HELP_TAG) return;
    const int count = get16u(fmt.data() + help + FHT_COUNT);
    for (int i = 0; i < count; ++i) {
        const size_t e = help + FHT_ENTRIES + static_cast<size_t>(i) * FHT_ENTRYSIZE;
        if (e + FHT_ENTRYSIZE > fmt.size()) return;
        if (fmt[e] == row && fmt[e + 1] == col) {
            std::memcpy(out, fmt.data() + e + 3, MCS_HELPNAME_LEN);
            return;
        }
    }
}

// --- Saved rectangles -------------------------------------------------------

struct McsScreenSave {
    CuSaveRef cells;
    int16_t curRow, curCol;
    int16_t top, left, bottom, right;
    uint8_t fill;
    int16_t hlRow, hlCol, hlLen;
    char sysHelp[MCS_HELPNAME_LEN];
    char scrHelp[MCS_HELPNAME_LEN];
    int32_t count;
    std::unique_ptr<uint16_t[]> mapWords;   // the rectangle's field-map words, row by row
    std::unique_ptr<McsField[]> fields;     // records 1..count
};

void McsScreenSaveDelete::operator()(McsScreenSave* s) const { delete s; }

namespace {

// Copies the rectangle's map words out (toMap false) or back; cells outside
// the map are skipped.
void copyMap(McsFormsState& fs, McsScreenSave& s, bool toMap) {
    if (!fs.map) return;
    const int w = s.right - s.left + 1;
    const int h = s.bottom - s.top + 1;
    for (int r = 0; r < h; ++r) {
        const int row = s.top + r;
        for (int c = 0; c < w; ++c) {
            const int col = s.left + c;
            if (row < 0 || row >= fs.mcsNumRow + 2 || col < 0 || col >= fs.mcsNumCol) continue;
            uint16_t& m = fs.map[static_cast<size_t>(row) * static_cast<size_t>(fs.mcsNumCol) + static_cast<size_t>(col)];
            uint16_t& v = s.mapWords[static_cast<size_t>(r) * static_cast<size_t>(w) + static_cast<size_t>(c)];
            if (toMap) m = v;
            else v = m;
        }
    }
}

} // namespace

int mcsSaveScreen(McsFormsState& fs, McsSaveRef* holder, int top, int left, int bottom, int right) {
    if (!holder) return -1;
    holder->reset();
    CuSaveRef cells;
    const int rc = cuSaveRect(top, left, bottom, right, &cells);
    if (rc < 0) return rc;
    int count = 0;
    while (fs.mcsFields && count < fs.fieldCap && fs.mcsFields[count + 1].length != 0) ++count;
    const int w = right - left + 1, h = bottom - top + 1;
    const int size = 36 + 2 * w * h + 24 * count;

    McsSaveRef s(new (std::nothrow) McsScreenSave());
    if (s) {
        s->mapWords.reset(new (std::nothrow) uint16_t[static_cast<size_t>(w) * static_cast<size_t>(h)]());
        s->fields.reset(new (std::nothrow) McsField[static_cast<size_t>(count) + 1]());
    }
    if (!s || !s->mapWords || !s->fields) {
        cuRestoreRect(top, left, bottom, right, &cells);
        std::fprintf(stderr, "mcsSaveScreen: malloc size = %d\n", size);
        return -10;
    }
    s->cells = std::move(cells);
    s->curRow = fs.mcsRow;
    s->curCol = fs.mcsCol;
    s->top = static_cast<int16_t>(top);
    s->left = static_cast<int16_t>(left);
    s->bottom = static_cast<int16_t>(bottom);
    s->right = static_cast<int16_t>(right);
    s->fill = fs.fillChar;
    s->hlRow = fs.hlRow;
    s->hlCol = fs.hlCol;
    s->hlLen = fs.hlLen;
    std::memcpy(s->sysHelp, fs.sysHelpName, MCS_HELPNAME_LEN);
    std::memcpy(s->scrHelp, fs.scrHelpName, MCS_HELPNAME_LEN);
    s->count = count;
    copyMap(fs, *s, false);
    if (count > 0) std::copy(fs.mcsFields.get() + 1, fs.mcsFields.get() + 1 + count, s->fields.get());
    *holder = std::move(s);
    return 0;
}

void mcsRestoreScreen(McsFormsState& fs, McsSaveRef* holder) {
    if (!holder || !*holder) return;
    McsScreenSave& s = **holder;
    fs.mcsRow = s.curRow;
    fs.mcsCol = s.curCol;
    fs.hlRow = s.hlRow;
    fs.hlCol = s.hlCol;
    fs.hlLen = s.hlLen;
    std::memcpy(fs.sysHelpName, s.sysHelp, MCS_HELPNAME_LEN);
    std::memcpy(fs.scrHelpName, s.scrHelp, MCS_HELPNAME_LEN);
    fs.fillChar = s.fill;
    cuRestoreRect(s.top, s.left, s.bottom, s.right, &s.cells);
    copyMap(fs, s, true);
    if (fs.mcsFields) {
        const int n = std::min(s.count, fs.fieldCap);
        std::copy(s.fields.get(), s.fields.get() + n, fs.mcsFields.get() + 1);
        for (int i = n + 1; i <= fs.fieldCap; ++i) fs.mcsFields[i] = McsField{};
    }
    holder->reset();
    cuSetCursor(fs.mcsRow, fs.mcsCol);
}
