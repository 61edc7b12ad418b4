// The Qt back end keeps the platform contract on real widgets (offscreen
// platform): messages, timers, socket readiness and drawing into the
// backing image that paint events show.
#include "plat/plat.h"
#include "plat/qt/qtplat.h"
#include "plat/qt/qttestinput.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<uint32_t, PWParam>> g_seen;
int g_paints = 0;
std::vector<PWParam> g_sizes;   // the size types the child windows were sent

PResult proc(PWnd, uint32_t msg, PWParam wp, PLParam lp)
{
    if (msg == PM_PAINT)
        ++g_paints;
    if (msg == PM_SIZE)
        g_sizes.push_back(wp);
    if (msg == PM_USER || msg == PM_TIMER || msg == PM_CLOSE)
        g_seen.push_back({msg, wp});
    if (msg == PM_SOCKET)
        g_seen.push_back({msg, (PWParam)platSelectEvent(lp)});
    return 0;
}

class QtPlat : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "qtplat_test";
        static char* argv[] = {name, nullptr};
        ASSERT_EQ(qtPlatInit(argc, argv), 0);
    }
    static void TearDownTestSuite() { qtPlatShutdown(); }
    void SetUp() override
    {
        g_seen.clear();
        frame = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "Korvex", {0, 0, 800, 600}, PWS_VISIBLE, proc});
        client = platCreateWindow(PWndCreate{PWndKind::MdiClient, frame, "", {0, 0, 0, 0}, PWS_VISIBLE, nullptr});
        child = platCreateWindow(PWndCreate{PWndKind::MdiChild, client, "HOST-1", {0, 0, 300, 200}, PWS_VISIBLE, proc});
        ASSERT_NE(child, 0);
    }
    void TearDown() override { platDestroyWindow(frame); }
    template <class Pred> bool pumpUntil(Pred pred)
    {
        for (int i = 0; i < 300 && !pred(); ++i)
            platPump(10);
        return pred();
    }
    PWnd frame = 0, client = 0, child = 0;
};

TEST_F(QtPlat, PostedMessagesKeepTheirOrder)
{
    for (PWParam i = 0; i < 4; ++i)
        platPost(child, PM_USER, i, 0);
    ASSERT_TRUE(pumpUntil([] { return g_seen.size() == 4; }));
    for (PWParam i = 0; i < 4; ++i)
        EXPECT_EQ(g_seen[i].second, i);
    char title[32];
    platTitle(child, title, sizeof title);
    EXPECT_STREQ(title, "HOST-1");
}

TEST_F(QtPlat, TimersFireAndStop)
{
    platSetTimer(child, 123, 20);
    ASSERT_TRUE(pumpUntil([] { return g_seen.size() >= 2; }));
    EXPECT_EQ(g_seen[0], (std::pair<uint32_t, PWParam>{PM_TIMER, 123}));
    EXPECT_TRUE(platKillTimer(child, 123));
}

TEST_F(QtPlat, SocketReadinessArrivesAsMessages)
{
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    ASSERT_EQ(platAsyncSelect(sv[0], child, PM_SOCKET, FD_READ | FD_CLOSE), 0);
    ASSERT_EQ(write(sv[1], "x", 1), 1);
    ASSERT_TRUE(pumpUntil([] { return !g_seen.empty(); }));
    EXPECT_EQ(g_seen[0], (std::pair<uint32_t, PWParam>{PM_SOCKET, FD_READ}));
    char c;
    ASSERT_EQ(read(sv[0], &c, 1), 1);
    close(sv[1]);
    ASSERT_TRUE(pumpUntil([] { return g_seen.size() >= 2; }));
    EXPECT_EQ(g_seen.back(), (std::pair<uint32_t, PWParam>{PM_SOCKET, FD_CLOSE}));
    platAsyncSelect(sv[0], child, 0, 0);
    close(sv[0]);
}

