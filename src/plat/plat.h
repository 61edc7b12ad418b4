#pragma once
// The platform layer: everything the logic needs from the windowing side of
// the operating system, and nothing more. The logic sees windows as small
// integer handles with window procedures, a message queue, window timers,
// socket readiness delivered as a window message, message boxes and drawing
// surfaces. Two back ends fill the table below: headless (poll() loop,
// in-memory windows) and Qt (widgets). Nothing outside src/plat/qt/ includes
// a Qt header.
//
// Contract, common to both back ends:
// - Everything runs on one thread. Messages posted to a window are delivered
//   in the order they were posted. platSendMessage calls the window procedure
//   at once, further down the caller's stack.
// - Socket readiness follows the asynchronous-select contract of Windows
//   Sockets: after platAsyncSelect(fd, wnd, msg, events) the back end posts
//   msg to wnd with wParam = fd and lParam = platSelectLParam(event, error).
//   FD_READ, FD_OOB and FD_ACCEPT are level-like: one message is outstanding
//   at a time and, once it has been dispatched, another follows while the
//   condition still holds; a read event whose handler read nothing is not
//   repeated until the program reads from the socket, more data arrives or
//   100 ms have passed. FD_CONNECT is posted once when a non-blocking
//   connect finishes (error = its Windows Sockets number); register the
//   socket after calling connect(), and when the connect has already
//   finished FD_CONNECT is posted at once. FD_WRITE is posted
//   once when the socket first becomes writable, and again only after the
//   socket layer reports a send that would block (platSocketWouldBlock).
//   FD_CLOSE is posted once, after the data before the end of the stream has
//   been read. Events for one socket keep their order.
// - Nested waits (message boxes, modal dialogs, uiWait, blocked writes) run
//   platPump, so work for another window may run inside them.

#include <cstddef>
#include <cstdint>

using PWnd = int32_t;       // 0 = no window
using PWParam = uintptr_t;
using PLParam = intptr_t;
using PResult = intptr_t;
using PWndProc = PResult (*)(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);

// Window messages. The private messages keep their numbers; the standard
// ones are ours but carry the arguments the Windows messages carry.
enum : uint32_t {
    PM_NULL = 0,
    PM_CREATE = 0x0001,
    PM_DESTROY = 0x0002,
    PM_SIZE = 0x0005,          // wp = PSIZE_*, lp = width | height << 16
    PM_SETFOCUS = 0x0007,
    PM_KILLFOCUS = 0x0008,
    PM_PAINT = 0x000F,
    PM_CLOSE = 0x0010,
    PM_QUERYENDSESSION = 0x0011,
    PM_QUIT = 0x0012,
    PM_ERASEBKGND = 0x0014,
    PM_KEYDOWN = 0x0100,       // wp = virtual key, lp = repeat count | flags
    PM_KEYUP = 0x0101,
    PM_CHAR = 0x0102,          // wp = character byte
    PM_SYSKEYDOWN = 0x0104,
    PM_SYSKEYUP = 0x0105,
    PM_SYSCHAR = 0x0106,
    PM_COMMAND = 0x0111,       // wp = command id
    PM_SYSCOMMAND = 0x0112,
    PM_TIMER = 0x0113,         // wp = timer id
    PM_MENUSELECT = 0x011F,    // wp = id of the highlighted pop-up menu item
    PM_MOUSEMOVE = 0x0200,     // lp = x | y << 16
    PM_LBUTTONDOWN = 0x0201,
    PM_LBUTTONUP = 0x0202,
    PM_LBUTTONDBLCLK = 0x0203,
    PM_RBUTTONDOWN = 0x0204,
    PM_RBUTTONUP = 0x0205,
    PM_RBUTTONDBLCLK = 0x0206,
    PM_EXITMENULOOP = 0x0212,  // a pop-up menu closed
    PM_MDIACTIVATE = 0x0222,   // wp = window losing, lp = window gaining activation
    PM_USER = 0x0400,
    PM_SOCKET = 1124,          // socket readiness
    PM_SESSIONS_CHANGED = 1125,// frame: session list, menu and tool-bar state changed
    PM_PROCESS_KEYS = 1126,    // session window: send the queued keys
    PM_RUN_MACRO = 1127,       // frame: run a macro slot
    PM_COLORS_CHANGED = 1128,  // frame: colours changed, repaint all sessions
    PM_PAINT_DIRTY = 1129,     // session window: paint the cells a refresh left dirty
};

