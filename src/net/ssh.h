#pragma once
// SSH host channel over libssh2: the login that runs inside comHostLogin
// (handshake, host-key check, user authentication), and the "SSH Username &
// Password" dialog it asks through.
#include "plat/plat.h"

#include <libssh2.h>

constexpr int SSH_CRED_MAX = 49;                // characters of user id and password
constexpr int SSH_CRED_SIZE = SSH_CRED_MAX + 1;
constexpr int SSH_PASSWORD_ATTEMPTS = 3;
constexpr unsigned SSH_TRACE_MASK = 0x39C;      // KEX, AUTH, CONN, ERROR, PUBLICKEY, SOCKET
constexpr int SSH_WOULD_BLOCK = LIBSSH2_ERROR_EAGAIN;

// The "SSH Username & Password" dialog, centred on owner (or the desktop)
// with the focus in the password field. OK copies at most 49 characters of
// each field into the buffers (SSH_CRED_SIZE bytes each) and returns 1;
// Cancel empties the password and returns 0. userId comes in preset.
using SshCredentialsDialog = int (*)(PWnd owner, char* userId, char* password);
// The default shows dialog 119 through platDialog (controls: Edit "User ID"
// id 1, Password "Password" id 2, buttons OK and Cancel), so the headless
// dialog policy answers it in tests. Another dialog may be installed; null
// restores the default.
void sshSetCredentialsDialog(SshCredentialsDialog dialog);
int sshAskCredentials(PWnd owner, char* userId, char* password);

// Everything up to an authenticated session on a connected, still blocking
// socket: 0 with *out set, or -6 (handshake, known hosts, host key
// refused), -7 (password or keyboard-interactive failed or cancelled),
// -8 (no usable method). On failure the session has been disconnected and
// freed; the socket is left to the caller.
int sshOpenSession(int socket, const char* host, const char* userId, PWnd window, LIBSSH2_SESSION** out);
// Disconnects with reason 11 and the description, then frees the session.
void sshEndSession(LIBSSH2_SESSION* session, const char* description);

// The "ERROR" box of the SSH login: text (already formatted with rc) and,
// when rc is the session's last error number, a line with its message.
void sshErrorBox(LIBSSH2_SESSION* session, const char* text, int rc);

// The last failed channel read or write of any SSH descriptor (negative).
int sshLastError();
void sshSetLastError(int rc);