TEST_F(QtPlat, DrawingLandsInTheBackingImage)
{
    PRect rc = platClientRect(child);
    ASSERT_GT(rc.right, 100);
    PDC dc = platGetDC(child);
    ASSERT_NE(dc, 0);
    platFillRect(dc, PRect{0, 0, 50, 40}, platRgb(0, 0, 255));
    PFont font = platCreateFont("Courier New", 16, 0);
    PFontMetrics m = platFontMetrics(font);
    EXPECT_GT(m.width, 0);
    EXPECT_LE(m.height, 16 + m.externalLeading);
    platSelectFont(dc, font);
    platSetTextColor(dc, platRgb(255, 255, 255));
    platSetBkColor(dc, platRgb(255, 0, 0));
    const uint8_t text[] = {' ', ' '};
    platTextOut(dc, 60, 0, text, 2);
    PPen pen = platCreatePen(PPEN_SOLID, 1, platRgb(0, 255, 0));
    PPoint line[] = {{0, 60}, {10, 60}};
    platPolyline(dc, pen, line, 2);
    platReleaseDC(child, dc);
    EXPECT_EQ(qtPlatPixel(child, 10, 10), platRgb(0, 0, 255));
    EXPECT_EQ(qtPlatPixel(child, 61, 2), platRgb(255, 0, 0));   // opaque background of the text run
    EXPECT_EQ(qtPlatPixel(child, 60 + 2 * m.width + 1, 2), platRgb(255, 255, 255));
    EXPECT_EQ(qtPlatPixel(child, 9, 60), platRgb(0, 255, 0));
    EXPECT_NE(qtPlatPixel(child, 10, 60), platRgb(0, 255, 0));  // a polyline's last point is not drawn
    platDeletePen(pen);
    platDeleteFont(font);
}

// As on Windows, only an invalidated window is
// asked to paint; what is drawn through a drawing context is shown as it is.
TEST_F(QtPlat, OnlyInvalidatedWindowsArePainted)
{
    auto paints = [] { return g_paints; };
    std::string png = std::string(::testing::TempDir()) + "/qtplat-paint.png";
    ASSERT_EQ(qtPlatSaveImage(child, png.c_str()), 0);   // shows the window once
    for (int i = 0; i < 5; ++i)
        platPump(10);                                   // and lets its size settle
    int first = paints();
    EXPECT_GE(first, 1) << "a new window is painted";

    PDC dc = platGetDC(child);
    platFillRect(dc, PRect{0, 0, 20, 20}, platRgb(0, 128, 0));
    platReleaseDC(child, dc);
    ASSERT_EQ(qtPlatSaveImage(child, png.c_str()), 0);
    platPump(20);
    EXPECT_EQ(paints(), first);
    EXPECT_EQ(qtPlatPixel(child, 5, 5), platRgb(0, 128, 0));

    platInvalidate(child, nullptr, true);
    EXPECT_TRUE(pumpUntil([&] { return paints() > first; }));
}

// A window that works its pop-up menu from a timer, as a user would once
// the menu is up, and records what the menu tells it.
struct PopupUser {
    int32_t pick = 0;           // the id to choose, 0 to press Escape
    int pickResult = 0;
    int x = -1, y = -1;         // where the menu was seen
    std::vector<std::pair<uint32_t, PWParam>> seen;
};
PopupUser g_user;

PResult popupUserProc(PWnd w, uint32_t msg, PWParam wp, PLParam)
{
    if (msg == PM_TIMER) {
        platKillTimer(w, wp);
        qtTestPopupAt(w, &g_user.x, &g_user.y);
        g_user.pickResult = qtTestPopupChoose(g_user.pick);
        if (g_user.pickResult < 0)
            qtTestPopupChoose(0);
    }
    if (msg == PM_MENUSELECT || msg == PM_COMMAND || msg == PM_EXITMENULOOP)
        g_user.seen.push_back({msg, wp});
    return 0;
}