enum : uint32_t { PSIZE_RESTORED = 0, PSIZE_MINIMIZED = 1, PSIZE_MAXIMIZED = 2 };

// Socket readiness events, in the low word of lParam; the error is in the
// high word.
enum : uint32_t {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
};
constexpr PLParam platSelectLParam(uint32_t event, int error) { return (PLParam)(((uint32_t)error << 16) | (event & 0xFFFF)); }
constexpr uint32_t platSelectEvent(PLParam lp) { return (uint32_t)lp & 0xFFFF; }
constexpr int platSelectError(PLParam lp) { return (int)(((uint32_t)lp >> 16) & 0xFFFF); }

struct PRect {
    int32_t left, top, right, bottom;   // right and bottom exclusive, in pixels
};
struct PPoint {
    int32_t x, y;
};

enum class PWndKind : int32_t {
    Frame,      // the one top-level window
    MdiClient,  // the frame's client area that holds the session windows
    MdiChild,   // a session window
    Dialog,     // a modeless or modal dialog
    Popup,      // splash and other owned pop-up windows
};

// Creation flags.
enum : uint32_t {
    PWS_VISIBLE = 0x1,
    PWS_MAXIMIZED = 0x2,
    PWS_MINIMIZED = 0x4,
    PWS_DEFAULTPOS = 0x8,   // ignore the rectangle, let the window system place it
};

struct PWndCreate {
    PWndKind kind;
    PWnd parent;
    const char* title;
    PRect rect;             // outer rectangle in the parent's client coordinates
    uint32_t flags;
    PWndProc proc;
};

enum : int32_t { PSW_HIDE = 0, PSW_SHOW = 1, PSW_MINIMIZE = 2, PSW_MAXIMIZE = 3, PSW_RESTORE = 4 };
enum : int32_t { PMDI_TILE = 0, PMDI_CASCADE = 1, PMDI_ICONS = 2 };

// Message boxes: button sets and icons, and the answers.
enum : uint32_t {
    PMB_OK = 0x00,
    PMB_OKCANCEL = 0x01,
    PMB_ABORTRETRYIGNORE = 0x02,
    PMB_YESNOCANCEL = 0x03,
    PMB_YESNO = 0x04,
    PMB_RETRYCANCEL = 0x05,
    PMB_ICONERROR = 0x10,
    PMB_ICONQUESTION = 0x20,
    PMB_ICONWARNING = 0x30,
    PMB_ICONINFO = 0x40,
};
enum : int32_t { PID_OK = 1, PID_CANCEL = 2, PID_ABORT = 3, PID_RETRY = 4, PID_IGNORE = 5, PID_YES = 6, PID_NO = 7 };

// Virtual key codes carried by PM_KEYDOWN / PM_SYSKEYDOWN (wParam), with
// the repeat count in bits 0..15 of lParam and the extended-key flag in bit
// 24; the Windows numbers.
enum : int32_t {
    PVK_BACK = 0x08, PVK_TAB = 0x09, PVK_CLEAR = 0x0C, PVK_RETURN = 0x0D, PVK_SHIFT = 0x10,
    PVK_CONTROL = 0x11, PVK_MENU = 0x12, PVK_PAUSE = 0x13, PVK_CAPITAL = 0x14, PVK_ESCAPE = 0x1B,
    PVK_SPACE = 0x20, PVK_PRIOR = 0x21, PVK_NEXT = 0x22, PVK_END = 0x23, PVK_HOME = 0x24,
    PVK_LEFT = 0x25, PVK_UP = 0x26, PVK_RIGHT = 0x27, PVK_DOWN = 0x28, PVK_INSERT = 0x2D,
    PVK_DELETE = 0x2E, PVK_0 = 0x30, PVK_A = 0x41, PVK_NUMPAD0 = 0x60, PVK_MULTIPLY = 0x6A,
    PVK_ADD = 0x6B, PVK_SEPARATOR = 0x6C, PVK_SUBTRACT = 0x6D, PVK_DECIMAL = 0x6E, PVK_DIVIDE = 0x6F,
    PVK_F1 = 0x70, PVK_F10 = 0x79, PVK_F12 = 0x7B, PVK_NUMLOCK = 0x90, PVK_SCROLL = 0x91,
    PVK_OEM_PLUS = 0xBB, PVK_OEM_MINUS = 0xBD, PVK_OEM_6 = 0xDD,
};
constexpr PLParam PKEY_EXTENDED = 0x01000000;
// platKeyState: bit 0x8000 while the key is down, bit 1 while it is toggled on.
enum : int32_t { PKS_DOWN = 0x8000, PKS_TOGGLED = 0x1 };

