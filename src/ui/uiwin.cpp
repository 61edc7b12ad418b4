// The session window: its message table, the list pop-up's answers and the
// few program-wide settings the keyboard and the size handler share.
#include "ui/uiwin.h"

#include "common/log.h"
#include "core/child.h"
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "ui/keyboard.h"
#include "ui/render.h"
#include "ui/config.h"
#include "ui/status.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace {

int childrenMaximized = 0;
PWnd frameWnd = 0;
PWnd lastSessionWnd = 0;

// The list pop-up of a slot: the list text, kept while the menu is open.
struct ListPopup {
    bool open = false;
    std::unique_ptr<char[]> text;
    int length = 0;
    char headerMark = 0, partMark = 0;
};
std::array<ListPopup, CU_MAX_SCREENS> popups;

int slotOfWindow(PWnd wnd) {
    if (!wnd || !platIsWindow(wnd)) return -1;
    intptr_t v = platUserWord(wnd);
    int slot = v >= 1 && v <= CU_MAX_SCREENS ? (int)v - 1 : -1;
    CuScreen* s = cuScreenAt(slot);
    return s && s->wnd == wnd ? slot : -1;
}

bool anyScreen() {
    for (int i = 0; i < CU_MAX_SCREENS; ++i)
        if (cuScreenAt(i)) return true;
    return false;
}

// The focus references follow the window that has the keyboard focus.
void refreshFocus() {
    int slot = slotOfWindow(platFocus());
    if (slot >= 0) cuSetFocusScreen(cuScreenAt(slot));
}

// Line k (0-based) of a list text and its length.
bool lineAt(const ListPopup& p, int k, const char** start, int* len) {
    const char* t = p.text.get();
    int pos = 0;
    for (int i = 0; pos <= p.length; ++i) {
        int e = pos;
        while (e < p.length && t[e] != '\n') ++e;
        if (i == k) {
            *start = t + pos;
            *len = e - pos;
            if (*len > 0 && t[pos + *len - 1] == '\r') --*len;
            return pos < p.length;
        }
        pos = e + 1;
    }
    return false;
}

bool isItemLine(const ListPopup& p, const char* line, int len) {
    return !(len > 0 && (line[0] == p.headerMark || line[0] == p.partMark));
}

// The line index of item n (1-based), or -1.
int itemLine(const ListPopup& p, int n) {
    const char* line;
    int len, count = 0;
    for (int k = 0; lineAt(p, k, &line, &len); ++k)
        if (isItemLine(p, line, len) && ++count == n) return k;
    return -1;
}

int trimmedLength(const char* s, int len) {
    while (len > 0 && s[len - 1] == ' ') --len;
    return len;
}

void putBE16(uint8_t* p, int v) {
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

// A choice of the list pop-up (0 = nothing chosen) becomes the answer of
// the list request.
void listPopupAnswer(int slot, int n) {
    ChSession* sess = sessAt(slot);
    ListPopup& p = popups[slot];
    if (!sess || !p.open || (sess->flags & CHF_CHARMODE) || !(sess->flags & CHF_IDLE)) return;
    if (sess->areas) {
        uint8_t* msg = sess->areas->msgArea.data();
        std::fill(msg + 20, msg + 20 + UI_LISTPOPUP_TEXT, (uint8_t)' ');
        putBE16(msg + 14, n);
        putBE16(msg + 18, UI_LISTPOPUP_TEXT);
        uint8_t status = n > 0 ? ' ' : '0';
        msg[16] = status;
        sess->areas->statusChar = status;
        if (sess->term) sess->term->sKey = status;
        const char* line;
        int len;
        int k = n > 0 ? itemLine(p, n) : -1;
        if (k >= 0 && lineAt(p, k, &line, &len)) memcpy(msg + 20, line, (size_t)std::min(len, UI_LISTPOPUP_TEXT));
    }
    sess->flags = (uint16_t)((sess->flags & ~CHF_MODE) | CHF_WAITINPUT);
    msrDoKeyInput();
    if (sess->term) {
        sess->term->sKey = 0;
        sess->term->sXmit = 0;
    }
    uiListPopupClose(slot);
}

bool listPopupCommand(int id) { return id >= UI_LISTPOPUP_FIRST && id <= UI_LISTPOPUP_LAST; }

void menuSelect(int slot, int id) {
    if (!listPopupCommand(id)) return;
    char desc[UI_STATUS_DESC_MAX + 1] = {};
    uiListPopupDescription(slot, id - UI_LISTPOPUP_FIRST, desc, sizeof desc);
    uiStatusSetField(UI_STATUS_MSGFIELD, desc);
}

// The menu of an open list pop-up, at the window's top-left corner.
int showListPopup(int slot) {
    CuScreen* s = cuScreenAt(slot);
    if (!s || !s->wnd) return -1;
    std::array<std::array<char, UI_LISTPOPUP_TEXT + 2>, UI_LISTPOPUP_ITEMS> texts;
    std::array<PMenuItem, UI_LISTPOPUP_ITEMS> items{};
    int count = 0;
    while (count < UI_LISTPOPUP_ITEMS && uiListPopupItem(slot, count + 1, texts[count].data(), (int)texts[count].size()) > 0) {
        items[count] = PMenuItem{UI_LISTPOPUP_FIRST + 1 + count, texts[count].data(), 1, 0};
        ++count;
    }
    return platPopupMenu(s->wnd, items.data(), count, PPoint{0, 0});
}

}  // namespace

