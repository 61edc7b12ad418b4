// CUSCR: the per-session screen buffer and its table of screens.
#include "core/cuscr.h"

#include "auto/macro.h"
#include "common/codes.h"
#include "common/log.h"
#include "print/prnt.h"
#include "ui/errbox.h"
#include "ui/profile.h"
#include "ui/render.h"
#include "ui/uishell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <new>

CuScreen* cuScrPtr = nullptr;
uint16_t* cuCharPtr = nullptr;
uint8_t* cuAttrPtr = nullptr;
int cuCurSlot = -1;

bool cuClipDeleteLeadSpaces = true;
bool cuAutoCopy = true;

namespace {

constexpr const char* kUnit = "CUSCR";
constexpr uint32_t kNoBell = 0xFFFFFFFFu;
constexpr uint32_t kVisualBellMs = 333;

std::array<std::unique_ptr<CuScreen>, CU_MAX_SCREENS> screens;
CuScreen* focusScreen = nullptr;
PWnd mdiClient = 0;
uint32_t lastBellSecond = kNoBell;

// Frame codes of cuBox: top-left, top, top-right, left, right, bottom-left,
// bottom, bottom-right.
struct BoxStyle {
    int32_t style;
    std::array<uint16_t, 8> codes;
};
constexpr std::array<BoxStyle, 2> boxStyles{{
    {CU_BOX_SINGLE, {268, 269, 270, 271, 272, 273, 274, 275}},
    {CU_BOX_3D, {258, 259, 261, 262, 262, 265, 259, 267}},
}};

// Colour codes of cuSetColorRect: a digit or a letter per colour.
struct ColorCode {
    int digit;
    char letter;
    PRgb rgb;
};
constexpr PRgb kBlack = platRgb(0, 0, 0);
constexpr PRgb kYellow = platRgb(255, 255, 0);
constexpr std::array<ColorCode, 7> fgCodes{{
    {0, 'E', kBlack},
    {1, 'R', platRgb(255, 0, 0)},
    {2, 'G', platRgb(0, 255, 0)},
    {4, 'B', platRgb(0, 0, 255)},
    {5, 'M', platRgb(255, 0, 255)},
    {6, 'C', platRgb(0, 255, 255)},
    {7, 'W', platRgb(255, 255, 255)},
}};

PRgb colorOf(int code, PRgb otherwise, bool withYellow) {
    for (const ColorCode& c : fgCodes)
        if (code == c.digit || code == c.letter) return c.rgb;
    if (withYellow && (code == 3 || code == 'Y')) return kYellow;
    return otherwise;
}

// Cells of a grid: rows*cols character codes, then rows*cols attribute
// bytes in the words that follow.
std::unique_ptr<uint16_t[]> newCellBlock(int rows, int cols) {
    size_t n = (size_t)rows * (size_t)cols;
    size_t words = n + (n + 1) / 2;
    std::unique_ptr<uint16_t[]> block(new (std::nothrow) uint16_t[words]());
    if (!block) return block;
    std::fill_n(block.get(), n, (uint16_t)' ');
    std::fill_n(reinterpret_cast<uint8_t*>(block.get() + n), n, (uint8_t)CU_ATTR_UNIX_NORMAL);
    return block;
}

void attachCells(CuScreen* s) {
    s->chars = s->cellBlock.get();
    s->attrs = reinterpret_cast<uint8_t*>(s->chars + (size_t)s->Rows * (size_t)s->Cols);
    if (s == cuScrPtr) {
        cuCharPtr = s->chars;
        cuAttrPtr = s->attrs;
    }
}

bool inGrid(const CuScreen* s, int row, int col) {
    return row >= 0 && col >= 0 && row < s->Rows && col < s->Cols;
}

// Length of a run from (row, col) cut at the right edge; 0 when the start is
// outside the grid.
int clipRun(const CuScreen* s, int row, int col, int len) {
    if (!s || !inGrid(s, row, col) || len <= 0) return 0;
    return std::min(len, s->Cols - col);
}

size_t cellIndex(const CuScreen* s, int row, int col) { return (size_t)row * (size_t)s->Cols + (size_t)col; }

void invalidateAll() {
    if (cuScrPtr) cuInvalidate(0, 0, cuScrPtr->Rows - 1, cuScrPtr->Cols - 1);
}

void setFullRepaint(CuScreen* s) {
    s->dirty[0] = CuRect{0, 0, s->Rows - 1, s->Cols - 1};
    s->dirtyCount = 1;
    s->fullRepaint = 1;
}

// Stores one run of a repeated code or of bytes, writing only the cells that
// differ and invalidating the changed span. code < 0 takes the bytes.
int putRun(const uint8_t* bytes, int code, int len, int row, int col, int attr) {
    CuScreen* s = cuScrPtr;
    int n = clipRun(s, row, col, len);
    if (n == 0) return 0;
    size_t base = cellIndex(s, row, col);
    uint8_t a = (uint8_t)attr;
    int first = -1, last = -1;
    for (int i = 0; i < n; ++i) {
        uint16_t ch = bytes ? bytes[i] : (uint16_t)code;
        if (s->chars[base + i] != ch || s->attrs[base + i] != a) {
            s->chars[base + i] = ch;
            s->attrs[base + i] = a;
            if (first < 0) first = i;
            last = i;
        }
    }
    if (first >= 0) cuInvalidate(row, col + first, row, col + last);
    return n;
}

int bellMode() {
    // Bit 0: audible, bit 1: visual.
    char v[16];
    cfgGetString("Options", "Beep", "", v, sizeof v);
    if (strcasecmp(v, "VISUAL") == 0) return 2;
    if (strcasecmp(v, "BOTH") == 0) return 3;
    if (strcasecmp(v, "NONE") == 0) return 0;
    return 1;
}

void paintBlackCells(CuScreen* s, PDC dc, int top, int left, int bottom, int right) {
    top = std::max(top, s->viewTop);
    left = std::max(left, s->viewLeft);
    bottom = std::min(bottom, s->viewBottom);
    right = std::min(right, s->viewRight);
    if (top > bottom || left > right) return;
    PRect r{(left - s->viewLeft) * s->charWidth, (top - s->viewTop) * s->charHeight,
            (right - s->viewLeft + 1) * s->charWidth, (bottom - s->viewTop + 1) * s->charHeight};
    platFillRect(dc, r, kBlack);
}

}  // namespace

