// The settings held in memory, their locations and the protected values.
#include "ui/config.h"

#include "common/codes.h"
#include "common/log.h"
#include "common/strtab.h"
#include "core/cuscr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "plat/folders.h"
#include "ui/errbox.h"
#include "ui/profile.h"
#include "ui/status.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

UiOptions g_opt{};
UiConfig g_cfg{};
std::array<uint8_t, 256> g_translate{};
char g_folder[PLAT_PATHBUF] = "";
char g_path[PLAT_PATHBUF] = "korvex.ini";
char g_knownHosts[PLAT_PATHBUF] = "korvex_knownhosts";
char g_userProt[PLAT_PATHBUF] = "korvex.reg";
char g_machineProt[PLAT_PATHBUF] = "";
int g_autoExit = -1;    // -1 not read yet
bool g_located = false; // the folders are known: files may be created there

constexpr char kMissing[] = "\x01";

struct ProtocolName {
    int32_t number;
    const char* name;
};
// Tested in this order: "Rlogin+" before its prefix "Rlogin".
constexpr ProtocolName kProtocols[] = {
    {KVX_DESC_RLOGINPLUS, "Rlogin+"},
    {KVX_DESC_TELNET, "Telnet"},
    {KVX_DESC_RLOGIN, "Rlogin"},
    {KVX_DESC_SSH, "SSH"},
};

struct BeepWord {
    UiBeep beep;
    const char* word;
};
constexpr BeepWord kBeeps[] = {
    {UiBeep::Audible, "AUDIBLE"},
    {UiBeep::Visual, "VISUAL"},
    {UiBeep::Both, "BOTH"},
    {UiBeep::None, "NONE"},
};

constexpr const char* kPrintModes[] = {"RAW", "LPT1", "LPT1RAW", "LPT2", "LPT2RAW"};

// A value upper-cased for comparison (national upper-casing of the
// workstation's language does not change the ASCII words compared here).
std::string upperValue(const char* section, const char* key, const char* def)
{
    char v[64];
    int n = cfgGetString(section, key, def, v, sizeof v);
    natUpper(reinterpret_cast<unsigned char*>(v), (size_t)n, 0);
    return v;
}

