// Start-up: the command line, failure messages, the second copy, what the
// user sees first, and the splash window.
#include "ui_fixture.h"

#include "common/strtab.h"
#include "core/child.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using uitest::ShellTest;

namespace {

class Startup : public ShellTest {
protected:
    // A listener on 127.0.0.1:port that keeps the port taken.
    int takePort(int port)
    {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)port);
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        int one = 1;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        EXPECT_EQ(bind(s, (sockaddr*)&a, sizeof a), 0) << "port " << port;
        EXPECT_EQ(listen(s, 1), 0);
        taken.push_back(s);
        return s;
    }
    void TearDown() override
    {
        for (int s : taken)
            close(s);
        ShellTest::TearDown();
    }
    static int freePortPair()
    {
        for (;;) {
            int p = kvxtest::freeLocalPort();
            int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons((uint16_t)(p + 1));
            bool ok = bind(s, (sockaddr*)&a, sizeof a) == 0;
            close(s);
            if (ok && p < 65000)
                return p;
        }
    }
    std::vector<int> taken;
};

struct CmdCase {
    const char* line;
    UiCmdAction action;
    int32_t langId;
    bool debug;
    const char* host;
};
const CmdCase kCmdCases[] = {
    {"", UiCmdAction::Run, 0, false, ""},
    {"/Install", UiCmdAction::Install, 0, false, ""},
    {"/Uninstall", UiCmdAction::Uninstall, 0, false, ""},
    {"/Uninstaller", UiCmdAction::Run, 0, false, ""},
    {"/LANGID=407 alpha", UiCmdAction::Run, 0x407, false, "alpha"},
    {"-d alpha", UiCmdAction::Run, 0, true, "alpha"},
    {"  /LANGID=40c -D   beta  ", UiCmdAction::Run, 0x40c, true, "beta"},
    {"host-d", UiCmdAction::Run, 0, false, "host-d"},
};

TEST_F(Startup, CommandLineOptions)
{
    for (const CmdCase& c : kCmdCases) {
        UiCmdLine cl;
        uiParseCmdLine(c.line, &cl);
        EXPECT_EQ(cl.action, c.action) << c.line;
        EXPECT_EQ(cl.langId, c.langId) << c.line;
        EXPECT_EQ(cl.debugLog, c.debug) << c.line;
        EXPECT_STREQ(cl.host, c.host) << c.line;
    }
}

TEST_F(Startup, UninstallEndsWithoutTouchingAnyFile)
{
    unsetenv("KORVEX");
    EXPECT_EQ(uiStartup("/Uninstall"), 1);
    EXPECT_TRUE(std::filesystem::is_empty(root + "/cfg"));
    EXPECT_FALSE(std::filesystem::exists(root + "/home"));
    EXPECT_FALSE(std::filesystem::exists(root + "/etc"));
    EXPECT_TRUE(headlessWindows().empty());
    EXPECT_TRUE(headlessBoxes().empty());
}

TEST_F(Startup, PortRangeTakenStopsWithTheAlreadyRunningMessage)
{
    int port = kvxtest::freeLocalPort();
    takePort(port);
    config("[Options]\nSplash=0\nMaxCopies=1\nPort=" + std::to_string(port) + "\n[Hosts]\nH00=alpha\n");
    EXPECT_LT(uiStartup(""), 0);
    // The socket layer reports its own failure first.
    ASSERT_FALSE(headlessBoxes().empty());
    EXPECT_EQ(headlessBoxes().back().text, strGet(16027));
    EXPECT_EQ(headlessBoxes().back().text, "Unable to start Korvex.\nKorvex may already be running.");
    EXPECT_EQ(headlessBoxes().back().caption, "Error");
    EXPECT_EQ(uiListenSocket(), -1);
}

