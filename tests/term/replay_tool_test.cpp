// korvex-replay as scripts use it: host bytes on standard input, one JSON
// object on standard output.
#include "support/kvxtest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun replay(const std::string& args, const std::string& input, const std::string& env = "") {
    const std::string dir = kvxtest::scratchDir("replay_tool");
    const std::string in = dir + "/in.bin", out = dir + "/out.json";
    std::ofstream(in, std::ios::binary) << input;
    const std::string cmd = env + " " + kvxtest::binaryPath("bin/korvex-replay") + " " + args + " < " + in + " > " + out;
    const int status = std::system(cmd.c_str());
    const std::vector<uint8_t> bytes = kvxtest::readFile(out);
    return {status, std::string(bytes.begin(), bytes.end())};
}

TEST(ReplayTool, PrintsScreenCursorAttributesAndReplies) {
    const ToolRun r = replay("--rows 2 --cols 3", "a\x1b[7mb\x1b[6n", "KORVEXADDR=10.1.2.3");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"rows\":2,\"cols\":3,\"cursor\":[0,2],\"lines\":[\"ab \",\"   \"],"
              "\"attrs\":[[20,23,20],[20,20,20]],\"replies\":\"1b5b313b3352\"}\n");
}

TEST(ReplayTool, ChunkedReadsGiveTheSameScreen) {
    const std::string input = "\x1b[2;2Hx\x1b[1;1Hy\x1b[c";
    const ToolRun whole = replay("--rows 3 --cols 4 --port 40000 --slot 2", input, "KORVEXADDR=10.1.2.3 CLIENTNAME=WS");
    const ToolRun bytes = replay("--rows 3 --cols 4 --port 40000 --slot 2 --chunk 1", input,
                             "KORVEXADDR=10.1.2.3 CLIENTNAME=WS");
    ASSERT_EQ(whole.status, 0);
    ASSERT_EQ(bytes.status, 0);
    EXPECT_EQ(whole.out, bytes.out);
    // ESC [ ? 1234;9;3;10;1;2;3;40000;3;'WS' c
    std::string hex;
    for (unsigned char c : std::string("\x1b[?1234;9;3;10;1;2;3;40000;3;'WS'c")) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", c);
        hex += b;
    }
    EXPECT_NE(whole.out.find("\"replies\":\"" + hex + "\""), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find("\"lines\":[\"y   \",\" x  \",\"    \"]"), std::string::npos) << whole.out;
}

TEST(ReplayTool, CellBytesAreCodePoints) {
    const ToolRun r = replay("--rows 1 --cols 4", "\x0eqx\x0f\"", "KORVEXADDR=10.1.2.3");
    ASSERT_EQ(r.status, 0);
    // 0xC4 and 0xB3 as U+00C4 and U+00B3 in UTF-8, the quote escaped.
    EXPECT_NE(r.out.find("\"lines\":[\"\xc3\x84\xc2\xb3\\\" \"]"), std::string::npos) << r.out;
}

TEST(ReplayTool, RejectsBadArguments) {
    EXPECT_NE(replay("--rows 0", "").status, 0);
    EXPECT_NE(replay("--cols 250", "").status, 0);
    EXPECT_NE(replay("--slot 8", "").status, 0);
    EXPECT_NE(replay("--bogus 1", "").status, 0);
}

}  // namespace
