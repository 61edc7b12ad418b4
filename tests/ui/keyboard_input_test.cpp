// Keys typed in a session window become key codes, reach the session and,
// in character mode, the host over a real loopback connection.
#include "core/child_fixture.h"
#include "ui/config.h"
#include "ui/keyboard.h"
#include "ui/render.h"
#include "ui/uiwin.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Cmd {
    uint32_t msg;
    PWParam wp;
    PLParam lp;
};
std::vector<Cmd>& frameCommands()
{
    static std::vector<Cmd> v;
    return v;
}
PResult recordingFrame(PWnd, uint32_t msg, PWParam wp, PLParam lp)
{
    if (msg == PM_COMMAND)
        frameCommands().push_back({msg, wp, lp});
    return 0;
}

class KeyInput : public childtest::ChildTest {
protected:
    void SetUp() override
    {
        ChildTest::SetUp();
        for (int vk : {PVK_SHIFT, PVK_CONTROL, PVK_MENU, PVK_MULTIPLY, PVK_ADD, PVK_SUBTRACT})
            headlessSetKeyState(vk, 0);
        frameCommands().clear();
    }
    void TearDown() override
    {
        uiSetFrameWindow(0);
        uiConfigMut().maxSessions = CH_MAX_SESSIONS;
        ChildTest::TearDown();
    }
    // The keys waiting in the slot's ring, taken out.
    static std::vector<int32_t> queued(int slot)
    {
        std::vector<int32_t> v;
        int prev = cuCurSlot;
        cuSelect(slot);
        while (cuKeyQueue(CU_KQ_PEEK_AVAIL) == 1)
            v.push_back(cuKeyQueue(CU_KQ_GET));
        cuSelect(prev);
        return v;
    }
    childtest::Chan open(int slot)
    {
        childtest::Chan c = openSession(slot);
        cuScreenAt(slot)->writable = 1;
        return c;
    }
    static PWnd wndOf(int slot) { return cuScreenAt(slot)->wnd; }
    static void setMcsMode(int slot) { sessAt(slot)->flags = (uint16_t)((sessAt(slot)->flags & ~CHF_MODE) | CHF_IDLE); }
};

TEST(KeyCodes, TableOfVirtualKeys)
{
    struct Case {
        int32_t vk;
        int32_t plain, shift, ctrl;
    };
    const Case cases[] = {
        {PVK_F1, 0x3B00, 0x5400, 0x5E00}, {PVK_F1 + 1, 0x3C00, 0x5500, 0x5F00}, {PVK_F1 + 2, 0x3D00, 0x5600, 0x6000},
        {PVK_F1 + 3, 0x3E00, 0x5700, 0x6100}, {PVK_F1 + 4, 0x3F00, 0x5800, 0x6200}, {PVK_F1 + 5, 0x4000, 0x5900, 0x6300},
        {PVK_F1 + 6, 0x4100, 0x5A00, 0x6400}, {PVK_F1 + 7, 0x4200, 0x5B00, 0x6500}, {PVK_F1 + 8, 0x4300, 0x5C00, 0x6600},
        {PVK_F10, 0x4400, 0x5D00, 0x6700}, {PVK_F1 + 10, 0x8500, 0x8700, 0x8900}, {PVK_F12, 0x8600, 0x8800, 0x8A00},
        {PVK_UP, 0x4800, 0x4800, 0x4800}, {PVK_DOWN, 0x5000, 0x5000, 0x5000}, {PVK_LEFT, 0x4B00, 0x4B00, 0x4B00},
        {PVK_RIGHT, 0x4D00, 0x4D00, 0x4D00}, {PVK_HOME, 0x4700, 0x4700, 0x4700}, {PVK_END, 0x4F00, 0x4F00, 0x4F00},
        {PVK_PRIOR, 0x4900, 0x4900, 0x4900}, {PVK_NEXT, 0x5100, 0x5100, 0x5100}, {PVK_INSERT, 0x5200, 0x5200, 0x5200},
        {PVK_DELETE, 0x5300, 0x5300, 0x5300}, {PVK_SCROLL, 0xC600, 0xC600, 0xC600},
        {PVK_A, 0, 0, 0}, {PVK_RETURN, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vk);
        EXPECT_EQ(kbVirtualKeyCode(c.vk, false, false), c.plain);
        EXPECT_EQ(kbVirtualKeyCode(c.vk, true, false), c.shift);
        EXPECT_EQ(kbVirtualKeyCode(c.vk, false, true), c.ctrl);
        EXPECT_EQ(kbVirtualKeyCode(c.vk, true, true), c.ctrl) << "Ctrl wins over Shift";
    }
}

