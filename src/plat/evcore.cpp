// Queue, timers and socket readiness with the semantics plat.h promises.
#include "plat/evcore.h"

#include <algorithm>
#include <cstddef>
#include <cerrno>
#include <poll.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

void evPost(EvCore& ev, PWnd wnd, uint32_t msg, PWParam wp, PLParam lp)
{
    ev.queue.push_back(EvMsg{wnd, msg, wp, lp, -1, 0});
}

void evForgetWindow(EvCore& ev, PWnd w)
{
    ev.queue.erase(std::remove_if(ev.queue.begin(), ev.queue.end(), [w](const EvMsg& m) { return m.wnd == w; }), ev.queue.end());
    ev.timers.erase(std::remove_if(ev.timers.begin(), ev.timers.end(), [w](const EvTimer& t) { return t.wnd == w; }), ev.timers.end());
    for (auto it = ev.sockets.begin(); it != ev.sockets.end();)
        it = it->second.wnd == w ? ev.sockets.erase(it) : std::next(it);
}

uintptr_t evSetTimer(EvCore& ev, PWnd w, uintptr_t id, uint32_t ms)
{
    if (id == 0)
        return 0;
    for (EvTimer& t : ev.timers)
        if (t.wnd == w && t.id == id) {
            t.interval = ms;
            t.due = platTickCount() + ms;
            return id;
        }
    ev.timers.push_back(EvTimer{w, id, ms, platTickCount() + ms, false});
    return id;
}

bool evKillTimer(EvCore& ev, PWnd w, uintptr_t id)
{
    auto it = std::find_if(ev.timers.begin(), ev.timers.end(), [&](const EvTimer& t) { return t.wnd == w && t.id == id; });
    if (it == ev.timers.end())
        return false;
    ev.timers.erase(it);
    ev.queue.erase(std::remove_if(ev.queue.begin(), ev.queue.end(),
                                  [&](const EvMsg& m) { return m.wnd == w && m.msg == PM_TIMER && m.wp == id; }),
                   ev.queue.end());
    return true;
}

void evFireTimers(EvCore& ev)
{
    uint32_t now = platTickCount();
    for (EvTimer& t : ev.timers) {
        if (!t.queued && (int32_t)(now - t.due) >= 0) {
            t.queued = true;
            ev.queue.push_back(EvMsg{t.wnd, PM_TIMER, t.id, 0, -1, 0});
            t.due = now + t.interval;
        }
    }
}

int evNextTimerMs(const EvCore& ev)
{
    uint32_t now = platTickCount();
    int best = -1;
    for (const auto& [fd, so] : ev.sockets) {
        if (!so.readHeld)
            continue;
        int32_t left = (int32_t)(so.heldSince + EV_HELD_RETRY_MS - now);
        int ms = left < 0 ? 0 : left;
        if (best < 0 || ms < best)
            best = ms;
    }
    for (const EvTimer& t : ev.timers) {
        if (t.queued)
            continue;
        int32_t left = (int32_t)(t.due - now);
        int ms = left < 0 ? 0 : left;
        if (best < 0 || ms < best)
            best = ms;
    }
    return best;
}

namespace {
void postSocket(EvCore& ev, int fd, EvSocket& so, uint32_t event, int error)
{
    if (!(so.events & event))
        return;
    so.outstanding |= event;
    ev.queue.push_back(EvMsg{so.wnd, so.msg, (PWParam)fd, platSelectLParam(event, error), fd, event});
}
} // namespace

int evAsyncSelect(EvCore& ev, int fd, PWnd w, uint32_t msg, uint32_t events)
{
    if (fd < 0)
        return -1;
    if (events == 0 || !w) {
        ev.sockets.erase(fd);
        return 0;
    }
    EvSocket so{};
    so.wnd = w;
    so.msg = msg;
    so.events = events;
    int acc = 0;
    socklen_t len = sizeof acc;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &acc, &len) < 0)
        return -1;
    so.listening = acc != 0;
    bool connected = false;
    if (!so.listening) {
        sockaddr_storage peer{};
        socklen_t plen = sizeof peer;
        connected = getpeername(fd, (sockaddr*)&peer, &plen) == 0;
        so.connecting = !connected && (events & FD_CONNECT);
        so.writeArmed = connected && (events & FD_WRITE);
    }
    EvSocket& reg = ev.sockets[fd] = so;
    if (connected && (events & FD_CONNECT)) {
        // The connect finished before the socket was registered.
        reg.writeArmed = false;
        postSocket(ev, fd, reg, FD_CONNECT, 0);
        postSocket(ev, fd, reg, FD_WRITE, 0);
    }
    return 0;
}

void evWouldBlock(EvCore& ev, int fd)
{
    auto it = ev.sockets.find(fd);
    if (it != ev.sockets.end())
        it->second.writeArmed = true;
}

