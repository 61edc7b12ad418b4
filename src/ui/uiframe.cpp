// UIFRAME: the frame window procedure, its menu, accelerators and commands.
#include "ui/uiframe.h"

#include "common/log.h"
#include "common/strtab.h"
#include "core/child.h"
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "ui/config.h"
#include "ui/errbox.h"
#include "ui/keyboard.h"
#include "ui/render.h"
#include "ui/status.h"
#include "ui/uiwin.h"
#include "common/version.h"

#include <openssl/crypto.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kUnit = "UIFRAME";
constexpr int kMaxChildren = 16;     // spawned programs not yet reaped

PWnd g_frame = 0;
PWnd g_mdi = 0;
int g_listen = -1;
bool g_logToggleRunning = false;
bool g_swallowChar = false;
UiDialogHook g_dialogHook = nullptr;
std::array<pid_t, kMaxChildren> g_children{};
std::array<const char*, 2> g_viewers = {"xclipboard", "xcb"};
std::array<const char*, 2> g_editors = {"xdg-open", "xedit"};

// ---- the menu of resource 107 ----

constexpr PMenuItem kMenu[] = {
    {0, "&File", 0, 0},
    {UIC_OPENSESS, "&Open Session...\tAlt+O", 1, 0},
    {UIC_SAVEDESKTOP, "&Save Desktop\tAlt+S", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_PRINTSCREEN, "&Print Screen", 1, 0},
    {UIC_PRINTSETUP, "P&rint Setup...", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_CLOSESESS, "&Close Session\tAlt+K", 1, 0},
    {UIC_AUTOEXIT, "&Auto Exit", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_EXIT, "E&xit", 1, 0},
    {0, "&Edit", 0, 0},
    {UIC_COPY, "&Copy\tCtrl+Ins", 1, 0},
    {UIC_CUT, "Cu&t\tShift+Del", 1, 0},
    {UIC_PASTE, "&Paste\tShift+Ins", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_COPYFILE, "C&opy to file...", 1, 0},
    {UIC_PASTEFILE, "P&aste from file...", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_AUTOCOPY, "A&uto Copy", 1, 0},
    {UIC_IGNORESPACES, "&Ignore Leading Spaces", 1, 0},
    {0, "&View", 0, 0},
    {UIC_STATUSBAR, "&Status Bar", 1, 0},
    {UIC_TOOLBAR, "&Tool Bar", 1, 0},
    {UIC_VIEWCLIP, "&View clipboard\tAlt+V", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_FONTINC, "Font &Increase\tAlt++", 1, 0},
    {UIC_FONTDEC, "Font &Decrease\tAlt+-", 1, 0},
    {UIC_AUTOFONT, "&Auto Resize Font", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_MCSUNDERLINE, "MCS &Underlining", 1, 0},
    {UIC_MCSUNDERSCORE, "MCS Under&scoring", 1, 0},
    {UIC_MCS3D, "MCS 3D &Effect", 1, 0},
    {0, "&Options", 0, 0},
    {UIC_COLORS, "&Color Configuration...\tAlt+C", 1, 0},
    {UIC_MACROS, "&Macro Manager...\tAlt+M", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_RECORD, "&Record to File...", 1, 0},
    {UIC_PLAYFILE, "&Play a File...", 1, 0},
    {UIC_PLAYCURRENT, "Play &Current File", 1, 0},
    {UIC_STOPRECPLAY, "&Stop Record/Play", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_CAPTURE, "C&apture Normal...", 1, 0},
    {UIC_CAPTURERAW, "Capt&ure Raw...", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_CONFIG, "&Korvex Configuration...", 1, 0},
    {UIC_DEBUGLOG, "&Debug Log\tAlt+D", 1, 0},
    {0, "&Window", 0, 0},
    {UIC_TILEHORZ, "Tile &Horizontally", 1, 0},
    {UIC_TILEVERT, "&Tile Vertically", 1, 0},
    {UIC_CASCADE, "&Cascade", 1, 0},
    {UIC_ARRANGE, "&Arrange Icons", 1, 0},
    {0, "&Help", 0, 0},
    {UIC_HELPCONTENTS, "&Contents", 1, 0},
    {UIC_HELPINDEX, "&Index", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_HELPFIELD, "&Field...", 1, 0},
    {UIC_HELPSCREEN, "Sc&reen...", 1, 0},
    {UIC_HELPSYSTEM, "S&ystem...", 1, 0},
    {0, nullptr, 1, 0},
    {UIC_ABOUT, "&About Korvex...", 1, 0},
};
constexpr int kMenuCount = (int)(sizeof kMenu / sizeof kMenu[0]);

