// The session-window renderer: colours, text runs, line graphics, frame
// codes, 3D frames, the caret, and fitting the font and grid to the window.
#include "ui/render.h"

#include "common/log.h"
#include "core/child.h"
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "net/korvex.h"
#include "term/unix.h"
#include "ui/errbox.h"
#include "ui/keyboard.h"
#include "ui/profile.h"
#include "ui/uiwin.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <strings.h>

namespace {

constexpr const char* kUnit = "CHILD";

constexpr std::array<UiColorPair, UI_DEFAULT_PAIRS> defaultPairs{{
    {0xC0C0C0, 0x000000}, {0xC0C0C0, 0xFFFFFF}, {0xC0C0C0, 0xC0C0C0}, {0xC0C0C0, 0x000000},
    {0xC0C0C0, 0xFF0000}, {0xC0C0C0, 0x0000FF}, {0xC0C0C0, 0x000000}, {0xC0C0C0, 0xFF0000},
    {0xC0C0C0, 0x0000FF}, {0x000000, 0x00FFFF}, {0x000000, 0xFF0000}, {0x000000, 0xFF00FF},
    {0x000000, 0xFFFF00}, {0x000000, 0xFFFFFF}, {0x000000, 0x0000FF}, {0x000000, 0x00FF00},
    {0x000000, 0x00FFFF}, {0x000000, 0xFF0000}, {0xC0C0C0, 0x000000}, {0x0000FF, 0x808000},
    {0xFFFFFF, 0xFF0000}, {0xFFFFFF, 0x0000FF}, {0xFFFFFF, 0x000000}, {0x000000, 0xFFFFFF},
    {0xFFFFFF, 0xC0C0C0}, {0xFFFFFF, 0xFFFF00}, {0xFFFFFF, 0xFFFFFF}, {0x000000, 0x000000},
}};

// PC colour order of colorPair.
constexpr std::array<PRgb, 8> pcColors{{0x000000, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF}};

constexpr std::array<PRgb, UI_PALETTE_SIZE> palette{{
    0x000000, 0x800000, 0xFF0000, 0x008000, 0x404000, 0x808000, 0xFF8000, 0x00FF00, 0x80FF00, 0xFFFF00,
    0x000080, 0x800080, 0xFF0080, 0x008080, 0x404040, 0x808080, 0xC0C0C0, 0xFF8080, 0x00FF80, 0x80FF80,
    0xFFFF80, 0x0000FF, 0x8000FF, 0xFF00FF, 0x0080FF, 0x8080FF, 0xFF80FF, 0x00FFFF, 0x80FFFF, 0xFFFFFF,
}};

constexpr std::array<const char*, UI_COLOR_ITEMS> itemNames{{
    "UNIX Normal", "UNIX Bold", "UNIX Reverse", "UNIX Low", "UNIX Underlined", "UNIX Blink", "UNIX Off",
    "MCS Normal", "MCS Prot Normal", "MCS Low", "MCS Prot Low", "MCS Blink", "MCS Prot Blink", "MCS Reverse",
    "MCS Off", "MCS Menubar",
}};
constexpr std::array<int32_t, UI_COLOR_ITEMS> itemAttrs{{20, 22, 23, 24, 25, 21, 26, 3, 6, 4, 7, 5, 8, 1, 2, 18}};

std::array<UiColorPair, UI_COLOR_PAIRS> colorTable{};
std::array<UiColorItem, UI_COLOR_ITEMS> items{};

enum class Underline { None, Underline, Underscore };
bool threeD = true;
Underline mcsUnderline = Underline::None;

PPen facePen = 0, shadowPen = 0, lightPen = 0, blackPen = 0;
int colorCache = -1;

// The pen made for underlines of one attribute; reused while consecutive
// underlines share it.
struct UnderlinePen {
    PPen pen = 0;
    PRgb color = 0;
};

// Per-window state of the size handler: a size seen before the screen
// existed, and a restore remembered for the next paint.
struct SizeMemo {
    PWnd wnd = 0;
    int type = 0, cw = 0, ch = 0;
    bool pending = false;
};
SizeMemo earlySize;
std::array<SizeMemo, CU_MAX_SCREENS> restoreMemo{};
int wmSizeState = 0;

struct SizeGuard {
    SizeGuard() { ++wmSizeState; }
    ~SizeGuard() { --wmSizeState; }
};

void ensurePens() {
    if (!facePen) facePen = platCreatePen(PPEN_SOLID, 1, UI_PEN_FACE);
    if (!shadowPen) shadowPen = platCreatePen(PPEN_SOLID, 1, UI_PEN_SHADOW);
    if (!lightPen) lightPen = platCreatePen(PPEN_SOLID, 1, UI_PEN_LIGHT);
    if (!blackPen) blackPen = platCreatePen(PPEN_SOLID, 1, UI_PEN_BLACK);
}

void line(PDC dc, PPen pen, std::initializer_list<PPoint> pts) {
    platPolyline(dc, pen, pts.begin(), (int32_t)pts.size());
}

PRgb penColor(PPen pen) { return pen == lightPen ? UI_PEN_LIGHT : pen == facePen ? UI_PEN_FACE : UI_PEN_SHADOW; }

// A 2 x 2 square whose top-left pixel is (x, y).
void notch(PDC dc, PPen pen, int x, int y) { platFillRect(dc, PRect{x, y, x + 2, y + 2}, penColor(pen)); }

UiColorPair pairOf(const CuScreen* s, int attr) {
    const UiColorPair* t = s->colors ? s->colors : colorTable.data();
    return attr >= 0 && attr < UI_COLOR_PAIRS ? t[attr] : UiColorPair{0, 0};
}

// Marked cells (a mouse marking being made or made) show reversed.
constexpr int kMarked = 0x100;

bool markedCell(const CuScreen* s, size_t index) {
    if (s->markState < 2) return false;
    size_t a = (size_t)std::max(0, std::min(s->markStart, s->markEnd));
    size_t b = (size_t)std::max(0, std::max(s->markStart, s->markEnd));
    return index >= a && index <= b;
}

UiColorPair shownPair(const CuScreen* s, int key) {
    UiColorPair p = pairOf(s, key & 0xFF);
    return (key & kMarked) ? UiColorPair{p.fg, p.bg} : p;
}

void setColors(const CuScreen* s, PDC dc, int key) {
    if (key == colorCache) return;
    UiColorPair p = shownPair(s, key);
    platSetTextColor(dc, p.fg);
    platSetBkColor(dc, p.bg);
    colorCache = key;
}

void underlineLine(PDC dc, UnderlinePen& up, PRgb color, int x0, int x1, int y) {
    if (!up.pen || up.color != color) {
        if (up.pen) platDeletePen(up.pen);
        up.pen = platCreatePen(PPEN_SOLID, 1, color);
        up.color = color;
    }
    line(dc, up.pen, {{x0, y}, {x1, y}});
}

// ---- line-drawing bytes ----

enum class Box : uint8_t { None, Vert, Horz, TopLeft, TopRight, BottomLeft, BottomRight, TeeRight, TeeLeft, TeeDown, TeeUp, Cross };
struct BoxByte {
    uint8_t code;
    Box shape;
};
constexpr std::array<BoxByte, 40> boxBytes{{
    {179, Box::Vert}, {186, Box::Vert}, {196, Box::Horz}, {205, Box::Horz},
    {201, Box::TopLeft}, {213, Box::TopLeft}, {214, Box::TopLeft}, {218, Box::TopLeft},
    {183, Box::TopRight}, {184, Box::TopRight}, {187, Box::TopRight}, {191, Box::TopRight},
    {192, Box::BottomLeft}, {200, Box::BottomLeft}, {211, Box::BottomLeft}, {212, Box::BottomLeft},
    {188, Box::BottomRight}, {189, Box::BottomRight}, {190, Box::BottomRight}, {217, Box::BottomRight},
    {195, Box::TeeRight}, {198, Box::TeeRight}, {199, Box::TeeRight}, {204, Box::TeeRight},
    {180, Box::TeeLeft}, {181, Box::TeeLeft}, {182, Box::TeeLeft}, {185, Box::TeeLeft},
    {194, Box::TeeDown}, {203, Box::TeeDown}, {209, Box::TeeDown}, {210, Box::TeeDown},
    {193, Box::TeeUp}, {202, Box::TeeUp}, {207, Box::TeeUp}, {208, Box::TeeUp},
    {197, Box::Cross}, {206, Box::Cross}, {215, Box::Cross}, {216, Box::Cross},
}};

Box boxShape(int code) {
    for (const BoxByte& b : boxBytes)
        if (b.code == code) return b.shape;
    return Box::None;
}

void drawBox(PDC dc, Box shape, int x, int y, int W, int H) {
    PPen S = shadowPen;
    int xm = x + W / 2, ym = y + H / 2;
    auto vert = [&] { line(dc, S, {{xm, y}, {xm, y + H}}); };
    auto horz = [&] { line(dc, S, {{x, ym}, {x + W, ym}}); };
    switch (shape) {
    case Box::Vert: vert(); break;
    case Box::Horz: horz(); break;
    case Box::TopLeft: line(dc, S, {{xm, y + H - 1}, {xm, ym}, {x + W, ym}}); break;
    case Box::TopRight: line(dc, S, {{x, ym}, {xm, ym}, {xm, y + H}}); break;
    case Box::BottomLeft: line(dc, S, {{xm, y}, {xm, ym}, {x + W, ym}}); break;
    case Box::BottomRight: line(dc, S, {{xm, y}, {xm, ym}, {x - 1, ym}}); break;
    case Box::TeeRight: vert(); line(dc, S, {{xm, ym}, {x + W, ym}}); break;
    case Box::TeeLeft: vert(); line(dc, S, {{xm, ym}, {x - 1, ym}}); break;
    case Box::TeeDown: horz(); line(dc, S, {{xm, y + H - 1}, {xm, ym}}); break;
    case Box::TeeUp: horz(); line(dc, S, {{xm, y}, {xm, ym}}); break;
    case Box::Cross: vert(); horz(); break;
    case Box::None: break;
    }
}

// ---- frame codes ----

enum : uint16_t {
    F_TOP = 0x01, F_TOPRIGHT = 0x02, F_LEFT = 0x04, F_RIGHT = 0x08, F_BOTTOM = 0x10,
    N_S_BR = 0x100, N_S_BL = 0x200, N_S_TR = 0x400, N_L_TL = 0x800,
};
struct FrameCode {
    int16_t code;
    uint16_t parts;
};
constexpr std::array<FrameCode, 18> frameCodes{{
    {258, F_TOP | F_LEFT | N_S_BR}, {259, F_TOP | F_BOTTOM}, {260, F_TOP | N_S_BL | N_S_BR},
    {261, F_TOPRIGHT | N_S_BL}, {262, F_LEFT | F_RIGHT}, {263, F_LEFT | N_S_TR | N_S_BR},
    {264, F_RIGHT | N_L_TL | N_S_BL}, {265, F_LEFT | F_BOTTOM | N_S_TR}, {266, F_BOTTOM | N_L_TL | N_S_TR},
    {267, F_RIGHT | F_BOTTOM | N_L_TL}, {268, F_TOP | F_LEFT}, {269, F_TOP},
    {270, F_TOPRIGHT}, {271, F_LEFT}, {272, F_RIGHT},
    {273, F_LEFT | F_BOTTOM}, {274, F_BOTTOM}, {275, F_RIGHT | F_BOTTOM},
}};

void drawFrameParts(PDC dc, uint16_t parts, int x, int y, int W, int H) {
    PPen L = lightPen, S = shadowPen;
    if (parts & (F_TOP | F_TOPRIGHT)) line(dc, L, {{x + W - 1, y}, {x, y}, {x, y + 1}, {x + W, y + 1}});
    if (parts & F_TOPRIGHT) {
        line(dc, S, {{x + W - 1, y + H - 1}, {x + W - 1, y}});
        line(dc, S, {{x + W - 2, y + 2}, {x + W - 2, y + H}});
    }
    if (parts & F_LEFT) line(dc, L, {{x, y + H - 1}, {x, y}, {x + 1, y}, {x + 1, y + H}});
    if (parts & F_RIGHT) line(dc, S, {{x + W - 1, y + H - 1}, {x + W - 1, y}, {x + W - 2, y}, {x + W - 2, y + H}});
    if (parts & F_BOTTOM) line(dc, S, {{x + W - 1, y + H - 1}, {x, y + H - 1}, {x, y + H - 2}, {x + W, y + H - 2}});
    if (parts & N_S_BR) notch(dc, S, x + W - 2, y + H - 2);
    if (parts & N_S_BL) notch(dc, S, x, y + H - 2);
    if (parts & N_S_TR) notch(dc, S, x + W - 2, y);
    if (parts & N_L_TL) notch(dc, L, x, y);
}

// An arrowhead: the stroke p1-p2-p3 with the light pen when p1 lies below
// p2, else the shadow pen; then p3-p1 and one pixel on towards p2 with the
// other.
void arrowhead(PDC dc, PPoint p1, PPoint p2, PPoint p3) {
    PPen first = p1.y > p2.y ? lightPen : shadowPen;
    PPen second = first == lightPen ? shadowPen : lightPen;
    line(dc, first, {p1, p2, p3});
    int step = p2.y > p1.y ? 1 : p2.y < p1.y ? -1 : 0;
    line(dc, second, {p3, p1, {p1.x, p1.y + step}});
}

void drawFrameCode(const CuScreen* s, PDC dc, int code, int attr, int x, int y, int W, int H) {
    for (const FrameCode& f : frameCodes)
        if (f.code == code) {
            drawFrameParts(dc, f.parts, x, y, W, H);
            return;
        }
    int c = W - 1, xm = x + c / 2 - 1, xc = x + W / 2, xr = xc + c / 2 - 1;
    int f = H - 1, ym = y + f / 2, yb = ym + f / 4, yt = ym - f / 4;
    switch (code) {
    case 256:
        line(dc, lightPen, {{x, y + H - 2}, {x + W / 2, y + 1}});
        line(dc, shadowPen, {{x + W / 2, y + 1}, {x + W - 1, y + H - 2}, {x, y + H - 2}});
        break;
    case 257:
        line(dc, lightPen, {{x + W / 2, y + H - 2}, {x, y + 1}, {x + W - 1, y + 1}});
        line(dc, shadowPen, {{x + W - 1, y + 1}, {x + W / 2, y + H - 2}});
        break;
    case 28:
        arrowhead(dc, {xr, yt}, {xr, yb}, {xc, ym});
        arrowhead(dc, {xm, yt}, {xm, yb}, {x, ym});
        break;
    case 29:
        arrowhead(dc, {x, yb}, {x, yt}, {xm, ym});
        arrowhead(dc, {xc, yb}, {xc, yt}, {xr, ym});
        break;
    case 30: {
        UiColorPair p = pairOf(s, attr);
        if (p.fg != p.bg) arrowhead(dc, {x, ym + f / 2 - 1}, {x, y + 1}, {xr, ym});
        break;
    }
    default:
        break;
    }
}

bool isFrameCode(int code) { return (code >= 28 && code <= 30) || (code >= 256 && code <= 275); }

// ---- text ----

bool buttonMode(const CuScreen* s) { return (s->winFlags & CUW_3D) != 0; }

bool plainCell(const CuScreen* s, uint16_t code, uint8_t* shown) {
    if (code > 255) return false;
    int mapped = LangUNIXToWin(code);
    bool plain = mapped != code || (code >= 0x20 && code <= 0x7E);
    if (code == 0x5F && buttonMode(s) && (threeD || mcsUnderline != Underline::Underscore)) plain = false;
    *shown = (uint8_t)mapped;
    return plain;
}

void paintText(CuScreen* s, PDC dc, int row, int col, int count, UnderlinePen& up) {
    const int W = s->charWidth, H = s->charHeight;
    const int y = (row - s->viewTop) * H;
    const size_t base = (size_t)row * (size_t)s->Cols;
    std::array<uint8_t, CU_MAX_COLS> text{};
    static const uint8_t blank = ' ';
    int i = col, end = col + count;
    while (i < end) {
        int attr = s->attrs[base + i];
        int key = attr | (markedCell(s, base + i) ? kMarked : 0);
        int runEnd = i;
        while (runEnd < end && (s->attrs[base + runEnd] | (markedCell(s, base + runEnd) ? kMarked : 0)) == key) ++runEnd;
        setColors(s, dc, key);
        UiColorPair pair = shownPair(s, key);
        while (i < runEnd) {
            int start = i, n = 0;
            uint8_t shown = 0;
            while (i < runEnd && n < (int)text.size() && plainCell(s, s->chars[base + i], &shown)) {
                text[n++] = shown;
                ++i;
            }
            if (n > 0) {
                int x = (start - s->viewLeft) * W;
                platTextOut(dc, x, y, text.data(), n);
                if (attr == CU_ATTR_UNIX_UNDERLINED && mcsUnderline == Underline::Underline)
                    underlineLine(dc, up, pair.fg, x, x + n * W, y + H - 2);
                continue;
            }
            uint16_t code = s->chars[base + i];
            int x = (i - s->viewLeft) * W;
            platTextOut(dc, x, y, &blank, 1);
            if (code == 0 || code == 10 || code == 12 || code == 19) {
            } else if (code == 16 || code == 27) {
                uint8_t c = code == 16 ? '>' : '^';
                platTextOut(dc, x, y, &c, 1);
            } else if (isFrameCode(code)) {
                drawFrameCode(s, dc, code, attr, x, y, W, H);
            } else if (code == 0x5F) {
                if (threeD && mcsUnderline == Underline::Underscore) underlineLine(dc, up, pair.fg, x, x + W, y + H - 2);
            } else if (code <= 255 && boxShape(code) != Box::None) {
                drawBox(dc, boxShape(code), x, y, W, H);
            } else {
                uint8_t c = (uint8_t)(code & 0xFF);
                platTextOut(dc, x, y, &c, 1);
            }
            ++i;
        }
    }
}

// ---- 3D frames ----

bool protectedCell(const CuScreen* s, int row, int col) {
    const uint16_t* map = s->mcsMap;
    if (!map) return true;
    int stride = mcsTermCols() > 0 ? mcsTermCols() : s->Cols;
    int rows = mcsTermRows() > 0 ? mcsTermRows() + 2 : s->Rows;
    if (row < 0 || col < 0 || col >= stride || row >= rows) return true;
    return (map[(size_t)row * stride + col] & 0x0080) != 0;
}

bool outlined(const CuScreen* s, int row, int col) {
    const uint16_t* map = s->mcsMap;
    if (!map) return false;
    int stride = mcsTermCols() > 0 ? mcsTermCols() : s->Cols;
    int rows = mcsTermRows() > 0 ? mcsTermRows() + 2 : s->Rows;
    if (row < 0 || col < 0 || col >= stride || row >= rows) return false;
    return (map[(size_t)row * stride + col] & 0x0020) != 0;
}

// A rectangle's edges, right and bottom exclusive as a window system draws
// them: the right edge lies at x1 - 1, the bottom at y1 - 1.
struct Edges {
    int x0, y0, x1, y1;
    bool left, right;
};
void edgeTop(PDC dc, PPen p, const Edges& e) { line(dc, p, {{e.x0, e.y0}, {e.x1, e.y0}}); }
void edgeBottom(PDC dc, PPen p, const Edges& e) { line(dc, p, {{e.x0, e.y1 - 1}, {e.x1, e.y1 - 1}}); }
void edgeLeft(PDC dc, PPen p, const Edges& e) {
    if (e.left) line(dc, p, {{e.x0, e.y0}, {e.x0, e.y1}});
}
void edgeRight(PDC dc, PPen p, const Edges& e) {
    if (e.right) line(dc, p, {{e.x1 - 1, e.y0}, {e.x1 - 1, e.y1}});
}

void drawField(CuScreen* s, PDC dc, int row, int col, int n, int mode, int pressed, UnderlinePen& up) {
    const int W = s->charWidth, H = s->charHeight;
    bool openLeft = col - 1 >= 0 && !protectedCell(s, row, col - 1);
    bool openRight = col + n < s->Cols && !protectedCell(s, row, col + n);
    int vc = col - s->viewLeft, vr = row - s->viewTop;
    Edges outer{vc * W - 1, vr * H, (vc + n) * W + 1, vr * H + H, !openLeft, !openRight};
    Edges inner{outer.x0 + 1, outer.y0 + 1, outer.x1 - 1, outer.y1 - 1, outer.left, outer.right};
    if (mode == UI_ROW_BUTTON) {
        edgeTop(dc, shadowPen, outer);
        edgeLeft(dc, shadowPen, outer);
        edgeBottom(dc, shadowPen, outer);
        edgeRight(dc, shadowPen, outer);
        PPen tl = pressed ? facePen : lightPen, br = pressed ? lightPen : facePen;
        edgeTop(dc, tl, inner);
        edgeLeft(dc, tl, inner);
        edgeBottom(dc, br, inner);
        edgeRight(dc, br, inner);
        return;
    }
    if (threeD && mode == UI_ROW_HIGHLIGHT) {
        edgeTop(dc, shadowPen, outer);
        edgeLeft(dc, shadowPen, outer);
        edgeBottom(dc, lightPen, outer);
        edgeRight(dc, lightPen, outer);
    } else {
        edgeTop(dc, facePen, outer);
        edgeLeft(dc, facePen, outer);
        edgeBottom(dc, facePen, outer);
        edgeRight(dc, facePen, outer);
    }
    if (threeD) {
        edgeTop(dc, shadowPen, inner);
        edgeLeft(dc, shadowPen, inner);
        edgeBottom(dc, lightPen, inner);
        edgeRight(dc, lightPen, inner);
    }
    if (outlined(s, row, col) && mcsUnderline == Underline::Underline) {
        const Edges& e = threeD ? inner : outer;
        UiColorPair p = pairOf(s, s->attrs[(size_t)row * s->Cols + col]);
        underlineLine(dc, up, p.fg, e.x0, e.x1, e.y1 - 1);
    }
}

void paintFrames(CuScreen* s, PDC dc, int row, int col, int count, int mode, int pressed, UnderlinePen& up) {
    if (mode == UI_ROW_BUTTON || (mode == UI_ROW_HIGHLIGHT && !s->mcsMap)) {
        drawField(s, dc, row, col, count, mode, pressed, up);
        return;
    }
    int i = col, end = col + count;
    while (i < end) {
        if (protectedCell(s, row, i)) {
            ++i;
            continue;
        }
        int start = i;
        while (i < end && !protectedCell(s, row, i)) ++i;
        drawField(s, dc, row, start, i - start, mode, pressed, up);
    }
}

int caretHeightFor(const CuScreen* s) {
    int H = std::max(1, s->charHeight);
    if (s->curShape == CU_CURSOR_BLOCK) return H;
    return H < 32 ? 3 : H / 8;
}

void resizeFont(CuScreen* s, int size) {
    if (!s) return;
    s->fontSize = std::clamp(size, UI_FONT_MIN, UI_FONT_MAX);
    uiMakeFont(s);
    uiFitWindow(s);
    platInvalidate(s->wnd, nullptr, true);
}

PRgb nearestPalette(PRgb c) {
    auto channel = [](PRgb v, int shift) { return (int)((v >> shift) & 0xFF); };
    PRgb best = palette[0];
    long bestD = -1;
    for (PRgb p : palette) {
        long d = 0;
        for (int sh : {0, 8, 16}) {
            long k = channel(p, sh) - channel(c, sh);
            d += k * k;
        }
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = p;
        }
    }
    return best;
}

