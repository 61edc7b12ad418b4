#include "common/arc/packbuf.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "arc_helpers.h"

using arctest::count;
using arctest::LogCapture;
using arctest::Raw;
using arctest::testName;

namespace {

// A reply as the handler builds it: every append type once.
std::vector<std::uint8_t> sampleBuffer(std::array<std::uint8_t, 128>& room) {
  EXPECT_EQ(bufInit(room, 2, 1, 3, 4 * 4096, 21, 5), 0);
  EXPECT_EQ(bufAddShort(room, static_cast<std::int16_t>(0xFFFE)), 0);
  EXPECT_EQ(bufAddInt(room, 0x12345678), 0);
  EXPECT_EQ(bufAddChar(room, 'x'), 0);
  EXPECT_EQ(bufAddString(room, "ab", -1), 0);
  EXPECT_EQ(bufAddString(room, "hello", 5), 0);
  return {room.begin(), room.begin() + getBufSize(room)};
}

TEST(PackBufBuild, WireBytes) {
  std::array<std::uint8_t, 128> room{};
  const std::vector<std::uint8_t> got = sampleBuffer(room);
  Raw want = Raw::header(21, 5, 5, 6 + 8 + 5 + 7 + 9, 1, 2, 3, 4 * 4096);
  want.u16(0).u16(1).u16(0xFFFE);
  want.u16(0).u16(2).u32(0x12345678);
  want.u16(0).u16(0).byte('x');
  // A negative length takes the terminating NUL too.
  want.u16(3).u16(3).text("ab").byte(0);
  want.u16(5).u16(3).text("hello");
  EXPECT_EQ(got, want.bytes);
  EXPECT_EQ(getBufSize(got), 24 + 35);
}

TEST(PackBufBuild, RefusesWhatDoesNotFit) {
  std::array<std::uint8_t, 40> room{};
  ASSERT_EQ(bufInit(room, 0, 0, 0, 0, 21, 0), 0);
  ASSERT_EQ(bufAddString(room, "0123456789", 10), 0); // 24 + 14 = 38
  const std::array<std::uint8_t, 40> before = room;
  EXPECT_EQ(bufAddInt(room, 7), PACK_EROOM);
  EXPECT_EQ(bufAddChar(room, 'a'), PACK_EROOM);
  EXPECT_EQ(room, before);

  std::vector<std::uint8_t> big(40000);
  ASSERT_EQ(bufInit(big, 0, 0, 0, 0, 21, 0), 0);
  // The wire length is signed 16-bit.
  EXPECT_EQ(bufAddString(big, big.data(), 32768), PACK_ELENGTH);
  EXPECT_EQ(bufAddString(big, big.data(), 32767 - 4), 0);
  EXPECT_EQ(bufAddChar(big, 'a'), PACK_EROOM);

  std::array<std::uint8_t, 10> tiny{};
  EXPECT_EQ(bufInit(tiny, 0, 0, 0, 0, 21, 0), PACK_EROOM);

  std::vector<std::uint8_t> negative = Raw::header(21, 0, 0, -1).bytes;
  negative.resize(64);
  EXPECT_EQ(bufAddChar(negative, 'a'), PACK_EBADBUF);
}

struct ReadCase {
  const char* what;
  int (*read)(std::span<const std::uint8_t>);
  int expected;
};

const ReadCase kReads[] = {
    {"Short 0xFFFE as Int", [](std::span<const std::uint8_t> b) { return static_cast<int>(bufGetInt(b, 1)); }, -2},
    {"Short", [](std::span<const std::uint8_t> b) { return static_cast<int>(bufGetShort(b, 1)); }, -2},
    {"Int", [](std::span<const std::uint8_t> b) { return static_cast<int>(bufGetInt(b, 2)); }, 0x12345678},
    {"Int as Short: low 16 bits", [](std::span<const std::uint8_t> b) { return static_cast<int>(bufGetShort(b, 2)); },
     0x5678},
    {"Char", [](std::span<const std::uint8_t> b) { return bufGetChar(b, 3); }, 'x'},
    {"n 0 is the first", [](std::span<const std::uint8_t> b) { return static_cast<int>(bufGetShort(b, 0)); }, -2},
    {"len Short", [](std::span<const std::uint8_t> b) { return bufParamLen(b, 1); }, 2},
    {"len Int", [](std::span<const std::uint8_t> b) { return bufParamLen(b, 2); }, 4},
    {"len Char", [](std::span<const std::uint8_t> b) { return bufParamLen(b, 3); }, 1},
    {"len String", [](std::span<const std::uint8_t> b) { return bufParamLen(b, 5); }, 5},
    {"len missing", [](std::span<const std::uint8_t> b) { return bufParamLen(b, 6); }, -1},
};

TEST(PackBufRead, Values) {
  std::array<std::uint8_t, 128> room{};
  const std::vector<std::uint8_t> buf = sampleBuffer(room);
  for (const ReadCase& c : kReads) EXPECT_EQ(c.read(buf), c.expected) << c.what;

  const std::uint8_t* s = bufGetString(buf, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s), 5), "hello");
  EXPECT_EQ(bufFindParam(buf, 4), buf.data() + 24 + 6 + 8 + 5);

  std::array<std::uint8_t, 3> small{};
  EXPECT_EQ(bufCopyString(buf, 5, small), 3);
  EXPECT_EQ(std::string(small.begin(), small.end()), "hel");
  std::array<std::uint8_t, 16> large{};
  EXPECT_EQ(bufCopyString(buf, 4, large), 3);
  EXPECT_EQ(std::memcmp(large.data(), "ab\0", 3), 0);
}

