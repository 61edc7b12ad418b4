// The socket layer over POSIX sockets. Every failing call records its
// Windows Sockets number (platWsaFromErrno) before anything else, so the
// messages show the numbers and texts users know.
#include "net/com.h"

#include "common/compress.h"
#include "common/log.h"
#include "common/strtab.h"
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "ui/errbox.h"
#include "ui/profile.h"

#include <libssh2.h>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int WSA_FIRST = 10004;
constexpr int WSA_LAST = 11004;
constexpr int YIELD_MS = 20;            // longest nap while a send would block
constexpr int GREETING_TIMEOUT_S = 30;  // a caller that never greets cannot hold the program

char configPath[PROFILE_PATH_MAX + 1];
std::array<uint8_t, 4> wsAddr{};
bool addrFixed = false;
int lastError = 0;
bool compressionOption = false;

// Shared by comReadBlock (bounce buffer) and comWrite (frame buffer).
std::unique_ptr<uint8_t[]> staging;
int stagingSize = 0;

ComMcsRequest mcsRequest = nullptr;

void recordErrno() { lastError = platWsaFromErrno(errno); }

void releaseStaging()
{
    staging.reset();
    stagingSize = 0;
}

bool ensureStaging(int size)
{
    if (staging && stagingSize >= size)
        return true;
    releaseStaging();
    staging.reset(new (std::nothrow) uint8_t[size]);
    if (!staging)
        return false;
    stagingSize = size;
    return true;
}

PWnd currentWindow() { return cuScrPtr ? cuScrPtr->wnd : 0; }

int setBlocking(int fd, bool blocking)
{
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) < 0) {
        recordErrno();
        return -1;
    }
    return 0;
}

// Registration makes the socket non-blocking, as the platform's
// asynchronous select does on Windows.
int asyncSelect(int fd, PWnd window, uint32_t message, uint32_t mask)
{
    if (mask && setBlocking(fd, false) < 0)
        return -1;
    if (platAsyncSelect(fd, window, message, mask) < 0) {
        lastError = errno ? platWsaFromErrno(errno) : 10022;
        return -1;
    }
    return 0;
}

void dumpf(const void* bytes, int length, const char* format, ...) __attribute__((format(printf, 3, 4)));
void dumpf(const void* bytes, int length, const char* format, ...)
{
    if (!logIsOpen())
        return;
    char title[128];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(title, sizeof title, format, ap);
    va_end(ap);
    logDump(title, bytes, length);
}

void showBox(const char* text) { platMessageBox(0, text, "ERROR", PMB_OK); }

void followPeer()
{
    if (compressMode() == CMPRS_FOLLOW)
        compressionOption = compressIsOn();
}

int get16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

// Receives count bytes into dest in pieces of at most COM_STAGING_SIZE.
int comReadBlock(int fd, uint8_t* dest, int count)
{
    if (!staging && !ensureStaging(COM_STAGING_SIZE)) {
        showBox(strGet(17001));
        return 0;
    }
    int got = 0;
    while (got < count) {
        int want = std::min(count - got, stagingSize);
        ssize_t n = recv(fd, staging.get(), (size_t)want, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                recordErrno();
            comErrorBox("comReadRaw:comError[%d] ", lastError);
            releaseStaging();
            return 0;
        }
        std::memcpy(dest + got, staging.get(), (size_t)n);
        got += (int)n;
    }
    return count;
}

bool waitWritable(int fd)
{
    pollfd p{fd, POLLOUT, 0};
    return poll(&p, 1, 0) > 0;
}

int defaultMcsRequest(int slot, uint8_t* buf, int len) { return msrDoMcsRequest(slot, buf, len); }

} // namespace

// ---- start and stop ----