void uiSetChildrenMaximized(int on) { childrenMaximized = on ? 1 : 0; }
int uiChildrenMaximized() { return childrenMaximized; }
void uiSetFrameWindow(PWnd frame) { frameWnd = frame; }
PWnd uiFrameWindow() { return frameWnd ? frameWnd : platParent(cuMdiClient()); }
PWnd uiLastSessionWindow() { return lastSessionWnd; }

int uiActivateSession(int slot) {
    CuScreen* s = cuScreenAt(slot);
    if (!s) return -1;
    sessSelect(slot);
    platMdiActivate(s->wnd);
    if (platIsMinimized(s->wnd)) platShow(s->wnd, PSW_RESTORE);
    return 0;
}

int uiListPopupOpen(int slot, const char* text, int length, char headerMark, char partMark) {
    if (slot < 0 || slot >= CU_MAX_SCREENS || !text || length < 0) return -1;
    ListPopup& p = popups[slot];
    p.text.reset(new (std::nothrow) char[(size_t)length + 1]);
    if (!p.text) return -1;
    memcpy(p.text.get(), text, (size_t)length);
    p.text[length] = 0;
    p.length = length;
    p.headerMark = headerMark;
    p.partMark = partMark;
    p.open = true;
    if (showListPopup(slot) < 0) {
        uiListPopupClose(slot);
        return -1;
    }
    return 0;
}

bool uiListPopupIsOpen(int slot) { return slot >= 0 && slot < CU_MAX_SCREENS && popups[slot].open; }

int uiListPopupItem(int slot, int n, char* out, int size) {
    if (!uiListPopupIsOpen(slot) || !out || size < 2 || n < 1 || n > UI_LISTPOPUP_ITEMS) return -1;
    const ListPopup& p = popups[slot];
    const char* line;
    int len, k = itemLine(p, n);
    if (k < 0 || !lineAt(p, k, &line, &len)) return -1;
    len = trimmedLength(line, std::min(len, UI_LISTPOPUP_TEXT));
    len = std::min(len, size - 2);
    out[0] = '&';
    memcpy(out + 1, line, (size_t)len);
    out[len + 1] = 0;
    return len + 1;
}

int uiListPopupDescription(int slot, int n, char* out, int size) {
    if (!out || size < 1) return -1;
    out[0] = 0;
    if (!uiListPopupIsOpen(slot)) return -1;
    const ListPopup& p = popups[slot];
    int k = itemLine(p, n);
    if (k < 0) return -1;
    const char* line;
    int len;
    if (!lineAt(p, k + 1, &line, &len) || len < 1 || line[0] != p.partMark) return 0;
    len = trimmedLength(line + 1, len - 1);
    len = std::min({len, UI_STATUS_DESC_MAX, size - 1});
    memcpy(out, line + 1, (size_t)len);
    out[len] = 0;
    return len;
}

void uiListPopupClose(int slot) {
    if (slot < 0 || slot >= CU_MAX_SCREENS) return;
    popups[slot] = ListPopup{};
}

