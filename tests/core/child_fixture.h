#pragma once
// Shared set-up for the session-table tests: a headless frame with its MDI
// client, a scratch configuration, sessions whose HostIO and MCS channels
// are real loopback TCP connections registered for readiness on the session
// window, and recorders for what reaches the UNIX interpreter and the MCS
// handler.
//
// The HostIO channel is a real telnet host descriptor (its read runs the
// telnet option filter, which passes these tests' bytes unchanged).
// The MCS channel is an MCS descriptor whose messages in these tests are
// bare 24-byte headers (the function code at bytes 16..17); the recorder
// serves 205 and 206 through the session table's pseudo-mode switch and
// answers an EndPsuedo with a 24-byte header written to the socket.
#include "core/child.h"
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "net/korvex.h"
#include "plat/headless/headless.h"
#include "support/kvxtest.h"
#include "ui/profile.h"

#include "support/desk.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace childtest {

// What the UNIX interpreter was handed, in order.
inline std::string& shown()
{
    static std::string s;
    return s;
}
inline int recordHostOutput(const uint8_t* bytes, int length)
{
    shown().append((const char*)bytes, (size_t)length);
    return 0;
}

struct McsSeen {
    int slot;
    int func;
    std::vector<uint8_t> bytes;
};
inline std::vector<McsSeen>& mcsSeen()
{
    static std::vector<McsSeen> v;
    return v;
}

// Writes the host descriptor was asked for, one entry per call.
inline std::vector<std::string>& writes()
{
    static std::vector<std::string> v;
    return v;
}

inline std::vector<uint32_t>& frameMessages()
{
    static std::vector<uint32_t> v;
    return v;
}

inline std::vector<uint8_t> header(int func)
{
    std::vector<uint8_t> h(ZENBUF_HEADER_SIZE, 0);
    h[0] = 'Z';
    h[ZENBUF_FUNC_OFFSET] = (uint8_t)(func >> 8);
    h[ZENBUF_FUNC_OFFSET + 1] = (uint8_t)func;
    return h;
}

inline int funcOf(const uint8_t* buf) { return buf[ZENBUF_FUNC_OFFSET] << 8 | buf[ZENBUF_FUNC_OFFSET + 1]; }

inline int recordMcsRequest(int slot, uint8_t* buf, int len)
{
    int func = len >= ZENBUF_HEADER_SIZE ? funcOf(buf) : -1;
    mcsSeen().push_back({slot, func, std::vector<uint8_t>(buf, buf + len)});
    ChSession* s = sessAt(slot);
    if (func == dFbgnPsuedo) {
        sessBgnPsuedo(slot);
    } else if (func == dFendPsuedo) {
        if (sessEndPsuedo(slot, buf) == 1 && s->mcs) {
            std::vector<uint8_t> reply = header(dFendPsuedo);
            send(korvexSocket(s->mcs), reply.data(), reply.size(), 0);
        }
    }
    return 0;
}

// asyncRead of the test MCS channel: every complete 24-byte message that
// has arrived goes to the recorder for the current session.
inline void testAsyncRead(KORVEX* d)
{
    uint8_t msg[ZENBUF_HEADER_SIZE];
    while (recv(korvexSocket(d), msg, sizeof msg, MSG_DONTWAIT | MSG_PEEK) == (ssize_t)sizeof msg) {
        recv(korvexSocket(d), msg, sizeof msg, 0);
        recordMcsRequest(chCurSlot, msg, (int)sizeof msg);
    }
}

inline int (*&hostWriteOriginal())(KORVEX*, const uint8_t*, int)
{
    static int (*fn)(KORVEX*, const uint8_t*, int) = nullptr;
    return fn;
}
inline int testRecordingWrite(KORVEX* d, const uint8_t* bytes, int len)
{
    writes().emplace_back((const char*)bytes, (size_t)len);
    return hostWriteOriginal()(d, bytes, len);
}

inline PResult frameProc(PWnd, uint32_t msg, PWParam, PLParam)
{
    if (msg == PM_SESSIONS_CHANGED || msg == PM_CLOSE || msg == PM_COMMAND)
        frameMessages().push_back(msg);
    return 0;
}

// One end of a channel: the session's descriptor and the peer socket the
// test plays the host with.
struct Chan {
    int slot = -1;
    KORVEX* d = nullptr;
    int peer = -1;
    bool mcs = false;
};

// A connected loopback TCP pair: {ours, peer}.
inline bool tcpPair(int* ours, int* peer)
{
    int lis = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (lis < 0 || bind(lis, (sockaddr*)&a, sizeof a) < 0 || listen(lis, 1) < 0 ||
        getsockname(lis, (sockaddr*)&a, &len) < 0)
        return false;
    int c = socket(AF_INET, SOCK_STREAM, 0);
    if (c < 0 || connect(c, (sockaddr*)&a, sizeof a) < 0)
        return false;
    int s = accept(lis, nullptr, nullptr);
    ::close(lis);
    if (s < 0)
        return false;
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Our end is non-blocking, as the socket layer leaves host sockets.
    fcntl(c, F_SETFL, fcntl(c, F_GETFL) | O_NONBLOCK);
    *ours = c;
    *peer = s;
    return true;
}

class ChildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::Desk desk = kvxtest::openDesk(frameProc);
        dir = desk.dir;
        frame = desk.frame;
        client = desk.client;
        ASSERT_NE(frame, 0);
        ASSERT_NE(client, 0);
        ASSERT_EQ(cuInit(), 0);
        sessTableInit();
        sessSetFrame(frame);
        sessSetHostOutput(recordHostOutput);
        sessSetMcsRequest(recordMcsRequest);
        shown().clear();
        mcsSeen().clear();
        writes().clear();
        frameMessages().clear();
    }

    void TearDown() override
    {
        for (int slot = 0; slot < CH_MAX_SESSIONS; ++slot)
            if (sessIsOpen(slot))
                sessClose(slot);
        for (int fd : peers)
            ::close(fd);
        sessSetHostOutput(nullptr);
        sessSetMcsRequest(nullptr);
        sessSetFrame(0);
    }

    // Opens a session without a host login and gives it a HostIO channel
    // over a loopback connection, as the host login would.
    Chan openSession(int slot)
    {
        Chan c;
        c.slot = slot;
        EXPECT_EQ(sessOpen(slot, "testhost", "user", 0), slot);
        ChSession* s = sessAt(slot);
        CuScreen* scr = cuScreenAt(slot);
        if (!s || !scr)
            return c;
        int ours = -1;
        EXPECT_TRUE(tcpPair(&ours, &c.peer));
        peers.push_back(c.peer);
        if (s->hostIO) {
            korvexClose(s->hostIO);
            destroy(s->hostIO);
        }
        c.d = comNewDescriptor(KVX_DESC_TELNET, ours);
        EXPECT_NE(c.d, nullptr);
        s->hostIO = c.d;
        scr->loginSent = 1;
        EXPECT_EQ(platAsyncSelect(ours, scr->wnd, PM_SOCKET, FD_READ | FD_OOB | FD_CLOSE), 0);
        return c;
    }

    // Gives an open session an MCS channel, as an accepted call-back would.
    Chan attachMcs(int slot)
    {
        Chan c;
        c.slot = slot;
        c.mcs = true;
        ChSession* s = sessAt(slot);
        CuScreen* scr = cuScreenAt(slot);
        int ours = -1;
        EXPECT_TRUE(tcpPair(&ours, &c.peer));
        peers.push_back(c.peer);
        c.d = comNewDescriptor(KVX_DESC_MCS, ours);
        EXPECT_NE(c.d, nullptr);
        c.d->asyncRead = testAsyncRead;
        s->mcs = c.d;
        EXPECT_EQ(platAsyncSelect(ours, scr->wnd, PM_SOCKET, FD_READ | FD_CLOSE), 0);
        return c;
    }

    void recordWrites(const Chan& c)
    {
        hostWriteOriginal() = c.d->write;
        c.d->write = testRecordingWrite;
    }

    // Dispatches what waits, at most rounds passes (readiness of unread
    // data repeats, so waiting for "nothing left" could go on for ever).
    static void pumpIdle(int rounds = 20)
    {
        for (int i = 0; i < rounds; ++i)
            if (platPump(0) <= 0)
                break;
    }

    static void peerWrite(const Chan& c, const std::string& bytes)
    {
        ASSERT_EQ(send(c.peer, bytes.data(), bytes.size(), 0), (ssize_t)bytes.size());
    }
    static void peerWrite(const Chan& c, const std::vector<uint8_t>& bytes)
    {
        ASSERT_EQ(send(c.peer, bytes.data(), bytes.size(), 0), (ssize_t)bytes.size());
    }
    static void hostSend(const Chan& c, const std::string& bytes)
    {
        peerWrite(c, bytes);
        pumpIdle();
    }
    static void mcsSend(const Chan& c, const std::vector<uint8_t>& bytes)
    {
        peerWrite(c, bytes);
        pumpIdle();
    }

    // What the session sent to the peer since the last look.
    static std::string peerReceived(const Chan& c)
    {
        std::string out;
        char buf[4096];
        ssize_t n;
        while ((n = recv(c.peer, buf, sizeof buf, MSG_DONTWAIT)) > 0)
            out.append(buf, (size_t)n);
        return out;
    }

    // Bytes waiting unread on the session's side.
    static int pendingBytes(const Chan& c)
    {
        int n = 0;
        ioctl(korvexSocket(c.d), FIONREAD, &n);
        return n;
    }

    std::string dir;
    PWnd frame = 0, client = 0;
    std::vector<int> peers;
};

} // namespace childtest
