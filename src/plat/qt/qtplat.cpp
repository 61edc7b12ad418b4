// Qt 6 Widgets back end. Window messages, timers and socket readiness keep
// the semantics of the shared event core; Qt supplies the waiting (its event
// loop, socket notifiers, one timer) and the widgets. Posted messages are
// dispatched from whichever Qt event loop runs, so modal boxes and dialogs
// keep other sessions' work going, as nested waits must.
#include "plat/qt/qtplat.h"

#include "plat/evcore.h"
#include "plat/plat.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QGlyphRun>
#include <QRawFont>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <map>
#include <memory>
#include <poll.h>

namespace {

struct QWin {
    PWndKind kind;
    PWnd parent;
    PWndProc proc;
    intptr_t user = 0;
    QPointer<QWidget> widget;       // the client area
    QPointer<QMdiSubWindow> sub;    // MDI children: the sub-window around it
    QImage image;                   // backing image the logic draws into
    bool invalid = true;            // the logic must paint it (PM_PAINT) before it is shown
    bool sizePending = false;       // a PM_SIZE is on its way
    bool destroying = false;
};

struct Notifiers {
    std::unique_ptr<QSocketNotifier> read, write, except;
};

struct Dc {
    PWnd wnd;
    std::unique_ptr<QPainter> painter;
    PFont font = 0;
    PRgb text = 0, bk = 0xFFFFFF;
};

struct FontRec {
    QFont font;
    PFontMetrics metrics;
    QRawFont raw;                     // glyphs drawn without shaping
    std::array<quint32, 256> glyphs;  // glyph of each byte value, 0 = none
};

struct Caret {
    PWnd wnd = 0;
    int w = 0, h = 0, x = 0, y = 0;
    bool visible = false;
};

class Pump;

struct State {
    std::unique_ptr<QApplication> app;
    EvCore ev;
    std::map<PWnd, QWin> wins;
    std::map<QWidget*, PWnd> byWidget;
    PWnd next = 1;
    QPointer<QMainWindow> frame;
    QPointer<QMdiArea> mdi;
    PWnd mdiActive = 0;
    std::map<int, Notifiers> notifiers;
    std::unique_ptr<QTimer> timer;
    Pump* pump = nullptr;
    bool wakePending = false;
    QEventLoop* waitLoop = nullptr;
    long dispatched = 0;
    std::map<PDC, Dc> dcs;
    PDC nextDc = 1;
    std::map<PFont, FontRec> fonts;
    PFont nextFont = 1;
    std::map<PPen, QPen> pens;
    PPen nextPen = 1;
    Caret caret;
    std::map<int32_t, bool> keysDown;
    int32_t claimedKey = 0;             // key down already run as an accelerator
    std::map<int32_t, QAction*> menuActions;
};

State* g = nullptr;

QWin* winOf(PWnd w)
{
    auto it = g->wins.find(w);
    return it == g->wins.end() ? nullptr : &it->second;
}

PWnd wndOf(QWidget* widget)
{
    for (QWidget* p = widget; p; p = p->parentWidget()) {
        auto it = g->byWidget.find(p);
        if (it != g->byWidget.end())
            return it->second;
    }
    return 0;
}

QColor qcolor(PRgb c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
PRgb rgbOf(QRgb c) { return platRgb(qRed(c), qGreen(c), qBlue(c)); }

// Windows-1252 for the bytes 0x80..0x9F; the rest is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
QChar fromCp1252(uint8_t b) { return b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b); }
int toCp1252(QChar c)
{
    char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u < 0x100))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == u)
            return 0x80 + i;
    return -1;
}

PResult callProc(PWnd w, uint32_t msg, PWParam wp, PLParam lp)
{
    QWin* win = winOf(w);
    if (!win || !win->proc)
        return 0;
    return win->proc(w, msg, wp, lp);
}

void noteActivity()
{
    ++g->dispatched;
    if (g->waitLoop)
        g->waitLoop->quit();
}

// Input from Qt goes through the message filter first, as dispatched
// messages do.
void deliverInput(PWnd w, uint32_t msg, PWParam wp, PLParam lp)
{
    PMsgFilter filter = platMessageFilter();
    if (!(filter && filter(w, msg, wp, lp)))
        callProc(w, msg, wp, lp);
    noteActivity();
}

void wake();
void syncSockets();

void rearmTimer()
{
    int ms = evNextTimerMs(g->ev);
    if (ms < 0)
        g->timer->stop();
    else
        g->timer->start(ms);
}

class Pump : public QObject {
public:
    void customEvent(QEvent*) override
    {
        g->wakePending = false;
        evFireTimers(g->ev);
        int n = evDispatch(g->ev, [](const EvMsg& m) {
            PMsgFilter filter = platMessageFilter();
            if (!(filter && filter(m.wnd, m.msg, m.wp, m.lp)))
                callProc(m.wnd, m.msg, m.wp, m.lp);
        });
        g->dispatched += n;
        if (!g || !g->timer)
            return;
        syncSockets();
        rearmTimer();
        if (!g->ev.queue.empty())
            wake();
        if (n && g->waitLoop)
            g->waitLoop->quit();
    }
};

void wake()
{
    if (!g->wakePending && g->pump) {
        g->wakePending = true;
        QCoreApplication::postEvent(g->pump, new QEvent(QEvent::User));
    }
}

void syncSockets()
{
    // Notifiers follow what each registered socket waits for now.
    for (auto it = g->notifiers.begin(); it != g->notifiers.end();) {
        if (!g->ev.sockets.count(it->first))
            it = g->notifiers.erase(it);
        else
            ++it;
    }
    for (auto& entry : g->ev.sockets) {
        const int fd = entry.first;   // a plain variable: lambdas below capture it
        EvSocket& so = entry.second;
        Notifiers& n = g->notifiers[fd];
        auto make = [fd](QSocketNotifier::Type type, short revents) {
            auto sn = std::make_unique<QSocketNotifier>(fd, type);
            QObject::connect(sn.get(), &QSocketNotifier::activated, [fd, revents] {
                evReady(g->ev, fd, revents);
                syncSockets();
                wake();
            });
            return sn;
        };
        if (!n.read) {
            n.read = make(QSocketNotifier::Read, POLLIN);
            n.write = make(QSocketNotifier::Write, POLLOUT);
            n.except = make(QSocketNotifier::Exception, POLLPRI);
        }
        short want = evWanted(fd, so);
        n.read->setEnabled(want & POLLIN);
        n.write->setEnabled(want & POLLOUT);
        n.except->setEnabled(want & POLLPRI);
    }
}