bool fileExists(const char* path)
{
    struct stat st {};
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Creates a folder and its parents (mode 0700 for the ones we make).
void makeFolders(const char* folder)
{
    std::string p;
    for (const char* c = folder; *c; ++c) {
        p += *c;
        if (*c == '/' && p.size() > 1)
            mkdir(p.c_str(), 0700);
    }
    mkdir(p.c_str(), 0700);
}

// Copies src to dst unless dst exists.
int copyOnce(const char* src, const char* dst)
{
    int in = open(src, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return -1;
    int out = open(dst, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        close(in);
        return -1;
    }
    char buf[8192];
    ssize_t n;
    int rc = 0;
    while ((n = read(in, buf, sizeof buf)) > 0)
        if (write(out, buf, (size_t)n) != n) {
            rc = -1;
            break;
        }
    if (n < 0)
        rc = -1;
    close(in);
    close(out);
    return rc;
}

void setPaths(const char* folder)
{
    snprintf(g_folder, sizeof g_folder, "%s", folder);
    if (snprintf(g_path, sizeof g_path, "%s%s", g_folder, UI_CONFIG_NAME) >= (int)sizeof g_path)
        snprintf(g_path, sizeof g_path, "%s", UI_CONFIG_NAME);
    if (snprintf(g_knownHosts, sizeof g_knownHosts, "%s%s", g_folder, UI_KNOWNHOSTS_NAME) >= (int)sizeof g_knownHosts)
        snprintf(g_knownHosts, sizeof g_knownHosts, "%s", UI_KNOWNHOSTS_NAME);
    if (snprintf(g_userProt, sizeof g_userProt, "%s%s", g_folder, UI_PROTECTED_NAME) >= (int)sizeof g_userProt)
        snprintf(g_userProt, sizeof g_userProt, "%s", UI_PROTECTED_NAME);
    char common[PLAT_PATHBUF];
    g_machineProt[0] = 0;
    g_located = true;
    if (platCommonDataFolder(common) > 0 &&
        snprintf(g_machineProt, sizeof g_machineProt, "%s%s", common, UI_PROTECTED_NAME) >= (int)sizeof g_machineProt)
        g_machineProt[0] = 0;
    cfgSetFile(g_path);
}

// ---- the protected file: the profile format in a file of mode 0600 ----

// The value, or -1 when the file or the key is missing.
int protGet(const char* path, const char* key, char* out, int size)
{
    if (!path[0] || !fileExists(path))
        return -1;
    std::string saved = cfgFile();
    cfgSetFile(path);
    int n = cfgGetString(UI_PROTECTED_SECTION, key, kMissing, out, size);
    cfgSetFile(saved.c_str());
    return std::strcmp(out, kMissing) == 0 ? -1 : n;
}

int protSet(const char* path, const char* key, const char* value)
{
    if (!path[0])
        return -1;
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    fchmod(fd, 0600);
    close(fd);
    std::string saved = cfgFile();
    cfgSetFile(path);
    int rc = cfgSetString(UI_PROTECTED_SECTION, key, value);
    cfgSetFile(saved.c_str());
    return rc;
}

int clampSessions(long v) { return (v >= 1 && v <= UI_DEFAULT_MAXSESSIONS) ? (int)v : UI_DEFAULT_MAXSESSIONS; }

void loadProtected()
{
    char v[UI_PASSWORD_MAX + 1];
    // The local machine's values move into the current user's file once.
    if (g_machineProt[0] && fileExists(g_machineProt)) {
        for (const char* key : {"MaxSessions", "ConfigPassword"}) {
            if (protGet(g_machineProt, key, v, sizeof v) >= 0 && protSet(g_userProt, key, v) == 0)
                protSet(g_machineProt, key, nullptr);
        }
        if (unlink(g_machineProt) != 0)
            logPrintf("#uiLoadHosts: cannot remove %s (%d)\n", g_machineProt, errno);
    }
    if (protGet(g_userProt, "MaxSessions", v, sizeof v) >= 0)
        g_cfg.maxSessions = clampSessions(std::strtol(v, nullptr, 10));
    else
        g_cfg.maxSessions = clampSessions(cfgGetInt("Hosts", "MaxSessions", UI_DEFAULT_MAXSESSIONS));
    if (protGet(g_userProt, "ConfigPassword", v, sizeof v) < 0)
        cfgGetString("Options", "ConfigPassword", "", v, sizeof v);
    snprintf(g_cfg.configPassword, sizeof g_cfg.configPassword, "%s", v);
}

UiKeyRole keyRole(const char* key, std::initializer_list<std::pair<const char*, UiKeyRole>> words)
{
    std::string v = upperValue("Options", key, "");
    for (const auto& [word, role] : words)
        if (v == word)
            return role;
    return UiKeyRole::None;
}

bool onUnlessOff(const char* section, const char* key) { return upperValue(section, key, "") != "OFF"; }

} // namespace

const UiOptions& uiOptions() { return g_opt; }
UiOptions& uiOptionsMut() { return g_opt; }
const UiConfig& uiConfig() { return g_cfg; }
UiConfig& uiConfigMut() { return g_cfg; }
const char* uiConfigFolder() { return g_folder; }
const char* uiConfigPath() { return g_path; }
const char* uiKnownHostsPath() { return g_knownHosts; }
const char* uiUserProtectedPath() { return g_userProt; }
const char* uiMachineProtectedPath() { return g_machineProt; }

int uiLocateConfig()
{
    char folder[PLAT_PATHBUF];
    const char* env = std::getenv("KORVEX");
    if (env && *env) {
        size_t n = std::strlen(env);
        if (n + 2 > sizeof folder)
            n = sizeof folder - 2;
        std::memcpy(folder, env, n);
        if (folder[n - 1] != '/')
            folder[n++] = '/';
        folder[n] = 0;
        setPaths(folder);
        return 0;
    }
    if (platUserDataFolder(folder) <= 0) {
        setPaths("");
        return 1;
    }
    setPaths(folder);
    if (fileExists(g_path))
        return 0;
    makeFolders(folder);
    char common[PLAT_PATHBUF];
    if (platCommonDataFolder(common) > 0) {
        std::string src = std::string(common) + UI_CONFIG_NAME;
        if (fileExists(src.c_str()) && copyOnce(src.c_str(), g_path) == 0)
            logPrintf("#Copied %s to %s\n", src.c_str(), g_path);
    }
    return 0;
}

int uiParseByteString(const char* text, uint8_t* out, int size)
{
    int n = 0;
    int len = (int)strnlen(text, UI_OPTIMIZE_MAX);
    for (int i = 0; i < len && n < size; ++i) {
        if (text[i] == '\\' && i + 3 < len && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            isxdigit((unsigned char)text[i + 2]) && isxdigit((unsigned char)text[i + 3])) {
            char hex[3] = {text[i + 2], text[i + 3], 0};
            out[n++] = (uint8_t)std::strtol(hex, nullptr, 16);
            i += 3;
        } else {
            out[n++] = (uint8_t)text[i];
        }
    }
    return n;
}

int uiProtocolByName(const char* name, int def)
{
    if (!name || !*name)
        return def;
    for (const auto& p : kProtocols)
        if (strncasecmp(name, p.name, std::strlen(p.name)) == 0)
            return p.number;
    return def;
}

const char* uiProtocolName(int protocol)
{
    for (const auto& p : kProtocols)
        if (p.number == protocol)
            return p.name;
    return "Rlogin";
}

void uiResetPrintTranslation()
{
    for (int i = 0; i < 256; ++i)
        g_translate[i] = (uint8_t)i;
}

const uint8_t* uiPrintTranslation() { return g_translate.data(); }

void uiReadOptions()
{
    UiOptions& o = g_opt;
    o.numEnter = keyRole("NumEnter", {{"XMIT", UiKeyRole::Xmit}, {"TAB", UiKeyRole::Tab}});
    o.numAdd = keyRole("NumAdd", {{"TAB", UiKeyRole::Tab}});
    o.numSubtract = keyRole("NumSubtract", {{"BACKTAB", UiKeyRole::BackTab}});
    o.numMultiply = keyRole("NumMultiply", {{"ENTER", UiKeyRole::Enter}, {"XMIT", UiKeyRole::Xmit}});
    o.spaceNonDestructive = upperValue("Options", "SpaceBar", "") == "NODESTRUCT";
    std::string u = upperValue("Options", "MCSUnderline", "");
    o.mcsUnderline = u == "UNDERLINE" ? UiUnderline::Underline : u == "UNDERSCORE" ? UiUnderline::Underscore : UiUnderline::None;
    o.threeD = onUnlessOff("Options", "3DMode");
    o.winControls = upperValue("Options", "WinControls", "") == "ON";
    char v[UI_PASSWORD_MAX + 1];
    cfgGetString("Options", "Protocol", "Rlogin", v, sizeof v);
    o.protocol = uiProtocolByName(v, KVX_DESC_RLOGIN);
    o.typeAhead = upperValue("Options", "TypeAhead", "ON") == "ON";
    char text[UI_OPTIMIZE_MAX + 1];
    cfgGetString("Options", "OptimizeOn", "", text, sizeof text);
    o.optimizeOnLen = uiParseByteString(text, o.optimizeOn, UI_OPTIMIZE_MAX);
    cfgGetString("Options", "OptimizeOff", "", text, sizeof text);
    o.optimizeOffLen = uiParseByteString(text, o.optimizeOff, UI_OPTIMIZE_MAX);
    o.maxCopies = cfgGetInt("Options", "MaxCopies", COM_DEFAULT_MAXCOPIES);
    o.port = cfgGetInt("Options", "Port", COM_DEFAULT_PORT);
    o.splash = cfgGetInt("Options", "Splash", 1);
    o.clipDeleteLeadSpaces = onUnlessOff("Options", "ClipDeleteLeadSpaces");
    o.autoCopy = onUnlessOff("Options", "AutoCopy");
    o.statusBar = onUnlessOff("Options", "StatusBar");
    u = upperValue("Options", "Toolbar", "");
    o.toolbar = u == "OFF" ? UiToolbar::Off : u == "FULL" ? UiToolbar::Full : UiToolbar::Short;
    o.autoExit = upperValue("Options", "AutoExit", "") == "ON";

    uiResetPrintTranslation();
    for (int i = 0; i < UI_TRANSLATE_KEYS; ++i) {
        char key[16], pair[32];
        snprintf(key, sizeof key, "Translate%02d", i);
        if (cfgGetString("Printing", key, "", pair, sizeof pair) == 0)
            continue;
        int from = -1, to = -1;
        if (sscanf(pair, "%d,%d", &from, &to) == 2 && from >= 0 && from <= 255 && to >= 0 && to <= 255)
            g_translate[from] = (uint8_t)to;
    }
}

int uiLoadHosts()
{
    UiConfig& c = g_cfg;
    c.hosts = {};
    c.hostCount = 0;
    char key[32];
    for (int slot = 0; slot < UI_MAX_HOSTS; ++slot) {
        snprintf(key, sizeof key, "H%02d", slot);
        UiHost& h = c.hosts[c.hostCount];
        if (cfgGetString("Hosts", key, "", h.name, sizeof h.name) > 0)
            ++c.hostCount;
        else
            h.name[0] = 0;
    }
    for (int i = 0; i < c.hostCount; ++i) {
        UiHost& h = c.hosts[i];
        snprintf(key, sizeof key, "TelnetPort%02d", i);
        h.telnetPort = cfgGetInt("Hosts", key, 23);
        snprintf(key, sizeof key, "SSHPort%02d", i);
        h.sshPort = cfgGetInt("Hosts", key, 22);
        snprintf(key, sizeof key, "SSHFingerprint%02d", i);
        cfgGetString("Hosts", key, "", h.fingerprint, sizeof h.fingerprint);
    }
    char v[UI_PATH_MAX + 1];
    cfgGetString("Options", "Protocol", "Rlogin", v, sizeof v);
    int defProtocol = uiProtocolByName(v, KVX_DESC_RLOGIN);
    for (int i = 0; i < UI_MAX_HOSTS; ++i) {
        UiHost& h = c.hosts[i];
        snprintf(key, sizeof key, "RloginPort%02d", i);
        h.rloginPort = cfgGetInt("Hosts", key, 513);
        snprintf(key, sizeof key, "Protocol%02d", i);
        cfgGetString("Hosts", key, "", v, sizeof v);
        h.protocol = uiProtocolByName(v, defProtocol);
    }
    cfgGetString("Hosts", "SSHKeyFile", "", c.sshKeyFile, sizeof c.sshKeyFile);
    if (cfgGetString("Hosts", "SSHKnownHostsFile", "", c.knownHostsFile, sizeof c.knownHostsFile) == 0) {
        snprintf(c.knownHostsFile, sizeof c.knownHostsFile, "%s", g_knownHosts);
        if (g_located && !fileExists(c.knownHostsFile)) {
            int fd = open(c.knownHostsFile, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (fd >= 0)
                close(fd);
        }
    }
    if (cfgGetString("Hosts", "DefaultUserID", "", c.defaultUserId, sizeof c.defaultUserId) == 0) {
        char host[256];
        if (gethostname(host, sizeof host) == 0 && host[0]) {
            size_t n = strnlen(host, UI_USERID_MAX);
            std::memcpy(c.defaultUserId, host, n);
            c.defaultUserId[n] = 0;
        } else {
            snprintf(c.defaultUserId, sizeof c.defaultUserId, "%s", "newuser");
        }
    }
    std::string b = upperValue("Hosts", "Beep", "");
    c.beep = b == "VISUAL" ? UiBeep::Visual : b == "BOTH" ? UiBeep::Both : b == "NONE" ? UiBeep::None : UiBeep::Audible;
    c.compression = upperValue("Hosts", "Compression", "") == "ON";
    comSetCompressionOption(c.compression);
    std::string pm = upperValue("Hosts", "Print Mode", "");
    c.printMode[0] = 0;
    for (const char* m : kPrintModes)
        if (pm == m)
            snprintf(c.printMode, sizeof c.printMode, "%s", m);
    c.aux1PrinterMap = onUnlessOff("Lang", "AUX1 Printer Map");
    c.generateFF = onUnlessOff("Hosts", "Generate FF");
    c.printTimeout = (uint32_t)std::strtoul(upperValue("Hosts", "Print Timeout", "0").c_str(), nullptr, 10);
    c.charDelay = (uint32_t)std::strtoul(upperValue("Hosts", "CharDelay", "0").c_str(), nullptr, 10);
    loadProtected();
    logPrintf("#uiLoadHosts: %d hosts, MaxSessions %d\n", c.hostCount, c.maxSessions);
    return c.hostCount;
}

int uiWriteSetting(const char* section, const char* key, const char* value)
{
    if (cfgSetString(section, key, value) == 0)
        return 0;
    char text[COM_TEXT_MAX];
    snprintf(text, sizeof text, "Saving '%s' in '%s'", section, cfgFile());
    showSystemError(text);
    return -1;
}

int uiSaveConfig()
{
    const UiConfig& c = g_cfg;
    int rc = 0;
    char key[32], value[64];
    auto put = [&rc](const char* section, const char* k, const char* v) {
        if (uiWriteSetting(section, k, v) < 0)
            rc = -1;
    };
    for (int i = 0; i < UI_MAX_HOSTS; ++i) {
        bool in = i < c.hostCount;
        snprintf(key, sizeof key, "H%02d", i);
        put("Hosts", key, in ? c.hosts[i].name : nullptr);
        snprintf(key, sizeof key, "SSHFingerprint%02d", i);
        put("Hosts", key, in ? c.hosts[i].fingerprint : nullptr);
        snprintf(key, sizeof key, "Protocol%02d", i);
        put("Hosts", key, in ? uiProtocolName(c.hosts[i].protocol) : nullptr);
    }
    put("Hosts", "DefaultUserID", c.defaultUserId);
    put("Hosts", "Beep", kBeeps[(int)c.beep].word);
    put("Hosts", "Compression", c.compression ? "ON" : nullptr);
    put("Hosts", "Print Mode", c.printMode);
    put("Lang", "AUX1 Printer Map", c.aux1PrinterMap ? nullptr : "OFF");
    put("Hosts", "Generate FF", c.generateFF ? nullptr : "OFF");
    snprintf(value, sizeof value, "%u", c.printTimeout);
    put("Hosts", "Print Timeout", c.printTimeout ? value : nullptr);
    snprintf(value, sizeof value, "%u", c.charDelay);
    put("Hosts", "CharDelay", c.charDelay ? value : nullptr);
    snprintf(value, sizeof value, "%d", c.maxSessions);
    if (protSet(g_userProt, "MaxSessions", value) != 0)
        put("Hosts", "MaxSessions", value);
    if (protSet(g_userProt, "ConfigPassword", c.configPassword) != 0)
        put("Options", "ConfigPassword", c.configPassword);
    return rc;
}

int uiGetMainWinState(PRect* out)
{
    char v[64];
    *out = PRect{0, 0, 0, 0};
    if (cfgGetString("Fonts", "DefMainWinState", "", v, sizeof v) == 0)
        return 0;
    int l, t, r, b;
    if (sscanf(v, "%d,%d,%d,%d", &l, &t, &r, &b) != 4 || l < 0 || t < 0 || r < 0 || b < 0)
        return 0;
    *out = PRect{l, t, r, b};
    return 1;
}

bool uiMaximizeChildren() { return upperValue("Fonts", "MaximizeChildren", "NO") == "YES"; }

int uiSaveDesktop(PWnd frame)
{
    int rc = 0;
    char v[96], key[32];
    PRect r = platWindowRect(frame);
    snprintf(v, sizeof v, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
    if (uiWriteSetting("Fonts", "DefMainWinState", v) < 0)
        rc = -1;
    bool anyMax = false;
    for (int slot = 0; slot < CU_MAX_SCREENS; ++slot) {
        CuScreen* s = cuScreenAt(slot);
        if (s && s->wnd && platIsMaximized(s->wnd))
            anyMax = true;
    }
    if (uiWriteSetting("Fonts", "MaximizeChildren", anyMax ? "YES" : "NO") < 0)
        rc = -1;
    for (int slot = 0; slot < CU_MAX_SCREENS; ++slot) {
        CuScreen* s = cuScreenAt(slot);
        if (!s || !s->wnd || platIsMinimized(s->wnd))
            continue;
        PRect w = platWindowRect(s->wnd);
        snprintf(key, sizeof key, "DefWin%02dState", slot + 1);
        snprintf(v, sizeof v, "%d,%d,%d,%d,%d,%d,%d,%d", w.left, w.top, w.right, w.bottom, s->lockedFontSize, s->Rows, s->Cols,
                 platIsMaximized(s->wnd) ? 1 : 0);
        if (uiWriteSetting("Fonts", key, v) < 0)
            rc = -1;
    }
    uiStatusSetField(UI_STATUS_MSGFIELD, strGet(12021));
    return rc;
}

bool uiAutoExit()
{
    if (g_autoExit < 0)
        g_autoExit = upperValue("Options", "AutoExit", "") == "ON" ? 1 : 0;
    return g_autoExit == 1;
}

void uiSetAutoExit(bool on)
{
    g_autoExit = on ? 1 : 0;
    g_opt.autoExit = on;
    uiWriteSetting("Options", "AutoExit", on ? "ON" : "OFF");
}

void uiConfigReset()
{
    g_opt = UiOptions{};
    g_cfg = UiConfig{};
    g_autoExit = -1;
    uiResetPrintTranslation();
}
