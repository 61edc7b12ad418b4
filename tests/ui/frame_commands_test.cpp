// The frame window: opening sessions through the dialog, menu states,
// accelerators, Auto Exit, the listener's events and the small commands.
#include "ui_fixture.h"

#include "common/strtab.h"
#include "core/child.h"
#include "core/cuscr.h"

#include <openssl/crypto.h>

using uitest::ShellTest;

namespace {

class Frame : public ShellTest {
protected:
    // options: more "Options" lines; extra: further sections.
    void start(const std::string& extra = "", const std::string& options = "")
    {
        config("[Options]\nSplash=0\nPort=" + std::to_string(kvxtest::freeLocalPort()) + "\n" + options + extra);
        ASSERT_EQ(uiStartup(""), 0);
        platSetMessageFilter(uiFrameMessageFilter);
        drain();
        headlessClearBoxes();
        // Start-up itself offers the Open Session dialog when there are hosts.
        dialogsAtStart = headlessDialogs().size();
    }
    size_t dialogsShown() const { return headlessDialogs().size() - dialogsAtStart; }
    size_t dialogsAtStart = 0;
    uint32_t menuFlags(int32_t id)
    {
        for (const PMenuItem& m : headlessMenu())
            if (m.depth > 0 && m.text && m.id == id)
                return m.flags;
        ADD_FAILURE() << "no menu item " << id;
        return 0;
    }
    void command(int32_t id) { platSend(uiFrame(), PM_COMMAND, (PWParam)id, 0); }
    // A session without a host connection in a slot.
    PWnd localSession(int slot)
    {
        EXPECT_EQ(sessOpen(slot, "local", "user", 0), slot);
        platPost(uiFrame(), PM_SESSIONS_CHANGED, 0, 0);
        drain();
        return cuScreenAt(slot) ? cuScreenAt(slot)->wnd : 0;
    }
};

TEST_F(Frame, OpenSessionDialogOpensATelnetSession)
{
    kvxtest::TestServer telnetd;
    ASSERT_TRUE(kvxtest::startTelnetServer(telnetd)) << telnetd.error;
    start("[Hosts]\nH00=nowhere.invalid\nH01=127.0.0.1\nProtocol01=Telnet\nTelnetPort01=" + std::to_string(telnetd.port) +
          "\nDefaultUserID=tester\n");
    std::string presetLogin;
    headlessSetDialogPolicy([&presetLogin](PDlgForm& dialog) {
        EXPECT_EQ(dialog.id, UI_DLG_OPENSESS);
        for (int i = 0; i < dialog.count; ++i) {
            PDlgControl& c = dialog.controls[i];
            if (c.id == UI_OS_HOSTS) {
                EXPECT_EQ(c.value, 0);     // the first host is selected
                c.value = 1;
            }
            if (c.id == UI_OS_LOGIN) {
                presetLogin = c.text;
                snprintf(c.text, c.textSize, "%s", "operator");
            }
        }
        return (int32_t)PID_OK;
    });
    command(UIC_OPENSESS);
    EXPECT_EQ(presetLogin, "tester");
    ASSERT_TRUE(sessIsOpen(0));
    EXPECT_STREQ(cuScreenAt(0)->loginName, "operator");
    // The connection is real: the shell's prompt arrives.
    for (int i = 0; i < 200 && !cuScreenAt(0)->writable; ++i)
        platPump(20);
    EXPECT_TRUE(cuScreenAt(0)->writable);
    EXPECT_FALSE(chBusy());
    EXPECT_TRUE(headlessBoxes().empty()) << headlessBoxes()[0].text;
}

TEST_F(Frame, OpenSessionTakesTheSlotAskedForWhenItIsFree)
{
    kvxtest::TestServer telnetd;
    ASSERT_TRUE(kvxtest::startTelnetServer(telnetd)) << telnetd.error;
    start("[Hosts]\nH00=127.0.0.1\nProtocol00=Telnet\nTelnetPort00=" + std::to_string(telnetd.port) + "\n");
    headlessSetDialogPolicy([](PDlgForm&) { return (int32_t)PID_OK; });
    struct Case {
        PLParam asked;
        int taken;   // a slot in use before, or -1
        int opened;
    };
    for (Case c : {Case{3, -1, 3}, Case{2, 2, 0}, Case{0, 0, 1}, Case{9, -1, 0}}) {
        SCOPED_TRACE(c.asked);
        if (c.taken >= 0)
            localSession(c.taken);
        platSend(uiFrame(), PM_COMMAND, UIC_OPENSESS, c.asked);
        EXPECT_TRUE(sessIsOpen(c.opened));
        EXPECT_STREQ(cuScreenAt(c.opened)->hostName, "127.0.0.1");
        for (int i = 0; i < CH_MAX_SESSIONS; ++i)
            if (sessIsOpen(i))
                sessClose(i);
        drain();
    }
}

TEST_F(Frame, CancelledDialogOpensNothing)
{
    start("[Hosts]\nH00=alpha\n");
    EXPECT_EQ(dialogsAtStart, 1u);
    command(UIC_OPENSESS);
    EXPECT_EQ(dialogsShown(), 1u);
    EXPECT_FALSE(sessIsOpen(0));
}

TEST_F(Frame, EightSessionsLeaveNoRoomForTheDialog)
{
    start("[Hosts]\nH00=alpha\n");
    for (int i = 0; i < CH_MAX_SESSIONS; ++i)
        localSession(i);
    command(UIC_OPENSESS);
    EXPECT_EQ(dialogsShown(), 0u);
}

TEST_F(Frame, AutoResizeFontIsCheckedWhileTheFontFollowsTheWindow)
{
    start();
    EXPECT_NE(menuFlags(UIC_AUTOFONT) & PMF_GRAYED, 0u);   // no session window yet
    localSession(0);
    EXPECT_EQ(menuFlags(UIC_AUTOFONT), (uint32_t)PMF_CHECKED);
    command(UIC_AUTOFONT);
    EXPECT_EQ(menuFlags(UIC_AUTOFONT), 0u);
    EXPECT_GT(cuScreenAt(0)->lockedFontSize, 0);
    command(UIC_AUTOFONT);
    EXPECT_EQ(menuFlags(UIC_AUTOFONT), (uint32_t)PMF_CHECKED);
    EXPECT_EQ(cuScreenAt(0)->lockedFontSize, 0);
}

TEST_F(Frame, MaxSessionsGreysOpenSession)
{
    uitest::writeText(cfgDir + "korvex.reg", "[Korvex for Windows]\nMaxSessions=2\n");
    start("[Hosts]\nH00=alpha\n");
    EXPECT_EQ(menuFlags(UIC_OPENSESS) & PMF_GRAYED, 0u);
    EXPECT_NE(menuFlags(UIC_CLOSESESS) & PMF_GRAYED, 0u);   // no session window yet
    localSession(0);
    EXPECT_EQ(menuFlags(UIC_OPENSESS) & PMF_GRAYED, 0u);
    localSession(1);
    EXPECT_NE(menuFlags(UIC_OPENSESS) & PMF_GRAYED, 0u);
    EXPECT_EQ(menuFlags(UIC_CLOSESESS) & PMF_GRAYED, 0u);
    // A grey command's accelerator does nothing.
    platPost(cuScreenAt(1)->wnd, PM_SYSKEYDOWN, 'O', 1);
    drain();
    EXPECT_EQ(dialogsShown(), 0u);
}

TEST_F(Frame, AltKClosesTheFocusSession)
{
    start();
    PWnd w = localSession(0);
    ASSERT_NE(w, 0);
    platPost(w, PM_SYSKEYDOWN, 'K', 1);
    platPost(w, PM_SYSCHAR, 'k', 1);
    drain();
    EXPECT_FALSE(platIsWindow(w));
    EXPECT_FALSE(sessIsOpen(0));
    EXPECT_FALSE(platQuitting());       // Auto Exit is off
    EXPECT_NE(menuFlags(UIC_CLOSESESS) & PMF_GRAYED, 0u);
}

TEST_F(Frame, AutoExitEndsTheProgramWithTheLastSession)
{
    start("", "AutoExit=ON\n");
    localSession(0);
    PWnd w2 = localSession(1);
    EXPECT_NE(menuFlags(UIC_AUTOEXIT) & PMF_CHECKED, 0u);
    command(UIC_CLOSESESS);
    drain();
    EXPECT_FALSE(platQuitting());
    ASSERT_TRUE(platIsWindow(w2) || sessIsOpen(0));
    command(UIC_CLOSESESS);
    drain();
    EXPECT_FALSE(sessIsOpen(0));
    EXPECT_FALSE(sessIsOpen(1));
    EXPECT_TRUE(platQuitting());
    EXPECT_EQ(uiFrame(), 0);
}

TEST_F(Frame, AutoExitCommandTogglesAndWrites)
{
    start();
    EXPECT_EQ(menuFlags(UIC_AUTOEXIT) & PMF_CHECKED, 0u);
    command(UIC_AUTOEXIT);
    EXPECT_EQ(get("Options", "AutoExit"), "ON");
    EXPECT_NE(menuFlags(UIC_AUTOEXIT) & PMF_CHECKED, 0u);
    localSession(0);
    command(UIC_CLOSESESS);
    drain();
    EXPECT_TRUE(platQuitting());
}

TEST_F(Frame, AltDTwiceTurnsTheDebugLogOnAndOff)
{
    setenv("XDG_DOCUMENTS_DIR", (root + "/docs").c_str(), 1);
    std::filesystem::create_directories(root + "/docs");
    start();
    PWnd w = localSession(0);
    // One keystroke: the key and its character.
    platPost(w, PM_SYSKEYDOWN, 'D', 1);
    platPost(w, PM_SYSCHAR, 'd', 1);
    drain();
    EXPECT_TRUE(dbgLogIsOn());
    EXPECT_NE(menuFlags(UIC_DEBUGLOG) & PMF_CHECKED, 0u);
    platPost(w, PM_SYSCHAR, 'd', 1);   // the lower-case letter alone
    drain();
    EXPECT_FALSE(dbgLogIsOn());
    unsetenv("XDG_DOCUMENTS_DIR");
}

struct AccelCase {
    uint32_t msg;
    int32_t key;
    int32_t ctrl, shift;
    int32_t command;
};
const AccelCase kAccelCases[] = {
    {PM_SYSKEYDOWN, 'O', 0, 0, UIC_OPENSESS},
    {PM_SYSKEYDOWN, 'S', 0, 0, UIC_SAVEDESKTOP},
    {PM_SYSCHAR, 'm', 0, 0, UIC_MACROS},
    {PM_SYSKEYDOWN, PVK_ADD, 0, 0, UIC_FONTINC},
    {PM_SYSKEYDOWN, PVK_OEM_PLUS, 0, 1, UIC_FONTINC},
    {PM_SYSKEYDOWN, PVK_SUBTRACT, 0, 0, UIC_FONTDEC},
    {PM_KEYDOWN, PVK_INSERT, 1, 0, UIC_COPY},
    {PM_KEYDOWN, PVK_INSERT, 0, 1, UIC_PASTE},
    {PM_KEYDOWN, PVK_DELETE, 0, 1, UIC_CUT},
    {PM_KEYDOWN, PVK_DELETE, 0, 0, 0},
    {PM_KEYDOWN, 'O', 0, 0, 0},
    {PM_CHAR, 'o', 0, 0, 0},
    {PM_SYSKEYDOWN, 'Q', 0, 0, 0},
};

TEST_F(Frame, AcceleratorTable)
{
    for (const AccelCase& c : kAccelCases) {
        headlessSetKeyState(PVK_CONTROL, c.ctrl ? PKS_DOWN : 0);
        headlessSetKeyState(PVK_SHIFT, c.shift ? PKS_DOWN : 0);
        EXPECT_EQ(uiAccelCommand(c.msg, (PWParam)c.key), c.command) << c.msg << " " << c.key;
    }
}

TEST_F(Frame, ListenerEventsAcceptOrWaitForTheSessionLayer)
{
    start();
    int sock = uiListenSocket();
    ASSERT_GE(sock, 0);
    ASSERT_EQ(ChSemSet(1, "test"), 1);
    platSend(uiFrame(), PM_SOCKET, (PWParam)sock, platSelectLParam(FD_ACCEPT, 0));
    EXPECT_EQ(sessPendingAccept(), sock);
    ChSemSet(0, "test");
    sessSetPendingAccept(-1);
    platSend(uiFrame(), PM_SOCKET, (PWParam)sock, platSelectLParam(FD_ACCEPT, 0));
    EXPECT_EQ(sessPendingAccept(), -1);
    EXPECT_FALSE(chBusy());
}

TEST_F(Frame, ListenerErrorShowsTheInternalError)
{
    start();
    platSend(uiFrame(), PM_SOCKET, 7, platSelectLParam(FD_ACCEPT, 10054));
    ASSERT_EQ(headlessBoxes().size(), 1u);
    const std::string& t = headlessBoxes()[0].text;
    EXPECT_EQ(t.rfind("UIFRAME,", 0), 0u) << t;
    EXPECT_NE(t.find("-FrameWndProc: error [10054] on socket[7]"), std::string::npos) << t;
    EXPECT_EQ(headlessBoxes()[0].caption, "Error");
}

TEST_F(Frame, ViewClipboardWithoutViewersShowsItsMessage)
{
    start();
    uiSetViewerPrograms("/nonexistent/clipbrd", "no-such-viewer-xyz");
    command(UIC_VIEWCLIP);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, "Clipboard viewer clipbrd.exe/clipbd.exe does not exist on this version of windows");
    headlessClearBoxes();
    uiSetViewerPrograms("no-such-viewer-xyz", "true");
    command(UIC_VIEWCLIP);
    EXPECT_TRUE(headlessBoxes().empty());
}

