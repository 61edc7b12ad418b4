// Headless back end: in-memory windows, a FIFO message queue, window timers
// on the tick clock and socket readiness from poll(). It keeps the contract
// of plat.h so the logic behaves as it does on the desktop.
#include "plat/headless/headless.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

extern uint32_t g_platClockOffset;

namespace {

struct Window {
    PWndKind kind;
    PWnd parent;
    std::string title;
    PRect rect;             // outer rectangle in parent client co-ordinates
    int32_t clientW, clientH;
    PWndProc proc;
    intptr_t userWord;
    bool visible, minimized, maximized;
    bool dirty;
};

struct Msg {
    PWnd wnd;
    uint32_t msg;
    PWParam wp;
    PLParam lp;
    int sockFd;             // readiness message: the socket and event whose
    uint32_t sockEvent;     // outstanding mark clears once it is dispatched
};

struct Timer {
    PWnd wnd;
    uintptr_t id;
    uint32_t interval;
    uint32_t due;
    bool queued;            // a PM_TIMER for it waits in the queue
};

struct Socket {
    PWnd wnd;
    uint32_t msg;
    uint32_t events;
    bool listening;
    bool connecting;
    bool writeArmed;
    bool closePosted;
    uint32_t outstanding;   // events posted and not yet dispatched
};

struct Pen {
    int32_t style, width;
    PRgb color;
};

struct DcState {
    PFont font = 0;
    PRgb text = 0, bk = 0xFFFFFF;
};

struct State {
    std::map<PWnd, Window> windows;
    std::vector<PWnd> order;
    PWnd nextWnd = 1;
    std::deque<Msg> queue;
    std::vector<Timer> timers;
    std::map<int, Socket> sockets;
    bool quitting = false;
    int quitCode = 0;
    PWnd focus = 0, mdiActive = 0;
    int32_t frameW = 1024, frameH = 768;
    HeadlessBoxPolicy policy;
    std::vector<HeadlessBox> boxes;
    bool echoBoxes = true;
    std::vector<HeadlessDraw> drawing;
    std::map<PFont, int32_t> fonts;
    PFont nextFont = 1;
    std::map<PPen, Pen> pens;
    PPen nextPen = 1;
    std::map<PDC, DcState> dcs;
    HeadlessCaret caret{};
    std::vector<int32_t> sounds;
};

State& st()
{
    static State s;
    return s;
}

Window* find(PWnd w)
{
    auto it = st().windows.find(w);
    return it == st().windows.end() ? nullptr : &it->second;
}

PResult callProc(PWnd w, uint32_t msg, PWParam wp, PLParam lp)
{
    Window* win = find(w);
    if (!win || !win->proc)
        return 0;
    return win->proc(w, msg, wp, lp);
}

void sendSize(PWnd w)
{
    Window* win = find(w);
    if (!win)
        return;
    PWParam how = win->minimized ? PSIZE_MINIMIZED : win->maximized ? PSIZE_MAXIMIZED : PSIZE_RESTORED;
    int32_t cw = win->minimized ? 0 : win->clientW, ch = win->minimized ? 0 : win->clientH;
    callProc(w, PM_SIZE, how, (PLParam)((uint32_t)(cw & 0xFFFF) | ((uint32_t)(ch & 0xFFFF) << 16)));
}

// ---- windows ----

PWnd hCreateWindow(const PWndCreate* c)
{
    State& s = st();
    Window win{};
    win.kind = c->kind;
    win.parent = c->parent;
    win.title = c->title ? c->title : "";
    win.proc = c->proc;
    win.visible = (c->flags & PWS_VISIBLE) != 0;
    win.maximized = (c->flags & PWS_MAXIMIZED) != 0;
    win.minimized = (c->flags & PWS_MINIMIZED) != 0;
    if (c->flags & PWS_DEFAULTPOS)
        win.rect = PRect{0, 0, s.frameW * 3 / 4, s.frameH * 3 / 4};
    else
        win.rect = c->rect;
    if (c->kind == PWndKind::Frame || c->kind == PWndKind::MdiClient) {
        win.clientW = s.frameW;
        win.clientH = s.frameH;
    } else if (win.maximized) {
        win.clientW = s.frameW;
        win.clientH = s.frameH;
    } else {
        win.clientW = std::max(0, win.rect.right - win.rect.left);
        win.clientH = std::max(0, win.rect.bottom - win.rect.top);
    }
    PWnd w = s.nextWnd++;
    s.windows[w] = win;
    s.order.push_back(w);
    if (callProc(w, PM_CREATE, 0, 0) < 0) {
        s.windows.erase(w);
        s.order.erase(std::remove(s.order.begin(), s.order.end(), w), s.order.end());
        return 0;
    }
    if (c->kind == PWndKind::MdiChild)
        s.mdiActive = w;
    return w;
}

int hDestroyWindow(PWnd w)
{
    State& s = st();
    if (!find(w))
        return -1;
    // Children first, as the window system does.
    std::vector<PWnd> children;
    for (PWnd o : s.order)
        if (find(o) && find(o)->parent == w)
            children.push_back(o);
    for (PWnd c : children)
        hDestroyWindow(c);
    callProc(w, PM_DESTROY, 0, 0);
    s.windows.erase(w);
    s.order.erase(std::remove(s.order.begin(), s.order.end(), w), s.order.end());
    s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(), [w](const Msg& m) { return m.wnd == w; }), s.queue.end());
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [w](const Timer& t) { return t.wnd == w; }), s.timers.end());
    for (auto it = s.sockets.begin(); it != s.sockets.end();)
        it = it->second.wnd == w ? s.sockets.erase(it) : std::next(it);
    if (s.focus == w)
        s.focus = 0;
    if (s.mdiActive == w) {
        s.mdiActive = 0;
        for (auto it = s.order.rbegin(); it != s.order.rend(); ++it)
            if (find(*it)->kind == PWndKind::MdiChild) {
                s.mdiActive = *it;
                break;
            }
    }
    if (s.caret.wnd == w)
        s.caret = HeadlessCaret{};
    return 0;
}

