// The renderer on the headless recording surface: text runs, line-drawing
// bytes, frame codes, 3D field frames, underline modes, the caret and the
// colour-pair table.
#include "core/cuscr_fixture.h"
#include "mcs/msr.h"
#include "ui/keyboard.h"
#include "ui/render.h"
#include "ui/uiwin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using Pts = std::vector<PPoint>;

bool samePoints(const Pts& a, const Pts& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].x != b[i].x || a[i].y != b[i].y)
            return false;
    return true;
}

std::string str(const Pts& p)
{
    std::string s;
    for (const PPoint& q : p)
        s += "(" + std::to_string(q.x) + "," + std::to_string(q.y) + ")";
    return s;
}

struct Line {
    PRgb color;
    Pts pts;
};

class RenderPaint : public CuScreenTest {
protected:
    void SetUp() override
    {
        CuScreenTest::SetUp();
        cfgSetString("Options", "3DMode", nullptr);
        cfgSetString("Options", "MCSUnderline", nullptr);
        uiLoadRenderOptions();
        s = openGrid(0, 24, 80);
        ASSERT_NE(s, nullptr);
        s->fontSize = 20;   // headless metrics: 12 x 23
        ASSERT_EQ(uiMakeFont(s), 0);
        W = s->charWidth;
        H = s->charHeight;
        ASSERT_EQ(W, 12);
        ASSERT_EQ(H, 23);
        s->clientWidth = 80 * W;
        s->clientHeight = 24 * H;
        uiSetViewport(s);
    }

    void put(int row, int col, uint16_t code, int attr = CU_ATTR_UNIX_NORMAL)
    {
        s->chars[row * s->Cols + col] = code;
        s->attrs[row * s->Cols + col] = (uint8_t)attr;
    }

    void paint(int row, int col, int count, int mode = UI_ROW_TEXT, int pressed = 0)
    {
        PDC dc = platGetDC(s->wnd);
        ASSERT_NE(dc, 0);
        headlessClearDrawing();
        uiResetColorCache();
        uiPaintRow(s, dc, row, col, count, mode, pressed);
        platReleaseDC(s->wnd, dc);
    }

    std::vector<HeadlessDraw> drawn(HeadlessDraw::Kind kind) const
    {
        std::vector<HeadlessDraw> v;
        for (const HeadlessDraw& d : headlessDrawing())
            if (d.kind == kind)
                v.push_back(d);
        return v;
    }
    std::vector<Line> lines() const
    {
        std::vector<Line> v;
        for (const HeadlessDraw& d : drawn(HeadlessDraw::Line))
            v.push_back({d.color, d.points});
        return v;
    }
    bool hasLine(PRgb color, const Pts& pts) const
    {
        for (const Line& l : lines())
            if (l.color == color && samePoints(l.pts, pts))
                return true;
        return false;
    }
    // Any line with a point on vertical x spanning a row.
    bool verticalAt(int x) const
    {
        for (const Line& l : lines())
            if (l.pts.size() == 2 && l.pts[0].x == x && l.pts[1].x == x)
                return true;
        return false;
    }

    CuScreen* s = nullptr;
    int W = 0, H = 0;
};

TEST_F(RenderPaint, TextIsDrawnInRunsOfEqualAttribute)
{
    const char* text = "ABCDE";
    const int attrs[] = {20, 20, 22, 22, 20};
    for (int i = 0; i < 5; ++i)
        put(2, 3 + i, (uint16_t)text[i], attrs[i]);
    paint(2, 3, 5);
    auto t = drawn(HeadlessDraw::Text);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].text, "AB");
    EXPECT_EQ(t[0].x, 3 * W);
    EXPECT_EQ(t[0].y, 2 * H);
    EXPECT_EQ(t[0].color, uiColorTable()[20].fg);
    EXPECT_EQ(t[0].bk, uiColorTable()[20].bg);
    EXPECT_EQ(t[1].text, "CD");
    EXPECT_EQ(t[1].x, 5 * W);
    EXPECT_EQ(t[1].color, uiColorTable()[22].fg);
    EXPECT_EQ(t[2].text, "E");
    EXPECT_EQ(t[2].x, 7 * W);
    EXPECT_EQ(t[2].color, uiColorTable()[20].fg);
}

