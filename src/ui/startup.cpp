// Start-up: the command line, the locations, the frame, the socket layer and
// the listening socket, the session table, the first thing the user sees,
// and the message loop.
#include "ui/startup.h"

#include "term/unix.h"

#include "common/compress.h"
#include "common/log.h"
#include "common/strtab.h"
#include "core/child.h"
#include "core/cuscr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "plat/folders.h"
#include "ui/config.h"
#include "ui/errbox.h"
#include "ui/profile.h"
#include "ui/uiframe.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint16_t g_port = 0;
KORVEX* g_listener = nullptr;
char g_autoHost[UI_CMDLINE_MAX] = "";

bool fileExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// rename(), or copy and remove when the two places are on different file
// systems.
int moveFile(const std::string& from, const std::string& to)
{
    if (rename(from.c_str(), to.c_str()) == 0)
        return 0;
    if (errno != EXDEV)
        return -1;
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return -1;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        return -1;
    }
    char buf[8192];
    ssize_t n;
    int rc = 0;
    while ((n = read(in, buf, sizeof buf)) > 0)
        if (write(out, buf, (size_t)n) != n)
            rc = -1;
    if (n < 0)
        rc = -1;
    close(in);
    close(out);
    if (rc == 0)
        rc = unlink(from.c_str());
    else
        unlink(to.c_str());
    return rc;
}

// The word at p (up to a space).
size_t wordLength(const char* p)
{
    size_t n = 0;
    while (p[n] && p[n] != ' ')
        ++n;
    return n;
}

} // namespace

void uiJoinArgs(int argc, char** argv, char* out, int size)
{
    int n = 0;
    out[0] = 0;
    for (int i = 1; i < argc && n < size - 1; ++i) {
        int w = snprintf(out + n, (size_t)(size - n), "%s%s", n ? " " : "", argv[i]);
        if (w < 0 || w >= size - n) {
            out[size - 1] = 0;
            return;
        }
        n += w;
    }
}

void uiParseCmdLine(const char* line, UiCmdLine* out)
{
    *out = UiCmdLine{UiCmdAction::Run, 0, false, ""};
    char buf[UI_CMDLINE_MAX];
    snprintf(buf, sizeof buf, "%s", line ? line : "");
    for (char* p = std::strchr(buf, '/'); p; p = std::strchr(p + 1, '/')) {
        const char* rest = p + 1;
        if (std::strcmp(rest, "Install") == 0 || std::strncmp(rest, "Install ", 8) == 0) {
            out->action = UiCmdAction::Install;
            return;
        }
        if (std::strcmp(rest, "Uninstall") == 0 || std::strncmp(rest, "Uninstall ", 10) == 0) {
            out->action = UiCmdAction::Uninstall;
            return;
        }
        if (std::strncmp(rest, "LANGID=", 7) == 0)
            out->langId = (int32_t)std::strtol(rest + 7, nullptr, 16);
    }
    // "-d" or "-D" opens the debug log; the two characters are blanked.
    for (char* p = buf; (p = std::strchr(p, '-')) != nullptr; ++p)
        if ((p[1] == 'd' || p[1] == 'D') && (p == buf || p[-1] == ' ') && (p[2] == 0 || p[2] == ' ')) {
            out->debugLog = true;
            p[0] = p[1] = ' ';
        }
    // Leading spaces and words that begin with a slash are skipped.
    const char* p = buf;
    for (;;) {
        while (*p == ' ')
            ++p;
        if (*p != '/')
            break;
        p += wordLength(p);
    }
    snprintf(out->host, sizeof out->host, "%s", p);
    size_t n = std::strlen(out->host);
    while (n > 0 && out->host[n - 1] == ' ')
        out->host[--n] = 0;
}

int uiInstallMigrate()
{
    char system[PLAT_PATHBUF], common[PLAT_PATHBUF];
    if (platWindowsFolder(system) <= 0 || platCommonDataFolder(common) <= 0)
        return 0;
    std::string from = std::string(system) + UI_CONFIG_NAME;
    std::string to = std::string(common) + UI_CONFIG_NAME;
    if (!fileExists(from) || fileExists(to))
        return 0;
    if (platMessageBox(0, strGet(17013), "Question", PMB_YESNO | PMB_ICONQUESTION) != PID_YES)
        return 1;
    char text[COM_TEXT_MAX];
    snprintf(text, sizeof text, strGet(17012), from.c_str(), to.c_str());
    if (platMessageBox(0, text, "Warning", PMB_OKCANCEL | PMB_ICONWARNING) != PID_OK)
        return 1;
    mkdir(common, 0755);
    if (moveFile(from, to) != 0) {
        snprintf(text, sizeof text, "Move of KORVEX.INI file from '%s' to '%s'", from.c_str(), to.c_str());
        showSystemError(text);
        return -1;
    }
    return 0;
}