void itemsFromTable(bool defaults) {
    for (int i = 0; i < UI_COLOR_ITEMS; ++i) {
        UiColorPair p = defaults ? uiDefaultColorPair(itemAttrs[i]) : colorTable[itemAttrs[i]];
        items[i] = UiColorItem{itemNames[i], itemAttrs[i], platNearestColor(0, p.fg), platNearestColor(0, p.bg)};
    }
}

}  // namespace

CuScreen* uiScreenOfWindow(PWnd wnd, int* slotOut) {
    if (!wnd || !platIsWindow(wnd)) return nullptr;
    intptr_t v = platUserWord(wnd);
    int slot = v >= 1 && v <= CU_MAX_SCREENS ? (int)v - 1 : -1;
    CuScreen* s = cuScreenAt(slot);
    if (!s || s->wnd != wnd) return nullptr;
    if (slotOut) *slotOut = slot;
    return s;
}

// ---- colours ----

UiColorPair* uiColorTable() { return colorTable.data(); }

UiColorPair uiDefaultColorPair(int attr) {
    return attr >= 0 && attr < UI_DEFAULT_PAIRS ? defaultPairs[attr] : UiColorPair{0, 0};
}

void uiSetDefaultColors() {
    for (int i = 0; i < UI_COLOR_PAIRS; ++i) colorTable[i] = uiDefaultColorPair(i);
    for (int i = 0; i < UI_COLOR_ITEMS; ++i) {
        UiColorPair p = colorTable[itemAttrs[i]];
        items[i] = UiColorItem{itemNames[i], itemAttrs[i], p.fg, p.bg};
    }
}