CuScreen* cuScreenAt(int slot) {
    if (slot < 0 || slot >= CU_MAX_SCREENS) return nullptr;
    return screens[slot].get();
}

CuScreen* cuFocusScreen() { return focusScreen; }
void cuSetFocusScreen(CuScreen* scr) { focusScreen = scr; }

void cuSetMdiClient(PWnd client) { mdiClient = client; }
PWnd cuMdiClient() { return mdiClient; }

int cuInit() {
    uiSetDefaultColors();
    uiLoadColorSettings();
    cuSelect(-1);
    focusScreen = nullptr;
    for (auto& s : screens) s.reset();
    uiCreatePens();
    uiLoadHosts();
    macLoad();
    kbLoadLangMaps();
    char v[8];
    cfgGetString("Options", "ClipDeleteLeadSpaces", "", v, sizeof v);
    cuClipDeleteLeadSpaces = !(strncmp(v, "OFF", 3) == 0 || strncmp(v, "off", 3) == 0);
    cfgGetString("Options", "AutoCopy", "", v, sizeof v);
    cuAutoCopy = !(strncmp(v, "OFF", 3) == 0 || strncmp(v, "off", 3) == 0);
    return 0;
}

void cuTerm() {
    uiDeletePens();
    uiStatusFree();
    PrntRelease();
}

int cuSessNew(int slot, const char* host, int* hostConn) {
    if (slot < 0 || slot >= CU_MAX_SCREENS || screens[slot]) return -1;

    char name[CU_NAME_SIZE] = {};
    if (host) {
        size_t n = strnlen(host, CU_NAME_SIZE - 1);
        memcpy(name, host, n);
        natUpper(reinterpret_cast<unsigned char*>(name), n, kbLanguageCode());
    }

    // Ordinal among the screens open to the same host: their count, or the
    // lowest gap below the highest ordinal when one was closed.
    int count = 0, highest = -1;
    std::array<bool, CU_MAX_SCREENS + 1> used{};
    for (const auto& s : screens) {
        if (!s || strncmp(s->hostName, name, CU_NAME_SIZE) != 0) continue;
        ++count;
        highest = std::max(highest, s->hostConn);
        if (s->hostConn >= 0 && s->hostConn <= CU_MAX_SCREENS) used[s->hostConn] = true;
    }
    int ordinal = count;
    if (highest > 0 && highest >= count) {
        for (int i = 0; i < highest && i <= CU_MAX_SCREENS; ++i)
            if (!used[i]) {
                ordinal = i;
                break;
            }
    }
    logPrintf("#cuSessNew: HostConn[%d]", ordinal);
    if (hostConn) *hostConn = ordinal;

    char title[32];
    snprintf(title, sizeof title, "%s-%d", name, slot + 1);

    CfgWindowState st{};
    cfgGetWindowState(slot + 1, &st);
    int rows = st.rows, cols = st.cols;
    if (rows < 1 || rows > CU_MAX_ROWS || cols < 1 || cols > CU_MAX_COLS) {
        rows = CU_DEFAULT_ROWS;
        cols = CU_DEFAULT_COLS;
    }

    std::unique_ptr<CuScreen> scr(new (std::nothrow) CuScreen());
    if (!scr) {
        showInternalError("Error allocating memory!", kUnit, __LINE__);
        uiFatalExit(1);
    }
    scr->cellBlock = newCellBlock(rows, cols);
    if (!scr->cellBlock) {
        showInternalError("Error allocating memory!", kUnit, __LINE__);
        return -1;
    }
    scr->colors = uiColorTable();
    scr->Rows = scr->bufRows = rows;
    scr->Cols = scr->bufCols = cols;
    attachCells(scr.get());
    scr->fontSize = st.fontSize;
    scr->curRow = scr->curCol = 0;
    scr->curShape = CU_CURSOR_BLOCK;
    scr->viewBottom = rows - 1;
    scr->viewRight = cols - 1;
    memcpy(scr->hostName, name, CU_NAME_SIZE);
    scr->hostConn = ordinal;

    PWndCreate c{};
    c.kind = PWndKind::MdiChild;
    c.parent = mdiClient;
    c.title = title;
    c.rect = PRect{st.left, st.top, st.right, st.bottom};
    c.proc = uiChildWndProc;
    PRect frame = mdiClient ? platClientRect(mdiClient) : PRect{0, 0, 0, 0};
    int width = st.right - st.left, height = st.bottom - st.top;
    if (st.right < 1 || st.bottom < 1 || width >= frame.right - frame.left || height >= frame.bottom - frame.top) {
        c.flags |= PWS_MAXIMIZED | PWS_DEFAULTPOS;
        scr->winFlags |= CUW_MAXIMIZED;
    }
    if (st.maximized) {
        c.flags |= PWS_MAXIMIZED;
        scr->winFlags |= CUW_MAXIMIZED;
    }
    PWnd wnd = platCreateWindow(c);
    if (!wnd) {
        showInternalError("Could not create window!", kUnit, __LINE__);
        uiFatalExit(1);
    }
    scr->wnd = wnd;
    CuScreen* s = scr.get();
    screens[slot] = std::move(scr);
    platSetUserWord(wnd, slot + 1);
    platShow(wnd, (s->winFlags & CUW_MAXIMIZED) ? PSW_MAXIMIZE : PSW_SHOW);
    platUpdate(wnd);
    cuSelect(slot);
    focusScreen = s;
    return slot;
}