TEST_F(Frame, EditorFailureShowsItsMessage)
{
    start();
    uiSetEditorPrograms("no-such-editor-xyz", nullptr);
    EXPECT_EQ(uiEditFile(uiConfigPath()), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, strGet(17014));
}

TEST_F(Frame, SaveDesktopWritesFrameAndSessionStates)
{
    start();
    PWnd w = localSession(0);
    platMove(w, PRect{5, 6, 405, 306});
    platShow(w, PSW_RESTORE);
    command(UIC_SAVEDESKTOP);
    PRect f = platWindowRect(uiFrame());
    char expect[64];
    snprintf(expect, sizeof expect, "%d,%d,%d,%d", f.left, f.top, f.right, f.bottom);
    EXPECT_EQ(get("Fonts", "DefMainWinState"), expect);
    EXPECT_EQ(get("Fonts", "MaximizeChildren"), platIsMaximized(w) ? "YES" : "NO");
    PRect r = platWindowRect(w);
    snprintf(expect, sizeof expect, "%d,%d,%d,%d,0,24,80,%d", r.left, r.top, r.right, r.bottom, platIsMaximized(w) ? 1 : 0);
    EXPECT_EQ(get("Fonts", "DefWin01State"), expect);
    EXPECT_EQ(get("Fonts", "DefWin02State"), "(none)");
}

