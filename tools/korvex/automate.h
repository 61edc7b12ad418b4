#pragma once
// Scripted runs of the program: open a session, type keys, wait for text on
// the session's screen, write the screen out.

#include <cstdint>
#include <string>
#include <vector>

struct AutoStep {
    enum Kind { Keys, Wait } kind;
    std::string text;
};

struct AutoRun {
    std::vector<AutoStep> steps;
    int timeoutSeconds = 10;    // for each wait
    std::string screenFile;     // "" none, "-" standard output
    std::string imageFile;      // PNG of the session window ("" none)
    // Saves a window's image; set when the back end can (Qt).
    int (*saveImage)(int wnd, const char* path) = nullptr;
};

// Exit status of a scripted run.
enum : int { AUTO_OK = 0, AUTO_NOSESSION = 2, AUTO_TIMEOUT = 3 };

// The key codes of a text with the macro escapes: "\n" Enter (13), "\X"
// Transmit, "\E" Escape, "\\" a backslash, "\x" and 1 to 8 hexadecimal
// digits a key code; a backslash before anything else is sent as itself.
std::vector<int32_t> autoKeyCodes(const std::string& text);

// Runs the steps against the session opened at start-up (cmdLine names the
// host). Returns one of the statuses above.
int autoRun(const char* cmdLine, const char* host, const AutoRun& run);