TEST_F(RenderPaint, ViewportOffsetsTheCells)
{
    s->viewLeft = 10;
    s->viewTop = 1;
    put(5, 12, 'Q');
    paint(5, 12, 1);
    auto t = drawn(HeadlessDraw::Text);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].x, 2 * W);
    EXPECT_EQ(t[0].y, 4 * H);
}

TEST_F(RenderPaint, CellsThatAreNotPlainAreDrawnOneByOne)
{
    struct Case {
        uint16_t code;
        std::vector<std::string> texts;   // after the blank
    };
    const Case cases[] = {
        {0, {}}, {10, {}}, {12, {}}, {19, {}},
        {16, {">"}}, {27, {"^"}},
        {0xE9, {"\xE9"}},           // a byte outside 0x20..0x7E, not mapped
        {0x141, {"A"}},             // a wide code shows its low byte
        {1, {"\x01"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        put(0, 0, 'x');
        put(0, 1, c.code);
        put(0, 2, 'y');
        paint(0, 0, 3);
        auto t = drawn(HeadlessDraw::Text);
        ASSERT_EQ(t.size(), 3u + c.texts.size());
        EXPECT_EQ(t[0].text, "x");
        EXPECT_EQ(t[1].text, " ");
        EXPECT_EQ(t[1].x, W);
        for (size_t i = 0; i < c.texts.size(); ++i) {
            EXPECT_EQ(t[2 + i].text, c.texts[i]);
            EXPECT_EQ(t[2 + i].x, W);
        }
        EXPECT_EQ(t.back().text, "y");
    }
}

TEST_F(RenderPaint, LanguageMapChangesTheBytesOfARun)
{
    cfgSetString("Lang", "Language", "xyz");
    cfgSetString("Lang", "Maps", "1");
    cfgSetString("Lang", "Map000", "91,196");
    ASSERT_EQ(kbLoadLangMaps(), 0);
    put(0, 0, 'a');
    put(0, 1, '[');
    put(0, 2, 'b');
    paint(0, 0, 3);
    auto t = drawn(HeadlessDraw::Text);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].text, "a\xC4" "b");
    cfgSetString("Lang", "Language", nullptr);
    cfgSetString("Lang", "Maps", nullptr);
    cfgSetString("Lang", "Map000", nullptr);
    kbLoadLangMaps();
}

TEST_F(RenderPaint, LineDrawingBytesAreLinesWithTheShadowPen)
{
    const int x = 4 * W, y = 3 * H, xm = x + W / 2, ym = y + H / 2;
    const Pts V{{xm, y}, {xm, y + H}}, Hz{{x, ym}, {x + W, ym}};
    struct Case {
        std::vector<int> codes;
        std::vector<Pts> lines;
    };
    const Case cases[] = {
        {{179, 186}, {V}},
        {{196, 205}, {Hz}},
        {{201, 213, 214, 218}, {{{xm, y + H - 1}, {xm, ym}, {x + W, ym}}}},
        {{183, 184, 187, 191}, {{{x, ym}, {xm, ym}, {xm, y + H}}}},
        {{192, 200, 211, 212}, {{{xm, y}, {xm, ym}, {x + W, ym}}}},
        {{188, 189, 190, 217}, {{{xm, y}, {xm, ym}, {x - 1, ym}}}},
        {{195, 198, 199, 204}, {V, {{xm, ym}, {x + W, ym}}}},
        {{180, 181, 182, 185}, {V, {{xm, ym}, {x - 1, ym}}}},
        {{194, 203, 209, 210}, {Hz, {{xm, y + H - 1}, {xm, ym}}}},
        {{193, 202, 207, 208}, {Hz, {{xm, y}, {xm, ym}}}},
        {{197, 206, 215, 216}, {V, Hz}},
    };
    for (const Case& c : cases)
        for (int code : c.codes) {
            SCOPED_TRACE(code);
            put(3, 4, (uint16_t)code);
            paint(3, 4, 1);
            auto l = lines();
            ASSERT_EQ(l.size(), c.lines.size());
            for (size_t i = 0; i < l.size(); ++i) {
                EXPECT_EQ(l[i].color, UI_PEN_SHADOW);
                EXPECT_TRUE(samePoints(l[i].pts, c.lines[i])) << str(l[i].pts) << " want " << str(c.lines[i]);
            }
            // Only the blank is drawn as text.
            auto t = drawn(HeadlessDraw::Text);
            ASSERT_EQ(t.size(), 1u);
            EXPECT_EQ(t[0].text, " ");
        }
}