bool hIsWindow(PWnd w) { return find(w) != nullptr; }
PWnd hParent(PWnd w) { return find(w) ? find(w)->parent : 0; }
void hSetUserWord(PWnd w, intptr_t v)
{
    if (Window* win = find(w))
        win->userWord = v;
}
intptr_t hUserWord(PWnd w) { return find(w) ? find(w)->userWord : 0; }
void hSetTitle(PWnd w, const char* t)
{
    if (Window* win = find(w))
        win->title = t ? t : "";
}
int hTitle(PWnd w, char* out, int size)
{
    Window* win = find(w);
    if (!win || size <= 0)
        return 0;
    int n = (int)std::min<size_t>(win->title.size(), (size_t)size - 1);
    memcpy(out, win->title.data(), (size_t)n);
    out[n] = 0;
    return n;
}

void hShow(PWnd w, int32_t how)
{
    Window* win = find(w);
    if (!win)
        return;
    State& s = st();
    switch (how) {
    case PSW_HIDE:
        win->visible = false;
        return;
    case PSW_SHOW:
        win->visible = true;
        return;
    case PSW_MINIMIZE:
        win->minimized = true;
        break;
    case PSW_MAXIMIZE:
        win->minimized = false;
        win->maximized = true;
        win->clientW = s.frameW;
        win->clientH = s.frameH;
        break;
    case PSW_RESTORE:
        win->minimized = false;
        win->maximized = false;
        win->clientW = std::max(0, win->rect.right - win->rect.left);
        win->clientH = std::max(0, win->rect.bottom - win->rect.top);
        break;
    default:
        return;
    }
    win->visible = true;
    sendSize(w);
}