int cuSessClose(int slot) {
    CuScreen* s = cuScreenAt(slot);
    if (!s) return -1;
    if (s == cuScrPtr) cuSelect(-1);
    if (s == focusScreen) focusScreen = nullptr;
    if (s->font) platDeleteFont(s->font);
    s->font = 0;
    // The cell block, paste buffer, marked text and receive buffer go with
    // the record.
    screens[slot].reset();
    return 0;
}

int cuSelect(int slot) {
    CuScreen* s = cuScreenAt(slot);
    if (!s) {
        cuScrPtr = nullptr;
        cuCharPtr = nullptr;
        cuAttrPtr = nullptr;
        cuCurSlot = -1;
        return -1;
    }
    cuScrPtr = s;
    cuCharPtr = s->chars;
    cuAttrPtr = s->attrs;
    cuCurSlot = slot;
    return slot;
}

int cuSessResize(CuScreen* scr) {
    if (!scr || scr->charWidth < 1 || scr->charHeight < 1) return 0;
    int cols = scr->clientWidth / scr->charWidth;
    int rows = scr->clientHeight / scr->charHeight;
    scr->visCols = cols;
    scr->visRows = rows;
    logPrintf("#cuSessResize: x[%d] y[%d] cuptr->Cols[%d] cuptr->Rows[%d]\n", cols, rows, scr->Cols, scr->Rows);
    if (cols < 1 || rows < 1 || (cols == scr->Cols && rows == scr->Rows)) return 0;
    // The grid is bounded like a stored window state.
    cols = std::min(cols, CU_MAX_COLS);
    rows = std::min(rows, CU_MAX_ROWS);
    if (cols == scr->Cols && rows == scr->Rows) return 0;

    std::unique_ptr<uint16_t[]> block = newCellBlock(rows, cols);
    if (!block) {
        char text[128];
        snprintf(text, sizeof text, "Error allocating x[%d]Xy[%d]X3=total[%ld] memory !!", cols, rows,
                 (long)cols * rows * 3);
        showInternalError(text, kUnit, __LINE__);
        return -1;
    }
    uint16_t* newChars = block.get();
    uint8_t* newAttrs = reinterpret_cast<uint8_t*>(newChars + (size_t)rows * cols);

    int oldRows = scr->Rows;
    int srcRows = oldRows;
    if (rows < oldRows) {
        // Blank rows at the bottom go first, so the text stays where it is.
        while (oldRows - srcRows < oldRows - rows && srcRows > 0) {
            const uint16_t* row = scr->chars + cellIndex(scr, srcRows - 1, 0);
            if (!std::all_of(row, row + scr->Cols, [](uint16_t c) { return c <= 32; })) break;
            --srcRows;
        }
    }
    int from = 0;
    if (srcRows > rows) {
        from = srcRows - rows;
        scr->curRow = std::max(0, scr->curRow - from);
        srcRows = rows;
    }
    int copyCols = std::min(scr->Cols, cols);
    for (int r = 0; r < srcRows; ++r) {
        size_t src = cellIndex(scr, from + r, 0);
        size_t dst = (size_t)r * cols;
        std::copy_n(scr->chars + src, copyCols, newChars + dst);
        std::copy_n(scr->attrs + src, copyCols, newAttrs + dst);
    }

    scr->cellBlock = std::move(block);
    scr->Rows = scr->bufRows = rows;
    scr->Cols = scr->bufCols = cols;
    attachCells(scr);
    scr->curRow = std::min(scr->curRow, rows - 1);
    scr->curCol = std::min(scr->curCol, cols - 1);
    scr->viewTop = scr->viewLeft = 0;
    scr->viewBottom = rows - 1;
    scr->viewRight = cols - 1;
    // Nothing recorded for the old grid may point outside the new one.
    for (CuCursorSave& c : scr->curStack) {
        c.row = std::min(c.row, rows - 1);
        c.col = std::min(c.col, cols - 1);
    }
    int kept = 0;
    for (int i = 0; i < scr->buttonCount; ++i) {
        CuButtonRec b = scr->buttons[i];
        if (!inGrid(scr, b.row, b.col)) continue;
        b.len = std::min(b.len, cols - b.col);
        scr->buttons[kept++] = b;
    }
    scr->buttonCount = kept;
    if (!inGrid(scr, scr->hlRow, scr->hlCol)) scr->hlFlags &= ~CU_HL_SHOWN;
    else scr->hlLen = std::min(scr->hlLen, cols - scr->hlCol);
    setFullRepaint(scr);
    return 1;
}