TEST_F(RenderPaint, FrameCodesUseTheLightAndShadowPens)
{
    const int x = 2 * W, y = 1 * H;
    const PRgb L = UI_PEN_LIGHT, S = UI_PEN_SHADOW;
    const Line top{L, {{x + W - 1, y}, {x, y}, {x, y + 1}, {x + W, y + 1}}};
    const Line left{L, {{x, y + H - 1}, {x, y}, {x + 1, y}, {x + 1, y + H}}};
    const Line right{S, {{x + W - 1, y + H - 1}, {x + W - 1, y}, {x + W - 2, y}, {x + W - 2, y + H}}};
    const Line bottom{S, {{x + W - 1, y + H - 1}, {x, y + H - 1}, {x, y + H - 2}, {x + W, y + H - 2}}};
    const Line trA{S, {{x + W - 1, y + H - 1}, {x + W - 1, y}}};
    const Line trB{S, {{x + W - 2, y + 2}, {x + W - 2, y + H}}};
    struct Notch {
        PRgb color;
        int x, y;
    };
    const Notch nTL{L, x, y}, nTR{S, x + W - 2, y}, nBL{S, x, y + H - 2}, nBR{S, x + W - 2, y + H - 2};
    struct Case {
        int code;
        std::vector<Line> lines;
        std::vector<Notch> notches;
    };
    const Case cases[] = {
        {268, {top, left}, {}},
        {269, {top}, {}},
        {270, {top, trA, trB}, {}},
        {271, {left}, {}},
        {272, {right}, {}},
        {273, {left, bottom}, {}},
        {274, {bottom}, {}},
        {275, {right, bottom}, {}},
        {258, {top, left}, {nBR}},
        {259, {top, bottom}, {}},
        {260, {top}, {nBL, nBR}},
        {261, {top, trA, trB}, {nBL}},
        {262, {left, right}, {}},
        {263, {left}, {nTR, nBR}},
        {264, {right}, {nTL, nBL}},
        {265, {left, bottom}, {nTR}},
        {266, {bottom}, {nTL, nTR}},
        {267, {right, bottom}, {nTL}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        put(1, 2, (uint16_t)c.code);
        paint(1, 2, 1);
        auto l = lines();
        ASSERT_EQ(l.size(), c.lines.size());
        for (const Line& want : c.lines)
            EXPECT_TRUE(hasLine(want.color, want.pts)) << str(want.pts);
        auto f = drawn(HeadlessDraw::Fill);
        ASSERT_EQ(f.size(), c.notches.size());
        for (const Notch& n : c.notches) {
            bool found = std::any_of(f.begin(), f.end(), [&](const HeadlessDraw& d) {
                return d.x == n.x && d.y == n.y && d.x2 == n.x + 2 && d.y2 == n.y + 2 && d.color == n.color;
            });
            EXPECT_TRUE(found) << n.x << "," << n.y;
        }
    }
}

TEST_F(RenderPaint, ArrowThirtyOnlyWhenColoursDiffer)
{
    put(0, 0, 30, CU_ATTR_UNIX_NORMAL);
    paint(0, 0, 1);
    EXPECT_EQ(lines().size(), 2u);
    put(0, 0, 30, CU_ATTR_UNIX_OFF);    // white on white
    paint(0, 0, 1);
    EXPECT_TRUE(lines().empty());
}

TEST_F(RenderPaint, TrianglesAndArrowheads)
{
    const int x = 0, y = 0;
    put(0, 0, 256);
    paint(0, 0, 1);
    EXPECT_TRUE(hasLine(UI_PEN_LIGHT, {{x, y + H - 2}, {x + W / 2, y + 1}}));
    EXPECT_TRUE(hasLine(UI_PEN_SHADOW, {{x + W / 2, y + 1}, {x + W - 1, y + H - 2}, {x, y + H - 2}}));
    // Code 29: its first triangle has p1 below p2, so it starts with the light pen.
    int c = W - 1, xm = x + c / 2 - 1, f = H - 1, ym = y + f / 2, yb = ym + f / 4, yt = ym - f / 4;
    put(0, 0, 29);
    paint(0, 0, 1);
    EXPECT_TRUE(hasLine(UI_PEN_LIGHT, {{x, yb}, {x, yt}, {xm, ym}}));
    EXPECT_TRUE(hasLine(UI_PEN_SHADOW, {{xm, ym}, {x, yb}, {x, yb - 1}}));
}

// ---- 3D frames ----

class RenderFrames : public RenderPaint {
protected:
    void SetUp() override
    {
        RenderPaint::SetUp();
        mcsSetTermSize(s->Rows, s->Cols);
        map.assign((size_t)(s->Rows + 2) * s->Cols, 0x0080);
        s->mcsMap = map.data();
        cuSelect(0);
        cuButtonMode(true);
    }
    void TearDown() override
    {
        s->mcsMap = nullptr;
        RenderPaint::TearDown();
    }
    void unprotect(int row, int col, int n)
    {
        for (int i = 0; i < n; ++i)
            map[(size_t)row * s->Cols + col + i] = 0;
    }
    std::vector<uint16_t> map;
};

TEST_F(RenderFrames, AClosedFieldHasAllFourEdges)
{
    unprotect(2, 10, 5);
    paint(2, 8, 10);
    int x0 = 10 * W - 1, x1 = 15 * W + 1, y0 = 2 * H, y1 = y0 + H;
    // 3D mode: outer rectangle with the face pen, inner with shadow (top,
    // left) and light (bottom, right).
    EXPECT_TRUE(hasLine(UI_PEN_FACE, {{x0, y0}, {x1, y0}}));
    EXPECT_TRUE(hasLine(UI_PEN_FACE, {{x0, y1 - 1}, {x1, y1 - 1}}));
    EXPECT_TRUE(hasLine(UI_PEN_FACE, {{x0, y0}, {x0, y1}}));
    EXPECT_TRUE(hasLine(UI_PEN_FACE, {{x1 - 1, y0}, {x1 - 1, y1}}));
    EXPECT_TRUE(hasLine(UI_PEN_SHADOW, {{x0 + 1, y0 + 1}, {x1 - 1, y0 + 1}}));
    EXPECT_TRUE(hasLine(UI_PEN_SHADOW, {{x0 + 1, y0 + 1}, {x0 + 1, y1 - 1}}));
    EXPECT_TRUE(hasLine(UI_PEN_LIGHT, {{x0 + 1, y1 - 2}, {x1 - 1, y1 - 2}}));
    EXPECT_TRUE(hasLine(UI_PEN_LIGHT, {{x1 - 2, y0 + 1}, {x1 - 2, y1 - 1}}));
    EXPECT_EQ(lines().size(), 8u);
}

TEST_F(RenderFrames, OpenEdgesAreLeftOut)
{
    // Two unprotected runs that touch form one field; painting half of it
    // leaves the side towards the other half open.
    unprotect(3, 10, 5);
    unprotect(3, 15, 5);
    paint(3, 10, 5);
    EXPECT_TRUE(verticalAt(10 * W - 1));        // closed left edge
    EXPECT_FALSE(verticalAt(15 * W));           // open right edge
    EXPECT_FALSE(verticalAt(15 * W - 1));
    EXPECT_EQ(lines().size(), 6u);              // top, bottom, left, twice
    paint(3, 10, 10);
    EXPECT_FALSE(verticalAt(15 * W)) << "no separating edge";
    EXPECT_FALSE(verticalAt(15 * W - 1));
    EXPECT_FALSE(verticalAt(15 * W - 2));
    EXPECT_TRUE(verticalAt(20 * W));
}

TEST_F(RenderFrames, WithoutThreeDModeOnlyTheFacePenFrames)
{
    cfgSetString("Options", "3DMode", "OFF");
    uiLoadRenderOptions();
    unprotect(2, 10, 5);
    paint(2, 10, 5);
    auto l = lines();
    ASSERT_EQ(l.size(), 4u);
    for (const Line& x : l)
        EXPECT_EQ(x.color, UI_PEN_FACE);
}

TEST_F(RenderFrames, HighlightBarAndButtons)
{
    unprotect(4, 0, 6);
    paint(4, 0, 6, UI_ROW_HIGHLIGHT);
    int x0 = -1, x1 = 6 * W + 1, y0 = 4 * H, y1 = y0 + H;
    EXPECT_TRUE(drawn(HeadlessDraw::Text).empty());
    EXPECT_TRUE(hasLine(UI_PEN_SHADOW, {{x0, y0}, {x1, y0}}));
    EXPECT_TRUE(hasLine(UI_PEN_LIGHT, {{x0, y1 - 1}, {x1, y1 - 1}}));

    // A button over protected cells: outer shadow, inner light/face by state.
    paint(6, 2, 4, UI_ROW_BUTTON, 0);
    x0 = 2 * W - 1;
    x1 = 6 * W + 1;
    y0 = 6 * H;
    y1 = y0 + H;
    EXPECT_TRUE(hasLine(UI_PEN_SHADOW, {{x0, y0}, {x1, y0}}));
    EXPECT_TRUE(hasLine(UI_PEN_LIGHT, {{x0 + 1, y0 + 1}, {x1 - 1, y0 + 1}}));
    EXPECT_TRUE(hasLine(UI_PEN_FACE, {{x0 + 1, y1 - 2}, {x1 - 1, y1 - 2}}));
    paint(6, 2, 4, UI_ROW_BUTTON, 1);
    EXPECT_TRUE(hasLine(UI_PEN_FACE, {{x0 + 1, y0 + 1}, {x1 - 1, y0 + 1}}));
    EXPECT_TRUE(hasLine(UI_PEN_LIGHT, {{x0 + 1, y1 - 2}, {x1 - 1, y1 - 2}}));
}

TEST_F(RenderFrames, OutlinedFieldIsUnderlinedOnlyWithUnderline)
{
    unprotect(2, 10, 5);
    map[2 * s->Cols + 10] |= 0x0020;
    put(2, 10, ' ', CU_ATTR_MCS_NORMAL);
    int x0 = 10 * W - 1, x1 = 15 * W + 1, y1 = 3 * H;
    PRgb fg = uiColorTable()[CU_ATTR_MCS_NORMAL].fg;
    paint(2, 10, 5);
    EXPECT_FALSE(hasLine(fg, {{x0 + 1, y1 - 2}, {x1 - 1, y1 - 2}}) && lines().size() > 8);
    EXPECT_EQ(lines().size(), 8u);
    cfgSetString("Options", "MCSUnderline", "UNDERLINE");
    uiLoadRenderOptions();
    paint(2, 10, 5);
    EXPECT_EQ(lines().size(), 9u);
    EXPECT_EQ(lines().back().color, fg);
    EXPECT_TRUE(samePoints(lines().back().pts, {{x0 + 1, y1 - 2}, {x1 - 1, y1 - 2}}));
}

// ---- underline modes ----

TEST_F(RenderPaint, UnixUnderlinedTextFollowsMcsUnderline)
{
    for (int i = 0; i < 4; ++i)
        put(5, 2 + i, (uint16_t)('a' + i), CU_ATTR_UNIX_UNDERLINED);
    PRgb fg = uiColorTable()[CU_ATTR_UNIX_UNDERLINED].fg;
    struct Case {
        const char* option;
        bool line;
    };
    for (Case c : {Case{"UNDERLINE", true}, Case{"UNDERSCORE", false}, Case{"NONE", false}}) {
        SCOPED_TRACE(c.option);
        cfgSetString("Options", "MCSUnderline", c.option);
        uiLoadRenderOptions();
        paint(5, 2, 4);
        auto l = lines();
        ASSERT_EQ(l.size(), c.line ? 1u : 0u);
        if (c.line) {
            EXPECT_EQ(l[0].color, fg);
            EXPECT_TRUE(samePoints(l[0].pts, {{2 * W, 5 * H + H - 2}, {6 * W, 5 * H + H - 2}}));
        }
    }
}

TEST_F(RenderPaint, UnderscoresInButtonMode)
{
    put(1, 0, 'a');
    put(1, 1, '_');
    struct Case {
        bool buttons;
        const char* threeD;
        const char* underline;
        const char* texts;   // texts drawn, joined by '|'
        bool line;
    };
    const Case cases[] = {
        {false, nullptr, "NONE", "a_", false},
        {true, nullptr, "NONE", "a| ", false},
        {true, nullptr, "UNDERSCORE", "a| ", true},
        {true, "OFF", "UNDERSCORE", "a_", false},
        {true, "OFF", "UNDERLINE", "a| ", false},
    };
    cuSelect(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.threeD ? c.threeD : "on") + " " + c.underline);
        cuButtonMode(c.buttons);
        cfgSetString("Options", "3DMode", c.threeD);
        cfgSetString("Options", "MCSUnderline", c.underline);
        uiLoadRenderOptions();
        paint(1, 0, 2);
        std::string texts;
        for (const HeadlessDraw& d : drawn(HeadlessDraw::Text))
            texts += (texts.empty() ? "" : "|") + d.text;
        EXPECT_EQ(texts, c.texts);
        auto l = lines();
        bool found = std::any_of(l.begin(), l.end(), [&](const Line& x) {
            return samePoints(x.pts, {{W, H + H - 2}, {2 * W, H + H - 2}});
        });
        EXPECT_EQ(found, c.line);
    }
}

