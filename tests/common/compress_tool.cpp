// korvex-mcs run as a real process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "compress_helpers.h"
#include "support/kvxtest.h"

using namespace cmptest;

namespace {

struct ToolRun {
  int status; // exit status, or -1 when the program did not exit normally
  Bytes out;
  std::string err;
};

void writeFile(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

ToolRun runTool(const std::string& args, const Bytes& input) {
  static int serial = 0;
  const std::string dir = kvxtest::scratchDir("korvex-mcs-" + std::to_string(serial++));
  writeFile(dir + "/in", input);
  const std::string tool = kvxtest::binaryPath("bin/korvex-mcs");
  const std::string cmd =
      "'" + tool + "' " + args + " < '" + dir + "/in' > '" + dir + "/out' 2> '" + dir + "/err'";
  const int raw = std::system(cmd.c_str());
  ToolRun r{-1, kvxtest::readFile(dir + "/out"), {}};
  const Bytes err = kvxtest::readFile(dir + "/err");
  r.err.assign(err.begin(), err.end());
  if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
  return r;
}

TEST(KorvexMcs, ToolIsBuilt) {
  std::ifstream f(kvxtest::binaryPath("bin/korvex-mcs"));
  ASSERT_TRUE(f.good()) << "korvex-mcs not found at " << kvxtest::binaryPath("bin/korvex-mcs");
}

struct Case {
  const char* name;
  const char* args;
  Bytes input;
  Bytes output;
};

class ToolCases : public testing::TestWithParam<Case> {};

TEST_P(ToolCases, Output) {
  const ToolRun r = runTool(GetParam().args, GetParam().input);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, GetParam().output);
  EXPECT_EQ(r.err, "");
}

Bytes withFlag(std::uint8_t flag, const Bytes& m) {
  Bytes b(m.size() + 1, flag);
  std::copy(m.begin(), m.end(), b.begin() + 1);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    KorvexMcs, ToolCases,
    testing::Values(
        Case{"compress_raw", "compress", bytes("abc"), {0x02, 'a', 'b', 'c'}},
        Case{"compress_spaces", "compress", bytes("    "), {0x1E, 0x00, 0x04, 0x00, 0x03, 0x95, 0xF2}},
        Case{"compress_run", "compress", Bytes(300, 'A'),
             {0x1E, 0x01, 0x2C, 0x00, 0x06, 0x95, 0xF9, 0xD2, 0xE8, 0xB8}},
        Case{"compress_empty", "compress", {}, {0x1E, 0x00, 0x00, 0x00, 0x00}},
        Case{"compress_off", "compress --off", bytes("    "), withFlag(0x00, bytes("    "))},
        Case{"decompress_huffman", "decompress", {0x1E, 0x00, 0x05, 0x00, 0x03, 0x94, 0x06, 0x94}, Bytes(5, 0x02)},
        Case{"decompress_raw", "decompress", withFlag(0x00, bytes("hello")), bytes("hello")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KorvexMcs, CompressMatchesAFreshComWrite) {
  // Large messages grow the staging room to length + 1.
  Bytes message;
  while (message.size() < 20000) for (char ch : std::string("ACCOUNT 000123   BALANCE      0.00\n")) message.push_back(static_cast<std::uint8_t>(ch));
  freshCoder(true);
  const Result expected = compress(message);
  ASSERT_GT(expected.code, 0);
  const ToolRun r = runTool("compress", message);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected.data);
  const ToolRun back = runTool("decompress", r.out);
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(back.out, message);
}

TEST(KorvexMcs, DecompressErrorsPrintTheCode) {
  struct Bad {
    Bytes body;
    const char* code;
  };
  const Bad bad[] = {
      {{0x0C, 0x00, 0x01}, "-103"},
      {{0x24, 0x00, 0x01, 'a'}, "-103"},
      {{0x16, 0x00, 0x04, 0x02, 0x05, 'A'}, "-104"},
  };
  for (const Bad& b : bad) {
    const ToolRun r = runTool("decompress", b.body);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.status, -1);
    EXPECT_EQ(r.err, std::string(b.code) + "\n");
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(KorvexMcs, CompressTooLong) {
  const ToolRun r = runTool("compress", Bytes(32768, ' '));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "-105\n");
}

TEST(KorvexMcs, UsageErrors) {
  for (const char* args : {"", "bogus", "compress --on", "compress --off extra", "decompress -x"}) {
    const ToolRun r = runTool(args, {});
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err.rfind("usage: korvex-mcs", 0), 0u) << args << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
  }
}

} // namespace
