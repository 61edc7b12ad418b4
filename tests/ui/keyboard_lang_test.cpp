// The language maps: the locale decides the workstation language, the
// "Lang" section may carry a user map, and built-in maps are written back.
#include "support/kvxtest.h"
#include "ui/keyboard.h"
#include "ui/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class LangMaps : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = kvxtest::scratchDir(std::string("LangMaps_") + info->name());
        cfgSetFile((dir + "/korvex.ini").c_str());
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        unsetenv("LANG");
    }
    void TearDown() override
    {
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        unsetenv("LANG");
    }
    static std::string get(const char* key)
    {
        char v[64];
        cfgGetString("Lang", key, "<none>", v, sizeof v);
        return v;
    }
    std::string dir;
};

TEST_F(LangMaps, LocaleGivesLanguageAndCountry)
{
    struct Case {
        const char* var;
        const char* value;
        const char* language;
        const char* country;
        int number;
    };
    const Case cases[] = {
        {"LANG", "de_DE.UTF-8", "deu", "Germany", 6},
        {"LANG", "de_CH.UTF-8", "des", "Switzerland", 12},
        {"LANG", "de_AT", "dea", "Austria", 6},
        {"LANG", "fr_CA.UTF-8", "frc", "Canada", 2},
        {"LANG", "fr_FR@euro", "fra", "France", 5},
        {"LANG", "it_CH.UTF-8", "ita", "Switzerland", 12},
        {"LANG", "en_GB.UTF-8", "eng", "United Kingdom", 1},
        {"LANG", "en_US.UTF-8", "enu", "United States", 0},
        {"LC_MESSAGES", "sv_SE.UTF-8", "sve", "Sweden", 11},
        {"LC_ALL", "nb_NO.UTF-8", "nor", "Norway", 8},
        {"LANG", "C", "", "", 0},
        {"LANG", "ja_JP.UTF-8", "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        setenv(c.var, c.value, 1);
        char lang[16], country[64];
        int found = kbIntlFromLocale(lang, sizeof lang, country, sizeof country);
        EXPECT_EQ(found, *c.language ? 1 : 0);
        EXPECT_STREQ(lang, c.language);
        EXPECT_STREQ(country, c.country);
        cfgSetString("Lang", "Language", nullptr);
        ASSERT_EQ(kbLoadLangMaps(), 0);
        EXPECT_EQ(kbLanguageCode(), c.number);
        unsetenv(c.var);
    }
}

TEST_F(LangMaps, LcAllWinsOverLcMessagesAndLang)
{
    setenv("LANG", "fr_FR.UTF-8", 1);
    setenv("LC_MESSAGES", "da_DK.UTF-8", 1);
    char lang[16], country[64];
    kbIntlFromLocale(lang, sizeof lang, country, sizeof country);
    EXPECT_STREQ(lang, "dan");
    setenv("LC_ALL", "fi_FI.UTF-8", 1);
    kbIntlFromLocale(lang, sizeof lang, country, sizeof country);
    EXPECT_STREQ(lang, "fin");
}

TEST_F(LangMaps, GermanLocaleWritesTheLangSection)
{
    setenv("LANG", "de_DE.UTF-8", 1);
    ASSERT_EQ(kbLoadLangMaps(), 0);
    EXPECT_EQ(kbLanguageCode(), 6);
    EXPECT_EQ(get("Language"), "deu");
    EXPECT_EQ(get("Maps"), "08");
    const char* want[] = {"64,167", "91,196", "92,214", "93,220", "123,228", "124,246", "125,252", "126,223"};
    for (int i = 0; i < 8; ++i) {
        char key[16];
        snprintf(key, sizeof key, "Map%03d", i);
        EXPECT_EQ(get(key), want[i]) << key;
    }
    EXPECT_EQ(get("Map008"), "<none>");
    EXPECT_EQ(LangUNIXToWin('['), 0xC4);
    EXPECT_EQ(LangUNIXToWin('~'), 0xDF);
    EXPECT_EQ(LangUNIXToWin('#'), '#');
    EXPECT_EQ(LangWinToUNIX(0xFC), '}');
    EXPECT_EQ(LangWinToUNIX(0x1234), 0x1234);
}

TEST_F(LangMaps, BuiltInMapReplacesOldKeysAndFollowsTheLocaleNotTheName)
{
    cfgSetString("Lang", "Language", "fra");
    for (int i = 0; i < 12; ++i) {
        char key[16];
        snprintf(key, sizeof key, "Map%03d", i);
        cfgSetString("Lang", key, "1,2");
    }
    setenv("LANG", "en_GB", 1);
    ASSERT_EQ(kbLoadLangMaps(), 0);
    EXPECT_EQ(kbLanguageCode(), 1);
    EXPECT_EQ(get("Language"), "eng");
    EXPECT_EQ(get("Maps"), "01");
    EXPECT_EQ(get("Map000"), "35,163");   // # shows as the pound sign
    EXPECT_EQ(get("Map001"), "<none>");
    EXPECT_EQ(get("Map011"), "<none>");
    // US English changes nothing: no map keys at all.
    setenv("LANG", "en_US", 1);
    ASSERT_EQ(kbLoadLangMaps(), 0);
    EXPECT_EQ(get("Maps"), "<none>");
    EXPECT_EQ(get("Map000"), "<none>");
}

TEST_F(LangMaps, UserMapOfAnUnknownLanguage)
{
    setenv("LANG", "de_DE", 1);
    cfgSetString("Lang", "Language", "xyz");
    cfgSetString("Lang", "Maps", "1");
    cfgSetString("Lang", "Map000", "91,196");
    cfgSetString("Lang", "Map001", "92,200");   // beyond the count: ignored
    ASSERT_EQ(kbLoadLangMaps(), 0);
    EXPECT_EQ(kbLanguageCode(), 0);
    EXPECT_EQ(LangUNIXToWin('['), 196);
    EXPECT_EQ(LangWinToUNIX(196), '[');
    EXPECT_EQ(LangUNIXToWin('\\'), '\\');
    EXPECT_EQ(get("Language"), "xyz") << "nothing written back";
    EXPECT_EQ(get("Maps"), "1");
}

TEST_F(LangMaps, BadUserEntriesAndCountsFallBack)
{
    cfgSetString("Lang", "Language", "xyz");
    cfgSetString("Lang", "Maps", "3");
    cfgSetString("Lang", "Map000", "300,1");
    cfgSetString("Lang", "Map001", "65");
    cfgSetString("Lang", "Map002", "66,-1");
    ASSERT_EQ(kbLoadLangMaps(), 0);
    for (int c : {65, 66, 44})
        EXPECT_EQ(LangUNIXToWin(c), c);
    // A count above 100 uses the built-in map and writes it back.
    setenv("LANG", "de_DE", 1);
    cfgSetString("Lang", "Maps", "101");
    ASSERT_EQ(kbLoadLangMaps(), 0);
    EXPECT_EQ(kbLanguageCode(), 6);
    EXPECT_EQ(get("Language"), "deu");
}

TEST(OemToAnsi, NationalCharactersOfCodePage437)
{
    const std::pair<int, int> cases[] = {{0x15, 0xA7}, {0x8E, 0xC4}, {0x99, 0xD6}, {0x9A, 0xDC}, {0x84, 0xE4},
                                         {0xE1, 0xDF}, {0x9C, 0xA3}, {0xF8, 0xB0}, {0x9F, 0x83}, {0x41, 0x41}};
    for (auto [oem, ansi] : cases)
        EXPECT_EQ(kbOemToAnsi((uint8_t)oem), ansi) << oem;
}

}  // namespace