// ---- caret ----

TEST_F(RenderPaint, CaretShapesAndPlace)
{
    struct Case {
        int fontSize, shape;
        int height;   // expected caret height
    };
    // Headless cell heights: size 20 -> 23, size 30 -> 35.
    const Case cases[] = {{20, CU_CURSOR_BLOCK, 23}, {20, CU_CURSOR_UNDERLINE, 3}, {30, CU_CURSOR_UNDERLINE, 35 / 8},
                          {30, CU_CURSOR_BLOCK, 35}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fontSize * 10 + c.shape);
        s->fontSize = c.fontSize;
        ASSERT_EQ(uiMakeFont(s), 0);
        s->curShape = c.shape;
        s->curRow = 5;
        s->curCol = 7;
        s->viewTop = 2;
        s->viewLeft = 3;
        uiCaret(s, UI_CARET_CREATE | UI_CARET_PLACE | UI_CARET_SHOW);
        HeadlessCaret k = headlessCaret();
        EXPECT_EQ(k.wnd, s->wnd);
        EXPECT_EQ(k.width, s->charWidth);
        EXPECT_EQ(k.height, c.height);
        EXPECT_EQ(k.x, 4 * s->charWidth);
        EXPECT_EQ(k.y, 4 * s->charHeight - c.height);
        EXPECT_TRUE(k.visible);
        uiCaret(s, UI_CARET_HIDE);
        EXPECT_FALSE(headlessCaret().visible);
        uiCaret(s, UI_CARET_DESTROY);
        EXPECT_EQ(headlessCaret().wnd, 0);
        EXPECT_EQ(s->caretCreated, 0);
    }
}