struct FailCase {
  const char* what;
  int (*read)(std::span<const std::uint8_t>);
  int failure;
};

const FailCase kFailures[] = {
    {"Char of a Short", [](std::span<const std::uint8_t> b) { return bufGetChar(b, 1); }, 0xFF},
    {"Int of a Char", [](std::span<const std::uint8_t> b) { return static_cast<int>(bufGetInt(b, 3)); }, -1},
    {"Short of a String", [](std::span<const std::uint8_t> b) { return static_cast<int>(bufGetShort(b, 5)); }, -1},
    {"String of an Int",
     [](std::span<const std::uint8_t> b) { return bufGetString(b, 2) == nullptr ? -1 : 0; }, -1},
    {"copy of a Char",
     [](std::span<const std::uint8_t> b) {
       std::array<std::uint8_t, 8> d{};
       return bufCopyString(b, 3, d);
     },
     0},
    {"copy into nothing", [](std::span<const std::uint8_t> b) { return bufCopyString(b, 5, {}); }, 0},
};

TEST(PackBufRead, InsistFailuresLogAndDump) {
  std::array<std::uint8_t, 128> room{};
  const std::vector<std::uint8_t> buf = sampleBuffer(room);
  for (const FailCase& c : kFailures) {
    LogCapture log(testName());
    EXPECT_EQ(c.read(buf), c.failure) << c.what;
    const std::string text = log.text();
    EXPECT_EQ(count(text, "ERROR: insist failed at "), 1) << c.what;
    EXPECT_NE(text.find(" of packbuf.cpp\n"), std::string::npos) << c.what;
    EXPECT_NE(text.find("Dump dFmsgo     buffer P2 Pri=1 Q3 Seg=4 Sub=5 Prm=5\n"), std::string::npos) << c.what;
  }
}

TEST(PackBufRead, WantParamBeyondPrm) {
  std::vector<std::uint8_t> buf = Raw::header(22, 0, 2, 11).u16(0).u16(2).u32(9).u16(0).u16(0).byte('a').bytes;
  LogCapture log(testName());
  EXPECT_EQ(bufGetInt(buf, 3), -1);
  EXPECT_EQ(bufFindParam(buf, 3), nullptr);
  EXPECT_EQ(bufGetInt(buf, 1), 9);
  const std::string text = log.text();
  EXPECT_EQ(count(text, " Want param 3 of only 2\n"), 2);
  EXPECT_NE(text.find("packbuf.cpp:"), std::string::npos);
  EXPECT_EQ(text.find("insist"), std::string::npos);
}

TEST(PackBufRead, NegativeLenMeansNoParameters) {
  // Prm says 1, but len 0xFFFF (negative) wins.
  std::vector<std::uint8_t> buf = Raw::header(21, 0, 1, 0xFFFF).u16(0).u16(0).byte('a').bytes;
  LogCapture log(testName(), "t");
  EXPECT_EQ(bufParamLen(buf, 1), -1);
  EXPECT_EQ(bufGetChar(buf, 1), 0xFF);
  EXPECT_EQ(getBufSize(buf), 24);
  dumpbuf(buf);
  const std::string text = log.text();
  EXPECT_NE(text.find("Want param 1 of only 0\n"), std::string::npos);
  EXPECT_NE(text.find("dumpbuf: len is -1 so assume 0 prms\n"), std::string::npos);
  EXPECT_EQ(text.find(" Char "), std::string::npos);
}

TEST(PackBufSize, HeaderOnlyAndBadTypes) {
  EXPECT_EQ(getBufSize(Raw::header(21, 0, 0, 0).bytes), 24);

  std::vector<std::uint8_t> bad = Raw::header(21, 0, 2, 10).u16(0).u16(1).u16(7).u16(0).u16(7).u32(0).bytes;
  LogCapture log(testName());
  EXPECT_EQ(getBufSize(bad), 24);
  EXPECT_EQ(bufParamLen(bad, 2), -1);
  const std::string text = log.text();
  EXPECT_NE(text.find("ERROR:  2 Bad type 7 (0x7)\n"), std::string::npos);
  EXPECT_NE(text.find("---- getBufSize ZENBUF len=38 "), std::string::npos);
}