int comStartUp(const char* path)
{
    logPrintf("#comStartUp\n");
    std::snprintf(configPath, sizeof configPath, "%s", path ? path : "");
    int rc = libssh2_init(0);
    if (rc != 0) {
        logPrintf("#comStartUp libssh2_init failed (%d)", rc);
        return rc;
    }
    wsAddr = {};
    addrFixed = false;
    const char* env = std::getenv("KORVEXADDR");
    if (!env)
        env = std::getenv("korvexaddr");
    uint8_t addr[4];
    if (env && comParseDottedQuad(env, addr)) {
        std::memcpy(wsAddr.data(), addr, 4);
        addrFixed = true;
    }
    return 0;
}

void comShutDown()
{
    releaseStaging();
    compressReleaseWork();
    libssh2_exit();   // OpenSSL 3 releases its own state at exit
}

const char* comConfigPath() { return configPath; }

int comParseDottedQuad(const char* text, uint8_t out[4])
{
    if (!text)
        return 0;
    std::array<uint8_t, 4> acc{};
    int dots = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == '.') {
            if (++dots == 4)
                break;
        } else if (*p >= '0' && *p <= '9') {
            acc[dots] = (uint8_t)(acc[dots] * 10 + (*p - '0'));
        } else {
            break;
        }
    }
    if (dots != 3)
        return 0;
    std::memcpy(out, acc.data(), 4);
    return 1;
}

const uint8_t* comWorkstationAddr() { return wsAddr.data(); }
bool comAddrFixed() { return addrFixed; }
int comLastError() { return lastError; }
void comSetLastError(int wsa) { lastError = wsa; }
void comSetCompressionOption(bool on) { compressionOption = on; }
bool comCompressionOption() { return compressionOption; }

// ---- listening and accepting ----

int comCreateListeningAsyncSock(uint16_t* port, PWnd window, uint32_t message)
{
    logPrintf("#comCreateListeningAsyncSock\n");
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        recordErrno();
        comErrorBox("comCreateListeningAsyncSock:Error [%d] on comCreate", lastError);
        return -1;
    }
    // A port whose last connections linger in TIME_WAIT can be bound again,
    // as on Windows; a port another program listens on still cannot.
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int copies = std::max(1, (int)cfgGetInt("Options", "MaxCopies", COM_DEFAULT_MAXCOPIES));
    int bound = 0;
    for (int i = 0; i < copies; ++i) {
        bound = comBind(*port, fd, true);
        if (bound != 0)
            break;
        ++*port;
    }
    if (bound != 1) {
        comErrorBox("comCreateListeningAsyncSock:Error [%d] on comBind", lastError);
        comClose(fd);
        return -2;
    }
    if (asyncSelect(fd, window, message, COM_MASK_LISTEN) < 0) {
        comErrorBox("comCreateListeningAsyncSock:Error [%d] on WSAAsyncSelect", lastError);
        comClose(fd);
        return -4;
    }
    return fd;
}

int comBind(uint16_t port, int socket, bool listening)
{
    logPrintf("#comBind\n");
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons(port);
    if (bind(socket, (const sockaddr*)&sa, sizeof sa) < 0) {
        recordErrno();
        return lastError == WSAEADDRINUSE ? 0 : -1;
    }
    if (listening && listen(socket, COM_LISTEN_BACKLOG) < 0) {
        recordErrno();
        return lastError == WSAEADDRINUSE ? 0 : -1;
    }
    return 1;
}