// ---- colour pairs ----

TEST_F(RenderPaint, ColorPairFindsLowestOrHandsOutFromTheTop)
{
    uiSetDefaultColors();
    EXPECT_EQ(colorPair(7, 0), 13);     // white on black
    EXPECT_EQ(colorPair(1, 7), 20);     // blue on white
    EXPECT_EQ(colorPair(0, 7), 22);
    EXPECT_EQ(colorPair(9, 9), 27);     // black on black: the default entry
    // 28..76 and 27 count as empty: 50 new pairs fill them from the top.
    std::vector<int> got;
    for (int i = 0; i < 50; ++i)
        got.push_back(uiColorPairAttr(0x010000 + (PRgb)i, 0x000001));
    EXPECT_EQ(got.front(), 76);
    EXPECT_EQ(got[48], 28);
    EXPECT_EQ(got.back(), 27);
    EXPECT_EQ(uiColorPairAttr(0x123456, 0x654321), 0) << "table full";
    EXPECT_EQ(uiColorPairAttr(0x010000, 0x000001), 76) << "existing pair keeps its index";
    EXPECT_EQ(colorPair(2, 4), 0);
    uiSetDefaultColors();
}

TEST_F(RenderPaint, ColorsSectionSetsThePairs)
{
    cfgSetString("Colors", "UNIX Normal", "ff,ff0000");
    cfgSetString("Colors", "MCS Off", "bad");
    uiSetDefaultColors();
    uiLoadColorSettings();
    EXPECT_EQ(uiColorTable()[20].fg, 0x0000FFu);
    EXPECT_EQ(uiColorTable()[20].bg, 0xFF0000u);
    EXPECT_EQ(uiColorTable()[2].bg, 0xC0C0C0u);
    EXPECT_STREQ(uiColorItems()[0].name, "UNIX Normal");
    EXPECT_EQ(uiColorItems()[0].fg, 0x0000FFu);
    cfgSetString("Colors", "UNIX Normal", nullptr);
    cfgSetString("Colors", "MCS Off", nullptr);
    uiSetDefaultColors();
}