TEST_F(Frame, McsUnderliningAndUnderscoringExcludeEachOther)
{
    start();
    EXPECT_EQ(menuFlags(UIC_MCSUNDERLINE), 0u);
    EXPECT_EQ(menuFlags(UIC_MCSUNDERSCORE), 0u);
    command(UIC_MCSUNDERLINE);
    EXPECT_EQ(get("Options", "MCSUnderline"), "UNDERLINE");
    EXPECT_EQ(menuFlags(UIC_MCSUNDERLINE), (uint32_t)PMF_CHECKED);
    EXPECT_EQ(menuFlags(UIC_MCSUNDERSCORE), (uint32_t)PMF_GRAYED);
    command(UIC_MCSUNDERSCORE);   // grey: ignored
    EXPECT_EQ(get("Options", "MCSUnderline"), "UNDERLINE");
    command(UIC_MCSUNDERLINE);
    EXPECT_EQ(get("Options", "MCSUnderline"), "NONE");
    command(UIC_MCS3D);
    EXPECT_EQ(get("Options", "3DMode"), "OFF");
    EXPECT_EQ(menuFlags(UIC_MCS3D) & PMF_CHECKED, 0u);
}

TEST_F(Frame, LaterCommandsStandGreyInTheMenu)
{
    start();
    localSession(0);
    for (int32_t id : {UIC_PRINTSCREEN, UIC_PRINTSETUP, UIC_COPY, UIC_PASTE, UIC_MACROS, UIC_RECORD, UIC_CAPTURE, UIC_CONFIG})
        EXPECT_NE(menuFlags(id) & PMF_GRAYED, 0u) << id;
    for (int32_t id : {UIC_OPENSESS, UIC_SAVEDESKTOP, UIC_CLOSESESS, UIC_EXIT, UIC_DEBUGLOG, UIC_CASCADE, UIC_ABOUT})
        EXPECT_EQ(menuFlags(id) & PMF_GRAYED, 0u) << id;
}

