// Forms requests decoded into the session's MCS areas, the control block,
// and the standard reply.
#include "mcs/mcsreq.h"

#include "common/arc/packbuf.h"
#include "common/log.h"
#include "mcs/mcsfmt.h"
#include "net/korvex.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Extended key codes of the 95-code form, from byte 0x5F on. Entry 0 is the
// transmit key, so a key without a code ("_") still reads back as Transmit.
constexpr std::array<int32_t, MCS_KEY95_EXTENDED> kKey95 = {
    0xC600,
    // F1..F12, Shift+F1..F12, Ctrl+F1..F12
    0x3B00, 0x3C00, 0x3D00, 0x3E00, 0x3F00, 0x4000, 0x4100, 0x4200, 0x4300, 0x4400, 0x8500, 0x8600,
    0x5400, 0x5500, 0x5600, 0x5700, 0x5800, 0x5900, 0x5A00, 0x5B00, 0x5C00, 0x5D00, 0x8700, 0x8800,
    0x5E00, 0x5F00, 0x6000, 0x6100, 0x6200, 0x6300, 0x6400, 0x6500, 0x6600, 0x6700, 0x8900, 0x8A00,
    // Alt+1..Alt+0, Alt+-, Alt+=
    0x7800, 0x7900, 0x7A00, 0x7B00, 0x7C00, 0x7D00, 0x7E00, 0x7F00, 0x8000, 0x8100, 0x8200, 0x8300,
    // Up, Down, Left, Right, Home, End, Page Up, Page Down, Insert, Delete, back-tab
    0x4800, 0x5000, 0x4B00, 0x4D00, 0x4700, 0x4F00, 0x4900, 0x5100, 0x5200, 0x5300, 0x0F00,
    // Ctrl+A..Ctrl+Z
    0x1E01, 0x3002, 0x2E03, 0x2004, 0x1205, 0x2106, 0x2207, 0x2308, 0x1709, 0x240A, 0x250B, 0x260C, 0x320D,
    0x310E, 0x180F, 0x1910, 0x1011, 0x1312, 0x1F13, 0x1414, 0x1615, 0x2F16, 0x1117, 0x2D18, 0x1519, 0x2C1A,
    // mouse, program keys
    0x7FF0, 0x7FF1, 0x7FF2, 0x7FF3, 0xF200, 0xF300, 0xF400,
};

constexpr uint8_t kReplyTag[8] = {0, 0, 0, '!', 0, 0, 0, 0};
constexpr int kTextMax = MCS_MSGAREA_SIZE - MA_TEXT;

using Buf = std::span<const uint8_t>;

int textLength(const McsAreas& a) {
    return std::clamp<int>(zenGet16(a.msgArea.data() + MA_TEXTLEN), 0, kTextMax);
}

// Function groups of the decoding and the reply.
bool oneOf(int func, std::initializer_list<int> codes) {
    return std::find(codes.begin(), codes.end(), func) != codes.end();
}

struct Decoder {
    McsAreas& a;
    McsFormsState& fs;
    Buf req;
    ZenBufHeader h;
    ZenOverflow ov;
    int rc = 0;

    // Reads parameter i only when it exists by number: an index below 1
    // would otherwise read parameter 1 again.
    bool valid(int i) const { return i >= 1; }

    void copyString(int i, uint8_t* dest, int size) {
        if (valid(i)) bufCopyString(req, i, std::span<uint8_t>(dest, static_cast<size_t>(size)));
    }
    void toMsgArea(int i) { copyString(i, a.msgArea.data(), MCS_MSGAREA_SIZE); }
    void statusFromArea() { a.ctl.status = a.msgArea[MA_STATUS]; }
    void blankMsgArea() { a.msgArea.fill(' '); }
    void emptyMsg() {
        a.msg.Prm = 0;
        a.msg.used = 0;
        a.msg.overflowUsed = 0;
    }
    void unpack(int first, int last) {
        if (rc == PACK_EFATAL || last < first) return;
        if (bufToMsg(a.msg, &ov, req, first, last) == PACK_EFATAL) rc = PACK_EFATAL;
    }
    void optionsAndWait() {
        fs.termOptions = static_cast<uint32_t>(bufGetInt(req, 1));
        fs.waitTime = bufGetInt(req, 2);
    }
    // The message-area text: String i, its length set.
    void text(int i) {
        const int n = valid(i) ? bufCopyString(req, i, std::span<uint8_t>(a.msgArea.data() + MA_TEXT, kTextMax)) : 0;
        zenPut16(a.msgArea.data() + MA_TEXTLEN, n);
    }
    void blankAreas(bool areaB) {
        if (areaB) a.areaB.fill(' ');
        a.areaC.fill(' ');
        a.areaA.fill(' ');
    }

