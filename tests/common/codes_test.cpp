#include "common/codes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(Codes, TablesAgreeOnExactly129Codes) {
  int ascRoundTrips = 0, ebcRoundTrips = 0;
  for (int c = 0; c < 256; ++c) {
    if (ebcToAsc(ascToEbc(static_cast<unsigned char>(c))) == c) ++ascRoundTrips;
    if (ascToEbc(ebcToAsc(static_cast<unsigned char>(c))) == c) ++ebcRoundTrips;
  }
  EXPECT_EQ(ascRoundTrips, 129);
  EXPECT_EQ(ebcRoundTrips, 129);
  for (int c = 0; c < 128; ++c) EXPECT_EQ(ebcToAsc(ascToEbc(static_cast<unsigned char>(c))), c) << c;
  EXPECT_EQ(ebcToAsc(ascToEbc(0xFF)), 0xFF);
  // The line-graphics codes go out but do not come back.
  for (unsigned char e : {0xAB, 0xAC, 0xBB, 0xBC, 0x8C, 0x9E, 0xAE}) EXPECT_EQ(ebcToAsc(e), 0x20) << int(e);
}

TEST(Codes, EbcdicSingleAndRuns) {
  EXPECT_EQ(ascToEbc('A'), 0xC1);
  EXPECT_EQ(ebcToAsc(0xC1), 'A');
  EXPECT_EQ(ascToEbc(0xB3), 0x40);
  EXPECT_EQ(ascToEbc(0xAE), 0x1C);
  EXPECT_EQ(ascToEbc(0xF3), 0x8C);
  unsigned char run[] = "Zendra 42";
  ascToEbcBuf(run, 9);
  const unsigned char expected[] = {0xE9, 0x85, 0x95, 0x84, 0x99, 0x81, 0x40, 0xF4, 0xF2};
  EXPECT_EQ(std::memcmp(run, expected, 9), 0);
  ebcToAscBuf(run, 9);
  EXPECT_EQ(std::memcmp(run, "Zendra 42", 9), 0);
}

TEST(Codes, BigEndian16) {
  struct Case {
    unsigned char b0, b1;
    int value;
  };
  const Case cases[] = {{0xFF, 0xFE, -2}, {0x80, 0x00, -32768}, {0x7F, 0xFF, 32767}, {0x01, 0x02, 258}, {0, 0, 0}};
  for (const Case& c : cases) {
    const unsigned char in[2] = {c.b0, c.b1};
    EXPECT_EQ(getBe16(in), c.value);
    unsigned char out[2] = {0x55, 0x55};
    putBe16(c.value, out);
    EXPECT_EQ(out[0], c.b0);
    EXPECT_EQ(out[1], c.b1);
  }
  unsigned char out[2];
  putBe16(0x12345, out);  // only the low 16 bits are stored
  EXPECT_EQ(out[0], 0x23);
  EXPECT_EQ(out[1], 0x45);
}

TEST(Codes, NumericText) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"12", 12}, {"1J", -11}, {"1{", 10}, {" 7", 7},   {"-5", -5},    {"1q", -11},   {"0p", 0},
      {"    ", 0}, {"12-", -12}, {"9R", -99}, {"1}", -10}, {"1,234.5", 12345}, {"+3", 3}, {"", 0},
  };
  for (const Case& c : cases) {
    int magnitude = -1;
    EXPECT_EQ(numTextValue(c.text, static_cast<int>(std::strlen(c.text)), &magnitude), c.value) << c.text;
    EXPECT_EQ(magnitude, c.value < 0 ? -c.value : c.value) << c.text;
  }
  // The length bounds the scan, not a terminator.
  EXPECT_EQ(numTextValue("123456", 3), 123);
  // Far too many digits saturate instead of overflowing.
  std::string big(40, '9');
  EXPECT_GT(numTextValue(big.c_str(), static_cast<int>(big.size())), 0);
}

TEST(Codes, PaddedCopy) {
  char buf[9];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(padCopy(buf, "abc", 8), 3);
  EXPECT_EQ(std::string(buf, 9), "abc     #");
  EXPECT_EQ(padCopy(buf, "abcdefghijk", 8), 8);
  EXPECT_EQ(std::string(buf, 9), "abcdefgh#");
  EXPECT_EQ(padCopy(buf, "", 2), 0);
  EXPECT_EQ(std::string(buf, 2), "  ");
}

TEST(Codes, NationalUpperCase) {
  struct Case {
    const char* text;
    int language;
    const char* upper;
  };
  const Case cases[] = {
      {"pays{x}", 4, "PAYS[X]"},
      {"pays{x}", 3, "PAYS{X}"},
      {"pays{x}", 99, "PAYS{X}"},
      {"@[\\]^`{|}~", 2, "AACEIOEUEU"},
      {"`{|}~", 4, "E[\\]^"},
      {"@\\{|}", 5, "ACEUE"},
      {"{|}~", 6, "[\\]~"},
      {"{|}", 8, "[\\]"},
      {"{|}", 9, "[\\]"},
      {"\\]`{|}~", 7, "CEUAOEI"},
      {"|}{", 10, "\\C{"},
      {"`{|}~", 11, "@[\\]^"},
      {"#@[\\]^_`{|}~", 12, "UAECEIEOAOUU"},
      {"a#1 z", 2, "A#1 Z"},  // 0x23 only changes where the language maps it
  };
  for (const Case& c : cases) {
    std::string s = c.text;
    natUpper(reinterpret_cast<unsigned char*>(s.data()), s.size(), c.language);
    EXPECT_EQ(s, c.upper) << c.text << " language " << c.language;
  }
  EXPECT_EQ(natUpperChar(0xE4, 2), 0xE4);  // bytes above 0x7F are left alone
}

TEST(Codes, LocalTimeWordPacking) {
  LocalTimeWord t = packTimeWord(2024, 12, 31, 2, 23, 59, 58);
  EXPECT_EQ(t.word[0], (2024u - 1970u) | (12u << 8) | (31u << 16) | (2u << 21) | (23u << 24));
  EXPECT_EQ(t.word[1], 59u | (58u << 8));
  LocalTimeWord now = localTimeWord();
  EXPECT_GE(now.word[0] & 0xFF, 2024u - 1970u);
  unsigned month = (now.word[0] >> 8) & 0xF;
  EXPECT_GE(month, 1u);
  EXPECT_LE(month, 12u);
  EXPECT_EQ(now.word[0] & 0xE000F000u, 0u);
  EXPECT_EQ(now.word[1] & ~0x3F3Fu, 0u);
}