TEST(KeyCodes, CtrlLetters)
{
    const int32_t want[26] = {0x1E01, 0x3002, 0x2E03, 0x2004, 0x1205, 0x2106, 0x2207, 0x2308, 0x1709,
                              0x240A, 0x250B, 0x260C, 0x320D, 0x310E, 0x180F, 0x1910, 0x1011, 0x1312,
                              0x1F13, 0x1414, 0x1615, 0x2F16, 0x1117, 0x2D18, 0x1519, 0x2C1A};
    for (int c = 1; c <= 26; ++c)
        EXPECT_EQ(kbCtrlLetterCode(c), want[c - 1]) << c;
    EXPECT_EQ(kbCtrlLetterCode(0), 0);
    EXPECT_EQ(kbCtrlLetterCode(27), 0);
}

TEST_F(KeyInput, KeyDownQueuesTheCodeOfTheTable)
{
    openSession(0);
    struct Case {
        int32_t vk;
        bool shift, ctrl;
        int32_t key;   // 0: not handled
    };
    const Case cases[] = {
        {PVK_F1, false, false, 0x3B00}, {PVK_F1 + 4, true, false, 0x5800}, {PVK_F12, false, true, 0x8A00},
        {PVK_F10, false, false, 0x4400}, {PVK_F10, true, false, 0xF900}, {PVK_F10, true, true, 0x6700},
        {PVK_HOME, true, false, 0x4700}, {PVK_SCROLL, false, false, 0xC600}, {PVK_SPACE, true, false, 0},
        {PVK_A, false, false, 0}, {PVK_TAB, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vk);
        headlessSetKeyState(PVK_SHIFT, c.shift ? PKS_DOWN : 0);
        headlessSetKeyState(PVK_CONTROL, c.ctrl ? PKS_DOWN : 0);
        EXPECT_EQ(platSend(wndOf(0), PM_KEYDOWN, (PWParam)c.vk, 1), c.key ? 1 : 0);
        std::vector<int32_t> want;
        if (c.key)
            want.push_back(c.key);
        EXPECT_EQ(queued(0), want);
    }
}

TEST_F(KeyInput, CtrlCInCharacterModeSendsByteThree)
{
    childtest::Chan c = open(0);
    headlessSetKeyState(PVK_CONTROL, PKS_DOWN);
    EXPECT_EQ(platSend(wndOf(0), PM_CHAR, 3, 1), 1);
    pumpIdle();
    EXPECT_EQ(peerReceived(c), std::string("\x03"));
}

TEST_F(KeyInput, CtrlCInMcsModeReachesTheFormsAsItsCode)
{
    openSession(0);
    setMcsMode(0);
    headlessSetKeyState(PVK_CONTROL, PKS_DOWN);
    platSend(wndOf(0), PM_CHAR, 3, 1);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{0x2E03}));
}

TEST_F(KeyInput, RepeatCountQueuesThatManyKeys)
{
    childtest::Chan c = open(0);
    platSend(wndOf(0), PM_CHAR, 'a', 5);
    pumpIdle();
    EXPECT_EQ(peerReceived(c), "aaaaa");
    platSend(wndOf(0), PM_SYSCHAR, '2', 3);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{0x7900, 0x7900, 0x7900}));
}

TEST_F(KeyInput, KeypadEnterUnderNumEnter)
{
    childtest::Chan c = open(0);
    ASSERT_EQ(cfgSetString("Options", "NumEnter", "xmit"), 0);
    platSend(wndOf(0), PM_CHAR, 13, 1 | PKEY_EXTENDED);
    platSend(wndOf(0), PM_CHAR, 13, 1);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{0xC600, 13}));
    cfgSetString("Options", "NumEnter", "TAB");
    platSend(wndOf(0), PM_CHAR, 13, 1 | PKEY_EXTENDED);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{9}));
    // Transmit reaches the host as the key table says.
    cfgSetString("Options", "NumEnter", "XMIT");
    platSend(wndOf(0), PM_CHAR, 13, 1 | PKEY_EXTENDED);
    pumpIdle();
    EXPECT_EQ(peerReceived(c), "\x1bOM");
}