// ---- keys ----

struct KeyMap {
    int qt;
    int32_t vk;
    bool extended;
};
constexpr KeyMap kKeys[] = {
    {Qt::Key_Backspace, PVK_BACK, false}, {Qt::Key_Tab, PVK_TAB, false}, {Qt::Key_Backtab, PVK_TAB, false},
    {Qt::Key_Return, PVK_RETURN, false}, {Qt::Key_Enter, PVK_RETURN, true}, {Qt::Key_Escape, PVK_ESCAPE, false},
    {Qt::Key_Space, PVK_SPACE, false}, {Qt::Key_PageUp, PVK_PRIOR, true}, {Qt::Key_PageDown, PVK_NEXT, true},
    {Qt::Key_End, PVK_END, true}, {Qt::Key_Home, PVK_HOME, true}, {Qt::Key_Left, PVK_LEFT, true},
    {Qt::Key_Up, PVK_UP, true}, {Qt::Key_Right, PVK_RIGHT, true}, {Qt::Key_Down, PVK_DOWN, true},
    {Qt::Key_Insert, PVK_INSERT, true}, {Qt::Key_Delete, PVK_DELETE, true}, {Qt::Key_Pause, PVK_PAUSE, false},
    {Qt::Key_Shift, PVK_SHIFT, false}, {Qt::Key_Control, PVK_CONTROL, false}, {Qt::Key_Alt, PVK_MENU, false},
    {Qt::Key_CapsLock, PVK_CAPITAL, false}, {Qt::Key_NumLock, PVK_NUMLOCK, true}, {Qt::Key_ScrollLock, PVK_SCROLL, false},
    {Qt::Key_Clear, PVK_CLEAR, false}, {Qt::Key_Plus, PVK_OEM_PLUS, false}, {Qt::Key_Equal, PVK_OEM_PLUS, false},
    {Qt::Key_Minus, PVK_OEM_MINUS, false}, {Qt::Key_BracketRight, PVK_OEM_6, false},
};
constexpr KeyMap kKeypad[] = {
    {Qt::Key_Asterisk, PVK_MULTIPLY, false}, {Qt::Key_Plus, PVK_ADD, false}, {Qt::Key_Minus, PVK_SUBTRACT, false},
    {Qt::Key_Period, PVK_DECIMAL, false}, {Qt::Key_Comma, PVK_DECIMAL, false}, {Qt::Key_Slash, PVK_DIVIDE, true},
    {Qt::Key_Enter, PVK_RETURN, true},
};

bool virtualKey(const QKeyEvent* e, int32_t* vk, bool* extended)
{
    int k = e->key();
    *extended = false;
    if (e->modifiers() & Qt::KeypadModifier) {
        if (k >= Qt::Key_0 && k <= Qt::Key_9) {
            *vk = PVK_NUMPAD0 + (k - Qt::Key_0);
            return true;
        }
        for (const KeyMap& m : kKeypad)
            if (m.qt == k) {
                *vk = m.vk;
                *extended = m.extended;
                return true;
            }
    }
    if (k >= Qt::Key_A && k <= Qt::Key_Z) {
        *vk = PVK_A + (k - Qt::Key_A);
        return true;
    }
    if (k >= Qt::Key_0 && k <= Qt::Key_9) {
        *vk = PVK_0 + (k - Qt::Key_0);
        return true;
    }
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) {
        *vk = PVK_F1 + (k - Qt::Key_F1);
        return true;
    }
    for (const KeyMap& m : kKeys)
        if (m.qt == k) {
            *vk = m.vk;
            *extended = m.extended;
            return true;
        }
    return false;
}

// ---- key delivery ----

// The key-down message of a Qt key event; false for keys without a code.
bool keyMessage(const QKeyEvent* e, bool down, uint32_t* msg, int32_t* vk, PLParam* lp)
{
    bool extended = false;
    if (!virtualKey(e, vk, &extended))
        return false;
    bool sys = (e->modifiers() & Qt::AltModifier) || *vk == PVK_F10 || *vk == PVK_MENU;
    *msg = down ? (sys ? PM_SYSKEYDOWN : PM_KEYDOWN) : (sys ? PM_SYSKEYUP : PM_KEYUP);
    *lp = 1 | (extended ? PKEY_EXTENDED : 0);
    return true;
}

// The program's accelerators come before Qt's shortcuts, the menu bar's
// Alt+letter mnemonics among them: Alt+O opens a session, not the Options
// menu. Qt asks the focus widget first with a shortcut-override event; the
// message filter, which runs the accelerators, answers it. The key press
// that follows then carries only the character, which the filter swallows.
bool claimShortcut(PWnd w, QKeyEvent* e)
{
    uint32_t msg = 0;
    int32_t vk = 0;
    PLParam lp = 0;
    g->claimedKey = 0;
    PMsgFilter filter = platMessageFilter();
    if (!filter || !keyMessage(e, true, &msg, &vk, &lp))
        return false;
    g->keysDown[vk] = true;
    if (!filter(w, msg, (PWParam)vk, lp))
        return false;
    g->claimedKey = vk;
    noteActivity();
    return true;
}

// A Qt key event as Windows key messages: key down or up, then the
// character of a key press.
void deliverKey(PWnd w, QKeyEvent* e, bool down)
{
    uint32_t msg = 0;
    int32_t vk = 0;
    PLParam lp = 0;
    if (keyMessage(e, down, &msg, &vk, &lp)) {
        g->keysDown[vk] = down;
        if (!(down && g->claimedKey == vk))
            deliverInput(w, msg, (PWParam)vk, lp);
    }
    if (down)
        g->claimedKey = 0;
    if (!down || e->text().isEmpty())
        return;
    int ch = toCp1252(e->text().at(0));
    if (ch > 0)
        deliverInput(w, (e->modifiers() & Qt::AltModifier) ? PM_SYSCHAR : PM_CHAR, (PWParam)ch, 1);
}