// Sounds.
enum : int32_t { PSND_DEFAULT = 0, PSND_EXCLAMATION = 1, PSND_ERROR = 2 };

// Drawing. A drawing context belongs to a window (or, for printing, to a
// job); fonts and pens are handles the logic creates and deletes.
using PDC = int32_t;
using PFont = int32_t;
using PPen = int32_t;
using PRgb = uint32_t;      // 0x00BBGGRR, as Windows COLORREF
constexpr PRgb platRgb(int r, int g, int b) { return (PRgb)((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16)); }

enum : int32_t { PPEN_SOLID = 0, PPEN_DOT = 2 };
enum : uint32_t { PFONT_BOLD = 0x1, PFONT_ITALIC = 0x2, PFONT_UNDERLINE = 0x4 };

struct PFontMetrics {
    int32_t width;          // average character width
    int32_t height;         // cell height, external leading included
    int32_t ascent;
    int32_t externalLeading;
};

// Menus: a flat list in menu order. Depth 0 opens a pop-up on the menu bar
// (its id is unused); depth 1 items belong to the last pop-up, depth 2 to a
// sub-menu opened by the last depth-1 item with PMF_POPUP. A null text is a
// separator. Choosing an item posts PM_COMMAND with its id to the frame.
// Pop-up menus (platPopupMenu) take the same rows, all at one level (depth
// is not looked at); PMF_GRAYED items cannot be chosen there either.
enum : uint32_t { PMF_GRAYED = 0x1, PMF_CHECKED = 0x2, PMF_POPUP = 0x10 };
struct PMenuItem {
    int32_t id;
    const char* text;       // "&" marks the mnemonic; "\t" separates the accelerator text
    int32_t depth;
    uint32_t flags;
};

// Modal dialogs built from a list of controls. The back end shows them and,
// when the user presses a button, copies what was entered back into the
// controls: Edit/Password texts, Check values (0/1), Combo and List
// selections (index, or -1; an editable combo also fills text).
enum class PCtlKind : int32_t { Label, Edit, Password, Combo, List, Check, Button };
struct PDlgControl {
    int32_t id;             // Button: the result the dialog returns when pressed
    PCtlKind kind;
    const char* label;
    char* text;             // Edit, Password, Combo: in/out, NUL-terminated
    int32_t textSize;
    const char* const* items; // Combo, List
    int32_t itemCount;
    int32_t value;          // Check: 0/1; Combo, List: selected index
};
struct PDlgForm {
    int32_t id;             // the dialog's resource number, for policies and tests
    const char* title;
    PDlgControl* controls;
    int32_t count;
};

enum : uint32_t { PFD_OPEN = 0, PFD_SAVE = 1 };

// The back-end table. Every slot is filled by each back end.
struct PlatBackend {
    const char* name;

