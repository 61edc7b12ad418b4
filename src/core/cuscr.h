#pragma once
// CUSCR: the per-session screen buffer. Every session slot 0..7 may own one
// CuScreen: a grid of 16-bit character codes with one attribute byte per
// cell, a cursor and cursor stack, the viewport onto the session window, the
// list of rectangles changed since the last paint, buttons, a highlight bar
// and the ring of typed keys.
//
// One screen is current at a time (cuSelect); every operation below acts on
// the current screen and does nothing when there is none. Writers only ever
// change cells through these operations; none of them paints. Changes are
// recorded as dirty rectangles and flushed by cuRefresh.
//
// All rows and columns are 0-based. "Clipped" operations do nothing when the
// start row or column lies outside the grid and cut a run at the right edge;
// no operation writes outside the arrays, whatever its arguments.

#include "plat/plat.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

struct UiColorPair;  // the shared colour-pair table (ui/render.h)

constexpr int CU_MAX_SCREENS = 8;
constexpr int DMAXBUTTONS = 10;
constexpr int CU_MAX_DIRTY = 30;
constexpr int CU_CURSOR_STACK = 10;
constexpr int CU_KEY_SLOTS = 40;     // one slot always stays empty: 39 keys
constexpr int CU_NAME_SIZE = 10;     // host and login names: 9 characters + NUL
constexpr int CU_WAIT_TEXT = 40;
constexpr int CU_MAX_ROWS = 199;
constexpr int CU_MAX_COLS = 249;
constexpr int CU_DEFAULT_ROWS = 24;
constexpr int CU_DEFAULT_COLS = 80;

// Attributes with fixed roles (indices into the colour-pair table).
enum : uint8_t {
    CU_ATTR_MCS_REVERSE = 1,
    CU_ATTR_MCS_OFF = 2,
    CU_ATTR_MCS_NORMAL = 3,
    CU_ATTR_MCS_LOW = 4,
    CU_ATTR_MCS_BLINK = 5,
    CU_ATTR_MCS_PROT_NORMAL = 6,
    CU_ATTR_MCS_PROT_LOW = 7,
    CU_ATTR_MCS_PROT_BLINK = 8,
    CU_ATTR_MCS_MENUBAR = 18,
    CU_ATTR_UNIX_NORMAL = 20,
    CU_ATTR_UNIX_BLINK = 21,
    CU_ATTR_UNIX_BOLD = 22,
    CU_ATTR_UNIX_REVERSE = 23,
    CU_ATTR_UNIX_LOW = 24,
    CU_ATTR_UNIX_UNDERLINED = 25,
    CU_ATTR_UNIX_OFF = 26,
};
constexpr int CU_ATTR_COUNT = 77;

// Window flags.
enum : int32_t {
    CUW_3D = 0x0001,          // buttons, highlight bar and field frames are drawn
    CUW_DIALOG = 0x0002,      // an ask dialog is open for the session
    CUW_MAXIMIZED = 0x4000,   // the grid follows the window
    CUW_MINIMIZED = 0x8000,   // painting suspended
};

// Highlight flags.
enum : int32_t { CU_HL_SHOWN = 0x1, CU_HL_SET = 0x2 };

// Cursor shapes.
enum : int32_t { CU_CURSOR_BLOCK = 1, CU_CURSOR_UNDERLINE = 2 };

// Frame styles of cuBox.
enum : int32_t { CU_BOX_SINGLE = 0x100, CU_BOX_3D = 0x200 };

// cuKeyQueue flags.
enum : int32_t { CU_KQ_FLUSH = 1, CU_KQ_GET = 2, CU_KQ_PEEK_AVAIL = 4, CU_KQ_PEEK = 8 };

struct CuRect {
    int32_t top, left, bottom, right;   // inclusive
};

struct CuButtonRec {
    int32_t row, col, len;
    int32_t state;                      // 0 raised, non-zero pressed
};

struct CuCursorSave {
    int32_t row, col, shape;
};

struct CuScreen {
    // Owned cell block: Rows*Cols character codes followed by Rows*Cols
    // attribute bytes.
    std::unique_ptr<uint16_t[]> cellBlock;
    uint16_t* chars = nullptr;
    uint8_t* attrs = nullptr;
    UiColorPair* colors = nullptr;
    int32_t Rows = 0, Cols = 0;
    int32_t bufRows = 0, bufCols = 0;   // always Rows and Cols; bufCols is the row stride
    PWnd wnd = 0;
    int32_t fontSize = 0;               // 4..144; 0 = choose from the window
    int32_t lockedFontSize = 0;         // 0 = font follows the window
    int32_t charWidth = 0, charHeight = 0;
    int32_t viewTop = 0, viewLeft = 0, viewBottom = 0, viewRight = 0;
    int32_t visCols = 0, visRows = 0, clientWidth = 0, clientHeight = 0;
    int32_t hlFlags = 0, hlRow = 0, hlCol = 0, hlLen = 0;
    std::array<CuButtonRec, DMAXBUTTONS> buttons{};
    int32_t buttonCount = 0;
    int32_t winFlags = 0;
    int32_t fullRepaint = 0;
    int32_t dirtyCount = 0;
    int32_t paintPosted = 0;            // PM_PAINT_DIRTY waits in the window's queue
    std::array<CuRect, CU_MAX_DIRTY> dirty{};
    PFont font = 0;
    int32_t curRow = 0, curCol = 0, curShape = CU_CURSOR_BLOCK;
    int32_t caretHeight = 0, caretWidth = 0;
    std::array<CuCursorSave, CU_CURSOR_STACK> curStack{};
    int32_t curDepth = 0;
    std::array<int32_t, CU_KEY_SLOTS> keys{};
    int32_t keyRead = 0, keyWrite = 0, keyLast = CU_KEY_SLOTS - 1;
    std::unique_ptr<uint8_t[]> paste;   // bytes still to be typed, from index 0
    int32_t pasteLen = 0;