// Commands whose units are not part of the program yet: they stay grey.
constexpr int32_t kNotYet[] = {
    UIC_PRINTSCREEN, UIC_PRINTSETUP, UIC_COPY, UIC_CUT, UIC_PASTE, UIC_COPYFILE, UIC_PASTEFILE,
    UIC_AUTOCOPY, UIC_IGNORESPACES, UIC_MACROS, UIC_RECORD, UIC_PLAYFILE,
    UIC_PLAYCURRENT, UIC_STOPRECPLAY, UIC_CAPTURE, UIC_CAPTURERAW, UIC_CONFIG, UIC_HELPFIELD,
    UIC_HELPSCREEN, UIC_HELPSYSTEM,
};

// The session pop-up menu: the commands of menu 107 that act on one
// session (0: a separator).
constexpr int32_t kSessionPopup[] = {
    UIC_COPY, UIC_PASTE, 0, UIC_COPYFILE, UIC_PASTEFILE, 0, UIC_PRINTSCREEN, 0, UIC_FONTINC, UIC_FONTDEC, 0, UIC_CLOSESESS,
};
constexpr int kSessionPopupCount = (int)(sizeof kSessionPopup / sizeof kSessionPopup[0]);

// The flags last given to each menu item, so a refresh only tells the
// platform what changed.
std::array<uint32_t, kMenuCount> g_menuFlags{};
bool g_menuSet = false;

// ---- accelerator table 112 ----

constexpr uint32_t kAnyShift = 0x10;
constexpr UiAccel kAccel[] = {
    {'O', UI_ACC_ALT, UIC_OPENSESS},
    {'S', UI_ACC_ALT, UIC_SAVEDESKTOP},
    {'K', UI_ACC_ALT, UIC_CLOSESESS},
    {PVK_INSERT, UI_ACC_CTRL, UIC_COPY},
    {PVK_DELETE, UI_ACC_SHIFT, UIC_CUT},
    {PVK_INSERT, UI_ACC_SHIFT, UIC_PASTE},
    {'V', UI_ACC_ALT, UIC_VIEWCLIP},
    {PVK_ADD, UI_ACC_ALT | kAnyShift, UIC_FONTINC},
    {PVK_OEM_PLUS, UI_ACC_ALT | kAnyShift, UIC_FONTINC},
    {PVK_SUBTRACT, UI_ACC_ALT | kAnyShift, UIC_FONTDEC},
    {PVK_OEM_MINUS, UI_ACC_ALT | kAnyShift, UIC_FONTDEC},
    {'C', UI_ACC_ALT, UIC_COLORS},
    {'M', UI_ACC_ALT, UIC_MACROS},
    {'D', UI_ACC_ALT, UIC_DEBUGLOG},
    // The lower-case letters as characters.
    {'o', UI_ACC_ALT | UI_ACC_CHAR, UIC_OPENSESS},
    {'s', UI_ACC_ALT | UI_ACC_CHAR, UIC_SAVEDESKTOP},
    {'k', UI_ACC_ALT | UI_ACC_CHAR, UIC_CLOSESESS},
    {'m', UI_ACC_ALT | UI_ACC_CHAR, UIC_MACROS},
    {'c', UI_ACC_ALT | UI_ACC_CHAR, UIC_COLORS},
    {'d', UI_ACC_ALT | UI_ACC_CHAR, UIC_DEBUGLOG},
    {'v', UI_ACC_ALT | UI_ACC_CHAR, UIC_VIEWCLIP},
};
constexpr int kAccelCount = (int)(sizeof kAccel / sizeof kAccel[0]);

bool keyDown(int32_t vk) { return (platKeyState(vk) & PKS_DOWN) != 0; }

int menuIndex(int32_t id)
{
    for (int i = 0; i < kMenuCount; ++i)
        if (kMenu[i].depth > 0 && kMenu[i].text && kMenu[i].id == id)
            return i;
    return -1;
}

bool notYet(int32_t id)
{
    for (int32_t n : kNotYet)
        if (n == id)
            return true;
    return false;
}

bool commandEnabled(int32_t id)
{
    int i = menuIndex(id);
    if (i < 0)
        return true;
    if (!g_menuSet)
        return !notYet(id);
    return !(g_menuFlags[i] & PMF_GRAYED);
}