void uiLoadRenderOptions() {
    char v[32];
    cfgGetString("Options", "3DMode", "", v, sizeof v);
    threeD = strcasecmp(v, "OFF") != 0;
    cfgGetString("Options", "MCSUnderline", "", v, sizeof v);
    mcsUnderline = strcasecmp(v, "UNDERLINE") == 0    ? Underline::Underline
                   : strcasecmp(v, "UNDERSCORE") == 0 ? Underline::Underscore
                                                      : Underline::None;
}

void uiLoadColorSettings() {
    char v[64];
    for (int i = 0; i < UI_COLOR_ITEMS; ++i) {
        if (cfgGetString("Colors", itemNames[i], "", v, sizeof v) <= 0) continue;
        char* end = nullptr;
        unsigned long fg = strtoul(v, &end, 16);
        if (end == v || *end != ',') continue;
        const char* second = end + 1;
        unsigned long bg = strtoul(second, &end, 16);
        if (end == second) continue;
        colorTable[itemAttrs[i]] = UiColorPair{(PRgb)(bg & 0xFFFFFF), (PRgb)(fg & 0xFFFFFF)};
    }
    for (int i = 0; i < UI_COLOR_ITEMS; ++i) {
        UiColorPair p = colorTable[itemAttrs[i]];
        items[i] = UiColorItem{itemNames[i], itemAttrs[i], p.fg, p.bg};
    }
    uiLoadRenderOptions();
}

