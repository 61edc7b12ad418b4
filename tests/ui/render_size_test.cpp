// Fitting font, grid and window to the session window's size, on real
// sessions whose host channel is a loopback connection.
#include "core/child_fixture.h"
#include "ui/render.h"
#include "ui/uiwin.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, int>>& resizes()
{
    static std::vector<std::pair<int, int>> v;
    return v;
}
int recordResize(KORVEX*, int rows, int cols)
{
    resizes().push_back({rows, cols});
    return 0;
}

class RenderSize : public childtest::ChildTest {
protected:
    // A 24 x 80 session in a window of 560 x 336 (font 12: 7 x 14 cells).
    CuScreen* open(int slot)
    {
        char key[32];
        snprintf(key, sizeof key, "DefWin%02dState", slot + 1);
        cfgSetString("Fonts", key, "10,10,570,346,12,24,80");
        chan = openSession(slot);
        CuScreen* s = cuScreenAt(slot);
        EXPECT_NE(s, nullptr);
        resizes().clear();
        if (chan.d)
            chan.d->resize = recordResize;
        return s;
    }
    static PRect client(const CuScreen* s) { return platClientRect(s->wnd); }
    childtest::Chan chan;
};

TEST_F(RenderSize, FirstPaintFitsTheFontToTheWindow)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    EXPECT_EQ(s->fontSize, 12);
    EXPECT_EQ(s->charWidth, 7);
    EXPECT_EQ(s->charHeight, 14);
    EXPECT_EQ(s->visCols, 80);
    EXPECT_EQ(s->visRows, 24);
}

TEST_F(RenderSize, ShrinkingWithAnUnlockedFontShrinksTheFont)
{
    CuScreen* s = open(0);
    headlessResizeClient(s->wnd, 400, 300);
    EXPECT_EQ(s->fontSize, 9);           // 5 x 10 cells: 80 x 24 fit in 400 x 300
    EXPECT_EQ(s->Rows, 24);
    EXPECT_EQ(s->Cols, 80);
    EXPECT_TRUE(resizes().empty());
    // The window is made to fit the grid exactly.
    EXPECT_EQ(client(s).right, 400);
    EXPECT_EQ(client(s).bottom, 240);
    // Growing it again grows the font.
    headlessResizeClient(s->wnd, 800, 600);
    EXPECT_EQ(s->fontSize, 18);          // 10 x 21: 800 / 10 = 80, 600 / 21 = 28
}

TEST_F(RenderSize, LockedFontInCharacterModeShrinksTheGridAndTellsTheHost)
{
    CuScreen* s = open(0);
    s->lockedFontSize = 12;
    headlessResizeClient(s->wnd, 400, 300);
    EXPECT_EQ(s->fontSize, 12);
    EXPECT_EQ(s->Cols, 57);              // 400 / 7
    EXPECT_EQ(s->Rows, 21);              // 300 / 14
    ASSERT_EQ(resizes().size(), 1u);
    EXPECT_EQ(resizes()[0], (std::pair<int, int>{21, 57}));
    EXPECT_EQ(client(s).right, 399);
    EXPECT_EQ(client(s).bottom, 294);
    // The same size again changes nothing and tells nobody.
    headlessResizeClient(s->wnd, 399, 294);
    EXPECT_EQ(resizes().size(), 1u);
}

// Auto Resize Font off locks the size the font has; on again, the font is
// fitted to the window and follows it.
TEST_F(RenderSize, AutoResizeFontLocksAndUnlocksTheFontSize)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    cuSetFocusScreen(s);
    ASSERT_TRUE(uiAutoFont());
    uiToggleAutoFont();
    EXPECT_FALSE(uiAutoFont());
    EXPECT_EQ(s->lockedFontSize, 12);
    headlessResizeClient(s->wnd, 400, 300);
    EXPECT_EQ(s->fontSize, 12);
    EXPECT_EQ(s->Cols, 57);

    headlessResizeClient(s->wnd, 800, 600);   // the grid follows: 114 x 42
    uiToggleAutoFont();
    EXPECT_TRUE(uiAutoFont());
    EXPECT_EQ(s->lockedFontSize, 0);
    EXPECT_EQ(s->Cols, 114) << "the grid stays; the font is fitted to it";
    headlessResizeClient(s->wnd, 400, 300);
    EXPECT_LT(s->fontSize, 12);
    EXPECT_EQ(s->Cols, 114);
}

TEST_F(RenderSize, InMcsModeTheFontFollowsTheWindowWhateverTheLock)
{
    CuScreen* s = open(0);
    s->lockedFontSize = 12;
    sessAt(0)->flags = (uint16_t)((sessAt(0)->flags & ~CHF_MODE) | CHF_IDLE);
    headlessResizeClient(s->wnd, 400, 300);
    EXPECT_EQ(s->fontSize, 9);
    EXPECT_EQ(s->lockedFontSize, 9);
    EXPECT_EQ(s->Cols, 80);
    EXPECT_TRUE(resizes().empty());
}