TEST_F(Startup, SecondCopyListensOnTheNextPort)
{
    int port = freePortPair();
    takePort(port);
    config("[Options]\nSplash=0\nMaxCopies=2\nPort=" + std::to_string(port) + "\n[Hosts]\nH00=alpha\n");
    ASSERT_EQ(uiStartup(""), 0);
    EXPECT_EQ(uiListenPort(), port + 1);
    EXPECT_TRUE(headlessBoxes().empty());
}

TEST_F(Startup, WithHostsTheOpenSessionDialogComesFirst)
{
    config("[Options]\nSplash=0\nPort=" + std::to_string(kvxtest::freeLocalPort()) + "\n[Hosts]\nH00=alpha\nH01=beta\n");
    std::vector<std::string> shown;
    headlessSetDialogPolicy([&shown](PDlgForm& dialog) {
        for (int i = 0; i < dialog.count; ++i)
            if (dialog.controls[i].kind == PCtlKind::List)
                for (int k = 0; k < dialog.controls[i].itemCount; ++k)
                    shown.push_back(dialog.controls[i].items[k]);
        return (int32_t)PID_CANCEL;
    });
    ASSERT_EQ(uiStartup(""), 0);
    ASSERT_NE(uiFrame(), 0);
    drain();
    ASSERT_EQ(headlessDialogs().size(), 1u);
    EXPECT_EQ(headlessDialogs()[0].id, UI_DLG_OPENSESS);
    EXPECT_EQ(shown, (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_FALSE(sessIsOpen(0));
}

TEST_F(Startup, WithoutHostsNoSessionDialogIsShown)
{
    config("[Options]\nSplash=0\nPort=" + std::to_string(kvxtest::freeLocalPort()) + "\n");
    ASSERT_EQ(uiStartup("alpha"), 0);
    drain();
    EXPECT_TRUE(headlessDialogs().empty());
    EXPECT_FALSE(sessIsOpen(0));
}

TEST_F(Startup, FrameTakesItsStoredRectangleAndTheMenu)
{
    config("[Options]\nSplash=0\nPort=" + std::to_string(kvxtest::freeLocalPort()) +
           "\n[Fonts]\nDefMainWinState=10,20,810,620\n");
    ASSERT_EQ(uiStartup(""), 0);
    PRect r = platWindowRect(uiFrame());
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, 620);
    char title[32];
    platTitle(uiFrame(), title, sizeof title);
    EXPECT_STREQ(title, "Korvex");
    int n = 0;
    uiMenuItems(&n);
    EXPECT_EQ(headlessMenu().size(), (size_t)n);
}

TEST_F(Startup, SplashWindowClosesAfterItsSeconds)
{
    config("[Options]\nSplash=2\nPort=" + std::to_string(kvxtest::freeLocalPort()) + "\n");
    ASSERT_EQ(uiStartup(""), 0);
    PWnd splash = uiSplashWindow();
    ASSERT_NE(splash, 0);
    bool drewProduct = false;
    for (const HeadlessDraw& d : headlessDrawing())
        if (d.kind == HeadlessDraw::Text && d.wnd == splash && d.text == "Korvex")
            drewProduct = true;
    EXPECT_TRUE(drewProduct);
    headlessAdvanceClock(1000);
    drain();
    EXPECT_TRUE(platIsWindow(splash));
    headlessAdvanceClock(1100);
    drain();
    EXPECT_FALSE(platIsWindow(splash));
    EXPECT_EQ(uiSplashWindow(), 0);
}

TEST_F(Startup, DebugOptionOpensTheLog)
{
    setenv("XDG_DOCUMENTS_DIR", (root + "/docs").c_str(), 1);
    std::filesystem::create_directories(root + "/docs");
    config("[Options]\nSplash=0\nPort=" + std::to_string(kvxtest::freeLocalPort()) + "\n");
    ASSERT_EQ(uiStartup("-d"), 0);
    EXPECT_TRUE(dbgLogIsOn());
    uiShutdown();
    EXPECT_FALSE(dbgLogIsOn());
    unsetenv("XDG_DOCUMENTS_DIR");
}

} // namespace