const UiColorItem* uiColorItems() { return items.data(); }
const PRgb* uiColorPalette() { return palette.data(); }

void uiSaveColorItems(const UiColorItem* list, int count) {
    char v[40];
    for (int i = 0; i < count && i < UI_COLOR_ITEMS; ++i) {
        int attr = list[i].attr;
        if (attr < 0 || attr >= UI_COLOR_PAIRS) continue;
        colorTable[attr] = UiColorPair{list[i].bg, list[i].fg};
        for (int k = 0; k < UI_COLOR_ITEMS; ++k)
            if (itemAttrs[k] == attr) items[k] = UiColorItem{itemNames[k], attr, list[i].fg, list[i].bg};
        snprintf(v, sizeof v, "%lx,%lx", (unsigned long)list[i].fg, (unsigned long)list[i].bg);
        cfgSetString("Colors", list[i].name, v);
    }
}

int uiColorDialog(PWnd owner) {
    enum : int32_t { ID_FORE = 101, ID_BACK = 102, ID_RESET = 103, ID_HELP = 104 };
    constexpr int32_t kDialogId = 1700;
    itemsFromTable(false);
    std::array<UiColorItem, UI_COLOR_ITEMS> work = items;
    std::array<const char*, UI_COLOR_ITEMS> names{};
    for (int i = 0; i < UI_COLOR_ITEMS; ++i) names[i] = itemNames[i];
    int selected = 0;
    for (;;) {
        std::array<PDlgControl, 7> ctl{{
            {1, PCtlKind::List, "", nullptr, 0, names.data(), UI_COLOR_ITEMS, selected},
            {2, PCtlKind::Label, " - Sample Text - ", nullptr, 0, nullptr, 0, 0},
            {ID_FORE, PCtlKind::Button, "Foreground", nullptr, 0, nullptr, 0, 0},
            {ID_BACK, PCtlKind::Button, "Background", nullptr, 0, nullptr, 0, 0},
            {PID_OK, PCtlKind::Button, "OK", nullptr, 0, nullptr, 0, 0},
            {PID_CANCEL, PCtlKind::Button, "Cancel", nullptr, 0, nullptr, 0, 0},
            {ID_RESET, PCtlKind::Button, "Reset", nullptr, 0, nullptr, 0, 0},
        }};
        PDlgForm dialog{kDialogId, "Color Configuration", ctl.data(), (int32_t)ctl.size()};
        int32_t r = platDialog(owner, &dialog);
        if (ctl[0].value >= 0 && ctl[0].value < UI_COLOR_ITEMS) selected = ctl[0].value;
        UiColorItem& it = work[selected];
        if (r == ID_FORE || r == ID_BACK) {
            PRgb c = r == ID_FORE ? it.fg : it.bg;
            if (!platChooseColor(owner, &c)) continue;
            c = platNearestColor(0, nearestPalette(c));
            // The "Off" items stay invisible: both colours follow.
            if (it.attr == CU_ATTR_UNIX_OFF || it.attr == CU_ATTR_MCS_OFF) it.fg = it.bg = c;
            else if (r == ID_FORE) it.fg = c;
            else it.bg = c;
        } else if (r == ID_RESET) {
            for (int i = 0; i < UI_COLOR_ITEMS; ++i) {
                UiColorPair p = uiDefaultColorPair(itemAttrs[i]);
                work[i].fg = platNearestColor(0, p.fg);
                work[i].bg = platNearestColor(0, p.bg);
            }
        } else if (r == ID_HELP) {
            logPrintf("#uiColorDialog: help\n");
        } else if (r == PID_OK) {
            uiSaveColorItems(work.data(), UI_COLOR_ITEMS);
            platPost(uiFrameWindow(), PM_COLORS_CHANGED, 0, 0);
            return 1;
        } else {
            return 0;
        }
    }
}

