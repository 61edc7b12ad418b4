// The headless back end keeps the platform contract: message order, timers
// on the tick clock, socket readiness over real sockets, recorded boxes.
#include "plat/headless/headless.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Seen {
    PWnd wnd;
    uint32_t msg;
    PWParam wp;
    PLParam lp;
};
std::vector<Seen> g_seen;
// A hook the socket tests use to act on an event while it is dispatched.
std::function<void(uint32_t msg, PWParam wp, PLParam lp)> g_onMsg;

PResult recordProc(PWnd w, uint32_t msg, PWParam wp, PLParam lp)
{
    if (msg == PM_CREATE || msg == PM_PAINT || msg == PM_SIZE)
        return 0;
    g_seen.push_back(Seen{w, msg, wp, lp});
    if (g_onMsg)
        g_onMsg(msg, wp, lp);
    return 0;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        headlessReset();
        headlessEchoBoxes(false);
        g_seen.clear();
        g_onMsg = nullptr;
        wnd = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "frame", {0, 0, 100, 100}, PWS_VISIBLE, recordProc});
        ASSERT_NE(wnd, 0);
    }
    void TearDown() override { g_onMsg = nullptr; }

    // Pumps until pred holds or about two seconds have passed.
    template <class Pred> bool pumpUntil(Pred pred)
    {
        for (int i = 0; i < 200 && !pred(); ++i)
            platPump(10);
        return pred();
    }
    std::vector<uint32_t> socketEvents(int fd) const
    {
        std::vector<uint32_t> ev;
        for (const Seen& s : g_seen)
            if (s.msg == PM_SOCKET && (int)s.wp == fd)
                ev.push_back(platSelectEvent(s.lp));
        return ev;
    }
    PWnd wnd = 0;
};

TEST_F(Headless, PostedMessagesArriveInOrderAndSendRunsAtOnce)
{
    for (uint32_t i = 0; i < 5; ++i)
        ASSERT_TRUE(platPost(wnd, PM_USER + i, i, 0));
    platSend(wnd, PM_USER + 100, 0, 0);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].msg, PM_USER + 100);
    platPump(0);
    ASSERT_EQ(g_seen.size(), 6u);
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(g_seen[i + 1].msg, PM_USER + i);
}

TEST_F(Headless, MessagesPostedWhileDispatchingWaitForTheNextPass)
{
    g_onMsg = [&](uint32_t msg, PWParam, PLParam) {
        if (msg == PM_USER)
            platPost(wnd, PM_USER + 1, 0, 0);
    };
    platPost(wnd, PM_USER, 0, 0);
    EXPECT_EQ(platPump(0), 1);
    EXPECT_EQ(platPump(0), 1);
    EXPECT_EQ(g_seen.back().msg, PM_USER + 1);
}

TEST_F(Headless, TimersFireByTheTickClockUntilKilled)
{
    ASSERT_EQ(platSetTimer(wnd, 7, 500), 7u);
    platPump(0);
    EXPECT_TRUE(g_seen.empty());
    headlessAdvanceClock(499);
    platPump(0);
    EXPECT_TRUE(g_seen.empty());
    headlessAdvanceClock(1);
    platPump(0);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].msg, PM_TIMER);
    EXPECT_EQ(g_seen[0].wp, 7u);
    headlessAdvanceClock(500);
    platPump(0);
    EXPECT_EQ(g_seen.size(), 2u);   // periodic
    EXPECT_TRUE(platKillTimer(wnd, 7));
    EXPECT_FALSE(platKillTimer(wnd, 7));
    headlessAdvanceClock(5000);
    platPump(0);
    EXPECT_EQ(g_seen.size(), 2u);
}

TEST_F(Headless, DestroyedWindowLosesItsTimersAndMessages)
{
    PWnd child = platCreateWindow(PWndCreate{PWndKind::MdiChild, wnd, "s", {0, 0, 10, 10}, 0, recordProc});
    platSetTimer(child, 1, 10);
    platPost(child, PM_USER, 0, 0);
    platDestroyWindow(child);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].msg, PM_DESTROY);
    headlessAdvanceClock(100);
    platPump(0);
    EXPECT_EQ(g_seen.size(), 1u);
    EXPECT_FALSE(platIsWindow(child));
}