TEST_F(RenderPaint, ColorDialogWritesTheItemsOnOk)
{
    uiSetDefaultColors();
    std::vector<uint32_t> seen;
    static std::vector<uint32_t>* sink;
    sink = &seen;
    PWnd myFrame = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "F", {0, 0, 10, 10}, 0, [](PWnd, uint32_t m, PWParam, PLParam) -> PResult {
                                                   sink->push_back(m);
                                                   return 0;
                                               }});
    uiSetFrameWindow(myFrame);
    int step = 0;
    headlessSetDialogPolicy([&](PDlgForm& dialog) -> int32_t {
        EXPECT_STREQ(dialog.title, "Color Configuration");
        dialog.controls[0].value = 6;   // "UNIX Off"
        return step++ == 0 ? 101 : PID_OK;   // Foreground, then OK
    });
    headlessSetColorAnswer(true, 0x00FF00);
    EXPECT_EQ(uiColorDialog(s->wnd), 1);
    EXPECT_EQ(uiColorTable()[26].fg, 0x00FF00u);
    EXPECT_EQ(uiColorTable()[26].bg, 0x00FF00u) << "the Off item stays invisible";
    char v[32];
    cfgGetString("Colors", "UNIX Off", "", v, sizeof v);
    EXPECT_STREQ(v, "ff00,ff00");
    cfgGetString("Colors", "UNIX Normal", "", v, sizeof v);
    EXPECT_STREQ(v, "ff0000,ffffff");
    platPump(0);
    EXPECT_NE(std::find(seen.begin(), seen.end(), (uint32_t)PM_COLORS_CHANGED), seen.end());
    uiSetFrameWindow(0);
    uiSetDefaultColors();
}

}  // namespace