// Heads that claim more than arrived: nothing is read past the buffer.
TEST(PackBufBounds, TruncatedParameters) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int n; // the parameter that lies outside
  };
  const Case cases[] = {
      {"string longer than the buffer", Raw::header(21, 0, 1, 104).u16(100).u16(3).text("abc").bytes, 1},
      {"negative string length", Raw::header(21, 0, 1, 4).u16(0x8000).u16(3).bytes, 1},
      {"Prm beyond the bytes", Raw::header(21, 0, 3, 5).u16(0).u16(0).byte('a').bytes, 2},
      {"half a head", Raw::header(21, 0, 1, 4).u16(0).bytes, 1},
      {"Int cut short", Raw::header(21, 0, 1, 8).u16(0).u16(2).u16(1).bytes, 1},
      {"short header", Raw{}.u32(1).u16(2).bytes, 1},
  };
  for (const Case& c : cases) {
    LogCapture log(testName());
    // Exact-size heap copies, so a read past the end is caught by the sanitizers.
    std::vector<std::uint8_t> buf(c.bytes);
    EXPECT_EQ(getBufSize(buf), 24) << c.what;
    EXPECT_EQ(bufGetString(buf, c.n), nullptr) << c.what;
    EXPECT_EQ(bufGetInt(buf, c.n), -1) << c.what;
    EXPECT_EQ(bufParamLen(buf, c.n), -1) << c.what;
    dumpbuf(buf);
    EXPECT_FALSE(log.text().empty()) << c.what;
  }
}

TEST(PackBufDump, Lines) {
  std::array<std::uint8_t, 128> room{};
  const std::vector<std::uint8_t> buf = sampleBuffer(room);
  LogCapture log(testName());
  dumpbuf(buf);
  const std::string text = log.text();
  for (const char* line : {"Dump dFmsgo     buffer P2 Pri=1 Q3 Seg=4 Sub=5 Prm=5\n", " 1 Short -2\n",
                           " 2 Int   305419896   (0x12345678)\n", " 3 Char  'x' x78\n", "----  4 String len=3 ",
                           "----  5 String len=5 ", "End of dump dFmsgo     buffer\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(PackBufDump, ThirteenParametersAreShownRaw) {
  Raw r = Raw::header(21, 0, 13, 13 * 5);
  for (int i = 0; i < 13; ++i) r.u16(0).u16(0).byte('A' + i);
  std::vector<std::uint8_t> buf = r.bytes;
  buf.resize(256, 0x20);
  LogCapture log(testName());
  dumpbuf(buf);
  const std::string text = log.text();
  EXPECT_NE(text.find("Dump dFmsgo     buffer P0 Pri=0 Q0 Seg=0 Sub=0 Prm=13\n"), std::string::npos);
  EXPECT_NE(text.find("---- ZENBUF len=200 "), std::string::npos);
  EXPECT_EQ(text.find(" Char "), std::string::npos);
  EXPECT_EQ(text.find("End of dump"), std::string::npos);
}

TEST(PackBufDump, UnprintableCharBadTypeAndOneParameter) {
  LogCapture log(testName());
  dumpbuf(Raw::header(-21, 0, 1, 5).u16(0).u16(0).byte(0x07).bytes);
  dumpbuf(Raw::header(203, 0, 2, 10, 0, 0, 0, -8191).u16(0).u16(0).byte('a').u16(0).u16(9).bytes);
  const std::string text = log.text();
  EXPECT_NE(text.find("Dump DFMSGO     buffer"), std::string::npos);
  EXPECT_NE(text.find(" 1 Char  '.' x07\n"), std::string::npos);
  // One parameter shown: no closing line.
  EXPECT_EQ(text.find("End of dump DFMSGO"), std::string::npos);
  // Seg / 4096 rounds toward zero.
  EXPECT_NE(text.find("Dump dF#203     buffer P0 Pri=0 Q0 Seg=-1 Sub=0 Prm=2\n"), std::string::npos);
  EXPECT_NE(text.find("ERROR:  2 Bad type 9 (0x9)\n"), std::string::npos);
  EXPECT_NE(text.find("---- Dump ZENBUF len=33 "), std::string::npos);
  EXPECT_EQ(text.find("End of dump dF#203"), std::string::npos);
}

TEST(PackBufDump, TextSinkHasNoTimeStamps) {
  std::array<std::uint8_t, 128> room{};
  const std::vector<std::uint8_t> buf = sampleBuffer(room);
  std::string out;
  dumpbufText(buf, out);
  const std::string want =
      "Dump dFmsgo     buffer P2 Pri=1 Q3 Seg=4 Sub=5 Prm=5\n"
      " 1 Short -2\n"
      " 2 Int   305419896   (0x12345678)\n"
      " 3 Char  'x' x78\n"
      "----  4 String len=3  ----\n"
      " 000000 : 616200                                                'ab.'\n"
      "\n"
      "----  5 String len=5  ----\n"
      " 000000 : 68656C6C 6F                                           'hello'\n"
      "\n"
      "End of dump dFmsgo     buffer\n";
  EXPECT_EQ(out, want);
}

} // namespace
