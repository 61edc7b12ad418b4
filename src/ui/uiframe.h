#pragma once
// UIFRAME: the frame window. It holds the MDI client with the session
// windows, carries out the menu and accelerator commands, opens sessions,
// takes the listening socket's events (MCS call-backs), keeps the menu
// states current and closes everything down.

#include "plat/plat.h"

#include <cstdint>

// Commands (PM_COMMAND identifiers) of the frame's menu 107 and of the tool
// bar. 201, 205 and 299 are also known to the keyboard and session units.
enum : int32_t {
    UIC_AUTOCONNECT = 200,     // lParam: const char* host
    UIC_OPENSESS = 201,
    UIC_SAVEDESKTOP = 202,
    UIC_PRINTSCREEN = 203,
    UIC_PRINTSETUP = 204,
    UIC_CLOSESESS = 205,
    UIC_AUTOEXIT = 206,
    UIC_EXIT = 207,
    UIC_COPY = 208,
    UIC_CUT = 209,
    UIC_PASTE = 210,
    UIC_COPYFILE = 211,
    UIC_PASTEFILE = 212,
    UIC_AUTOCOPY = 213,
    UIC_IGNORESPACES = 214,
    UIC_STATUSBAR = 215,
    UIC_TOOLBAR = 216,
    UIC_VIEWCLIP = 217,
    UIC_FONTINC = 218,
    UIC_FONTDEC = 219,
    UIC_AUTOFONT = 220,
    UIC_COLORS = 221,
    UIC_MACROS = 224,
    UIC_RECORD = 225,
    UIC_PLAYFILE = 226,
    UIC_PLAYCURRENT = 227,
    UIC_STOPRECPLAY = 228,
    UIC_CONFIG = 229,
    UIC_DEBUGLOG = 230,
    UIC_TILEHORZ = 232,
    UIC_TILEVERT = 233,
    UIC_CASCADE = 234,
    UIC_ARRANGE = 235,
    UIC_HELPCONTENTS = 238,
    UIC_HELPINDEX = 239,
    UIC_ABOUT = 240,
    UIC_MACROBTN1 = 244,
    UIC_MACROBTN5 = 248,
    UIC_CAPTURE = 249,
    UIC_CAPTURERAW = 250,
    UIC_MCSUNDERLINE = 251,
    UIC_MCSUNDERSCORE = 252,
    UIC_MCS3D = 253,
    UIC_SESSPOPUP = 299,       // lParam: the session window; opens the session pop-up menu
    UIC_HOSTMENU1 = 501,
    UIC_HOSTMENU8 = 508,
    UIC_HELPFIELD = 550,
    UIC_HELPSCREEN = 551,
    UIC_HELPSYSTEM = 552,
};

constexpr int UI_MENU_ID = 107;
constexpr int UI_ACCEL_ID = 112;
constexpr int UI_MDI_FIRSTCHILD = 4100;
constexpr int UI_DLG_ABOUT = 100;
constexpr int UI_DLG_OPENSESS = 101;
constexpr int UI_HELP_OPENSESS = 9;

// Controls of the Open Session dialog.
enum : int32_t { UI_OS_HOSTS = 1001, UI_OS_LOGIN = 1002, UI_OS_HELP = 3 };

// One accelerator of table 112: a virtual key (or a character when
// character is set) with its shift states, and the command it gives.
enum : uint32_t { UI_ACC_ALT = 0x1, UI_ACC_CTRL = 0x2, UI_ACC_SHIFT = 0x4, UI_ACC_CHAR = 0x8 };
struct UiAccel {
    int32_t key;
    uint32_t flags;
    int32_t command;
};
// The table, and the command a key message gives (0 for none).
const UiAccel* uiAccelTable(int* count);
int32_t uiAccelCommand(uint32_t msg, PWParam wp);

// The menu of resource 107 in the platform's flat form.
const PMenuItem* uiMenuItems(int* count);

PResult uiFrameWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
// The frame and its MDI client once created (0 before).
PWnd uiFrame();
PWnd uiMdiClient();

// The message filter of the loop: the sessions' modeless dialogs, then MDI
// system keys and the frame's accelerators. True when the message was taken.
bool uiFrameMessageFilter(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);

// The modeless dialogs of a session slot (innermost overlay dialog first,
// then the Windows-controls dialog) are offered every message through this
// hook; it returns true when one of them took it.
using UiDialogHook = bool (*)(int slot, PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
void uiSetDialogHook(UiDialogHook hook);

// The listening socket whose events the frame receives (-1 none).
void uiSetListenSocket(int socket);
int uiListenSocket();

// Command 201: the Open Session dialog, then the session, in slot when it
// is free (-1: the lowest free slot). The slot, or -1 when nothing was opened.
int uiOpenSess(int slot = -1);
// Command 200: a session to a host of the list with the default user id.
int uiAutoConnect(const char* host);

// Refreshes the check marks and grey states of the menu.
void uiMenuRefresh();

// Starts a program with arguments (posix_spawnp, not waited for). 0, or the
// errno of the failure.
int uiSpawn(const char* program, const char* const* args);
// The programs tried for the clipboard viewer and for the text editor (first
// choice, second choice); tests and the environment may change them.
void uiSetViewerPrograms(const char* first, const char* second);
void uiSetEditorPrograms(const char* first, const char* second);
// Opens the configuration file or the debug log in the editor ("notepad"
// of the tool bar's right click). 0, or -1 after the 17014 message.
int uiEditFile(const char* path);

// The About dialog's lines (product, company, version line, crypto library).
int uiAboutText(int line, char* out, int size);

// Forgets frame state (tests).
void uiFrameReset();