// Keys that reach the frame or its MDI area rather than a session window
// go to the frame window, as the MDI client passes them on.
class FrameKeys : public QObject {
public:
    FrameKeys(PWnd w, QObject* owner) : QObject(owner), wnd(w) {}
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::ShortcutOverride:
            if (claimShortcut(wnd, static_cast<QKeyEvent*>(e)))
                e->accept();
            return false;
        case QEvent::KeyPress:
            deliverKey(wnd, static_cast<QKeyEvent*>(e), true);
            return true;
        case QEvent::KeyRelease:
            deliverKey(wnd, static_cast<QKeyEvent*>(e), false);
            return true;
        default:
            return false;
        }
    }
    PWnd wnd;
};

// ---- widgets ----

void resizeImage(QWin& win, QSize size)
{
    if (win.image.size() == size || size.isEmpty())
        return;
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    if (!win.image.isNull()) {
        QPainter p(&img);
        p.drawImage(0, 0, win.image);
    }
    win.image = img;
}

void sendSize(PWnd w)
{
    QWin* win = winOf(w);
    if (!win || !win->widget)
        return;
    PWParam how = PSIZE_RESTORED;
    QWidget* top = win->sub ? (QWidget*)win->sub : win->widget.data();
    if (top->isMinimized())
        how = PSIZE_MINIMIZED;
    else if (top->isMaximized())
        how = PSIZE_MAXIMIZED;
    QSize s = how == PSIZE_MINIMIZED ? QSize(0, 0) : win->widget->size();
    callProc(w, PM_SIZE, how, (PLParam)((uint32_t)(s.width() & 0xFFFF) | ((uint32_t)(s.height() & 0xFFFF) << 16)));
}

class View : public QWidget {
public:
    explicit View(QWidget* parent = nullptr) : QWidget(parent)
    {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(false);
    }
    PWnd wnd = 0;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QWin* win = winOf(wnd);
        if (!win)
            return;
        resizeImage(*win, size());
        // Drawing through a drawing context also asks Qt for a paint event,
        // to show the image; only an invalidated window is painted anew.
        if (win->invalid) {
            win->invalid = false;
            callProc(wnd, PM_PAINT, 0, 0);
        }
        QPainter p(this);
        p.drawImage(e->rect(), win->image, e->rect());
        const Caret& c = g->caret;
        if (c.wnd == wnd && c.visible && hasFocus()) {
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(QRect(c.x, c.y, c.w, c.h), Qt::white);
        }
    }
    void resizeEvent(QResizeEvent*) override
    {
        if (QWin* win = winOf(wnd)) {
            resizeImage(*win, size());
            win->invalid = true;
            // The MDI sub-window is told it was resized after its widget
            // is, and only then takes back its maximised state; the size
            // message waits until the state is settled.
            if (!win->sizePending) {
                win->sizePending = true;
                PWnd w = wnd;
                QMetaObject::invokeMethod(
                    this,
                    [w] {
                        if (QWin* now = winOf(w)) {
                            now->sizePending = false;
                            sendSize(w);
                        }
                    },
                    Qt::QueuedConnection);
            }
        }
    }
    void focusInEvent(QFocusEvent*) override { deliverInput(wnd, PM_SETFOCUS, 0, 0); }
    void focusOutEvent(QFocusEvent*) override { deliverInput(wnd, PM_KILLFOCUS, 0, 0); }
    bool focusNextPrevChild(bool) override { return false; }   // Tab belongs to the session
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::ShortcutOverride && claimShortcut(wnd, static_cast<QKeyEvent*>(e))) {
            e->accept();
            return true;
        }
        return QWidget::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override { deliverKey(wnd, e, true); }
    void keyReleaseEvent(QKeyEvent* e) override { deliverKey(wnd, e, false); }
    void mousePressEvent(QMouseEvent* e) override
    {
        mouse(e, e->button() == Qt::RightButton ? PM_RBUTTONDOWN : PM_LBUTTONDOWN);
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        mouse(e, e->button() == Qt::RightButton ? PM_RBUTTONUP : PM_LBUTTONUP);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        mouse(e, e->button() == Qt::RightButton ? PM_RBUTTONDBLCLK : PM_LBUTTONDBLCLK);
    }
    void mouseMoveEvent(QMouseEvent* e) override { mouse(e, PM_MOUSEMOVE); }

private:
    void mouse(QMouseEvent* e, uint32_t msg)
    {
        QPoint pt = e->position().toPoint();
        deliverInput(wnd, msg, 0, (PLParam)((uint32_t)(pt.x() & 0xFFFF) | ((uint32_t)(pt.y() & 0xFFFF) << 16)));
    }
};

// Closing a window asks the logic; it destroys the window when it agrees.
class CloseFilter : public QObject {
public:
    explicit CloseFilter(PWnd w) : wnd(w) {}
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::Close)
            return false;
        QWin* win = winOf(wnd);
        if (win && win->destroying)
            return false;
        e->ignore();
        deliverInput(wnd, PM_CLOSE, 0, 0);
        return true;
    }
    PWnd wnd;
};

// ---- windows ----