int openSessions()
{
    int n = 0;
    for (int i = 0; i < CH_MAX_SESSIONS; ++i)
        if (sessIsOpen(i))
            ++n;
    return n;
}

PWnd activeSessionWindow()
{
    PWnd w = platMdiActive();
    if (w && platIsWindow(w))
        return w;
    CuScreen* f = cuFocusScreen();
    return f ? f->wnd : 0;
}

PWnd focusSessionWindow()
{
    CuScreen* f = cuFocusScreen();
    if (f && f->wnd && platIsWindow(f->wnd))
        return f->wnd;
    return activeSessionWindow();
}

void reapChildren()
{
    for (pid_t& p : g_children)
        if (p > 0 && waitpid(p, nullptr, WNOHANG) == p)
            p = 0;
}

// Runs a session-layer operation inside the bracket, then any call-back
// that arrived meanwhile (no session message may come to take it).
template <typename F>
int bracketed(const char* name, F f)
{
    if (!ChSemSet(1, name))
        return -1;
    int rc = f();
    ChSemSet(0, name);
    int pending = sessPendingAccept();
    if (pending >= 0 && !chBusy()) {
        sessSetPendingAccept(-1);
        ChSemSet(1, "PendingConnect");
        msrStart(pending);
        ChSemSet(0, "PendingConnect");
    }
    return rc;
}

// slot -1: the lowest free one.
int connect(const char* host, const char* login, int protocol, const char* bracket, int slot = -1)
{
    if (chBusy())
        return -1;
    slot = bracketed(bracket, [&] { return ChConnect(host, login, protocol, slot); });
    if (g_frame)
        platPost(g_frame, PM_SESSIONS_CHANGED, 0, 0);
    return slot;
}

// Starts the first program of a pair, the second when the first cannot be
// found or run; errno-style result of the last try.
int spawnEither(const std::array<const char*, 2>& programs, const char* arg)
{
    int rc = ENOENT;
    for (const char* p : programs) {
        if (!p || !*p)
            continue;
        const char* args[] = {p, arg, nullptr};
        rc = uiSpawn(p, args);
        if (rc == 0)
            return 0;
        if (rc != ENOENT && rc != ENOTDIR && rc != ENOEXEC && rc != EACCES)
            return rc;
    }
    return rc;
}

// The program's folder (the executable's), ending in "/".
std::string programFolder()
{
    char buf[UI_PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    buf[n] = 0;
    std::string p(buf);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "./" : p.substr(0, slash + 1);
}

// The help pages "kvx32en" beside the program: contents, index or a topic.
void openHelp(const char* page)
{
    std::string path = programFolder() + "help/kvx32en/" + page;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        char text[COM_TEXT_MAX];
        snprintf(text, sizeof text, "Unable to open help file %s", path.c_str());
        showError(text);
        return;
    }
    const char* args[] = {"xdg-open", path.c_str(), nullptr};
    if (uiSpawn("xdg-open", args) != 0) {
        char text[COM_TEXT_MAX];
        snprintf(text, sizeof text, "Unable to open help file %s", path.c_str());
        showError(text);
    }
}

void repaintSessions()
{
    for (int i = 0; i < CU_MAX_SCREENS; ++i) {
        CuScreen* s = cuScreenAt(i);
        if (s && s->wnd)
            platInvalidate(s->wnd, nullptr, true);
    }
}

void writeUnderline(UiUnderline u)
{
    uiOptionsMut().mcsUnderline = u;
    uiWriteSetting("Options", "MCSUnderline", u == UiUnderline::Underline ? "UNDERLINE" : u == UiUnderline::Underscore ? "UNDERSCORE" : "NONE");
    if (g_frame)
        platPost(g_frame, PM_COLORS_CHANGED, 0, 0);
}

void closeAllSessions()
{
    for (int i = 0; i < CU_MAX_SCREENS; ++i) {
        CuScreen* s = cuScreenAt(i);
        if (!s || !s->wnd)
            continue;
        PWnd w = s->wnd;
        platSend(w, PM_QUERYENDSESSION, 0, 0);
        if (platIsWindow(w))
            platDestroyWindow(w);
    }
}