int comAccept(int listener, char tag[4])
{
    int fd = -1;
    for (int attempt = 1; attempt <= COM_ACCEPT_TRIES; ++attempt) {
        fd = accept(listener, nullptr, nullptr);
        if (fd >= 0)
            break;
        recordErrno();
        if (lastError != WSAEWOULDBLOCK || attempt == COM_ACCEPT_TRIES) {
            comErrorBox("comAccept:Error [%d] accepting connection.", lastError);
            return -1;
        }
    }
    // Closing the socket resets the connection.
    linger lg{1, 0};
    if (setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) < 0) {
        recordErrno();
        if (lastError != WSAENOPROTOOPT) {
            comErrorBox("comAccept:Error [%d] on setsockopt()", lastError);
            comClose(fd);
            return -1;
        }
    }
    if (asyncSelect(fd, currentWindow(), PM_SOCKET, 0) < 0) {
        comErrorBox("comAccept:Error [%d] on WSAAsyncSelect()", lastError);
        comClose(fd);
        return -1;
    }
    if (setBlocking(fd, true) < 0) {
        comErrorBox("comAccept:Error [%d] on ioctlsocket()", lastError);
        comClose(fd);
        return -1;
    }
    timeval limit{GREETING_TIMEOUT_S, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    uint8_t greeting[COM_GREETING_LEN];
    ssize_t n;
    do
        n = recv(fd, greeting, sizeof greeting, 0);
    while (n < 0 && errno == EINTR);
    timeval none{0, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    if (n < 0) {
        recordErrno();
        comErrorBox("comAccept:Error0 [%d] establishing connection", lastError);
        comClose(fd);
        return -1;
    }
    if (n != COM_GREETING_LEN) {
        comErrorBox("comAccept:Error1 [%d] establishing connection", (int)n);
        comClose(fd);
        return -1;
    }
    logDump("#comAccept:buff", greeting, COM_GREETING_LEN);
    std::memcpy(tag, greeting + 3, 4);
    return fd;
}

// ---- connecting and addresses ----

int comConnect(int socket, const uint8_t address[4], uint16_t port)
{
    logPrintf("# >comConnect(): socket %d\n", socket);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_addr.s_addr, address, 4);
    sa.sin_port = htons(port);
    if (connect(socket, (const sockaddr*)&sa, sizeof sa) < 0 && errno != EINPROGRESS && errno != EWOULDBLOCK) {
        recordErrno();
        logPrintf("# <comConnect(FALSE)\n");
        return 0;
    }
    logPrintf("# <comConnect(TRUE)\n");
    return 1;
}

int comHostAddr(const char* name, uint8_t out[4])
{
    if (!name)
        return 0;
    if (name[0] && comParseDottedQuad(name, out))
        return 1;
    hostent* he = gethostbyname(name);
    if (!he || he->h_addrtype != AF_INET || !he->h_addr_list || !he->h_addr_list[0]) {
        lastError = platWsaFromResolver(he ? NO_DATA : h_errno);
        logPrintf("#comHostAddr: gethostbyname failed [%d]\n", lastError);
        return 0;
    }
    std::memcpy(out, he->h_addr_list[0], 4);
    return 1;
}

int comLocalAddr(int socket)
{
    if (addrFixed)
        return 1;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int rc = getsockname(socket, (sockaddr*)&sa, &len);
    if (rc < 0 || sa.sin_family != AF_INET) {
        if (rc < 0)
            recordErrno();
        else
            lastError = 10047;   // not an IPv4 socket
        comErrorBox("comHostLogin: Error [%d] determining IP addr", lastError);
        return 0;
    }
    std::memcpy(wsAddr.data(), &sa.sin_addr.s_addr, 4);
    return 1;
}

int comPeerName(int socket, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return -1;
    std::snprintf(buffer, (size_t)size, "%s", COM_NO_PEER_NAME);
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int rc = getpeername(socket, (sockaddr*)&sa, &len);
    if (rc != 0) {
        recordErrno();
        return rc;
    }
    hostent* he = gethostbyaddr(&sa.sin_addr, sizeof sa.sin_addr, AF_INET);
    if (!he || !he->h_name)
        return 0;
    std::snprintf(buffer, (size_t)size, "%s", he->h_name);
    if (char* dot = std::strchr(buffer, '.'))
        *dot = 0;
    return 0;
}

// ---- notification modes ----

