// CHILD: the session table, the routing of host data to the UNIX
// interpreter or the MCS handler, the pseudo-mode switch and the sending of
// typed keys.
#include "core/child.h"

#include "common/log.h"
#include "common/strtab.h"
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "net/login.h"
#include "print/prnt.h"
#include "ui/errbox.h"
#include "ui/profile.h"
#include "ui/status.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/socket.h>

ChSession* chSessPtr = nullptr;
int chCurSlot = -1;

namespace {

constexpr int MSG_TEXT_MAX = 1280;

struct ChRequest {
    KORVEX* d;
    int32_t slot;
    int32_t oob;
};

std::array<ChSession, CH_MAX_SESSIONS> sessions{};
std::array<uint8_t, CH_MSGBUF_SIZE> msgBuf{};
bool busy = false;
std::array<ChRequest, CH_MAX_REQUESTS> requests{};
int requestCount = 0;
bool connectedOnce = false;
PWnd frameWnd = 0;
int pendingAccept = -1;
ChHostOutput hostOutput = nullptr;
ChMcsRequest mcsRequest = nullptr;

// ---- descriptor calls, in one place ----

// Slots a variant has no use for assert in debug builds; the calls below
// that only the host variants know are guarded so that a dummy HostIO
// descriptor (no host connection) is never asked for them.
int dSocket(KORVEX* d) { return d ? korvexSocket(d) : -1; }
int dRead(KORVEX* d, uint8_t* buf, int size) { return korvexRead(d, buf, size); }
int dReadOob(KORVEX* d, uint8_t* buf, int size) { return korvexIsMcs(d) ? -1 : korvexReadOob(d, buf, size); }
void dAsyncRead(KORVEX* d) { korvexAsyncRead(d); }
int dWrite(KORVEX* d, const uint8_t* bytes, int len) { return korvexWrite(d, bytes, len); }
void dClose(KORVEX* d) { if (d) korvexClose(d); }
void dDestroy(KORVEX* d) { if (d) destroy(d); }
int dLogin(KORVEX* d, const char* user) { return korvexIsMcs(d) ? -1 : korvexLogin(d, user); }
int dResize(KORVEX* d, int rows, int cols) { return korvexIsMcs(d) ? -1 : korvexResize(d, rows, cols); }

// ---- small helpers ----

// Mode-switch timer identifiers are slot + 1: a timer identifier of 0 is
// refused by the platform, and the key-delay timer keeps 123.
uintptr_t modeTimerId(int slot) { return (uintptr_t)slot + 1; }

ChSession& freshRecord(int slot) {
    ChSession& s = sessions[slot];
    s = ChSession{};
    s.slot = slot;
    s.scrSlot = slot;
    s.prevFunc = -1;
    s.func = -1;
    return s;
}

PWnd sessWindow(int slot) {
    CuScreen* scr = cuScreenAt(slot);
    return scr ? scr->wnd : 0;
}

int wndSlot(PWnd wnd) {
    if (!wnd || !platIsWindow(wnd)) return -1;
    intptr_t v = platUserWord(wnd);
    return (v >= 1 && v <= CH_MAX_SESSIONS) ? (int)v - 1 : -1;
}

PWnd frameWindow(PWnd from) {
    if (frameWnd) return frameWnd;
    PWnd client = from ? platParent(from) : cuMdiClient();
    return client ? platParent(client) : 0;
}

bool optionOn(const char* section, const char* key, const char* def) {
    char v[16];
    cfgGetString(section, key, def, v, sizeof v);
    return strcasecmp(v, "ON") == 0;
}
bool typeAheadOn() { return optionOn("Options", "TypeAhead", "ON"); }

bool isFunctionKey(int32_t key) {
    return (key >= 0x3B00 && key <= 0x4400 && (key & 0xFF) == 0) ||
           (key >= 0x5400 && key <= 0x5D00 && (key & 0xFF) == 0) ||
           key == 0x8500 || key == 0x8600 || key == 0x8700 || key == 0x8800;
}

// Keys go nowhere while the host works on an MCS screen (unless type-ahead
// keeps them) or while the UNIX host has locked the keyboard.
bool formsLocked(const ChSession* s) {
    const McsTerminal* t = s->term;
    return t && t->lockedForInput && !t->xmitRequested;
}

// Forgets queued requests of a descriptor that is about to go away.
void dropRequests(KORVEX* d) {
    if (!d) return;
    for (ChRequest& r : requests)
        if (r.d == d) {
            r = ChRequest{};
            --requestCount;
        }
}

void killModeTimer(ChSession* s) {
    PWnd wnd = sessWindow(s->slot);
    if (!wnd || !platKillTimer(wnd, modeTimerId(s->slot)))
        showError("Unable to kill timer handling standard output data!");
    s->timer = 0;
}

void startModeTimer(ChSession* s) {
    PWnd wnd = sessWindow(s->slot);
    uintptr_t h = wnd ? platSetTimer(wnd, modeTimerId(s->slot), CH_MODESWITCH_MS) : 0;
    if (!h) {
        showError("Unable to set timer handling unexpected standard output data!");
        return;
    }
    s->timer = (intptr_t)h;
}

void closePrintJobs(ChSession* s) {
    if (s->transPrint || s->hostPrint) cuAuxOff();
    s->transPrint = 0;
    s->hostPrint = 0;
    s->flags &= (uint16_t)~CHF_TRANSPRINT;
}

// The rlogin server's window-size request: report the grid size, and from
// now on the screen reports by itself.
void reportWindowSize(KORVEX* d) {
    CuScreen* scr = cuScrPtr;
    if (!scr) return;
    dResize(d, scr->Rows, scr->Cols);
    scr->winSizeActive = 1;
    scr->winSizeCountdown = 0;
}

void hostData(ChSession* s, KORVEX* d, int oob);
void mcsData(ChSession* s, KORVEX* d);

// Hands the EndPsuedo that waited for the mark to the MCS handler. The
// request carries the header of the deferred request (function 206), built
// in a buffer of its own so that the host data is not touched.
void answerEndPsuedo(ChSession* s) {
    logPrintf("#Handle pending EndPsuedo now...\n");
    std::array<uint8_t, ZENBUF_HEADER_SIZE + 1> req{};
    if (s->endHeaderSet)
        std::copy(s->endHeader.begin(), s->endHeader.end(), req.begin());
    else
        std::memcpy(req.data(), msgBuf.data(), req.size());
    req[ZENBUF_FUNC_OFFSET] = (uint8_t)(dFendPsuedo >> 8);
    req[ZENBUF_FUNC_OFFSET + 1] = (uint8_t)(dFendPsuedo & 0xFF);
    s->endHeaderSet = 0;
    (mcsRequest ? mcsRequest : msrDoMcsRequest)(s->slot, req.data(), (int)req.size());
    s->flags &= (uint16_t)~CHF_ENDPENDING;
}

void showHost(ChSession* s, const uint8_t* data, int n) {
    CuScreen* scr = cuScrPtr;
    cuRefresh();
    if (scr && scr->markState == 2) scr->markState = 0;
    if (scr && scr->waitState == 8 && scr->waitLen > 0 &&
        std::search(data, data + n, scr->waitText, scr->waitText + std::min(scr->waitLen, CU_WAIT_TEXT)) != data + n)
        scr->waitState = 0;
    sessSelect(s->slot);
    bool held = unixEchoHeld(s->unix);
    if (held) cuPopCursor();
    s->flags |= CHF_ACTIVITY;
    (hostOutput ? hostOutput : unixOut)(data, n);
    if (held) cuPushCursor();
    uiStatusUpdate(s->slot);
    cuRefresh();
}

void hostData(ChSession* s, KORVEX* d, int oob) {
    if (!(s->flags & CHF_CHARMODE)) {
        logPrintf("#Need BgnPsuedo for unix mode output\n");
        s->flags |= CHF_HOSTWAIT;
        if (oob) s->flags |= CHF_HOSTOOB;
        // Readiness repeats while the data stays unread; restarting the
        // timer on every repeat would keep it from ever going off.
        if (s->timer == 0) startModeTimer(s);
        return;
    }
    if (busy) {
        waitRequest(d, chCurSlot, oob);
        return;
    }
    char name[48];
    std::snprintf(name, sizeof name, "uiProcessData(HostIO(OOB=%d))", oob);
    ChSemSet(1, name);

    uint8_t* buf = msgBuf.data();
    if (oob) {
        int n = dReadOob(d, buf, CH_HOSTREAD_MAX);
        for (int i = 0; i < n; ++i)
            if (buf[i] == 0x80) reportWindowSize(d);
    } else {
        int n = dRead(d, buf, CH_HOSTREAD_MAX);
        CuScreen* scr = cuScrPtr;
        // A full read may have left more behind where the socket cannot
        // report it: SSH takes everything the socket holds into its own
        // buffer. Another read event follows the other waiting messages.
        if (n == CH_HOSTREAD_MAX && scr && scr->wnd)
            platPost(scr->wnd, PM_SOCKET, (PWParam)dSocket(d), platSelectLParam(FD_READ, 0));
        if (n == 1 && buf[0] == 0 && scr && !scr->nulSwallowed) {
            scr->nulSwallowed = 1;  // the rlogin server's initial NUL
            n = 0;
        }
        bool markFound = false;
        if (n > 0 && (s->flags & CHF_EOFLOOK)) n = sessEofScan(s, buf, n, CH_MSGBUF_SIZE, &markFound);
        const uint8_t* data = buf;
        if (n > 0 && scr && !scr->winSizeActive && scr->winSizeCountdown > 0) {
            if (data[0] == 0x80) {
                reportWindowSize(d);
                ++data;
                --n;
            } else {
                --scr->winSizeCountdown;
            }
        }
        if (n > 0) showHost(s, data, n);
        if (markFound && (s->flags & CHF_ENDPENDING)) answerEndPsuedo(s);
    }

    ChSemSet(0, "uiProcessData(HostIO)");
    if ((s->flags & CHF_MCSWAITING) && s->mcs) {
        logPrintf("#Handle old pending MCS data\n");
        s->flags &= (uint16_t)~CHF_MCSWAITING;
        mcsData(s, s->mcs);
    }
}

void mcsData(ChSession* s, KORVEX* d) {
    if (s->flags & CHF_ENDPENDING) {
        logPrintf("#MCS request rcvd while waiting for EOF mark\n");
        s->flags |= CHF_MCSWAITING;
        return;
    }
    if (busy) {
        waitRequest(d, chCurSlot, 0);
        return;
    }
    ChSemSet(1, "uiProcessData(MCS)");
    dAsyncRead(d);
    cuRefresh();
    ChSemSet(0, "uiProcessData(MCS)");
    if (s->timer == CH_TIMER_STOP) killModeTimer(s);
    if ((s->flags & CHF_HOSTWAIT) && (s->flags & CHF_CHARMODE) && s->hostIO) {
        // The waiting data is read as normal data now; the out-of-band mark
        // goes with it so that it cannot stick to later data.
        s->flags &= (uint16_t)~(CHF_HOSTWAIT | CHF_HOSTOOB);
        logPrintf("#Handle old pending UNIX data\n");
        hostData(s, s->hostIO, 0);
    }
}

// Data on a socket that belongs to no channel of the session: drained and
// thrown away.
void discardData(KORVEX* d) {
    int sock = dSocket(d);
    if (sock < 0) return;
    while (recv(sock, msgBuf.data(), CH_HOSTREAD_MAX, MSG_DONTWAIT) > 0) {
    }
}

int keyInputChar(ChSession* s) {
    while (cuKeyQueue(CU_KQ_PEEK_AVAIL)) {
        char text[CH_KEYTEXT_MAX + UNIX_KEY_STRING_MAX + 1];
        int len = 0;
        bool fkey = false;
        while (cuKeyQueue(CU_KQ_PEEK_AVAIL)) {
            int32_t key = cuKeyQueue(CU_KQ_GET);
            if (key >= 0x7FF0 && key <= 0x7FF3) continue;
            if (isFunctionKey(key)) fkey = true;
            len += unixKeyString(s->unix, key, text + len, UNIX_KEY_STRING_MAX);
            if (len >= CH_KEYTEXT_MAX || fkey || (s->flags & CHF_LOCALECHO)) break;
        }
        text[len] = 0;
        if (doLocalEcho(text, len)) {
            if (fkey) s->flags |= CHF_SKIPECHO;
            return 1;
        }
        if (fkey) s->flags |= CHF_SKIPECHO;
        if (len > 0 && (!s->hostIO || dWrite(s->hostIO, (const uint8_t*)text, len) < 0)) {
            if (cuFocusScreen()) {
                logPrintf("Post IDM_FILECLOSE\n");
                platPost(frameWindow(sessWindow(s->slot)), PM_COMMAND, IDM_FILECLOSE, 0);
            }
            return 0;
        }
    }
    return 1;
}

int keyInputMcs(ChSession* s) {
    int mode = s->flags & CHF_MODE;
    bool allowed = (mode & CHF_WAITINPUT) || ((mode & CHF_IDLE) && s->func == dFidle);
    if (allowed && s->prevFunc == dFidle && s->func == dFidle) {
        allowed = s->term && s->term->hostXmit;
        if (allowed) s->term->sKey = 0;
    }
    if (!allowed) return 1;
    const uint8_t* reply = nullptr;
    int n = doMcsInputFunc(0, &reply);
    if (n > 0 && reply) {
        if (!s->mcs || dWrite(s->mcs, reply, n) < 0) {
            mcsChannelEnd();
            return 0;
        }
        s->prevFunc = s->func;
        s->func = dFidle;
        s->flags = (uint16_t)((s->flags & ~CHF_MODE) | CHF_IDLE);
    }
    return 1;
}

void afterMessage(int prevSlot) {
    if (pendingAccept >= 0 && !busy) {
        ChSemSet(1, "PendingConnect");
        int sock = pendingAccept;
        msrStart(sock);
        pendingAccept = -1;
        ChSemSet(0, "PendingConnect");
    }
    sessSelect(prevSlot);
}

} // namespace

