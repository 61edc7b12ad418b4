// comHostLogin and the host descriptor's protocol operations (telnet option
// filter, rlogin handshake and window size).
#include "net/login.h"

#include "common/log.h"
#include "core/cuscr.h"
#include "net/com.h"
#include "net/rlogin.h"
#include "net/ssh.h"
#include "net/telnet.h"
#include "ui/profile.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int HOST_SLOTS = 20;
constexpr int HOST_NAME_MAX_CHARS = 128;

struct ProtocolRow {
    int number;
    const char* name;
    const char* portKey;
    int defaultPort;
    const char* errorName;  // in the connection error boxes
};

// Tested in this order, so that "Rlogin+" is not taken for "Rlogin".
constexpr std::array<ProtocolRow, 4> protocolRows{{
    {KVX_DESC_RLOGINPLUS, "Rlogin+", "RloginPort%02d", 513, "rlogin"},
    {KVX_DESC_TELNET, "Telnet", "TelnetPort%02d", 23, "telnet"},
    {KVX_DESC_RLOGIN, "Rlogin", "RloginPort%02d", 513, "rlogin"},
    {KVX_DESC_SSH, "SSH", "SSHPort%02d", 22, "ssh"},
}};

const ProtocolRow* protocolRow(int protocol)
{
    for (const auto& r : protocolRows)
        if (r.number == protocol) return &r;
    return nullptr;
}

// Whether the connection on a socket speaks rlogin (no telnet filter). Kept
// by socket because the host descriptor is shared by telnet and rlogin;
// every host socket comes from comHostLogin, which sets its entry.
// The telnet filter's carry (a command cut by the end of a read) lives
// beside it.
constexpr int LOGIN_SOCKET_SLOTS = 4096;
struct HostSocketState {
    bool rlogin;
    uint8_t carried;
    std::array<uint8_t, TN_CARRY_MAX> carry;
};
std::array<HostSocketState, LOGIN_SOCKET_SLOTS> hostSockets{};

HostSocketState* hostSocket(int socket)
{
    return socket >= 0 && socket < LOGIN_SOCKET_SLOTS ? &hostSockets[(size_t)socket] : nullptr;
}

void setRloginSocket(int socket, bool on)
{
    if (HostSocketState* h = hostSocket(socket)) *h = HostSocketState{on, 0, {}};
}

bool isRloginSocket(int socket)
{
    HostSocketState* h = hostSocket(socket);
    return h && h->rlogin;
}

// The screen of the session being opened: the one whose window will get
// the socket's events (the session table may not have selected it yet).
CuScreen* loginScreen(PWnd window)
{
    for (int slot = 0; slot < CU_MAX_SCREENS; ++slot)
        if (CuScreen* scr = cuScreenAt(slot); scr && window && scr->wnd == window) return scr;
    return cuScrPtr;
}

int telnetReply(void* context, const uint8_t* bytes, int length)
{
    return comWriteRaw(*static_cast<int*>(context), bytes, length);
}

int hostPort(const ProtocolRow& row, int index)
{
    if (index < 0) return row.defaultPort;
    char key[32];
    std::snprintf(key, sizeof key, row.portKey, index);
    return cfgGetInt("Hosts", key, row.defaultPort);
}

int failClose(int socket, int code)
{
    comClose(socket);
    return code;
}

// The reserved local port: the search and its memory in "Hosts"/"Port".
// 1 bound, 0 every port in use, -1 another failure (*tried = that port).
int rloginBind(int socket, int* tried)
{
    int port = rloginFirstPort();
    int result = 0;
    for (int i = 0; i < RLOGIN_PORT_COUNT; ++i) {
        *tried = port;
        result = comBind((uint16_t)port, socket, false);
        port = rloginNextPort(port);
        if (result != 0) break;
    }
    rloginRememberPort(port);
    return result;
}

int loginHostAddr(int socket, const char* host, const char* protocolName, uint8_t (&addr)[4])
{
    if (comHostAddr(host, addr)) return 0;
    comHostErrorBox("Error obtaining host address", comLastError(), host, 0, protocolName);
    return failClose(socket, -2);
}