PWnd qbCreateWindow(const PWndCreate* c)
{
    PWnd w = g->next++;
    QWin win;
    win.kind = c->kind;
    win.parent = c->parent;
    win.proc = c->proc;
    QRect r(c->rect.left, c->rect.top, c->rect.right - c->rect.left, c->rect.bottom - c->rect.top);
    QWidget* top = nullptr;
    switch (c->kind) {
    case PWndKind::Frame: {
        auto* f = new QMainWindow;
        f->setWindowTitle(QString::fromLatin1(c->title ? c->title : ""));
        g->frame = f;
        f->installEventFilter(new FrameKeys(w, f));
        win.widget = f;
        top = f;
        break;
    }
    case PWndKind::MdiClient: {
        auto* a = new QMdiArea;
        if (g->frame)
            g->frame->setCentralWidget(a);
        g->mdi = a;
        a->installEventFilter(new FrameKeys(c->parent, a));
        QObject::connect(a, &QMdiArea::subWindowActivated, [](QMdiSubWindow* sub) {
            PWnd now = sub ? wndOf(sub->widget()) : 0;
            PWnd old = g->mdiActive;
            if (now == old)
                return;
            g->mdiActive = now;
            if (old && winOf(old))
                callProc(old, PM_MDIACTIVATE, (PWParam)old, (PLParam)now);
            if (now)
                callProc(now, PM_MDIACTIVATE, (PWParam)old, (PLParam)now);
        });
        win.widget = a;
        break;
    }
    case PWndKind::MdiChild: {
        if (!g->mdi)
            return 0;
        auto* v = new View;
        v->wnd = w;
        win.widget = v;
        win.sub = g->mdi->addSubWindow(v);
        win.sub->setWindowTitle(QString::fromLatin1(c->title ? c->title : ""));
        win.sub->setAttribute(Qt::WA_DeleteOnClose, false);
        win.sub->installEventFilter(new CloseFilter(w));
        if (!(c->flags & PWS_DEFAULTPOS) && !r.isEmpty())
            win.sub->setGeometry(r);
        else   // a normal size to come back to from maximised, as Windows gives one
            win.sub->resize(g->mdi->viewport()->size().expandedTo(QSize(640, 400)) * 3 / 4);
        top = win.sub;
        break;
    }
    case PWndKind::Dialog:
    case PWndKind::Popup: {
        auto* v = new View(g->frame);
        v->wnd = w;
        v->setWindowFlags(c->kind == PWndKind::Dialog ? Qt::Dialog : (Qt::Tool | Qt::FramelessWindowHint));
        v->setWindowTitle(QString::fromLatin1(c->title ? c->title : ""));
        win.widget = v;
        top = v;
        break;
    }
    }
    if (c->kind == PWndKind::Frame || c->kind == PWndKind::Dialog || c->kind == PWndKind::Popup) {
        if (!(c->flags & PWS_DEFAULTPOS) && !r.isEmpty())
            top->setGeometry(r);
        top->installEventFilter(new CloseFilter(w));
    }
    g->byWidget[win.widget] = w;
    g->wins[w] = win;
    if (callProc(w, PM_CREATE, 0, 0) < 0) {
        g->byWidget.erase(win.widget);
        g->wins.erase(w);
        delete (top ? top : win.widget.data());
        return 0;
    }
    if (top && (c->flags & (PWS_VISIBLE | PWS_MAXIMIZED | PWS_MINIMIZED))) {
        if (c->flags & PWS_MAXIMIZED)
            top->showMaximized();
        else if (c->flags & PWS_MINIMIZED)
            top->showMinimized();
        else
            top->show();
    }
    if (c->kind == PWndKind::MdiChild)
        g->mdiActive = w;
    return w;
}

// As in Windows MDI, when the active child goes the one active before it
// takes over, maximised when the closed one was.
void activateNextChild(QWidget* gone, bool maximize)
{
    QList<QMdiSubWindow*> order = g->mdi->subWindowList(QMdiArea::ActivationHistoryOrder);
    QMdiSubWindow* next = nullptr;
    for (qsizetype i = order.size() - 1; i >= 0 && !next; --i)
        if (order[i] != gone && wndOf(order[i]->widget()))
            next = order[i];
    if (!next)
        return;
    g->mdi->setActiveSubWindow(next);
    if (maximize && !next->isMaximized())
        next->showMaximized();
}

int qbDestroyWindow(PWnd w)
{
    QWin* win = winOf(w);
    if (!win || win->destroying)
        return -1;
    win->destroying = true;
    std::vector<PWnd> children;
    for (auto& [o, ow] : g->wins)
        if (ow.parent == w)
            children.push_back(o);
    for (PWnd c : children)
        qbDestroyWindow(c);
    callProc(w, PM_DESTROY, 0, 0);
    win = winOf(w);
    evForgetWindow(g->ev, w);
    syncSockets();
    if (g->caret.wnd == w)
        g->caret = Caret{};
    if (g->mdiActive == w)
        g->mdiActive = 0;
    QWidget* top = win->sub ? (QWidget*)win->sub.data() : win->widget.data();
    bool child = win->sub != nullptr;
    QWin* area = winOf(win->parent);
    bool wasActive = child && g->mdi && g->mdi->activeSubWindow() == win->sub && !(area && area->destroying);
    bool wasMaximized = child && win->sub->isMaximized();
    g->byWidget.erase(win->widget);
    g->wins.erase(w);
    if (top) {
        top->hide();
        top->deleteLater();
    }
    if (wasActive)
        activateNextChild(top, wasMaximized);
    return 0;
}

bool qbIsWindow(PWnd w) { return winOf(w) && !winOf(w)->destroying; }
PWnd qbParent(PWnd w) { return winOf(w) ? winOf(w)->parent : 0; }
void qbSetUserWord(PWnd w, intptr_t v)
{
    if (QWin* win = winOf(w))
        win->user = v;
}
intptr_t qbUserWord(PWnd w) { return winOf(w) ? winOf(w)->user : 0; }
QWidget* topOf(QWin* win) { return win->sub ? (QWidget*)win->sub.data() : win->widget.data(); }
void qbSetTitle(PWnd w, const char* t)
{
    if (QWin* win = winOf(w))
        if (QWidget* top = topOf(win))
            top->setWindowTitle(QString::fromLatin1(t ? t : ""));
}
int qbTitle(PWnd w, char* out, int size)
{
    QWin* win = winOf(w);
    if (!win || size <= 0 || !topOf(win))
        return 0;
    QByteArray b = topOf(win)->windowTitle().toLatin1();
    int n = std::min<int>((int)b.size(), size - 1);
    memcpy(out, b.constData(), (size_t)n);
    out[n] = 0;
    return n;
}
void qbShow(PWnd w, int32_t how)
{
    QWin* win = winOf(w);
    QWidget* top = win ? topOf(win) : nullptr;
    if (!top)
        return;
    switch (how) {
    case PSW_HIDE: top->hide(); break;
    case PSW_SHOW: top->show(); break;
    case PSW_MINIMIZE: top->showMinimized(); sendSize(w); break;
    case PSW_MAXIMIZE: top->showMaximized(); break;
    case PSW_RESTORE: top->showNormal(); break;
    default: break;
    }
}
PRect qbClientRect(PWnd w)
{
    QWin* win = winOf(w);
    if (!win || !win->widget || (topOf(win) && topOf(win)->isMinimized()))
        return PRect{0, 0, 0, 0};
    return PRect{0, 0, win->widget->width(), win->widget->height()};
}
PRect qbWindowRect(PWnd w)
{
    QWin* win = winOf(w);
    if (!win || !topOf(win))
        return PRect{0, 0, 0, 0};
    QRect r = topOf(win)->geometry();
    return PRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}