// The check marks and grey states the menu items have now, by menu row;
// the menu bar and the session pop-up menu both show them.
std::array<uint32_t, kMenuCount> menuFlagsNow()
{
    bool active = activeSessionWindow() != 0;
    const UiOptions& o = uiOptions();
    std::array<uint32_t, kMenuCount> flags{};
    auto set = [&flags](int32_t id, uint32_t f) {
        int i = menuIndex(id);
        if (i >= 0)
            flags[i] |= f;
    };
    if (openSessions() >= uiConfig().maxSessions)
        set(UIC_OPENSESS, PMF_GRAYED);
    if (!active)
        for (int32_t id : {UIC_CLOSESESS, UIC_PRINTSCREEN, UIC_FONTINC, UIC_FONTDEC, UIC_AUTOFONT, UIC_TILEHORZ,
                           UIC_TILEVERT, UIC_CASCADE, UIC_ARRANGE, UIC_PASTE})
            set(id, PMF_GRAYED);
    if (o.autoExit || uiAutoExit())
        set(UIC_AUTOEXIT, PMF_CHECKED);
    if (active && uiAutoFont())
        set(UIC_AUTOFONT, PMF_CHECKED);
    if (o.toolbar != UiToolbar::Off)
        set(UIC_TOOLBAR, PMF_CHECKED);
    if (o.statusBar)
        set(UIC_STATUSBAR, PMF_CHECKED);
    if (o.threeD)
        set(UIC_MCS3D, PMF_CHECKED);
    if (dbgLogIsOn())
        set(UIC_DEBUGLOG, PMF_CHECKED);
    if (cuAutoCopy)
        set(UIC_AUTOCOPY, PMF_CHECKED);
    if (cuClipDeleteLeadSpaces)
        set(UIC_IGNORESPACES, PMF_CHECKED);
    if (o.mcsUnderline == UiUnderline::Underline) {
        set(UIC_MCSUNDERLINE, PMF_CHECKED);
        set(UIC_MCSUNDERSCORE, PMF_GRAYED);
    } else if (o.mcsUnderline == UiUnderline::Underscore) {
        set(UIC_MCSUNDERSCORE, PMF_CHECKED);
        set(UIC_MCSUNDERLINE, PMF_GRAYED);
    }
    for (int32_t id : kNotYet)
        set(id, PMF_GRAYED);
    return flags;
}

// ---- the commands ----

int cmdAutoConnect(PLParam lp) { return uiAutoConnect(reinterpret_cast<const char*>(lp)); }
// Alt+F1..Alt+F8 on a free slot asks for that slot in lParam; the menu and
// Alt+O give 0, which is the lowest free slot whenever slot 0 is free.
int cmdOpenSess(PLParam lp)
{
    int slot = lp > 0 && lp < CH_MAX_SESSIONS && !sessIsOpen((int)lp) ? (int)lp : -1;
    return uiOpenSess(slot);
}
int cmdSaveDesktop(PLParam) { return uiSaveDesktop(g_frame); }

int cmdCloseSess(PLParam)
{
    PWnd w = focusSessionWindow();
    if (!w)
        return -1;
    platSend(w, PM_QUERYENDSESSION, 0, 0);
    if (platIsWindow(w))
        platDestroyWindow(w);
    return 0;
}

int cmdAutoExit(PLParam)
{
    uiSetAutoExit(!uiAutoExit());
    return 0;
}

int cmdExit(PLParam)
{
    platPost(g_frame, PM_CLOSE, 0, 0);
    return 0;
}

int cmdStatusBar(PLParam)
{
    UiOptions& o = uiOptionsMut();
    o.statusBar = !o.statusBar;
    uiWriteSetting("Options", "StatusBar", o.statusBar ? "ON" : "OFF");
    uiStatusUpdate(chCurSlot);
    return 0;
}

int cmdToolbar(PLParam)
{
    UiOptions& o = uiOptionsMut();
    o.toolbar = o.toolbar == UiToolbar::Off ? UiToolbar::Short : UiToolbar::Off;
    uiWriteSetting("Options", "Toolbar", o.toolbar == UiToolbar::Off ? "OFF" : "Short");
    return 0;
}

int cmdViewClip(PLParam)
{
    if (spawnEither(g_viewers, nullptr) != 0) {
        showError(strGet(17011));
        return -1;
    }
    return 0;
}


int cmdDebugLog(PLParam)
{
    if (g_logToggleRunning)
        return 0;
    g_logToggleRunning = true;
    dbgLog(dbgLogIsOn() ? 0 : 1);
    uiStatusUpdate(chCurSlot);
    g_logToggleRunning = false;
    return 0;
}