unsigned long addrTrace(const uint8_t (&a)[4])
{
    return (unsigned long)a[0] << 24 | (unsigned long)a[1] << 16 | (unsigned long)a[2] << 8 | a[3];
}

int loginTelnet(int socket, const char* host, int port, PWnd window)
{
    setRloginSocket(socket, false);
    if (CuScreen* scr = loginScreen(window)) {
        scr->winSizeActive = 1;
        scr->loginSent = 1;
        scr->nulSwallowed = 1;
        scr->writable = 1;
    }
    uint8_t addr[4];
    if (int rc = loginHostAddr(socket, host, "telnet", addr)) return rc;
    if (comSetSockMode(socket, 1, PM_SOCKET, window) != 0) {
        comErrorBox("Error [%d] setting socket to ASYNC", comLastError());
        return failClose(socket, -5);
    }
    if (!comConnect(socket, addr, (uint16_t)port)) {
        comHostErrorBox("Error connecting to host", comLastError(), host, port, "telnet");
        return failClose(socket, -3);
    }
    logPrintf("#<comHostLogin(%i)\n", socket);
    return socket;
}

int loginRlogin(int socket, const char* host, int port, int protocol, PWnd window)
{
    setRloginSocket(socket, true);
    if (CuScreen* scr = loginScreen(window))
        if (protocol == KVX_DESC_RLOGINPLUS) scr->winSizeCountdown = 3;

    int localPort = 0;
    int bound = rloginBind(socket, &localPort);
    // Urgent data (the window-size request) is read apart from the stream.
    int off = 0;
    setsockopt(socket, SOL_SOCKET, SO_OOBINLINE, &off, sizeof off);
    if (bound == 0) {
        comErrorBox("No ports available to rlogin", 0);
        return failClose(socket, -1);
    }
    if (bound < 0) {
        comHostErrorBox("comHostLogin:Error [%d] on comBind", comLastError(), host, localPort, "rlogin");
        return failClose(socket, -1);
    }
    uint8_t addr[4];
    if (int rc = loginHostAddr(socket, host, "rlogin", addr)) return rc;
    if (comSetSockMode(socket, 1, PM_SOCKET, window) != 0) {
        comErrorBox("Error [%d] setting socket to ASYNC", comLastError());
        return failClose(socket, -5);
    }
    logPrintf("#comHostLogin: before comConnect to addr[%lx]\n", addrTrace(addr));
    if (!comConnect(socket, addr, (uint16_t)port)) {
        comHostErrorBox("Error connecting to host", comLastError(), host, port, "rlogin");
        return failClose(socket, -3);
    }
    logPrintf("#<comHostLogin(%i)\n", socket);
    return socket;
}

int loginSsh(int socket, const char* host, const char* userId, int port, PWnd window, LIBSSH2_SESSION** out)
{
    setRloginSocket(socket, false);
    uint8_t addr[4];
    if (int rc = loginHostAddr(socket, host, "ssh", addr)) return rc;
    logPrintf("#comHostLogin: before comConnect to addr[%lx]\n", addrTrace(addr));
    if (!comConnect(socket, addr, (uint16_t)port)) {
        comHostErrorBox("Error connecting to host", comLastError(), host, port, "ssh");
        return failClose(socket, -3);
    }
    LIBSSH2_SESSION* session = nullptr;
    int rc = sshOpenSession(socket, host, userId, window, &session);
    if (rc < 0) return failClose(socket, rc);
    if (comSetSockMode(socket, 1, PM_SOCKET, window) != 0) {
        comErrorBox("Error [%d] setting SSH socket to ASYNC", comLastError());
        sshEndSession(session, "Setting SSH socket to ASYNC");
        return failClose(socket, -9);
    }
    *out = session;
    if (CuScreen* scr = loginScreen(window)) scr->writable = 1;
    logPrintf("#<comHostLogin(%i)\n", socket);
    return socket;
}

} // namespace