TEST_F(QtPlat, PopupMenuReportsHighlightChoiceAndEnd)
{
    PWnd owner = platCreateWindow(PWndCreate{PWndKind::MdiChild, client, "HOST-2", {10, 10, 310, 210}, PWS_VISIBLE, popupUserProc});
    ASSERT_NE(owner, 0);
    const PMenuItem rows[] = {{11, "&One", 1, 0}, {0, nullptr, 1, 0}, {12, "&Two", 1, PMF_GRAYED}, {13, "T&hree", 1, 0}};
    struct Case {
        int32_t pick;
        int32_t chosen;
    };
    const Case cases[] = {{13, 13}, {0, 0}, {12, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pick);
        g_user = PopupUser{};
        g_user.pick = c.pick;
        platSetTimer(owner, 77, 30);
        ASSERT_EQ(platPopupMenu(owner, rows, 4, PPoint{5, 6}), 0);
        EXPECT_EQ(g_user.x, 5);
        EXPECT_EQ(g_user.y, 6);
        EXPECT_EQ(g_user.pickResult, c.chosen ? 0 : c.pick ? -1 : 0);
        ASSERT_FALSE(g_user.seen.empty());
        EXPECT_EQ(g_user.seen.back(), (std::pair<uint32_t, PWParam>{PM_EXITMENULOOP, 0}));
        if (c.chosen) {
            EXPECT_EQ(g_user.seen.front(), (std::pair<uint32_t, PWParam>{PM_MENUSELECT, (PWParam)c.chosen}));
        }
        // The command is posted: it arrives from the queue.
        platPump(0);
        size_t commands = 0;
        for (const auto& m : g_user.seen)
            if (m.first == PM_COMMAND) {
                ++commands;
                EXPECT_EQ(m.second, (PWParam)c.chosen);
            }
        EXPECT_EQ(commands, c.chosen ? 1u : 0u);
    }
    EXPECT_EQ(platPopupMenu(owner, rows, 0, PPoint{0, 0}), -1);
}

// Closing the active, maximised session window hands both to the window
// that was active before it, as Windows MDI does.
TEST_F(QtPlat, ClosingTheActiveChildActivatesAndMaximisesTheNextOne)
{
    PWnd second = platCreateWindow(PWndCreate{PWndKind::MdiChild, client, "HOST-2", {0, 0, 0, 0},
                                              PWS_VISIBLE | PWS_MAXIMIZED | PWS_DEFAULTPOS, proc});
    ASSERT_NE(second, 0);
    platMdiActivate(second);
    ASSERT_TRUE(pumpUntil([&] { return platMdiActive() == second && platIsMaximized(second); }));
    platDestroyWindow(second);
    EXPECT_TRUE(pumpUntil([&] { return platMdiActive() == child; }));
    EXPECT_TRUE(pumpUntil([&] { return platIsMaximized(child); }));

    // A maximised child made with no place of its own comes back to a
    // usable size when restored.
    PWnd third = platCreateWindow(PWndCreate{PWndKind::MdiChild, client, "HOST-3", {0, 0, 0, 0},
                                             PWS_VISIBLE | PWS_MAXIMIZED | PWS_DEFAULTPOS, proc});
    platShow(third, PSW_RESTORE);
    ASSERT_TRUE(pumpUntil([&] { return !platIsMaximized(third); }));
    PRect r = platClientRect(third);
    EXPECT_GE(r.right - r.left, 300);
    EXPECT_GE(r.bottom - r.top, 200);
}

// A maximised child follows the frame's size and stays maximised.
TEST_F(QtPlat, ResizingTheFrameKeepsAMaximisedChildMaximised)
{
    platShow(child, PSW_MAXIMIZE);
    ASSERT_TRUE(pumpUntil([&] { return platIsMaximized(child); }));
    g_sizes.clear();
    platMove(frame, PRect{0, 0, 640, 480});
    ASSERT_TRUE(pumpUntil([&] { return !g_sizes.empty(); }));
    for (int i = 0; i < 5; ++i)
        platPump(10);
    for (PWParam how : g_sizes)
        EXPECT_EQ(how, (PWParam)PSIZE_MAXIMIZED);
    EXPECT_TRUE(platIsMaximized(child));
}

} // namespace
