// UNIX-mode interpreter: pattern table, matcher, handlers, replies, key
// table and local echo. The matcher knows nothing of what a sequence does;
// the handlers change the screen only through the screen-buffer operations.
#include "term/unix.h"

#include "term/unixsess.h"
#include "common/log.h"
#include "core/cuscr.h"
#include "print/prnt.h"
#include "ui/profile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------
// Sequence table

struct UnixCtx;
using UnixHandler = void (*)(UnixCtx&);

constexpr int PATTERN_MAX = 32;

}  // namespace

struct UnixSeq {
    UnixHandler handler;
    std::array<char, PATTERN_MAX> pattern;
    int32_t length;
    int32_t literal;        // 1: no "#", "*" or "+" in the pattern
    int32_t prefixLen;      // characters before the first "#", "*" or "+"
    uint8_t last;           // the pattern's last character
    uint8_t anyEnd;         // 1: the final byte of a CSI input says nothing
};

namespace {

struct UnixCtx {
    ChSession* sess;
    UnixState& st;
};

// Parameters of the last pattern attempt (process-wide, as the matcher is).
std::array<int32_t, UNIX_PARAM_MAX> unixParams{};
int unixParamCount = 0;

int lastParam() { return unixParamCount > 0 ? unixParams[unixParamCount - 1] : 0; }
int paramFromEnd(int k) { return unixParamCount >= k ? unixParams[unixParamCount - k] : 0; }

enum class Move { H, V, Both };

// -- screen helpers ---------------------------------------------------------

void countScroll(UnixCtx& c) {
    if (++c.st.scrollCount >= UNIX_SCROLL_REFRESH) {
        c.st.scrollCount = 0;
        cuSetCursor(c.st.curRow, c.st.curCol);
        cuRefresh();
    }
}

// Scrolls rows top..bottom of the region's columns by n lines.
void scrollRows(UnixCtx& c, int top, int bottom, int n, bool up) {
    UnixState& st = c.st;
    if (top < 0 || bottom > st.lastRow || top > bottom || n <= 0) return;
    n = std::min(n, bottom - top + 1);
    cuScrollRegion(top, st.left, bottom, st.right, CU_ATTR_UNIX_NORMAL, n, up);
    countScroll(c);
}

void scrollRegion(UnixCtx& c, bool up) {
    if (c.st.bottom > c.st.top) scrollRows(c, c.st.top, c.st.bottom, 1, up);
}

void wrap(UnixCtx& c) {
    UnixState& st = c.st;
    if (st.curRow == st.bottom)
        scrollRegion(c, true);
    else if (st.curRow < st.lastRow)
        ++st.curRow;
    // On the last row below the region there is nowhere to go: stay on it.
    st.curCol = 0;
    st.pendingWrap = 0;
}

void motion(UnixCtx& c, Move kind, int64_t dx, int64_t dy) {
    UnixState& st = c.st;
    if (st.pendingWrap) wrap(c);
    const int64_t w = st.lastCol + 1;
    int64_t f = int64_t(st.curRow) * w + st.curCol;
    switch (kind) {
    case Move::H:
        if (dx == 0) return;
        f += dx;
        break;
    case Move::V:
        if (dy == 0) return;
        f += dy * w;
        break;
    case Move::Both:
        if (dx == 0 && dy == 0) return;
        f += dy * w + dx;
        break;
    }
    int64_t row, col;
    if (f >= 0) {
        row = f / w;
        col = f % w;
    } else {
        const int64_t q = (-f) / w, r = (-f) % w;
        row = -q;
        col = r > 0 ? w - r : 0;
    }
    const int oldRow = st.curRow;
    if (row > st.bottom) {
        if (kind == Move::H && col == st.left) {
            row = st.bottom;
            col = st.right;
            st.pendingWrap = 1;
        } else {
            scrollRegion(c, true);
            row = st.bottom;
        }
    } else if (row < st.top) {
        scrollRegion(c, false);
        row = 0;
    } else if (row > oldRow && col == st.left && kind == Move::H) {
        row = oldRow;
        col = st.right;
        st.pendingWrap = 1;
    }
    st.curRow = int(std::clamp<int64_t>(row, 0, st.lastRow));
    st.curCol = int(std::clamp<int64_t>(col, 0, st.lastCol));
}

// -- transparent print ------------------------------------------------------

void printEnd(UnixCtx& c) {
    int32_t& handle = uxTprint(c.sess);
    if (handle != 0) cuAuxOff();
    handle = 0;
    uxFlags(c.sess) &= uint16_t(~UNIX_FLAG_TRANSPRINT);
}

void printBytes(UnixCtx& c, const uint8_t* bytes, int n) {
    if (cuAuxWrite(nullptr, bytes, n) <= 0) printEnd(c);
}

bool printing(const UnixCtx& c) { return (uxFlags(c.sess) & UNIX_FLAG_TRANSPRINT) != 0; }

// -- text -------------------------------------------------------------------

constexpr std::array<uint8_t, 256> makeLineGraphics() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = uint8_t(i);
    t['\''] = 0x1B; t[','] = 0x1B; t['+'] = 0x1A; t['-'] = 0x18; t['.'] = 0x19;
    t['0'] = 0xDB; t['I'] = 0x0C; t['`'] = 0x10; t['a'] = 0xB0; t['f'] = 0xF8;
    t['g'] = 0xF1; t['h'] = 0xFE; t['~'] = 0x07; t['j'] = 0xD9; t['k'] = 0xBF;
    t['l'] = 0xDA; t['m'] = 0xC0; t['n'] = 0xC5; t['o'] = 0xC4; t['q'] = 0xC4;
    t['s'] = '_';  t['t'] = 0xC3; t['u'] = 0xB4; t['v'] = 0xC1; t['w'] = 0xC2;
    t['x'] = 0xB3;
    return t;
}
constexpr std::array<uint8_t, 256> lineGraphics = makeLineGraphics();