int sessEofScan(ChSession* s, uint8_t* buf, int n, int cap, bool* markFound) {
    if (!s || !buf || n < 0 || n > cap) return 0;
    int m = (s->eofCount > 0 && s->eofCount < CH_EOF_MARK_LEN) ? s->eofCount : 0;
    int i = 0;
    while (i < n) {
        if (buf[i] == (uint8_t)CH_EOF_MARK[m]) {
            if (++m == CH_EOF_MARK_LEN) {
                s->flags &= (uint16_t)~CHF_EOFLOOK;
                logPrintf("#Received EOF mark\n");
                s->flags |= CHF_EOFSEEN;
                s->eofCount = 0;
                *markFound = true;
                // The rest of this read follows the mark and is not shown.
                return std::max(0, i - (CH_EOF_MARK_LEN - 1));
            }
            ++i;
            continue;
        }
        if (i < m) {
            // The match began in an earlier read: the held-back characters
            // were text after all and go in front of this read.
            int k = m - i;
            if (n + k > cap) k = cap - n;  // reads leave room; never write past it
            std::memmove(buf + k, buf, (size_t)n);
            std::memcpy(buf, CH_EOF_MARK, (size_t)k);
            n += k;
            m = 0;
            i += 1;
            continue;
        }
        if (m > 0) {
            m = 0;  // test the same byte again as a first character
            continue;
        }
        ++i;
    }
    s->eofCount = (int16_t)m;
    return std::max(0, n - m);
}

