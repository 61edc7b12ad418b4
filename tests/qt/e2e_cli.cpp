// `korvex --headless` as a real process against a real telnet host: keys,
// waits and the screen file, and its exit statuses.
#include "support/kvxtest.h"
#include "support/servers.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

struct CliCase {
    const char* name;
    const char* args;       // after --headless; HOST is replaced by the host
    int status;
    const char* screenHas;  // in the screen file ("" nothing to check)
};
const CliCase kCases[] = {
    {"met", "--keys 'echo $((6*7))\\n' --wait 42 --keys 'echo do''ne\\n' --wait done --screen SCREEN HOST", 0, "done"},
    {"timeout", "--keys 'echo x\\n' --wait never-printed --timeout 1 --screen SCREEN HOST", 3, "echo x"},
    {"nosession", "--keys x --screen SCREEN nosuchhost.invalid", 2, ""},
};

std::string replaceAll(std::string s, const std::string& from, const std::string& to)
{
    for (size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size())
        s.replace(p, from.size(), to);
    return s;
}

TEST(HeadlessCli, KeysWaitsAndExitStatuses)
{
    kvxtest::TestServer telnetd;
    ASSERT_TRUE(kvxtest::startTelnetServer(telnetd)) << telnetd.error;
    std::string program = kvxtest::binaryPath("bin/korvex");
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    for (const CliCase& c : kCases) {
        std::string dir = kvxtest::scratchDir(std::string("e2e-cli-") + c.name);
        std::ofstream(dir + "/korvex.ini") << "[Options]\nSplash=0\nPort=" << kvxtest::freeLocalPort()
                                           << "\n[Hosts]\nH00=127.0.0.1\nProtocol00=Telnet\nTelnetPort00=" << telnetd.port << "\n";
        std::string screen = dir + "/screen.txt";
        std::string args = replaceAll(replaceAll(c.args, "SCREEN", screen), "HOST", "127.0.0.1");
        std::string cmd = "KORVEX=" + dir + " " + program + " --headless " + args + " 2>" + dir + "/stderr.txt";
        int status = kvxtest::runCommand(cmd);
        EXPECT_EQ(status, c.status) << c.name << ": " << cmd;
        if (*c.screenHas) {
            std::ifstream in(screen);
            std::stringstream ss;
            ss << in.rdbuf();
            EXPECT_NE(ss.str().find(c.screenHas), std::string::npos) << c.name << ":\n" << ss.str();
        }
    }
}

} // namespace