void writeText(UnixCtx& c, const uint8_t* bytes, int n) {
    if (n <= 0) return;
    if (printing(c)) {
        printBytes(c, bytes, n);
        return;
    }
    UnixState& st = c.st;
    std::array<uint8_t, UNIX_PARSE_MAX> shown;
    if (st.lineGraphics) {
        n = std::min(n, UNIX_PARSE_MAX);
        for (int i = 0; i < n; ++i) shown[i] = lineGraphics[bytes[i]];
        bytes = shown.data();
    }
    if (!st.insertMode) {
        while (n > 0) {
            if (st.pendingWrap) wrap(c);
            const int count = std::min(n, st.lastCol - st.curCol + 1);
            cuPutText(bytes, count, st.curRow, st.curCol, st.attr);
            motion(c, Move::H, count, 0);
            bytes += count;
            n -= count;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (st.pendingWrap) {
            // Wrapping in the middle of the region opens a blank line below.
            if (st.curRow != st.bottom && st.curRow + 1 < st.bottom)
                scrollRows(c, st.curRow + 1, st.bottom, 1, false);
            wrap(c);
        }
        if (st.curCol < st.lastCol)
            cuMoveBlock(st.curRow, st.curCol, st.curRow, st.lastCol - 1, st.curRow, st.curCol + 1);
        cuPutText(bytes + i, 1, st.curRow, st.curCol, st.attr);
        motion(c, Move::H, 1, 0);
    }
}

// -- replies ----------------------------------------------------------------

void sendReply(UnixCtx& c, const char* text, int n) {
    if (n <= 0) return;
    if (uxHostWrite(c.sess, reinterpret_cast<const uint8_t*>(text), n) < 0) {
        std::fputs("Communication Error ", stdout);
        std::fflush(stdout);
    }
}

// The computer name, or the remote client's name in a remote session.
void workstationName(char* out, int size) {
    out[0] = 0;
    const char* client = std::getenv("CLIENTNAME");
    if (client && *client && strncasecmp(client, "console", 7) != 0) {
        std::snprintf(out, size_t(size), "%s", client);
        return;
    }
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) == 0) std::snprintf(out, size_t(size), "%s", host.data());
}

int sessionNumber(const UnixCtx& c) { return uxSlot(c.sess) + 1; }

void replyDeviceAttributes(UnixCtx& c) {
    UnixState& st = c.st;
    std::array<uint8_t, 4> a{};
    uxLocalAddr(c.sess, a.data());
    const unsigned port = uxListenPort();
    const int sn = sessionNumber(c);
    char* buf = reinterpret_cast<char*>(st.reply.data());
    const int size = int(st.reply.size());
    std::array<char, 256> name{};
    workstationName(name.data(), int(name.size()));
    int n;
    if (name[0]) {
        n = std::snprintf(buf, size_t(size), "\x1b[?%d;%d;%d;%d;%d;%d;%d;%u;%d;'", 1234, 9, sn, a[0], a[1], a[2],
                          a[3], port, sn);
        // Cut the name, never the closing "'c".
        const int room = size - n - 3;
        if (room < 0) return;
        const int len = std::min<int>(int(std::strlen(name.data())), room);
        std::memcpy(buf + n, name.data(), size_t(len));
        n += len;
        buf[n++] = '\'';
        buf[n++] = 'c';
        buf[n] = 0;
    } else {
        n = std::snprintf(buf, size_t(size), "\x1b[?%d;%d;%d;%d;%d;%d;%d;%u;%dc", 1234, 9, sn, a[0], a[1], a[2],
                          a[3], port, sn);
    }
    sendReply(c, buf, std::min(n, size - 1));
}

void replyCursor(UnixCtx& c) {
    char* buf = reinterpret_cast<char*>(c.st.reply.data());
    const int size = int(c.st.reply.size());
    const int n = std::snprintf(buf, size_t(size), "\x1b[%d;%dR", c.st.curRow + 1, c.st.curCol + 1);
    sendReply(c, buf, std::min(n, size - 1));
}

void replyOpen(UnixCtx& c) {
    std::array<uint8_t, 4> a{};
    uxLocalAddr(c.sess, a.data());
    char* buf = reinterpret_cast<char*>(c.st.reply.data());
    const int size = int(c.st.reply.size());
    const int n = std::snprintf(buf, size_t(size), "%s%02x%02x%02x%02x.%04x.%04x%s\r", "\x1b$ACK", a[0], a[1], a[2],
                                a[3], uxListenPort() & 0xFFFFu, unsigned(sessionNumber(c)), "m");
    sendReply(c, buf, std::min(n, size - 1));
}

// -- handlers ---------------------------------------------------------------