int comSetSockMode(int socket, int mode, uint32_t message, PWnd window)
{
    logPrintf("#comSetSockMode(%d)\n", mode);
    if (mode == 0) {
        asyncSelect(socket, window, message, 0);
        return setBlocking(socket, true) < 0 ? -1 : 0;
    }
    if (mode == 1)
        return asyncSelect(socket, window, message, COM_MASK_HOST) < 0 ? -1 : 0;
    return 0;
}

int comSetMCSSockToASYNC(int socket, PWnd window)
{
    logPrintf("#comSetMCSSockToASYNC\n");
    return asyncSelect(socket, window, PM_SOCKET, COM_MASK_MCS) < 0 ? -1 : 0;
}

// ---- framed messages ----

int comWrite(int socket, const uint8_t* message, int length)
{
    dumpf(message, length, "#comWrite:Writing [%d] bytes on sock[%d]", length, socket);
    if (!message || length < 0)
        return -1;
    if (stagingSize < length + 3 && !ensureStaging(std::max(length + 3, COM_STAGING_SIZE))) {
        showBox(strGet(17002));
        return -1;
    }
    if (compressMode() != CMPRS_FOLLOW)
        compressSetOn(compressionOption);
    int size = compressBuf(length, message, staging.get() + 2, stagingSize - 2);
    if (size > COM_FRAME_MAX)
        size = CMPRS_EROOM;   // the length field cannot announce it
    if (size < 0) {
        char text[COM_TEXT_MAX];
        std::snprintf(text, sizeof text, "Compression Error: compressBuf returned %d", size);
        showBox(text);
        releaseStaging();
        return -1;
    }
    staging[0] = (uint8_t)(size >> 8);
    staging[1] = (uint8_t)size;
    if (comWriteRaw(socket, staging.get(), size + 2) != size + 2) {
        releaseStaging();
        return -1;
    }
    mcsSampleCount(message, length);
    if (stagingSize > COM_STAGING_SIZE)
        releaseStaging();
    return size + 2;
}

int comRead(int socket, uint8_t* buffer, int size)
{
    if (!buffer || size <= 0)
        return -1;
    if (comSetSockMode(socket, 0, PM_SOCKET, currentWindow()) < 0)
        return -1;
    uint8_t head[2];
    if (!comReadBlock(socket, head, 2))
        return -1;
    logDump("#comRead0:", head, 2);
    int length = get16(head);
    if (length > size) {
        char text[COM_TEXT_MAX];
        std::snprintf(text, sizeof text, "comRead: Error buff_size[%d] < mssg_size[%d]", size, length);
        showBox(text);
        return -1;
    }
    if (length > 0 && !comReadBlock(socket, buffer, length))
        return -1;
    mcsSampleCount(buffer, length);
    uint8_t* out = nullptr;
    int outSize = decompressBuf(length, buffer, &out, 0);
    if (outSize < 0) {
        char text[COM_TEXT_MAX];
        std::snprintf(text, sizeof text, "comRead: decompressBuf Error [%d]", outSize);
        showBox(text);
        return -1;
    }
    followPeer();
    if (outSize > size) {
        char text[COM_TEXT_MAX];
        std::snprintf(text, sizeof text, "comRead: Error buff_size[%d] < outSize[%d]", size, outSize);
        showBox(text);
        std::free(out);
        return -1;
    }
    if (outSize > 0)
        std::memcpy(buffer, out, (size_t)outSize);
    std::free(out);
    if (compressIsOn())
        logDump("#comRead1:", buffer, outSize);
    if (comSetMCSSockToASYNC(socket, currentWindow()) < 0)
        return -1;
    return length;
}

// ---- frame reassembly ----

int comRecvRoom(const ComRecv& r) { return r.buf ? COM_RECV_SIZE - r.fill : COM_RECV_SIZE; }