uint8_t* chMsgBuffer() { return msgBuf.data(); }

ChSession* sessAt(int slot) {
    return (slot >= 0 && slot < CH_MAX_SESSIONS) ? &sessions[slot] : nullptr;
}

bool sessIsOpen(int slot) { return cuScreenAt(slot) != nullptr; }

void sessTableInit() {
    for (int i = 0; i < CH_MAX_SESSIONS; ++i) freshRecord(i);
    requests.fill(ChRequest{});
    requestCount = 0;
    busy = false;
    chSessPtr = nullptr;
    chCurSlot = -1;
}

int ChConnect(const char* host, const char* login, int kind, int slot) {
    if (!connectedOnce) {
        requests.fill(ChRequest{});
        requestCount = 0;
        connectedOnce = true;
    }
    if (slot < 0) {
        for (int i = 0; i < CH_MAX_SESSIONS && slot < 0; ++i)
            if (!sessIsOpen(i)) slot = i;
        if (slot < 0) {
            showError("Maximum number of sessions reached.");
            return -1;
        }
    }
    uint8_t addr[4];
    if (!host || !comHostAddr(host, addr)) {
        logPrintf("#ChConnect: no addr for host[%s]\n", host ? host : "");
        char text[MSG_TEXT_MAX];
        std::snprintf(text, sizeof text, "Unknown Host Name (%s)", host ? host : "");
        showInternalError(text, "CHILD", __LINE__);
        return -2;
    }
    return sessOpen(slot, host, login, kind);
}