void hEchoOn(UnixCtx& c) {
    uxFlags(c.sess) |= UNIX_FLAG_LOCALECHO;
    logPrintf("#Turning on Oracle Optimizing...\n");
    uxStatusUpdate(uxSlot(c.sess));
}
void hEchoOff(UnixCtx& c) {
    uxFlags(c.sess) &= uint16_t(~UNIX_FLAG_LOCALECHO);
    logPrintf("#Turning off Oracle Optimizing...\n");
    uxStatusUpdate(uxSlot(c.sess));
}
void hBell(UnixCtx&) { cuBell(); }
void hBackspace(UnixCtx& c) { motion(c, Move::H, -1, 0); }
void hTab(UnixCtx& c) {
    UnixState& st = c.st;
    const int cols = std::min<int>(st.lastCol + 1, int(st.tabs.size()));
    for (int i = st.curCol + 1; i < cols; ++i)
        if (st.tabs[i]) {
            motion(c, Move::H, i - st.curCol, 0);
            return;
        }
    for (int j = 0; j < cols; ++j)
        if (st.tabs[j]) {
            motion(c, Move::H, (st.lastCol + 1 - st.curCol) + j, 0);
            return;
        }
}
void hLineFeed(UnixCtx& c) { motion(c, Move::V, 0, 1); }
void hFormFeed(UnixCtx& c) {
    c.st.attr = CU_ATTR_UNIX_NORMAL;
    if (c.st.pendingWrap) wrap(c);
    motion(c, Move::Both, -c.st.curCol, 1);
}
void hReturn(UnixCtx& c) {
    c.st.pendingWrap = 0;
    c.st.curCol = 0;
    c.st.curRow = std::min(c.st.curRow, c.st.lastRow);
}
void hGraphicsOn(UnixCtx& c) { c.st.lineGraphics = 1; }
void hGraphicsOff(UnixCtx& c) { c.st.lineGraphics = 0; }
void hDeviceAttr(UnixCtx& c) { replyDeviceAttributes(c); }
void hTabClear(UnixCtx& c) {
    if (c.st.curCol < int(c.st.tabs.size())) c.st.tabs[c.st.curCol] = 0;
}
void hTabClearAll(UnixCtx& c) { std::fill(c.st.tabs.begin(), c.st.tabs.end(), 0); }
void hTabSet(UnixCtx& c) {
    if (c.st.curCol < int(c.st.tabs.size())) c.st.tabs[c.st.curCol] = 1;
}
void hKbdLock(UnixCtx& c) {
    c.st.kbdFlags |= UNIX_KBD_LOCKED;
    logPrintf("#Keyboard Locked\n");
}
void hKbdUnlock(UnixCtx& c) {
    c.st.kbdFlags &= ~UNIX_KBD_LOCKED;
    logPrintf("#Keyboard unlocked\n");
}
void hInsertOn(UnixCtx& c) { c.st.insertMode = 1; }
void hInsertOff(UnixCtx& c) { c.st.insertMode = 0; }
void hCursorOn(UnixCtx& c) { c.st.cursorVisible = 1; }
void hCursorOff(UnixCtx& c) { c.st.cursorVisible = 0; }
void hAppKeysOn(UnixCtx& c) {
    if (lastParam() == 1) c.st.kbdFlags |= UNIX_KBD_APPCURSOR;
}
void hAppKeysOff(UnixCtx& c) {
    if (lastParam() == 1) c.st.kbdFlags &= ~UNIX_KBD_APPCURSOR;
}
void hPrintOff(UnixCtx& c) { printEnd(c); }
void hPrintOn(UnixCtx& c) {
    if (printing(c)) return;
    const int handle = cuAuxOn();
    // A job that could not be started leaves the output on the screen.
    if (handle == 0) return;
    uxTprint(c.sess) = handle;
    uxFlags(c.sess) |= UNIX_FLAG_TRANSPRINT;
}
void hEraseScreen(UnixCtx& c) {
    const UnixState& st = c.st;
    cuFill(' ', st.lastCol + 1 - st.curCol, st.curRow, st.curCol, CU_ATTR_UNIX_NORMAL);
    for (int r = st.curRow + 1; r <= st.lastRow; ++r) cuFill(' ', st.lastCol + 1, r, 0, CU_ATTR_UNIX_NORMAL);
}
void hEraseLine(UnixCtx& c) {
    cuFill(' ', c.st.lastCol + 1 - c.st.curCol, c.st.curRow, c.st.curCol, CU_ATTR_UNIX_NORMAL);
}
void hEraseLineStart(UnixCtx& c) { cuFill(' ', c.st.curCol + 1, c.st.curRow, 0, CU_ATTR_UNIX_NORMAL); }

