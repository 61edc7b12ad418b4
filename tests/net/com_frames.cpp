// Framed MCS traffic: comWrite / comRead round trips, and comAsyncRead
// reassembling frames from what each FD_READ brings.
#include "net/com_fixture.h"

#include <sys/ioctl.h>

namespace {

class ComFrames : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        client = platCreateWindow(PWndCreate{PWndKind::MdiClient, frame, "", {0, 0, 1024, 768}, PWS_VISIBLE, nullptr});
        ASSERT_NE(client, 0);
        cuSetMdiClient(client);
        ASSERT_EQ(cuInit(), 0);
        int conn = -1;
        ASSERT_EQ(cuSessNew(slot, "zhost", &conn), slot);
        ASSERT_EQ(cuSelect(slot), slot);
        // The session's socket events go to a recorder that reads as the
        // session window does.
        sessionWnd = cuScrPtr->wnd;
        sessRec = platCreateWindow(PWndCreate{PWndKind::Popup, frame, "", {0, 0, 1, 1}, 0, comRecorderProc});
        ASSERT_NE(sessRec, 0);
        cuScrPtr->wnd = sessRec;
        ws = acceptCallback(&peer);
        ASSERT_GE(ws, 0);
    }

    void TearDown() override
    {
        if (CuScreen* s = cuScreenAt(slot))
            s->wnd = sessionWnd;
        cuSessClose(slot);
        ComTest::TearDown();
    }

    // The MCS socket reports to the recorder, which reads as a session does.
    void goAsync()
    {
        comRec.asyncReadOnRead = true;
        ASSERT_EQ(comSetMCSSockToASYNC(ws, sessRec), 0);
    }

    // Sends bytes and pumps until the workstation has read all of them.
    void deliver(const uint8_t* bytes, size_t n)
    {
        int before = comRec.reads;
        sendAll(peer, bytes, n);
        for (int i = 0; i < 500; ++i) {
            platPump(10);
            int waiting = -1;
            ioctl(ws, FIONREAD, &waiting);
            if (waiting == 0 && comRec.reads > before)
                return;
        }
        ADD_FAILURE() << "the workstation did not read what was sent";
    }

    std::vector<uint8_t> readPeer(size_t n)
    {
        std::vector<uint8_t> got(n);
        size_t have = 0;
        while (have < n) {
            ssize_t k = recv(peer, got.data() + have, n - have, 0);
            if (k <= 0) {
                ADD_FAILURE() << "peer read failed";
                break;
            }
            have += (size_t)k;
        }
        return got;
    }

    const int slot = 2;
    PWnd client = 0, sessionWnd = 0, sessRec = 0;
    int ws = -1, peer = -1;
};

struct RoundTrip {
    bool compression;
    size_t length;
};
class ComRoundTrip : public ComFrames, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(ComRoundTrip, WriteThenReadGivesTheMessage)
{
    comSetCompressionOption(GetParam().compression);
    std::vector<uint8_t> m = textMessage(GetParam().length);
    int sent = comWrite(peer, m.data(), (int)m.size());
    ASSERT_GT(sent, 2);
    EXPECT_EQ(compressIsOn(), GetParam().compression);
    if (!GetParam().compression) {
        EXPECT_EQ(sent, (int)m.size() + 3);   // length, flag byte, message
    } else {
        EXPECT_LT(sent, (int)m.size());       // repetitive text shrinks
    }