int sessOpen(int slot, const char* host, const char* login, int kind) {
    if (slot < 0 || slot >= CH_MAX_SESSIONS || !host) return -1;
    int conn = 0;
    if (cuSessNew(slot, host, &conn) < 0) return -1;
    CuScreen* scr = cuScreenAt(slot);

    int sock = -1;
    LIBSSH2_SESSION* ssh = nullptr;
    if (kind >= 1) {
        sock = comHostLogin(host, login ? login : "", kind, scr ? scr->wnd : 0, &ssh);
        if (scr) {
            std::snprintf(scr->loginName, sizeof scr->loginName, "%s", login ? login : "");
        }
        if (sock < 1) return -2;
    }
    KORVEX* d = comNewDescriptor(kind, sock, ssh);

    ChSession& s = freshRecord(slot);
    std::strncpy(s.hostName, host, CH_HOSTNAME_CHARS);
    s.hostConn = conn;
    s.flags = CHF_CHARMODE;
    s.hostIO = d;
    sessSelect(slot);

    s.areas = mcsAreasNew();
    if (!s.areas) showError("Error allocating memory!");
    if (scr) unixInit(&s, UNIX_TYPE_V, scr->Rows, scr->Cols, true);
    return slot;
}

int sessSelect(int slot) {
    if (slot < 0 || cuSelect(slot) < 0) {
        cuSelect(-1);
        chSessPtr = nullptr;
        chCurSlot = -1;
        return -1;
    }
    ChSession* s = &sessions[slot];
    chSessPtr = s;
    chCurSlot = slot;
    mcsSetTermSize(cuScrPtr->Rows, cuScrPtr->Cols);
    if (s->term) s->term->sessOptions = s->flags & (CHF_OPT10 | CHF_OPT08);
    return slot;
}