void cuClear(int attr) {
    logPrintf("#cuClear(): attrib[%d]\n", attr);
    CuScreen* s = cuScrPtr;
    if (!s) return;
    size_t n = (size_t)s->Rows * s->Cols;
    std::fill_n(s->chars, n, (uint16_t)' ');
    std::fill_n(s->attrs, n, (uint8_t)attr);
    invalidateAll();
    s->curRow = s->curCol = 0;
    s->curShape = CU_CURSOR_BLOCK;
}

void cuResetAttrs(int mode) {
    CuScreen* s = cuScrPtr;
    if (!s) return;
    size_t n = (size_t)s->Rows * s->Cols;
    if (mode == 0) {
        std::fill_n(s->attrs, n, (uint8_t)CU_ATTR_UNIX_NORMAL);
    } else {
        std::fill_n(s->attrs, n, (uint8_t)CU_ATTR_MCS_NORMAL);
        std::fill_n(s->chars, n, (uint16_t)' ');
    }
    if (s->wnd) platInvalidate(s->wnd, nullptr, false);
}

void cuPutChar(int code, int row, int col) {
    if (clipRun(cuScrPtr, row, col, 1) == 0) return;
    cuScrPtr->chars[cellIndex(cuScrPtr, row, col)] = (uint16_t)(code & 0xFF);
    cuInvalidate(row, col, row, col);
}

void cuPutBytes(const uint8_t* bytes, int len, int row, int col) {
    CuScreen* s = cuScrPtr;
    int n = bytes ? clipRun(s, row, col, len) : 0;
    if (n == 0) return;
    std::copy_n(bytes, n, s->chars + cellIndex(s, row, col));
    cuInvalidate(row, col, row, std::min(col + n, s->Cols - 1));
}

int cuPutText(const uint8_t* bytes, int len, int row, int col, int attr) {
    if (!bytes) return 0;
    return putRun(bytes, 0, len, row, col, attr);
}

void cuFill(int code, int count, int row, int col, int attr) { putRun(nullptr, code & 0xFF, count, row, col, attr); }

void cuFillWide(int code, int count, int row, int col, int attr) {
    putRun(nullptr, code & 0xFFFF, count, row, col, attr);
}

void cuPutCells(const uint8_t* pairs, int count, int row, int col) {
    CuScreen* s = cuScrPtr;
    int n = pairs ? clipRun(s, row, col, count) : 0;
    if (n == 0) return;
    size_t base = cellIndex(s, row, col);
    for (int i = 0; i < n; ++i) {
        s->chars[base + i] = pairs[2 * i];
        s->attrs[base + i] = pairs[2 * i + 1];
    }
    cuInvalidate(row, col, row, col + n - 1);
}

void cuGetCells(uint8_t* pairs, int count, int row, int col) {
    CuScreen* s = cuScrPtr;
    int n = pairs ? clipRun(s, row, col, count) : 0;
    size_t base = n ? cellIndex(s, row, col) : 0;
    for (int i = 0; i < n; ++i) {
        pairs[2 * i] = (uint8_t)s->chars[base + i];
        pairs[2 * i + 1] = s->attrs[base + i];
    }
}

void cuGetText(uint8_t* bytes, int count, int row, int col) {
    CuScreen* s = cuScrPtr;
    int n = bytes ? clipRun(s, row, col, count) : 0;
    size_t base = n ? cellIndex(s, row, col) : 0;
    for (int i = 0; i < n; ++i) bytes[i] = (uint8_t)s->chars[base + i];
}