TEST_F(RenderSize, ViewportKeepsItsHeightAtTheBottom)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    s->viewTop = 20;
    s->clientWidth = 7 * 30;
    s->clientHeight = 14 * 10;
    uiSetViewport(s);
    EXPECT_EQ(s->visRows, 10);
    EXPECT_EQ(s->visCols, 30);
    EXPECT_EQ(s->viewBottom, 23);
    EXPECT_EQ(s->viewTop, 14);
    EXPECT_EQ(s->viewLeft, 0);
    EXPECT_EQ(s->viewRight, 29);
}

TEST_F(RenderSize, MaximisedThenRestoredKeepsTheNewSizeAfterThePaint)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    platShow(s->wnd, PSW_MAXIMIZE);
    EXPECT_TRUE(s->winFlags & CUW_MAXIMIZED);
    EXPECT_EQ(uiChildrenMaximized(), 1);
    int maxFont = s->fontSize;
    EXPECT_GT(maxFont, 12);
    platShow(s->wnd, PSW_RESTORE);
    EXPECT_FALSE(s->winFlags & CUW_MAXIMIZED);
    EXPECT_EQ(s->restorePending, 1);
    EXPECT_EQ(s->fontSize, maxFont) << "nothing changes before the paint";
    platSend(s->wnd, PM_PAINT, 0, 0);
    EXPECT_EQ(s->restorePending, 0);
    EXPECT_EQ(s->fontSize, 12);
    EXPECT_EQ(uiChildrenMaximized(), 0);
}

// The MDI area restores a maximised child when another one is maximised,
// and maximises it again when it comes back: the restore never painted
// must not shrink the maximised window at its next paint.
TEST_F(RenderSize, MaximisedAgainBeforeThePaintDropsTheRestore)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    platShow(s->wnd, PSW_MAXIMIZE);
    int maxFont = s->fontSize;
    PRect maxClient = client(s);
    platShow(s->wnd, PSW_RESTORE);
    platShow(s->wnd, PSW_MAXIMIZE);
    platSend(s->wnd, PM_PAINT, 0, 0);
    EXPECT_EQ(s->restorePending, 0);
    EXPECT_TRUE(s->winFlags & CUW_MAXIMIZED);
    EXPECT_EQ(uiChildrenMaximized(), 1);
    EXPECT_EQ(s->fontSize, maxFont);
    EXPECT_EQ(client(s).right, maxClient.right);
    EXPECT_EQ(client(s).bottom, maxClient.bottom);
}

TEST_F(RenderSize, MinimisedSuspendsPainting)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    platShow(s->wnd, PSW_MINIMIZE);
    EXPECT_TRUE(s->winFlags & CUW_MINIMIZED);
    EXPECT_EQ(s->fullRepaint, 1);
    headlessClearDrawing();
    platSend(s->wnd, PM_PAINT, 0, 0);
    EXPECT_TRUE(headlessDrawing().empty());
    platShow(s->wnd, PSW_RESTORE);
    EXPECT_FALSE(s->winFlags & CUW_MINIMIZED);
}

TEST_F(RenderSize, FontCommandsStepWithinTheirRange)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    cuSetFocusScreen(s);
    uiFontLarger();
    EXPECT_EQ(s->fontSize, 13);
    EXPECT_EQ(client(s).right, 80 * s->charWidth);
    s->fontSize = 5;
    uiFontSmaller();
    EXPECT_EQ(s->fontSize, 4);
    uiFontSmaller();
    EXPECT_EQ(s->fontSize, 4);
    platShow(s->wnd, PSW_MAXIMIZE);
    int now = s->fontSize;
    uiFontLarger();
    EXPECT_EQ(s->fontSize, now);
}

TEST_F(RenderSize, BackgroundFollowsTheChannel)
{
    CuScreen* s = open(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    ASSERT_FALSE(headlessDrawing().empty());
    headlessClearDrawing();
    platSend(s->wnd, PM_ERASEBKGND, 0, 0);
    ASSERT_EQ(headlessDrawing().size(), 1u);
    EXPECT_EQ(headlessDrawing()[0].color, uiColorTable()[CU_ATTR_UNIX_NORMAL].bg);
    attachMcs(0);
    headlessClearDrawing();
    platSend(s->wnd, PM_ERASEBKGND, 0, 0);
    EXPECT_EQ(headlessDrawing()[0].color, uiColorTable()[CU_ATTR_MCS_NORMAL].bg);
}

}  // namespace