TEST_F(Headless, BoxesAreRecordedAndAnsweredByThePolicy)
{
    EXPECT_EQ(platMessageBox(wnd, "a question", "Question", PMB_YESNO), PID_YES);
    headlessSetBoxPolicy([](const HeadlessBox& b) { return b.caption == "Question" ? PID_NO : PID_OK; });
    EXPECT_EQ(platMessageBox(wnd, "again", "Question", PMB_YESNO), PID_NO);
    ASSERT_EQ(headlessBoxes().size(), 2u);
    EXPECT_EQ(headlessBoxes()[1].text, "again");
    EXPECT_EQ(headlessBoxes()[1].answer, PID_NO);
}

TEST_F(Headless, PopupMenusFollowTheTrackPopupOrder)
{
    const PMenuItem rows[] = {{11, "&One", 1, 0}, {0, nullptr, 1, 0}, {12, "&Two", 1, PMF_GRAYED}, {13, "T&hree", 1, 0}};
    struct Case {
        int32_t want;       // what the user picks
        int32_t chosen;     // what the menu takes
    };
    const Case cases[] = {{13, 13}, {0, 0}, {12, 0}, {99, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want);
        g_seen.clear();
        headlessSetPopupPolicy([&c](const HeadlessPopup&) { return c.want; });
        ASSERT_EQ(platPopupMenu(wnd, rows, 4, PPoint{7, 9}), 0);
        // Highlight and end of the menu loop are sent; the command waits in the queue.
        std::vector<std::pair<uint32_t, PWParam>> sent;
        for (const Seen& s : g_seen)
            sent.push_back({s.msg, s.wp});
        std::vector<std::pair<uint32_t, PWParam>> want;
        if (c.chosen)
            want.push_back({PM_MENUSELECT, (PWParam)c.chosen});
        want.push_back({PM_EXITMENULOOP, 0});
        EXPECT_EQ(sent, want);
        g_seen.clear();
        platPump(0);
        if (c.chosen) {
            ASSERT_EQ(g_seen.size(), 1u);
            EXPECT_EQ(g_seen[0].msg, PM_COMMAND);
            EXPECT_EQ(g_seen[0].wp, (PWParam)c.chosen);
        } else {
            EXPECT_TRUE(g_seen.empty());
        }
        const HeadlessPopup& p = headlessPopups().back();
        EXPECT_EQ(p.owner, wnd);
        EXPECT_EQ(p.chosen, c.chosen);
    }
    const HeadlessPopup& p = headlessPopups().back();
    EXPECT_EQ(p.at.x, 7);
    EXPECT_EQ(p.at.y, 9);
    ASSERT_EQ(p.items.size(), 4u);
    EXPECT_EQ(p.items[0].text, "&One");
    EXPECT_TRUE(p.items[1].separator);
    EXPECT_EQ(p.items[2].flags, PMF_GRAYED);
    // No menu without an owner or rows.
    EXPECT_EQ(platPopupMenu(9999, rows, 4, PPoint{0, 0}), -1);
    EXPECT_EQ(platPopupMenu(wnd, rows, 0, PPoint{0, 0}), -1);
    EXPECT_EQ(headlessPopups().size(), 4u);
}

// A connected pair of TCP sockets on loopback, the client non-blocking.
struct TcpPair {
    int listener = -1, client = -1, server = -1;
    TcpPair()
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, (sockaddr*)&a, sizeof a);
        listen(listener, 4);
        socklen_t len = sizeof a;
        getsockname(listener, (sockaddr*)&a, &len);
        addr = a;
        client = socket(AF_INET, SOCK_STREAM, 0);
        fcntl(client, F_SETFL, O_NONBLOCK);
    }
    ~TcpPair()
    {
        for (int fd : {listener, client, server})
            if (fd >= 0)
                close(fd);
    }
    sockaddr_in addr{};
};

