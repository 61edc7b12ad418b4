#pragma once
// Drives a HostIO descriptor the way a session window does: a headless
// window receives the socket's readiness, runs the login at the first
// FD_WRITE, answers urgent window-size requests with resize, and collects
// what the host sends. Bytes cross real sockets to real daemons.
#include "core/cuscr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "net/login.h"
#include "net/ssh.h"
#include "plat/headless/headless.h"
#include "plat/plat.h"
#include "support/kvxtest.h"
#include "support/servers.h"
#include "ui/profile.h"

#include <chrono>
#include <functional>
#include <string>

namespace logintest {

struct HostDriver {
    KORVEX* d = nullptr;
    PWnd wnd = 0;
    std::string userId = kvxtest::TEST_USER;
    bool loginAtWrite = false;      // rlogin and SSH
    int loginResult = -100;
    int rows = 24, cols = 80;
    int windowRequests = 0;
    bool closed = false;
    int closeEvents = 0;
    std::string received;
};

inline HostDriver*& currentDriver()
{
    static HostDriver* driver = nullptr;
    return driver;
}

inline PResult driverProc(PWnd, uint32_t msg, PWParam, PLParam lp)
{
    HostDriver* h = currentDriver();
    if (msg != PM_SOCKET || !h || !h->d) return 0;
    uint8_t buf[16376];
    switch (platSelectEvent(lp)) {
    case FD_WRITE:
        if (h->loginAtWrite && h->loginResult == -100) h->loginResult = korvexLogin(h->d, h->userId.c_str());
        break;
    case FD_READ:
        // An SSH channel may hold more than one read's worth.
        for (int n; (n = korvexRead(h->d, buf, (int)sizeof buf)) > 0;) {
            h->received.append(reinterpret_cast<char*>(buf), (size_t)n);
            if (!korvexIsSsh(h->d)) break;
        }
        break;
    case FD_OOB: {
        int n = korvexReadOob(h->d, buf, (int)sizeof buf);
        for (int i = 0; i < n; ++i)
            if (buf[i] == 0x80) {
                ++h->windowRequests;
                korvexResize(h->d, h->rows, h->cols);
            }
        break;
    }
    case FD_CLOSE:
        h->closed = true;
        ++h->closeEvents;
        break;
    }
    return 0;
}

// Pumps messages until done() holds; false when the host did not get there
// within the bound (a dead server fails the test instead of hanging it).
inline bool pumpUntil(const std::function<bool()>& done, int boundMs = 20000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        platPump(50);
    }
    return true;
}

inline bool sendText(HostDriver& h, const std::string& text)
{
    return korvexWrite(h.d, reinterpret_cast<const uint8_t*>(text.data()), (int)text.size()) > 0;
}

// Sends a shell command and waits until marker appears after it.
inline bool runShell(HostDriver& h, const std::string& command, const std::string& marker)
{
    size_t from = h.received.size();
    if (!sendText(h, command)) return false;
    return pumpUntil([&] { return h.received.find(marker, from) != std::string::npos; });
}

// Common set-up: headless platform, a scratch configuration, the socket
// layer, and a window for the descriptor's events.
struct LoginEnv {
    std::string dir;
    std::string ini;
    HostDriver host;
    // The login keeps its per-session flags in the current screen, and the
    // SSH end of file is posted to its window; a bare screen stands in for
    // the session table's selection.
    CuScreen screen;

    explicit LoginEnv(const std::string& name)
    {
        headlessReset();
        headlessEchoBoxes(false);
        dir = kvxtest::scratchDir(name);
        ini = dir + "/korvex.ini";
        cfgSetFile(ini.c_str());
        comStartUp(ini.c_str());
        PWndCreate c{PWndKind::MdiChild, 0, "session", {0, 0, 640, 480}, PWS_VISIBLE, driverProc};
        host.wnd = platCreateWindow(c);
        screen.wnd = host.wnd;
        cuScrPtr = &screen;
        currentDriver() = &host;
    }
    ~LoginEnv()
    {
        if (host.d) {
            korvexClose(host.d);
            destroy(host.d);
        }
        currentDriver() = nullptr;
        cuScrPtr = nullptr;
        comShutDown();
    }
    LoginEnv(const LoginEnv&) = delete;
    LoginEnv& operator=(const LoginEnv&) = delete;
};

// Every box text shown so far, joined, for failure messages.
inline std::string boxTexts()
{
    std::string all;
    for (const auto& b : headlessBoxes()) all += "[" + b.caption + "] " + b.text + "\n";
    return all;
}

} // namespace logintest
