// Channel descriptors: the three variants' tables and the factory.
#include "net/korvex.h"

#include "common/log.h"
#include "net/com.h"
#include "net/login.h"

#include <cassert>
#include <cstring>
#include <new>

namespace {

// Slots a variant leaves unset: loud in debug builds, a failure in release.
void unsetReserved(KORVEX*) { assert(!"KORVEX: the reserved slot is never called"); }
int unsetReadOob(KORVEX*, uint8_t*, int)
{
    assert(!"KORVEX: readOob must not be called on this variant");
    return -1;
}
int unsetLogin(KORVEX*, const char*)
{
    assert(!"KORVEX: login must not be called on this variant");
    return -1;
}
int unsetResize(KORVEX*, int, int)
{
    assert(!"KORVEX: resize must not be called on this variant");
    return -1;
}
void unsetOnEof(KORVEX*) { assert(!"KORVEX: onEof is for SSH descriptors only"); }

// Shared by all variants.
void releaseNothing(KORVEX*) {}
int socketField(KORVEX* d) { return d->sock; }
void asyncReadSocket(KORVEX* d) { comAsyncRead(d->sock); }
int lastSocketError(KORVEX*) { return comLastError(); }
int localAddrCopy(KORVEX* d, uint8_t out[4])
{
    if (!comLocalAddr(d->sock))
        return 0;
    std::memcpy(out, comWorkstationAddr(), 4);
    return 1;
}
int peerNameSocket(KORVEX* d, char* buffer, int size) { return comPeerName(d->sock, buffer, size); }

// MCS and host.
int closeSocket(KORVEX* d) { return comClose(d->sock); }
int setAsyncSocket(KORVEX* d, PWnd window) { return comSetMCSSockToASYNC(d->sock, window); }

// MCS.
int mcsWrite(KORVEX* d, const uint8_t* bytes, int length) { return comWrite(d->sock, bytes, length); }
int mcsRead(KORVEX* d, uint8_t* buffer, int size) { return comRead(d->sock, buffer, size); }

// Host.
int hostWrite(KORVEX* d, const uint8_t* bytes, int length) { return comHostPut(d->sock, bytes, length); }
int hostReadOob(KORVEX* d, uint8_t* buffer, int size)
{
    int n = comReadRaw(d->sock, buffer, size, COM_OOB);
    return n > 0 ? n : -1;
}

// SSH.
void sshRelease(KORVEX* d)
{
    if (d->channel)
        d->close(d);
}
int sshLastResult(KORVEX* d) { return d->channel && d->session ? d->lastSsh : -1; }
int sshResize(KORVEX*, int, int) { return 0; }   // the PTY keeps the size it was opened with
void sshOnEof(KORVEX* d)
{
    if (d->closePosted)
        return;
    comPostFDClose(d->sock);
    d->closePosted = 1;
}

// What every variant starts from: each slot filled, the unset ones loud.
void fillCommon(KORVEX* d, KorvexInit variant)
{
    d->variant = variant;
    d->release = releaseNothing;
    d->socket = socketField;
    d->reserved = unsetReserved;
    d->asyncRead = asyncReadSocket;
    d->readOob = unsetReadOob;
    d->lastError = lastSocketError;
    d->login = unsetLogin;
    d->localAddr = localAddrCopy;
    d->resize = unsetResize;
    d->peerName = peerNameSocket;
    d->onEof = unsetOnEof;
}

struct DescType {
    int type;
    KorvexInit init;
};
constexpr DescType kDescTypes[] = {
    {KVX_DESC_MCS, korvexInitMcs},
    {KVX_DESC_TELNET, korvexInitHost},
    {KVX_DESC_RLOGIN, korvexInitHost},
    {KVX_DESC_SSH, korvexInitSsh},
    {KVX_DESC_RLOGINPLUS, korvexInitHost},
};

} // namespace

int korvexInitMcs(KORVEX* d)
{
    fillCommon(d, korvexInitMcs);
    d->close = closeSocket;
    d->write = mcsWrite;
    d->read = mcsRead;
    d->setAsync = setAsyncSocket;
    return 0;
}

int korvexInitHost(KORVEX* d)
{
    fillCommon(d, korvexInitHost);
    d->close = closeSocket;
    d->write = hostWrite;
    d->read = hostRead;
    d->readOob = hostReadOob;
    d->setAsync = setAsyncSocket;
    d->login = hostLogin;
    d->resize = hostResize;
    return 0;
}

int korvexInitSsh(KORVEX* d)
{
    fillCommon(d, korvexInitSsh);
    d->release = sshRelease;
    d->close = sshClose;
    d->write = sshWrite;
    d->read = sshRead;
    d->setAsync = sshSetAsync;
    d->lastError = sshLastResult;
    d->login = sshLogin;
    d->resize = sshResize;
    d->onEof = sshOnEof;
    return 0;
}

KORVEX* comNewDescriptor(int type, int socket, LIBSSH2_SESSION* sshSession)
{
    KorvexInit init = nullptr;
    for (const DescType& t : kDescTypes)
        if (t.type == type)
            init = t.init;
    if (!init)
        return nullptr;
    KORVEX* d = new (std::nothrow) KORVEX{};
    if (!d)
        return nullptr;
    init(d);
    d->sock = socket;
    if (init == korvexInitSsh) {
        d->session = sshSession;
        d->lastSsh = 0;
        d->closePosted = 0;
        sshOpenChannel(d);
    }
    return d;
}

void destroy(KORVEX* d)
{
    if (!d)
        return;
    d->release(d);
    delete d;
}