namespace {
int bytesWaiting(int fd)
{
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

// How many bytes the program has taken out of a TCP socket: received less
// still waiting. -1 for sockets that do not tell.
int64_t bytesConsumed(int fd, int waiting)
{
    tcp_info info{};
    socklen_t len = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) < 0 || len < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return -1;
    return (int64_t)info.tcpi_bytes_received - waiting;
}

void holdRead(EvSocket& so, int fd, int waiting)
{
    so.readHeld = true;
    so.heldAvail = waiting;
    so.heldConsumed = bytesConsumed(fd, waiting);
    so.heldSince = platTickCount();
}
} // namespace

short evWanted(int fd, EvSocket& so)
{
    // A read event whose handler left the data where it was is not repeated
    // until the amount waiting changes (a read, or more data), as Windows
    // Sockets re-enables it only with the next receive call.
    if (so.readHeld) {
        int waiting = bytesWaiting(fd);
        if (waiting != so.heldAvail || (so.heldConsumed >= 0 && bytesConsumed(fd, waiting) != so.heldConsumed) ||
            platTickCount() - so.heldSince >= EV_HELD_RETRY_MS)
            so.readHeld = false;
    }
    if (so.connecting)
        return POLLOUT;
    short want = 0;
    if (so.listening) {
        if ((so.events & FD_ACCEPT) && !(so.outstanding & FD_ACCEPT))
            want |= POLLIN;
        return want;
    }
    if ((so.events & (FD_READ | FD_CLOSE)) && !so.closePosted && !so.readHeld && !(so.outstanding & (FD_READ | FD_CLOSE)))
        want |= POLLIN;
    if ((so.events & FD_OOB) && !(so.outstanding & FD_OOB))
        want |= POLLPRI;
    if (so.writeArmed)
        want |= POLLOUT;
    if (so.readHeld && !so.closePosted && (so.events & FD_CLOSE))
        want |= POLLRDHUP;   // the peer may end the stream behind unread data
    return want;
}

void evReady(EvCore& ev, int fd, short revents)
{
    auto it = ev.sockets.find(fd);
    if (it == ev.sockets.end() || !revents)
        return;
    EvSocket& so = it->second;
    if (revents & POLLNVAL) {
        ev.sockets.erase(it);   // closed behind our back
        return;
    }
    if (so.connecting) {
        if (!(revents & (POLLOUT | POLLERR | POLLHUP)))
            return;
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        so.connecting = false;
        postSocket(ev, fd, so, FD_CONNECT, err ? platWsaFromErrno(err) : 0);
        if (!err)
            postSocket(ev, fd, so, FD_WRITE, 0);
        return;
    }
    if (so.listening) {
        if (revents & POLLIN)
            postSocket(ev, fd, so, FD_ACCEPT, 0);
        return;
    }
    if ((revents & POLLRDHUP) && so.readHeld && !so.closePosted) {
        so.closePosted = true;
        postSocket(ev, fd, so, FD_CLOSE, 0);
    }
    if ((revents & POLLPRI) && !(so.outstanding & FD_OOB))
        postSocket(ev, fd, so, FD_OOB, 0);
    if ((revents & (POLLIN | POLLHUP | POLLERR)) && !so.closePosted && !(so.outstanding & (FD_READ | FD_CLOSE))) {
        // The end of the stream is reported once the data before it is read.
        char c;
        ssize_t got = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got > 0) {
            postSocket(ev, fd, so, FD_READ, 0);
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            so.closePosted = true;
            postSocket(ev, fd, so, FD_CLOSE, got == 0 ? 0 : platWsaFromErrno(errno));
        }
    }
    if ((revents & POLLOUT) && so.writeArmed) {
        so.writeArmed = false;
        postSocket(ev, fd, so, FD_WRITE, 0);
    }
}

int evDispatch(EvCore& ev, const std::function<void(const EvMsg&)>& deliver)
{
    size_t count = ev.queue.size();
    int done = 0;
    for (size_t i = 0; i < count && !ev.queue.empty() && !ev.quitting; ++i) {
        EvMsg m = ev.queue.front();
        ev.queue.pop_front();
        if (m.msg == PM_TIMER)
            for (EvTimer& t : ev.timers)
                if (t.wnd == m.wnd && t.id == m.wp)
                    t.queued = false;
        // Whether the handler read: on TCP by the bytes taken out (data may
        // arrive while it runs), elsewhere by the bytes left waiting.
        bool isRead = m.sockEvent == FD_READ;
        int before = isRead ? bytesWaiting(m.sockFd) : 0;
        int64_t consumedBefore = isRead ? bytesConsumed(m.sockFd, before) : -1;
        deliver(m);
        if (m.sockFd >= 0) {
            auto it = ev.sockets.find(m.sockFd);
            if (it != ev.sockets.end()) {
                it->second.outstanding &= ~m.sockEvent;
                if (isRead) {
                    int after = bytesWaiting(m.sockFd);
                    bool readNothing = consumedBefore >= 0 ? bytesConsumed(m.sockFd, after) == consumedBefore : after >= before;
                    if (after > 0 && readNothing)
                        holdRead(it->second, m.sockFd, after);
                }
            }
        }
        ++done;
    }
    return done;
}
