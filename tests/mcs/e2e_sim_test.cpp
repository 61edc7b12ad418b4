// End to end with the host simulator (tools/zendra-sim) as a real process:
// a telnet session whose transaction calls back, and a call-back that asks
// for a session without host login.
#include "msr_helpers.h"

#include "term/unix.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>

extern char** environ;

using namespace msrtest;

namespace {

// The simulator process with its standard output on a pipe.
class Sim {
public:
    ~Sim() { stop(); }

    bool start(const std::vector<std::string>& extra)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        std::vector<std::string> args = {"python3", "-u", kvxtest::sourcePath("tools/zendra-sim/zendra_sim.py")};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawnp(&pid_, "python3", &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(fds[1]);
        out_ = fds[0];
        fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
        return rc == 0;
    }

    // Collects output while pumping the workstation until a line starting
    // with prefix has come (bounded); that line, or "" on time-out.
    std::string waitLine(const std::string& prefix, int rounds = 3000)
    {
        for (int i = 0; i < rounds; ++i) {
            drain();
            size_t at = 0;
            while (at < text_.size()) {
                size_t nl = text_.find('\n', at);
                if (nl == std::string::npos)
                    break;
                std::string line = text_.substr(at, nl - at);
                if (line.rfind(prefix, 0) == 0) {
                    text_.erase(0, nl + 1);
                    return line;
                }
                at = nl + 1;
            }
            platPump(10);
        }
        return "";
    }
    const std::string& output() const { return text_; }

    void stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (out_ >= 0)
            close(out_);
        out_ = -1;
    }

private:
    void drain()
    {
        char buf[512];
        ssize_t n;
        while (out_ >= 0 && (n = read(out_, buf, sizeof buf)) > 0)
            text_.append(buf, (size_t)n);
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string text_;
};

std::string screenText(int slot)
{
    CuScreen* scr = cuScreenAt(slot);
    std::string s;
    if (!scr)
        return s;
    for (int r = 0; r < scr->Rows; ++r) {
        for (int c = 0; c < scr->Cols; ++c)
            s += (char)(scr->chars[r * scr->bufCols + c] & 0xFF);
        s += '\n';
    }
    return s;
}

class E2eSim : public MsrTest {
protected:
    void SetUp() override
    {
        MsrTest::SetUp();
        // The real forms engine decides these requests; with the recorded
        // one nothing waits for input.
        msrSetFormsOps(nullptr);
        unixSetListenPort(port);
        scripts = dir + "/scripts";
        ASSERT_EQ(system(("mkdir -p " + scripts).c_str()), 0);
    }
    void TearDown() override
    {
        sim.stop();
        MsrTest::TearDown();
    }
    void script(const std::string& name, const std::string& text)
    {
        std::ofstream(scripts + "/" + name + ".zs") << text;
    }
    uint16_t startSim(const std::vector<std::string>& extra, bool listens = true)
    {
        std::vector<std::string> args = {"--library", kvxtest::sourcePath("tools/zendra-sim/examples/library"),
                                          "--scripts", scripts, "--trace", dir + "/sim.trace"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_TRUE(sim.start(args));
        if (!listens)
            return 0;
        std::string line = sim.waitLine("listening on ");
        EXPECT_FALSE(line.empty()) << "the simulator did not start: " << sim.output();
        return line.empty() ? 0 : (uint16_t)std::stoi(line.substr(13));
    }

    Sim sim;
    std::string scripts;
};

TEST_F(E2eSim, TelnetTransactionCallsBackServesFormatAndPseudoModeThenEnds)
{
    script("e2e", "form dFmsgo fmt=CUST text=\"JOHN SMITH\" count=1\n"
                  "expect dFmsgo fmt=CUST text^=\"JOHN SMITH\"\n"
                  "fmtreq CUST\n"
                  "pseudo \"Order list follows\\r\\n  1  widgets\\r\\n\"\n"
                  "end\n");
    uint16_t hostPort = startSim({"--port", "0", "--auto", "e2e", "--once"});
    ASSERT_NE(hostPort, 0);
    cfgSetString("Hosts", "H00", "127.0.0.1");
    cfgSetString("Hosts", "TelnetPort00", std::to_string(hostPort).c_str());
    int slot = ChConnect("127.0.0.1", "user", KVX_DESC_TELNET, -1);
    ASSERT_EQ(slot, 0);

    // The call-back binds to this session: MCS channel and forms state.
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->mcs != nullptr; })) << sim.output();
    EXPECT_NE(sessAt(0)->term, nullptr);
    EXPECT_TRUE(sessIsOpen(0));
    EXPECT_FALSE(sessIsOpen(1)) << "no second session for a tagged call-back";

    std::string result = sim.waitLine("transaction e2e:");
    EXPECT_EQ(result, "transaction e2e: ok") << sim.output();
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->mcs == nullptr; }));
    // 203 returned the session to UNIX mode; the host output of pseudo mode
    // is on the screen and the session with its host connection stays.
    EXPECT_TRUE(sessIsOpen(0));
    EXPECT_TRUE(sessAt(0)->flags & CHF_CHARMODE);
    EXPECT_EQ(sessAt(0)->term, nullptr);
    std::string screen = screenText(0);
    EXPECT_NE(screen.find("Order list follows"), std::string::npos) << screen;
    EXPECT_NE(screen.find("1  widgets"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("EOF%"), std::string::npos) << "the mark is not shown";
}

TEST_F(E2eSim, CallBackWithoutSessionOpensHostlessSessionClosedAtEnd)
{
    script("hello", "form dFmsgo fmt=CUST text=\"HELLO\" count=1\n"
                    "expect dFmsgo fmt=CUST\n"
                    "end\n");
    startSim({"--callback", "127.0.0.1:" + std::to_string(port), "--script", scripts + "/hello.zs", "--tag",
              "0000", "--once"},
             false);
    ASSERT_TRUE(pumpUntil([] { return sessIsOpen(0) && sessAt(0)->mcs != nullptr; })) << sim.output();
    ChSession* s = sessAt(0);
    EXPECT_TRUE(s->hostIO == nullptr || korvexSocket(s->hostIO) < 0) << "no host login";
    EXPECT_STRNE(s->hostName, "");
    std::string result = sim.waitLine("transaction ");
    EXPECT_NE(result.find(": ok"), std::string::npos) << result << sim.output();
    EXPECT_TRUE(pumpUntil([] { return !sessIsOpen(0); })) << "the host-less session's window closes at 203";
}

} // namespace
