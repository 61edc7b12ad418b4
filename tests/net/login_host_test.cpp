// Telnet and rlogin logins against real daemons on 127.0.0.1: inetutils
// telnetd and Debian's in.rlogind, each behind the test inetd.
#include "login_driver.h"

#include "net/rlogin.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace logintest;

namespace {

void hostInList(const char* portKey, int port)
{
    cfgSetString("Hosts", "H00", "127.0.0.1");
    cfgSetString("Hosts", portKey, std::to_string(port).c_str());
}

int localPort(int socket)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(socket, (sockaddr*)&a, &len) != 0) return -1;
    return ntohs(a.sin_port);
}

// A bare listener standing in for a host, to see the exact bytes sent.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(fd, (sockaddr*)&a, sizeof a) == 0 && listen(fd, 4) == 0 && getsockname(fd, (sockaddr*)&a, &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~Listener() { close(fd); }
};

std::string readSome(int fd, size_t want)
{
    std::string got;
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buf[256];
    while (got.size() < want) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, (size_t)n);
    }
    return got;
}

} // namespace

TEST(TelnetHost, LoginNegotiatesTerminalTypeAndShowsTheShell)
{
    LoginEnv env("login-telnet");
    kvxtest::TestServer server;
    ASSERT_TRUE(kvxtest::startTelnetServer(server)) << server.error;
    hostInList("TelnetPort00", server.port);

    int s = comHostLogin("127.0.0.1", kvxtest::TEST_USER, KVX_DESC_TELNET, env.host.wnd, nullptr);
    ASSERT_GE(s, 0) << boxTexts();
    env.host.d = comNewDescriptor(KVX_DESC_TELNET, s);
    ASSERT_NE(env.host.d, nullptr);

    // telnetd sets TERM from the terminal type it was given.
    ASSERT_TRUE(runShell(env.host, "echo TERM=$TERM:end\r\n", "TERM=korvex:end")) << env.host.received;
    EXPECT_EQ(env.host.received.find('\xff'), std::string::npos) << "telnet commands reached the screen";
    // No handshake, window-size record or byte dropping on telnet.
    EXPECT_EQ(env.screen.winSizeActive, 1);
    EXPECT_EQ(env.screen.loginSent, 1);
    EXPECT_EQ(env.screen.nulSwallowed, 1);
    EXPECT_EQ(env.screen.writable, 1);
    EXPECT_TRUE(headlessBoxes().empty()) << boxTexts();
}

TEST(TelnetHost, UnknownHostGivesMinus2WithTheHostInTheMessage)
{
    LoginEnv env("login-telnet-noaddr");
    int s = comHostLogin("no-such-host.invalid", "u", KVX_DESC_TELNET, env.host.wnd, nullptr);
    EXPECT_EQ(s, -2);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text.rfind("Error obtaining host address", 0), 0u) << boxTexts();
    EXPECT_NE(headlessBoxes()[0].text.find("On Host [no-such-host.invalid], port [0] using 'telnet' protocol"),
              std::string::npos)
        << boxTexts();
}

TEST(RloginHost, LoginSendsHandshakeAndWindowSize)
{
    LoginEnv env("login-rlogin");
    kvxtest::TestServer server;
    ASSERT_TRUE(kvxtest::startRloginServer(server)) << server.error;
    hostInList("RloginPort00", server.port);

    int s = comHostLogin("127.0.0.1", kvxtest::TEST_USER, KVX_DESC_RLOGIN, env.host.wnd, nullptr);
    ASSERT_GE(s, 0) << boxTexts();
    int port = localPort(s);
    EXPECT_GE(port, RLOGIN_PORT_FIRST);
    EXPECT_LE(port, RLOGIN_PORT_LAST);
    env.host.d = comNewDescriptor(KVX_DESC_RLOGIN, s);
    env.host.loginAtWrite = true;
    env.host.rows = 30;
    env.host.cols = 100;

    // in.rlogind asks for the window size with urgent 0x80 once it has
    // taken the handshake; the .rhosts entry lets the user in.
    ASSERT_TRUE(pumpUntil([&] { return env.host.windowRequests > 0; })) << env.host.received;
    EXPECT_EQ(env.host.loginResult, 1);
    ASSERT_TRUE(runShell(env.host, "echo TERM=$TERM; echo user=$(id -un); echo size=$(stty size):end\n",
                         "size=30 100:end"))
        << env.host.received;
    EXPECT_NE(env.host.received.find("TERM=korvex\r\n"), std::string::npos) << env.host.received;
    EXPECT_NE(env.host.received.find(std::string("user=") + kvxtest::TEST_USER), std::string::npos);
}

TEST(RloginHost, PortSearchWrapsAndHandshakeBytesAreExact)
{
    LoginEnv env("login-rlogin-bytes");
    Listener host;
    ASSERT_GT(host.port, 0);
    hostInList("RloginPort00", host.port);
    cfgSetString("Hosts", "Port", "1023");

    int s = comHostLogin("127.0.0.1", "no-id", KVX_DESC_RLOGINPLUS, env.host.wnd, nullptr);
    ASSERT_GE(s, 0) << boxTexts();
    EXPECT_EQ(env.screen.winSizeCountdown, 3);
    EXPECT_EQ(env.screen.loginSent, 0);
    EXPECT_EQ(localPort(s), 1023);
    char next[16];
    cfgGetString("Hosts", "Port", "", next, sizeof next);
    EXPECT_STREQ(next, "512");

    env.host.d = comNewDescriptor(KVX_DESC_RLOGIN, s);
    env.host.userId = "no-id";
    env.host.loginAtWrite = true;
    ASSERT_TRUE(pumpUntil([&] { return env.host.loginResult != -100; }));
    EXPECT_EQ(env.host.loginResult, 1);
    int peer = accept(host.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    const std::string handshake("\0\0\0korvex/38400\0", 16);
    EXPECT_EQ(readSome(peer, handshake.size()), handshake);

    EXPECT_EQ(korvexResize(env.host.d, 24, 80), 1);
    const std::string record("\xff\xffss\x00\x18\x00\x50\x00\xc0\x02\x80", 12);
    EXPECT_EQ(readSome(peer, record.size()), record);
    close(peer);
}

TEST(RloginHost, NextLoginStartsAfterTheRememberedPort)
{
    LoginEnv env("login-rlogin-port");
    Listener host;
    hostInList("RloginPort00", host.port);
    // A port of its own per run: closed connections keep theirs a while.
    int start = 600 + getpid() % 300;
    cfgSetString("Hosts", "Port", std::to_string(start).c_str());
    int first = comHostLogin("127.0.0.1", "u", KVX_DESC_RLOGIN, env.host.wnd, nullptr);
    ASSERT_GE(first, 0);
    int second = comHostLogin("127.0.0.1", "u", KVX_DESC_RLOGIN, env.host.wnd, nullptr);
    ASSERT_GE(second, 0);
    EXPECT_EQ(localPort(first), start);
    EXPECT_EQ(localPort(second), start + 1);
    comClose(first);
    comClose(second);
}

TEST(RloginRecords, HandshakeCarriesTheUserTwice)
{
    uint8_t out[RLOGIN_HANDSHAKE_MAX];
    int n = rloginHandshake("anna", out, sizeof out);
    ASSERT_EQ(n, 2 * 4 + 4 + 12);
    EXPECT_EQ(std::string((char*)out, (size_t)n), std::string("\0anna\0anna\0korvex/38400\0", 24));
    EXPECT_EQ(rloginHandshake("anna", out, 10), -1);
}
