#pragma once
// The three error boxes every unit uses. Each shows its box at once (through
// the platform layer) and returns when the user has answered it.

// Box with the caption "Error" and the error icon.
void showError(const char* text);
// "%s,%d-%s" (program unit, line, text), caption "Error". Units: "UIFRAME",
// "CHILD", "CUSCR".
void showInternalError(const char* text, const char* unit, int line);
// "%s failed with error %d: %s" with errno and its text, caption "Error".
void showSystemError(const char* text);

// Program end after an error that leaves nothing to go on with (allocation of
// a session record, window creation). The logic calls this instead of exit()
// so that tests can observe it; it does not return.
[[noreturn]] void uiFatalExit(int code);
using UiFatalHook = void (*)(int code);
// Tests install a hook that throws or longjmps out instead of exiting.
void uiSetFatalHook(UiFatalHook hook);
