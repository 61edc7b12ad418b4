#include "common/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/kvxtest.h"

namespace {

std::string slurp(const std::string& path) {
  std::vector<uint8_t> b = kvxtest::readFile(path);
  return std::string(b.begin(), b.end());
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

long fileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class Log : public ::testing::Test {
 protected:
  void SetUp() override {
    logReset();
    dir_ = kvxtest::scratchDir("log_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  }
  void TearDown() override {
    dbgLog(0);
    logReset();
  }
  std::string path(const char* name) const { return dir_ + "/" + name; }
  std::string dir_;
};

// Dumps one block into a fresh log and returns the lines after the title.
std::vector<std::string> dumpLines(const std::string& file, const void* bytes, int length, const char* options = "") {
  logReset();
  logOptions(options);
  EXPECT_EQ(logOpen(file.c_str(), 0), 0);
  logDump(nullptr, bytes, length);
  logClose();
  return lines(slurp(file));
}

}  // namespace

TEST_F(Log, ClosedLogEvaluatesAndWritesNothing) {
  int calls = 0;
  auto counted = [&calls]() { return ++calls; };
  EXPECT_EQ(logPrintf("#never %d\n", counted()), 0);
  EXPECT_EQ(calls, 0);
  logDump("#block", "abc", 3);

  std::string file = path("closed.log");
  ASSERT_EQ(logOpen(file.c_str(), 0), 0);
  EXPECT_TRUE(logFlags & LOG_OPEN);
  EXPECT_GT(logPrintf("#open\n"), 0);
  logClose();
  EXPECT_FALSE(logFlags & LOG_OPEN);
  std::string before = slurp(file);
  EXPECT_EQ(logPrintf("#after close %d\n", counted()), 0);
  logDump("#after", "abc", 3);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(slurp(file), before);
}

TEST_F(Log, PrefixesTimeStampAlignAndContinue) {
  std::string file = path("prefix.log");
  logOptions("'KVX'");
  ASSERT_EQ(logOpen(file.c_str(), 2), 0);
  logPrintf("#first ");
  logPrintf("same line\n");
  logPrintf("~aligned\n");
  logPrintf("continued\n");
  logPrintf("#\tafter tab\n");
  logPrintf("~next");
  logPrintf("#breaks the open line\n");
  logClose();
  std::vector<std::string> l = lines(slurp(file));
  ASSERT_EQ(l.size(), 6u);
  // Before any cycle, with a size limit: a leading space, the prefix text, the time.
  std::smatch m;
  ASSERT_TRUE(std::regex_match(l[0], m, std::regex(R"(( KVX \d\d/\d\d \d\d:\d\d )first same line)")));
  const std::size_t width = m[1].length();
  EXPECT_EQ(l[1], "KVX" + std::string(width - 3, ' ') + "aligned");
  EXPECT_EQ(l[2], std::string(width + 2, ' ') + "continued");
  EXPECT_EQ(l[3], l[0].substr(0, width) + "  after tab");
  EXPECT_EQ(l[4], "KVX" + std::string(width - 3, ' ') + "next");
  EXPECT_TRUE(endsWith(l[5], "breaks the open line"));
}

TEST_F(Log, OptionSizes) {
  struct Case {
    const char* options;
    long maxSize;
  };
  const Case cases[] = {
      {"T1000", 32768},      {"T20", 20L * 1048576}, {"T300", 300L * 1024}, {"T500Ka", 500L * 1024},
      {"29", 29L * 1048576}, {"100", 100L * 1024},     {"699", 699L * 1024},  {"700", 32768},
      {"40000", 40000},      {"2M", 2L * 1048576},   {"0", 32768},
  };
  for (const Case& c : cases) {
    logReset();
    logOptions(c.options);
    EXPECT_EQ(logMaxSize(), c.maxSize) << c.options;
  }
  logReset();
  EXPECT_EQ(logMaxSize(), LOG_DEFAULTMAX);
}

TEST_F(Log, OptionFlagLetters) {
  struct Case {
    const char* options;
    unsigned set;
    unsigned clear;
  };
  const Case cases[] = {
      {"a", 0x50A, 0},
      {"t", 0x51A, LOG_NOFLUSH},
      {"t!t", 0, 0x80D1A},
      {"F", LOG_NOFLUSH, 0},
      {"FN", 0, LOG_NOFLUSH},
      {"Th", LOG_HUNDREDTHS, LOG_HMS},
      {"hT", LOG_HMS, LOG_HUNDREDTHS},
      {"E", LOG_EBCDIC, 0},
      {"Ee", 0, LOG_EBCDIC},
      {"dcSZqrsw", 0x108 | 0x100 | 0x80000 | 0x20000 | 0x800 | 0x400 | 0x4 | 0x2, 0},
      {"a!a", 0, 0x50A},
      {"xyzPp", 0, 0x50A},
  };
  for (const Case& c : cases) {
    logReset();
    ASSERT_EQ(logOpen(path("flags.log").c_str(), 0), 0);
    logOptions(c.options);
    EXPECT_EQ(logFlags & c.set, c.set) << c.options;
    EXPECT_EQ(logFlags & c.clear, 0u) << c.options;
    EXPECT_TRUE(logFlags & LOG_OPEN) << c.options;
  }
  // "f" closes an open log at the end of the string.
  logOptions("f");
  EXPECT_FALSE(logFlags & LOG_OPEN);
  // The strings applied since the reset are remembered in order.
  EXPECT_STREQ(logOptionString(), "xyzPpf");
}

TEST_F(Log, RingStaysBoundedAndMarksPasses) {
  std::string file = path("ring.log");
  logOptions("40K");
  ASSERT_EQ(logOpen(file.c_str(), 1), 0);
  logPrintf("#header line\n");
  logOptions("C");
  const long limit = 40L * 1024 + LOG_SLACK;
  long largest = 0;
  for (int i = 0; i < 3000; ++i) {
    if (i % 7 == 0)
      logPrintf("#partial %d ", i);  // lines built from several messages
    logPrintf("#line %05d %s\n", i, "....+....1....+....2....+....3....+....4....+....5....+....6");
    long size = fileSize(file);
    largest = size > largest ? size : largest;
  }
  logClose();
  EXPECT_LE(largest, limit);
  EXPECT_GE(logCycleCount(), 3);

  std::vector<std::string> l = lines(slurp(file));
  ASSERT_GT(l.size(), 10u);
  // The ring starts after the header; each pass begins with its cycle line.
  EXPECT_TRUE(endsWith(l[0], "header line"));
  EXPECT_EQ(l[1], "");
  EXPECT_EQ(l[2], "");
  EXPECT_TRUE(std::regex_match(l[3], std::regex(R"([AB]\d\d/\d\d \d\d:\d\d Log file cycle \d+ on \w{3} \d+, \d{4}; Max size 40K)")))
      << l[3];
  int a = 0, b = 0, other = 0;
  for (std::size_t i = 4; i < l.size(); ++i) {
    if (l[i].empty()) continue;
    if (l[i][0] == 'A')
      ++a;
    else if (l[i][0] == 'B')
      ++b;
    else
      ++other;  // the one line where the newer pass stopped overwriting the older
  }
  EXPECT_GT(a, 0);
  EXPECT_GT(b, 0);
  EXPECT_LE(other, 1);
  EXPECT_NE(slurp(file).find("; Max size 40K\n"), std::string::npos);
}

TEST_F(Log, DebugLogWrapsAt500K) {
  setenv("XDG_DOCUMENTS_DIR", dir_.c_str(), 1);
  ASSERT_EQ(dbgLog(1), 0);
  EXPECT_TRUE(dbgLogIsOn());
  std::string file = dbgLogPath();
  EXPECT_EQ(file, dir_ + "/korvex.log");
  EXPECT_EQ(logMaxSize(), 500L * 1024);
  EXPECT_EQ(logFlags & (LOG_HMS | 0x50A), LOG_HMS | 0x50A);
  logFlush();
  std::vector<std::string> head = lines(slurp(file));
  ASSERT_EQ(head.size(), 3u);
  EXPECT_TRUE(std::regex_match(head[2], std::regex(R"( \d\d:\d\d:\d\d Log file cycle 0 on \w{3} \d+, \d{4}; Max log size 500K)")))
      << head[2];
  std::string text(90, 'x');
  long largest = 0;
  for (int i = 0; i < 15000; ++i) {
    logPrintf("#%d %s\n", i, text.c_str());
    if (i % 50 == 0) {
      long size = fileSize(file);
      largest = size > largest ? size : largest;
    }
  }
  logFlush();
  EXPECT_LE(largest, 500L * 1024 + LOG_SLACK);
  EXPECT_GE(logCycleCount(), 2);
  std::vector<std::string> l = lines(slurp(file));
  ASSERT_GT(l.size(), 5u);
  EXPECT_TRUE(std::regex_match(l[0], std::regex(R"( \d\d:\d\d:\d\d Log file korvex.log opened)"))) << l[0];
  EXPECT_TRUE(endsWith(l[1], "Version 0.1 Build 0 Revision 0")) << l[1];
  EXPECT_EQ(l[2], "");
  EXPECT_TRUE(std::regex_match(l[3], std::regex(R"([AB]\d\d:\d\d:\d\d Log file cycle \d+ on \w{3} \d+, \d{4}; Max size 500K)")))
      << l[3];
  dbgLog(0);
  EXPECT_FALSE(dbgLogIsOn());
  EXPECT_FALSE(logFlags & LOG_OPEN);
  unsetenv("XDG_DOCUMENTS_DIR");
}

TEST_F(Log, DumpShortTextBlockIsHex) {
  const char text[] = "abcdefghijklmnopqrstuvwxyz0123";  // 30 bytes
  std::vector<std::string> l = dumpLines(path("d30.log"), text, 30);
  ASSERT_EQ(l.size(), 3u);  // two hex lines and the closing empty line
  EXPECT_TRUE(endsWith(l[0], " 000000 : 61626364 65666768 696A6B6C 6D6E6F70 71727374 75767778 "
                             "'abcdefghijklmnopqrstuvwx'"))
      << l[0];
  EXPECT_TRUE(endsWith(l[1], " 000018 : 797A3031 3233" + std::string(40, ' ') + " 'yz0123'")) << l[1];
  EXPECT_EQ(l[2], "");
}

TEST_F(Log, DumpLongTextBlockIsText) {
  std::string text;
  for (int i = 0; i < 81; ++i) text += static_cast<char>('a' + i % 26);
  text[5] = '\t';
  text[6] = '\\';
  std::vector<std::string> l = dumpLines(path("d81.log"), text.data(), 81);
  ASSERT_EQ(l.size(), 4u);
  EXPECT_TRUE(endsWith(l[0], "        ....+....1....+....2....+....3....+....4....+....5....+....6....+....7....+....8"));
  EXPECT_TRUE(endsWith(l[1], "    1 : abcde\\t\\\\hijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzab :"))
      << l[1];
  EXPECT_TRUE(endsWith(l[2], "   81 : c :")) << l[2];
}

TEST_F(Log, DumpZeroRunSameAsLastWord) {
  std::vector<unsigned char> zeros(200, 0);
  std::vector<std::string> l = dumpLines(path("d200.log"), zeros.data(), 200);
  ASSERT_EQ(l.size(), 3u);
  EXPECT_TRUE(endsWith(l[0], " 000000 : 00000000 00000000 00000000 00000000 00000000 00000000 "
                             "'........................'"));
  EXPECT_TRUE(endsWith(l[1], " 000018 :  thru 0000C7 same as last word")) << l[1];
}

TEST_F(Log, DumpRepeatedTextLinesAndLateBinary) {
  std::string text(400, 'x');
  text[300] = '\x01';  // binary byte in the fourth 80-byte line
  std::vector<std::string> l = dumpLines(path("dmix.log"), text.data(), 400);
  ASSERT_GE(l.size(), 4u);
  EXPECT_TRUE(endsWith(l[1], "    1 : " + std::string(80, 'x') + " :"));
  EXPECT_TRUE(endsWith(l[2], "   81 :  thru   240 same as last")) << l[2];
  // The hex part starts at the line holding the binary byte.
  EXPECT_TRUE(endsWith(l[3], " 0000F0 : 78787878 78787878 78787878 78787878 78787878 78787878 "
                             "'xxxxxxxxxxxxxxxxxxxxxxxx'"))
      << l[3];

  // A binary byte early on makes the whole block hex.
  text[300] = 'x';
  text[100] = '\x02';
  l = dumpLines(path("dearly.log"), text.data(), 400);
  EXPECT_TRUE(endsWith(l[0], "'xxxxxxxxxxxxxxxxxxxxxxxx'")) << l[0];
  EXPECT_NE(l[0].find(" 000000 : "), std::string::npos);
}

TEST_F(Log, DumpTitlesNullAndEbcdic) {
  std::string file = path("dtitle.log");
  ASSERT_EQ(logOpen(file.c_str(), 0), 0);
  logDump("#ZENBUF", nullptr, 12);
  logOptions("E");
  const unsigned char ebc[] = {0xC1, 0xC2, 0x40, 0xF1};
  logDump("reply", ebc, 4);
  logClose();
  std::vector<std::string> l = lines(slurp(file));
  ASSERT_EQ(l.size(), 5u);
  EXPECT_TRUE(std::regex_match(l[0], std::regex(R"( \d\d/\d\d \d\d:\d\d ---- ZENBUF len=12  ----)"))) << l[0];
  EXPECT_TRUE(endsWith(l[1], "<NULL> memory address"));
  EXPECT_TRUE(endsWith(l[2], "---- reply len=4 EBCDIC ----")) << l[2];
  EXPECT_EQ(l[2][0], ' ');  // aligned, not time-stamped
  EXPECT_TRUE(endsWith(l[3], " 000000 : C1C240F1" + std::string(45, ' ') + " 'AB 1'")) << l[3];
}

TEST_F(Log, NameExpansion) {
  std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", dir_.c_str(), 1);
  ASSERT_EQ(logOpen("~/t$$$.log", 0), 0);
  logClose();
  EXPECT_EQ(std::string(logFileName()), dir_ + "/t" + std::to_string(getpid()) + ".log");
  EXPECT_GE(fileSize(logFileName()), 0);

  logReset();
  ASSERT_EQ(logOpen("~d$$D.log", 0), 0);
  logClose();
  EXPECT_TRUE(std::regex_match(std::string(logFileName()), std::regex(dir_ + R"(/d20\d{6}\.log)"))) << logFileName();

  logReset();
  unsetenv("HOME");
  setenv("ZENROOT", dir_.c_str(), 1);
  ASSERT_EQ(logOpen("~z$$t.log", 0), 0);
  logClose();
  EXPECT_TRUE(std::regex_match(std::string(logFileName()), std::regex(dir_ + R"(/z20\d{10}\.log)"))) << logFileName();
  unsetenv("ZENROOT");

  // The "o" option fixes the name; later opens keep it.
  logReset();
  std::string fixed = dir_ + "/fixed.log";
  logOptions(("o=" + fixed + ",a").c_str());
  EXPECT_EQ(logFlags & 0x50A, 0x50Au);
  ASSERT_EQ(logOpen(path("other.log").c_str(), 0), 0);
  logClose();
  EXPECT_EQ(std::string(logFileName()), fixed);
  EXPECT_LT(fileSize(path("other.log")), 0);
  setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(Log, RotateKeepsOldFiles) {
  std::string file = path("rot.log");
  logOptions("K");
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(logOpen(file.c_str(), 0), 0);
    logPrintf("#run %d\n", i);
    logClose();
  }
  EXPECT_NE(slurp(file).find("run 2"), std::string::npos);
  EXPECT_NE(slurp(file + ".1.log").find("run 1"), std::string::npos);
  EXPECT_NE(slurp(file + ".2.log").find("run 0"), std::string::npos);
}

TEST_F(Log, OpenFailureReturnsError) {
  EXPECT_LT(logOpen(path("no/such/dir/x.log").c_str(), 0), 0);
  EXPECT_FALSE(logFlags & LOG_OPEN);
  EXPECT_EQ(logPrintf("#dropped\n"), 0);
}

TEST_F(Log, KeepWholeLogFromEnvironment) {
  setenv("COB_SET_TRACE", "Yes", 1);
  logOptions("KF");
  unsetenv("COB_SET_TRACE");
  EXPECT_GE(logMaxSize(), 524288000L);
  EXPECT_FALSE(logFlags & LOG_NOFLUSH);
  std::string file = path("whole.log");
  std::ofstream(file) << "old contents\n";
  ASSERT_EQ(logOpen(file.c_str(), 0), 0);
  EXPECT_TRUE(logFlags & LOG_APPEND);
  logPrintf("#new\n");
  logClose();
  EXPECT_EQ(slurp(file).find("old contents"), std::string::npos);
  EXPECT_LT(fileSize(file + ".1.log"), 0);  // rotation is off with a whole log
}

TEST_F(Log, RunawayLogIsClosed) {
  std::string file = path("runaway.log");
  logOptions("A32K");  // appended files cannot cycle, so they grow
  ASSERT_EQ(logOpen(file.c_str(), 0), 0);
  std::string block(2000, 'r');
  int i = 0;
  while ((logFlags & LOG_OPEN) && i < 60000) logPrintf("#%s\n", block.c_str()), ++i;
  EXPECT_FALSE(logFlags & LOG_OPEN);
  long size = fileSize(file);
  EXPECT_GE(size, LOG_RUNAWAY);
  EXPECT_LE(size, LOG_RUNAWAY + 4096);
  std::ifstream in(file, std::ios::binary);
  in.seekg(size - 40);
  std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(endsWith(tail, "\n\nERROR: Log file run away!!!\n\n"));
  unlink(file.c_str());
}