int cmdArrange(PLParam lp) { platMdiArrange((int32_t)lp); return 0; }
int cmdHelpContents(PLParam) { openHelp("contents.html"); return 0; }
int cmdHelpIndex(PLParam) { openHelp("index.html"); return 0; }

int cmdAbout(PLParam)
{
    char lines[4][COM_TEXT_MAX];
    for (int i = 0; i < 4; ++i)
        uiAboutText(i, lines[i], sizeof lines[i]);
    PDlgControl c[] = {
        {0, PCtlKind::Label, lines[0], nullptr, 0, nullptr, 0, 0},
        {0, PCtlKind::Label, lines[1], nullptr, 0, nullptr, 0, 0},
        {0, PCtlKind::Label, lines[2], nullptr, 0, nullptr, 0, 0},
        {0, PCtlKind::Label, lines[3], nullptr, 0, nullptr, 0, 0},
        {PID_OK, PCtlKind::Button, "OK", nullptr, 0, nullptr, 0, 0},
    };
    char title[64];
    snprintf(title, sizeof title, "About %s", KVX_PRODUCT);
    PDlgForm dialog{UI_DLG_ABOUT, title, c, (int32_t)(sizeof c / sizeof c[0])};
    platDialog(g_frame, &dialog);
    return 0;
}

int cmdMcsUnderline(PLParam)
{
    writeUnderline(uiOptions().mcsUnderline == UiUnderline::Underline ? UiUnderline::None : UiUnderline::Underline);
    return 0;
}

int cmdMcsUnderscore(PLParam)
{
    writeUnderline(uiOptions().mcsUnderline == UiUnderline::Underscore ? UiUnderline::None : UiUnderline::Underscore);
    return 0;
}

int cmdMcs3D(PLParam)
{
    UiOptions& o = uiOptionsMut();
    o.threeD = !o.threeD;
    uiWriteSetting("Options", "3DMode", o.threeD ? "ON" : "OFF");
    platPost(g_frame, PM_COLORS_CHANGED, 0, 0);
    return 0;
}

int cmdFontLarger(PLParam)
{
    uiFontLarger();
    return 0;
}

int cmdFontSmaller(PLParam)
{
    uiFontSmaller();
    return 0;
}

int cmdAutoFont(PLParam)
{
    uiToggleAutoFont();
    return 0;
}

int cmdColors(PLParam)
{
    return uiColorDialog(g_frame);
}

// Opens at the right button's point on the session window that was
// clicked; the chosen item comes back to the frame through that window.
int cmdSessPopup(PLParam lp)
{
    PWnd w = (PWnd)lp;
    const CuScreen* s = uiScreenOfWindow(w);
    if (!s)
        return -1;
    std::array<uint32_t, kMenuCount> flags = menuFlagsNow();
    std::array<PMenuItem, kSessionPopupCount> items{};
    for (int k = 0; k < kSessionPopupCount; ++k) {
        int i = menuIndex(kSessionPopup[k]);
        items[k] = i < 0 ? PMenuItem{0, nullptr, 1, 0} : PMenuItem{kMenu[i].id, kMenu[i].text, 1, flags[i]};
    }
    return platPopupMenu(w, items.data(), kSessionPopupCount, s->rightClick);
}

using CommandFn = int (*)(PLParam lp);
struct CommandRow {
    int32_t id;
    CommandFn run;
    PLParam arg;        // given instead of the message's lParam when set
};
constexpr CommandRow kCommands[] = {
    {UIC_AUTOCONNECT, cmdAutoConnect, 0},
    {UIC_OPENSESS, cmdOpenSess, 0},
    {UIC_SAVEDESKTOP, cmdSaveDesktop, 0},
    {UIC_CLOSESESS, cmdCloseSess, 0},
    {UIC_AUTOEXIT, cmdAutoExit, 0},
    {UIC_EXIT, cmdExit, 0},
    {UIC_STATUSBAR, cmdStatusBar, 0},
    {UIC_TOOLBAR, cmdToolbar, 0},
    {UIC_VIEWCLIP, cmdViewClip, 0},
    {UIC_DEBUGLOG, cmdDebugLog, 0},
    {UIC_TILEHORZ, cmdArrange, PMDI_TILE},
    {UIC_TILEVERT, cmdArrange, PMDI_TILE},
    {UIC_CASCADE, cmdArrange, PMDI_CASCADE},
    {UIC_ARRANGE, cmdArrange, PMDI_ICONS},
    {UIC_HELPCONTENTS, cmdHelpContents, 0},
    {UIC_HELPINDEX, cmdHelpIndex, 0},
    {UIC_ABOUT, cmdAbout, 0},
    {UIC_MCSUNDERLINE, cmdMcsUnderline, 0},
    {UIC_MCSUNDERSCORE, cmdMcsUnderscore, 0},
    {UIC_MCS3D, cmdMcs3D, 0},
    {UIC_FONTINC, cmdFontLarger, 0},
    {UIC_FONTDEC, cmdFontSmaller, 0},
    {UIC_AUTOFONT, cmdAutoFont, 0},
    {UIC_COLORS, cmdColors, 0},
    {UIC_SESSPOPUP, cmdSessPopup, 0},
};

