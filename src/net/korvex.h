#pragma once
// KORVEX: one channel of a session (the HostIO channel or the MCS channel)
// as a record holding its socket and a table of operations. Three variants:
//   MCS  - an accepted call-back socket; framed, compressed messages;
//   host - a telnet or rlogin connection; raw bytes;
//   SSH  - an SSH session channel over a connected socket.
// Every slot is filled. A slot that a variant has no use for holds a
// function that asserts in debug builds and returns -1 in release builds,
// so a wrong call is loud and never a jump through a null.
//
// Callers use the korvexXxx wrappers below rather than the slots. Owners
// call korvexClose, then destroy.
#include "plat/plat.h"

#include <cstdint>

typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;
typedef struct _LIBSSH2_CHANNEL LIBSSH2_CHANNEL;

struct KORVEX;

// Descriptor types given to comNewDescriptor.
enum : int {
    KVX_DESC_MCS = 0,
    KVX_DESC_TELNET = 1,
    KVX_DESC_RLOGIN = 2,
    KVX_DESC_SSH = 3,
    KVX_DESC_RLOGINPLUS = 4,
};

using KorvexInit = int (*)(KORVEX* d);

struct KORVEX {
    KorvexInit variant;     // the initializer that filled the table
    void (*release)(KORVEX* d);
    int (*socket)(KORVEX* d);
    void (*reserved)(KORVEX* d);
    int (*close)(KORVEX* d);
    int (*write)(KORVEX* d, const uint8_t* bytes, int length);
    int (*read)(KORVEX* d, uint8_t* buffer, int size);
    void (*asyncRead)(KORVEX* d);
    int (*readOob)(KORVEX* d, uint8_t* buffer, int size);
    int (*setAsync)(KORVEX* d, PWnd window);
    int (*lastError)(KORVEX* d);
    int (*login)(KORVEX* d, const char* userId);
    int (*localAddr)(KORVEX* d, uint8_t out[4]);
    int (*resize)(KORVEX* d, int rows, int cols);
    int (*peerName)(KORVEX* d, char* buffer, int size);
    int sock;                       // -1 for a dummy HostIO descriptor
    LIBSSH2_CHANNEL* channel;       // SSH only
    LIBSSH2_SESSION* session;       // SSH only
    void (*onEof)(KORVEX* d);       // SSH only
    int closePosted;                // SSH only: FD_CLOSE already posted
    int lastSsh;                    // SSH only: last negative channel result, else 0
};

// The variants' initializers; d->variant names one of them.
int korvexInitMcs(KORVEX* d);
int korvexInitHost(KORVEX* d);
int korvexInitSsh(KORVEX* d);

inline bool korvexIsMcs(const KORVEX* d) { return d && d->variant == korvexInitMcs; }
inline bool korvexIsHost(const KORVEX* d) { return d && d->variant == korvexInitHost; }
inline bool korvexIsSsh(const KORVEX* d) { return d && d->variant == korvexInitSsh; }

// type 0 MCS, 1/2/4 host, 3 SSH (opens its channel at once); any other type
// gives nullptr. sshSession is used by type 3 only and then belongs to the
// descriptor.
KORVEX* comNewDescriptor(int type, int socket, LIBSSH2_SESSION* sshSession = nullptr);
// Calls release and frees the record; it does not close the channel.
void destroy(KORVEX* d);

inline int korvexSocket(KORVEX* d) { return d->socket(d); }
inline int korvexClose(KORVEX* d) { return d->close(d); }
inline int korvexWrite(KORVEX* d, const uint8_t* bytes, int length) { return d->write(d, bytes, length); }
inline int korvexRead(KORVEX* d, uint8_t* buffer, int size) { return d->read(d, buffer, size); }
inline void korvexAsyncRead(KORVEX* d) { d->asyncRead(d); }
inline int korvexReadOob(KORVEX* d, uint8_t* buffer, int size) { return d->readOob(d, buffer, size); }
inline int korvexSetAsync(KORVEX* d, PWnd window) { return d->setAsync(d, window); }
inline int korvexLastError(KORVEX* d) { return d->lastError(d); }
inline int korvexLogin(KORVEX* d, const char* userId) { return d->login(d, userId); }
// 1 with the workstation's IPv4 address (network order) in out, else 0.
inline int korvexLocalAddr(KORVEX* d, uint8_t out[4]) { return d->localAddr(d, out); }
inline int korvexResize(KORVEX* d, int rows, int cols) { return d->resize(d, rows, cols); }
inline int korvexPeerName(KORVEX* d, char* buffer, int size) { return d->peerName(d, buffer, size); }