TEST_F(Frame, AboutShowsVersionAndCryptoLibrary)
{
    start();
    std::vector<std::string> labels;
    headlessSetDialogPolicy([&labels](PDlgForm& dialog) {
        for (int i = 0; i < dialog.count; ++i)
            if (dialog.controls[i].kind == PCtlKind::Label)
                labels.push_back(dialog.controls[i].label);
        return (int32_t)PID_OK;
    });
    command(UIC_ABOUT);
    ASSERT_EQ(headlessDialogs().size(), 1u);
    EXPECT_EQ(headlessDialogs()[0].id, UI_DLG_ABOUT);
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(labels[0], "Korvex");
    EXPECT_EQ(labels[1], "Brannock");
    EXPECT_EQ(labels[2].rfind("Version 0.1 Build ", 0), 0u) << labels[2];
    EXPECT_EQ(labels[3], OpenSSL_version(OPENSSL_VERSION));
}

TEST_F(Frame, ExitClosesEverythingAndEndsTheLoop)
{
    start();
    PWnd w = localSession(0);
    command(UIC_EXIT);
    drain();
    EXPECT_FALSE(platIsWindow(w));
    EXPECT_FALSE(sessIsOpen(0));
    EXPECT_EQ(uiListenSocket(), -1);
    EXPECT_TRUE(platQuitting());
}