    bool special(int func, int n);
    void standard(int n);
};

bool Decoder::special(int func, int n) {
    if (n == 0 && oneOf(func, {21, 23, 33, 42, 43})) {
        blankAreas(func != 42);
        if (oneOf(func, {21, 33, 42})) {
            const int len = std::clamp<int>(zenGet16(a.msgArea.data() + MA_TEXTLEN), 0, kTextMax);
            const int cap = std::clamp<int>(zenGet16(a.msgArea.data() + MA_CAPACITY), 0, kTextMax);
            if (cap > len) std::fill(a.msgArea.begin() + MA_TEXT + len, a.msgArea.begin() + MA_TEXT + cap, ' ');
        }
        return true;
    }
    if (oneOf(func, {22, 41})) {
        blankAreas(func != 41);
        if (n > 0) standard(n);
        return true;
    }
    switch (func) {
    case 27:
        if (n != 2) return false;
        unpack(1, 1);
        fs.rollChar = static_cast<uint8_t>(bufGetChar(req, 2));
        return true;
    case 28:
    case 29:
        if (n == 1) {
            toMsgArea(1);
            statusFromArea();
        } else if (n == 2 || n == 3) {
            optionsAndWait();
            emptyMsg();
            blankMsgArea();
            if (n == 3) unpack(3, 3);
        } else {
            return false;
        }
        return true;
    case 30:
    case 31:
    case 57:
    case 198:
        if (n == 2) {
            optionsAndWait();
        } else if (n == 3) {
            a.ctl.curRow = bufGetShort(req, 1);
            a.ctl.curCol = bufGetShort(req, 2);
            char name[MCS_FMTNAME_LEN];
            std::memcpy(name, a.msgArea.data() + MA_FMTNAME, sizeof name);
            toMsgArea(3);
            std::memcpy(a.msgArea.data() + MA_FMTNAME, name, sizeof name);
            statusFromArea();
        } else if (n == 4) {
            optionsAndWait();
            fs.utsInOption = static_cast<uint8_t>(bufGetChar(req, 3));
        } else {
            return false;
        }
        return true;
    case 32:
    case 51:
        if (n == 2) {
            text(2);
        } else if (n == 3) {
            fs.termOptions = static_cast<uint32_t>(bufGetInt(req, 1));
            fs.modeByte = static_cast<uint8_t>(bufGetChar(req, 2));
            text(3);
            if (h.Sub != 0) fs.keyChar = mcsKey95Decode(static_cast<uint8_t>(h.Sub & 0xFF));
        } else if (n != 1) {
            return false;
        }
        return true;
    case 36:
    case 37:
        if (n == 1) {
            toMsgArea(1);
            statusFromArea();
        } else if (n == 2) {
            emptyMsg();
            unpack(1, 2);
            blankMsgArea();
        } else {
            return false;
        }
        return true;
    case 38:
        if (n < 1 || n > 4) return false;
        toMsgArea(1);
        if (n == 2 || n == 3) {
            emptyMsg();
            unpack(2, n);
            if (rc != PACK_EFATAL && msgAddString(a.msg, &ov, a.msgArea.data() + MA_TEXT, 80) == PACK_EFATAL)
                rc = PACK_EFATAL;
        } else if (n == 4) {
            a.ctl.curRow = bufGetShort(req, 2);
            a.ctl.curCol = bufGetShort(req, 3);
            statusFromArea();
        }
        fs.waitTime = MCS_LIST_WAIT;
        return true;
    case 47:
        if (n == 1) a.ctl.outRow = bufGetShort(req, 1);
        else if (n == 2) unpack(1, 1);
        else return false;
        return true;
    default: return false;
    }
}