int loginProtocolNumber(const char* name)
{
    if (!name) return -1;
    for (const auto& r : protocolRows)
        if (strncasecmp(name, r.name, std::strlen(r.name)) == 0) return r.number;
    return -1;
}

int loginHostIndex(const char* host)
{
    char key[16];
    char name[HOST_NAME_MAX_CHARS + 1];
    if (!host) return -1;
    for (int slot = 0, n = 0; slot < HOST_SLOTS; ++slot) {
        std::snprintf(key, sizeof key, "H%02d", slot);
        if (cfgGetString("Hosts", key, "", name, (int)sizeof name) <= 0) continue;
        if (std::strcmp(name, host) == 0) return n;
        ++n;
    }
    return -1;
}

int loginHostPort(const char* host, int protocol)
{
    const ProtocolRow* row = protocolRow(protocol);
    return row ? hostPort(*row, loginHostIndex(host)) : -1;
}

int comResolveHost(const char* host, uint8_t out[4])
{
    return comHostAddr(host, out);
}

int comHostLogin(const char* host, const char* userId, int protocol, PWnd window, LIBSSH2_SESSION** sshSession)
{
    logPrintf("# >comHostLogin: host[%s] userid[%s] mode[%d]\n", host ? host : "", userId ? userId : "", protocol);
    if (sshSession) *sshSession = nullptr;
    if (!host) return -2;
    if (!userId) userId = "";
    const ProtocolRow* row = protocolRow(protocol);
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        comSetLastError(platWsaFromErrno(errno));
        return -1;
    }
    if (!row) return failClose(s, -1);
    int port = hostPort(*row, loginHostIndex(host));
    switch (protocol) {
    case KVX_DESC_TELNET:
        return loginTelnet(s, host, port, window);
    case KVX_DESC_RLOGIN:
    case KVX_DESC_RLOGINPLUS:
        return loginRlogin(s, host, port, protocol, window);
    case KVX_DESC_SSH: {
        LIBSSH2_SESSION* session = nullptr;
        int rc = loginSsh(s, host, userId, port, window, &session);
        if (sshSession) *sshSession = session;
        else if (session) sshEndSession(session, "");
        return rc;
    }
    }
    return failClose(s, -1);
}

int hostRead(KORVEX* d, uint8_t* buffer, int size)
{
    HostSocketState* h = hostSocket(d->sock);
    int carried = h && !h->rlogin && size > TN_CARRY_MAX ? h->carried : 0;
    int n = comReadRaw(d->sock, buffer + carried, size - carried, 0);
    if (n <= 0) return -1;
    if (isRloginSocket(d->sock)) return n;
    if (carried) std::memcpy(buffer, h->carry.data(), (size_t)carried);
    int sock = d->sock, held = 0;
    int data = telnetFilter(buffer, n + carried, telnetReply, &sock, h ? &held : nullptr);
    if (h) {
        h->carried = (uint8_t)held;
        std::memcpy(h->carry.data(), buffer + data, (size_t)held);
    }
    return data;
}

int hostLogin(KORVEX* d, const char* userId)
{
    comLocalAddr(d->sock);
    uint8_t record[RLOGIN_HANDSHAKE_MAX];
    int length = rloginHandshake(userId, record, (int)sizeof record);
    if (length < 0 || comWriteRaw(d->sock, record, length) < length) {
        comErrorBox("Error writing rlogin handshake info", 0);
        comClose(d->sock);
        return 0;
    }
    return 1;
}

int hostResize(KORVEX* d, int rows, int cols)
{
    logPrintf("#comResize: resizing term for sock[%d] to [%dX%d]\n", d->sock, rows, cols);
    uint8_t record[RLOGIN_WINSIZE_LEN];
    rloginWindowSize(rows, cols, record);
    return comWriteRaw(d->sock, record, RLOGIN_WINSIZE_LEN) == RLOGIN_WINSIZE_LEN ? 1 : 0;
}