PRect hClientRect(PWnd w)
{
    Window* win = find(w);
    if (!win || win->minimized)
        return PRect{0, 0, 0, 0};
    return PRect{0, 0, win->clientW, win->clientH};
}
PRect hWindowRect(PWnd w) { return find(w) ? find(w)->rect : PRect{0, 0, 0, 0}; }
void hMove(PWnd w, PRect r)
{
    Window* win = find(w);
    if (!win)
        return;
    win->rect = r;
    if (!win->maximized && !win->minimized) {
        win->clientW = std::max(0, r.right - r.left);
        win->clientH = std::max(0, r.bottom - r.top);
        sendSize(w);
    }
}
bool hIsMinimized(PWnd w) { return find(w) && find(w)->minimized; }
bool hIsMaximized(PWnd w) { return find(w) && find(w)->maximized; }
void hInvalidate(PWnd w, const PRect*, bool)
{
    if (Window* win = find(w))
        win->dirty = true;
}
void hScroll(PWnd, int, int, const PRect*) {}
void hUpdate(PWnd w)
{
    Window* win = find(w);
    if (win && win->dirty) {
        win->dirty = false;
        callProc(w, PM_PAINT, 0, 0);
    }
}
PWnd hFocus() { return st().focus; }
void hSetFocus(PWnd w)
{
    State& s = st();
    if (s.focus == w)
        return;
    PWnd old = s.focus;
    s.focus = w;
    if (old && find(old))
        callProc(old, PM_KILLFOCUS, (PWParam)w, 0);
    if (w && find(w))
        callProc(w, PM_SETFOCUS, (PWParam)old, 0);
}
void hMdiActivate(PWnd child)
{
    State& s = st();
    if (!find(child))
        return;
    PWnd old = s.mdiActive;
    s.mdiActive = child;
    if (old != child) {
        if (old && find(old))
            callProc(old, PM_MDIACTIVATE, (PWParam)old, (PLParam)child);
        callProc(child, PM_MDIACTIVATE, (PWParam)old, (PLParam)child);
    }
    hSetFocus(child);
}
PWnd hMdiActive() { return st().mdiActive; }
void hMdiArrange(int32_t how)
{
    State& s = st();
    std::vector<PWnd> kids;
    for (PWnd w : s.order)
        if (find(w)->kind == PWndKind::MdiChild && !find(w)->minimized)
            kids.push_back(w);
    if (kids.empty() || how == PMDI_ICONS)
        return;
    int n = (int)kids.size();
    for (int i = 0; i < n; ++i) {
        Window* win = find(kids[i]);
        win->maximized = false;
        PRect r = how == PMDI_TILE ? PRect{s.frameW * i / n, 0, s.frameW * (i + 1) / n, s.frameH}
                                   : PRect{24 * i, 24 * i, 24 * i + s.frameW * 3 / 4, 24 * i + s.frameH * 3 / 4};
        hMove(kids[i], r);
    }
}

// ---- messages ----

bool hPost(PWnd w, uint32_t msg, PWParam wp, PLParam lp)
{
    if (!find(w))
        return false;
    st().queue.push_back(Msg{w, msg, wp, lp, -1, 0});
    return true;
}

PResult hSend(PWnd w, uint32_t msg, PWParam wp, PLParam lp) { return callProc(w, msg, wp, lp); }

void fireTimers()
{
    State& s = st();
    uint32_t now = platTickCount();
    for (Timer& t : s.timers) {
        if (!t.queued && (int32_t)(now - t.due) >= 0) {
            t.queued = true;
            s.queue.push_back(Msg{t.wnd, PM_TIMER, t.id, 0, -1, 0});
            t.due = now + t.interval;
        }
    }
}