void runCommand(int32_t id, PLParam lp)
{
    for (const CommandRow& r : kCommands)
        if (r.id == id) {
            if (id != UIC_AUTOCONNECT && !commandEnabled(id))
                return;
            r.run(r.arg ? r.arg : lp);
            uiMenuRefresh();
            return;
        }
    logPrintf("#UIFRAME: command %d not handled\n", (int)id);
}

// ---- socket events of the listener ----

void socketEvent(PWParam wp, PLParam lp)
{
    int sock = (int)wp;
    uint32_t event = platSelectEvent(lp);
    int error = platSelectError(lp);
    logPrintf("#UIFRAME:SocketEvent(%i)(%i)(%x)\n", sock, (int)event, error);
    if (error) {
        char text[COM_TEXT_MAX];
        snprintf(text, sizeof text, "FrameWndProc: error [%d] on socket[%d]", error, sock);
        showInternalError(text, kUnit, __LINE__);
        return;
    }
    if (event == FD_ACCEPT) {
        if (chBusy()) {
            sessSetPendingAccept(sock);
            return;
        }
        ChSemSet(1, "FrameSocketEvent");
        msrStart(sock);
        ChSemSet(0, "FrameSocketEvent");
    } else if (event == FD_CLOSE) {
        if (chSessPtr && chSessPtr->mcs && korvexSocket(chSessPtr->mcs) == sock)
            mcsChannelEnd();
    }
}

// Ctrl+F4 closes the active session window, Ctrl+F6 moves to the next one.
bool mdiSysKey(uint32_t msg, PWParam wp)
{
    if (msg != PM_KEYDOWN || !keyDown(PVK_CONTROL))
        return false;
    PWnd active = activeSessionWindow();
    if (!active)
        return false;
    if (wp == (PWParam)(PVK_F1 + 3)) {
        platPost(active, PM_CLOSE, 0, 0);
        return true;
    }
    if (wp == (PWParam)(PVK_F1 + 5)) {
        int from = -1;
        for (int i = 0; i < CU_MAX_SCREENS; ++i)
            if (cuScreenAt(i) && cuScreenAt(i)->wnd == active)
                from = i;
        for (int k = 1; k <= CU_MAX_SCREENS; ++k) {
            CuScreen* s = cuScreenAt((from + k) % CU_MAX_SCREENS);
            if (s && s->wnd && s->wnd != active) {
                platMdiActivate(s->wnd);
                break;
            }
        }
        return true;
    }
    return false;
}

} // namespace

const UiAccel* uiAccelTable(int* count)
{
    if (count)
        *count = kAccelCount;
    return kAccel;
}

int32_t uiAccelCommand(uint32_t msg, PWParam wp)
{
    bool sys = msg == PM_SYSKEYDOWN || msg == PM_SYSCHAR;
    bool chr = msg == PM_CHAR || msg == PM_SYSCHAR;
    if (msg != PM_KEYDOWN && msg != PM_SYSKEYDOWN && !chr)
        return 0;
    bool ctrl = keyDown(PVK_CONTROL), shift = keyDown(PVK_SHIFT);
    for (const UiAccel& a : kAccel) {
        if (((a.flags & UI_ACC_CHAR) != 0) != chr || a.key != (int32_t)wp)
            continue;
        if (((a.flags & UI_ACC_ALT) != 0) != sys)
            continue;
        if (((a.flags & UI_ACC_CTRL) != 0) != ctrl)
            continue;
        if (!(a.flags & kAnyShift) && !chr && ((a.flags & UI_ACC_SHIFT) != 0) != shift)
            continue;
        return a.command;
    }
    return 0;
}

