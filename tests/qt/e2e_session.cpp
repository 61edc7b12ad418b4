// End to end on the Qt back end (offscreen): the program starts, opens a
// session to a real telnet host, the user types a command, its output shows
// in the screen buffer and in the rendered window, Alt+O offers the Open
// Session dialog and Alt+K closes the session.
#include "core/child.h"
#include "core/cuscr.h"
#include "plat/plat.h"
#include "plat/qt/qtplat.h"
#include "plat/qt/qttestinput.h"
#include "support/kvxtest.h"
#include "support/servers.h"
#include "ui/startup.h"
#include "ui/uiframe.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string rowText(CuScreen* s, int r)
{
    std::string line;
    for (int c = 0; c < s->Cols; ++c) {
        uint16_t code = s->chars[r * s->bufCols + c];
        line += (code >= 32 && code < 256) ? (char)code : ' ';
    }
    return line.substr(0, line.find_last_not_of(' ') + 1);
}

// The row holding exactly text, or -1.
int rowOf(CuScreen* s, const std::string& text)
{
    for (int r = 0; s && r < s->Rows; ++r)
        if (rowText(s, r) == text)
            return r;
    return -1;
}

template <typename Pred>
bool pumpUntil(Pred pred, int ms = 10000)
{
    uint32_t start = platTickCount();
    while (!pred()) {
        if (platTickCount() - start > (uint32_t)ms)
            return false;
        platPump(20);
    }
    return true;
}

TEST(EndToEnd, TelnetSessionEchoesAndClosesWithAltK)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static char arg0[] = "korvex";
    static char* argv[] = {arg0, nullptr};
    int argc = 1;
    ASSERT_EQ(qtPlatInit(argc, argv), 0);

    kvxtest::TestServer telnetd;
    ASSERT_TRUE(kvxtest::startTelnetServer(telnetd)) << telnetd.error;
    std::string dir = kvxtest::scratchDir("e2e-session");
    std::ofstream(dir + "/korvex.ini") << "[Options]\nSplash=0\nPort=" << kvxtest::freeLocalPort()
                                       << "\n[Hosts]\nH00=127.0.0.1\nProtocol00=Telnet\nTelnetPort00=" << telnetd.port
                                       << "\nDefaultUserID=tester\n";
    setenv("KORVEX", dir.c_str(), 1);

    ASSERT_EQ(uiStartup("127.0.0.1"), 0);
    platSetMessageFilter(uiFrameMessageFilter);
    ASSERT_TRUE(sessIsOpen(0));
    CuScreen* s = cuScreenAt(0);
    PWnd wnd = s->wnd;
    ASSERT_TRUE(pumpUntil([&] { return cuScreenAt(0) && cuScreenAt(0)->writable; }));
    ASSERT_TRUE(pumpUntil([&] { return rowText(s, s->curRow).find('#') != std::string::npos ||
                                        rowText(s, s->curRow).find('$') != std::string::npos; }))
        << "no shell prompt";

    // Typed as a user types: character messages to the session window.
    for (char c : std::string("echo hello\r"))
        platPost(wnd, PM_CHAR, (PWParam)(unsigned char)c, 1);
    ASSERT_TRUE(pumpUntil([&] { return rowOf(s, "hello") >= 0; })) << "no echo on the screen";
    int row = rowOf(s, "hello");

    // The rendered window shows the row: its first five cells hold pixels
    // unlike the background beyond them.
    platUpdate(wnd);
    platPump(50);
    std::string png = dir + "/session.png";
    ASSERT_EQ(qtPlatSaveImage(wnd, png.c_str()), 0);
    EXPECT_GT(std::filesystem::file_size(png), 0u);
    ASSERT_GT(s->charWidth, 0);
    ASSERT_GT(s->charHeight, 0);
    unsigned bg = qtPlatPixel(wnd, s->charWidth * 40, row * s->charHeight + s->charHeight / 2);
    int ink = 0;
    for (int y = row * s->charHeight; y < (row + 1) * s->charHeight; ++y)
        for (int x = 0; x < 5 * s->charWidth; ++x)
            if (qtPlatPixel(wnd, x, y) != bg)
                ++ink;
    EXPECT_GT(ink, 5 * s->charHeight / 2);

    // Keys pressed as a user presses them, through Qt's shortcut map: the
    // program's Alt+O wins over the menu bar's "&Options".
    qtTestCancelDialogs();
    std::string prompt = rowText(s, s->curRow);
    ASSERT_EQ(qtTestKeyClick(wnd, 'o', QT_TEST_ALT), 0);
    EXPECT_STREQ(qtTestLastDialogTitle(), "Open Session");
    EXPECT_TRUE(sessIsOpen(0));
    platPump(100);
    EXPECT_EQ(rowText(s, s->curRow), prompt) << "the character was swallowed";

    ASSERT_EQ(qtTestKeyClick(wnd, 'k', QT_TEST_ALT), 0);
    EXPECT_TRUE(pumpUntil([&] { return !sessIsOpen(0); }, 3000));
    EXPECT_FALSE(platIsWindow(wnd));
    // With no session window left the frame takes the keys.
    qtTestCancelDialogs();
    ASSERT_EQ(qtTestKeyClick(uiFrame(), 'o', QT_TEST_ALT), 0);
    EXPECT_STREQ(qtTestLastDialogTitle(), "Open Session");

    platSend(uiFrame(), PM_COMMAND, UIC_EXIT, 0);
    pumpUntil([] { return platQuitting(); }, 2000);
    uiShutdown();
    qtPlatShutdown();
}

} // namespace