void cuFillRect(int top, int left, int bottom, int right, int code, int attr) {
    if (!cuScrPtr) return;
    bottom = std::min(bottom, cuScrPtr->Rows - 1);
    for (int r = std::max(top, 0); r <= bottom; ++r) cuFill(code, right - left + 1, r, left, attr);
}

int cuSetAttrRect(int top, int left, int bottom, int right, int attr) {
    CuScreen* s = cuScrPtr;
    if (!s || !inGrid(s, top, left)) return 0;
    bottom = std::min(bottom, s->Rows - 1);
    right = std::min(right, s->Cols - 1);
    if (bottom < top || right < left) return 0;
    for (int r = top; r <= bottom; ++r) std::fill_n(s->attrs + cellIndex(s, r, left), right - left + 1, (uint8_t)attr);
    cuInvalidate(top, left, bottom, right);
    return 1;
}

void cuSetColorRect(int top, int left, int bottom, int right, int mode, int fg, int bg) {
    PRgb back = colorOf(bg, kBlack, true);
    PRgb fore = colorOf(mode == 2 ? bg : fg, kYellow, false);
    cuSetAttrRect(top, left, bottom, right, uiColorPairAttr(fore, back));
}

void cuToggleReverse(int count, int row, int col) {
    CuScreen* s = cuScrPtr;
    int n = clipRun(s, row, col, count);
    if (n == 0) return;
    uint8_t* a = s->attrs + cellIndex(s, row, col);
    for (int i = 0; i < n; ++i) a[i] = a[i] == CU_ATTR_MCS_REVERSE ? CU_ATTR_MCS_NORMAL : CU_ATTR_MCS_REVERSE;
    cuInvalidate(row, col, row, col + n - 1);
}

void cuMoveBlock(int top, int left, int bottom, int right, int dstRow, int dstCol) {
    CuScreen* s = cuScrPtr;
    if (!s || !inGrid(s, top, left) || !inGrid(s, dstRow, dstCol)) return;
    bottom = std::min(bottom, s->Rows - 1);
    right = std::min(right, s->Cols - 1);
    int height = std::min(bottom - top + 1, s->Rows - dstRow);
    int width = std::min(right - left + 1, s->Cols - dstCol);
    if (height <= 0 || width <= 0) return;
    // Top-down when the destination comes first in the arrays, so no source
    // row is overwritten before it is read.
    bool topDown = cellIndex(s, dstRow, dstCol) < cellIndex(s, top, left);
    for (int i = 0; i < height; ++i) {
        int r = topDown ? i : height - 1 - i;
        size_t src = cellIndex(s, top + r, left), dst = cellIndex(s, dstRow + r, dstCol);
        memmove(s->chars + dst, s->chars + src, (size_t)width * sizeof(uint16_t));
        memmove(s->attrs + dst, s->attrs + src, (size_t)width);
    }
    cuInvalidate(dstRow, dstCol, dstRow + height - 1, dstCol + width - 1);
}

void cuScrollRegion(int top, int left, int bottom, int right, int attr, int n, bool up) {
    CuScreen* s = cuScrPtr;
    if (!s || !inGrid(s, top, left) || !inGrid(s, bottom, right) || top > bottom || left > right || n <= 0) return;
    n = std::min(n, bottom - top + 1);
    int width = right - left + 1;
    auto copyRow = [&](int from, int to) {
        size_t src = cellIndex(s, from, left), dst = cellIndex(s, to, left);
        std::copy_n(s->chars + src, width, s->chars + dst);
        std::copy_n(s->attrs + src, width, s->attrs + dst);
    };
    auto blankRow = [&](int r) {
        std::fill_n(s->chars + cellIndex(s, r, left), width, (uint16_t)' ');
        std::fill_n(s->attrs + cellIndex(s, r, left), width, (uint8_t)attr);
    };
    if (up) {
        for (int r = top; r + n <= bottom; ++r) copyRow(r + n, r);
        for (int r = bottom - n + 1; r <= bottom; ++r) blankRow(r);
    } else {
        for (int r = bottom; r - n >= top; --r) copyRow(r - n, r);
        for (int r = top; r < top + n; ++r) blankRow(r);
    }
    cuInvalidate(top, left, bottom, right);
}

int cuSaveRect(int top, int left, int bottom, int right, CuSaveRef* out) {
    CuScreen* s = cuScrPtr;
    if (!s || !out || !inGrid(s, top, left) || !inGrid(s, bottom, right) || top > bottom || left > right) return -1;
    int w = right - left + 1, h = bottom - top + 1;
    size_t cells = (size_t)w * h;
    auto block = std::unique_ptr<CuSaveBlock>(new (std::nothrow) CuSaveBlock());
    if (!block) return -10;
    block->bytes.reset(new (std::nothrow) uint8_t[cells * 3]());
    if (!block->bytes) return -10;
    block->width = w;
    block->height = h;
    uint8_t* chars = block->bytes.get();
    uint8_t* attrs = chars + cells * 2;
    for (int r = 0; r < h; ++r) {
        size_t at = cellIndex(s, top + r, left);
        memcpy(chars + (size_t)r * w * 2, s->chars + at, (size_t)w * 2);
        memcpy(attrs + (size_t)r * w, s->attrs + at, (size_t)w);
    }
    *out = std::move(block);
    return 0;
}