PResult uiChildWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp) {
    switch (msg) {
    case PM_SOCKET:
    case PM_TIMER:
    case PM_PROCESS_KEYS:
    case PM_CLOSE:
    case PM_QUERYENDSESSION:
    case PM_DESTROY: {
        bool handled = false;
        if (msg == PM_DESTROY) {
            int slot = slotOfWindow(wnd);
            if (slot >= 0) uiListPopupClose(slot);
            if (lastSessionWnd == wnd) lastSessionWnd = 0;
        }
        return sessWndRoute(wnd, msg, wp, lp, &handled);
    }
    case PM_CREATE:
        platPost(uiFrameWindow(), PM_SESSIONS_CHANGED, 0, 0);
        platSetFocus(wnd);
        return 0;
    default:
        break;
    }

    refreshFocus();
    int prev = chCurSlot;
    int slot = slotOfWindow(wnd);
    if (slot >= 0) sessSelect(slot);
    CuScreen* s = cuScreenAt(slot);
    PResult result = 0;
    switch (msg) {
    case PM_SIZE: {
        int cw = (int)(lp & 0xFFFF), ch = (int)((lp >> 16) & 0xFFFF);
        logPrintf("#Child:Size(%i)(%i)(%i)\n", (int)wp, cw, ch);
        uiWMSize(wnd, (int)wp, cw, ch);
        CuScreen* f = cuFocusScreen();
        for (int i = 0; f && i < CU_MAX_SCREENS; ++i)
            if (cuScreenAt(i) == f) uiStatusUpdate(i);
        logPrintf("#Child:Size2(%i)(%i)(%i)\n", (int)wp, cw, ch);
        break;
    }
    case PM_SETFOCUS:
        if (s) {
            cuSetFocusScreen(s);
            uiCaret(s, UI_CARET_CREATE | UI_CARET_PLACE | UI_CARET_SHOW);
            uiStatusUpdate(slot);
            platPost(uiFrameWindow(), PM_SESSIONS_CHANGED, 0, 0);
        }
        break;
    case PM_KILLFOCUS:
        if (s) uiCaret(s, UI_CARET_DESTROY);
        lastSessionWnd = wnd;
        cuSetFocusScreen(nullptr);
        if (!anyScreen()) {
            sessSelect(-1);
            uiStatusUpdate(-1);
            prev = -1;
        }
        break;
    case PM_PAINT:
        uiWMPaint(wnd);
        break;
    case PM_PAINT_DIRTY:
        if (s) cuPaintDirty();
        break;
    case PM_ERASEBKGND: {
        PDC dc = platGetDC(wnd);
        if (dc) {
            uiEraseBackground(wnd, dc);
            platReleaseDC(wnd, dc);
        }
        result = 1;
        break;
    }
    case PM_KEYDOWN:
        result = uiWMKeyDown(wp, lp);
        break;
    case PM_CHAR:
        result = uiWMChar(wp, lp);
        break;
    case PM_SYSKEYDOWN:
        result = uiWMSysKeyDown(wp, lp);
        break;
    case PM_SYSCHAR:
        result = uiWMSysChar(wp, lp);
        break;
    case PM_MOUSEMOVE:
    case PM_LBUTTONDOWN:
    case PM_LBUTTONUP:
    case PM_LBUTTONDBLCLK:
    case PM_RBUTTONDOWN:
    case PM_RBUTTONUP:
    case PM_RBUTTONDBLCLK:
        result = uiWMMouse(wnd, msg, wp, lp);
        break;
    case PM_COMMAND: {
        int id = (int)(wp & 0xFFFF);
        logPrintf("#Child:Command(%x)(%x)\n", (unsigned)wp, (unsigned)lp);
        if (id == UI_LISTPOPUP_CLOSED) platPost(wnd, PM_COMMAND, UI_LISTPOPUP_FIRST, 0);
        else if (listPopupCommand(id)) {
            if (slot >= 0) listPopupAnswer(slot, id - UI_LISTPOPUP_FIRST);
        } else {
            // The session pop-up menu's items are the frame's commands.
            platPost(uiFrameWindow(), PM_COMMAND, wp, lp);
        }
        break;
    }
    case PM_MENUSELECT:
        if (slot >= 0) menuSelect(slot, (int)(wp & 0xFFFF));
        break;
    case PM_EXITMENULOOP:
        platPost(wnd, PM_COMMAND, UI_LISTPOPUP_CLOSED, 0);
        break;
    case PM_MDIACTIVATE:
        if ((PWnd)lp == wnd) platSetFocus(wnd);
        break;
    default:
        break;
    }
    if (prev != chCurSlot) sessSelect(prev);
    return result;
}
