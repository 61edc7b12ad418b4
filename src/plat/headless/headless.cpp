// Headless back end: in-memory windows, a FIFO message queue, window timers
// on the tick clock and socket readiness from poll(). It keeps the contract
// of plat.h so the logic behaves as it does on the desktop.
#include "plat/headless/headless.h"

#include "plat/evcore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
    EvCore ev;
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
    std::map<int32_t, int32_t> keys;
    std::vector<PMenuItem> menu;
    std::vector<std::string> menuTexts;
    HeadlessPopupPolicy popupPolicy;
    std::vector<HeadlessPopup> popups;
    HeadlessDialogPolicy dialogPolicy;
    std::vector<HeadlessDialog> dialogs;
    std::string fileAnswer;
    bool colorChosen = false;
    PRgb colorAnswer = 0;
    std::string clipboard;
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
    evForgetWindow(s.ev, w);
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
    evPost(st().ev, w, msg, wp, lp);
    return true;
}

PResult hSend(PWnd w, uint32_t msg, PWParam wp, PLParam lp) { return callProc(w, msg, wp, lp); }

// Polls the registered sockets for at most timeoutMs and posts what they
// report.
void pollSockets(int timeoutMs)
{
    EvCore& ev = st().ev;
    std::vector<pollfd> fds;
    for (auto& [fd, so] : ev.sockets)
        if (short want = evWanted(fd, so))
            fds.push_back(pollfd{fd, want, 0});
    if (fds.empty()) {
        if (timeoutMs > 0)
            usleep((useconds_t)timeoutMs * 1000);
        return;
    }
    if (poll(fds.data(), fds.size(), timeoutMs) <= 0)
        return;
    for (const pollfd& p : fds)
        evReady(ev, p.fd, p.revents);
}

void deliver(const EvMsg& m)
{
    if (m.msg == PM_PAINT) {
        if (Window* win = find(m.wnd))
            win->dirty = false;
    }
    PMsgFilter filter = platMessageFilter();
    if (!(filter && filter(m.wnd, m.msg, m.wp, m.lp)))
        callProc(m.wnd, m.msg, m.wp, m.lp);
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
    EvCore& ev = st().ev;
    if (ev.quitting)
        return -1;
    evFireTimers(ev);
    pollSockets(0);
    if (ev.queue.empty() && timeoutMs != 0) {
        // Nothing waits: sleep in poll() until a socket reports, the next
        // timer is due or the caller's time is up.
        int wait = evNextTimerMs(ev);
        if (timeoutMs > 0 && (wait < 0 || timeoutMs < wait))
            wait = timeoutMs;
        if (wait < 0)
            wait = 1000;    // only a socket can bring work; look again then
        pollSockets(wait);
        evFireTimers(ev);
    }
    int done = evDispatch(ev, deliver);
    if (ev.queue.empty() && !ev.quitting)
        done += paintDirty();
    return ev.quitting ? -1 : done;
}

void hQuit(int code)
{
    st().ev.quitting = true;
    st().ev.quitCode = code;
}
bool hQuitting() { return st().ev.quitting; }
int hQuitCode() { return st().ev.quitCode; }

// ---- timers and sockets ----

uintptr_t hSetTimer(PWnd w, uintptr_t id, uint32_t ms) { return find(w) ? evSetTimer(st().ev, w, id, ms) : 0; }
bool hKillTimer(PWnd w, uintptr_t id) { return evKillTimer(st().ev, w, id); }
int hAsyncSelect(int fd, PWnd w, uint32_t msg, uint32_t events)
{
    if (events && w && !find(w))
        return -1;
    return evAsyncSelect(st().ev, fd, w, msg, events);
}
void hSocketWouldBlock(int fd) { evWouldBlock(st().ev, fd); }

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

// ---- menus, dialogs, clipboard ----