int sgrValue(int p, int current) {
    switch (p) {
    case 1: return CU_ATTR_UNIX_BOLD;
    case 2: return CU_ATTR_UNIX_LOW;
    case 4: return CU_ATTR_UNIX_UNDERLINED;
    case 5: return CU_ATTR_UNIX_BLINK;
    case 7: return CU_ATTR_UNIX_REVERSE;
    case 8: return CU_ATTR_UNIX_OFF;
    case 3: case 6: case 9: return CU_ATTR_UNIX_NORMAL;
    default: return current;
    }
}
void hSelectAttr(UnixCtx& c) {
    const int first = unixParamCount > 0 ? unixParams[0] : 0;
    const int byFirst = (first == 0 || first >= 10) ? CU_ATTR_UNIX_NORMAL : sgrValue(first, CU_ATTR_UNIX_NORMAL);
    int a = CU_ATTR_UNIX_NORMAL;
    for (int i = 0; i < unixParamCount; ++i) {
        const int p = unixParams[i];
        if (p >= 10) continue;
        a = p == 0 ? byFirst : sgrValue(p, a);
    }
    c.st.attr = uint8_t(a);
}
void hAttrNormal(UnixCtx& c) { c.st.attr = CU_ATTR_UNIX_NORMAL; }
void hAttrBold(UnixCtx& c) { c.st.attr = CU_ATTR_UNIX_BOLD; }
void hAttrUnderline(UnixCtx& c) { c.st.attr = CU_ATTR_UNIX_UNDERLINED; }
void hAttrBlink(UnixCtx& c) { c.st.attr = CU_ATTR_UNIX_BLINK; }
void hAttrReverse(UnixCtx& c) { c.st.attr = CU_ATTR_UNIX_REVERSE; }
void hCursorReport(UnixCtx& c) { replyCursor(c); }
void hSetRegion(UnixCtx& c) {
    UnixState& st = c.st;
    int top = paramFromEnd(2) - 1, bottom = paramFromEnd(1) - 1;
    if (top < 0) top = 0;
    if (bottom < 0) bottom = st.lastRow;
    // Margins beyond the grid are held to it, so no scroll leaves the grid.
    st.top = std::min(top, st.lastRow);
    st.bottom = std::min(bottom, st.lastRow);
}
void hResetRegion(UnixCtx& c) {
    c.st.top = 0;
    c.st.bottom = c.st.lastRow;
}
void hUp1(UnixCtx& c) { motion(c, Move::V, 0, -1); }
void hUpN(UnixCtx& c) { motion(c, Move::V, 0, -int64_t(lastParam())); }
void hDown1(UnixCtx& c) { motion(c, Move::V, 0, 1); }
void hDownN(UnixCtx& c) { motion(c, Move::V, 0, lastParam()); }
void hRight1(UnixCtx& c) { motion(c, Move::H, 1, 0); }
void hRightN(UnixCtx& c) { motion(c, Move::H, lastParam(), 0); }
void hLeftN(UnixCtx& c) { motion(c, Move::H, -int64_t(lastParam()), 0); }
void hCursorTo(UnixCtx& c) {
    UnixState& st = c.st;
    st.pendingWrap = 0;
    st.curRow = std::clamp(paramFromEnd(2) - 1, 0, st.lastRow);
    st.curCol = std::clamp(paramFromEnd(1) - 1, 0, st.lastCol);
}
void hHome(UnixCtx& c) {
    c.st.pendingWrap = 0;
    c.st.curRow = c.st.curCol = 0;
}
void lines(UnixCtx& c, int n, bool up) {
    const UnixState& st = c.st;
    if (n <= 0 || st.curRow >= st.bottom) return;
    scrollRows(c, st.curRow, st.bottom, n, up);
}
void hDeleteLinesN(UnixCtx& c) { lines(c, lastParam(), true); }
void hDeleteLine(UnixCtx& c) { lines(c, 1, true); }
void hInsertLinesN(UnixCtx& c) { lines(c, lastParam(), false); }
void hInsertLine(UnixCtx& c) { lines(c, 1, false); }
void hDeleteChar(UnixCtx& c) {
    UnixState& st = c.st;
    const int count = st.lastCol + 1 - st.curCol;
    if (count <= 0 || int(st.reply.size()) < 2 * count) return;
    uint8_t* cells = st.reply.data();
    cuGetCells(cells, count, st.curRow, st.curCol);
    std::memmove(cells, cells + 2, size_t(2 * (count - 1)));
    cells[2 * (count - 1)] = ' ';
    cells[2 * (count - 1) + 1] = st.attr;
    cuPutCells(cells, count, st.curRow, st.curCol);
}
void hSaveCursor(UnixCtx& c) {
    c.st.savedCol = c.st.curCol;
    c.st.savedRow = c.st.curRow;
}
void hRestoreCursor(UnixCtx& c) {
    // A grid shrunk since the save keeps the cursor inside it.
    c.st.curCol = std::clamp(c.st.savedCol, 0, c.st.lastCol);
    c.st.curRow = std::clamp(c.st.savedRow, 0, c.st.lastRow);
}
void hIndex(UnixCtx& c) { scrollRegion(c, true); }
void hReverseIndex(UnixCtx& c) { scrollRegion(c, false); }
void hOpen(UnixCtx& c) { replyOpen(c); }

constexpr UnixSeq seq(UnixHandler h, const char* p) {
    UnixSeq e{h, {}, 0, 1, 0, 0, 1};
    int n = 0;
    while (p[n] && n < PATTERN_MAX - 1) {
        e.pattern[n] = p[n];
        ++n;
    }
    e.length = n;
    return e;
}

