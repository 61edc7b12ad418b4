#include "net/ssh.h"

#include "common/log.h"
#include "net/knownhosts.h"
#include "net/com.h"
#include "net/login.h"
#include "ui/profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int SSH_DIALOG_ID = 119;
enum : int32_t { SSH_CTL_USER = 1, SSH_CTL_PASSWORD = 2 };

// The dialog through the platform layer.
int sshDialogPlat(PWnd owner, char* userId, char* password)
{
    char user[SSH_CRED_SIZE];
    char pass[SSH_CRED_SIZE] = {};
    std::snprintf(user, sizeof user, "%s", userId);
    PDlgControl controls[] = {
        {SSH_CTL_USER, PCtlKind::Edit, "User ID", user, SSH_CRED_SIZE, nullptr, 0, 0},
        {SSH_CTL_PASSWORD, PCtlKind::Password, "Password", pass, SSH_CRED_SIZE, nullptr, 0, 0},
        {PID_OK, PCtlKind::Button, "OK", nullptr, 0, nullptr, 0, 0},
        {PID_CANCEL, PCtlKind::Button, "Cancel", nullptr, 0, nullptr, 0, 0},
    };
    PDlgForm dialog{SSH_DIALOG_ID, "SSH Username & Password", controls, (int32_t)(sizeof controls / sizeof controls[0])};
    int ok = platDialog(owner, &dialog) == PID_OK;
    user[SSH_CRED_MAX] = 0;
    pass[SSH_CRED_MAX] = 0;
    if (ok) {
        std::snprintf(userId, SSH_CRED_SIZE, "%s", user);
        std::snprintf(password, SSH_CRED_SIZE, "%s", pass);
    } else {
        password[0] = 0;
    }
    std::memset(pass, 0, sizeof pass);
    return ok;
}

SshCredentialsDialog sshDialog = sshDialogPlat;
int sshLastChannelError = 0;

// The keyboard-interactive callback has no context of its own; the login
// blocks the program, so one login runs at a time.
const char* sshKbdUserId = nullptr;

void sshTrace(LIBSSH2_SESSION*, void*, const char* data, size_t length)
{
    logPrintf("LIBSSH2: %.*s\n", (int)length, data);
}

bool sshHasMethod(const char* list, const char* method)
{
    if (!list) return false;
    size_t len = std::strlen(method);
    for (const char* p = list; *p;) {
        const char* comma = std::strchr(p, ',');
        size_t n = comma ? (size_t)(comma - p) : std::strlen(p);
        if (n == len && std::strncmp(p, method, n) == 0) return true;
        if (!comma) break;
        p = comma + 1;
    }
    return false;
}

void sshKbdResponse(const char*, int, const char*, int, int numPrompts, const LIBSSH2_USERAUTH_KBDINT_PROMPT*,
                    LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void**)
{
    if (numPrompts != 1) return;
    char userId[SSH_CRED_SIZE] = {};
    char password[SSH_CRED_SIZE] = {};
    std::snprintf(userId, sizeof userId, "%s", sshKbdUserId ? sshKbdUserId : "");
    sshAskCredentials(0, userId, password);
    // libssh2 frees the answer with its allocator, the C library's here.
    char* text = static_cast<char*>(std::malloc(SSH_CRED_SIZE));
    if (!text) return;
    std::memcpy(text, password, SSH_CRED_SIZE);
    responses[0].text = text;
    responses[0].length = (unsigned)std::strlen(text);
    std::memset(password, 0, sizeof password);
}