int cuRestoreRect(int top, int left, int bottom, int right, CuSaveRef* block) {
    if (!block || !*block || !(*block)->bytes) {
        if (block) block->reset();
        return 1;
    }
    CuSaveRef saved = std::move(*block);
    CuScreen* s = cuScrPtr;
    int w = right - left + 1, h = bottom - top + 1;
    // A block saved for another size would be read past its end.
    if (!s || !inGrid(s, top, left) || !inGrid(s, bottom, right) || w <= 0 || h <= 0 || w != saved->width ||
        h != saved->height)
        return -1;
    size_t cells = (size_t)w * h;
    const uint8_t* chars = saved->bytes.get();
    const uint8_t* attrs = chars + cells * 2;
    for (int r = 0; r < h; ++r) {
        size_t at = cellIndex(s, top + r, left);
        memcpy(s->chars + at, chars + (size_t)r * w * 2, (size_t)w * 2);
        memcpy(s->attrs + at, attrs + (size_t)r * w, (size_t)w);
    }
    // The 3D frame's shadow lies one row below and one column right.
    if (s->winFlags & CUW_3D) {
        bottom = std::min(bottom + 1, s->Rows - 1);
        right = std::min(right + 1, s->Cols - 1);
    }
    cuInvalidate(top, left, bottom, right);
    return 0;
}

void cuBox(int top, int left, int bottom, int right, int fillCode, int fillAttr, int frameAttr, int style) {
    if (!cuScrPtr) return;
    const BoxStyle* bs = nullptr;
    for (const BoxStyle& b : boxStyles)
        if (b.style == style) bs = &b;
    if (!bs) return;
    const auto& k = bs->codes;
    int inner = right - left - 1;
    auto edgeRow = [&](int row, uint16_t l, uint16_t mid, uint16_t r) {
        cuFillWide(l, 1, row, left, frameAttr);
        cuFillWide(mid, inner, row, left + 1, frameAttr);
        cuFillWide(r, 1, row, right, frameAttr);
    };
    edgeRow(top, k[0], k[1], k[2]);
    int last = std::min(bottom - 1, cuScrPtr->Rows - 1);
    for (int r = std::max(top + 1, 0); r <= last; ++r) {
        cuFillWide(k[3], 1, r, left, frameAttr);
        if (fillCode != 0) cuFill(fillCode, inner, r, left + 1, fillAttr);
        cuFillWide(k[4], 1, r, right, frameAttr);
    }
    if (bottom > top) edgeRow(bottom, k[5], k[6], k[7]);
}

void cuSetCursor(int row, int col) {
    if (cuScrPtr && inGrid(cuScrPtr, row, col)) {
        cuScrPtr->curRow = row;
        cuScrPtr->curCol = col;
    }
}

void cuGetCursor(int* row, int* col, int* shape) {
    const CuScreen* s = cuScrPtr;
    if (row) *row = s ? s->curRow : 0;
    if (col) *col = s ? s->curCol : 0;
    if (shape) *shape = s ? s->curShape : CU_CURSOR_BLOCK;
}

void cuSetCursorShape(int shape) {
    if (cuScrPtr) cuScrPtr->curShape = shape;
}

void cuPushCursor() {
    CuScreen* s = cuScrPtr;
    if (!s || s->curDepth >= CU_CURSOR_STACK) return;
    s->curStack[s->curDepth++] = CuCursorSave{s->curRow, s->curCol, s->curShape};
}

void cuPopCursor() {
    CuScreen* s = cuScrPtr;
    if (!s || s->curDepth <= 0) return;
    const CuCursorSave& c = s->curStack[--s->curDepth];
    s->curRow = c.row;
    s->curCol = c.col;
    s->curShape = c.shape;
}

void cuButton(int state, int len, int row, int col) {
    CuScreen* s = cuScrPtr;
    if (!s || !inGrid(s, row, col)) return;
    len = std::clamp(len, 0, s->Cols - col);
    if (len == 0) {
        if (s->buttonCount != 0) {
            s->buttonCount = 0;
            invalidateAll();
        }
        return;
    }
    for (int i = 0; i < s->buttonCount; ++i) {
        CuButtonRec& b = s->buttons[i];
        if (b.row == row && b.col == col && b.len == len) {
            b.state = state;
            cuInvalidate(row, col, row, col + len - 1);
            return;
        }
    }
    if (s->buttonCount >= DMAXBUTTONS) {
        fputs("\ncuButton:Error DMAXBUTTONS reached", stdout);
        fflush(stdout);
        return;
    }
    s->buttons[s->buttonCount++] = CuButtonRec{row, col, len, state};
    cuInvalidate(row, col, row, col + len - 1);
}

