// The error boxes every unit uses.
#include "ui/errbox.h"

#include "common/log.h"
#include "plat/plat.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int MESSAGE_TEXT_MAX = 1280;
constexpr const char* ERROR_CAPTION = "Error";   // string 16021
UiFatalHook g_fatalHook = nullptr;

PWnd boxOwner() { return platFocus(); }
} // namespace

void showError(const char* text)
{
    platMessageBox(boxOwner(), text ? text : "", ERROR_CAPTION, PMB_OK | PMB_ICONERROR);
}

void showInternalError(const char* text, const char* unit, int line)
{
    char msg[MESSAGE_TEXT_MAX];
    snprintf(msg, sizeof msg, "%s,%d-%s", unit ? unit : "", line, text ? text : "");
    platMessageBox(boxOwner(), msg, ERROR_CAPTION, PMB_OK | PMB_ICONERROR);
}

void showSystemError(const char* text)
{
    int err = errno;
    char msg[MESSAGE_TEXT_MAX];
    snprintf(msg, sizeof msg, "%s failed with error %d: %s", text ? text : "", err, strerror(err));
    platMessageBox(boxOwner(), msg, ERROR_CAPTION, PMB_OK | PMB_ICONERROR);
}

void uiSetFatalHook(UiFatalHook hook) { g_fatalHook = hook; }

void uiFatalExit(int code)
{
    logPrintf("#Program ends after a fatal error (%d)\n", code);
    logClose();
    if (g_fatalHook)
        g_fatalHook(code);
    exit(code);
}