// 0 authenticated, or the login's failure code (the session is ended).
int sshAuthenticate(LIBSSH2_SESSION* session, const char* userId, PWnd window)
{
    char text[SSH_MESSAGE_MAX];
    unsigned userLen = (unsigned)std::strlen(userId);
    const char* list = libssh2_userauth_list(session, userId, userLen);
    logPrintf("#sshAuthenticate: methods[%s]\n", list ? list : "");
    if (!list && libssh2_userauth_authenticated(session)) return 0;

    char keyFile[SSH_PATH_MAX + 1];
    cfgGetString("Hosts", "SSHKeyFile", "", keyFile, (int)sizeof keyFile);
    if (sshHasMethod(list, "publickey") && keyFile[0]) {
        int rc = libssh2_userauth_publickey_fromfile_ex(session, userId, userLen, nullptr, keyFile, "");
        if (rc == 0) return 0;
        std::snprintf(text, sizeof text, "Authentication by SSH public key failed [%d][%s]", rc, keyFile);
        sshErrorBox(session, text, rc);
    }

    if (sshHasMethod(list, "password")) {
        char dlgUser[SSH_CRED_SIZE];
        char password[SSH_CRED_SIZE];
        std::snprintf(dlgUser, sizeof dlgUser, "%s", userId);
        for (int attempt = 1; attempt <= SSH_PASSWORD_ATTEMPTS; ++attempt) {
            password[0] = 0;
            if (!sshAskCredentials(window, dlgUser, password)) {
                sshEndSession(session, "");
                return -7;
            }
            int rc = libssh2_userauth_password_ex(session, dlgUser, (unsigned)std::strlen(dlgUser), password,
                                                  (unsigned)std::strlen(password), nullptr);
            std::memset(password, 0, sizeof password);
            if (rc == 0) return 0;
            logPrintf("#sshAuthenticate: password attempt %d failed [%d]\n", attempt, rc);
            if (attempt == SSH_PASSWORD_ATTEMPTS) {
                std::snprintf(text, sizeof text, "Authentication by SSH public key failed [%d]", rc);
                sshErrorBox(session, text, rc);
                sshEndSession(session, "");
                return -7;
            }
        }
    } else if (sshHasMethod(list, "keyboard-interactive")) {
        sshKbdUserId = userId;
        int rc = libssh2_userauth_keyboard_interactive_ex(session, userId, userLen, sshKbdResponse);
        sshKbdUserId = nullptr;
        if (rc == 0) return 0;
        std::snprintf(text, sizeof text, "Authentication by SSH public key failed [%d]", rc);
        sshErrorBox(session, text, rc);
        sshEndSession(session, "");
        return -7;
    }
    sshErrorBox(session, "No supported SSH authentication methods found", 0);
    sshEndSession(session, "");
    return -8;
}

// The host list's expected fingerprint for host (empty when none).
int sshHostEntry(const char* host, char* expected, int size)
{
    expected[0] = 0;
    int index = loginHostIndex(host);
    if (index >= 0) {
        char key[32];
        std::snprintf(key, sizeof key, "SSHFingerprint%02d", index);
        cfgGetString("Hosts", key, "", expected, size);
    }
    return index;
}

} // namespace

void sshSetCredentialsDialog(SshCredentialsDialog dialog)
{
    sshDialog = dialog ? dialog : sshDialogPlat;
}

int sshAskCredentials(PWnd owner, char* userId, char* password)
{
    int ok = sshDialog(owner, userId, password);
    userId[SSH_CRED_MAX] = 0;
    password[SSH_CRED_MAX] = 0;
    if (!ok) password[0] = 0;
    return ok ? 1 : 0;
}

void sshErrorBox(LIBSSH2_SESSION* session, const char* text, int rc)
{
    char box[SSH_MESSAGE_MAX];
    std::snprintf(box, sizeof box, "%s", text);
    if (session && rc < 0 && rc == libssh2_session_last_errno(session)) {
        char* msg = nullptr;
        int len = 0;
        libssh2_session_last_error(session, &msg, &len, 0);
        size_t used = std::strlen(box);
        std::snprintf(box + used, sizeof box - used, "\n%s", msg ? msg : "");
    }
    platMessageBox(0, box, "ERROR", PMB_OK | PMB_ICONERROR);
}

void sshEndSession(LIBSSH2_SESSION* session, const char* description)
{
    if (!session) return;
    libssh2_session_disconnect_ex(session, SSH_DISCONNECT_BY_APPLICATION, description ? description : "", "");
    libssh2_session_free(session);
}

int sshLastError()
{
    return sshLastChannelError;
}

void sshSetLastError(int rc)
{
    sshLastChannelError = rc;
}

int sshOpenSession(int socket, const char* host, const char* userId, PWnd window, LIBSSH2_SESSION** out)
{
    *out = nullptr;
    LIBSSH2_SESSION* session = libssh2_session_init_ex(nullptr, nullptr, nullptr, nullptr);
    if (!session) {
        sshErrorBox(nullptr, "Error obtaining SSH handshake info", -1);
        return -6;
    }
    libssh2_trace_sethandler(session, nullptr, sshTrace);
    libssh2_trace(session, (int)SSH_TRACE_MASK);

    int rc = libssh2_session_handshake(session, socket);
    if (rc != 0) {
        sshErrorBox(session, "Error obtaining SSH handshake info", rc);
        sshEndSession(session, "");
        return -6;
    }

    char expected[SSH_EXPECTED_MAX + 1];
    int hostIndex = sshHostEntry(host, expected, (int)sizeof expected);
    char description[SSH_MESSAGE_MAX];
    if (sshCheckHostKey(session, host, userId, expected, hostIndex, description, (int)sizeof description) < 0) {
        sshEndSession(session, description);
        return -6;
    }

    rc = sshAuthenticate(session, userId, window);
    if (rc < 0) return rc;
    *out = session;
    return 0;
}

