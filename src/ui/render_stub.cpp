// Screen-buffer side of the renderer until the session window's painter is
// in: the colour table and its defaults are real, painting draws nothing.
#include "ui/render.h"

#include "core/child.h"

#include "common/log.h"
#include "core/cuscr.h"

#include <array>

namespace {

std::array<UiColorPair, UI_COLOR_PAIRS> colorTable{};

}  // namespace

UiColorPair* uiColorTable() { return colorTable.data(); }

void uiSetDefaultColors() {
    // Light grey on black until the renderer brings its own defaults.
    for (int i = 0; i < UI_COLOR_PAIRS; ++i)
        colorTable[i] = i < UI_DEFAULT_PAIRS ? UiColorPair{platRgb(0, 0, 0), platRgb(192, 192, 192)} : UiColorPair{0, 0};
}

void uiLoadColorSettings() {}

int uiColorPairAttr(PRgb fg, PRgb bg) {
    logPrintf("#uiColorPairAttr: fg[%06x] bg[%06x] -> %d\n", (unsigned)fg, (unsigned)bg, CU_ATTR_UNIX_NORMAL);
    return CU_ATTR_UNIX_NORMAL;
}

void uiCreatePens() {}
void uiDeletePens() {}
void uiResetColorCache() {}
void uiPaintRect(CuScreen*, PDC, const CuRect&) {}
void uiPaintHighlight(CuScreen*, PDC) {}
void uiPaintButtons(CuScreen*, PDC) {}

void uiShowCaret(CuScreen* scr) {
    if (!scr || !scr->wnd) return;
    int w = scr->charWidth > 0 ? scr->charWidth : 1;
    int h = scr->charHeight > 0 ? scr->charHeight : 1;
    if (!scr->caretCreated) {
        scr->caretWidth = w;
        scr->caretHeight = scr->curShape == CU_CURSOR_UNDERLINE ? (h / 8 > 0 ? h / 8 : 1) : h;
        platCreateCaret(scr->wnd, scr->caretWidth, scr->caretHeight);
        scr->caretCreated = 1;
    }
    platSetCaretPos((scr->curCol - scr->viewLeft) * w, (scr->curRow - scr->viewTop) * h + h - scr->caretHeight);
    platShowCaret(scr->wnd);
}

// Until the session window is in: the session table's routing only.
PResult uiChildWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp) {
    bool handled = false;
    return sessWndRoute(wnd, msg, wp, lp, &handled);
}