int comRecvTakeFrame(const ComRecv& r, int socket, uint8_t** message)
{
    *message = nullptr;
    while (r.buf && r.fill > 2) {
        uint8_t* b = r.buf.get();
        int length = get16(b);
        if (length > COM_FRAME_MAX) {
            logPrintf("#comAsyncRead: frame of [%d] bytes on sock[%d] cannot be valid\n", length, socket);
            r.buf.reset();
            r.fill = 0;
            return COM_RECV_EFRAME;
        }
        if (length + 2 > r.fill)
            return 0;
        uint8_t* out = nullptr;
        int outSize = decompressBuf(length, b + 2, &out, 0);
        int rest = r.fill - (length + 2);
        if (rest > 0)
            std::memmove(b, b + length + 2, (size_t)rest);
        r.fill = rest;
        if (rest == 0)
            r.buf.reset();
        if (outSize < 0) {
            // Kept buffered, this frame would stall the channel for good.
            logPrintf("#comAsyncRead: decompressBuf Error [%d], frame of [%d] bytes on sock[%d] dropped\n",
                      outSize, length, socket);
            continue;
        }
        followPeer();
        if (compressIsOn())
            dumpf(out, outSize, "#comAsyncRead decompressed on sock[%d]", socket);
        if (!out) {
            // An empty message still gets a block of its own to hand over.
            out = (uint8_t*)std::malloc(1);
            if (!out)
                continue;
        }
        *message = out;
        return outSize;
    }
    return 0;
}

int comRecvFrames(const ComRecv& r, int socket, ComMessageSink sink, void* context)
{
    int delivered = 0;
    for (;;) {
        uint8_t* message = nullptr;
        int n = comRecvTakeFrame(r, socket, &message);
        if (!message)
            return n < 0 ? n : delivered;
        sink(context, message, n);
        std::free(message);
        ++delivered;
    }
}

void comSetMcsRequest(ComMcsRequest fn) { mcsRequest = fn; }

void comAsyncRead(int socket)
{
    CuScreen* scr = cuScrPtr;
    int slot = cuCurSlot;
    if (!scr) {
        logPrintf("#comAsyncRead: no current session for sock[%d]\n", socket);
        return;
    }
    if (!scr->mcsRecv) {
        scr->mcsRecv.reset(new (std::nothrow) uint8_t[COM_RECV_SIZE]);
        scr->mcsRecvFill = 0;
        if (!scr->mcsRecv) {
            showBox(strGet(17000));
            uiFatalExit(1);
        }
    }
    int waiting = 0;
    if (ioctl(socket, FIONREAD, &waiting) < 0)
        waiting = 0;
    int room = COM_RECV_SIZE - scr->mcsRecvFill;
    int want = std::min(room, std::max(waiting, 1));
    ssize_t n = recv(socket, scr->mcsRecv.get() + scr->mcsRecvFill, (size_t)want, 0);
    if (n < 0) {
        recordErrno();
        logPrintf("#comAsyncRead:Error [%d] reading socket data\n", lastError);
        if (lastError != WSAEWOULDBLOCK)
            comErrorBox("comAsyncRead:Error [%d] reading socket data", lastError);
        return;
    }
    if (n == 0) {
        logPrintf("#comAsyncRead:No Data!\n");
        return;
    }
    dumpf(scr->mcsRecv.get() + scr->mcsRecvFill, (int)n, "#comAsyncRead rcvd on sock[%d]", socket);
    scr->mcsRecvFill += (int)n;

    ComMcsRequest deliver = mcsRequest ? mcsRequest : defaultMcsRequest;
    for (;;) {
        uint8_t* message = nullptr;
        int got = comRecvTakeFrame(ComRecv{scr->mcsRecv, scr->mcsRecvFill}, socket, &message);
        if (got < 0) {
            // The stream cannot be resynchronised: end it; the platform
            // reports FD_CLOSE and the session closes the channel.
            shutdown(socket, SHUT_RDWR);
            return;
        }
        if (!message)
            return;
        deliver(slot, message, got);
        std::free(message);
        // The request may have closed the session (and freed its buffer).
        if (cuScreenAt(slot) != scr)
            return;
    }
}