// Milliseconds until the next timer is due (-1: none).
int nextTimerMs()
{
    State& s = st();
    uint32_t now = platTickCount();
    int best = -1;
    for (const Timer& t : s.timers) {
        if (t.queued)
            continue;
        int32_t left = (int32_t)(t.due - now);
        int ms = left < 0 ? 0 : left;
        if (best < 0 || ms < best)
            best = ms;
    }
    return best;
}

void postSocket(int fd, Socket& so, uint32_t event, int error)
{
    so.outstanding |= event;
    st().queue.push_back(Msg{so.wnd, so.msg, (PWParam)fd, platSelectLParam(event, error), fd, event});
}

// Polls the registered sockets for at most timeoutMs and posts what they
// report. Returns the number of events posted.
int pollSockets(int timeoutMs)
{
    State& s = st();
    std::vector<pollfd> fds;
    for (auto& [fd, so] : s.sockets) {
        short want = 0;
        if (so.connecting)
            want |= POLLOUT;
        else {
            if (so.listening) {
                if ((so.events & FD_ACCEPT) && !(so.outstanding & FD_ACCEPT))
                    want |= POLLIN;
            } else {
                if (!so.closePosted && !(so.outstanding & (FD_READ | FD_CLOSE)))
                    want |= POLLIN;
                if ((so.events & FD_OOB) && !(so.outstanding & FD_OOB))
                    want |= POLLPRI;
                if (so.writeArmed)
                    want |= POLLOUT;
            }
        }
        if (want)
            fds.push_back(pollfd{fd, want, 0});
    }
    if (fds.empty()) {
        if (timeoutMs > 0)
            usleep((useconds_t)timeoutMs * 1000);
        return 0;
    }
    int n = poll(fds.data(), fds.size(), timeoutMs);
    if (n <= 0)
        return 0;
    int posted = 0;
    for (const pollfd& p : fds) {
        if (!p.revents)
            continue;
        auto it = s.sockets.find(p.fd);
        if (it == s.sockets.end())
            continue;
        Socket& so = it->second;
        if (p.revents & POLLNVAL) {
            s.sockets.erase(it);    // closed behind our back
            continue;
        }
        if (so.connecting) {
            int err = 0;
            socklen_t len = sizeof err;
            getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &err, &len);
            so.connecting = false;
            if (so.events & FD_CONNECT) {
                postSocket(p.fd, so, FD_CONNECT, err ? platWsaFromErrno(err) : 0);
                ++posted;
            }
            if (!err && (so.events & FD_WRITE)) {
                postSocket(p.fd, so, FD_WRITE, 0);
                ++posted;
            }
            continue;
        }
        if (so.listening) {
            if (p.revents & POLLIN) {
                postSocket(p.fd, so, FD_ACCEPT, 0);
                ++posted;
            }
            continue;
        }
        if ((p.revents & POLLPRI) && (so.events & FD_OOB)) {
            postSocket(p.fd, so, FD_OOB, 0);
            ++posted;
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char c;
            ssize_t got = recv(p.fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (got > 0) {
                if (so.events & FD_READ) {
                    postSocket(p.fd, so, FD_READ, 0);
                    ++posted;
                }
            } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                int err = got == 0 ? 0 : platWsaFromErrno(errno);
                so.closePosted = true;
                if (so.events & FD_CLOSE) {
                    postSocket(p.fd, so, FD_CLOSE, err);
                    ++posted;
                }
            }
        }
        if ((p.revents & POLLOUT) && so.writeArmed) {
            so.writeArmed = false;
            if (so.events & FD_WRITE) {
                postSocket(p.fd, so, FD_WRITE, 0);
                ++posted;
            }
        }
    }
    return posted;
}