const PMenuItem* uiMenuItems(int* count)
{
    if (count)
        *count = kMenuCount;
    return kMenu;
}

PWnd uiFrame() { return g_frame; }
PWnd uiMdiClient() { return g_mdi; }
void uiSetDialogHook(UiDialogHook hook) { g_dialogHook = hook; }
void uiSetListenSocket(int socket) { g_listen = socket; }
int uiListenSocket() { return g_listen; }

void uiSetViewerPrograms(const char* first, const char* second) { g_viewers = {first, second}; }
void uiSetEditorPrograms(const char* first, const char* second) { g_editors = {first, second}; }

int uiSpawn(const char* program, const char* const* args)
{
    reapChildren();
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, program, nullptr, nullptr, const_cast<char* const*>(args), environ);
    if (rc != 0)
        return rc;
    for (pid_t& p : g_children)
        if (p == 0) {
            p = pid;
            break;
        }
    return 0;
}

int uiEditFile(const char* path)
{
    // The log is flushed so the editor sees all of it; posix_spawn hands
    // the path over as one argument, so it needs no quotes.
    logFlush();
    if (spawnEither(g_editors, path) != 0) {
        showError(strGet(17014));
        return -1;
    }
    return 0;
}

int uiAboutText(int line, char* out, int size)
{
    switch (line) {
    case 0:
        return snprintf(out, size, "%s", KVX_PRODUCT);
    case 1:
        return snprintf(out, size, "%s", KVX_COMPANY);
    case 2:
        return snprintf(out, size, "%s %d.%d %s %d %s %d", strGet(12015), KVX_VERSION_MAJOR, KVX_VERSION_MINOR, strGet(16033),
                        KVX_VERSION_BUILD, strGet(16036), KVX_VERSION_REVISION);
    case 3:
        return snprintf(out, size, "%s", OpenSSL_version(OPENSSL_VERSION));
    }
    if (size > 0)
        out[0] = 0;
    return -1;
}

int uiAutoConnect(const char* host)
{
    if (!host || !*host || chBusy())
        return -1;
    const UiConfig& c = uiConfig();
    int protocol = uiOptions().protocol ? uiOptions().protocol : KVX_DESC_RLOGIN;
    for (int i = 0; i < c.hostCount; ++i)
        if (std::strcmp(c.hosts[i].name, host) == 0) {
            protocol = c.hosts[i].protocol;
            break;
        }
    return connect(host, c.defaultUserId, protocol, "AutoConnect");
}

int uiOpenSess(int slot)
{
    if (openSessions() >= CH_MAX_SESSIONS)
        return -1;
    const UiConfig& c = uiConfig();
    std::array<const char*, UI_MAX_HOSTS> names{};
    for (int i = 0; i < c.hostCount; ++i)
        names[i] = c.hosts[i].name;
    char login[UI_USERID_MAX + 1];
    snprintf(login, sizeof login, "%s", c.defaultUserId);
    PDlgControl controls[] = {
        {UI_OS_HOSTS, PCtlKind::List, "Host", nullptr, 0, names.data(), c.hostCount, c.hostCount > 0 ? 0 : -1},
        {UI_OS_LOGIN, PCtlKind::Edit, "Login ID", login, (int32_t)sizeof login, nullptr, 0, 0},
        {PID_OK, PCtlKind::Button, "OK", nullptr, 0, nullptr, 0, 0},
        {PID_CANCEL, PCtlKind::Button, "Cancel", nullptr, 0, nullptr, 0, 0},
        {UI_OS_HELP, PCtlKind::Button, "Help", nullptr, 0, nullptr, 0, 0},
    };
    PDlgForm dialog{UI_DLG_OPENSESS, "Open Session", controls, (int32_t)(sizeof controls / sizeof controls[0])};
    int32_t result;
    while ((result = platDialog(g_frame, &dialog)) == UI_OS_HELP) {
        char page[32];
        snprintf(page, sizeof page, "topic%d.html", UI_HELP_OPENSESS);
        openHelp(page);
    }
    int sel = controls[0].value;
    if (result != PID_OK || sel < 0 || sel >= c.hostCount)
        return -1;
    login[UI_USERID_MAX] = 0;
    const UiHost& h = c.hosts[sel];
    logPrintf("#uiOpenSess: Opening sess to [%s]\n", h.name);
    if (slot >= 0 && sessIsOpen(slot))   // taken while the dialog was open
        slot = -1;
    return connect(h.name, login, h.protocol, "uiOpenSess", slot);
}

