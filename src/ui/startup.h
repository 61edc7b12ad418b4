#pragma once
// The program's start-up: the command line, the locations, the splash
// window, the frame, the socket layer and listening socket, the session
// table, then what the user sees first, and the message loop.

#include "plat/plat.h"

#include <cstdint>

constexpr int UI_CMDLINE_MAX = 1024;

// What the command line asks for.
enum class UiCmdAction : int32_t { Run, Install, Uninstall };
struct UiCmdLine {
    UiCmdAction action;
    int32_t langId;             // 0 when not given
    bool debugLog;              // "-d" or "-D"
    char host[UI_CMDLINE_MAX];  // what remains after the options ("" none)
};
// Scans a command line (the arguments joined by spaces): "/Install",
// "/Uninstall", "/LANGID=" with a hexadecimal id, "-d", and a host name.
void uiParseCmdLine(const char* line, UiCmdLine* out);
// Joins argv[1..] into one line (bounded).
void uiJoinArgs(int argc, char** argv, char* out, int size);

// File migration of "/Install": the old "korvex.ini" of the system folder
// becomes the common starting file when the user agrees. 0 moved or nothing
// to do, 1 declined, -1 the move failed.
int uiInstallMigrate();

// Start-up through step 10 with the back end already installed. Returns 0
// when the message loop is to run, 1 when the program ends at once with
// success (Install, Uninstall), or a negative value after a failure message.
int uiStartup(const char* cmdLine);
// The message loop until the frame closes, then the program-end releases.
// Returns the quit code.
int uiRunLoop();
// Start-up and loop together (the program's main).
int uiMain(const char* cmdLine);

// The splash window: shows product, company and version and closes itself
// after the given seconds. Returns the window or 0.
PWnd uiSplashShow(int seconds);
void uiSplashClose();
PWnd uiSplashWindow();

// The listening port bound at start-up (0 before).
uint16_t uiListenPort();
// Program-end releases (tests also call it between cases).
void uiShutdown();