int colorPair(int fgNumber, int bgNumber) {
    auto color = [](int n) { return n >= 0 && n < (int)pcColors.size() ? pcColors[n] : (PRgb)0; };
    return uiColorPairAttr(color(fgNumber), color(bgNumber));
}

int uiColorPairAttr(PRgb fg, PRgb bg) {
    for (int i = 0; i < UI_COLOR_PAIRS; ++i)
        if (colorTable[i].bg == bg && colorTable[i].fg == fg) return i;
    for (int i = UI_COLOR_PAIRS - 1; i >= 1; --i)
        if (colorTable[i].bg == 0 && colorTable[i].fg == 0) {
            colorTable[i] = UiColorPair{bg, fg};
            return i;
        }
    return 0;
}

void uiCreatePens() {
    uiDeletePens();
    ensurePens();
}

void uiDeletePens() {
    for (PPen* p : {&facePen, &shadowPen, &lightPen, &blackPen}) {
        if (*p) platDeletePen(*p);
        *p = 0;
    }
}

void uiResetColorCache() { colorCache = -1; }

// ---- painting ----

void uiPaintRow(CuScreen* s, PDC dc, int row, int col, int count, int mode, int pressed) {
    if (!s || !s->chars || s->charWidth < 1 || s->charHeight < 1) return;
    if (row < 0 || row >= s->Rows || col < 0 || col >= s->Cols || count <= 0) return;
    count = std::min(count, s->Cols - col);
    ensurePens();
    UnderlinePen up;
    if (mode == UI_ROW_TEXT) paintText(s, dc, row, col, count, up);
    if (buttonMode(s)) paintFrames(s, dc, row, col, count, mode, pressed, up);
    if (up.pen) platDeletePen(up.pen);
}