// Terminal type 'V': tried in this order, the first match wins.
constexpr std::array<UnixSeq, UNIX_SEQ_COUNT> seqDefaultsV = {{
    seq(hEchoOn, "\x1b[?99h"),     // 0
    seq(hEchoOff, "\x1b[?99l"),    // 1
    seq(hBell, "\x07"),
    seq(hBackspace, "\x08"),
    seq(hTab, "\x09"),
    seq(hLineFeed, "\x0a"),        // 5
    seq(hFormFeed, "\x0c"),
    seq(hReturn, "\x0d"),
    seq(hGraphicsOn, "\x0e"),
    seq(hGraphicsOff, "\x0f"),
    seq(hDeviceAttr, "\x1b[c"),    // 10
    seq(nullptr, "\x1b[?*c"),
    seq(hTabClear, "\x1b[g"),
    seq(hTabClearAll, "\x1b[3g"),
    seq(hKbdLock, "\x1b[2h"),
    seq(hInsertOn, "\x1b[4h"),     // 15
    seq(hCursorOn, "\x1b[?25h"),
    seq(hAppKeysOn, "\x1b[?#h"),
    seq(hPrintOff, "\x1b[4i"),
    seq(hPrintOn, "\x1b[5i"),
    seq(hEraseScreen, "\x1b[J"),   // 20
    seq(hEraseScreen, "\x1b[2J"),
    seq(hEraseLine, "\x1b[K"),
    seq(hEraseLineStart, "\x1b[1K"),
    seq(hKbdUnlock, "\x1b[2l"),
    seq(hInsertOff, "\x1b[4l"),    // 25
    seq(hCursorOff, "\x1b[?25l"),
    seq(hAppKeysOff, "\x1b[?#l"),
    seq(hSelectAttr, "\x1b[*m"),
    seq(hAttrNormal, "\x1b[m"),
    seq(hAttrBold, "\x1b[1m"),     // 30
    seq(hAttrUnderline, "\x1b[4m"),
    seq(hAttrBlink, "\x1b[5m"),
    seq(hAttrReverse, "\x1b[7m"),
    seq(nullptr, "\x1b[1;7m"),
    seq(hCursorReport, "\x1b[6n"), // 35
    seq(hSetRegion, "\x1b[#;#r"),
    seq(hResetRegion, "\x1b[r"),
    seq(hUp1, "\x1b[A"),
    seq(hUpN, "\x1b[#A"),
    seq(hDown1, "\x1b[B"),         // 40
    seq(hDownN, "\x1b[#B"),
    seq(hRight1, "\x1b[C"),
    seq(hRightN, "\x1b[#C"),
    seq(hLeftN, "\x1b[#D"),
    seq(hCursorTo, "\x1b[#;#H"),   // 45
    seq(hHome, "\x1b[H"),
    seq(hDeleteLinesN, "\x1b[#M"),
    seq(hDeleteLine, "\x1b[M"),
    seq(hInsertLinesN, "\x1b[#L"),
    seq(hInsertLine, "\x1b[L"),    // 50
    seq(hDeleteChar, "\x1b[P"),
    seq(hSaveCursor, "\x1b" "7"),
    seq(hRestoreCursor, "\x1b" "8"),
    seq(hIndex, "\x1b" "D"),
    seq(hTabSet, "\x1b" "H"),      // 55
    seq(hReverseIndex, "\x1b" "M"),
    seq(hDeviceAttr, "\x1b" "Z"),
    seq(nullptr, "\x1b="),
    seq(nullptr, "\x1b>"),
    seq(hGraphicsOn, "\x1b(0"),    // 60
    seq(hGraphicsOff, "\x1b(B"),
    seq(nullptr, "\x1b(0"),
    seq(nullptr, "\x1b(1"),
    seq(nullptr, "\x1b(2"),
    seq(nullptr, "\x1b(A"),        // 65
    seq(nullptr, "\x1b(B"),
    seq(nullptr, "\x1b)0"),
    seq(nullptr, "\x1b)1"),
    seq(nullptr, "\x1b)2"),
    seq(nullptr, "\x1b)A"),        // 70
    seq(nullptr, "\x1b)B"),
    seq(hOpen, "\x1b$OPEN"),
    seq(nullptr, "\x1b$ACK++++++++++++++++++m+"),
}};

constexpr int SEQ_PRINT_OFF = 18;
constexpr int SEQ_PRINT_ON = 19;

bool isPatternChar(char ch) { return ch == '#' || ch == '*' || ch == '+'; }

// The live table: the defaults with the start-up replacements of entries 0
// and 1, and an index of the entries each leading byte can start.
struct SeqIndex {
    std::array<std::array<uint8_t, UNIX_SEQ_COUNT>, 256> ids;
    std::array<uint8_t, 256> count;
};

std::array<UnixSeq, UNIX_SEQ_COUNT> seqTableV = seqDefaultsV;
SeqIndex indexFirst;      // by byte 0
SeqIndex indexEsc;        // ESC, by byte 1
SeqIndex indexCsi;        // ESC [, by byte 2
bool tableReady = false;

bool isParamStart(uint8_t b) { return (b >= '0' && b <= '9') || b == ';'; }

// Whether input byte b at position pos can still lead to a match of e. Only
// refuses what the matcher itself would refuse at that position.
bool canAccept(const UnixSeq& e, int pos, uint8_t b) {
    if (e.literal) return pos >= e.length || uint8_t(e.pattern[pos]) == b;
    if (pos < e.prefixLen) return uint8_t(e.pattern[pos]) == b;
    if (pos == e.prefixLen) {
        const char ch = e.pattern[pos];
        return ch == '+' || isParamStart(b);
    }
    return true;
}

bool acceptsPrefix(const UnixSeq& e, const uint8_t* lead, int n) {
    for (int i = 0; i < n; ++i)
        if (!canAccept(e, i, lead[i])) return false;
    return true;
}

void buildIndex(SeqIndex& ix, const uint8_t* lead, int n) {
    std::array<uint8_t, 3> probe{};
    std::copy(lead, lead + n, probe.begin());
    for (int b = 0; b < 256; ++b) {
        probe[n] = uint8_t(b);
        ix.count[b] = 0;
        for (int i = 0; i < UNIX_SEQ_COUNT; ++i)
            if (acceptsPrefix(seqTableV[i], probe.data(), n + 1)) ix.ids[b][ix.count[b]++] = uint8_t(i);
    }
}

void prepareTable() {
    for (UnixSeq& e : seqTableV) {
        int p = 0;
        while (p < e.length && !isPatternChar(e.pattern[p])) ++p;
        e.prefixLen = p;
        e.literal = p == e.length ? 1 : 0;
        e.last = e.length > 0 ? uint8_t(e.pattern[size_t(e.length - 1)]) : 0;
        e.anyEnd = (e.length <= 2 || isPatternChar(char(e.last)) || isParamStart(e.last)) ? 1 : 0;
    }
    // The local-echo switches may be replaced by anything.
    seqTableV[0].anyEnd = seqTableV[1].anyEnd = 1;
    const uint8_t esc[2] = {0x1b, '['};
    buildIndex(indexFirst, esc, 0);
    buildIndex(indexEsc, esc, 1);
    buildIndex(indexCsi, esc, 2);
    tableReady = true;
}

// -- pattern matching -------------------------------------------------------