    std::vector<uint8_t> buf(COM_FRAME_MAX + 1, 0);
    EXPECT_EQ(comRead(ws, buf.data(), (int)buf.size()), sent - 2);
    EXPECT_TRUE(std::equal(m.begin(), m.end(), buf.begin()));
    EXPECT_TRUE(headlessBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, ComRoundTrip,
                         ::testing::Values(RoundTrip{false, 1}, RoundTrip{false, 1500}, RoundTrip{false, 5000},
                                           RoundTrip{true, 64}, RoundTrip{true, 5000}, RoundTrip{true, 30000}));

TEST_F(ComFrames, WriteFramesTheCompressedBody)
{
    comSetCompressionOption(true);
    std::vector<uint8_t> m = textMessage(400);
    int sent = comWrite(ws, m.data(), (int)m.size());
    ASSERT_GT(sent, 2);
    std::vector<uint8_t> wire = readPeer((size_t)sent);
    ASSERT_EQ((wire[0] << 8 | wire[1]), sent - 2);
    EXPECT_EQ(wire[2] & (CMPRS_FORM | CMPRS_ON), CMPRS_FORM | CMPRS_ON);
    uint8_t* out = nullptr;
    ASSERT_EQ(decompressBuf(sent - 2, wire.data() + 2, &out, 0), (int)m.size());
    EXPECT_EQ(std::memcmp(out, m.data(), m.size()), 0);
    std::free(out);
}

TEST_F(ComFrames, LargestBodyRoundTrips)
{
    // 32766 bytes raw: a body of 32767, the longest the length field allows.
    std::vector<uint8_t> m = textMessage(COM_FRAME_MAX - 1);
    ASSERT_EQ(comWrite(peer, m.data(), (int)m.size()), COM_FRAME_MAX + 2);
    std::vector<uint8_t> buf(COM_FRAME_MAX);
    EXPECT_EQ(comRead(ws, buf.data(), (int)buf.size()), COM_FRAME_MAX);
    EXPECT_TRUE(std::equal(m.begin(), m.end(), buf.begin()));
    // One more byte cannot be framed.
    std::vector<uint8_t> big = textMessage(COM_FRAME_MAX);
    EXPECT_EQ(comWrite(peer, big.data(), (int)big.size()), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, "Compression Error: compressBuf returned -105");
}

TEST_F(ComFrames, FrameLargerThanTheBufferFailsBeforeItsBody)
{
    std::vector<uint8_t> f = frameOf(textMessage(99));
    ASSERT_EQ(f.size(), 102u);
    sendAll(peer, f.data(), f.size());
    std::vector<uint8_t> buf(60, 0xEE);
    EXPECT_EQ(comRead(ws, buf.data(), 50), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, "comRead: Error buff_size[50] < mssg_size[100]");
    EXPECT_EQ(buf, std::vector<uint8_t>(60, 0xEE));
    uint8_t rest[200];
    EXPECT_EQ(recv(ws, rest, sizeof rest, MSG_PEEK | MSG_DONTWAIT), 100);
}

TEST_F(ComFrames, ReadRearmsNotificationForTheCurrentSession)
{
    std::vector<uint8_t> f = frameOf(textMessage(30));
    sendAll(peer, f.data(), f.size());
    uint8_t buf[64];
    ASSERT_EQ(comRead(ws, buf, sizeof buf), 31);
    EXPECT_TRUE(std::equal(buf, buf + 30, textMessage(30).begin()));
    // Registered with the current session's window again: the peer's next
    // frame raises FD_READ there.
    size_t before = comRec.events.size();
    sendAll(peer, f.data(), f.size());
    ASSERT_TRUE(pumpUntil(ws, FD_READ, before));
    EXPECT_EQ(comRec.events.back().wnd, sessRec);
}

TEST_F(ComFrames, FrameSplitAcrossManyReadsIsDeliveredOnceWhole)
{
    goAsync();
    std::vector<uint8_t> m = textMessage(700);
    std::vector<uint8_t> f = frameOf(m);
    for (size_t i = 0; i < f.size(); ++i) {
        // Pieces of 1, 2, 3 ... bytes.
        size_t n = std::min(f.size() - i, i % 5 + 1);
        deliver(f.data() + i, n);
        i += n - 1;
        if (i + 1 < f.size()) {
            ASSERT_TRUE(comDelivered.empty()) << "delivered early at byte " << i;
        }
    }
    ASSERT_EQ(comDelivered.size(), 1u);
    EXPECT_EQ(comDelivered[0], m);
    EXPECT_EQ(comDeliveredSlots[0], slot);
    EXPECT_GT(comRec.reads, 10);
    EXPECT_EQ(cuScreenAt(slot)->mcsRecvFill, 0);
    EXPECT_EQ(cuScreenAt(slot)->mcsRecv, nullptr);   // freed once empty
}

TEST_F(ComFrames, TwoFramesInOneReadAreBothDeliveredInOrder)
{
    goAsync();
    std::vector<uint8_t> a = textMessage(300, 1), b = textMessage(45, 2), c = textMessage(9, 3);
    std::vector<uint8_t> wire = frameOf(a);
    std::vector<uint8_t> fb = frameOf(b), fc = frameOf(c);
    wire.insert(wire.end(), fb.begin(), fb.end());
    wire.insert(wire.end(), fc.begin(), fc.begin() + 4);   // and the start of a third
    deliver(wire.data(), wire.size());
    EXPECT_EQ(comRec.reads, 1);
    ASSERT_EQ(comDelivered.size(), 2u);
    EXPECT_EQ(comDelivered[0], a);
    EXPECT_EQ(comDelivered[1], b);
    EXPECT_EQ(cuScreenAt(slot)->mcsRecvFill, 4);
    deliver(fc.data() + 4, fc.size() - 4);
    ASSERT_EQ(comDelivered.size(), 3u);
    EXPECT_EQ(comDelivered[2], c);
}

TEST_F(ComFrames, BodyOf32767BytesIsReceivedWhole)
{
    goAsync();
    std::vector<uint8_t> m = textMessage(COM_FRAME_MAX - 1);   // raw body: flag byte + message
    std::vector<uint8_t> f = frameOf(m);
    ASSERT_EQ(f.size(), (size_t)COM_FRAME_MAX + 2);
    for (size_t i = 0; i < f.size(); i += 4096)
        deliver(f.data() + i, std::min<size_t>(4096, f.size() - i));
    ASSERT_EQ(comDelivered.size(), 1u);
    EXPECT_EQ(comDelivered[0], m);
    EXPECT_TRUE(headlessBoxes().empty());
}

TEST_F(ComFrames, FrameThatDoesNotDecompressIsDroppedAndTheNextDelivered)
{
    goAsync();
    const uint8_t bad[] = {0, 3, 0xFF, 1, 2};          // invalid flag byte
    std::vector<uint8_t> wire(bad, bad + sizeof bad);
    std::vector<uint8_t> m = textMessage(50);
    std::vector<uint8_t> good = frameOf(m);
    wire.insert(wire.end(), good.begin(), good.end());
    deliver(wire.data(), wire.size());
    ASSERT_EQ(comDelivered.size(), 1u);
    EXPECT_EQ(comDelivered[0], m);
}

TEST_F(ComFrames, FrameAnnouncingMoreThanTheLargestBodyEndsTheStream)
{
    goAsync();
    const uint8_t head[] = {0x80, 0x00, 0x10, 'x'};    // 32768
    deliver(head, sizeof head);
    EXPECT_TRUE(comDelivered.empty());
    EXPECT_EQ(cuScreenAt(slot)->mcsRecvFill, 0);
    // The workstation has shut the connection down: the peer reads the end.
    char c;
    EXPECT_LE(recv(peer, &c, 1, 0), 0);
    EXPECT_TRUE(pumpUntil(ws, FD_CLOSE));
}

TEST_F(ComFrames, WriteRawSendsEverythingThroughAFullSocket)
{
    // Larger than what the loopback socket buffers take at once: the send
    // would block until the peer reads, which happens while we pump.
    int sndbuf = 16384, rcvbuf = 65536;
    setsockopt(ws, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    ASSERT_EQ(comSetMCSSockToASYNC(ws, frame), 0);
    std::vector<uint8_t> data = textMessage(1 << 20);
    // The peer drains from a timer on the recorder window while comWriteRaw
    // waits; everything arrives in order.
    static int drainPeer;
    static std::vector<uint8_t> received;
    drainPeer = peer;
    received.clear();
    PWnd drainer = platCreateWindow(PWndCreate{PWndKind::Popup, frame, "", {0, 0, 1, 1}, 0,
                                               [](PWnd, uint32_t msg, PWParam, PLParam) -> PResult {
                                                   if (msg == PM_TIMER) {
                                                       uint8_t chunk[65536];
                                                       ssize_t n = recv(drainPeer, chunk, sizeof chunk, MSG_DONTWAIT);
                                                       if (n > 0)
                                                           received.insert(received.end(), chunk, chunk + n);
                                                   }
                                                   return 0;
                                               }});
    ASSERT_NE(drainer, 0);
    platSetTimer(drainer, 1, 1);
    EXPECT_EQ(comWriteRaw(ws, data.data(), (int)data.size()), (int)data.size());
    platKillTimer(drainer, 1);
    while (received.size() < data.size()) {
        uint8_t chunk[65536];
        ssize_t n = recv(peer, chunk, sizeof chunk, 0);
        ASSERT_GT(n, 0);
        received.insert(received.end(), chunk, chunk + n);
    }
    EXPECT_EQ(received, data);
}

TEST_F(ComFrames, HostPutAndReadRaw)
{
    const uint8_t hello[] = "login: ";
    EXPECT_EQ(comHostPut(ws, hello, 7), 1);
    EXPECT_EQ(readPeer(7), std::vector<uint8_t>(hello, hello + 7));
    sendAll(peer, "abc", 3);
    uint8_t buf[16];
    EXPECT_EQ(comReadRaw(ws, buf, sizeof buf, 0), 3);
    shutdown(peer, SHUT_WR);
    EXPECT_EQ(comReadRaw(ws, buf, sizeof buf, 0), 0);
    EXPECT_EQ(comWriteRaw(ws, hello, 0), 0);
    EXPECT_EQ(comReadRaw(-1, buf, sizeof buf, 0), -1);
    EXPECT_EQ(comLastError(), 10009);
}

TEST_F(ComFrames, PostFDCloseGoesToTheCurrentSessionWindow)
{
    size_t before = comRec.events.size();
    comPostFDClose(ws);
    platPump(0);
    ASSERT_EQ(comRec.events.size(), before + 1);
    EXPECT_EQ(comRec.events.back().wnd, sessRec);
    EXPECT_EQ(comRec.events.back().fd, ws);
    EXPECT_EQ(comRec.events.back().event, (uint32_t)FD_CLOSE);
}

} // namespace