void qbMove(PWnd w, PRect r)
{
    if (QWin* win = winOf(w))
        if (QWidget* top = topOf(win))
            top->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
}
bool qbIsMinimized(PWnd w)
{
    QWin* win = winOf(w);
    return win && topOf(win) && topOf(win)->isMinimized();
}
bool qbIsMaximized(PWnd w)
{
    QWin* win = winOf(w);
    return win && topOf(win) && topOf(win)->isMaximized();
}
void qbInvalidate(PWnd w, const PRect* r, bool)
{
    QWin* win = winOf(w);
    if (!win || !win->widget)
        return;
    win->invalid = true;
    if (r)
        win->widget->update(QRect(r->left, r->top, r->right - r->left, r->bottom - r->top));
    else
        win->widget->update();
}
void qbScroll(PWnd w, int dx, int dy, const PRect* clip)
{
    QWin* win = winOf(w);
    if (!win || win->image.isNull())
        return;
    QRect area = clip ? QRect(clip->left, clip->top, clip->right - clip->left, clip->bottom - clip->top) : win->image.rect();
    QImage copy = win->image.copy(area);
    QPainter p(&win->image);
    p.drawImage(area.topLeft() + QPoint(dx, dy), copy);
    if (win->widget)
        win->widget->update(area);
}
void qbUpdate(PWnd w)
{
    if (QWin* win = winOf(w))
        if (win->widget)
            win->widget->repaint();
}
PWnd qbFocus() { return wndOf(QApplication::focusWidget()); }
void qbSetFocus(PWnd w)
{
    if (QWin* win = winOf(w))
        if (win->widget)
            win->widget->setFocus();
}
void qbMdiActivate(PWnd child)
{
    QWin* win = winOf(child);
    if (win && win->sub && g->mdi) {
        g->mdi->setActiveSubWindow(win->sub);
        win->widget->setFocus();
    }
}
PWnd qbMdiActive() { return g->mdiActive; }
void qbMdiArrange(int32_t how)
{
    if (!g->mdi)
        return;
    if (how == PMDI_TILE)
        g->mdi->tileSubWindows();
    else if (how == PMDI_CASCADE)
        g->mdi->cascadeSubWindows();
}

// ---- messages, timers, sockets ----

bool qbPost(PWnd w, uint32_t msg, PWParam wp, PLParam lp)
{
    if (!winOf(w))
        return false;
    evPost(g->ev, w, msg, wp, lp);
    wake();
    return true;
}
PResult qbSend(PWnd w, uint32_t msg, PWParam wp, PLParam lp) { return callProc(w, msg, wp, lp); }

