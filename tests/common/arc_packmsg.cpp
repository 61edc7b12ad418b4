#include "common/arc/packmsg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arc_helpers.h"

using arctest::count;
using arctest::LogCapture;
using arctest::Raw;
using arctest::testName;

namespace {

constexpr int OVERFLOW_SIZE = 5000;

// A session's message with its overflow area, guarded on both sides so that
// a write outside either shows.
struct Session {
  std::unique_ptr<ZENMSG> msg = std::make_unique<ZENMSG>();
  std::vector<std::uint8_t> block = std::vector<std::uint8_t>(OVERFLOW_SIZE + 64, 0xEE);
  ZenOverflow overflow{block.data() + 32, OVERFLOW_SIZE};
  Session() {
    std::memset(msg.get(), 0, sizeof(ZENMSG));
    std::memset(block.data() + 32, 0, OVERFLOW_SIZE);
  }
  bool guardsIntact() const {
    for (int i = 0; i < 32; ++i)
      if (block[static_cast<std::size_t>(i)] != 0xEE || block[block.size() - 1 - static_cast<std::size_t>(i)] != 0xEE)
        return false;
    return true;
  }
};

std::vector<std::uint8_t> stringBuffer(const std::vector<std::string>& strings, int func = 22) {
  int len = 0;
  for (const std::string& s : strings) len += 4 + static_cast<int>(s.size());
  Raw r = Raw::header(func, 7, static_cast<int>(strings.size()), len, 11, 12, 13, 14 * 4096);
  for (const std::string& s : strings) r.u16(static_cast<int>(s.size())).u16(3).text(s);
  return r.bytes;
}

std::string msgString(const ZENMSG& msg, const ZenOverflow* overflow, int n) {
  std::array<std::uint8_t, 256> out{};
  const int got = msgCopyString(msg, overflow, n, out);
  return got < 0 ? "<fail>" : std::string(out.begin(), out.begin() + got);
}

std::uint16_t headLength(const std::uint8_t* entry) {
  std::uint16_t v;
  std::memcpy(&v, entry, 2);
  return v;
}
std::int16_t headType(const std::uint8_t* entry) {
  std::int16_t v;
  std::memcpy(&v, entry + 2, 2);
  return v;
}

TEST(PackMsgUnpack, HeaderAndFixedValues) {
  Session s;
  std::vector<std::uint8_t> buf =
      Raw::header(21, 9, 3, 6 + 8 + 5, 1, 2, 3, 4).u16(0).u16(1).u16(0xFFFE).u16(0).u16(2).u32(-5).u16(0).u16(0).byte(0xC1).bytes;
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, buf, 0, 0), 3);
  const ZENMSG& m = *s.msg;
  EXPECT_EQ(m.Pri, 1);
  EXPECT_EQ(m.P, 2);
  EXPECT_EQ(m.Q, 3);
  EXPECT_EQ(m.Seg, 4);
  EXPECT_EQ(m.func, 21);
  EXPECT_EQ(m.Sub, 9);
  EXPECT_EQ(m.used, 24);
  std::int32_t v = 0;
  ASSERT_EQ(msgGetInt(m, 1, &v), 0);
  EXPECT_EQ(v, -2);
  ASSERT_EQ(msgGetInt(m, 2, &v), 0);
  EXPECT_EQ(v, -5);
  EXPECT_EQ(msgGetChar(m, 3), 0xC1);
  // Fixed values stay in network order inside the message.
  const std::uint8_t* data = msgGetData(m, &s.overflow, 2);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::vector<std::uint8_t>(data, data + 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFB}));
  EXPECT_EQ(msgParamLen(m, 1), 2);
  EXPECT_EQ(msgParamLen(m, 2), 4);
  EXPECT_EQ(msgParamLen(m, 3), 1);
}

