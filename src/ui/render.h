#pragma once
// The session-window renderer: the shared colour-pair table and the colour
// items of the "Colors" section, the drawing pens, painting cells, line
// graphics, frame codes, 3D field frames, buttons and the highlight bar, the
// caret, and fitting font, grid and viewport to the window.
//
// Everything draws through the platform layer's surfaces; the caller hands
// in a drawing context with the session font selected.

#include "plat/plat.h"

#include <cstdint>

struct CuScreen;
struct CuRect;

struct UiColorPair {
    PRgb bg, fg;
};
constexpr int UI_COLOR_PAIRS = 77;    // attribute indices 0..76
constexpr int UI_DEFAULT_PAIRS = 28;  // 0..27 have defaults; 28..76 are handed out on demand
constexpr int UI_COLOR_ITEMS = 16;
constexpr int UI_PALETTE_SIZE = 30;
constexpr int UI_FONT_MIN = 4;
constexpr int UI_FONT_MAX = 144;
constexpr int UI_FONT_DEFAULT = 12;
constexpr const char UI_FONT_FACE[] = "Courier New";

// Pen colours.
constexpr PRgb UI_PEN_FACE = 0xBEBEBE;
constexpr PRgb UI_PEN_SHADOW = 0x282828;
constexpr PRgb UI_PEN_LIGHT = 0xFFFFFF;
constexpr PRgb UI_PEN_BLACK = 0x000000;

// A named colour item of the colour dialog and the "Colors" section.
struct UiColorItem {
    const char* name;
    int32_t attr;
    PRgb fg, bg;
};

// The shared table every screen refers to.
UiColorPair* uiColorTable();
// The default pair of an attribute 0..27 ({0, 0} for the others).
UiColorPair uiDefaultColorPair(int attr);
// Copies the default pairs into the table (the on-demand entries are freed).
void uiSetDefaultColors();
// Applies the "Colors" section of the configuration to the table and reads
// the renderer's options ("3DMode", "MCSUnderline").
void uiLoadColorSettings();
// Re-reads "3DMode" and "MCSUnderline" (a window paint does it too).
void uiLoadRenderOptions();
// The colour items in dialog order, with the colours they now have.
const UiColorItem* uiColorItems();
// Stores item colours into the colour-pair table and the "Colors" section.
void uiSaveColorItems(const UiColorItem* items, int count);
// The fixed palette of the colour dialog (0x00BBGGRR, swatch order).
const PRgb* uiColorPalette();
// The colour dialog ("Color Configuration"); on OK the table and the
// "Colors" section are written and the frame is asked to repaint every
// session. Returns 1 when OK was pressed, 0 otherwise.
int uiColorDialog(PWnd owner);

// The attribute for a pair of PC colour numbers (0 black, 1 blue, 2 green,
// 3 cyan, 4 red, 5 magenta, 6 yellow, 7 white; others black): the lowest
// entry with that pair, else the highest empty entry, else 0.
int colorPair(int fgNumber, int bgNumber);
// The same for colours given directly.
int uiColorPairAttr(PRgb fg, PRgb bg);

void uiCreatePens();
void uiDeletePens();

// Forgets the colours last selected into a context, so the next paint sets
// them again.
void uiResetColorCache();
// Paints the cells of rect (grid co-ordinates; clipped to the viewport here)
// into dc, which has the session font selected.
void uiPaintRect(CuScreen* scr, PDC dc, const CuRect& rect);
// One row span: mode 0 text, 1 highlight bar, 2 button (pressed != 0 shows
// it pressed). Frames are drawn in button mode only.
enum : int32_t { UI_ROW_TEXT = 0, UI_ROW_HIGHLIGHT = 1, UI_ROW_BUTTON = 2 };
void uiPaintRow(CuScreen* scr, PDC dc, int row, int col, int count, int mode, int pressed);
// Button/3D mode overlays.
void uiPaintHighlight(CuScreen* scr, PDC dc);
void uiPaintButtons(CuScreen* scr, PDC dc);

// Caret operations, combined as flags; the caret belongs to the screen's
// window.
enum : int32_t { UI_CARET_CREATE = 1, UI_CARET_DESTROY = 2, UI_CARET_HIDE = 4, UI_CARET_SHOW = 8, UI_CARET_PLACE = 16 };
void uiCaret(CuScreen* scr, int flags);
// Places the caret at the screen's cursor (creating it when needed) and
// shows it. Only called for the focus screen.
void uiShowCaret(CuScreen* scr);

// The largest font size (4..144) whose cell fits Rows x Cols into a client
// area of cw x ch; -1 when no font can be made.
int uiFitFont(int cw, int ch, CuScreen* scr);
// Visible rows/columns and the viewport for the stored client size.
void uiSetViewport(CuScreen* scr);
// Sizes the window so that its client area shows exactly the visible cells.
void uiFitWindow(CuScreen* scr);
// Makes the session font for scr->fontSize and measures its cell. 0, or -1.
int uiMakeFont(CuScreen* scr);
// Font smaller / larger commands for the focus screen (not while maximised).
void uiFontSmaller();
void uiFontLarger();
// "Auto Resize Font" for the focus screen: on, its font follows the window
// (no locked size); off, the font keeps its size and in character mode the
// grid follows the window. The toggle locks the current size, or unlocks
// and fits the font to the window.
bool uiAutoFont();
void uiToggleAutoFont();

// The screen a session window shows (its slot in *slot when given), or null.
CuScreen* uiScreenOfWindow(PWnd wnd, int* slot = nullptr);

// The size handler of the session window (type is PSIZE_*).
void uiWMSize(PWnd wnd, int type, int cw, int ch);
// Paint and background erase of a session window.
void uiWMPaint(PWnd wnd);
void uiEraseBackground(PWnd wnd, PDC dc);

// Window procedure of the session windows (ui/uiwin.cpp).
PResult uiChildWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
