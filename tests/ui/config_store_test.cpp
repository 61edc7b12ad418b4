// The in-memory settings: locations, the packed host list, options, the
// protected values and writing back.
#include "ui_fixture.h"

#include "core/child.h"
#include "core/cuscr.h"
#include "net/korvex.h"

#include <sys/stat.h>

using uitest::ShellTest;
using uitest::slurp;
using uitest::writeText;

namespace {

class ConfigStore : public ShellTest {};

TEST_F(ConfigStore, HostListIsPackedAndPortsFollowThePackedIndex)
{
    config("[Options]\nProtocol=SSH\n[Hosts]\nH00=\nH01=alpha\nH02=\nH05=beta\n"
           "TelnetPort00=2323\nTelnetPort01=2424\nSSHPort00=2222\nSSHFingerprint00=ab:cd\n"
           "Protocol00=Telnet\nRloginPort01=600\n");
    ASSERT_EQ(uiLoadHosts(), 2);
    const UiConfig& c = uiConfig();
    EXPECT_STREQ(c.hosts[0].name, "alpha");
    EXPECT_EQ(c.hosts[0].telnetPort, 2323);
    EXPECT_EQ(c.hosts[0].sshPort, 2222);
    EXPECT_STREQ(c.hosts[0].fingerprint, "ab:cd");
    EXPECT_EQ(c.hosts[0].protocol, KVX_DESC_TELNET);
    EXPECT_STREQ(c.hosts[1].name, "beta");
    EXPECT_EQ(c.hosts[1].telnetPort, 2424);
    EXPECT_EQ(c.hosts[1].sshPort, 22);
    EXPECT_EQ(c.hosts[1].rloginPort, 600);
    EXPECT_EQ(c.hosts[1].protocol, KVX_DESC_SSH);   // the "Options" default
}

TEST_F(ConfigStore, HostsDefaultsAndWordsFallBack)
{
    config("[Hosts]\nH00=alpha\nBeep=visual\nCompression=on\nPrint Mode=lpt2raw\nCharDelay=15\n"
           "DefaultUserID=operator\nGenerate FF=OFF\n[Lang]\nAUX1 Printer Map=off\n");
    uiLoadHosts();
    const UiConfig& c = uiConfig();
    EXPECT_EQ(c.beep, UiBeep::Visual);
    EXPECT_TRUE(c.compression);
    EXPECT_STREQ(c.printMode, "LPT2RAW");
    EXPECT_EQ(c.charDelay, 15u);
    EXPECT_STREQ(c.defaultUserId, "operator");
    EXPECT_FALSE(c.generateFF);
    EXPECT_FALSE(c.aux1PrinterMap);
    EXPECT_EQ(c.maxSessions, 8);
    EXPECT_EQ(c.hosts[0].protocol, KVX_DESC_RLOGIN);
    // The known-hosts file is created empty beside the configuration.
    EXPECT_EQ(std::string(c.knownHostsFile), cfgDir + "korvex_knownhosts");
    struct stat st {};
    EXPECT_EQ(stat(c.knownHostsFile, &st), 0);
}

struct OptionCase {
    const char* line;
    bool (*check)(const UiOptions&);
};
const OptionCase kOptionCases[] = {
    {"NumEnter=xmit", [](const UiOptions& o) { return o.numEnter == UiKeyRole::Xmit; }},
    {"NumEnter=bogus", [](const UiOptions& o) { return o.numEnter == UiKeyRole::None; }},
    {"NumMultiply=Enter", [](const UiOptions& o) { return o.numMultiply == UiKeyRole::Enter; }},
    {"SpaceBar=nodestruct", [](const UiOptions& o) { return o.spaceNonDestructive; }},
    {"MCSUnderline=underscore", [](const UiOptions& o) { return o.mcsUnderline == UiUnderline::Underscore; }},
    {"3DMode=off", [](const UiOptions& o) { return !o.threeD; }},
    {"3DMode=whatever", [](const UiOptions& o) { return o.threeD; }},
    {"TypeAhead=yes", [](const UiOptions& o) { return !o.typeAhead; }},
    {"Protocol=rlogin+", [](const UiOptions& o) { return o.protocol == KVX_DESC_RLOGINPLUS; }},
    {"Protocol=gopher", [](const UiOptions& o) { return o.protocol == KVX_DESC_RLOGIN; }},
    {"Toolbar=full", [](const UiOptions& o) { return o.toolbar == UiToolbar::Full; }},
    {"Toolbar=", [](const UiOptions& o) { return o.toolbar == UiToolbar::Short; }},
    {"Splash=0", [](const UiOptions& o) { return o.splash == 0; }},
    {"AutoExit=on", [](const UiOptions& o) { return o.autoExit; }},
    {"OptimizeOn=\\x1b[?9h\\xzz",
     [](const UiOptions& o) {
         return o.optimizeOnLen == 9 && std::string((const char*)o.optimizeOn, 9) == "\x1b[?9h\\xzz";
     }},
    {"OptimizeOff=abcdefghijklmnopqrstuvwxyz0123", [](const UiOptions& o) { return o.optimizeOffLen == 24; }},
};

TEST_F(ConfigStore, OptionsReadTheirWordsAndKeepDefaultsOtherwise)
{
    for (const OptionCase& c : kOptionCases) {
        config(std::string("[Options]\n") + c.line + "\n");
        uiReadOptions();
        EXPECT_TRUE(c.check(uiOptions())) << c.line;
    }
}

TEST_F(ConfigStore, PrinterTranslationsStartAsIdentityAndIgnoreLargePairs)
{
    config("[Printing]\nTranslate00=65,66\nTranslate01=300,1\nTranslate31=200,201\n");
    uiReadOptions();
    const uint8_t* t = uiPrintTranslation();
    EXPECT_EQ(t['A'], 'B');
    EXPECT_EQ(t[200], 201);
    EXPECT_EQ(t[44], 44);
    EXPECT_EQ(t[1], 1);
}

TEST_F(ConfigStore, CommonStartingFileIsCopiedOnce)
{
    unsetenv("KORVEX");
    std::string common = root + "/etc/korvex/korvex.ini";
    writeText(common, "[Hosts]\nH00=first\n");
    ASSERT_EQ(uiLocateConfig(), 0);
    std::string user = root + "/home/korvex/korvex.ini";
    EXPECT_EQ(std::string(uiConfigPath()), user);
    EXPECT_EQ(slurp(user), "[Hosts]\nH00=first\n");
    writeText(common, "[Hosts]\nH00=second\n");
    ASSERT_EQ(uiLocateConfig(), 0);
    EXPECT_EQ(slurp(user), "[Hosts]\nH00=first\n");
    EXPECT_EQ(get("Hosts", "H00"), "first");
}

TEST_F(ConfigStore, KorvexVariableNamesTheFolderWithOrWithoutSlash)
{
    std::string folder = root + "/elsewhere";
    setenv("KORVEX", folder.c_str(), 1);
    uiLocateConfig();
    EXPECT_EQ(std::string(uiConfigPath()), folder + "/korvex.ini");
    EXPECT_EQ(std::string(uiKnownHostsPath()), folder + "/korvex_knownhosts");
    EXPECT_EQ(std::string(cfgFile()), folder + "/korvex.ini");
}

TEST_F(ConfigStore, ProtectedValuesWinAndMigrateFromTheMachineFile)
{
    config("[Options]\nConfigPassword=fromfile\n[Hosts]\nMaxSessions=5\n");
    uiLoadHosts();
    EXPECT_EQ(uiConfig().maxSessions, 5);
    EXPECT_STREQ(uiConfig().configPassword, "fromfile");

    // The local machine's file moves into the current user's and goes.
    std::string machine = uiMachineProtectedPath();
    EXPECT_EQ(machine, root + "/etc/korvex/korvex.reg");
    writeText(machine, "[Korvex for Windows]\nMaxSessions=3\n");
    uiLoadHosts();
    EXPECT_EQ(uiConfig().maxSessions, 3);
    EXPECT_STREQ(uiConfig().configPassword, "fromfile");
    struct stat st {};
    EXPECT_NE(stat(machine.c_str(), &st), 0);
    ASSERT_EQ(stat(uiUserProtectedPath(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(slurp(uiUserProtectedPath()).find("MaxSessions=3"), std::string::npos);

    // Saving writes both into the protected file, not the configuration.
    uiConfigMut().maxSessions = 2;
    snprintf(uiConfigMut().configPassword, sizeof uiConfig().configPassword, "%s", "secret");
    ASSERT_EQ(uiSaveConfig(), 0);
    std::string prot = slurp(uiUserProtectedPath());
    EXPECT_NE(prot.find("MaxSessions=2"), std::string::npos);
    EXPECT_NE(prot.find("ConfigPassword=secret"), std::string::npos);
    EXPECT_EQ(ini().find("secret"), std::string::npos);
    uiLoadHosts();
    EXPECT_EQ(uiConfig().maxSessions, 2);
}

TEST_F(ConfigStore, SavingWritesTheListAndRemovesWhatIsEmpty)
{
    config("[Hosts]\nH00=alpha\nH01=beta\nH02=gamma\nProtocol02=SSH\nPrint Timeout=9\nTelnetPort00=99\n");
    uiLoadHosts();
    UiConfig& c = uiConfigMut();
    c.hostCount = 2;
    c.hosts[1].protocol = KVX_DESC_TELNET;
    c.printTimeout = 0;
    c.beep = UiBeep::Both;
    ASSERT_EQ(uiSaveConfig(), 0);
    EXPECT_EQ(get("Hosts", "H02"), "(none)");
    EXPECT_EQ(get("Hosts", "Protocol02"), "(none)");
    EXPECT_EQ(get("Hosts", "Protocol01"), "Telnet");
    EXPECT_EQ(get("Hosts", "Print Timeout"), "(none)");
    EXPECT_EQ(get("Hosts", "Beep"), "BOTH");
    EXPECT_EQ(get("Hosts", "TelnetPort00"), "99");    // ports are never written
}

TEST_F(ConfigStore, FailedWriteShowsTheSavingMessage)
{
    cfgSetFile((root + "/missing/dir/korvex.ini").c_str());
    EXPECT_EQ(uiWriteSetting("Options", "AutoExit", "ON"), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text.rfind("Saving 'Options' in '" + root + "/missing/dir/korvex.ini' failed with error ", 0), 0u)
        << headlessBoxes()[0].text;
    EXPECT_EQ(headlessBoxes()[0].caption, "Error");
}

TEST_F(ConfigStore, MainWindowStateNeedsFourNonNegativeValues)
{
    PRect r;
    config("[Fonts]\nDefMainWinState=10,20,810,620\n");
    EXPECT_EQ(uiGetMainWinState(&r), 1);
    EXPECT_EQ(r.right, 810);
    config("[Fonts]\nDefMainWinState=-4,20,810,620\n");
    EXPECT_EQ(uiGetMainWinState(&r), 0);
    config("[Fonts]\nDefMainWinState=10,20\n");
    EXPECT_EQ(uiGetMainWinState(&r), 0);
}

TEST_F(ConfigStore, WindowStateWithRowsOutOfRangeGivesTwentyFourByEighty)
{
    config("[Fonts]\nDefWin03State=0,0,400,300,0,300,80,0\n");
    CfgWindowState st{};
    ASSERT_EQ(cfgGetWindowState(3, &st), 1);
    EXPECT_EQ(st.right, 400);
    EXPECT_EQ(st.bottom, 300);
    EXPECT_EQ(st.rows, 24);
    EXPECT_EQ(st.cols, 80);
    // A session opened in slot 3 gets that grid.
    headlessSetFrameClient(1000, 800);
    cuInit();
    PWndCreate mdi{PWndKind::MdiClient, 0, "", {0, 0, 1000, 800}, PWS_VISIBLE, nullptr};
    cuSetMdiClient(platCreateWindow(mdi));
    sessTableInit();
    ASSERT_EQ(sessOpen(2, "host", "user", 0), 2);
    ASSERT_NE(cuScreenAt(2), nullptr);
    EXPECT_EQ(cuScreenAt(2)->Rows, 24);
    EXPECT_EQ(cuScreenAt(2)->Cols, 80);
    sessClose(2);
}

TEST_F(ConfigStore, AutoExitIsReadOnceAndWrittenWhenToggled)
{
    config("[Options]\nAutoExit=on\n");
    EXPECT_TRUE(uiAutoExit());
    cfgSetString("Options", "AutoExit", "OFF");
    EXPECT_TRUE(uiAutoExit());
    uiSetAutoExit(false);
    EXPECT_FALSE(uiAutoExit());
    EXPECT_EQ(get("Options", "AutoExit"), "OFF");
}

} // namespace