TEST(PackMsgUnpack, InlineUpTo20BytesOverflowFrom21) {
  Session s;
  const std::string s20(20, 'a');
  const std::string s21(21, 'b');
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, stringBuffer({s20, s21, "xyz"}), 0, 0), 3);
  const ZENMSG& m = *s.msg;
  const std::uint8_t* e1 = msgFindParam(m, 1);
  const std::uint8_t* e2 = msgFindParam(m, 2);
  ASSERT_TRUE(e1 && e2);
  EXPECT_EQ(headType(e1), 3);
  EXPECT_EQ(headLength(e1), 20);
  EXPECT_EQ(headType(e2), 5);
  EXPECT_EQ(headLength(e2), 21);
  EXPECT_EQ(e2 - e1, 8 + 20);
  EXPECT_EQ(m.overflowUsed, 24);
  EXPECT_EQ(m.used, 8 + 20 + 8 + 8 + 4);
  EXPECT_EQ(msgString(m, &s.overflow, 1), s20);
  EXPECT_EQ(msgString(m, &s.overflow, 2), s21);
  EXPECT_EQ(msgString(m, &s.overflow, 3), "xyz");
  EXPECT_EQ(msgGetData(m, &s.overflow, 2), s.overflow.base);
  EXPECT_EQ(msgParamLen(m, 2), 21);
  EXPECT_TRUE(s.guardsIntact());

  // A new whole message replaces the parameters and their overflow share.
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, stringBuffer({s21}), 0, 0), 1);
  EXPECT_EQ(m.overflowUsed, 24);
  EXPECT_EQ(m.used, 8);
}

TEST(PackMsgUnpack, WithoutOverflowAreaStringsStayInline) {
  Session s;
  const std::string s100(100, 'c');
  ASSERT_EQ(bufToMsg(*s.msg, nullptr, stringBuffer({s100}), 0, 0), 1);
  EXPECT_EQ(headType(msgFindParam(*s.msg, 1)), 3);
  EXPECT_EQ(msgString(*s.msg, nullptr, 1), s100);

  // 100 + 8 + 600 does not fit the area: fatal, and nothing written past it.
  LogCapture log(testName());
  const std::string s600(600, 'd');
  EXPECT_EQ(bufToMsg(*s.msg, nullptr, stringBuffer({s100, s600}), 0, 0), PACK_EFATAL);
  EXPECT_EQ(s.msg->Prm, 1);
  EXPECT_EQ(s.msg->used, 108);
  EXPECT_NE(log.text().find("insist failed at "), std::string::npos);
}

TEST(PackMsgUnpack, FullOverflowAreaRefuses) {
  Session s;
  ZenOverflow none{s.overflow.base, 0};
  LogCapture log(testName());
  EXPECT_EQ(bufToMsg(*s.msg, &none, stringBuffer({"short", std::string(40, 'e')}), 0, 0), PACK_EINVALID);
  // The string before the refusal stays.
  EXPECT_EQ(s.msg->Prm, 1);
  EXPECT_EQ(msgString(*s.msg, &none, 1), "short");
  const std::string text = log.text();
  EXPECT_NE(text.find("ERROR: insist failed at "), std::string::npos);
  EXPECT_EQ(s.block[32], 0);
  EXPECT_TRUE(s.guardsIntact());

  ZenOverflow small{s.overflow.base, 48};
  EXPECT_EQ(bufToMsg(*s.msg, &small, stringBuffer({std::string(40, 'f'), std::string(40, 'g')}), 0, 0),
            PACK_EINVALID);
  EXPECT_EQ(s.msg->overflowUsed, 40);
  EXPECT_TRUE(s.guardsIntact());
}

