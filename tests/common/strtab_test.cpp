#include "common/strtab.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(StrTab, KnownTexts) {
  struct Case {
    int number;
    const char* text;
  };
  const Case cases[] = {
      {12001, "Korvex"},
      {12015, "Version"},
      {16021, "Error"},
      {16026, "Unable to start Korvex.\nMake sure that the TCP/IP drivers are loaded."},
      {16027, "Unable to start Korvex.\nKorvex may already be running."},
      {16033, "Build"},
      {16036, "Revision"},
      {17012, "Moving KORVEX.INI file from '%s' to '%s'"},
  };
  for (const Case& c : cases) EXPECT_STREQ(strGet(c.number), c.text) << c.number;
}

TEST(StrTab, UnknownNumbersGiveEmptyText) {
  for (int n : {0, -1, 12000, 99999}) {
    const char* t = strGet(n);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t, "");
  }
}

TEST(StrTab, NumbersAreUnique) {
  for (int i = 0; i < strMainTable.count; ++i)
    for (int j = i + 1; j < strMainTable.count; ++j)
      EXPECT_NE(strMainTable.entries[i].number, strMainTable.entries[j].number);
}