void sessClose(int slot) {
    if (slot < 0 || slot >= CH_MAX_SESSIONS) return;
    ChSession* s = &sessions[slot];
    sessSelect(slot);
    PWnd wnd = sessWindow(slot);
    if (s->term) mcsRestoreTitle(s->term, wnd);

    dropRequests(s->hostIO);
    dropRequests(s->mcs);
    dClose(s->hostIO);
    dClose(s->mcs);
    mcsTermShutdown(&s->term);

    closePrintJobs(s);
    unixFree(s->unix);

    mcsAreasFree(s->areas);
    s->areas = nullptr;

    if (s->hostIO) dDestroy(s->hostIO);
    if (s->mcs) dDestroy(s->mcs);
    if (wnd && s->timer > 0) platKillTimer(wnd, modeTimerId(slot));
    freshRecord(slot).flags = CHF_CHARMODE;
    sessSelect(-1);
    cuSessClose(slot);
}

int ChSemSet(int on, const char* name) {
    logPrintf("#ChSemSet (%s) (%i)\n", name ? name : "", on);
    if (busy && on) return 0;
    busy = on != 0;
    if (!busy && requestCount > 0) {
        for (int i = 0; i < CH_MAX_REQUESTS; ++i)
            if (requests[i].d) {
                releaseRequest(i);
                break;
            }
    }
    return 1;
}

bool chBusy() { return busy; }
int chRequestCount() { return requestCount; }

