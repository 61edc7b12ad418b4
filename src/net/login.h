#pragma once
// The protocol side of the host and SSH descriptors, and comHostLogin.
//
// Contract between the descriptor code (korvex.cpp, com layer) and the login
// code (login*.cpp, telnet*, rlogin*, ssh*, knownhosts*):
// - korvex.cpp fills the host and SSH tables with the functions below; the
//   login code defines them. login_stub.cpp holds placeholder definitions
//   that fail (-1 / nothing sent); the login code deletes that file when it
//   defines these functions itself. Keep the signatures as they are here.
// - The descriptor code owns everything else of the tables: socket, close
//   of host descriptors (comClose), asyncRead, readOob (comReadRaw with
//   COM_OOB), lastError, localAddr, peerName, SSH release/lastError/resize
//   (0, nothing sent) and the SSH on-EOF operation (comPostFDClose once,
//   then closePosted is set). The login code calls d->onEof(d) when a
//   channel read or write sees end of file, and keeps d->lastSsh.
#include "net/korvex.h"

// Host descriptor (telnet, rlogin). The telnet option filter applies unless
// the current session's rlogin flag is set; 0 or less from the receive gives -1.
int hostRead(KORVEX* d, uint8_t* buffer, int size);
// rlogin handshake at the first FD_WRITE: 1 sent, 0 failed (socket closed).
int hostLogin(KORVEX* d, const char* userId);
// rlogin window-size record: 1 when all 12 bytes went out, else 0.
int hostResize(KORVEX* d, int rows, int cols);

// SSH descriptor. sshOpenChannel runs at creation (channel, lastSsh -45
// when none could be opened, non-blocking).
void sshOpenChannel(KORVEX* d);
int sshLogin(KORVEX* d, const char* userId);
int sshRead(KORVEX* d, uint8_t* buffer, int size);
int sshWrite(KORVEX* d, const uint8_t* bytes, int length);
// Closes and frees channel and session, then comClose(socket); handles
// emptied.
int sshClose(KORVEX* d);
// Non-blocking channel when a window is given, blocking when none.
int sshSetAsync(KORVEX* d, PWnd window);

// Opens a session's HostIO connection: the socket, or -1 .. -9. On SSH
// success *sshSession receives the session, else nullptr.
int comHostLogin(const char* host, const char* userId, int protocol, PWnd window, LIBSSH2_SESSION** sshSession);

// Host list and name lookups of the login (section "Hosts").
// Protocol number of a protocol name (case-insensitive prefix, tested as
// "Rlogin+", "Telnet", "Rlogin", "SSH"), or -1.
int loginProtocolNumber(const char* name);
// Place of host in the packed host list "H00".."H19" (exact name), or -1.
int loginHostIndex(const char* host);
// The port the login uses for host and protocol (per-host key or default).
int loginHostPort(const char* host, int protocol);
// Host name resolution for opening a session: 1 with the IPv4 address
// (network order) in out, else 0.
int comResolveHost(const char* host, uint8_t out[4]);