void cuButtonMode(bool on) {
    CuScreen* s = cuScrPtr;
    if (!s) return;
    if (on) {
        s->winFlags |= CUW_3D;
    } else {
        s->winFlags &= ~CUW_3D;
        s->buttonCount = 0;
    }
    invalidateAll();
}

void cuHighlight(bool on, int len, int row, int col) {
    CuScreen* s = cuScrPtr;
    if (!s || !inGrid(s, row, col)) return;
    len = std::clamp(len, 0, s->Cols - col);
    if (on) {
        s->hlFlags |= CU_HL_SHOWN | CU_HL_SET;
        s->hlRow = row;
        s->hlCol = col;
        s->hlLen = len;
    } else {
        s->hlFlags &= ~CU_HL_SHOWN;
        if (len > 0) cuInvalidate(row, col, row, col + len - 1);
    }
}

void cuInvalidate(int top, int left, int bottom, int right) {
    CuScreen* s = cuScrPtr;
    if (!s || s->fullRepaint) return;
    // Only cells of the grid are ever recorded: the painter reads them.
    top = std::max(top, 0);
    left = std::max(left, 0);
    bottom = std::min(bottom, s->Rows - 1);
    right = std::min(right, s->Cols - 1);
    if (top > bottom || left > right) return;

    long area = 0;
    for (int i = 0; i < s->dirtyCount; ++i) {
        const CuRect& d = s->dirty[i];
        area += (long)(d.bottom - d.top + 1) * (d.right - d.left + 1);
    }
    if (area * 2 > (long)s->Rows * s->Cols || s->dirtyCount >= CU_MAX_DIRTY) {
        setFullRepaint(s);
        return;
    }
    for (int i = 0; i < s->dirtyCount; ++i) {
        CuRect& d = s->dirty[i];
        if (d.left != left || d.right != right) continue;
        if (d.top == top && d.bottom == bottom) return;
        bool touches = (top >= d.top - 1 && top <= d.bottom + 1) || (bottom >= d.top - 1 && bottom <= d.bottom + 1);
        if (touches) {
            d.top = std::min(d.top, top);
            d.bottom = std::max(d.bottom, bottom);
            return;
        }
        if (top <= d.top && bottom >= d.bottom) {
            d.top = top;
            d.bottom = bottom;
            return;
        }
    }
    s->dirty[s->dirtyCount++] = CuRect{top, left, bottom, right};
}

void cuRefresh() {
    CuScreen* s = cuScrPtr;
    if (!s || (s->winFlags & CUW_MINIMIZED)) return;

    bool moved = false;
    if (s->curRow > s->viewBottom) {
        int d = s->curRow - s->viewBottom;
        s->viewTop += d;
        s->viewBottom += d;
        moved = true;
    }
    if (s->curCol > s->viewRight) {
        int d = s->curCol - s->viewRight;
        s->viewLeft += d;
        s->viewRight += d;
        moved = true;
    }
    if (s->curCol < s->viewLeft) {
        int d = s->viewLeft - s->curCol;
        s->viewLeft -= d;
        s->viewRight -= d;
        moved = true;
    }
    if (s->curRow < s->viewTop) {
        int d = s->viewTop - s->curRow;
        s->viewTop -= d;
        s->viewBottom -= d;
        moved = true;
    }
    if (moved) setFullRepaint(s);

    if (s->dirtyCount == 0) {
        cuPaintDirty();   // only the caret to place
        return;
    }
    if (!s->wnd) {
        s->dirtyCount = 0;
        s->fullRepaint = 0;
        return;
    }
    if (!s->paintPosted) s->paintPosted = platPost(s->wnd, PM_PAINT_DIRTY, 0, 0) ? 1 : 0;
    if (!s->paintPosted) cuPaintDirty();
}

void cuPaintDirty() {
    CuScreen* s = cuScrPtr;
    if (!s) return;
    s->paintPosted = 0;
    if (s->winFlags & CUW_MINIMIZED) return;
    uiResetColorCache();
    bool focus = s == focusScreen;
    if (s->dirtyCount == 0) {
        if (focus) uiShowCaret(s);
        return;
    }
    if (focus) platHideCaret(s->wnd);
    PDC dc = platGetDC(s->wnd);
    if (dc) {
        if (s->font) platSelectFont(dc, s->font);
        for (int i = 0; i < s->dirtyCount; ++i) {
            // The grid may have shrunk since the cells were marked.
            CuRect r = s->dirty[i];
            r.top = std::max(r.top, s->viewTop);
            r.left = std::max(r.left, s->viewLeft);
            r.bottom = std::min({r.bottom, s->viewBottom, s->Rows - 1});
            r.right = std::min({r.right, s->viewRight, s->Cols - 1});
            if (r.top <= r.bottom && r.left <= r.right) uiPaintRect(s, dc, r);
        }
        if (s->winFlags & CUW_3D) {
            uiPaintHighlight(s, dc);
            uiPaintButtons(s, dc);
        }
        platReleaseDC(s->wnd, dc);
    }
    s->dirtyCount = 0;
    s->fullRepaint = 0;
    if (focus) uiShowCaret(s);
}