void waitRequest(KORVEX* d, int slot, int oob) {
    logPrintf("#waitRequest sock(%d) sess(%d OOB(%d))\n", dSocket(d), slot, oob);
    for (ChRequest& r : requests) {
        if (r.d == d) return;
        if (!r.d) {
            r = ChRequest{d, slot, oob};
            ++requestCount;
            return;
        }
    }
    logPrintf("#waitRequest: queue full, request dropped\n");
}

void releaseRequest(int index) {
    if (index < 0 || index >= CH_MAX_REQUESTS || !requests[index].d) return;
    ChRequest r = requests[index];
    logPrintf("#releaseRequest sock(%d) sess(%d) OOB(%d)\n", dSocket(r.d), r.slot, r.oob);
    --requestCount;
    requests[index] = ChRequest{};
    int prev = chCurSlot;
    sessSelect(r.slot);
    uiProcessData(r.d, r.oob);
    sessSelect(prev);
}

void uiProcessData(KORVEX* d, int oob) {
    if (!d) return;
    ChSession* s = chSessPtr;
    if (s && d == s->hostIO)
        hostData(s, d, oob);
    else if (s && d == s->mcs)
        mcsData(s, d);
    else
        discardData(d);
}

void uiProcessKeys() {
    if (busy) {
        logPrintf("#uiProcessKeys: Skipped ( semTest returned TRUE )\n");
        return;
    }
    if (!cuScrPtr || !chSessPtr) {
        logPrintf("#uiProcessKeys: Skipped ( cuScrPtr is NULL )\n");
        return;
    }
    if (!cuScrPtr->writable) {
        logPrintf("#uiProcessKeys: Skipped ( Socket is not writable )\n");
        return;
    }
    ChSession* s = chSessPtr;
    bool locked = (s->flags & CHF_CHARMODE) ? unixKbdLocked(s->unix) : (formsLocked(s) && typeAheadOn());
    if (locked) {
        logPrintf("#uiProcessKeys: Skipped ( Terminal is in Wait mode )\n");
        return;
    }
    while (cuScrPtr && cuKeyQueue(CU_KQ_PEEK_AVAIL)) {
        int readPos = cuScrPtr->keyRead;
        bool charMode = (s->flags & CHF_CHARMODE) != 0;
        ChSemSet(1, "uiProcessKeys");
        if (msrDoKeyInput() == 0) {
            logPrintf("#uiProcessKeys: Skipped ( msrDoKeyInput returned NULL )\n");
            ChSemSet(0, "uiProcessKeys");
            break;
        }
        cuRefresh();
        ChSemSet(0, "uiProcessKeys");
        // The forms editor takes what it wants; keys it leaves stay queued.
        if (!charMode && cuScrPtr && cuScrPtr->keyRead == readPos) break;
    }
}

int msrDoKeyInput() {
    ChSession* s = chSessPtr;
    if (!s || !cuScrPtr) return 0;
    int r = (s->flags & CHF_CHARMODE) ? keyInputChar(s) : keyInputMcs(s);
    if (r != 0) s->flags |= CHF_ACTIVITY;
    return r;
}

void sessKeyTyped(int32_t key) {
    ChSession* s = chSessPtr;
    CuScreen* scr = cuScrPtr;
    if (!s || !scr) return;
    bool charMode = (s->flags & CHF_CHARMODE) != 0;
    if (!charMode && formsLocked(s) && !typeAheadOn()) {
        cuBell();
        return;
    }
    cuKeyPut(key);
    if (charMode) {
        int delay = cfgGetInt("Hosts", "CharDelay", 0);
        if (delay > 0) {
            uintptr_t h = platSetTimer(scr->wnd, CH_KEYDELAY_TIMER, (uint32_t)delay);
            if (h) {
                scr->keyDelayTimer = h;
                logPrintf("#SetTimer (%d)\n", delay);
                return;
            }
        }
    }
    platPost(scr->wnd, PM_PROCESS_KEYS, 0, 0);
}