void Decoder::standard(int n) {
    const uint8_t* tag = bufGetString(req, 1);
    if (tag && bufParamLen(req, 1) >= 4 && tag[3] == '%') {
        copyString(n, a.areaD.data(), MCS_AREAD_COPY);
        --n;
    } else {
        std::fill(a.areaD.begin(), a.areaD.begin() + MCS_AREAD_COPY, 0);
    }
    if (valid(n)) a.trailingCount = bufGetShort(req, n);
    if (valid(n - 1)) a.statusChar = static_cast<uint8_t>(bufGetChar(req, n - 1));
    copyString(n - 2, a.areaC.data(), MCS_AREAC_SIZE);
    copyString(n - 3, a.areaB.data(), MCS_AREAB_SIZE);
    copyString(n - 4, a.areaA.data(), MCS_AREAA_SIZE);
    copyString(n - 5, a.msgArea.data(), MCS_MSGAREA_SIZE);
    if (valid(n - 6)) {
        std::array<uint8_t, MCS_CTLBLK_MAX> block{};
        const int len = bufCopyString(req, n - 6, block);
        if (len > 0) mcsDecodeCtl(a, fs, block.data(), len);
    }
    if (n > 8) {
        unpack(1, n - 8);
    } else {
        a.msg.func = h.func;
        a.msg.Sub = h.Sub;
    }
}

void putName(uint8_t* out, const char* name, int len) { std::memcpy(out, name, static_cast<size_t>(len)); }

// Year, month, day and hour, minute, second of a format's time stamp.
bool formatStamp(const McsFmtCacheEntry& e, int v[6]) {
    if (!e.data || e.length < FH_STAMP + 8) return false;
    const uint8_t* p = e.data.get() + FH_STAMP;
    const uint32_t w0 = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    const uint32_t w1 = p[4] | (p[5] << 8) | (p[6] << 16) | (static_cast<uint32_t>(p[7]) << 24);
    v[0] = static_cast<int>((w0 & 0xFF) + 1970) % 100;
    v[1] = static_cast<int>((w0 >> 8) & 0xF);
    v[2] = static_cast<int>((w0 >> 16) & 0x1F);
    v[3] = static_cast<int>((w0 >> 24) & 0x1F);
    v[4] = static_cast<int>(w1 & 0x3F);
    v[5] = static_cast<int>((w1 >> 8) & 0x3F);
    return true;
}

void putTriple(uint8_t* out, const int* v) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d", v[0] % 100, v[1] % 100, v[2] % 100);
    std::memcpy(out, text, 6);
}

} // namespace

int32_t mcsKey95Decode(uint8_t b) {
    if (b < 0x5F) return b + 0x20;
    const int i = b - 0x5F;
    return i < MCS_KEY95_EXTENDED ? kKey95[static_cast<size_t>(i)] : 0;
}

uint8_t mcsKey95Encode(int32_t key) {
    if (key >= 0x20 && key <= 0x7E) return static_cast<uint8_t>(key - 0x20);
    for (int i = 0; i < MCS_KEY95_EXTENDED; ++i)
        if (kKey95[static_cast<size_t>(i)] == key) return static_cast<uint8_t>(0x5F + i);
    return '_';
}