// ---- raw traffic ----

void comYield() { platPump(YIELD_MS); }

int comWriteRaw(int socket, const uint8_t* bytes, int length)
{
    dumpf(bytes, length, "#comWriteRaw: on sock[%d]", socket);
    if (length <= 0)
        return length;
    int sent = 0;
    while (sent < length) {
        ssize_t n = send(socket, bytes + sent, (size_t)(length - sent), MSG_NOSIGNAL);
        if (n >= 0) {
            sent += (int)n;
            continue;
        }
        if (errno == EINTR)
            continue;
        recordErrno();
        if (lastError == WSAEWOULDBLOCK || lastError == WSAEINPROGRESS) {
            if (lastError == WSAEWOULDBLOCK)
                logPrintf("#comWriteRaw:WouldBlock sock[%d]\n", socket);
            else
                logPrintf("#comWriteRaw:InProgress sock[%d]\n", socket);
            platSocketWouldBlock(socket);
            if (!waitWritable(socket)) {
                if (platQuitting()) {
                    logPrintf("#comWriteRaw:comError[%d] sock[%d] len[%d]\n", lastError, socket, length - sent);
                    return -1;
                }
                comYield();
            }
            continue;
        }
        logPrintf("#comWriteRaw:comError[%d] sock[%d] len[%d]\n", lastError, socket, length - sent);
        return -1;
    }
    return length;
}

int comHostPut(int socket, const uint8_t* bytes, int length)
{
    if (length > 0 && comWriteRaw(socket, bytes, length) < 0) {
        logPrintf("#comHostPut(ERROR)\n");
        return -1;
    }
    return 1;
}

int comReadRaw(int socket, uint8_t* buffer, int size, int flags)
{
    if (!buffer || size <= 0)
        return -1;
    ssize_t n = recv(socket, buffer, (size_t)size, flags == COM_OOB ? MSG_OOB : 0);
    if (n < 0) {
        recordErrno();
        return -1;
    }
    dumpf(buffer, (int)n, "#comReadRaw: on sock[%d] flags[%d]", socket, flags);
    return (int)n;
}

int comClose(int socket)
{
    platAsyncSelect(socket, 0, 0, 0);   // a reused descriptor number starts clean
    int rc = close(socket);
    if (rc < 0)
        recordErrno();
    logPrintf("# >comClose(): socket %d (ret %d)\n", socket, rc);
    return rc;
}

void comPostFDClose(int socket)
{
    if (!cuScrPtr)
        return;
    logPrintf("#comPostFDClose(%d) (%x)\n", socket, (unsigned)cuScrPtr->wnd);
    platPost(cuScrPtr->wnd, PM_SOCKET, (PWParam)socket, platSelectLParam(FD_CLOSE, 0));
}

// ---- error boxes ----

int comErrorText(char* out, int size, const char* format, int code)
{
    if (!out || size <= 0)
        return 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(out, (size_t)size, format, code);
#pragma GCC diagnostic pop
    n = std::clamp(n, 0, size - 1);
    if (code >= WSA_FIRST && code <= WSA_LAST) {
        int more = std::snprintf(out + n, (size_t)(size - n), "\n%s", strGet(code));
        n = std::min(n + std::max(more, 0), size - 1);
    }
    return n;
}

void comErrorBox(const char* format, int code)
{
    char text[COM_TEXT_MAX];
    comErrorText(text, sizeof text, format, code);
    showBox(text);
}

void comHostErrorBox(const char* format, int code, const char* host, int port, const char* protocol)
{
    char text[COM_TEXT_MAX];
    int n = comErrorText(text, sizeof text, format, code);
    std::snprintf(text + n, sizeof text - (size_t)n, "\nOn Host [%s], port [%d] using '%s' protocol", host ? host : "",
                  (int)(int16_t)port, protocol ? protocol : "");
    showBox(text);
}