void mcsChannelEnd() {
    ChSession* s = chSessPtr;
    if (!s) return;
    if (s->hostPrint) {
        cuAuxOff();
        s->hostPrint = 0;
    }
    if (s->mcs) {
        KORVEX* d = s->mcs;
        dropRequests(d);
        s->mcs = nullptr;
        dClose(d);
        dDestroy(d);
        if (cuScrPtr) {
            cuResetAttrs(0);
            cuButtonMode(false);
            cuScrollRegion(0, 0, cuScrPtr->Rows - 1, cuScrPtr->Cols - 1, CU_ATTR_UNIX_NORMAL, 1, true);
            cuSetCursor(cuScrPtr->Rows - 1, 0);
        }
    }
    if (s->term) {
        mcsCloseDialogs(s->slot);
        mcsRestoreTitle(s->term, sessWindow(s->slot));
        mcsTermShutdown(&s->term);
    }
    mcsFreeFormats(s->areas);
    if (s->timer > 0) {
        PWnd wnd = sessWindow(s->slot);
        if (wnd) platKillTimer(wnd, modeTimerId(s->slot));
    }
    s->flags = (uint16_t)((s->flags & ~(CHF_WAITINPUT | CHF_IDLE)) | CHF_CHARMODE);
    s->eofCount = 0;
    s->timer = 0;
}

int sessBgnPsuedo(int slot) {
    ChSession* s = sessAt(slot);
    if (!s) return -1;
    if (s->timer != 0) s->timer = CH_TIMER_STOP;
    if (s->flags & CHF_CHARMODE) {
        logPrintf("Already in character mode when BgnPsuedo received\n");
        return 0;
    }
    s->flags = (uint16_t)((s->flags & ~(CHF_MODE | CHF_EOFLOOK)) | CHF_EOFLOOK | CHF_CHARMODE);
    return 1;
}

int sessEndPsuedo(int slot, const uint8_t* header) {
    ChSession* s = sessAt(slot);
    if (!s) return -1;
    if (s->flags & CHF_EOFSEEN) {
        s->flags = (uint16_t)((s->flags & ~(CHF_EOFSEEN | CHF_MODE)) | CHF_IDLE);
        return 1;
    }
    s->flags |= CHF_ENDPENDING;
    if (header) {
        std::copy(header, header + ZENBUF_HEADER_SIZE, s->endHeader.begin());
        s->endHeaderSet = 1;
    }
    return 0;
}

void uiSessionSocketEvent(PWnd wnd, PWParam wp, PLParam lp) {
    int sock = (int)wp;
    uint32_t event = platSelectEvent(lp);
    int error = platSelectError(lp);
    logPrintf("#Child:SocketEvent(%i)(%i)(%x)\n", sock, (int)event, error);
    ChSession* s = chSessPtr;
    if (!cuScrPtr || !s) return;
    KORVEX* d = nullptr;
    bool host = false;
    if (s->hostIO && dSocket(s->hostIO) == sock) {
        d = s->hostIO;
        host = true;
    } else if (s->mcs && dSocket(s->mcs) == sock) {
        d = s->mcs;
    }
    if (!d) {
        logPrintf("#Child:SocketEvent cannot find KORVEX * descriptor");
        return;
    }
    if (error != 0 || event == FD_CLOSE) {
        if (error != 0 && event != FD_CLOSE) {
            char text[MSG_TEXT_MAX];
            int n = std::snprintf(text, sizeof text, "Error [%d] on socket[%d]\n", error, sock);
            if (n > 0 && n < (int)sizeof text) std::snprintf(text + n, sizeof text - n, "%s", strGet(error));
            showError(text);
        }
        if (host) {
            sessClose(s->slot);
            if (wnd && platIsWindow(wnd)) platDestroyWindow(wnd);
        } else {
            mcsChannelEnd();
        }
        return;
    }
    switch (event) {
    case FD_READ:
        uiProcessData(d, 0);
        uiProcessKeys();
        break;
    case FD_WRITE:
        cuScrPtr->writable = 1;
        if (host && !cuScrPtr->loginSent) {
            cuScrPtr->loginSent = 1;
            dLogin(d, cuScrPtr->loginName);
        }
        break;
    case FD_OOB:
        uiProcessData(d, 1);
        uiProcessKeys();
        break;
    case FD_CONNECT:
        comLocalAddr(sock);
        break;
    default: {
        char text[MSG_TEXT_MAX];
        std::snprintf(text, sizeof text, "Unexpected event [%d] received on socket[%d]", (int)event, sock);
        showInternalError(text, "CHILD", __LINE__);
        break;
    }
    }
}