constexpr int MATCH_NONE = 0;
constexpr int MATCH_INCOMPLETE = -1;

void pushParam(int32_t v) {
    if (unixParamCount < UNIX_PARAM_MAX) unixParams[unixParamCount++] = v;
}

bool isDigit(uint8_t b) { return b >= '0' && b <= '9'; }

// Reads a decimal number at in[i..n); saturates instead of overflowing.
int readNumber(const uint8_t* in, int n, int& i) {
    int32_t v = 0;
    while (i < n && isDigit(in[i])) {
        v = v > 99999999 ? 999999999 : v * 10 + (in[i] - '0');
        ++i;
    }
    return v;
}

// Bytes matched (> 0), MATCH_NONE or MATCH_INCOMPLETE.
int matchEntry(const UnixSeq& e, const uint8_t* in, int n) {
    if (n == 0) return MATCH_NONE;
    const char* pat = e.pattern.data();
    if (e.literal) {
        const int m = std::min(n, int(e.length));
        if (std::memcmp(in, pat, size_t(m)) != 0) return MATCH_NONE;
        return n < e.length ? MATCH_INCOMPLETE : e.length;
    }
    const int p = e.prefixLen;
    if (std::memcmp(in, pat, size_t(std::min(n, p))) != 0) return MATCH_NONE;
    if (n < p) return MATCH_INCOMPLETE;
    if (n > p && (pat[p] == '#' || pat[p] == '*') && !isParamStart(in[p])) return MATCH_NONE;
    unixParamCount = 0;
    int i = p;
    for (int k = p; k < e.length; ++k) {
        const char ch = pat[k];
        if (ch == '#') {
            const int v = readNumber(in, n, i);
            if (i >= n) return MATCH_INCOMPLETE;
            pushParam(v);
        } else if (ch == '*') {
            for (;;) {
                if (i >= n) return MATCH_INCOMPLETE;
                if (isDigit(in[i])) {
                    const int v = readNumber(in, n, i);
                    if (i >= n) return MATCH_INCOMPLETE;
                    pushParam(v);
                    if (in[i] != ';') break;
                    ++i;
                } else if (in[i] == ';') {
                    pushParam(0);
                    ++i;
                } else {
                    break;
                }
            }
        } else if (ch == '+') {
            if (i >= n) return MATCH_INCOMPLETE;
            pushParam(in[i]);
            ++i;
        } else {
            if (i >= n) return MATCH_INCOMPLETE;
            if (in[i] != uint8_t(ch)) return MATCH_NONE;
            ++i;
        }
    }
    return i;
}

// First entry in table order that matches: its index and length; or -1 with
// *incomplete telling whether some entry needs more bytes.
int matchTable(const UnixState& st, const uint8_t* in, int n, int* length, bool* incomplete) {
    const UnixSeq* table = st.seqTable;
    const uint8_t* ids;
    int count;
    int final = -1;
    if (n >= 3 && in[0] == 0x1b && in[1] == '[') {
        ids = indexCsi.ids[in[2]].data();
        count = indexCsi.count[in[2]];
        // ESC [ [?] digits and ";" then a final byte: only entries that end
        // in that byte can match, and none of the others can be incomplete.
        int j = in[2] == '?' ? 3 : 2;
        while (j < n && isParamStart(in[j])) ++j;
        if (j < n) final = in[j];
    } else if (n >= 2 && in[0] == 0x1b) {
        ids = indexEsc.ids[in[1]].data();
        count = indexEsc.count[in[1]];
    } else {
        ids = indexFirst.ids[in[0]].data();
        count = indexFirst.count[in[0]];
    }
    *incomplete = false;
    for (int j = 0; j < count; ++j) {
        const UnixSeq& e = table[ids[j]];
        if (final >= 0 && !e.anyEnd && e.last != final) continue;
        const int r = matchEntry(e, in, n);
        if (r > 0) {
            *length = r;
            return ids[j];
        }
        if (r == MATCH_INCOMPLETE) *incomplete = true;
    }
    return -1;
}

// Bytes that may start a sequence: 0x07..0x0A, 0x0C..0x0F, ESC.
constexpr std::array<bool, 256> makeControlSet() {
    std::array<bool, 256> t{};
    for (int b = 0x07; b <= 0x0F; ++b) t[b] = b != 0x0B;
    t[0x1b] = true;
    return t;
}
constexpr std::array<bool, 256> controlSet = makeControlSet();

// Works through the parse buffer; leaves an incomplete tail at its front.
void work(UnixCtx& c) {
    UnixState& st = c.st;
    uint8_t* buf = st.parse.data();
    const int n = st.parseCount;
    int pos = 0;
    while (pos < n) {
        int k = pos;
        while (k < n && !controlSet[buf[k]]) ++k;
        if (k > pos) {
            writeText(c, buf + pos, k - pos);
            pos = k;
            continue;
        }
        int length = 0;
        bool incomplete = false;
        const int id = matchTable(st, buf + pos, n - pos, &length, &incomplete);
        if (id >= 0) {
            if (printing(c) && id != SEQ_PRINT_ON && id != SEQ_PRINT_OFF)
                printBytes(c, buf + pos, length);
            else if (st.seqTable[id].handler)
                st.seqTable[id].handler(c);
            pos += length;
            continue;
        }
        if (incomplete) {
            // A sequence that fills the whole buffer can never complete.
            if (pos == 0 && n == UNIX_PARSE_MAX) {
                writeText(c, buf, n);
                pos = n;
            }
            break;
        }
        writeText(c, buf + pos, n - pos);
        pos = n;
    }
    if (pos > 0) std::memmove(buf, buf + pos, size_t(n - pos));
    st.parseCount = n - pos;
}