void uiPaintRect(CuScreen* s, PDC dc, const CuRect& rect) {
    if (!s) return;
    int top = std::max(rect.top, s->viewTop), left = std::max(rect.left, s->viewLeft);
    int bottom = std::min({rect.bottom, s->viewBottom, s->Rows - 1});
    int right = std::min({rect.right, s->viewRight, s->Cols - 1});
    top = std::max(top, 0);
    left = std::max(left, 0);
    if (top > bottom || left > right) return;
    for (int r = top; r <= bottom; ++r) uiPaintRow(s, dc, r, left, right - left + 1, UI_ROW_TEXT, 0);
}

void uiPaintHighlight(CuScreen* s, PDC dc) {
    if (!s || !buttonMode(s) || !(s->hlFlags & CU_HL_SHOWN) || s->hlLen <= 0) return;
    uiPaintRow(s, dc, s->hlRow, s->hlCol, s->hlLen, UI_ROW_HIGHLIGHT, 0);
}

void uiPaintButtons(CuScreen* s, PDC dc) {
    if (!s || !buttonMode(s)) return;
    for (int i = 0; i < s->buttonCount && i < DMAXBUTTONS; ++i) {
        const CuButtonRec& b = s->buttons[i];
        uiPaintRow(s, dc, b.row, b.col, b.len, UI_ROW_BUTTON, b.state);
    }
}

// ---- caret ----

void uiCaret(CuScreen* s, int flags) {
    if (!s || !s->wnd) return;
    if ((flags & UI_CARET_DESTROY) && s->caretCreated) {
        platDestroyCaret();
        s->caretCreated = 0;
    }
    if (flags & UI_CARET_CREATE) {
        if (s->caretCreated) platDestroyCaret();
        s->caretWidth = std::max(1, s->charWidth);
        s->caretHeight = caretHeightFor(s);
        s->caretCreated = platCreateCaret(s->wnd, s->caretWidth, s->caretHeight) ? 1 : 0;
    }
    if (flags & UI_CARET_HIDE) platHideCaret(s->wnd);
    if (flags & UI_CARET_PLACE)
        platSetCaretPos((s->curCol - s->viewLeft) * s->charWidth,
                        (s->curRow - s->viewTop + 1) * s->charHeight - s->caretHeight);
    if (flags & UI_CARET_SHOW) platShowCaret(s->wnd);
}

void uiShowCaret(CuScreen* s) {
    if (!s || !s->wnd) return;
    // The cursor shape or the cell may have changed since the caret was made.
    bool stale = !s->caretCreated || s->caretHeight != caretHeightFor(s) || s->caretWidth != std::max(1, s->charWidth);
    uiCaret(s, (stale ? UI_CARET_CREATE : 0) | UI_CARET_PLACE | UI_CARET_SHOW);
}