int uiStartup(const char* cmdLine)
{
    UiCmdLine cl;
    uiParseCmdLine(cmdLine, &cl);
    if (cl.action == UiCmdAction::Install) {
        uiInstallMigrate();
        return 1;
    }
    if (cl.action == UiCmdAction::Uninstall)
        return 1;
    // The language id would pick the German or French texts; only the
    // English table is built in, so it is recorded and nothing more.
    if (cl.langId)
        logPrintf("#LANGID=%x\n", (unsigned)cl.langId);

    uiResetPrintTranslation();
    uiLocateConfig();

    int splash = cfgGetInt("Options", "Splash", 1);
    if (splash > 0)
        uiSplashShow(splash);

    PRect r{};
    bool placed = uiGetMainWinState(&r) != 0;
    PWndCreate fc{};
    fc.kind = PWndKind::Frame;
    fc.parent = 0;
    fc.title = strGet(12001);
    fc.rect = placed ? r : PRect{0, 0, 800, 600};
    fc.flags = placed ? 0 : (PWS_MAXIMIZED | PWS_DEFAULTPOS);
    fc.proc = uiFrameWndProc;
    PWnd frame = platCreateWindow(fc);
    if (!frame || !uiMdiClient()) {
        showInternalError("Could not create window!", "UIFRAME", __LINE__);
        return -1;
    }
    uiReadOptions();

    if (cl.debugLog)
        dbgLog(1);

    cuInit();
    if (comStartUp(uiConfigPath()) != 0) {
        showError(strGet(16026));
        return -2;
    }
    g_port = (uint16_t)uiOptions().port;
    int sock = comCreateListeningAsyncSock(&g_port, frame, PM_SOCKET);
    if (sock < 0) {
        showError(strGet(16027));
        comShutDown();
        return -3;
    }
    uiSetListenSocket(sock);
    unixSetListenPort(g_port);   // the port the call-back address reply names
    unixLoadOptions();
    g_listener = comNewDescriptor(KVX_DESC_MCS, sock);
    sessTableInit();
    chMsgBuffer();
    compressBuildTable();

    platShow(frame, placed ? PSW_SHOW : PSW_MAXIMIZE);
    platPost(frame, PM_SESSIONS_CHANGED, 0, 0);

    const UiConfig& c = uiConfig();
    char startup[64];
    if (c.hostCount > 0 && cl.host[0]) {
        snprintf(g_autoHost, sizeof g_autoHost, "%s", cl.host);
        platSend(frame, PM_COMMAND, UIC_AUTOCONNECT, reinterpret_cast<PLParam>(g_autoHost));
    } else if (c.hostCount > 0 && cfgGetString("Macros", "Startup", "", startup, sizeof startup) > 0) {
        platPost(frame, PM_RUN_MACRO, 0, 0);
    } else if (c.hostCount > 0) {
        platPost(frame, PM_COMMAND, UIC_OPENSESS, 0);
    } else {
        platPost(frame, PM_COMMAND, UIC_CONFIG, 0);
    }
    return 0;
}

int uiRunLoop()
{
    platSetMessageFilter(uiFrameMessageFilter);
    int code = platRunLoop();
    uiShutdown();
    return code;
}

int uiMain(const char* cmdLine)
{
    int rc = uiStartup(cmdLine);
    if (rc == 1)
        return 0;
    if (rc < 0) {
        uiShutdown();
        return 1;
    }
    return uiRunLoop();
}

uint16_t uiListenPort() { return g_port; }

void uiShutdown()
{
    platSetMessageFilter(nullptr);
    uiSplashClose();
    if (g_listener) {
        destroy(g_listener);
        g_listener = nullptr;
    }
    if (uiListenSocket() >= 0) {
        comClose(uiListenSocket());
        uiSetListenSocket(-1);
    }
    cuTerm();
    if (logIsOpen())
        logClose();
}