TEST(PackMsgLimits, SixtyThreeFixedParametersAndNoMore) {
  for (int n : {63, 64}) {
    Session s;
    Raw r = Raw::header(21, 0, n, n * 5);
    for (int i = 0; i < n; ++i) r.u16(0).u16(0).byte(i);
    LogCapture log(testName() + std::to_string(n));
    const int got = bufToMsg(*s.msg, &s.overflow, r.bytes, 0, 0);
    EXPECT_EQ(s.msg->used, 504);
    EXPECT_EQ(s.msg->Prm, 63);
    const std::string text = log.text();
    if (n == 63) {
      EXPECT_EQ(got, 63);
      EXPECT_EQ(msgGetChar(*s.msg, 63), 62);
    } else {
      EXPECT_EQ(got, PACK_EFATAL);
      EXPECT_NE(text.find("insist failed at "), std::string::npos);
      EXPECT_NE(text.find(" of packmsg.cpp\n"), std::string::npos);
    }
  }
  Session s;
  for (int i = 0; i < 63; ++i) ASSERT_EQ(msgAddInt(*s.msg, i), 0);
  EXPECT_EQ(msgAddString(*s.msg, &s.overflow, "x", 1), PACK_EFATAL);
  EXPECT_EQ(msgAddShort(*s.msg, 1), PACK_EFATAL);
  EXPECT_EQ(s.msg->used, 504);
}

TEST(PackMsgUnpack, RangesReplaceOrAppend) {
  Session s;
  const std::vector<std::uint8_t> buf = stringBuffer({"one", "two", "three", "four"});
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, buf, 2, 3), 2);
  EXPECT_EQ(s.msg->Sub, 0); // only a whole message copies Sub
  EXPECT_EQ(msgString(*s.msg, &s.overflow, 1), "two");
  EXPECT_EQ(msgString(*s.msg, &s.overflow, 2), "three");
  // A range starting later appends.
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, buf, 4, 4), 3);
  EXPECT_EQ(msgString(*s.msg, &s.overflow, 3), "four");
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, buf, 0, 0), 4);
  EXPECT_EQ(s.msg->Sub, 7);
}

TEST(PackMsgUnpack, MalformedBuffers) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int result;
    int held;
  };
  const Case cases[] = {
      {"bad type after one", Raw::header(21, 0, 2, 9).u16(0).u16(0).byte('a').u16(0).u16(4).bytes, PACK_EINVALID, 1},
      {"negative string length", Raw::header(21, 0, 1, 4).u16(0xFFFF).u16(3).bytes, PACK_EINVALID, 0},
      {"string past the end", Raw::header(21, 0, 1, 504).u16(500).u16(3).text("abc").bytes, PACK_EINVALID, 0},
      {"Prm past the end", Raw::header(21, 0, 5, 5).u16(0).u16(0).byte('a').bytes, PACK_EINVALID, 1},
      {"short header", Raw::header(21, 0, 0, 0).u16(0).bytes, 0, 0},
      {"len negative", Raw::header(21, 0, 3, 0x8000).u16(0).u16(0).byte('a').bytes, 0, 0},
  };
  for (const Case& c : cases) {
    Session s;
    std::vector<std::uint8_t> buf(c.bytes);
    LogCapture log(testName(), "t");
    EXPECT_EQ(bufToMsg(*s.msg, &s.overflow, buf, 0, 0), c.result) << c.what;
    EXPECT_EQ(s.msg->Prm, c.held) << c.what;
    const std::string text = log.text();
    if (c.result < 0) {
      EXPECT_NE(text.find("ERROR: insist failed at "), std::string::npos) << c.what;
    }
    EXPECT_TRUE(s.guardsIntact()) << c.what;
  }
  LogCapture log(testName(), "t");
  Session s;
  bufToMsg(*s.msg, &s.overflow, Raw::header(21, 0, 3, 0xFFFF).bytes, 0, 0);
  EXPECT_NE(log.text().find("packbuf: len is -1 so assume 0 prms\n"), std::string::npos);
}

