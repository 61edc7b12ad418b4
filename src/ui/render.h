#pragma once
// The session-window renderer as the screen buffer sees it: the shared
// colour-pair table, the drawing pens, painting a dirty rectangle of a
// screen, the highlight bar and buttons, and the caret.

#include "plat/plat.h"

#include <cstdint>

struct CuScreen;
struct CuRect;

struct UiColorPair {
    PRgb bg, fg;
};
constexpr int UI_COLOR_PAIRS = 77;    // attribute indices 0..76
constexpr int UI_DEFAULT_PAIRS = 28;  // 0..27 have defaults; 28..76 are handed out on demand

// The shared table every screen refers to.
UiColorPair* uiColorTable();
// Copies the default pairs into the table (the on-demand entries are freed).
void uiSetDefaultColors();
// Applies the "Colors" section of the configuration to the table.
void uiLoadColorSettings();
// An attribute for a foreground/background pair, allocating an on-demand
// entry when no entry has the pair.
int uiColorPairAttr(PRgb fg, PRgb bg);

void uiCreatePens();
void uiDeletePens();

// Forgets the colours last selected into a context, so the next paint sets
// them again.
void uiResetColorCache();
// Paints the cells of rect (grid co-ordinates, already inside the viewport)
// into dc, which has the session font selected.
void uiPaintRect(CuScreen* scr, PDC dc, const CuRect& rect);
// Button/3D mode overlays.
void uiPaintHighlight(CuScreen* scr, PDC dc);
void uiPaintButtons(CuScreen* scr, PDC dc);
// Places the caret at the screen's cursor (creating it when needed) and
// shows it. Only called for the focus screen.
void uiShowCaret(CuScreen* scr);

// Window procedure of the session windows.
PResult uiChildWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
