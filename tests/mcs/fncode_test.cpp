#include "mcs/fncode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  int code;
  const char* expected;
};

constexpr NameCase kNameCases[] = {
    {21, "dFmsgo    "},
    {-21, "DFMSGO    "},
    {1, "dFlogin   "},
    {200, "dFfmtReq  "},
    {250, "dFmcbPassoff"},
    {120, "dFdoneCleanUp"},
    {236, "dFwsVersionInfo"},
    {-236, "DFWSVERSIONINFO"},
    {203, "dF#203    "},
    {251, "dF#251    "},
    {0, "dF#0      "},
    {-203, "DF#203    "},
    {10, "dF#10     "},
    {99999, "dF#99999  "},
    {-2147483647 - 1, "DF#2147483648"},
};

class FunctionName : public ::testing::TestWithParam<NameCase> {};

TEST_P(FunctionName, NameIsPaddedAndCased) {
  EXPECT_EQ(std::string(functionName(GetParam().code)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, FunctionName, ::testing::ValuesIn(kNameCases));

TEST(FunctionNameTable, NamedAndUnnamedCodes) {
  int named = 0;
  for (int code = 1; code <= DF_MAXCODE; ++code) {
    const char* name = functionTableName(code);
    if (!name) continue;
    ++named;
    EXPECT_EQ(std::string(name, 2), "dF") << code;
  }
  EXPECT_EQ(named, 155);
  for (int code : {10, 13, 43, 46, 50, 55, 58, 81, 101, 105, 108, 109, 113, 140, 152, 157, 159, 163, 198, 202, 215,
                   228, 229, 237, 239, 243, 249, 0, 251})
    EXPECT_EQ(functionTableName(code), nullptr) << code;
  EXPECT_STREQ(functionTableName(22), "dFmsgi");
  EXPECT_STREQ(functionTableName(201), "dFutsoutraw");
  EXPECT_STREQ(functionTableName(162), "dFmsgxe");
}

TEST(FunctionNameBuffers, ThreeResultsLiveTogether) {
  const char* a = functionName(21);
  const char* b = functionName(22);
  const char* c = functionName(200);
  EXPECT_STREQ(a, "dFmsgo    ");
  EXPECT_STREQ(b, "dFmsgi    ");
  EXPECT_STREQ(c, "dFfmtReq  ");
  EXPECT_NE(a, b);
  EXPECT_NE(b, c);
  // The fourth call takes the first buffer again.
  const char* d = functionName(1);
  EXPECT_EQ(d, a);
  EXPECT_STREQ(a, "dFlogin   ");
  EXPECT_STREQ(b, "dFmsgi    ");
}

} // namespace