void uiSessionModeTimer(int slot) {
    ChSession* s = sessAt(slot);
    if (!s || !sessIsOpen(slot)) return;
    int prev = chCurSlot;
    sessSelect(slot);
    killModeTimer(s);
    if (!(s->flags & CHF_CHARMODE) && s->hostIO) {
        logPrintf("#Mode switch detection timer went off for session %d\n", slot + 1);
        int oob = (s->flags & CHF_HOSTOOB) ? 1 : 0;
        s->flags &= (uint16_t)~(CHF_HOSTWAIT | CHF_HOSTOOB);
        uint16_t saved = s->flags;
        s->flags = (uint16_t)((s->flags & ~CHF_MODE) | CHF_CHARMODE);
        uiProcessData(s->hostIO, oob);
        s->flags = saved;
    }
    sessSelect(prev);
}

void uiSessionKeyTimer(PWnd wnd) {
    platKillTimer(wnd, CH_KEYDELAY_TIMER);
    if (cuScrPtr) cuScrPtr->keyDelayTimer = 0;
    uiProcessKeys();
}

void uiSessionClose(PWnd wnd) {
    int prev = chCurSlot;
    int slot = wndSlot(wnd);
    if (slot >= 0) sessClose(slot);
    if (wnd && platIsWindow(wnd)) platDestroyWindow(wnd);
    sessSelect(prev);
}

PResult uiSessionQueryEnd(PWnd wnd) {
    int prev = chCurSlot;
    int slot = wndSlot(wnd);
    if (slot >= 0) sessClose(slot);
    sessSelect(prev);
    return 0;
}

void uiSessionDestroyed(PWnd wnd) {
    int slot = wndSlot(wnd);
    if (slot >= 0 && sessIsOpen(slot)) sessClose(slot);
    PWnd frame = frameWindow(wnd);
    if (!frame) return;
    bool any = false;
    for (int i = 0; i < CH_MAX_SESSIONS; ++i)
        if (i != slot && sessIsOpen(i)) any = true;
    if (!any && optionOn("Options", "AutoExit", "OFF"))
        platPost(frame, PM_CLOSE, 0, 0);
    else
        platPost(frame, PM_SESSIONS_CHANGED, 0, 0);
}

PResult sessWndRoute(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp, bool* handled) {
    *handled = true;
    int prev = chCurSlot;
    int slot = wndSlot(wnd);
    PResult result = 0;
    switch (msg) {
    case PM_SOCKET:
        sessSelect(slot);
        uiSessionSocketEvent(wnd, wp, lp);
        break;
    case PM_TIMER:
        sessSelect(slot);
        if (wp == CH_KEYDELAY_TIMER)
            uiSessionKeyTimer(wnd);
        else if (slot >= 0 && wp == modeTimerId(slot))
            uiSessionModeTimer(slot);
        else
            *handled = false;
        break;
    case PM_PROCESS_KEYS:
        sessSelect(slot);
        uiProcessKeys();
        break;
    case PM_CLOSE:
        uiSessionClose(wnd);
        break;
    case PM_QUERYENDSESSION:
        result = uiSessionQueryEnd(wnd);
        break;
    case PM_DESTROY:
        uiSessionDestroyed(wnd);
        break;
    default:
        *handled = false;
        return 0;
    }
    afterMessage(prev);
    return result;
}

PResult sessWndProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp) {
    bool handled = false;
    return sessWndRoute(wnd, msg, wp, lp, &handled);
}

void sessSetFrame(PWnd frame) { frameWnd = frame; }
void sessSetPendingAccept(int listenSocket) { pendingAccept = listenSocket; }
int sessPendingAccept() { return pendingAccept; }
void sessSetHostOutput(ChHostOutput fn) { hostOutput = fn; }
void sessSetMcsRequest(ChMcsRequest fn) { mcsRequest = fn; }
