// The key ring and paste buffer, cursor stack, buttons, highlight and bell.
#include "cuscr_fixture.h"

#include <cstring>

namespace {

class CuInput : public CuScreenTest {
protected:
    void SetUp() override
    {
        CuScreenTest::SetUp();
        s = openGrid(0, 6, 10);
    }
    void setPaste(const std::string& text)
    {
        s->paste.reset(new uint8_t[text.size()]);
        memcpy(s->paste.get(), text.data(), text.size());
        s->pasteLen = (int32_t)text.size();
    }
    CuScreen* s = nullptr;
};

TEST_F(CuInput, KeyRingHoldsThirtyNineKeysInOrder)
{
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 0);
    for (int i = 0; i < CU_KEY_SLOTS - 1; ++i)
        ASSERT_EQ(cuKeyPut(0x100 * i + 1), 0) << i;
    EXPECT_EQ(cuKeyPut(0x3B00), 1);  // full: dropped
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 1);
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK), 1);
    EXPECT_EQ(cuKeyQueue(CU_KQ_GET), 1);
    // One slot free again; the ring wraps.
    EXPECT_EQ(cuKeyPut(0x4800), 0);
    EXPECT_EQ(cuKeyPut(0x5000), 1);
    for (int i = 1; i < CU_KEY_SLOTS - 1; ++i)
        ASSERT_EQ(cuKeyQueue(CU_KQ_GET), 0x100 * i + 1) << i;
    EXPECT_EQ(cuKeyQueue(CU_KQ_GET), 0x4800);
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 0);

    cuKeyPut('a');
    cuKeyPut('b');
    EXPECT_EQ(cuKeyQueue(CU_KQ_FLUSH), 0);
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 0);
}

TEST_F(CuInput, PasteBufferFeedsTheRingAndKeepsWhatDoesNotFit)
{
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += (char)('0' + i % 40);
    setPaste(text);
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 1);
    EXPECT_EQ(s->pasteLen, 11);
    EXPECT_EQ(std::string((char*)s->paste.get(), 11), text.substr(39));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(cuKeyQueue(CU_KQ_GET), text[i]);
    // The first look of this call moves five more.
    EXPECT_EQ(cuKeyQueue(CU_KQ_GET), text[5]);
    EXPECT_EQ(s->pasteLen, 6);
    EXPECT_EQ(std::string((char*)s->paste.get(), 6), text.substr(44));
    std::string rest;
    while (cuKeyQueue(CU_KQ_PEEK_AVAIL))
        rest += (char)cuKeyQueue(CU_KQ_GET);
    EXPECT_EQ(rest, text.substr(6));
    EXPECT_EQ(s->pasteLen, 0);
    EXPECT_EQ(s->paste, nullptr);
}

TEST_F(CuInput, WaitingForAKeyDispatchesWindowMessages)
{
    // A window whose procedure types a key when it gets a message.
    PWndProc typist = [](PWnd, uint32_t msg, PWParam wp, PLParam) -> PResult {
        if (msg == PM_CHAR)
            cuKeyPut((int32_t)wp);
        return 0;
    };
    PWnd w = platCreateWindow(PWndCreate{PWndKind::Popup, frame, "", {0, 0, 10, 10}, 0, typist});
    ASSERT_NE(w, 0);
    ASSERT_TRUE(platPost(w, PM_CHAR, 'k', 0));
    EXPECT_EQ(cuKeyQueue(CU_KQ_GET), 'k');
}

TEST_F(CuInput, CursorStackHoldsTenPositions)
{
    for (int i = 0; i < CU_CURSOR_STACK + 1; ++i) {
        cuSetCursor(i % 6, i);
        cuSetCursorShape(i % 2 ? CU_CURSOR_UNDERLINE : CU_CURSOR_BLOCK);
        cuPushCursor();
    }
    EXPECT_EQ(s->curDepth, CU_CURSOR_STACK);
    for (int i = CU_CURSOR_STACK - 1; i >= 0; --i) {
        cuPopCursor();
        int row, col, shape;
        cuGetCursor(&row, &col, &shape);
        EXPECT_EQ(row, i % 6);
        EXPECT_EQ(col, i);
        EXPECT_EQ(shape, i % 2 ? CU_CURSOR_UNDERLINE : CU_CURSOR_BLOCK);
    }
    cuSetCursor(1, 1);
    cuPopCursor();  // empty: nothing
    EXPECT_EQ(s->curRow, 1);

    const int bad[][2] = {{-1, 0}, {0, -1}, {6, 0}, {0, 10}};
    for (const auto& b : bad) {
        cuSetCursor(b[0], b[1]);
        EXPECT_EQ(s->curRow, 1);
        EXPECT_EQ(s->curCol, 1);
    }
}