void hSetMenu(PWnd, const PMenuItem* items, int32_t count)
{
    State& s = st();
    s.menu.assign(items, items + std::max(0, count));
    s.menuTexts.clear();
    for (const PMenuItem& m : s.menu)
        s.menuTexts.push_back(m.text ? m.text : "");
    for (size_t i = 0; i < s.menu.size(); ++i)
        if (s.menu[i].text)
            s.menu[i].text = s.menuTexts[i].c_str();
}
void hMenuState(PWnd, int32_t id, uint32_t flags)
{
    for (PMenuItem& m : st().menu)
        if (m.id == id && m.depth > 0)
            m.flags = (m.flags & ~(PMF_GRAYED | PMF_CHECKED)) | (flags & (PMF_GRAYED | PMF_CHECKED));
}
int hPopupMenu(PWnd owner, const PMenuItem* items, int32_t count, PPoint at)
{
    State& s = st();
    if (!find(owner) || !items || count <= 0)
        return -1;
    HeadlessPopup p{owner, at, {}, 0};
    for (int i = 0; i < count; ++i)
        p.items.push_back(HeadlessPopupItem{items[i].id, items[i].text ? items[i].text : "", items[i].flags, !items[i].text});
    int32_t want = s.popupPolicy ? s.popupPolicy(p) : 0;
    for (const HeadlessPopupItem& it : p.items)
        if (want && !it.separator && it.id == want && !(it.flags & PMF_GRAYED))
            p.chosen = want;
    s.popups.push_back(p);
    if (p.chosen) {
        callProc(owner, PM_MENUSELECT, (PWParam)p.chosen, 0);
        hPost(owner, PM_COMMAND, (PWParam)p.chosen, 0);
    }
    callProc(owner, PM_EXITMENULOOP, 0, 0);
    return 0;
}
int32_t hDialog(PWnd, PDlgForm* dialog)
{
    State& s = st();
    int32_t result = s.dialogPolicy ? s.dialogPolicy(*dialog) : PID_CANCEL;
    s.dialogs.push_back(HeadlessDialog{dialog->id, dialog->title ? dialog->title : "", result});
    return result;
}
int hFileDialog(PWnd, uint32_t, const char*, const char*, char* path, int size)
{
    const std::string& a = st().fileAnswer;
    if (a.empty() || size <= 0)
        return 0;
    int n = (int)std::min<size_t>(a.size(), (size_t)size - 1);
    memcpy(path, a.data(), (size_t)n);
    path[n] = 0;
    return n;
}
bool hChooseColor(PWnd, PRgb* color)
{
    if (!st().colorChosen)
        return false;
    *color = st().colorAnswer;
    return true;
}
int hClipboardGet(char* out, int size)
{
    const std::string& c = st().clipboard;
    if (size <= 0)
        return 0;
    int n = (int)std::min<size_t>(c.size(), (size_t)size - 1);
    memcpy(out, c.data(), (size_t)n);
    out[n] = 0;
    return n;
}
bool hClipboardSet(const char* text, int length)
{
    st().clipboard.assign(text ? text : "", text ? (size_t)std::max(0, length) : 0);
    return true;
}

int32_t hKeyState(int32_t vk)
{
    auto it = st().keys.find(vk);
    return it == st().keys.end() ? 0 : it->second;
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
    hSetMenu, hMenuState, hPopupMenu, hDialog, hFileDialog, hChooseColor,
    hClipboardGet, hClipboardSet,
    hKeyState,
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
void headlessSetKeyState(int32_t vk, int32_t state) { st().keys[vk] = state; }

void headlessSetPopupPolicy(HeadlessPopupPolicy policy) { st().popupPolicy = std::move(policy); }
const std::vector<HeadlessPopup>& headlessPopups() { return st().popups; }
void headlessSetDialogPolicy(HeadlessDialogPolicy policy) { st().dialogPolicy = std::move(policy); }
const std::vector<HeadlessDialog>& headlessDialogs() { return st().dialogs; }
void headlessSetFileAnswer(const std::string& path) { st().fileAnswer = path; }
void headlessSetColorAnswer(bool chosen, PRgb color)
{
    st().colorChosen = chosen;
    st().colorAnswer = color;
}
std::vector<PMenuItem> headlessMenu() { return st().menu; }
std::string headlessClipboard() { return st().clipboard; }
