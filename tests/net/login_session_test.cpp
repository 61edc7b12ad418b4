// Whole sessions opened with ChConnect against the real daemons: the host's
// output arrives on the session screen through the session table and the
// UNIX-mode interpreter.
#include "core/child.h"
#include "core/cuscr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "net/login.h"
#include "plat/headless/headless.h"
#include "support/kvxtest.h"
#include "support/servers.h"
#include "ui/profile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

class LoginSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        headlessReset();
        headlessEchoBoxes(false);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = kvxtest::scratchDir(std::string("login-session-") + info->name());
        ini = dir + "/korvex.ini";
        cfgSetFile(ini.c_str());
        ASSERT_EQ(comStartUp(ini.c_str()), 0);
        PWnd frame = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "Korvex", {0, 0, 1024, 768}, PWS_VISIBLE, nullptr});
        PWnd client =
            platCreateWindow(PWndCreate{PWndKind::MdiClient, frame, "", {0, 0, 1024, 768}, PWS_VISIBLE, nullptr});
        cuSetMdiClient(client);
        ASSERT_EQ(cuInit(), 0);
        sessTableInit();
    }

    void TearDown() override
    {
        for (int slot = 0; slot < CH_MAX_SESSIONS; ++slot)
            if (sessIsOpen(slot)) sessClose(slot);
        comShutDown();
    }

    static std::string screenText(int slot)
    {
        const CuScreen* s = cuScreenAt(slot);
        std::string t;
        if (!s) return t;
        for (int r = 0; r < s->Rows; ++r) {
            for (int c = 0; c < s->Cols; ++c) t += (char)s->chars[r * s->Cols + c];
            t += '\n';
        }
        return t;
    }

    static bool pumpUntil(const std::function<bool()>& done, int boundMs = 20000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            platPump(50);
        }
        return true;
    }

    static bool type(int slot, const std::string& text)
    {
        KORVEX* d = sessAt(slot)->hostIO;
        return d && korvexWrite(d, reinterpret_cast<const uint8_t*>(text.data()), (int)text.size()) > 0;
    }

    // An SSH session with key login; its slot, or -1.
    int sshSession(kvxtest::SshServer& server)
    {
        if (!kvxtest::startSshServer(server, {})) return -1;
        cfgSetString("Hosts", "H00", "127.0.0.1");
        cfgSetString("Hosts", "SSHPort00", std::to_string(server.port).c_str());
        cfgSetString("Hosts", "SSHKnownHostsFile", (dir + "/known_hosts").c_str());
        cfgSetString("Hosts", "SSHKeyFile", server.clientKey.c_str());
        std::FILE* f = std::fopen((dir + "/known_hosts").c_str(), "w");
        if (!f) return -1;
        std::fclose(f);
        return ChConnect("127.0.0.1", kvxtest::TEST_USER, KVX_DESC_SSH, -1);
    }

    std::string dir, ini;
};

TEST_F(LoginSession, TelnetOutputReachesTheScreen)
{
    kvxtest::TestServer server;
    ASSERT_TRUE(kvxtest::startTelnetServer(server)) << server.error;
    cfgSetString("Hosts", "H00", "127.0.0.1");
    cfgSetString("Hosts", "TelnetPort00", std::to_string(server.port).c_str());

    int slot = ChConnect("127.0.0.1", kvxtest::TEST_USER, KVX_DESC_TELNET, -1);
    ASSERT_GE(slot, 0);
    // Telnet has no handshake and no window-size record.
    EXPECT_EQ(cuScreenAt(slot)->loginSent, 1);
    EXPECT_EQ(cuScreenAt(slot)->winSizeActive, 1);
    ASSERT_TRUE(pumpUntil([&] { return screenText(slot).find("# ") != std::string::npos; })) << screenText(slot);
    ASSERT_TRUE(type(slot, "echo TERM=$TERM:end\r\n"));
    ASSERT_TRUE(pumpUntil([&] { return screenText(slot).find("TERM=korvex:end") != std::string::npos; }))
        << screenText(slot);
}