// -- key table --------------------------------------------------------------

constexpr std::array<UnixKey, UNIX_KEY_COUNT> keyTableV = {{
    {0x0008, "\x08", nullptr},
    {0x4800, "\x1b[A", "\x1bOA"},
    {0x5000, "\x1b[B", "\x1bOB"},
    {0x4D00, "\x1b[C", "\x1bOC"},
    {0x4B00, "\x1b[D", "\x1bOD"},
    {0x3B00, "\x1bOP", nullptr},
    {0x3C00, "\x1bOQ", nullptr},
    {0x3D00, "\x1bOR", nullptr},
    {0x3E00, "\x1bOS", nullptr},
    {0x3F00, "\x1b[17~", nullptr},
    {0x4000, "\x1b[18~", nullptr},
    {0x4100, "\x1b[19~", nullptr},
    {0x4200, "\x1b[20~", nullptr},
    {0x4300, "\x1b[21~", nullptr},
    {0x4400, "\x1b[22~", nullptr},
    {0x8500, "\x1b[23~", nullptr},
    {0x8600, "\x1b[24~", nullptr},
    {0x5400, "\x1b[23~", nullptr},
    {0x5500, "\x1b[24~", nullptr},
    {0x5600, "\x1b[25~", nullptr},
    {0x5700, "\x1b[26~", nullptr},
    {0x5800, "\x1b[27~", nullptr},
    {0x5900, "\x1b[28~", nullptr},
    {0x5A00, "\x1b[29~", nullptr},
    {0x5B00, "\x1b[30~", nullptr},
    {0x5C00, "\x1b[31~", nullptr},
    {0x5D00, "\x1b[32~", nullptr},
    {0x8700, "\x1b[33~", nullptr},
    {0x8800, "\x1b[34~", nullptr},
    {0x5E00, "\x1b[33~", nullptr},
    {0x5F00, "\x1b[34~", nullptr},
    {0x0F00, "\x1b[Z", nullptr},
    {0x5200, "\x1b[1~", nullptr},
    {0x4700, "\x1b[2~", nullptr},
    {0x4900, "\x1b[3~", nullptr},
    {0x5300, "\x1b[4~", nullptr},
    {0x4F00, "\x1b[5~", nullptr},
    {0x5100, "\x1b[6~", nullptr},
    {0xC600, "\x1bOM", nullptr},
    {0x7800, "\x1b", nullptr},
}};

// -- local echo -------------------------------------------------------------

void echoAppend(UnixState& st, const char* text, int n) {
    n = std::min(n, UNIX_ECHO_MAX - st.echoLen);
    if (n <= 0 || !st.echoText) return;
    std::memcpy(st.echoText->data() + st.echoLen, text, size_t(n));
    st.echoLen += n;
}

void echoFlush(ChSession* s, UnixState& st) {
    if (!st.echoText || st.echoLen == 0) return;
    cuPopCursor();
    if (uxHostWrite(s, reinterpret_cast<const uint8_t*>(st.echoText->data()), st.echoLen) < 0 &&
        cuFocusScreen() != nullptr) {
        logPrintf("Post IDM_FILECLOSE\n");
        uxPostFileClose();
    }
    st.echoText.reset();
    st.echoLen = 0;
}

// Appends to held text and sends it all; 1 when text was held, else 0.
int echoJoinFlush(ChSession* s, UnixState& st, const char* text, int n) {
    if (!st.echoText) return 0;
    if (st.echoLen + n > UNIX_ECHO_MAX) {
        echoFlush(s, st);
        return 0;
    }
    echoAppend(st, text, n);
    echoFlush(s, st);
    return 1;
}

int hexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

void replacePattern(UnixSeq& e, const char* value) {
    if (!value || !*value) return;
    e.pattern.fill(0);
    int n = 0;
    for (int i = 0; value[i] && n < UNIX_OPT_PATTERN_MAX;) {
        int hi, lo;
        if (value[i] == '\\' && value[i + 1] == 'x' && (hi = hexDigit(value[i + 2])) >= 0 &&
            (lo = hexDigit(value[i + 3])) >= 0) {
            e.pattern[n++] = char(hi * 16 + lo);
            i += 4;
        } else {
            e.pattern[n++] = value[i++];
        }
    }
    e.length = n;
}

}  // namespace

// ---------------------------------------------------------------------------

void unixSetOptimizePatterns(const char* on, const char* off) {
    seqTableV[0] = seqDefaultsV[0];
    seqTableV[1] = seqDefaultsV[1];
    replacePattern(seqTableV[0], on);
    replacePattern(seqTableV[1], off);
    prepareTable();
}

int unixInit(ChSession* sess, int type, int rows, int cols, bool full) {
    if (!sess || rows < 1 || cols < 1) return -1;
    UnixState& st = uxState(sess);
    st.reply.assign(size_t(std::max(UNIX_REPLY_MIN, 2 * cols)), 0);
    st.lastRow = rows - 1;
    st.lastCol = cols - 1;
    st.top = 0;
    st.left = 0;
    st.bottom = rows - 1;
    st.right = cols - 1;
    if (full) {
        st.pendingWrap = 0;
        st.curCol = st.curRow = 0;
        st.savedCol = st.savedRow = 0;
        st.lineGraphics = 0;
        st.insertMode = 0;
        st.attr = CU_ATTR_UNIX_NORMAL;
        st.cursorVisible = 1;
        st.parseCount = 0;
        uxTprint(sess) = 0;
        st.kbdFlags = 0;
        st.echoText.reset();
        st.echoLen = 0;
        st.scrollCount = 0;
    } else {
        st.curRow = std::min(st.curRow, st.lastRow);
        st.curCol = std::min(st.curCol, st.lastCol);
    }
    if (type) {
        if (!tableReady) prepareTable();
        st.termType = UNIX_TYPE_V;
        st.seqTable = seqTableV.data();
        st.seqCount = UNIX_SEQ_COUNT;
        st.keyTable = keyTableV.data();
        st.keyCount = UNIX_KEY_COUNT;
        st.tabs.assign(size_t(cols), 0);
        for (int i = 0; i < cols; i += 8) st.tabs[size_t(i)] = 1;
    }
    return 0;
}