TEST_F(KeyInput, CharacterRules)
{
    openSession(0);
    struct Case {
        const char* option;
        const char* value;
        int32_t downVk;
        bool shift;
        int c;
        int32_t key;   // -1: not handled
    };
    const Case cases[] = {
        {nullptr, nullptr, 0, true, 9, 0x0F00},
        {nullptr, nullptr, 0, false, 9, 9},
        {nullptr, nullptr, 0, false, 29, 0xC600},
        {"NumMultiply", "ENTER", PVK_MULTIPLY, false, '*', 13},
        {"NumMultiply", "XMIT", PVK_MULTIPLY, false, '*', 0xC600},
        {"NumMultiply", "XMIT", 0, false, '*', '*'},
        {"NumAdd", "TAB", PVK_ADD, false, '+', 9},
        {"NumSubtract", "BACKTAB", PVK_SUBTRACT, false, '-', 0x0F00},
        {"NumSubtract", "OTHER", PVK_SUBTRACT, false, '-', '-'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.c);
        if (c.option)
            cfgSetString("Options", c.option, c.value);
        headlessSetKeyState(PVK_SHIFT, c.shift ? PKS_DOWN : 0);
        if (c.downVk)
            headlessSetKeyState(c.downVk, PKS_DOWN);
        EXPECT_EQ(platSend(wndOf(0), PM_CHAR, (PWParam)c.c, 1), c.key >= 0 ? 1 : 0);
        EXPECT_EQ(queued(0), (std::vector<int32_t>{c.key}));
        if (c.downVk)
            headlessSetKeyState(c.downVk, 0);
    }
}

TEST_F(KeyInput, SpaceBarInMcsMode)
{
    openSession(0);
    // Character mode: the space is a character.
    EXPECT_EQ(platSend(wndOf(0), PM_KEYDOWN, PVK_SPACE, 1), 0);
    EXPECT_EQ(platSend(wndOf(0), PM_CHAR, ' ', 1), 1);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{' '}));
    setMcsMode(0);
    headlessSetKeyState(PVK_SHIFT, PKS_DOWN);
    EXPECT_EQ(platSend(wndOf(0), PM_KEYDOWN, PVK_SPACE, 1), 1);
    EXPECT_EQ(platSend(wndOf(0), PM_CHAR, ' ', 1), 0);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{0x4D00}));
    cfgSetString("Options", "SpaceBar", "nodestruct");
    headlessSetKeyState(PVK_SHIFT, 0);
    EXPECT_EQ(platSend(wndOf(0), PM_KEYDOWN, PVK_SPACE, 1), 1);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{0x4D00}));
}

TEST_F(KeyInput, AltDigitsAndF10AsSystemKeys)
{
    openSession(0);
    const std::pair<int, int32_t> alt[] = {{'1', 0x7800}, {'9', 0x8000}, {'0', 0x8100}, {'-', 0x8200}, {'=', 0x8300}};
    for (auto [c, key] : alt) {
        EXPECT_EQ(platSend(wndOf(0), PM_SYSCHAR, (PWParam)c, 1), 1);
        EXPECT_EQ(queued(0), (std::vector<int32_t>{key}));
    }
    EXPECT_EQ(platSend(wndOf(0), PM_SYSCHAR, 'x', 1), 0);
    EXPECT_EQ(platSend(wndOf(0), PM_SYSKEYDOWN, PVK_F10, 1), 1);
    headlessSetKeyState(PVK_SHIFT, PKS_DOWN);
    EXPECT_EQ(platSend(wndOf(0), PM_SYSKEYDOWN, PVK_F10, 1), 1);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{0x4400, 0x5D00}));
    headlessSetKeyState(PVK_MENU, PKS_DOWN);
    EXPECT_EQ(platSend(wndOf(0), PM_SYSKEYDOWN, PVK_F10, 1), 0);
    EXPECT_TRUE(queued(0).empty());
}

