// The descriptor factory and the variants' tables.
#include "net/com_fixture.h"
#include "net/korvex.h"

namespace {

struct TypeCase {
    int type;
    KorvexInit variant;   // nullptr: no descriptor
};

TEST(ComDescriptor, TypeChoosesTheVariant)
{
    const TypeCase cases[] = {
        {KVX_DESC_MCS, korvexInitMcs},   {KVX_DESC_TELNET, korvexInitHost}, {KVX_DESC_RLOGIN, korvexInitHost},
        {KVX_DESC_RLOGINPLUS, korvexInitHost}, {5, nullptr}, {-1, nullptr},
    };
    for (const TypeCase& c : cases) {
        KORVEX* d = comNewDescriptor(c.type, 7);
        if (!c.variant) {
            EXPECT_EQ(d, nullptr) << c.type;
            continue;
        }
        ASSERT_NE(d, nullptr) << c.type;
        EXPECT_EQ(d->variant, c.variant) << c.type;
        EXPECT_EQ(korvexSocket(d), 7);
        // No slot is empty.
        for (const void* slot : {(const void*)d->release, (const void*)d->socket, (const void*)d->reserved,
                                 (const void*)d->close, (const void*)d->write, (const void*)d->read,
                                 (const void*)d->asyncRead, (const void*)d->readOob, (const void*)d->setAsync,
                                 (const void*)d->lastError, (const void*)d->login, (const void*)d->localAddr,
                                 (const void*)d->resize, (const void*)d->peerName, (const void*)d->onEof})
            EXPECT_NE(slot, nullptr) << c.type;
        destroy(d);
    }
}

TEST(ComDescriptor, SshTableWithoutAChannel)
{
    KORVEX d{};
    d.sock = -1;
    korvexInitSsh(&d);
    EXPECT_TRUE(korvexIsSsh(&d));
    EXPECT_EQ(korvexResize(&d, 24, 80), 0);      // the PTY size stays
    EXPECT_EQ(korvexLastError(&d), -1);          // no channel and session
    d.release(&d);                               // nothing to close
}

TEST(ComDescriptor, MissingSlotsFailLoudly)
{
    KORVEX* d = comNewDescriptor(KVX_DESC_MCS, -1);
    ASSERT_NE(d, nullptr);
    uint8_t buf[4];
#ifdef NDEBUG
    EXPECT_EQ(korvexReadOob(d, buf, 4), -1);
    EXPECT_EQ(korvexLogin(d, "user"), -1);
    EXPECT_EQ(korvexResize(d, 24, 80), -1);
#else
    EXPECT_DEATH(korvexReadOob(d, buf, 4), "readOob");
    EXPECT_DEATH(korvexLogin(d, "user"), "login");
    EXPECT_DEATH(korvexResize(d, 24, 80), "resize");
#endif
    destroy(d);
}

using ComDescriptorIo = ComTest;

TEST_F(ComDescriptorIo, McsDescriptorFramesAndHostDescriptorIsRaw)
{
    uint16_t port = 0;
    int listener = listenOn(port);
    int peer = connectPeer(port);
    sendAll(peer, "KVX0009", 7);
    ASSERT_TRUE(pumpUntil(listener, FD_ACCEPT));
    char tag[4];
    int fd = comAccept(listener, tag);
    ASSERT_GE(fd, 0);

    KORVEX* mcs = comNewDescriptor(KVX_DESC_MCS, fd);
    KORVEX* host = comNewDescriptor(KVX_DESC_TELNET, fd);
    const uint8_t msg[] = "020080";
    EXPECT_EQ(korvexWrite(mcs, msg, 6), 9);
    uint8_t wire[16];
    ASSERT_EQ(recv(peer, wire, sizeof wire, 0), 9);
    EXPECT_EQ(std::memcmp(wire, "\x00\x07\x00" "020080", 9), 0);
    EXPECT_EQ(korvexWrite(host, msg, 6), 1);
    ASSERT_EQ(recv(peer, wire, sizeof wire, 0), 6);
    EXPECT_EQ(std::memcmp(wire, msg, 6), 0);

    uint8_t addr[4] = {};
    EXPECT_EQ(korvexLocalAddr(mcs, addr), 1);
    EXPECT_EQ(std::memcmp(addr, "\x7F\x00\x00\x01", 4), 0);
    char name[32];
    EXPECT_EQ(korvexPeerName(host, name, sizeof name), 0);
    EXPECT_STREQ(name, "localhost");

    sendAll(peer, "x", 1);
    EXPECT_EQ(korvexReadOob(host, wire, sizeof wire), -1);   // no urgent data waits
    EXPECT_EQ(korvexLastError(host), comLastError());
    EXPECT_EQ(korvexClose(mcs), 0);
    EXPECT_EQ(korvexClose(host), -1);                        // already closed
    EXPECT_EQ(korvexLastError(host), 10009);
    destroy(mcs);
    destroy(host);
}

} // namespace