int qbPump(int timeoutMs)
{
    if (g->ev.quitting)
        return -1;
    long before = g->dispatched;
    syncSockets();   // data read outside a handler lets a held socket report again
    if (timeoutMs != 0 && g->ev.queue.empty()) {
        QEventLoop loop;
        QEventLoop* outer = g->waitLoop;
        g->waitLoop = &loop;
        QTimer limit;
        if (timeoutMs > 0) {
            limit.setSingleShot(true);
            QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
            limit.start(timeoutMs);
        }
        loop.exec();
        g->waitLoop = outer;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (g->ev.quitting)
        return -1;
    return (int)(g->dispatched - before);
}
void qbQuit(int code)
{
    g->ev.quitting = true;
    g->ev.quitCode = code;
    if (g->waitLoop)
        g->waitLoop->quit();
}
bool qbQuitting() { return g->ev.quitting; }
int qbQuitCode() { return g->ev.quitCode; }

uintptr_t qbSetTimer(PWnd w, uintptr_t id, uint32_t ms)
{
    if (!winOf(w))
        return 0;
    uintptr_t r = evSetTimer(g->ev, w, id, ms);
    rearmTimer();
    return r;
}
bool qbKillTimer(PWnd w, uintptr_t id)
{
    bool r = evKillTimer(g->ev, w, id);
    rearmTimer();
    return r;
}
int qbAsyncSelect(int fd, PWnd w, uint32_t msg, uint32_t events)
{
    if (events && w && !winOf(w))
        return -1;
    int r = evAsyncSelect(g->ev, fd, w, msg, events);
    syncSockets();
    wake();
    return r;
}
void qbSocketWouldBlock(int fd)
{
    evWouldBlock(g->ev, fd);
    syncSockets();
}

// ---- menus, dialogs, clipboard ----

QString fromBytes(const char* text)
{
    QString s;
    for (const char* p = text ? text : ""; *p; ++p)
        s.append(fromCp1252((uint8_t)*p));
    return s;
}

void toBytes(const QString& s, char* out, int size)
{
    int n = 0;
    for (QChar c : s) {
        if (n + 1 >= size)
            break;
        int b = toCp1252(c);
        out[n++] = (char)(b > 0 ? b : '?');
    }
    if (size > 0)
        out[n] = 0;
}

void qbSetMenu(PWnd frame, const PMenuItem* items, int32_t count)
{
    if (!g->frame)
        return;
    QMenuBar* bar = g->frame->menuBar();
    bar->clear();
    g->menuActions.clear();
    QMenu* top = nullptr;
    QMenu* sub = nullptr;
    for (int i = 0; i < count; ++i) {
        const PMenuItem& m = items[i];
        QString text = fromBytes(m.text);   // "\t" before the accelerator text, as Qt reads it too
        if (m.depth == 0) {
            top = bar->addMenu(text);
            sub = nullptr;
            continue;
        }
        QMenu* parent = m.depth == 2 && sub ? sub : top;
        if (!parent)
            continue;
        if (!m.text) {
            parent->addSeparator();
            continue;
        }
        if (m.flags & PMF_POPUP) {
            sub = parent->addMenu(text);
            continue;
        }
        QAction* a = parent->addAction(text);
        a->setEnabled(!(m.flags & PMF_GRAYED));
        a->setCheckable(true);
        a->setChecked(m.flags & PMF_CHECKED);
        int32_t id = m.id;
        QObject::connect(a, &QAction::triggered, [frame, id] { qbPost(frame, PM_COMMAND, (PWParam)id, 0); });
        g->menuActions[id] = a;
    }
}

void qbMenuState(PWnd, int32_t id, uint32_t flags)
{
    auto it = g->menuActions.find(id);
    if (it == g->menuActions.end())
        return;
    it->second->setEnabled(!(flags & PMF_GRAYED));
    it->second->setChecked(flags & PMF_CHECKED);
}

int qbPopupMenu(PWnd owner, const PMenuItem* items, int32_t count, PPoint at)
{
    QWin* win = winOf(owner);
    if (!win || !win->widget || !items || count <= 0)
        return -1;
    // No parent: the owner may be destroyed while the menu runs.
    QMenu menu;
    for (int i = 0; i < count; ++i) {
        const PMenuItem& m = items[i];
        if (!m.text) {
            menu.addSeparator();
            continue;
        }
        QAction* a = menu.addAction(fromBytes(m.text));
        a->setEnabled(!(m.flags & PMF_GRAYED));
        if (m.flags & PMF_CHECKED) {
            a->setCheckable(true);
            a->setChecked(true);
        }
        int32_t id = m.id;
        a->setData(id);   // the test helpers find items by id
        QObject::connect(a, &QAction::hovered, [owner, id] { qbSend(owner, PM_MENUSELECT, (PWParam)id, 0); });
        QObject::connect(a, &QAction::triggered, [owner, id] { qbPost(owner, PM_COMMAND, (PWParam)id, 0); });
    }
    menu.exec(win->widget->mapToGlobal(QPoint(at.x, at.y)));
    if (winOf(owner))
        callProc(owner, PM_EXITMENULOOP, 0, 0);
    return 0;
}

int32_t qbDialog(PWnd owner, PDlgForm* dialog)
{
    QWin* win = winOf(owner);
    QDialog dlg(win && win->widget ? win->widget.data() : g->frame.data());
    dlg.setWindowTitle(fromBytes(dialog->title));
    auto* outer = new QVBoxLayout(&dlg);
    auto* form = new QFormLayout;
    auto* buttons = new QHBoxLayout;
    outer->addLayout(form);
    outer->addLayout(buttons);
    std::vector<QWidget*> widgets((size_t)dialog->count, nullptr);
    for (int i = 0; i < dialog->count; ++i) {
        PDlgControl& c = dialog->controls[i];
        QString label = fromBytes(c.label);
        switch (c.kind) {
        case PCtlKind::Label:
            form->addRow(new QLabel(label));
            break;
        case PCtlKind::Edit:
        case PCtlKind::Password: {
            auto* e = new QLineEdit(fromBytes(c.text));
            if (c.kind == PCtlKind::Password)
                e->setEchoMode(QLineEdit::Password);
            if (c.textSize > 1)
                e->setMaxLength(c.textSize - 1);
            form->addRow(label, e);
            widgets[i] = e;
            break;
        }
        case PCtlKind::Combo: {
            auto* cb = new QComboBox;
            cb->setEditable(c.text != nullptr);
            for (int k = 0; k < c.itemCount; ++k)
                cb->addItem(fromBytes(c.items[k]));
            if (c.value >= 0 && c.value < c.itemCount)
                cb->setCurrentIndex(c.value);
            if (c.text)
                cb->setEditText(fromBytes(c.text));
            form->addRow(label, cb);
            widgets[i] = cb;
            break;
        }
        case PCtlKind::List: {
            auto* l = new QListWidget;
            for (int k = 0; k < c.itemCount; ++k)
                l->addItem(fromBytes(c.items[k]));
            if (c.value >= 0 && c.value < c.itemCount)
                l->setCurrentRow(c.value);
            form->addRow(label, l);
            widgets[i] = l;
            break;
        }
        case PCtlKind::Check: {
            auto* cb = new QCheckBox(label);
            cb->setChecked(c.value != 0);
            form->addRow(cb);
            widgets[i] = cb;
            break;
        }
        case PCtlKind::Button: {
            auto* b = new QPushButton(label);
            int32_t id = c.id;
            QObject::connect(b, &QPushButton::clicked, &dlg, [&dlg, id] { dlg.done(id); });
            buttons->addWidget(b);
            break;
        }
        }
    }
    int result = dlg.exec();
    if (result == QDialog::Rejected)
        return PID_CANCEL;
    for (int i = 0; i < dialog->count; ++i) {
        PDlgControl& c = dialog->controls[i];
        if (auto* e = qobject_cast<QLineEdit*>(widgets[i]))
            toBytes(e->text(), c.text, c.textSize);
        else if (auto* cb = qobject_cast<QComboBox*>(widgets[i])) {
            c.value = cb->currentIndex();
            if (c.text)
                toBytes(cb->currentText(), c.text, c.textSize);
        } else if (auto* l = qobject_cast<QListWidget*>(widgets[i]))
            c.value = l->currentRow();
        else if (auto* ch = qobject_cast<QCheckBox*>(widgets[i]))
            c.value = ch->isChecked() ? 1 : 0;
    }
    return result;
}

int qbFileDialog(PWnd, uint32_t mode, const char* title, const char* filter, char* path, int size)
{
    QString t = fromBytes(title), f = fromBytes(filter), start = QString::fromLocal8Bit(path);
    QString chosen = mode == PFD_SAVE ? QFileDialog::getSaveFileName(g->frame, t, start, f)
                                      : QFileDialog::getOpenFileName(g->frame, t, start, f);
    if (chosen.isEmpty() || size <= 0)
        return 0;
    QByteArray b = chosen.toLocal8Bit();
    int n = std::min<int>((int)b.size(), size - 1);
    memcpy(path, b.constData(), (size_t)n);
    path[n] = 0;
    return n;
}

bool qbChooseColor(PWnd, PRgb* color)
{
    QColor c = QColorDialog::getColor(qcolor(*color), g->frame);
    if (!c.isValid())
        return false;
    *color = platRgb(c.red(), c.green(), c.blue());
    return true;
}

int qbClipboardGet(char* out, int size)
{
    toBytes(QGuiApplication::clipboard()->text(), out, size);
    return size > 0 ? (int)strlen(out) : 0;
}

bool qbClipboardSet(const char* text, int length)
{
    QString s;
    for (int i = 0; i < length; ++i)
        s.append(fromCp1252((uint8_t)text[i]));
    QGuiApplication::clipboard()->setText(s);
    return true;
}

int32_t qbKeyState(int32_t vk)
{
    Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
    switch (vk) {
    case PVK_SHIFT: return (mods & Qt::ShiftModifier) ? PKS_DOWN : 0;
    case PVK_CONTROL: return (mods & Qt::ControlModifier) ? PKS_DOWN : 0;
    case PVK_MENU: return (mods & Qt::AltModifier) ? PKS_DOWN : 0;
    case PVK_NUMLOCK: return PKS_TOGGLED;   // Qt cannot tell; keypads usually have it on
    default: break;
    }
    auto it = g->keysDown.find(vk);
    return it != g->keysDown.end() && it->second ? PKS_DOWN : 0;
}

int32_t qbMessageBox(PWnd owner, const char* text, const char* caption, uint32_t flags)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case PMB_ICONERROR: icon = QMessageBox::Critical; break;
    case PMB_ICONQUESTION: icon = QMessageBox::Question; break;
    case PMB_ICONWARNING: icon = QMessageBox::Warning; break;
    case PMB_ICONINFO: icon = QMessageBox::Information; break;
    default: break;
    }
    struct Set {
        uint32_t kind;
        QMessageBox::StandardButtons buttons;
    };
    static const Set kSets[] = {
        {PMB_OK, QMessageBox::Ok},
        {PMB_OKCANCEL, QMessageBox::Ok | QMessageBox::Cancel},
        {PMB_ABORTRETRYIGNORE, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore},
        {PMB_YESNOCANCEL, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel},
        {PMB_YESNO, QMessageBox::Yes | QMessageBox::No},
        {PMB_RETRYCANCEL, QMessageBox::Retry | QMessageBox::Cancel},
    };
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    for (const Set& s : kSets)
        if (s.kind == (flags & 0x0F))
            buttons = s.buttons;
    QWin* win = winOf(owner);
    QWidget* parent = win && win->widget ? win->widget.data() : g->frame.data();
    QMessageBox box(icon, QString::fromLatin1(caption ? caption : ""), QString::fromLatin1(text ? text : ""), buttons, parent);
    switch (box.exec()) {
    case QMessageBox::Ok: return PID_OK;
    case QMessageBox::Cancel: return PID_CANCEL;
    case QMessageBox::Abort: return PID_ABORT;
    case QMessageBox::Retry: return PID_RETRY;
    case QMessageBox::Ignore: return PID_IGNORE;
    case QMessageBox::Yes: return PID_YES;
    case QMessageBox::No: return PID_NO;
    default: return PID_CANCEL;
    }
}