TEST_F(KeyInput, AltFunctionKeysSwitchOrOpenSessions)
{
    PWnd myFrame = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "F", {0, 0, 10, 10}, 0, recordingFrame});
    uiSetFrameWindow(myFrame);
    openSession(0);
    openSession(1);
    struct Case {
        int maxSessions;
        bool posted;
    };
    for (Case c : {Case{2, false}, Case{3, true}, Case{8, true}}) {
        SCOPED_TRACE(c.maxSessions);
        frameCommands().clear();
        uiConfigMut().maxSessions = c.maxSessions;
        EXPECT_EQ(platSend(wndOf(0), PM_SYSKEYDOWN, PVK_F1 + 2, 1), 1);
        pumpIdle();
        ASSERT_EQ(frameCommands().size(), c.posted ? 1u : 0u);
        if (c.posted) {
            EXPECT_EQ(frameCommands()[0].wp, (PWParam)IDM_OPENSESS);
            EXPECT_EQ(frameCommands()[0].lp, 2);
        }
    }
    // An open slot becomes current and active.
    sessSelect(0);
    platSend(wndOf(0), PM_SYSKEYDOWN, PVK_F1 + 1, 1);
    EXPECT_EQ(platMdiActive(), wndOf(1));
    EXPECT_EQ(platFocus(), wndOf(1));
    // Not while busy.
    ASSERT_EQ(ChSemSet(1, "test"), 1);
    EXPECT_EQ(platSend(wndOf(0), PM_SYSKEYDOWN, PVK_F1 + 2, 1), 0);
    ChSemSet(0, "test");
}

TEST_F(KeyInput, MouseInMcsModeQueuesCodesWithTheCell)
{
    openSession(0);
    CuScreen* s = cuScreenAt(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    ASSERT_GT(s->charWidth, 0);
    setMcsMode(0);
    PLParam at = (PLParam)((3 * s->charWidth + 1) | ((5 * s->charHeight + 2) << 16));
    platSend(s->wnd, PM_LBUTTONDOWN, 1, at);
    EXPECT_EQ(s->mouseRow, 5);
    EXPECT_EQ(s->mouseCol, 3);
    platSend(s->wnd, PM_LBUTTONUP, 0, at);
    platSend(s->wnd, PM_LBUTTONDBLCLK, 1, at);
    platSend(s->wnd, PM_RBUTTONDOWN, 2, at);
    platSend(s->wnd, PM_RBUTTONUP, 0, at);
    platSend(s->wnd, PM_RBUTTONDBLCLK, 2, at);
    EXPECT_EQ(queued(0), (std::vector<int32_t>{0x7FF0, 0x7FF1, 0x7FF2, 0x7FF3}));
    // Outside the grid nothing is typed.
    platSend(s->wnd, PM_LBUTTONDOWN, 1, (PLParam)(5000 | (5 << 16)));
    EXPECT_TRUE(queued(0).empty());
}

TEST_F(KeyInput, MarkingInCharacterMode)
{
    openSession(0);
    CuScreen* s = cuScreenAt(0);
    platSend(s->wnd, PM_PAINT, 0, 0);
    auto at = [&](int row, int col) { return (PLParam)((col * s->charWidth) | ((row * s->charHeight) << 16)); };
    cuSetFocusScreen(nullptr);
    cuSelect(0);
    const UiColorPair normal = uiColorTable()[s->attrs[1 * s->Cols + 2]];
    auto colourAt = [&](int col) {
        PRgb bk = 0xFFFFFFFF;
        for (const HeadlessDraw& d : headlessDrawing())
            if (d.kind == HeadlessDraw::Text && d.y == s->charHeight && d.x <= col * s->charWidth &&
                col * s->charWidth < d.x + (int)d.text.size() * s->charWidth)
                bk = d.bk;
        return bk;
    };
    platSend(s->wnd, PM_LBUTTONDOWN, 1, at(1, 2));
    EXPECT_EQ(s->markState, 1);
    headlessClearDrawing();
    platSend(s->wnd, PM_MOUSEMOVE, 1, at(1, 6));
    platPump(0);
    EXPECT_EQ(s->markState, 2);
    EXPECT_EQ(colourAt(4), normal.fg) << "the marked cells show reversed";
    EXPECT_EQ(colourAt(8), normal.bg);
    platSend(s->wnd, PM_LBUTTONUP, 0, at(1, 6));
    EXPECT_EQ(s->markState, 3);
    EXPECT_EQ(s->markStart, 1 * s->Cols + 2);
    EXPECT_EQ(s->markEnd, 1 * s->Cols + 6);
    // A new click removes the old marking.
    headlessClearDrawing();
    platSend(s->wnd, PM_LBUTTONDOWN, 1, at(3, 0));
    platPump(0);
    EXPECT_EQ(colourAt(4), normal.bg);
    EXPECT_TRUE(queued(0).empty());
}

}  // namespace