TEST_F(Headless, ConnectReportsConnectThenWrite)
{
    TcpPair p;
    connect(p.client, (sockaddr*)&p.addr, sizeof p.addr);
    ASSERT_EQ(platAsyncSelect(p.client, wnd, PM_SOCKET, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
    ASSERT_TRUE(pumpUntil([&] { return socketEvents(p.client).size() >= 2; }));
    EXPECT_EQ(socketEvents(p.client), (std::vector<uint32_t>{FD_CONNECT, FD_WRITE}));
    for (int i = 0; i < 5; ++i)
        platPump(0);
    EXPECT_EQ(socketEvents(p.client).size(), 2u);   // write-ready only once
}

TEST_F(Headless, AcceptReadAndCloseFollowTheData)
{
    TcpPair p;
    ASSERT_EQ(platAsyncSelect(p.listener, wnd, PM_SOCKET, FD_ACCEPT), 0);
    connect(p.client, (sockaddr*)&p.addr, sizeof p.addr);
    g_onMsg = [&](uint32_t, PWParam wp, PLParam lp) {
        if ((int)wp == p.listener && platSelectEvent(lp) == FD_ACCEPT) {
            p.server = accept(p.listener, nullptr, nullptr);
            platAsyncSelect(p.server, wnd, PM_SOCKET, FD_READ | FD_CLOSE);
        }
    };
    ASSERT_TRUE(pumpUntil([&] { return p.server >= 0; }));
    g_seen.clear();

    // Once the data is read, the end of the stream is reported once.
    std::string got;
    g_onMsg = [&](uint32_t, PWParam wp, PLParam lp) {
        if ((int)wp != p.server || platSelectEvent(lp) != FD_READ)
            return;
        char buf[64];
        ssize_t n = recv(p.server, buf, sizeof buf, 0);
        if (n > 0)
            got.append(buf, (size_t)n);
    };
    ASSERT_EQ(send(p.client, "hello", 5, 0), 5);
    shutdown(p.client, SHUT_WR);
    ASSERT_TRUE(pumpUntil([&] {
        auto ev = socketEvents(p.server);
        return !ev.empty() && ev.back() == FD_CLOSE;
    }));
    EXPECT_EQ(got, "hello");
    for (int i = 0; i < 5; ++i)
        platPump(0);
    auto ev = socketEvents(p.server);
    EXPECT_EQ(std::count(ev.begin(), ev.end(), (uint32_t)FD_CLOSE), 1);
}

TEST_F(Headless, RefusedConnectCarriesTheSocketsErrorNumber)
{
    TcpPair p;
    close(p.listener);
    p.listener = -1;
    connect(p.client, (sockaddr*)&p.addr, sizeof p.addr);
    ASSERT_EQ(platAsyncSelect(p.client, wnd, PM_SOCKET, FD_CONNECT | FD_WRITE | FD_READ | FD_CLOSE), 0);
    ASSERT_TRUE(pumpUntil([&] { return !socketEvents(p.client).empty(); }));
    ASSERT_EQ(platSelectEvent(g_seen[0].lp), (uint32_t)FD_CONNECT);
    EXPECT_EQ(platSelectError(g_seen[0].lp), 10061);
}

TEST_F(Headless, WriteReadyAgainOnlyAfterAWouldBlock)
{
    TcpPair p;
    connect(p.client, (sockaddr*)&p.addr, sizeof p.addr);
    platAsyncSelect(p.client, wnd, PM_SOCKET, FD_WRITE | FD_CONNECT);
    ASSERT_TRUE(pumpUntil([&] { return socketEvents(p.client).size() == 2; }));
    platSocketWouldBlock(p.client);
    ASSERT_TRUE(pumpUntil([&] { return socketEvents(p.client).size() == 3; }));
    EXPECT_EQ(socketEvents(p.client).back(), (uint32_t)FD_WRITE);
}

TEST_F(Headless, UnreadDataIsReportedAgainOnlyWhenMoreArrives)
{
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    ASSERT_EQ(platAsyncSelect(sv[0], wnd, PM_SOCKET, FD_READ | FD_CLOSE), 0);
    ASSERT_EQ(write(sv[1], "ab", 2), 2);
    ASSERT_TRUE(pumpUntil([&] { return socketEvents(sv[0]).size() == 1; }));
    for (int i = 0; i < 10; ++i)
        platPump(0);
    EXPECT_EQ(socketEvents(sv[0]).size(), 1u);   // left unread: no repeat
    ASSERT_EQ(write(sv[1], "c", 1), 1);
    ASSERT_TRUE(pumpUntil([&] { return socketEvents(sv[0]).size() == 2; }));
    char buf[8];
    ASSERT_EQ(read(sv[0], buf, 1), 1);           // a partial read brings the rest
    ASSERT_TRUE(pumpUntil([&] { return socketEvents(sv[0]).size() == 3; }));
    close(sv[1]);   // the end of the stream behind unread data still reports
    ASSERT_TRUE(pumpUntil([&] { return socketEvents(sv[0]).size() == 4; }));
    EXPECT_EQ(socketEvents(sv[0]).back(), (uint32_t)FD_CLOSE);
    close(sv[0]);
}

} // namespace