void qbBeep(int32_t) { QApplication::beep(); }

// ---- drawing ----

PDC qbGetDC(PWnd w)
{
    QWin* win = winOf(w);
    if (!win || !win->widget)
        return 0;
    resizeImage(*win, win->widget->size());
    if (win->image.isNull())
        win->image = QImage(QSize(1, 1), QImage::Format_RGB32);
    PDC dc = g->nextDc++;
    Dc& d = g->dcs[dc];
    d.wnd = w;
    d.painter = std::make_unique<QPainter>(&win->image);
    return dc;
}
void qbReleaseDC(PWnd, PDC dc)
{
    auto it = g->dcs.find(dc);
    if (it == g->dcs.end())
        return;
    PWnd w = it->second.wnd;
    it->second.painter->end();
    g->dcs.erase(it);
    if (QWin* win = winOf(w))
        if (win->widget)
            win->widget->update();
}
Dc* dcOf(PDC dc)
{
    auto it = g->dcs.find(dc);
    return it == g->dcs.end() ? nullptr : &it->second;
}
PFont qbCreateFont(const char* face, int32_t size, uint32_t flags)
{
    QFont f(QString::fromLatin1(face ? face : "Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setBold(flags & PFONT_BOLD);
    f.setItalic(flags & PFONT_ITALIC);
    f.setUnderline(flags & PFONT_UNDERLINE);
    // The size is the cell height in pixels: take the largest pixel size
    // whose line height fits it.
    int px = std::max(1, size);
    f.setPixelSize(px);
    while (px > 1 && QFontMetrics(f).height() > size)
        f.setPixelSize(--px);
    QFontMetrics fm(f);
    PFontMetrics m{std::max(1, fm.horizontalAdvance(QLatin1Char('M'))), fm.height() + std::max(0, fm.leading()),
                   fm.ascent(), std::max(0, fm.leading())};
    PFont id = g->nextFont++;
    FontRec& rec = g->fonts[id] = FontRec{f, m, QRawFont::fromFont(f), {}};
    if (rec.raw.isValid())
        for (int b = 0; b < 256; ++b) {
            QList<quint32> idx = rec.raw.glyphIndexesForString(QString(fromCp1252((uint8_t)b)));
            rec.glyphs[(size_t)b] = idx.isEmpty() ? 0 : idx.first();
        }
    return id;
}
void qbDeleteFont(PFont f) { g->fonts.erase(f); }
PFontMetrics qbFontMetrics(PFont f)
{
    auto it = g->fonts.find(f);
    return it == g->fonts.end() ? PFontMetrics{8, 16, 13, 0} : it->second.metrics;
}
void qbSelectFont(PDC dc, PFont f)
{
    if (Dc* d = dcOf(dc))
        d->font = f;
}
void qbSetTextColor(PDC dc, PRgb c)
{
    if (Dc* d = dcOf(dc))
        d->text = c;
}
void qbSetBkColor(PDC dc, PRgb c)
{
    if (Dc* d = dcOf(dc))
        d->bk = c;
}
void qbTextOut(PDC dc, int32_t x, int32_t y, const uint8_t* bytes, int32_t count)
{
    Dc* d = dcOf(dc);
    if (!d || count <= 0)
        return;
    auto it = g->fonts.find(d->font);
    PFontMetrics m = qbFontMetrics(d->font);
    // Opaque text, as the terminal draws it: the cells' background first.
    d->painter->fillRect(QRect(x, y, m.width * count, m.height), qcolor(d->bk));
    d->painter->setPen(qcolor(d->text));
    if (it != g->fonts.end() && it->second.raw.isValid()) {
        // One glyph per cell at the cell's position, looked up once per font:
        // no text shaping, which a terminal repainting whole screens cannot
        // afford.
        const FontRec& f = it->second;
        QList<quint32> glyphs;
        QList<QPointF> positions;
        glyphs.reserve(count);
        positions.reserve(count);
        for (int i = 0; i < count; ++i) {
            quint32 glyph = f.glyphs[bytes[i]];
            if (glyph == 0 || bytes[i] == ' ')
                continue;
            glyphs.append(glyph);
            positions.append(QPointF(x + i * m.width, y + m.ascent));
        }
        if (glyphs.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(f.raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        d->painter->drawGlyphRun(QPointF(0, 0), run);
        return;
    }
    d->painter->setFont(it == g->fonts.end() ? QFont("Courier New") : it->second.font);
    for (int i = 0; i < count; ++i)   // one cell per character, whatever the font's advance
        d->painter->drawText(QPoint(x + i * m.width, y + m.ascent), QString(fromCp1252(bytes[i])));
}
void qbFillRect(PDC dc, PRect r, PRgb c)
{
    if (Dc* d = dcOf(dc))
        d->painter->fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), qcolor(c));
}
PPen qbCreatePen(int32_t style, int32_t width, PRgb c)
{
    QPen pen(qcolor(c));
    pen.setWidth(std::max(1, width));
    pen.setStyle(style == PPEN_DOT ? Qt::DotLine : Qt::SolidLine);
    pen.setCapStyle(Qt::FlatCap);
    PPen id = g->nextPen++;
    g->pens[id] = pen;
    return id;
}
void qbDeletePen(PPen p) { g->pens.erase(p); }
void qbPolyline(PDC dc, PPen pen, const PPoint* pts, int32_t n)
{
    Dc* d = dcOf(dc);
    auto it = g->pens.find(pen);
    if (!d || it == g->pens.end() || n < 2)
        return;
    d->painter->setPen(it->second);
    if (it->second.width() <= 1 && it->second.style() == Qt::SolidLine) {
        // Thin solid lines are stepped here, as Windows steps them: every
        // segment from its start point up to, not including, its end point
        // (Qt's own rasteriser leaves out the start of a segment that runs
        // right to left or bottom to top instead).
        QColor color = it->second.color();
        for (int i = 0; i + 1 < n; ++i) {
            int x = pts[i].x, y = pts[i].y, x1 = pts[i + 1].x, y1 = pts[i + 1].y;
            int dx = std::abs(x1 - x), dy = -std::abs(y1 - y), sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
            int err = dx + dy;
            while (x != x1 || y != y1) {
                d->painter->fillRect(QRect(x, y, 1, 1), color);
                int e2 = 2 * err;
                if (e2 >= dy) {
                    err += dy;
                    x += sx;
                }
                if (e2 <= dx) {
                    err += dx;
                    y += sy;
                }
            }
        }
        return;
    }
    // A flat-capped segment stops short of its end point, so the last point
    // of the polyline is not drawn, as on Windows, and corners are drawn once.
    for (int i = 0; i + 1 < n; ++i)
        d->painter->drawLine(QPoint(pts[i].x, pts[i].y), QPoint(pts[i + 1].x, pts[i + 1].y));
}
PRgb qbNearestColor(PDC, PRgb c) { return c; }

// ---- caret ----

void updateCaret()
{
    if (QWin* win = winOf(g->caret.wnd))
        if (win->widget)
            win->widget->update();
}
bool qbCreateCaret(PWnd w, int32_t width, int32_t height)
{
    updateCaret();
    g->caret = Caret{w, width, height, 0, 0, false};
    return winOf(w) != nullptr;
}
void qbDestroyCaret()
{
    updateCaret();
    g->caret = Caret{};
}
void qbSetCaretPos(int32_t x, int32_t y)
{
    updateCaret();
    g->caret.x = x;
    g->caret.y = y;
    updateCaret();
}
void qbShowCaret(PWnd w)
{
    if (g->caret.wnd == w) {
        g->caret.visible = true;
        updateCaret();
    }
}
void qbHideCaret(PWnd w)
{
    if (g->caret.wnd == w) {
        g->caret.visible = false;
        updateCaret();
    }
}

const PlatBackend qtBackend = {
    "qt",
    qbCreateWindow, qbDestroyWindow, qbIsWindow, qbParent, qbSetUserWord, qbUserWord, qbSetTitle, qbTitle, qbShow,
    qbClientRect, qbWindowRect, qbMove, qbIsMinimized, qbIsMaximized, qbInvalidate, qbScroll, qbUpdate, qbFocus,
    qbSetFocus, qbMdiActivate, qbMdiActive, qbMdiArrange,
    qbPost, qbSend, qbPump, qbQuit, qbQuitting, qbQuitCode,
    qbSetTimer, qbKillTimer,
    qbAsyncSelect, qbSocketWouldBlock,
    qbSetMenu, qbMenuState, qbPopupMenu, qbDialog, qbFileDialog, qbChooseColor,
    qbClipboardGet, qbClipboardSet,
    qbKeyState,
    qbMessageBox, qbBeep,
    qbGetDC, qbReleaseDC, qbCreateFont, qbDeleteFont, qbFontMetrics, qbSelectFont, qbSetTextColor, qbSetBkColor,
    qbTextOut, qbFillRect, qbCreatePen, qbDeletePen, qbPolyline, qbNearestColor,
    qbCreateCaret, qbDestroyCaret, qbSetCaretPos, qbShowCaret, qbHideCaret,
};

} // namespace

int qtPlatInit(int& argc, char** argv)
{
    if (g)
        return 0;
    if (!getenv("QT_QPA_PLATFORM") && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    g = new State;
    g->app = std::make_unique<QApplication>(argc, argv);
    g->pump = new Pump;
    g->timer = std::make_unique<QTimer>();
    g->timer->setSingleShot(true);
    QObject::connect(g->timer.get(), &QTimer::timeout, [] {
        evFireTimers(g->ev);
        wake();
    });
    platUse(&qtBackend);
    return 0;
}

void qtPlatShutdown()
{
    if (!g)
        return;
    platUse(nullptr);
    for (auto& [w, win] : g->wins) {
        if (QWidget* top = topOf(&win))
            if (!top->parentWidget())
                delete top;
    }
    g->notifiers.clear();
    g->timer.reset();
    delete g->pump;
    g->app.reset();
    delete g;
    g = nullptr;
}

int qtPlatSaveImage(int wnd, const char* path)
{
    QWin* win = g ? winOf(wnd) : nullptr;
    if (!win || !win->widget)
        return -1;
    QImage shot = win->widget->grab().toImage();
    return shot.save(QString::fromLocal8Bit(path), "PNG") ? 0 : -1;
}

unsigned qtPlatPixel(int wnd, int x, int y)
{
    QWin* win = g ? winOf(wnd) : nullptr;
    if (!win || win->image.isNull() || !win->image.rect().contains(x, y))
        return 0xFFFFFFFFu;
    return rgbOf(win->image.pixel(x, y));
}

QWidget* qtPlatWidget(int wnd)
{
    QWin* win = g ? winOf(wnd) : nullptr;
    return win ? win->widget.data() : nullptr;
}