// ---- fonts, grid and viewport ----

int uiMakeFont(CuScreen* s) {
    if (!s) return -1;
    s->fontSize = std::clamp(s->fontSize > 0 ? s->fontSize : UI_FONT_DEFAULT, UI_FONT_MIN, UI_FONT_MAX);
    PFont f = platCreateFont(UI_FONT_FACE, s->fontSize, 0);
    if (!f) return -1;
    if (s->font) platDeleteFont(s->font);
    s->font = f;
    PFontMetrics m = platFontMetrics(f);
    s->charWidth = std::max(1, m.width);
    s->charHeight = std::max(1, m.height);
    return 0;
}

int uiFitFont(int cw, int ch, CuScreen* s) {
    if (!s || s->Rows < 1 || s->Cols < 1) return -1;
    int size = s->fontSize > 0 ? s->fontSize : s->lockedFontSize > 0 ? s->lockedFontSize : UI_FONT_DEFAULT;
    size = std::clamp(size, UI_FONT_MIN, UI_FONT_MAX);
    int dir = 0;  // -1 shrinking, +1 growing
    int result;
    for (;;) {
        // Out of range: the nearest size in range (nothing smaller than the
        // smallest font exists, even when it does not fit).
        if (size < UI_FONT_MIN || size > UI_FONT_MAX) {
            result = std::clamp(size, UI_FONT_MIN, UI_FONT_MAX);
            break;
        }
        PFont f = platCreateFont(UI_FONT_FACE, size, 0);
        if (!f) return -1;
        PFontMetrics m = platFontMetrics(f);
        platDeleteFont(f);
        int w = std::max(1, m.width), h = std::max(1, m.height);
        bool tooBig = ch / h < s->Rows || cw / w < s->Cols;
        if (tooBig) {
            if (dir > 0) {
                result = size - 1;
                break;
            }
            dir = -1;
            --size;
        } else if (dir < 0) {
            result = size;
            break;
        } else {
            dir = 1;
            ++size;
        }
    }
    if (s->lockedFontSize) s->lockedFontSize = result;
    return result;
}

void uiSetViewport(CuScreen* s) {
    if (!s || s->charWidth < 1 || s->charHeight < 1) return;
    s->visCols = std::min(s->Cols, s->clientWidth / s->charWidth);
    s->visRows = std::min(s->Rows, s->clientHeight / s->charHeight);
    auto fit = [](int32_t& lo, int32_t& hi, int visible, int count) {
        lo = std::clamp(lo, 0, std::max(0, count - 1));
        hi = std::max(0, lo + visible - 1);
        if (hi > count - 1) {
            hi = count - 1;
            lo = std::max(0, hi - visible + 1);
        }
    };
    fit(s->viewTop, s->viewBottom, s->visRows, s->Rows);
    fit(s->viewLeft, s->viewRight, s->visCols, s->Cols);
}

void uiFitWindow(CuScreen* s) {
    if (!s || !s->wnd || s->charWidth < 1 || s->charHeight < 1) return;
    if (s->visCols < 1 || s->visRows < 1) uiSetViewport(s);
    int cw = s->visCols * s->charWidth, ch = s->visRows * s->charHeight;
    if (cw < 1 || ch < 1) return;
    PRect wr = platWindowRect(s->wnd), cr = platClientRect(s->wnd);
    int width = (wr.right - wr.left) + cw - (cr.right - cr.left);
    int height = (wr.bottom - wr.top) + ch - (cr.bottom - cr.top);
    SizeGuard guard;
    platMove(s->wnd, PRect{wr.left, wr.top, wr.left + width, wr.top + height});
    s->clientWidth = cw;
    s->clientHeight = ch;
}

void uiFontSmaller() {
    CuScreen* s = cuFocusScreen();
    if (!s || platIsMaximized(s->wnd) || s->fontSize <= UI_FONT_MIN) return;
    resizeFont(s, s->fontSize - 1);
}

void uiFontLarger() {
    CuScreen* s = cuFocusScreen();
    if (!s || platIsMaximized(s->wnd) || s->fontSize >= UI_FONT_MAX) return;
    resizeFont(s, s->fontSize + 1);
}

bool uiAutoFont() {
    const CuScreen* s = cuFocusScreen();
    return s && s->lockedFontSize == 0;
}

void uiToggleAutoFont() {
    CuScreen* s = cuFocusScreen();
    if (!s || !s->wnd) return;
    if (s->lockedFontSize == 0) {
        s->lockedFontSize = s->fontSize > 0 ? s->fontSize : UI_FONT_DEFAULT;
        return;
    }
    // The font follows the window again: fit it to the window as it is.
    s->lockedFontSize = 0;
    PRect r = platClientRect(s->wnd);
    uiWMSize(s->wnd, platIsMaximized(s->wnd) ? PSIZE_MAXIMIZED : PSIZE_RESTORED, r.right - r.left, r.bottom - r.top);
    platInvalidate(s->wnd, nullptr, true);
}