    // Kept here so that they live and die with the screen; owned by the
    // keyboard, capture, login, socket, forms, script and rendering code.
    int32_t mouseRow = 0, mouseCol = 0;     // cell of the last button-down
    PPoint rightClick{};                    // client point of the last right button-down
    int32_t markState = 0;                  // 0 none, 2 marking, 3 marked
    int32_t markStart = 0, markEnd = 0;     // cell indices
    std::unique_ptr<char[]> markText;
    int32_t markLen = 0;
    std::FILE* captureFile = nullptr;
    int32_t captureText = 0, captureRaw = 0;
    int32_t hostConn = 0;
    char hostName[CU_NAME_SIZE] = {};
    char loginName[CU_NAME_SIZE] = {};
    int32_t winSizeActive = 0;
    int32_t loginSent = 0;
    int32_t nulSwallowed = 0;
    int32_t writable = 0;
    int32_t winSizeCountdown = 0;
    std::unique_ptr<uint8_t[]> mcsRecv;
    int32_t mcsRecvFill = 0;
    uint16_t* mcsMap = nullptr;             // not owned
    int32_t mcsMenuState = 0;
    uintptr_t keyDelayTimer = 0;
    int32_t waitState = 0;
    char waitText[CU_WAIT_TEXT] = {};
    int32_t waitLen = 0;
    int32_t restorePending = 0;
    int32_t caretCreated = 0;
};

// The selection. Read them freely; change them only through cuSelect.
extern CuScreen* cuScrPtr;
extern uint16_t* cuCharPtr;
extern uint8_t* cuAttrPtr;
extern int cuCurSlot;              // -1 when none

// Clipboard options read by cuInit (on unless configured "OFF").
extern bool cuClipDeleteLeadSpaces;
extern bool cuAutoCopy;

// The screen of a slot, or null.
CuScreen* cuScreenAt(int slot);
// The screen whose window has the keyboard focus (or null); the caret is only
// shown for it. The session window sets it on focus gain, clears it on loss.
CuScreen* cuFocusScreen();
void cuSetFocusScreen(CuScreen* scr);

// The frame's MDI client window: parent of the session windows and the
// measure of "too large" for a stored window rectangle.
void cuSetMdiClient(PWnd client);
PWnd cuMdiClient();

int cuInit();
void cuTerm();

// Makes the screen and window of a slot; *hostConn gets the ordinal among the
// screens open to the same host. Returns the slot, or -1.
int cuSessNew(int slot, const char* host, int* hostConn);
int cuSessClose(int slot);
int cuSelect(int slot);
// Fits the grid to the window's client area: 1 resized, 0 unchanged, -1 out
// of memory (the old grid stays).
int cuSessResize(CuScreen* scr);

void cuClear(int attr);
void cuResetAttrs(int mode);
void cuPutChar(int code, int row, int col);
void cuPutBytes(const uint8_t* bytes, int len, int row, int col);
// Writes only the cells that differ; returns the number of cells covered
// after clipping (0 when clipped away entirely).
int cuPutText(const uint8_t* bytes, int len, int row, int col, int attr);
void cuFill(int code, int count, int row, int col, int attr);
void cuFillWide(int code, int count, int row, int col, int attr);
void cuPutCells(const uint8_t* pairs, int count, int row, int col);
void cuGetCells(uint8_t* pairs, int count, int row, int col);
void cuGetText(uint8_t* bytes, int count, int row, int col);
void cuFillRect(int top, int left, int bottom, int right, int code, int attr);
int cuSetAttrRect(int top, int left, int bottom, int right, int attr);
void cuSetColorRect(int top, int left, int bottom, int right, int mode, int fg, int bg);
void cuToggleReverse(int count, int row, int col);
void cuMoveBlock(int top, int left, int bottom, int right, int dstRow, int dstCol);
void cuScrollRegion(int top, int left, int bottom, int right, int attr, int n, bool up);

// A saved rectangle: characters row by row, then attributes.
struct CuSaveBlock {
    int32_t width = 0, height = 0;
    std::unique_ptr<uint8_t[]> bytes;   // width * height * 3
};
using CuSaveRef = std::unique_ptr<CuSaveBlock>;
// 0, -1 bad coordinates, -10 no memory.
int cuSaveRect(int top, int left, int bottom, int right, CuSaveRef* out);
// 0, 1 nothing to restore, -1 bad coordinates. The block is freed and *block
// cleared in every case.
int cuRestoreRect(int top, int left, int bottom, int right, CuSaveRef* block);

void cuBox(int top, int left, int bottom, int right, int fillCode, int fillAttr, int frameAttr, int style);

void cuSetCursor(int row, int col);
void cuGetCursor(int* row, int* col, int* shape);
void cuSetCursorShape(int shape);
void cuPushCursor();
void cuPopCursor();

void cuButton(int state, int len, int row, int col);
void cuButtonMode(bool on);
void cuHighlight(bool on, int len, int row, int col);

void cuInvalidate(int top, int left, int bottom, int right);
// Keeps the cursor in view and has the dirty cells painted. The painting
// itself waits for the window's PM_PAINT_DIRTY, posted once, so that a burst
// of output costs one paint per pass of the message loop: what is drawn
// before the loop runs again is never seen anyway.
void cuRefresh();
// Paints the current screen's dirty list now (the PM_PAINT_DIRTY handler).
void cuPaintDirty();

// 0 stored or consumed by a macro, 1 queue full (key dropped).
int cuKeyPut(int32_t key);
int32_t cuKeyQueue(int flags);

void cuBell();
void uiWait(int seconds);