void mcsDecodeCtl(McsAreas& areas, McsFormsState& fs, const uint8_t* block, int len) {
    if (!block || len <= 0) return;
    len = std::min(len, MCS_CTLBLK_MAX);
    fs.ctlLen = std::max(len, MCS_CTLBLK_MIN);
    // A block shorter than the layout sets only the values it holds.
    std::array<uint8_t, MCS_CTLBLK_MAX> b{};
    std::memcpy(b.data(), block, static_cast<size_t>(len));
    auto has = [&](int off, int size) { return off + size <= len; };
    auto name = [&](char* dst, int off, int size) {
        if (has(off, size)) std::memcpy(dst, b.data() + off, static_cast<size_t>(size));
    };
    auto u8 = [&](uint8_t& dst, int off) {
        if (has(off, 1)) dst = b[static_cast<size_t>(off)];
    };
    auto s16 = [&](int16_t& dst, int off) {
        if (has(off, 2)) dst = zenGet16(b.data() + off);
    };
    name(fs.defFmtName, CB_DEFFMT, MCS_FMTNAME_LEN);
    name(fs.sysName, CB_SYSNAME, MCS_SYSNAME_LEN);
    name(fs.wsKind, CB_WSKIND, MCS_WSKIND_LEN);
    name(fs.identText, CB_IDENT, MCS_IDENT_LEN);
    if (has(CB_WAIT, 4)) fs.waitTime = zenGet32(b.data() + CB_WAIT);
    if (has(CB_OPTIONS, 4)) fs.termOptions = static_cast<uint32_t>(zenGet32(b.data() + CB_OPTIONS));
    if (fs.termKind != MCS_TERMKIND_FRONTEND) s16(fs.fieldIndex, CB_FIELDIDX);
    if (has(CB_KEY, 1)) fs.keyChar = mcsKey95Decode(b[CB_KEY]);
    if (fs.termKind != MCS_TERMKIND_FRONTEND && has(CB_KEY2, 1)) fs.keyChar2 = mcsKey95Decode(b[CB_KEY2]);
    u8(fs.sXmit, CB_XMIT);
    u8(fs.rollChar, CB_ROLL);
    u8(fs.stk, CB_STK);
    u8(fs.dataAlign, CB_ALIGN);
    u8(fs.modeByte, CB_MODE);
    u8(fs.value51, CB_VALUE51);
    u8(fs.msgDone, CB_MSGDONE);
    u8(fs.fieldRoutine, CB_ROUTINE);
    u8(fs.signStyle, CB_SIGN);
    u8(fs.decimalChar, CB_DECIMAL);
    u8(fs.currencyChar, CB_CURRENCY);
    u8(fs.condLevel, CB_CONDLEVEL);

    McsControl& c = areas.ctl;
    s16(c.outRow, CB_OUTROW);
    s16(c.outCol, CB_OUTCOL);
    if (has(CB_SCRROWS, 4)) {
        c.scrRows = zenGet16(b.data() + CB_SCRROWS);
        c.scrCols = zenGet16(b.data() + CB_SCRCOLS);
        if (c.scrRows <= 0) {
            c.scrRows = fs.mcsNumRow;
            c.scrCols = fs.mcsNumCol;
        }
    }
    s16(c.value81, CB_VALUE81);
    s16(c.value83, CB_VALUE83);
    u8(c.status, CB_STATUS);
    s16(c.curRow, CB_CURROW);
    s16(c.curCol, CB_CURCOL);
    name(c.fmtName, CB_FMTNAME, MCS_FMTNAME_LEN);
    u8(c.value98, CB_VALUE98);
    name(c.termName, CB_TERMNAME, MCS_FMTNAME_LEN);
    u8(c.value108, CB_VALUE108);
    s16(c.value110, CB_VALUE110);
}

int mcsEncodeCtl(McsAreas& areas, McsFormsState& fs, uint8_t* out) {
    const int len = std::clamp(fs.ctlLen, MCS_CTLBLK_MIN, MCS_CTLBLK_MAX);
    std::memset(out, 0, static_cast<size_t>(len));
    putName(out + CB_DEFFMT, fs.defFmtName, MCS_FMTNAME_LEN);
    putName(out + CB_SYSNAME, fs.sysName, MCS_SYSNAME_LEN);
    putName(out + CB_WSKIND, fs.wsKind, MCS_WSKIND_LEN);
    putName(out + CB_IDENT, fs.identText, MCS_IDENT_LEN);
    zenPut32(out + CB_WAIT, fs.waitTime);
    zenPut32(out + CB_OPTIONS, static_cast<int32_t>(fs.termOptions));
    zenPut16(out + CB_FIELDIDX, fs.fieldIndex);
    out[CB_KEY] = mcsKey95Encode(fs.keyChar);
    out[CB_KEY2] = mcsKey95Encode(fs.keyChar2);
    out[CB_XMIT] = fs.sXmit;
    out[CB_ROLL] = fs.rollChar;
    out[CB_STK] = fs.stk;
    out[CB_ALIGN] = fs.dataAlign;
    out[CB_MODE] = fs.modeByte;
    out[CB_VALUE51] = fs.value51;
    out[CB_MSGDONE] = fs.msgDone;
    out[CB_ROUTINE] = fs.fieldRoutine;
    out[CB_SIGN] = fs.signStyle;
    out[CB_DECIMAL] = fs.decimalChar;
    out[CB_CURRENCY] = fs.currencyChar;
    out[CB_CONDLEVEL] = fs.condLevel;

    McsControl& c = areas.ctl;
    zenPut16(out + CB_OUTROW, c.outRow);
    zenPut16(out + CB_OUTCOL, c.outCol);
    zenPut16(out + CB_SCRROWS, c.scrRows);
    zenPut16(out + CB_SCRCOLS, c.scrCols);
    zenPut16(out + CB_VALUE81, fs.override81Set ? fs.override81 : c.value81);
    zenPut16(out + CB_VALUE83, fs.override83Set ? fs.override83 : c.value83);
    fs.override81Set = fs.override83Set = 0;
    out[CB_STATUS] = c.status;
    zenPut16(out + CB_CURROW, c.curRow);
    zenPut16(out + CB_CURCOL, c.curCol);
    putName(out + CB_FMTNAME, c.fmtName, MCS_FMTNAME_LEN);
    out[CB_VALUE98] = c.value98;
    putName(out + CB_TERMNAME, c.termName, MCS_FMTNAME_LEN);
    out[CB_VALUE108] = c.value108;
    zenPut16(out + CB_VALUE110, c.value110);
    std::memcpy(out + CB_FMTWORDS, fs.fmtBuf.data() + FH_STAMP, 8);
    std::memcpy(out + CB_CTLWORDS, out + CB_OUTROW, 8);

    const char* named = static_cast<unsigned char>(c.fmtName[0]) < '!' ? fs.defFmtName : c.fmtName;
    char key[MCS_FMTNAME_LEN];
    mcsFmtName(named, key);
    const McsFmtCacheEntry* e = mcsFmtCacheFind(areas, key);
    int v[6];
    if (e && formatStamp(*e, v)) {
        if (len >= CB_TIME + 6) {
            putTriple(out + CB_DATE, v);
            putTriple(out + CB_TIME, v + 3);
        }
    } else if (std::memcmp(key, "        ", MCS_FMTNAME_LEN) != 0 && (logFlags & LOG_PACKET)) {
        logPrintf("Could not find format '%.8s'\n", key);
        for (int i = 0; i < MCS_FMTCACHE_ENTRIES; ++i) logPrintf("MCS Aft %d: is %.8s\n", i, areas.fmtCache[i].name);
    }
    return len;
}