TEST_F(LoginSession, SshShellOutputReachesTheScreenAndExitEndsIt)
{
    kvxtest::SshServer server;
    int slot = sshSession(server);
    ASSERT_GE(slot, 0) << server.error;
    ASSERT_TRUE(pumpUntil([&] { return screenText(slot).find("$ ") != std::string::npos; })) << screenText(slot);
    ASSERT_TRUE(type(slot, "echo TERM=$TERM:end\n"));
    ASSERT_TRUE(pumpUntil([&] { return screenText(slot).find("TERM=korvex:end") != std::string::npos; }))
        << screenText(slot);

    // The end of the channel posts FD_CLOSE, and the session table ends
    // the session on it.
    ASSERT_TRUE(type(slot, "exit\n"));
    ASSERT_TRUE(pumpUntil([&] { return !sessIsOpen(slot) || sessAt(slot)->hostIO->closePosted != 0; }))
        << screenText(slot);
}

// The host knows the terminal type the session announces (the entry that
// scripts/setup.sh installs from tools/terminfo): vi draws its screen and
// takes its commands.
TEST_F(LoginSession, ViWorksOnTheKorvexTerminal)
{
    kvxtest::TestServer server;
    ASSERT_TRUE(kvxtest::startTelnetServer(server)) << server.error;
    cfgSetString("Hosts", "H00", "127.0.0.1");
    cfgSetString("Hosts", "TelnetPort00", std::to_string(server.port).c_str());
    std::string file = dir + "/three.txt";
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("line one\nline two\nline three\n", f);
    std::fclose(f);

    int slot = ChConnect("127.0.0.1", kvxtest::TEST_USER, KVX_DESC_TELNET, -1);
    ASSERT_GE(slot, 0);
    ASSERT_TRUE(pumpUntil([&] { return screenText(slot).find("# ") != std::string::npos; })) << screenText(slot);
    ASSERT_TRUE(type(slot, "infocmp >/dev/null && echo TERM-$TERM-known\r"));
    ASSERT_TRUE(pumpUntil([&] { return screenText(slot).find("TERM-korvex-known") != std::string::npos; }))
        << "the host has no terminfo entry for korvex (scripts/setup.sh installs it)\n" << screenText(slot);
    ASSERT_TRUE(type(slot, "vi " + file + "\r"));
    ASSERT_TRUE(pumpUntil([&] {
        std::string text = screenText(slot);
        return text.find("\n~ ") != std::string::npos && text.find("line three") != std::string::npos;
    })) << screenText(slot);
    ASSERT_TRUE(type(slot, "jddZZ"));
    ASSERT_TRUE(pumpUntil([&] { return kvxtest::runCommand("grep -c line '" + file + "' | grep -qx 2") == 0; }))
        << screenText(slot);
    // vi's leaving flushes what was typed meanwhile: wait for the prompt.
    ASSERT_TRUE(pumpUntil([&] {
        const CuScreen* s = cuScreenAt(slot);
        return s->chars[s->curRow * s->Cols] == '#' && s->curCol == 2;
    })) << screenText(slot);
    ASSERT_TRUE(type(slot, "clear; cat " + file + "\r"));
    EXPECT_TRUE(pumpUntil([&] { return screenText(slot).rfind("line one", 0) == 0; })) << screenText(slot);
    EXPECT_EQ(screenText(slot).substr(81, 10), "line three") << screenText(slot);
}

// libssh2 reads all the socket holds and hands out what fits the buffer,
// so the rest of a burst waits inside it with the socket quiet: it must
// still reach the screen without the host sending more.
TEST_F(LoginSession, SshBurstLargerThanOneReadArrivesWhole)
{
    kvxtest::SshServer server;
    int slot = sshSession(server);
    ASSERT_GE(slot, 0) << server.error;
    ASSERT_TRUE(pumpUntil([&] { return screenText(slot).find("$ ") != std::string::npos; })) << screenText(slot);
    ASSERT_TRUE(type(slot, "seq -w 1 40000 | tr -d '\\n'; echo; echo burst:$((40 * 1000)):end\n"));
    // Not pumping meanwhile lets the whole burst reach the socket before
    // the first read.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(pumpUntil([&] { return screenText(slot).find("burst:40000:end") != std::string::npos; }))
        << screenText(slot);
}

} // namespace