void uiMenuRefresh()
{
    if (!g_frame)
        return;
    std::array<uint32_t, kMenuCount> flags = menuFlagsNow();
    for (int i = 0; i < kMenuCount; ++i) {
        if (kMenu[i].depth == 0 || !kMenu[i].text)
            continue;
        if (!g_menuSet || flags[i] != g_menuFlags[i])
            platMenuState(g_frame, kMenu[i].id, flags[i]);
    }
    g_menuFlags = flags;
    g_menuSet = true;
}

bool uiFrameMessageFilter(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp)
{
    if (g_dialogHook)
        for (int slot = 0; slot < CH_MAX_SESSIONS; ++slot)
            if (g_dialogHook(slot, wnd, msg, wp, lp))
                return true;
    if (msg == PM_MDIACTIVATE || msg == PM_SETFOCUS)
        uiMenuRefresh();
    if (!g_frame)
        return false;
    if (g_swallowChar && (msg == PM_CHAR || msg == PM_SYSCHAR)) {
        g_swallowChar = false;
        return true;
    }
    if (msg == PM_KEYDOWN || msg == PM_SYSKEYDOWN)
        g_swallowChar = false;
    if (mdiSysKey(msg, wp))
        return true;
    int32_t cmd = uiAccelCommand(msg, wp);
    if (!cmd || !commandEnabled(cmd))
        return false;
    if (msg == PM_KEYDOWN || msg == PM_SYSKEYDOWN)
        g_swallowChar = true;
    platSend(g_frame, PM_COMMAND, (PWParam)cmd, 0);
    return true;
}

PResult uiFrameWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp)
{
    switch (msg) {
    case PM_CREATE: {
        g_frame = wnd;
        PWndCreate c{};
        c.kind = PWndKind::MdiClient;
        c.parent = wnd;
        c.title = "";
        c.flags = PWS_VISIBLE;
        c.proc = nullptr;
        g_mdi = platCreateWindow(c);
        if (!g_mdi)
            return -1;
        cuSetMdiClient(g_mdi);
        sessSetFrame(wnd);
        uiSetFrameWindow(wnd);
        int n = 0;
        const PMenuItem* items = uiMenuItems(&n);
        platSetMenu(wnd, items, n);
        g_menuSet = false;
        return 0;
    }
    case PM_COMMAND:
        runCommand((int32_t)wp, lp);
        return 0;
    // Keys typed while no session window has the focus (the MDI area's
    // own) act on the current session, as in its window.
    case PM_KEYDOWN:
        return uiWMKeyDown(wp, lp);
    case PM_CHAR:
        return uiWMChar(wp, lp);
    case PM_SYSKEYDOWN:
        return uiWMSysKeyDown(wp, lp);
    case PM_SYSCHAR:
        return uiWMSysChar(wp, lp);
    case PM_SOCKET:
        socketEvent(wp, lp);
        return 0;
    case PM_TIMER:
        msrTimer(wnd, wp);
        return 0;
    case PM_SESSIONS_CHANGED:
        reapChildren();
        uiMenuRefresh();
        return 0;
    case PM_RUN_MACRO:
        logPrintf("#UIFRAME: macro slot %d\n", (int)wp);
        return 0;
    case PM_COLORS_CHANGED:
        uiLoadRenderOptions();
        repaintSessions();
        return 0;
    case PM_SIZE:
    case PM_PAINT:
        if (chCurSlot >= 0)
            uiStatusUpdate(chCurSlot);
        return 0;
    case PM_QUERYENDSESSION:
        closeAllSessions();
        return 1;
    case PM_CLOSE:
        closeAllSessions();
        if (g_listen >= 0) {
            comClose(g_listen);
            g_listen = -1;
        }
        comShutDown();
        platDestroyWindow(wnd);
        return 0;
    case PM_DESTROY:
        g_frame = 0;
        g_mdi = 0;
        sessSetFrame(0);
        cuSetMdiClient(0);
        platQuit(0);
        return 0;
    }
    return 0;
}

void uiFrameReset()
{
    g_frame = 0;
    g_mdi = 0;
    g_listen = -1;
    g_logToggleRunning = false;
    g_swallowChar = false;
    g_dialogHook = nullptr;
    g_menuSet = false;
    g_menuFlags = {};
}