void dispatch(const Msg& m)
{
    State& s = st();
    if (m.msg == PM_TIMER)
        for (Timer& t : s.timers)
            if (t.wnd == m.wnd && t.id == m.wp)
                t.queued = false;
    if (m.msg == PM_PAINT) {
        if (Window* win = find(m.wnd))
            win->dirty = false;
    }
    PMsgFilter filter = platMessageFilter();
    if (!(filter && filter(m.wnd, m.msg, m.wp, m.lp)))
        callProc(m.wnd, m.msg, m.wp, m.lp);
    if (m.sockFd >= 0) {
        auto it = s.sockets.find(m.sockFd);
        if (it != s.sockets.end())
            it->second.outstanding &= ~m.sockEvent;
    }
}

// Paints windows whose contents were invalidated, as the window system does
// when the queue runs dry.
int paintDirty()
{
    int n = 0;
    for (PWnd w : std::vector<PWnd>(st().order)) {
        Window* win = find(w);
        if (win && win->dirty && !win->minimized) {
            win->dirty = false;
            callProc(w, PM_PAINT, 0, 0);
            ++n;
        }
    }
    return n;
}

int hPump(int timeoutMs)
{
    State& s = st();
    if (s.quitting)
        return -1;
    fireTimers();
    pollSockets(0);
    if (s.queue.empty() && timeoutMs != 0) {
        // Nothing waits: sleep in poll() until a socket reports, the next
        // timer is due or the caller's time is up.
        int wait = nextTimerMs();
        if (timeoutMs > 0 && (wait < 0 || timeoutMs < wait))
            wait = timeoutMs;
        if (wait < 0)
            wait = 1000;    // nothing can arrive but through a socket; look again
        pollSockets(wait);
        fireTimers();
    }
    // Dispatch what waits now; messages posted meanwhile wait for the next pass.
    size_t count = s.queue.size();
    int done = 0;
    for (size_t i = 0; i < count && !s.queue.empty() && !s.quitting; ++i) {
        Msg m = s.queue.front();
        s.queue.pop_front();
        dispatch(m);
        ++done;
    }
    if (s.queue.empty() && !s.quitting)
        done += paintDirty();
    return s.quitting ? -1 : done;
}

void hQuit(int code)
{
    st().quitting = true;
    st().quitCode = code;
}
bool hQuitting() { return st().quitting; }
int hQuitCode() { return st().quitCode; }

// ---- timers ----

uintptr_t hSetTimer(PWnd w, uintptr_t id, uint32_t ms)
{
    State& s = st();
    if (!find(w) || id == 0)
        return 0;
    for (Timer& t : s.timers)
        if (t.wnd == w && t.id == id) {
            t.interval = ms;
            t.due = platTickCount() + ms;
            return id;
        }
    s.timers.push_back(Timer{w, id, ms, platTickCount() + ms, false});
    return id;
}

bool hKillTimer(PWnd w, uintptr_t id)
{
    State& s = st();
    auto it = std::find_if(s.timers.begin(), s.timers.end(), [&](const Timer& t) { return t.wnd == w && t.id == id; });
    if (it == s.timers.end())
        return false;
    s.timers.erase(it);
    s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(),
                                 [&](const Msg& m) { return m.wnd == w && m.msg == PM_TIMER && m.wp == id; }),
                  s.queue.end());
    return true;
}

// ---- sockets ----

int hAsyncSelect(int fd, PWnd w, uint32_t msg, uint32_t events)
{
    State& s = st();
    if (fd < 0)
        return -1;
    if (events == 0 || !w) {
        s.sockets.erase(fd);
        return 0;
    }
    if (!find(w))
        return -1;
    Socket so{};
    so.wnd = w;
    so.msg = msg;
    so.events = events;
    int acc = 0;
    socklen_t len = sizeof acc;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &acc, &len) < 0)
        return -1;
    so.listening = acc != 0;
    if (!so.listening) {
        sockaddr_storage peer{};
        socklen_t plen = sizeof peer;
        bool connected = getpeername(fd, (sockaddr*)&peer, &plen) == 0;
        so.connecting = !connected && (events & FD_CONNECT);
        so.writeArmed = connected && (events & FD_WRITE);
        if (connected && (events & FD_CONNECT)) {
            // The connect finished before the socket was registered.
            Socket& reg = s.sockets[fd] = so;
            reg.writeArmed = false;
            postSocket(fd, reg, FD_CONNECT, 0);
            if (events & FD_WRITE)
                postSocket(fd, reg, FD_WRITE, 0);
            return 0;
        }
    }
    s.sockets[fd] = so;
    return 0;
}