int mcsDecodeRequest(McsAreas& areas, McsFormsState& fs, std::span<const uint8_t> request) {
    Decoder d{areas, fs, request, {}, mcsOverflowOf(areas)};
    if (!bufHeader(request, &d.h)) return PACK_EINVALID;
    d.emptyMsg();
    const int n = d.h.len < 0 ? 0 : d.h.Prm;
    if (!d.special(d.h.func, n) && n > 0) d.standard(n);
    return d.rc;
}

int msrSendData(McsAreas& a, McsFormsState& fs, KORVEX* mcs, int func, std::span<uint8_t> reply) {
    int S = 0, A = 0, B = 0, C = 0;
    bool found = false;
    const int textLen = textLength(a);
    if (func == 18) {
        S = 32;
    } else if (oneOf(func, {21, 22, 23, 33, 41, 42, 43, 58})) {
        const char* name = reinterpret_cast<const char*>(a.msgArea.data() + MA_FMTNAME);
        mcsReadRmtFmt(a, mcs, fs.fmtBuf, name, true);
        char key[MCS_FMTNAME_LEN];
        mcsFmtName(name, key);
        S = MA_TEXT;
        if (const McsFmtCacheEntry* e = mcsFmtCacheFind(a, key)) {
            found = true;
            A = e->areaASize;
            C = e->dataFields;
            B = 2 * C;
            const int most = std::max({e->maData, e->maIcount, e->maOcount});
            S = MA_TEXT + std::min(textLen, most);
            if (logFlags & LOG_PACKET)
                logPrintf("msrSendData:count[%d] ma-data[%d] ma-ocount[%d] ma-icount[%d] mcsSize[%d]\n", textLen,
                          e->maData, e->maOcount, e->maIcount, 0);
        }
    } else if (oneOf(func, {28, 29, 36})) {
        S = 164;
    } else if (func == 37) {
        S = 93;
    } else if (func == 38) {
        S = 100;
    } else if (oneOf(func, {30, 31, 52, 57, 198})) {
        S = MA_TEXT + textLen;
    }

    const ZENMSG& m = a.msg;
    if (bufInit(reply, m.P, m.Pri, m.Q, m.Seg, static_cast<int16_t>(func), m.Sub) < 0) return -1;
    int rc = 0;
    auto add = [&](int r) {
        if (r < 0) rc = r;
    };
    auto msgText = [&] { add(bufAddString(reply, a.msgArea.data(), MA_TEXT + textLen)); };
    auto done = [&]() { return rc < 0 ? rc : getBufSize(reply); };

    if (fs.termOptions & MCS_OPT_SHORTREPLY) {
        if (func == 18) {
            add(bufAddString(reply, a.msgArea.data(), 32));
            return done();
        }
        if (oneOf(func, {21, 23, 42, 43, 58}) && found) {
            logPrintf("#msrSendData: initBuf for func %d\n", func);
            return done();
        }
        if (oneOf(func, {21, 22, 23, 33, 41, 42, 43, 58})) {
            A = C = 0;
            if (func != 41 && func != 42) B = 0;
        } else if (oneOf(func, {24, 27, 32, 39, 51})) {
            return done();
        } else if (oneOf(func, {28, 29, 36, 37})) {
            msgText();
            return done();
        } else if (oneOf(func, {30, 31, 57, 198})) {
            add(bufAddShort(reply, a.ctl.curRow));
            add(bufAddShort(reply, a.ctl.curCol));
            msgText();
            return done();
        } else if (func == 38) {
            msgText();
            add(bufAddShort(reply, a.ctl.curRow));
            add(bufAddShort(reply, a.ctl.curCol));
            add(bufAddShort(reply, 0));
            return done();
        } else if (func == 47) {
            add(bufAddShort(reply, a.ctl.outRow));
            return done();
        }
    }

    std::array<uint8_t, MCS_CTLBLK_MAX> ctl{};
    const int ctlLen = mcsEncodeCtl(a, fs, ctl.data());
    S = std::min(S, MCS_MSGAREA_SIZE);
    if (func == 18) {
        add(bufAddString(reply, a.msgArea.data(), S));
        add(bufAddString(reply, ctl.data(), ctlLen));
        return done();
    }
    A = std::clamp(A, 0, MCS_AREAA_SIZE);
    B = std::clamp(B, 0, MCS_AREAB_SIZE);
    C = std::clamp(C, 0, MCS_AREAC_SIZE);
    if (func == 58) {
        // The message's first string goes first; it is cut where the rest of
        // the reply would no longer fit.
        ZenOverflow ov = mcsOverflowOf(a);
        const uint8_t* data = m.Prm >= 1 && msgParamLen(m, 1) >= 0 ? msgGetData(m, &ov, 1) : nullptr;
        int len = data ? std::max(msgParamLen(m, 1), 0) : 0;
        const int rest = 10 * ZENBUF_PRMHEAD + 1 + 8 + ctlLen + S + A + B + C + 1 + 2;
        const int room = static_cast<int>(reply.size()) - ZENBUF_HDRSIZE - rest;
        len = std::clamp(std::min(len, ZENBUF_STRMAX), 0, std::max(room, 0));
        add(bufAddString(reply, data ? data : kReplyTag, len));
        add(bufAddString(reply, " ", 1));
    }
    add(bufAddString(reply, kReplyTag, 8));
    add(bufAddString(reply, ctl.data(), ctlLen));
    add(bufAddString(reply, a.msgArea.data(), S));
    add(bufAddString(reply, a.areaA.data(), A));
    add(bufAddString(reply, a.areaB.data(), B));
    add(bufAddString(reply, a.areaC.data(), C));
    add(bufAddChar(reply, a.statusChar));
    add(bufAddShort(reply, static_cast<int16_t>(a.trailingCount)));
    return done();
}

int msrPageOut(KORVEX* mcs, const char* device, const uint8_t* page, int len) {
    if (!mcs || !device) return -1;
    len = std::clamp(len, 0, ZENBUF_STRMAX - ZENBUF_HDRSIZE - 2 * ZENBUF_PRMHEAD - MCS_DEVNAME_LEN);
    if (!page) len = 0;
    std::vector<uint8_t> out(static_cast<size_t>(ZENBUF_HDRSIZE + 2 * ZENBUF_PRMHEAD + MCS_DEVNAME_LEN + len));
    bufInit(out, 0, 0, 0, 0, MCS_PAGEOUT_FUNC, 0);
    char name[MCS_DEVNAME_LEN];
    std::memset(name, ' ', sizeof name);
    std::memcpy(name, device, strnlen(device, sizeof name));
    bufAddString(out, name, MCS_DEVNAME_LEN);
    bufAddString(out, page ? page : reinterpret_cast<const uint8_t*>(""), len);
    return korvexWrite(mcs, out.data(), getBufSize(out));
}
