// korvex-mcs dump and frames run as real processes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "arc_helpers.h"
#include "common/arc/packbuf.h"
#include "common/compress.h"
#include "support/kvxtest.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ToolRun {
  int status; // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

ToolRun runTool(const std::string& args, const Bytes& input) {
  static int serial = 0;
  const std::string dir = kvxtest::scratchDir("arc-tool-" + std::to_string(serial++));
  {
    std::ofstream f(dir + "/in", std::ios::binary);
    f.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  }
  const std::string tool = kvxtest::binaryPath("bin/korvex-mcs");
  const std::string cmd = "'" + tool + "' " + args + " < '" + dir + "/in' > '" + dir + "/out' 2> '" + dir + "/err'";
  const int raw = std::system(cmd.c_str());
  const Bytes out = kvxtest::readFile(dir + "/out");
  const Bytes err = kvxtest::readFile(dir + "/err");
  ToolRun r{-1, std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  return r;
}

Bytes formBuffer() {
  std::array<std::uint8_t, 256> room{};
  EXPECT_EQ(bufInit(room, 5, 6, 7, 3 * 4096, 22, 1), 0);
  EXPECT_EQ(bufAddShort(room, 80), 0);
  EXPECT_EQ(bufAddInt(room, -70000), 0);
  EXPECT_EQ(bufAddString(room, "MENU01  ", 8), 0);
  return Bytes(room.begin(), room.begin() + getBufSize(room));
}

Bytes frame(const Bytes& message) {
  compressBuildTable();
  compressSetOn(true);
  Bytes body(message.size() + 64);
  const int n = compressBuf(static_cast<int>(message.size()), message.data(), body.data(), static_cast<int>(body.size()));
  EXPECT_GT(n, 0);
  body.resize(static_cast<std::size_t>(n));
  body.insert(body.begin(), {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
  return body;
}

TEST(KorvexMcsDump, ToolIsBuilt) {
  std::ifstream f(kvxtest::binaryPath("bin/korvex-mcs"));
  ASSERT_TRUE(f.good()) << "korvex-mcs not found at " << kvxtest::binaryPath("bin/korvex-mcs");
}

TEST(KorvexMcsDump, PrintsTheDecodedBuffer) {
  const Bytes buf = formBuffer();
  const ToolRun r = runTool("dump", buf);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Dump dFmsgi     buffer P5 Pri=6 Q7 Seg=3 Sub=1 Prm=3\n"
            " 1 Short 80\n"
            " 2 Int   -70000   (0xFFFEEE90)\n"
            "----  3 String len=8  ----\n"
            " 000000 : 4D454E55 30312020" + std::string(53 - 17, ' ') + " 'MENU01  '\n"
            "\n"
            "End of dump dFmsgi     buffer\n");
  EXPECT_EQ(r.err, "");
}

TEST(KorvexMcsDump, BadInput) {
  // A bad type is reported in the dump itself; a short input fails.
  const ToolRun bad = runTool("dump", arctest::Raw::header(22, 0, 1, 4).u16(0).u16(7).bytes);
  EXPECT_EQ(bad.status, 0);
  EXPECT_NE(bad.out.find("ERROR:  1 Bad type 7 (0x7)\n"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("---- Dump ZENBUF len=28  ----\n"), std::string::npos) << bad.out;

  const ToolRun shortInput = runTool("dump", Bytes{1, 2, 3});
  EXPECT_EQ(shortInput.status, 1);
  EXPECT_NE(shortInput.err.find("shorter than a ZENBUF header"), std::string::npos);

  EXPECT_EQ(runTool("dump extra", {}).status, 2);
}

TEST(KorvexMcsFrames, EachFrameDecompressedAndDumped) {
  const Bytes first = formBuffer();
  Bytes second;
  {
    std::array<std::uint8_t, 64> room{};
    EXPECT_EQ(bufInit(room, 0, 0, 0, 0, -203, 0), 0);
    second.assign(room.begin(), room.begin() + 24);
  }
  Bytes stream = frame(first);
  const int firstBody = static_cast<int>(stream.size()) - 2;
  const Bytes f2 = frame(second);
  stream.insert(stream.end(), f2.begin(), f2.end());

  const ToolRun r = runTool("frames", stream);
  EXPECT_EQ(r.status, 0) << r.err;
  std::string want = "frame 1: body " + std::to_string(firstBody) + " bytes, message 50 bytes\n";
  // The message as the text sink's hex dump shows it, then its decoded form.
  const ZenDumpSink sink = zenTextSink(want);
  sink.dump(sink.context, "message", first.data(), static_cast<int>(first.size()));
  EXPECT_NE(want.find("---- message len=50  ----\n 000000 : 00000006 00000005 00000007 00003000 00160001"),
            std::string::npos);
  std::string dumped;
  dumpbufText(first, dumped);
  want += dumped;
  EXPECT_EQ(r.out.substr(0, want.size()), want);
  EXPECT_NE(r.out.find("frame 2: body " + std::to_string(f2.size() - 2) + " bytes, message 24 bytes\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Dump DF#203     buffer P0 Pri=0 Q0 Seg=0 Sub=0 Prm=0\n"), std::string::npos) << r.out;
}

TEST(KorvexMcsFrames, BrokenStreams) {
  struct Case {
    const char* what;
    Bytes stream;
    const char* line;
  };
  const Case cases[] = {
      {"body cut short", Bytes{0x00, 0x10, 0x01, 0x02}, "frame 1: body 16 bytes, only 2 present\n"},
      {"negative length", Bytes{0x80, 0x00}, "frame 1: bad length -32768\n"},
      {"lone length byte", Bytes{0x00}, "frame 1: truncated length\n"},
      {"bad flag byte", Bytes{0x00, 0x02, 0xFF, 0x00}, "frame 1: body 2 bytes, decompress failed -103\n"},
  };
  for (const Case& c : cases) {
    const ToolRun r = runTool("frames", c.stream);
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_EQ(r.out, c.line) << c.what;
  }
}

} // namespace
