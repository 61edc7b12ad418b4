#pragma once
// The settings the program keeps in memory from start-up to exit: where the
// configuration lives, the "Options" keys read once the frame exists, the
// packed host list of "Hosts", the printer translations, the two protected
// values ("MaxSessions", "ConfigPassword") and the window states.
//
// The protected values live in a small file of their own (mode 0600) in two
// roles: the current user's beside the configuration, and the local
// machine's in the all-users folder. A local-machine file is migrated into
// the current user's on load and then removed. Both take precedence over
// the configuration file.

#include "plat/plat.h"

#include <array>
#include <cstdint>

constexpr int UI_MAX_HOSTS = 20;
constexpr int UI_HOSTNAME_MAX = 128;
constexpr int UI_FINGERPRINT_MAX = 60;
constexpr int UI_USERID_MAX = 32;
constexpr int UI_PASSWORD_MAX = 32;
constexpr int UI_PATH_MAX = 259;
constexpr int UI_OPTIMIZE_MAX = 24;
constexpr int UI_TRANSLATE_KEYS = 32;
constexpr int UI_DEFAULT_MAXSESSIONS = 8;

constexpr char UI_CONFIG_NAME[] = "korvex.ini";
constexpr char UI_KNOWNHOSTS_NAME[] = "korvex_knownhosts";
// The protected settings file and its one section.
constexpr char UI_PROTECTED_NAME[] = "korvex.reg";
constexpr char UI_PROTECTED_SECTION[] = "Korvex for Windows";

// One host of the packed list.
// Entries 0..19: the name only for the packed count; the rlogin port and
// protocol are read for all twenty.
struct UiHost {
    char name[UI_HOSTNAME_MAX + 1];
    int32_t protocol;           // KVX_DESC_TELNET, _RLOGIN, _SSH, _RLOGINPLUS
    int32_t telnetPort;
    int32_t rloginPort;
    int32_t sshPort;
    char fingerprint[UI_FINGERPRINT_MAX + 1];
};

enum class UiBeep : int32_t { Audible, Visual, Both, None };
enum class UiKeyRole : int32_t { None, Xmit, Tab, BackTab, Enter };
enum class UiUnderline : int32_t { None, Underline, Underscore };
enum class UiToolbar : int32_t { Off, Short, Full };

// Section "Options" as read when the frame exists (and "AutoExit").
struct UiOptions {
    UiKeyRole numEnter;
    UiKeyRole numAdd;
    UiKeyRole numSubtract;
    UiKeyRole numMultiply;
    bool spaceNonDestructive;
    UiUnderline mcsUnderline;
    bool threeD;
    bool winControls;
    int32_t protocol;
    bool typeAhead;
    uint8_t optimizeOn[UI_OPTIMIZE_MAX + 1];
    int32_t optimizeOnLen;
    uint8_t optimizeOff[UI_OPTIMIZE_MAX + 1];
    int32_t optimizeOffLen;
    int32_t maxCopies;
    int32_t port;
    int32_t splash;             // seconds
    bool clipDeleteLeadSpaces;
    bool autoCopy;
    bool statusBar;
    UiToolbar toolbar;
    bool autoExit;
};

// Section "Hosts" and the protected values.
struct UiConfig {
    std::array<UiHost, UI_MAX_HOSTS> hosts;
    int32_t hostCount;
    char sshKeyFile[UI_PATH_MAX + 1];
    char knownHostsFile[UI_PATH_MAX + 1];
    char defaultUserId[UI_USERID_MAX + 1];
    UiBeep beep;
    bool compression;
    char printMode[16];         // "" Windows printing, else "RAW", "LPT1", ...
    bool aux1PrinterMap;
    bool generateFF;
    uint32_t printTimeout;
    uint32_t charDelay;
    int32_t maxSessions;
    char configPassword[UI_PASSWORD_MAX + 1];
};

const UiOptions& uiOptions();
UiOptions& uiOptionsMut();
const UiConfig& uiConfig();
UiConfig& uiConfigMut();

// Locations. Finds the configuration file ("KORVEX", else the per-user
// folder, copying the common starting file there once), points the profile
// store at it and returns 0; the folder ends in "/". Falls back to the
// current directory (and returns 1) when no folder can be named.
int uiLocateConfig();
const char* uiConfigFolder();
const char* uiConfigPath();
// The default known-hosts file: "korvex_knownhosts" beside the configuration.
const char* uiKnownHostsPath();
// The protected files of the two roles.
const char* uiUserProtectedPath();
const char* uiMachineProtectedPath();

// The "Options" keys and the printer translations (start-up step 6).
void uiReadOptions();
// The printer output translation table (identity until "Printing" says
// otherwise).
const uint8_t* uiPrintTranslation();
void uiResetPrintTranslation();

// Host list, "Hosts" settings and the protected values; cuInit calls it as
// part of loading the configuration. Returns the number of hosts.
int uiLoadHosts();
// Writes the host list and the "Hosts" settings back, and the protected
// values into the current user's file. Returns 0, or -1 when a write failed.
int uiSaveConfig();

// Writes one setting; on failure shows "Saving '%s' in '%s'" through the
// system error box. Returns 0, or -1.
int uiWriteSetting(const char* section, const char* key, const char* value);

// Parses an "OptimizeOn"/"OptimizeOff" value: "\x" and two hexadecimal
// digits stand for that byte; at most 24 characters of text are read.
// Returns the byte count.
int uiParseByteString(const char* text, uint8_t* out, int size);
// Protocol number of a protocol name, or def when it matches none.
int uiProtocolByName(const char* name, int def);
const char* uiProtocolName(int protocol);

// The frame's stored rectangle; 1 when "DefMainWinState" holds four
// non-negative values, else 0 (open maximised).
int uiGetMainWinState(PRect* out);
// "MaximizeChildren" is "YES".
bool uiMaximizeChildren();
// Save Desktop: the frame's rectangle, "MaximizeChildren" and the state of
// every open session window that is not minimised; then the status line
// says so. Returns 0, or -1 when a write failed.
int uiSaveDesktop(PWnd frame);

// Reads the Auto Exit option once (later calls return the remembered value
// until uiSetAutoExit).
bool uiAutoExit();
// Sets and writes "AutoExit" "ON"/"OFF".
void uiSetAutoExit(bool on);

// Drops everything loaded (tests).
void uiConfigReset();