TEST(PackMsgRead, MissingAndWrongTypesAreFatal) {
  Session s;
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, stringBuffer({"abc", "de"}, 36), 0, 0), 2);
  ASSERT_EQ(msgAddChar(*s.msg, 'q'), 0);
  LogCapture log(testName());
  std::int32_t v = 0;
  EXPECT_EQ(msgGetInt(*s.msg, 1, &v), PACK_EFATAL);
  EXPECT_EQ(msgGetChar(*s.msg, 2), PACK_EFATAL);
  EXPECT_EQ(msgGetData(*s.msg, &s.overflow, 4), nullptr);
  std::array<std::uint8_t, 4> out{};
  EXPECT_EQ(msgCopyString(*s.msg, &s.overflow, 3, out), PACK_EFATAL);
  EXPECT_EQ(msgParamLen(*s.msg, 9), -1);
  EXPECT_EQ(msgGetChar(*s.msg, 3), 'q');
  // The fatal path switches tracing on.
  EXPECT_TRUE(logFlags & LOG_PACKET);
  const std::string text = log.text();
  EXPECT_EQ(count(text, "insist failed at "), 4);
  EXPECT_NE(text.find("packmsg.cpp Want param 4 of only 3; func 36; sub 7\n"), std::string::npos);
  EXPECT_NE(text.find("packmsg.cpp Want param 9 of only 3; func 36; sub 7\n"), std::string::npos);
}

TEST(PackMsgAdd, BigStringAndNegativeLength) {
  Session s;
  std::vector<std::uint8_t> block(70000);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> area(80000);
  ZenOverflow big{area.data(), static_cast<std::int32_t>(area.size())};
  ASSERT_EQ(msgAddString(*s.msg, &big, "hi", -1), 0);
  ASSERT_EQ(msgAddString(*s.msg, &big, block.data(), 70000), 0);
  ASSERT_EQ(msgAddChar(*s.msg, 'z'), 0);
  const std::uint8_t* e = msgFindParam(*s.msg, 2);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(headType(e), 10);
  EXPECT_EQ(headLength(e), 8);
  EXPECT_EQ(s.msg->used, 12 + 16 + 8);
  EXPECT_EQ(msgParamLen(*s.msg, 1), 3);
  EXPECT_EQ(msgParamLen(*s.msg, 2), 70000);
  EXPECT_EQ(msgGetChar(*s.msg, 3), 'z');
  const std::uint8_t* data = msgGetData(*s.msg, &big, 2);
  ASSERT_EQ(data, area.data());
  EXPECT_EQ(std::memcmp(data, block.data(), block.size()), 0);
  std::vector<std::uint8_t> copy(100);
  EXPECT_EQ(msgCopyString(*s.msg, &big, 2, copy), 100);
}

TEST(PackMsgDump, Lines) {
  Session s;
  std::vector<std::uint8_t> buf = Raw::header(21, 4, 4, 5 + 6 + 8 + 4 + 30, 0, 3, 0, 8192)
                                      .u16(0).u16(0).byte('k')
                                      .u16(0).u16(1).u16(300)
                                      .u16(0).u16(2).u32(-1)
                                      .u16(30).u16(3).text(std::string(30, 'w'))
                                      .bytes;
  ASSERT_EQ(bufToMsg(*s.msg, &s.overflow, buf, 0, 0), 4);
  ASSERT_EQ(msgAddString(*s.msg, &s.overflow, "tiny", 4), 0);
  std::string out;
  dumpbmsgText(*s.msg, &s.overflow, out);
  char io[64];
  std::snprintf(io, sizeof io, "----  4 IO String @ %lX len=30  ----\n",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(s.overflow.base)));
  for (const char* line : {"Dump dFmsgo     message P3 Pri=0 Q0 Seg=2 Sub=4 Prm=5\n", "-  1 Char  'k' x6B\n",
                           " 2 Short 300\n", "-  3 Int   -1   (0xFFFFFFFF)\n", static_cast<const char*>(io),
                           "----  5 String len=4  ----\n", "End of dump dFmsgo     message\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;

  LogCapture log(testName());
  dumpbmsg(*s.msg, &s.overflow);
  s.msg->Prm = 13;
  dumpbmsg(*s.msg, &s.overflow);
  const std::string text = log.text();
  EXPECT_NE(text.find("End of dump dFmsgo     message\n"), std::string::npos);
  EXPECT_NE(text.find("---- ZENMSG len=200 "), std::string::npos);
}

} // namespace
