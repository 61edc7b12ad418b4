// The listening socket over a port range, call-back acceptance with its
// greeting, and the peer name.
#include "net/com_fixture.h"

namespace {

using ComListen = ComTest;

TEST_F(ComListen, SecondListenerBindsNextPort)
{
    uint16_t base = freePortRange(2);
    uint16_t first = base, second = base;
    int a = track(comCreateListeningAsyncSock(&first, frame, PM_SOCKET));
    int b = track(comCreateListeningAsyncSock(&second, frame, PM_SOCKET));
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(first, base);
    EXPECT_EQ(second, base + 1);
    EXPECT_TRUE(headlessBoxes().empty());

    // The second copy really listens there.
    int peer = connectPeer(second);
    sendAll(peer, "KVX0002", 7);
    ASSERT_TRUE(pumpUntil(b, FD_ACCEPT));
    char tag[4];
    EXPECT_GE(track(comAccept(b, tag)), 0);
}

TEST_F(ComListen, EveryPortOfTheRangeTakenShowsAddressInUse)
{
    ASSERT_EQ(cfgSetString("Options", "MaxCopies", "3"), 0);
    uint16_t base = freePortRange(4);
    for (int i = 0; i < 3; ++i) {
        uint16_t p = base;
        ASSERT_GE(track(comCreateListeningAsyncSock(&p, frame, PM_SOCKET)), 0);
        ASSERT_EQ(p, base + i);
    }
    ASSERT_TRUE(headlessBoxes().empty());

    uint16_t p = base;
    EXPECT_EQ(comCreateListeningAsyncSock(&p, frame, PM_SOCKET), -2);
    EXPECT_EQ(p, base + 3);   // tried base .. base + 2, none beyond MaxCopies
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text,
              "comCreateListeningAsyncSock:Error [10048] on comBind\nThe specified address is already in use");
    EXPECT_EQ(headlessBoxes()[0].caption, "ERROR");
    EXPECT_EQ(comLastError(), 10048);
}

TEST_F(ComListen, GreetingGivesTheTag)
{
    int peer = -1;
    int fd = acceptCallback(&peer);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(headlessBoxes().empty());
    // Blocking, with no notification: a frame sent now is read by comRead.
    uint8_t out[32];
    std::vector<uint8_t> f = frameOf(textMessage(20));
    sendAll(peer, f.data(), f.size());
    EXPECT_EQ(comRead(fd, out, sizeof out), (int)f.size() - 2);
}

TEST_F(ComListen, ShortGreetingIsRefusedAndTheSocketClosed)
{
    uint16_t port = 0;
    int listener = listenOn(port);
    int peer = connectPeer(port);
    sendAll(peer, "KVX01", 5);
    ASSERT_TRUE(pumpUntil(listener, FD_ACCEPT));
    char tag[4] = {'-', '-', '-', '-'};
    EXPECT_EQ(comAccept(listener, tag), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, "comAccept:Error1 [5] establishing connection");
    EXPECT_EQ(headlessBoxes()[0].caption, "ERROR");
    EXPECT_EQ(std::string(tag, 4), "----");
    // Closed with a reset (linger 0): the peer sees the end, not a timeout.
    char c;
    errno = 0;
    ssize_t n = recv(peer, &c, 1, 0);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << n << " " << strerror(errno);
}

TEST_F(ComListen, CallerThatClosesBeforeGreetingGetsError1WithNoBytes)
{
    uint16_t port = 0;
    int listener = listenOn(port);
    int peer = connectPeer(port);
    shutdown(peer, SHUT_WR);
    ASSERT_TRUE(pumpUntil(listener, FD_ACCEPT));
    char tag[4];
    EXPECT_EQ(comAccept(listener, tag), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, "comAccept:Error1 [0] establishing connection");
}

TEST_F(ComListen, AcceptWithNothingWaitingFailsAfterRetries)
{
    uint16_t port = 0;
    int listener = listenOn(port);
    char tag[4];
    EXPECT_EQ(comAccept(listener, tag), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text,
              "comAccept:Error [10035] accepting connection.\n"
              "The socket is marked as non-blocking and the requested operation would block");
}

struct PeerCase {
    const char* from;
    const char* name;
};
class ComPeerName : public ComTest, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(ComPeerName, ReverseNameOrNewWin)
{
    uint16_t port = 0;
    int listener = listenOn(port);
    int peer = connectPeer(port, GetParam().from);
    sendAll(peer, "KVX0003", 7);
    ASSERT_TRUE(pumpUntil(listener, FD_ACCEPT));
    char tag[4];
    int fd = track(comAccept(listener, tag));
    ASSERT_GE(fd, 0);
    char name[64];
    EXPECT_EQ(comPeerName(fd, name, sizeof name), 0);
    EXPECT_STREQ(name, GetParam().name);
    // The name is cut to the buffer.
    char tiny[4];
    EXPECT_EQ(comPeerName(fd, tiny, sizeof tiny), 0);
    EXPECT_EQ(std::string(tiny), std::string(GetParam().name).substr(0, 3));
}

INSTANTIATE_TEST_SUITE_P(Peers, ComPeerName,
                         ::testing::Values(PeerCase{"127.0.0.1", "localhost"}, PeerCase{"127.0.0.2", "NewWin"}));

TEST_F(ComListen, PeerNameOfUnconnectedSocketFails)
{
    int fd = track(socket(AF_INET, SOCK_STREAM, 0));
    char name[16];
    EXPECT_NE(comPeerName(fd, name, sizeof name), 0);
    EXPECT_STREQ(name, "NewWin");
    EXPECT_EQ(comLastError(), 10057);
}

} // namespace
