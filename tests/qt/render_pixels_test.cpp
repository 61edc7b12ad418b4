// The renderer on the Qt back end (offscreen platform): cells, line
// graphics, frame codes, underlines and field frames checked pixel by pixel
// in the session window's backing image.
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "plat/plat.h"
#include "plat/qt/qtplat.h"
#include "support/kvxtest.h"
#include "ui/profile.h"
#include "ui/render.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class QtRender : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "render_pixels_test";
        static char* argv[] = {name, nullptr};
        ASSERT_EQ(qtPlatInit(argc, argv), 0);
    }
    static void TearDownTestSuite() { qtPlatShutdown(); }
    void SetUp() override
    {
        dir = kvxtest::scratchDir("QtRender");
        cfgSetFile((dir + "/korvex.ini").c_str());
        cfgSetString("Fonts", "DefWin01State", "0,0,700,500,16,24,80");
        frame = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "Korvex", {0, 0, 1000, 800}, PWS_VISIBLE, nullptr});
        client = platCreateWindow(PWndCreate{PWndKind::MdiClient, frame, "", {0, 0, 0, 0}, PWS_VISIBLE, nullptr});
        ASSERT_NE(client, 0);
        cuSetMdiClient(client);
        ASSERT_EQ(cuInit(), 0);
        int conn = -1;
        ASSERT_EQ(cuSessNew(0, "host", &conn), 0);
        s = cuScreenAt(0);
        ASSERT_NE(s, nullptr);
        platPump(0);
        s->fontSize = 16;
        ASSERT_EQ(uiMakeFont(s), 0);
        W = s->charWidth;
        H = s->charHeight;
        ASSERT_GT(W, 4);
        ASSERT_GT(H, 8);
        PRect r = platClientRect(s->wnd);
        s->clientWidth = r.right;
        s->clientHeight = r.bottom;
        s->viewTop = s->viewLeft = 0;
        uiSetViewport(s);
        ASSERT_GE(s->visCols, 20);
        ASSERT_GE(s->visRows, 6);
        cuSelect(0);
    }
    void TearDown() override
    {
        s->mcsMap = nullptr;
        cuSessClose(0);
        platDestroyWindow(frame);
    }
    void put(int row, int col, uint16_t code, int attr)
    {
        s->chars[row * s->Cols + col] = code;
        s->attrs[row * s->Cols + col] = (uint8_t)attr;
    }
    void paint(int row, int col, int count)
    {
        PDC dc = platGetDC(s->wnd);
        ASSERT_NE(dc, 0);
        platSelectFont(dc, s->font);
        uiResetColorCache();
        uiPaintRow(s, dc, row, col, count, UI_ROW_TEXT, 0);
        platReleaseDC(s->wnd, dc);
    }
    unsigned px(int x, int y) const { return qtPlatPixel(s->wnd, x, y); }
    int count(int x0, int y0, int x1, int y1, unsigned color) const
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += px(x, y) == color;
        return n;
    }

    std::string dir;
    PWnd frame = 0, client = 0;
    CuScreen* s = nullptr;
    int W = 0, H = 0;
};

TEST_F(QtRender, CellsAreFilledWithTheirBackgroundAndShowTheirGlyphs)
{
    put(0, 0, ' ', CU_ATTR_UNIX_REVERSE);   // white on black
    put(0, 1, 'M', CU_ATTR_UNIX_REVERSE);
    put(0, 2, ' ', CU_ATTR_UNIX_NORMAL);    // blue on white
    put(0, 3, 0x80, CU_ATTR_UNIX_REVERSE);  // the euro sign of Windows-1252
    paint(0, 0, 4);
    EXPECT_EQ(count(0, 0, W, H, 0x000000), W * H);
    EXPECT_EQ(count(2 * W, 0, 3 * W, H, 0xFFFFFF), W * H);
    int ink = W * H - count(W, 0, 2 * W, H, 0x000000);
    EXPECT_GT(ink, W) << "the M leaves its strokes";
    EXPECT_GT(W * H - count(3 * W, 0, 4 * W, H, 0x000000), W) << "a high byte shows a glyph";
}

TEST_F(QtRender, LineDrawingBytesAreOnePixelShadowLines)
{
    put(1, 1, 179, CU_ATTR_UNIX_REVERSE);
    put(1, 2, 196, CU_ATTR_UNIX_REVERSE);
    paint(1, 1, 2);
    int x = W, y = H;
    for (int i = 0; i < H; ++i)
        EXPECT_EQ(px(x + W / 2, y + i), UI_PEN_SHADOW) << i;
    EXPECT_EQ(count(x, y, x + W, y + H, UI_PEN_SHADOW), H);
    x = 2 * W;
    for (int i = 0; i < W; ++i)
        EXPECT_EQ(px(x + i, y + H / 2), UI_PEN_SHADOW) << i;
    EXPECT_EQ(count(x, y, x + W, y + H, UI_PEN_SHADOW), W);
}