void hSocketWouldBlock(int fd)
{
    auto it = st().sockets.find(fd);
    if (it != st().sockets.end())
        it->second.writeArmed = true;
}

// ---- boxes and sound ----

int32_t defaultAnswer(const HeadlessBox& b)
{
    switch (b.flags & 0x0F) {
    case PMB_OK:
        return PID_OK;
    case PMB_YESNO:
    case PMB_YESNOCANCEL:
        return PID_YES;
    case PMB_OKCANCEL:
        return PID_OK;
    default:
        return PID_CANCEL;
    }
}

int32_t hMessageBox(PWnd owner, const char* text, const char* caption, uint32_t flags)
{
    State& s = st();
    HeadlessBox box{owner, text ? text : "", caption ? caption : "", flags, 0};
    box.answer = s.policy ? s.policy(box) : defaultAnswer(box);
    if (s.echoBoxes)
        fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
    s.boxes.push_back(box);
    return box.answer;
}

void hBeep(int32_t sound) { st().sounds.push_back(sound); }

// ---- drawing ----

PDC hGetDC(PWnd w)
{
    if (!find(w))
        return 0;
    st().dcs[w] = DcState{};
    return w;
}
void hReleaseDC(PWnd, PDC dc) { st().dcs.erase(dc); }
PFont hCreateFont(const char*, int32_t size, uint32_t)
{
    State& s = st();
    PFont f = s.nextFont++;
    s.fonts[f] = size;
    return f;
}
void hDeleteFont(PFont f) { st().fonts.erase(f); }
PFontMetrics hFontMetrics(PFont f)
{
    auto it = st().fonts.find(f);
    int32_t size = it == st().fonts.end() ? 10 : it->second;
    int32_t w = std::max(1, size * 6 / 10), h = std::max(1, size + size / 6);
    return PFontMetrics{w, h, std::max(1, size * 8 / 10), size / 6};
}
HeadlessDraw rec(HeadlessDraw::Kind k, PDC dc)
{
    HeadlessDraw d{};
    d.kind = k;
    d.wnd = dc;
    return d;
}
void hSelectFont(PDC dc, PFont f)
{
    st().dcs[dc].font = f;
    HeadlessDraw d = rec(HeadlessDraw::Font, dc);
    d.font = f;
    st().drawing.push_back(d);
}
void hSetTextColor(PDC dc, PRgb c) { st().dcs[dc].text = c; }
void hSetBkColor(PDC dc, PRgb c) { st().dcs[dc].bk = c; }
void hTextOut(PDC dc, int32_t x, int32_t y, const uint8_t* b, int32_t n)
{
    HeadlessDraw d = rec(HeadlessDraw::Text, dc);
    d.x = x;
    d.y = y;
    d.text.assign((const char*)b, (size_t)std::max(0, n));
    const DcState& ds = st().dcs[dc];
    d.color = ds.text;
    d.bk = ds.bk;
    d.font = ds.font;
    st().drawing.push_back(d);
}
void hFillRect(PDC dc, PRect r, PRgb c)
{
    HeadlessDraw d = rec(HeadlessDraw::Fill, dc);
    d.x = r.left;
    d.y = r.top;
    d.x2 = r.right;
    d.y2 = r.bottom;
    d.color = c;
    st().drawing.push_back(d);
}
PPen hCreatePen(int32_t style, int32_t width, PRgb c)
{
    PPen p = st().nextPen++;
    st().pens[p] = Pen{style, width, c};
    return p;
}
void hDeletePen(PPen p) { st().pens.erase(p); }
void hPolyline(PDC dc, PPen pen, const PPoint* pts, int32_t n)
{
    HeadlessDraw d = rec(HeadlessDraw::Line, dc);
    d.points.assign(pts, pts + std::max(0, n));
    auto it = st().pens.find(pen);
    if (it != st().pens.end()) {
        d.color = it->second.color;
        d.penStyle = it->second.style;
        d.penWidth = it->second.width;
    }
    st().drawing.push_back(d);
}
PRgb hNearestColor(PDC, PRgb c) { return c; }