TEST_F(CuInput, ButtonsAreUpdatedInPlaceAndLimitedToTen)
{
    for (int i = 0; i < DMAXBUTTONS; ++i)
        cuButton(0, 3, i % 6, (i / 6) * 4);
    ASSERT_EQ(s->buttonCount, DMAXBUTTONS);

    forgetDirty(s);
    cuButton(1, 3, 2, 0);  // an existing button is pressed
    EXPECT_EQ(s->buttonCount, DMAXBUTTONS);
    EXPECT_EQ(s->buttons[2].state, 1);
    EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{2, 0, 2, 2}}));

    forgetDirty(s);
    ::testing::internal::CaptureStdout();
    cuButton(0, 2, 5, 8);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\ncuButton:Error DMAXBUTTONS reached");
    EXPECT_EQ(s->buttonCount, DMAXBUTTONS);
    EXPECT_TRUE(dirtyList(s).empty());

    cuButton(0, 0, 0, 0);  // length 0 removes them all
    EXPECT_EQ(s->buttonCount, 0);
    EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{0, 0, 5, 9}}));

    cuButton(0, 50, 4, 7);  // cut at the right edge
    cuButton(0, 3, 6, 0);   // outside: ignored
    cuButton(0, 3, 0, -1);
    ASSERT_EQ(s->buttonCount, 1);
    EXPECT_EQ(s->buttons[0].len, 3);

    cuButtonMode(true);
    EXPECT_TRUE(s->winFlags & CUW_3D);
    EXPECT_EQ(s->buttonCount, 1);
    cuButtonMode(false);
    EXPECT_FALSE(s->winFlags & CUW_3D);
    EXPECT_EQ(s->buttonCount, 0);
}

TEST_F(CuInput, HighlightIsStoredCutAndInvalidatedWhenRemoved)
{
    cuHighlight(true, 40, 3, 6);
    EXPECT_EQ(s->hlFlags, CU_HL_SHOWN | CU_HL_SET);
    EXPECT_EQ(s->hlRow, 3);
    EXPECT_EQ(s->hlCol, 6);
    EXPECT_EQ(s->hlLen, 4);
    forgetDirty(s);
    cuHighlight(false, 4, 3, 6);
    EXPECT_EQ(s->hlFlags, CU_HL_SET);
    EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{3, 6, 3, 9}}));
    cuHighlight(true, 2, 6, 0);  // outside: ignored
    EXPECT_EQ(s->hlFlags, CU_HL_SET);
}

// Brings the tick clock to the start of a fresh second, so that two calls
// made now fall into the same second and later ones into the next.
void startOfSecond()
{
    headlessAdvanceClock(1000 - platTickCount() % 1000);
}

TEST_F(CuInput, BellRingsAtMostOncePerSecond)
{
    struct Case {
        const char* beep;  // "Options" "Beep"
        size_t sounds;     // after four bells over two seconds
        bool visual;
    };
    const Case cases[] = {
        {nullptr, 2, false},
        {"AUDIBLE", 2, false},
        {"NONE", 0, false},
        {"VISUAL", 0, true},
        {"BOTH", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.beep ? c.beep : "(default)");
        cuSessClose(0);
        cfgSetString("Options", "Beep", c.beep);
        s = openGrid(0, 6, 10);
        s->charWidth = 8;
        s->charHeight = 16;
        cuSetCursor(2, 0);

        size_t before = headlessSounds().size();
        headlessClearDrawing();
        headlessAdvanceClock(1000);
        startOfSecond();
        cuBell();
        std::vector<HeadlessDraw> first = headlessDrawing();
        headlessClearDrawing();
        cuBell();  // same second: nothing
        EXPECT_TRUE(headlessDrawing().empty());
        headlessAdvanceClock(1000);
        cuBell();
        cuBell();
        ASSERT_EQ(headlessSounds().size() - before, c.sounds);
        for (size_t i = before; i < headlessSounds().size(); ++i)
            EXPECT_EQ(headlessSounds()[i], PSND_EXCLAMATION);

        // The visual bell blacks out the cursor row, then repaints it.
        bool blackRow = false;
        for (const HeadlessDraw& d : first)
            if (d.kind == HeadlessDraw::Fill && d.color == platRgb(0, 0, 0) && d.y == 32 && d.y2 == 48 &&
                d.x == 0 && d.x2 == 80)
                blackRow = true;
        EXPECT_EQ(blackRow, c.visual);
        cuPaintDirty();
        EXPECT_EQ(s->dirtyCount, 0);
        EXPECT_EQ(cuScrPtr, s);
    }
}

}  // namespace