TEST_F(QtRender, FrameCodesTopBottomAndNotch)
{
    put(2, 0, 269, CU_ATTR_UNIX_REVERSE);
    put(2, 1, 274, CU_ATTR_UNIX_REVERSE);
    put(2, 2, 258, CU_ATTR_UNIX_REVERSE);
    paint(2, 0, 3);
    int y = 2 * H;
    for (int i = 0; i < W; ++i) {
        EXPECT_EQ(px(i, y), UI_PEN_LIGHT) << i;
        EXPECT_EQ(px(i, y + 1), UI_PEN_LIGHT) << i;
        EXPECT_EQ(px(W + i, y + H - 1), UI_PEN_SHADOW) << i;
        EXPECT_EQ(px(W + i, y + H - 2), UI_PEN_SHADOW) << i;
    }
    EXPECT_EQ(count(0, y + 2, W, y + H, UI_PEN_LIGHT), 0);
    int x = 2 * W;
    EXPECT_EQ(count(x + W - 2, y + H - 2, x + W, y + H, UI_PEN_SHADOW), 4) << "notch";
    EXPECT_EQ(px(x, y + H / 2), UI_PEN_LIGHT) << "left edge";
    EXPECT_EQ(px(x + 1, y + H / 2), UI_PEN_LIGHT);
}

TEST_F(QtRender, UnderlinedTextHasALineTwoPixelsAboveTheCellBottom)
{
    cfgSetString("Options", "MCSUnderline", "UNDERLINE");
    uiLoadRenderOptions();
    for (int i = 0; i < 3; ++i)
        put(3, i, ' ', CU_ATTR_UNIX_UNDERLINED);
    paint(3, 0, 3);
    PRgb fg = uiColorTable()[CU_ATTR_UNIX_UNDERLINED].fg;
    int y = 3 * H + H - 2;
    EXPECT_EQ(count(0, y, 3 * W, y + 1, fg), 3 * W);
    EXPECT_EQ(count(0, 3 * H, 3 * W, y, fg), 0);
    cfgSetString("Options", "MCSUnderline", nullptr);
    uiLoadRenderOptions();
}

TEST_F(QtRender, FieldFrameOfAnUnprotectedRun)
{
    mcsSetTermSize(s->Rows, s->Cols);
    std::vector<uint16_t> map((size_t)(s->Rows + 2) * s->Cols, 0x0080);
    for (int c = 5; c < 9; ++c)
        map[4 * s->Cols + c] = 0;
    s->mcsMap = map.data();
    cuButtonMode(true);
    for (int c = 0; c < 12; ++c)
        put(4, c, ' ', CU_ATTR_MCS_NORMAL);
    paint(4, 0, 12);
    int x0 = 5 * W - 1, x1 = 9 * W + 1, y0 = 4 * H, y1 = y0 + H;
    EXPECT_EQ(px(x0, y0 + H / 2), UI_PEN_FACE);
    EXPECT_EQ(px(x0 + 1, y0 + H / 2), UI_PEN_SHADOW);
    EXPECT_EQ(px(x1 - 1, y0 + H / 2), UI_PEN_FACE);
    EXPECT_EQ(px(x1 - 2, y0 + H / 2), UI_PEN_LIGHT);
    EXPECT_EQ(px(x0 + 3, y0), UI_PEN_FACE);
    EXPECT_EQ(px(x0 + 3, y0 + 1), UI_PEN_SHADOW);
    EXPECT_EQ(px(x0 + 3, y1 - 2), UI_PEN_LIGHT);
    EXPECT_EQ(px(x0 + 3, y1 - 1), UI_PEN_FACE);
    // Protected cells around it carry no frame.
    EXPECT_EQ(px(W, y0 + H / 2), uiColorTable()[CU_ATTR_MCS_NORMAL].bg);
    cuButtonMode(false);
}

TEST_F(QtRender, WindowPaintFillsTheClientArea)
{
    platSend(s->wnd, PM_PAINT, 0, 0);
    PRect r = platClientRect(s->wnd);
    PRgb bg = uiColorTable()[CU_ATTR_UNIX_NORMAL].bg;
    EXPECT_EQ(px(1, 1), bg);
    EXPECT_EQ(px(r.right - 1, r.bottom - 1), bg);
}

}  // namespace