    // Windows.
    PWnd (*createWindow)(const PWndCreate* create);
    int (*destroyWindow)(PWnd wnd);
    bool (*isWindow)(PWnd wnd);
    PWnd (*parent)(PWnd wnd);
    void (*setUserWord)(PWnd wnd, intptr_t value);
    intptr_t (*userWord)(PWnd wnd);
    void (*setTitle)(PWnd wnd, const char* title);
    int (*title)(PWnd wnd, char* out, int size);
    void (*show)(PWnd wnd, int32_t how);
    PRect (*clientRect)(PWnd wnd);
    PRect (*windowRect)(PWnd wnd);
    void (*move)(PWnd wnd, PRect rect);
    bool (*isMinimized)(PWnd wnd);
    bool (*isMaximized)(PWnd wnd);
    void (*invalidate)(PWnd wnd, const PRect* rect, bool erase);
    void (*scroll)(PWnd wnd, int dx, int dy, const PRect* clip);
    void (*update)(PWnd wnd);
    PWnd (*focus)();
    void (*setFocus)(PWnd wnd);
    void (*mdiActivate)(PWnd child);
    PWnd (*mdiActive)();
    void (*mdiArrange)(int32_t how);

    // Messages.
    bool (*post)(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
    PResult (*send)(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
    int (*pump)(int timeoutMs);
    void (*quit)(int code);
    bool (*quitting)();
    int (*quitCode)();

    // Timers.
    uintptr_t (*setTimer)(PWnd wnd, uintptr_t id, uint32_t ms);
    bool (*killTimer)(PWnd wnd, uintptr_t id);

    // Sockets.
    int (*asyncSelect)(int fd, PWnd wnd, uint32_t msg, uint32_t events);
    void (*socketWouldBlock)(int fd);

    // Menus, dialogs and the common dialogs.
    void (*setMenu)(PWnd frame, const PMenuItem* items, int32_t count);
    void (*menuState)(PWnd frame, int32_t id, uint32_t flags);
    int (*popupMenu)(PWnd owner, const PMenuItem* items, int32_t count, PPoint at);
    int32_t (*dialog)(PWnd owner, PDlgForm* dialog);
    int (*fileDialog)(PWnd owner, uint32_t mode, const char* title, const char* filter, char* path, int size);
    bool (*chooseColor)(PWnd owner, PRgb* color);

    // Clipboard text (bytes in the display character set).
    int (*clipboardGet)(char* out, int size);
    bool (*clipboardSet)(const char* text, int length);

    // Keyboard state of a virtual key (PKS_*).
    int32_t (*keyState)(int32_t vk);

    // Boxes and sound.
    int32_t (*messageBox)(PWnd owner, const char* text, const char* caption, uint32_t flags);
    void (*beep)(int32_t sound);

    // Drawing.
    PDC (*getDC)(PWnd wnd);
    void (*releaseDC)(PWnd wnd, PDC dc);
    PFont (*createFont)(const char* face, int32_t size, uint32_t flags);
    void (*deleteFont)(PFont font);
    PFontMetrics (*fontMetrics)(PFont font);
    void (*selectFont)(PDC dc, PFont font);
    void (*setTextColor)(PDC dc, PRgb rgb);
    void (*setBkColor)(PDC dc, PRgb rgb);
    void (*textOut)(PDC dc, int32_t x, int32_t y, const uint8_t* bytes, int32_t count);
    void (*fillRect)(PDC dc, PRect rect, PRgb rgb);
    PPen (*createPen)(int32_t style, int32_t width, PRgb rgb);
    void (*deletePen)(PPen pen);
    void (*polyline)(PDC dc, PPen pen, const PPoint* points, int32_t count);
    PRgb (*nearestColor)(PDC dc, PRgb rgb);

    // Caret of the focus window.
    bool (*createCaret)(PWnd wnd, int32_t width, int32_t height);
    void (*destroyCaret)();
    void (*setCaretPos)(int32_t x, int32_t y);
    void (*showCaret)(PWnd wnd);
    void (*hideCaret)(PWnd wnd);
};

// Installs a back end (the headless one is installed until another is).
void platUse(const PlatBackend* backend);
const PlatBackend* platBackend();

// Milliseconds of the tick clock (monotonic, wraps as a 32-bit value).
uint32_t platTickCount();

// A hook that sees every message before it is dispatched; returning true
// means the hook handled it (modeless dialogs, MDI and accelerator keys).
using PMsgFilter = bool (*)(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
void platSetMessageFilter(PMsgFilter filter);
PMsgFilter platMessageFilter();

// Runs the message loop until platQuit; returns the quit code. Pumping with
// a timeout of -1 waits until something arrives.
int platRunLoop();

// Windows Sockets error number for an errno value (and for the resolver's
// h_errno values through platWsaFromResolver).
int platWsaFromErrno(int err);
int platWsaFromResolver(int herr);

// The calls the logic makes: thin wrappers over the installed table.
inline PWnd platCreateWindow(const PWndCreate& c) { return platBackend()->createWindow(&c); }
inline int platDestroyWindow(PWnd w) { return platBackend()->destroyWindow(w); }
inline bool platIsWindow(PWnd w) { return platBackend()->isWindow(w); }
inline PWnd platParent(PWnd w) { return platBackend()->parent(w); }
inline void platSetUserWord(PWnd w, intptr_t v) { platBackend()->setUserWord(w, v); }
inline intptr_t platUserWord(PWnd w) { return platBackend()->userWord(w); }
inline void platSetTitle(PWnd w, const char* t) { platBackend()->setTitle(w, t); }
inline int platTitle(PWnd w, char* out, int size) { return platBackend()->title(w, out, size); }
inline void platShow(PWnd w, int32_t how) { platBackend()->show(w, how); }
inline PRect platClientRect(PWnd w) { return platBackend()->clientRect(w); }
inline PRect platWindowRect(PWnd w) { return platBackend()->windowRect(w); }
inline void platMove(PWnd w, PRect r) { platBackend()->move(w, r); }
inline bool platIsMinimized(PWnd w) { return platBackend()->isMinimized(w); }
inline bool platIsMaximized(PWnd w) { return platBackend()->isMaximized(w); }
inline void platInvalidate(PWnd w, const PRect* r, bool erase) { platBackend()->invalidate(w, r, erase); }
inline void platScroll(PWnd w, int dx, int dy, const PRect* clip) { platBackend()->scroll(w, dx, dy, clip); }
inline void platUpdate(PWnd w) { platBackend()->update(w); }
inline PWnd platFocus() { return platBackend()->focus(); }
inline void platSetFocus(PWnd w) { platBackend()->setFocus(w); }
inline void platMdiActivate(PWnd w) { platBackend()->mdiActivate(w); }
inline PWnd platMdiActive() { return platBackend()->mdiActive(); }
inline void platMdiArrange(int32_t how) { platBackend()->mdiArrange(how); }
inline bool platPost(PWnd w, uint32_t m, PWParam wp, PLParam lp) { return platBackend()->post(w, m, wp, lp); }
inline PResult platSend(PWnd w, uint32_t m, PWParam wp, PLParam lp) { return platBackend()->send(w, m, wp, lp); }
// Dispatches what is waiting, waiting up to timeoutMs for the first message
// when none is; returns how many were dispatched, or -1 once quit was asked.
inline int platPump(int timeoutMs) { return platBackend()->pump(timeoutMs); }
inline void platQuit(int code) { platBackend()->quit(code); }
inline bool platQuitting() { return platBackend()->quitting(); }
inline int platQuitCode() { return platBackend()->quitCode(); }
inline uintptr_t platSetTimer(PWnd w, uintptr_t id, uint32_t ms) { return platBackend()->setTimer(w, id, ms); }
inline bool platKillTimer(PWnd w, uintptr_t id) { return platBackend()->killTimer(w, id); }
inline int platAsyncSelect(int fd, PWnd w, uint32_t msg, uint32_t events) { return platBackend()->asyncSelect(fd, w, msg, events); }
inline void platSocketWouldBlock(int fd) { platBackend()->socketWouldBlock(fd); }
inline void platSetMenu(PWnd frame, const PMenuItem* items, int32_t n) { platBackend()->setMenu(frame, items, n); }
// Sets an item's PMF_GRAYED / PMF_CHECKED flags.
inline void platMenuState(PWnd frame, int32_t id, uint32_t flags) { platBackend()->menuState(frame, id, flags); }
// Shows a pop-up menu with its top-left corner at a point of the owner's
// client area and returns when it has closed, pumping messages meanwhile as
// a modal dialog does. While the user highlights an item the owner is sent
// PM_MENUSELECT (wParam = the item's id); a chosen item's PM_COMMAND
// (wParam = id) is posted to the owner; when the menu closes, chosen or
// not, the owner is sent PM_EXITMENULOOP, after that PM_COMMAND was posted.
// 0, or -1 when the owner is no window or there are no items.
inline int platPopupMenu(PWnd owner, const PMenuItem* items, int32_t n, PPoint at) { return platBackend()->popupMenu(owner, items, n, at); }
// Runs a modal dialog (pumping messages meanwhile); returns the id of the
// button pressed, or PID_CANCEL when the dialog was closed.
inline int32_t platDialog(PWnd owner, PDlgForm* dialog) { return platBackend()->dialog(owner, dialog); }
// Asks for a file name; path is the initial name in and the chosen one out.
// Returns its length, or 0 when cancelled. filter: "Text files (*.txt)".
inline int platFileDialog(PWnd owner, uint32_t mode, const char* title, const char* filter, char* path, int size)
{
    return platBackend()->fileDialog(owner, mode, title, filter, path, size);
}
inline bool platChooseColor(PWnd owner, PRgb* color) { return platBackend()->chooseColor(owner, color); }
// Returns the length of the text copied into out (NUL-terminated), 0 if none.
inline int platClipboardGet(char* out, int size) { return platBackend()->clipboardGet(out, size); }
inline bool platClipboardSet(const char* text, int length) { return platBackend()->clipboardSet(text, length); }
inline int32_t platKeyState(int32_t vk) { return platBackend()->keyState(vk); }
inline int32_t platMessageBox(PWnd owner, const char* text, const char* caption, uint32_t flags) { return platBackend()->messageBox(owner, text, caption, flags); }
inline void platBeep(int32_t sound) { platBackend()->beep(sound); }
inline PDC platGetDC(PWnd w) { return platBackend()->getDC(w); }
inline void platReleaseDC(PWnd w, PDC dc) { platBackend()->releaseDC(w, dc); }
inline PFont platCreateFont(const char* face, int32_t size, uint32_t flags) { return platBackend()->createFont(face, size, flags); }
inline void platDeleteFont(PFont f) { platBackend()->deleteFont(f); }
inline PFontMetrics platFontMetrics(PFont f) { return platBackend()->fontMetrics(f); }
inline void platSelectFont(PDC dc, PFont f) { platBackend()->selectFont(dc, f); }
inline void platSetTextColor(PDC dc, PRgb c) { platBackend()->setTextColor(dc, c); }
inline void platSetBkColor(PDC dc, PRgb c) { platBackend()->setBkColor(dc, c); }
inline void platTextOut(PDC dc, int32_t x, int32_t y, const uint8_t* b, int32_t n) { platBackend()->textOut(dc, x, y, b, n); }
inline void platFillRect(PDC dc, PRect r, PRgb c) { platBackend()->fillRect(dc, r, c); }
inline PPen platCreatePen(int32_t style, int32_t width, PRgb c) { return platBackend()->createPen(style, width, c); }
inline void platDeletePen(PPen p) { platBackend()->deletePen(p); }
inline void platPolyline(PDC dc, PPen p, const PPoint* pts, int32_t n) { platBackend()->polyline(dc, p, pts, n); }
inline PRgb platNearestColor(PDC dc, PRgb c) { return platBackend()->nearestColor(dc, c); }
inline bool platCreateCaret(PWnd w, int32_t width, int32_t height) { return platBackend()->createCaret(w, width, height); }
inline void platDestroyCaret() { platBackend()->destroyCaret(); }
inline void platSetCaretPos(int32_t x, int32_t y) { platBackend()->setCaretPos(x, y); }
inline void platShowCaret(PWnd w) { platBackend()->showCaret(w); }
inline void platHideCaret(PWnd w) { platBackend()->hideCaret(w); }