TEST_F(Frame, RightClickInCharacterModeOpensTheSessionPopup)
{
    struct Case {
        int32_t choice;
        bool closes;
    };
    // Close Session closes it; a dismissed menu and a grey item do nothing.
    const Case cases[] = {{UIC_CLOSESESS, true}, {0, false}, {UIC_COPY, false}};
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        PWnd w = localSession(0);
        ASSERT_NE(w, 0);
        ASSERT_TRUE(sessAt(0)->flags & CHF_CHARMODE);
        std::vector<std::string> greyMismatch;
        headlessSetPopupPolicy([this, &c, &greyMismatch](const HeadlessPopup& p) {
            for (const HeadlessPopupItem& it : p.items)
                if (!it.separator && (it.flags & PMF_GRAYED) != (menuFlags(it.id) & PMF_GRAYED))
                    greyMismatch.push_back(it.text);
            return c.choice;
        });
        size_t before = headlessPopups().size();
        platPost(w, PM_RBUTTONDOWN, 2, (PLParam)(37 | (21 << 16)));
        drain();
        ASSERT_EQ(headlessPopups().size(), before + 1);
        const HeadlessPopup& p = headlessPopups().back();
        EXPECT_EQ(p.owner, w);
        EXPECT_EQ(p.at.x, 37);
        EXPECT_EQ(p.at.y, 21);
        std::vector<int32_t> ids;
        for (const HeadlessPopupItem& it : p.items)
            ids.push_back(it.separator ? 0 : it.id);
        EXPECT_EQ(ids, (std::vector<int32_t>{UIC_COPY, UIC_PASTE, 0, UIC_COPYFILE, UIC_PASTEFILE, 0, UIC_PRINTSCREEN, 0,
                                             UIC_FONTINC, UIC_FONTDEC, 0, UIC_CLOSESESS}));
        EXPECT_EQ(p.items.back().text, "&Close Session\tAlt+K");
        EXPECT_EQ(p.items.back().flags & PMF_GRAYED, 0u);
        EXPECT_NE(p.items.front().flags & PMF_GRAYED, 0u);
        EXPECT_TRUE(greyMismatch.empty()) << greyMismatch[0];
        EXPECT_EQ(platIsWindow(w), !c.closes);
        EXPECT_EQ(sessIsOpen(0), !c.closes);
        if (!c.closes) {
            platSend(w, PM_QUERYENDSESSION, 0, 0);
            if (platIsWindow(w))
                platDestroyWindow(w);
            drain();
        }
    }
}

TEST_F(Frame, RightClickInMcsModeOpensNoPopup)
{
    start();
    PWnd w = localSession(0);
    ASSERT_NE(w, 0);
    sessAt(0)->flags = (uint16_t)((sessAt(0)->flags & ~CHF_MODE) | CHF_IDLE);
    platPost(w, PM_RBUTTONDOWN, 2, (PLParam)(1 | (1 << 16)));
    drain();
    EXPECT_TRUE(headlessPopups().empty());
}

} // namespace