int cuKeyPut(int32_t key) {
    CuScreen* s = cuScrPtr;
    if (!s) return 1;
    macRecordKey(key);
    if (macExpandKey(key)) return 0;
    s = cuScrPtr;  // the expander may have switched sessions
    if (!s) return 1;
    int next = s->keyWrite == s->keyLast ? 0 : s->keyWrite + 1;
    if (next == s->keyRead) return 1;
    s->keys[s->keyWrite] = key;
    s->keyWrite = next;
    return 0;
}

int32_t cuKeyQueue(int flags) {
    CuScreen* s = cuScrPtr;
    if (!s) return 0;

    if (s->paste && s->pasteLen > 0) {
        int used = 0;
        const uint8_t* buf = s->paste.get();
        while (used < s->pasteLen) {
            if (cuKeyPut(buf[used]) == 1) break;
            ++used;
            // A macro run from a pasted key may change the selection or the
            // paste buffer itself; the rest then waits for the next call.
            if (cuScrPtr != s || s->paste.get() != buf) break;
        }
        if (s->paste.get() == buf) {
            s->pasteLen -= used;
            if (s->pasteLen <= 0) {
                s->paste.reset();
                s->pasteLen = 0;
            } else {
                memmove(s->paste.get(), buf + used, (size_t)s->pasteLen);
            }
        }
    }

    if (flags & CU_KQ_FLUSH) {
        s->keyRead = s->keyWrite;
        return 0;
    }
    if (flags & (CU_KQ_GET | CU_KQ_PEEK)) {
        int slot = cuCurSlot;
        while (s->keyRead == s->keyWrite) {
            // Typed keys arrive as window messages; the wait dispatches them.
            if (platPump(10) < 0) return -1;
            if (cuScreenAt(slot) != s) return -1;
            if (cuScrPtr != s) cuSelect(slot);
        }
        int32_t key = s->keys[s->keyRead];
        if (flags & CU_KQ_GET) s->keyRead = s->keyRead == s->keyLast ? 0 : s->keyRead + 1;
        return key;
    }
    if (flags & CU_KQ_PEEK_AVAIL) return s->keyRead != s->keyWrite ? 1 : 0;
    return 0;
}

void cuBell() {
    CuScreen* s = cuScrPtr;
    uint32_t second = platTickCount() / 1000;
    if (second == lastBellSecond) return;
    lastBellSecond = second;
    int mode = bellMode();
    if (mode & 1) platBeep(PSND_EXCLAMATION);
    if (!(mode & 2) || !s || !s->wnd) return;

    int slot = cuCurSlot;
    bool rowValid = s->curRow >= 0 && s->curRow < s->Rows;
    PDC dc = platGetDC(s->wnd);
    if (dc) {
        if (rowValid) {
            paintBlackCells(s, dc, s->curRow, 0, s->curRow, s->Cols - 1);
        } else {
            paintBlackCells(s, dc, 0, 0, 0, s->Cols - 1);
            paintBlackCells(s, dc, s->Rows - 1, 0, s->Rows - 1, s->Cols - 1);
            paintBlackCells(s, dc, 0, 0, s->Rows - 1, 0);
            paintBlackCells(s, dc, 0, s->Cols - 1, s->Rows - 1, s->Cols - 1);
        }
        platReleaseDC(s->wnd, dc);
    }
    uint32_t start = platTickCount();
    while (platTickCount() - start < kVisualBellMs) {
        if (platPump((int)(kVisualBellMs - (platTickCount() - start))) < 0) break;
    }
    // Other sessions may have run during the wait, or closed this one.
    if (cuScreenAt(slot) != s) return;
    cuSelect(slot);
    if (rowValid) {
        cuInvalidate(s->curRow, 0, s->curRow, s->Cols - 1);
    } else {
        cuInvalidate(0, 0, 0, s->Cols - 1);
        cuInvalidate(s->Rows - 1, 0, s->Rows - 1, s->Cols - 1);
        cuInvalidate(0, 0, s->Rows - 1, 0);
        cuInvalidate(0, s->Cols - 1, s->Rows - 1, s->Cols - 1);
    }
    cuRefresh();
}

void uiWait(int seconds) {
    uint32_t start = platTickCount();
    uint32_t span = seconds > 0 ? (uint32_t)seconds * 1000u : 0;
    do {
        uint32_t gone = platTickCount() - start;
        int timeout = gone < span ? (int)(span - gone) : 0;
        if (platPump(timeout) < 0) return;
    } while (platTickCount() - start < span);
}