void uiWMSize(PWnd wnd, int type, int cw, int ch) {
    int slot = -1;
    CuScreen* s = uiScreenOfWindow(wnd, &slot);
    if (!s) {
        earlySize = SizeMemo{wnd, type, cw, ch, true};
        logPrintf("#OnSize : NULL cuScrPtr\n");
        return;
    }
    if (wmSizeState > 0) {
        logPrintf("#OnSize : WMSizeState > 0\n");
        return;
    }
    SizeGuard guard;
    if (type == (int)PSIZE_MINIMIZED) {
        s->winFlags = (s->winFlags & ~CUW_MAXIMIZED) | CUW_MINIMIZED;
        uiSetChildrenMaximized(0);
        int prev = cuCurSlot;
        cuSelect(slot);
        cuInvalidate(0, 0, s->Rows - 1, s->Cols - 1);
        s->fullRepaint = 1;
        cuSelect(prev);
        logPrintf("#OnSize : SIZE_MINIMIZED\n");
        return;
    }
    bool maximized = type == (int)PSIZE_MAXIMIZED;
    if (maximized) {
        s->winFlags = (s->winFlags & ~CUW_MINIMIZED) | CUW_MAXIMIZED;
        // A restore not painted yet is over: the window is maximised again
        // (the MDI area restores a child when another one is maximised).
        restoreMemo[slot].pending = false;
        s->restorePending = 0;
        uiSetChildrenMaximized(1);
        logPrintf("#OnSize : SIZE_MAXIMIZED\n");
    } else if (s->winFlags & CUW_MAXIMIZED) {
        s->winFlags &= ~CUW_MAXIMIZED;
        restoreMemo[slot] = SizeMemo{wnd, type, cw, ch, true};
        s->restorePending = 1;
        logPrintf("#OnSize : SIZE_RESTORED\n");
        return;
    } else {
        s->winFlags &= ~CUW_MINIMIZED;
    }

    kbEndMarking(s);
    bool locked = s->lockedFontSize > 0;
    ChSession* sess = sessAt(slot);
    bool charMode = sess && (sess->flags & CHF_CHARMODE);
    logPrintf("#uiWMSize: XPixels[%d] YPixels[%d] wParam[%x] cuScrPtr(%i), FontLocked(%d)\n", cw, ch, (unsigned)type,
              slot, locked ? 1 : 0);
    bool hadSize = s->fontSize > 0;
    int size = s->fontSize;
    if (locked && charMode) {
        if (size <= 0) size = s->lockedFontSize;
    } else {
        size = uiFitFont(cw, ch, s);
        if (size < 0) {
            showInternalError("Error calculating font size, exiting", kUnit, __LINE__);
            uiFatalExit(1);
        }
    }
    if (size != s->fontSize || !s->font || s->charWidth < 1) {
        s->fontSize = size;
        if (uiMakeFont(s) < 0) {
            showInternalError("Error calculating font size, exiting", kUnit, __LINE__);
            uiFatalExit(1);
        }
    }
    s->clientWidth = cw;
    s->clientHeight = ch;
    if (locked && charMode) {
        if (cuSessResize(s) == 1 && sess) {
            unixInit(sess, 0, s->Rows, s->Cols, false);
            if (sess->hostIO && !korvexIsMcs(sess->hostIO)) korvexResize(sess->hostIO, s->Rows, s->Cols);
        }
        s->visCols = std::min(s->visCols, s->Cols);
        s->visRows = std::min(s->visRows, s->Rows);
    } else {
        uiSetViewport(s);
    }
    if (hadSize && !maximized) uiFitWindow(s);
    if (s == cuFocusScreen()) {
        logPrintf("#Child OnSize: CARET_CREATE");
        uiCaret(s, UI_CARET_CREATE | UI_CARET_PLACE | UI_CARET_SHOW);
    }
    platInvalidate(wnd, nullptr, true);
}

void uiEraseBackground(PWnd wnd, PDC dc) {
    int slot = -1;
    CuScreen* s = uiScreenOfWindow(wnd, &slot);
    ChSession* sess = s ? sessAt(slot) : nullptr;
    int attr = sess && sess->mcs ? CU_ATTR_MCS_NORMAL : CU_ATTR_UNIX_NORMAL;
    PRect r = platClientRect(wnd);
    platFillRect(dc, r, colorTable[attr].bg);
}

void uiWMPaint(PWnd wnd) {
    int slot = -1;
    CuScreen* s = uiScreenOfWindow(wnd, &slot);
    PRect r = platClientRect(wnd);
    logPrintf("#Child:Paint(%i)(%i)(%i)(%i)\n", r.left, r.top, r.right, r.bottom);
    logPrintf("#Child:Paint Active(%i) SessForeground(%i)\n", (int)platMdiActive(), s && s == cuFocusScreen() ? 1 : 0);
    if (!s) return;
    uiLoadRenderOptions();
    if (s->restorePending && restoreMemo[slot].pending) {
        SizeMemo m = restoreMemo[slot];
        restoreMemo[slot].pending = false;
        s->restorePending = 0;
        s->winFlags &= ~CUW_MAXIMIZED;
        uiSetChildrenMaximized(0);
        uiWMSize(wnd, m.type, m.cw, m.ch);
    } else if (earlySize.pending && earlySize.wnd == wnd) {
        SizeMemo m = earlySize;
        earlySize.pending = false;
        uiWMSize(wnd, m.type, m.cw, m.ch);
    } else if (!s->font || s->charWidth < 1) {
        // The window system sent no size yet: fit to what the window has.
        uiWMSize(wnd, platIsMaximized(wnd) ? PSIZE_MAXIMIZED : PSIZE_RESTORED, r.right - r.left, r.bottom - r.top);
    }
    if (s->winFlags & CUW_MINIMIZED) return;
    bool focus = s == cuFocusScreen();
    if (focus) platHideCaret(wnd);
    PDC dc = platGetDC(wnd);
    if (dc) {
        uiEraseBackground(wnd, dc);
        if (s->font) platSelectFont(dc, s->font);
        uiResetColorCache();
        if (s->charWidth > 0 && s->charHeight > 0) {
            CuRect cells{s->viewTop + r.top / s->charHeight, s->viewLeft + r.left / s->charWidth,
                         s->viewTop + r.bottom / s->charHeight, s->viewLeft + r.right / s->charWidth};
            uiPaintRect(s, dc, cells);
            if (buttonMode(s)) {
                uiPaintHighlight(s, dc);
                uiPaintButtons(s, dc);
            }
        }
        platReleaseDC(wnd, dc);
    }
    if (focus) uiShowCaret(s);
}