void unixFree(UnixState& st) {
    st.tabs = {};
    st.reply = {};
    st.echoText.reset();
    st.echoLen = 0;
}

int unixOut(const uint8_t* bytes, int length) { return unixOutSession(uxCurrent(), bytes, length); }

int unixOutSession(ChSession* s, const uint8_t* bytes, int length) {
    if (!s || !cuScrPtr) return -1;
    UnixState& st = uxState(s);
    if (!st.seqTable || st.reply.empty()) return -1;
    // The screen may have been resized without the interpreter being told.
    if (st.lastRow != cuScrPtr->Rows - 1 || st.lastCol != cuScrPtr->Cols - 1)
        unixInit(s, st.termType, cuScrPtr->Rows, cuScrPtr->Cols, false);
    UnixCtx c{s, st};
    cuSetCursorShape(CU_CURSOR_UNDERLINE);
    int shape;
    cuGetCursor(&st.curRow, &st.curCol, &shape);
    st.curRow = std::clamp(st.curRow, 0, st.lastRow);
    st.curCol = std::clamp(st.curCol, 0, st.lastCol);
    int i = 0;
    while (bytes && i < length) {
        // Fill the parse buffer, leaving out NUL bytes.
        while (i < length && st.parseCount < UNIX_PARSE_MAX) {
            const int room = std::min(UNIX_PARSE_MAX - st.parseCount, length - i);
            const void* nul = std::memchr(bytes + i, 0, size_t(room));
            const int take = nul ? int(static_cast<const uint8_t*>(nul) - (bytes + i)) : room;
            std::memcpy(st.parse.data() + st.parseCount, bytes + i, size_t(take));
            st.parseCount += take;
            i += take + (nul ? 1 : 0);
        }
        work(c);
    }
    cuSetCursorShape(st.cursorVisible ? CU_CURSOR_BLOCK : CU_CURSOR_UNDERLINE);
    cuSetCursor(st.curRow, st.curCol);
    return 0;
}

int doLocalEcho(const char* text, int length) {
    ChSession* s = uxCurrent();
    if (!s || !text || length < 0) return 0;
    UnixState& st = uxState(s);
    uint16_t& flags = uxFlags(s);
    if (!(flags & UNIX_FLAG_LOCALECHO)) {
        echoFlush(s, st);
        return 0;
    }
    if (flags & UNIX_FLAG_SKIPECHO) {
        flags &= uint16_t(~UNIX_FLAG_SKIPECHO);
        return echoJoinFlush(s, st, text, length);
    }
    int row = 0, col = 0, shape = 0;
    cuGetCursor(&row, &col, &shape);
    std::array<uint8_t, 2> cell{};
    cuGetCells(cell.data(), 1, row, col + 1);
    logPrintf("#doLocalEcho: char %x, attribute %x\n", cell[0], cell[1]);
    if (cell[1] != CU_ATTR_UNIX_REVERSE) return echoJoinFlush(s, st, text, length);
    for (int i = 0; i < length; ++i) {
        const uint8_t b = uint8_t(text[i]);
        if ((b < 0x20 || b > 0x7E) && uxUnixToWin(b) == b) return echoJoinFlush(s, st, text, length);
    }
    if (st.echoText && st.echoLen + length > UNIX_ECHO_MAX) {
        // No room: what is held goes first, this text goes unechoed after it.
        echoFlush(s, st);
        return 0;
    }
    if (!st.echoText) {
        st.echoText.reset(new (std::nothrow) std::array<char, UNIX_ECHO_MAX>());
        if (!st.echoText) return 0;
        st.echoLen = 0;
        cuPushCursor();
    }
    logPrintf("#doLocalEcho: text:%.*s\n", length, text);
    uxFlags(s) |= UNIX_FLAG_ACTIVITY;
    unixOutSession(s, reinterpret_cast<const uint8_t*>(text), length);
    uxStatusUpdate(uxSlot(s));
    echoAppend(st, text, length);
    return 1;
}

void unixEchoFlush() {
    ChSession* s = uxCurrent();
    if (s) echoFlush(s, uxState(s));
}

int unixKeyString(const UnixState& st, int32_t key, char* out, int cap) {
    if (!out || cap <= 0) return 0;
    for (int i = 0; st.keyTable && i < st.keyCount; ++i) {
        const UnixKey& k = st.keyTable[i];
        if (k.key != key) continue;
        const char* s = (st.kbdFlags & UNIX_KBD_APPCURSOR) && k.application ? k.application : k.normal;
        const int n = std::min<int>(int(std::strlen(s)), cap);
        std::memcpy(out, s, size_t(n));
        return n;
    }
    out[0] = char(key & 0xFF);
    return 1;
}

void unixLoadOptions() {
    std::array<char, UNIX_OPT_READ_MAX + 1> on{}, off{};
    cfgGetString("Options", "OptimizeOn", "", on.data(), int(on.size()));
    cfgGetString("Options", "OptimizeOff", "", off.data(), int(off.size()));
    unixSetOptimizePatterns(on.data(), off.data());
}