// ---- the SSH descriptor's channel ----

namespace {

constexpr unsigned SSH_WINDOW_SIZE = 2 * 1024 * 1024;
constexpr unsigned SSH_PACKET_SIZE = 32 * 1024;
constexpr int SSH_NO_CHANNEL = -45;
constexpr int SSH_PTY_COLS = 80;
constexpr int SSH_PTY_ROWS = 24;
constexpr long SSH_CLOSE_TIMEOUT_MS = 5000;

bool sshRequestOk(int rc)
{
    return rc >= 0 || rc == SSH_WOULD_BLOCK;
}

void sshAfterIo(KORVEX* d, int rc)
{
    d->lastSsh = rc < 0 ? rc : 0;
    if (d->channel && libssh2_channel_eof(d->channel) && d->onEof) d->onEof(d);
}

} // namespace

void sshOpenChannel(KORVEX* d)
{
    d->channel = d->session ? libssh2_channel_open_ex(d->session, "session", sizeof "session" - 1, SSH_WINDOW_SIZE,
                                                      SSH_PACKET_SIZE, nullptr, 0)
                            : nullptr;
    d->lastSsh = d->channel ? 0 : SSH_NO_CHANNEL;
    d->closePosted = 0;
    if (d->channel) libssh2_channel_set_blocking(d->channel, 0);
}

int sshLogin(KORVEX* d, const char* userId)
{
    logPrintf("#sshLogin: for [%s]", userId ? userId : "");
    if (!d->channel) {
        comErrorBox("comSSH:request PTY failed [%d]", d->lastSsh);
        return 0;
    }
    // The two requests are completed before going on: a request that would
    // block in non-blocking mode is left half sent, and the shell never
    // starts behind it.
    libssh2_channel_set_blocking(d->channel, 1);
    int rc = libssh2_channel_request_pty_ex(d->channel, "korvex", sizeof "korvex" - 1, nullptr, 0, SSH_PTY_COLS,
                                            SSH_PTY_ROWS, 0, 0);
    int ok = 1;
    if (!sshRequestOk(rc)) {
        comErrorBox("comSSH:request PTY failed [%d]", rc);
        ok = 0;
    } else {
        rc = libssh2_channel_process_startup(d->channel, "shell", sizeof "shell" - 1, nullptr, 0);
        if (!sshRequestOk(rc)) {
            comErrorBox("comSSH:request SHELL failed [%d]", rc);
            ok = 0;
        }
    }
    libssh2_channel_set_blocking(d->channel, 0);
    return ok;
}

int sshRead(KORVEX* d, uint8_t* buffer, int size)
{
    if (!d->channel || !buffer || size <= 0) return -1;
    ssize_t rc = libssh2_channel_read_ex(d->channel, 0, reinterpret_cast<char*>(buffer), (size_t)size);
    if (rc < 0) sshSetLastError((int)rc);
    else logDump("#sshReadRaw: on channel[0] flags[0]", buffer, (int)rc);
    sshAfterIo(d, (int)rc);
    return rc < 0 ? -1 : (int)rc;
}

int sshWrite(KORVEX* d, const uint8_t* bytes, int length)
{
    if (!d->channel || !bytes || length < 0) return -1;
    ssize_t rc = libssh2_channel_write_ex(d->channel, 0, reinterpret_cast<const char*>(bytes), (size_t)length);
    if (rc < 0) sshSetLastError((int)rc);
    sshAfterIo(d, (int)rc);
    return (int)rc;
}

int sshClose(KORVEX* d)
{
    // In non-blocking mode libssh2 gives up freeing a channel (and with it
    // the session) that still waits for the peer's close, and leaks both.
    if (d->session) {
        libssh2_session_set_timeout(d->session, SSH_CLOSE_TIMEOUT_MS);
        libssh2_session_set_blocking(d->session, 1);
    }
    if (d->channel) {
        libssh2_channel_close(d->channel);
        libssh2_channel_free(d->channel);
        d->channel = nullptr;
    }
    if (d->session) {
        libssh2_session_disconnect_ex(d->session, SSH_DISCONNECT_BY_APPLICATION, "SSHClose", "");
        libssh2_session_free(d->session);
        d->session = nullptr;
    }
    int rc = 0;
    if (d->sock >= 0) {
        rc = comClose(d->sock);
        d->sock = -1;
    }
    return rc;
}

int sshSetAsync(KORVEX* d, PWnd window)
{
    if (d->channel) libssh2_channel_set_blocking(d->channel, window ? 0 : 1);
    return 0;
}