// ---- caret ----

bool hCreateCaret(PWnd w, int32_t width, int32_t height)
{
    st().caret = HeadlessCaret{w, width, height, 0, 0, false};
    return find(w) != nullptr;
}
void hDestroyCaret() { st().caret = HeadlessCaret{}; }
void hSetCaretPos(int32_t x, int32_t y)
{
    st().caret.x = x;
    st().caret.y = y;
}
void hShowCaret(PWnd w)
{
    if (st().caret.wnd == w)
        st().caret.visible = true;
}
void hHideCaret(PWnd w)
{
    if (st().caret.wnd == w)
        st().caret.visible = false;
}

} // namespace

extern const PlatBackend headlessBackend = {
    "headless",
    hCreateWindow, hDestroyWindow, hIsWindow, hParent, hSetUserWord, hUserWord, hSetTitle, hTitle, hShow,
    hClientRect, hWindowRect, hMove, hIsMinimized, hIsMaximized, hInvalidate, hScroll, hUpdate, hFocus,
    hSetFocus, hMdiActivate, hMdiActive, hMdiArrange,
    hPost, hSend, hPump, hQuit, hQuitting, hQuitCode,
    hSetTimer, hKillTimer,
    hAsyncSelect, hSocketWouldBlock,
    hMessageBox, hBeep,
    hGetDC, hReleaseDC, hCreateFont, hDeleteFont, hFontMetrics, hSelectFont, hSetTextColor, hSetBkColor,
    hTextOut, hFillRect, hCreatePen, hDeletePen, hPolyline, hNearestColor,
    hCreateCaret, hDestroyCaret, hSetCaretPos, hShowCaret, hHideCaret,
};

void headlessReset()
{
    st() = State{};
    g_platClockOffset = 0;
    platUse(&headlessBackend);
    platSetMessageFilter(nullptr);
}

void headlessSetBoxPolicy(HeadlessBoxPolicy policy) { st().policy = std::move(policy); }
const std::vector<HeadlessBox>& headlessBoxes() { return st().boxes; }
void headlessClearBoxes() { st().boxes.clear(); }
void headlessEchoBoxes(bool on) { st().echoBoxes = on; }
const std::vector<HeadlessDraw>& headlessDrawing() { return st().drawing; }
void headlessClearDrawing() { st().drawing.clear(); }

void headlessSetFrameClient(int32_t width, int32_t height)
{
    State& s = st();
    s.frameW = width;
    s.frameH = height;
    for (auto& [w, win] : s.windows)
        if (win.kind == PWndKind::Frame || win.kind == PWndKind::MdiClient) {
            win.clientW = width;
            win.clientH = height;
        }
}

void headlessResizeClient(PWnd w, int32_t width, int32_t height)
{
    Window* win = find(w);
    if (!win)
        return;
    win->clientW = width;
    win->clientH = height;
    if (!win->maximized)
        win->rect = PRect{win->rect.left, win->rect.top, win->rect.left + width, win->rect.top + height};
    sendSize(w);
}

HeadlessCaret headlessCaret() { return st().caret; }
void headlessAdvanceClock(uint32_t ms) { g_platClockOffset += ms; }
std::vector<PWnd> headlessWindows() { return st().order; }
const std::vector<int32_t>& headlessSounds() { return st().sounds; }
