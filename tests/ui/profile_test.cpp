// The configuration store keeps private-profile semantics.
#include "support/kvxtest.h"
#include "ui/profile.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

class Profile : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = kvxtest::scratchDir("profile") + "/korvex.ini";
        std::ofstream(path) << "; settings\n[Options]\nPort = 12400\nProtocol=Telnet\n\n[Hosts]\nH00=alpha\n"
                               "[Fonts]\nDefWin03State=0,0,400,300,0,300,80,0\nDefWin04State=10,20,410,320,12,30,100,1\n"
                               "DefWin05State=1,2,3,4,9\n";
        cfgSetFile(path.c_str());
    }
    std::string text() const
    {
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string get(const char* section, const char* key, const char* def = "(none)")
    {
        char buf[64];
        cfgGetString(section, key, def, buf, sizeof buf);
        return buf;
    }
    std::string path;
};

TEST_F(Profile, ReadsValuesWithDefaultsAndAnyCaseOfNames)
{
    EXPECT_EQ(get("options", "PROTOCOL"), "Telnet");
    EXPECT_EQ(cfgGetInt("Options", "Port", 0), 12400);
    EXPECT_EQ(get("Options", "Missing"), "(none)");
    EXPECT_EQ(cfgGetInt("Options", "Protocol", 7), 7);   // not a number
    EXPECT_EQ(get("Nosuch", "H00"), "(none)");
    char small[4];
    EXPECT_EQ(cfgGetString("Hosts", "H00", "", small, sizeof small), 3);
    EXPECT_STREQ(small, "alp");
}

TEST_F(Profile, WritesReplaceAddAndDeleteKeysKeepingTheRest)
{
    ASSERT_EQ(cfgSetString("Options", "Protocol", "SSH"), 0);
    ASSERT_EQ(cfgSetString("Hosts", "H01", "beta"), 0);
    ASSERT_EQ(cfgSetString("Macros", "M1", "x"), 0);
    ASSERT_EQ(cfgSetString("Options", "Port", nullptr), 0);
    ASSERT_EQ(cfgSetString("Options", "Nothing", ""), 0);
    EXPECT_EQ(get("Options", "Protocol"), "SSH");
    EXPECT_EQ(get("Options", "Port"), "(none)");
    EXPECT_EQ(get("Hosts", "H01"), "beta");
    EXPECT_EQ(get("Macros", "M1"), "x");
    std::string t = text();
    EXPECT_NE(t.find("; settings"), std::string::npos);
    // The new host lands inside its section, before the next one.
    EXPECT_LT(t.find("H01=beta"), t.find("[Fonts]"));
}

TEST_F(Profile, WindowStatesKeepTheirRangeRules)
{
    CfgWindowState w;
    ASSERT_EQ(cfgGetWindowState(3, &w), 1);
    EXPECT_EQ(w.rows, 24);   // 300 rows is out of range
    EXPECT_EQ(w.cols, 80);
    EXPECT_EQ(w.right, 400);
    ASSERT_EQ(cfgGetWindowState(4, &w), 1);
    EXPECT_EQ(w.fontSize, 12);
    EXPECT_EQ(w.rows, 30);
    EXPECT_EQ(w.cols, 100);
    EXPECT_EQ(w.maximized, 1);
    ASSERT_EQ(cfgGetWindowState(5, &w), 1);
    EXPECT_EQ(w.fontSize, 9);
    EXPECT_EQ(w.rows, 24);
    EXPECT_EQ(cfgGetWindowState(6, &w), 0);
    EXPECT_EQ(w.right, 0);
    EXPECT_EQ(w.cols, 80);
}

} // namespace
