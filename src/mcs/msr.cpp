// The MCS server: the call-back handshake, the dispatch of the host's
// requests, the completion of requests that wait for the operator or a
// deadline, and the session's MCS records.
#include "mcs/msr.h"

#include "common/arc/packbuf.h"
#include "common/arc/packmsg.h"
#include "common/log.h"
#include "core/child.h"
#include "core/cuscr.h"
#include "mcs/fncode.h"
#include "mcs/mcsdlg.h"
#include "mcs/mcsfmt.h"
#include "mcs/mcsform.h"
#include "mcs/mcsreq.h"
#include "mcs/mcsxfer.h"
#include "net/com.h"
#include "net/korvex.h"
#include "print/prnt.h"
#include "ui/config.h"
#include "ui/errbox.h"
#include "ui/status.h"
#include "ui/uiframe.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <new>

uint8_t mcsRollChar = 0;

namespace {

int termRows = 24;
int termCols = 80;

std::array<uint8_t, MSR_REPLY_SIZE> replyBuf{};

void termDispose(McsTerminal* term) { delete term; }
void termEndUse(McsTerminal*) {}

constexpr McsTermOps kPlainTermOps = {
    .dispose = termDispose,
    .endUse = termEndUse,
};

constexpr McsFormsOps kFormsEngine = {
    .preProcess = LCLpreProcess,
    .postProcess = LCLpostProcess,
    .inputCheck = mcsInputCheck,
    .outputDone = mcsOutputDone,
    .dispHelp = mcsDispHelp,
    .utsOut = utsOut,
};
const McsFormsOps* forms = &kFormsEngine;

using Buf = std::span<const uint8_t>;

bool oneOf(int func, std::initializer_list<int> codes) {
    return std::find(codes.begin(), codes.end(), func) != codes.end();
}
bool inRange(int func, int lo, int hi) { return func >= lo && func <= hi; }

bool winControls() { return uiOptions().winControls; }

// ---- function groups ----

bool formsAlways(int f) {
    return f == 17 || inRange(f, 20, 24) || inRange(f, 26, 34) || inRange(f, 41, 43) ||
           oneOf(f, {51, 52, 57, 58, 65, 198});
}
bool dialogCode(int f) { return oneOf(f, {dFask, dFaskyn, dFlist, dFmenu, dFtitle}); }
bool formsRequest(int f) { return formsAlways(f) || (dialogCode(f) && !winControls()); }
bool dialogRequest(int f) { return dialogCode(f) && winControls(); }

// Functions whose waiting input the deadline ends with a time-out reply.
bool deadlineGroup(int f) {
    return inRange(f, 20, 24) || inRange(f, 27, 34) || inRange(f, 41, 43) ||
           oneOf(f, {39, 47, 52, 57, 58, 198}) || (inRange(f, 36, 38) && !winControls());
}

// ---- small helpers ----

PWnd sessWnd(int slot) {
    CuScreen* scr = cuScreenAt(slot);
    return scr ? scr->wnd : 0;
}

bool hasHostConnection(ChSession* s) { return s->hostIO && korvexSocket(s->hostIO) >= 0; }

void setMode(ChSession* s, uint16_t mode) {
    s->flags = (uint16_t)((s->flags & ~CHF_MODE) | mode);
}

void setIdle(ChSession* s) {
    s->func = dFidle;
    setMode(s, CHF_IDLE);
}

bool deadlinePassed(const ChSession* s) { return s->mcsDeadline != 0 && msrNow() >= s->mcsDeadline; }

// The deadline check runs on the frame while any session has a deadline.
PWnd deadlineWindow(int slot) {
    PWnd client = cuMdiClient();
    if (!client) {
        PWnd w = sessWnd(slot);
        client = w ? platParent(w) : 0;
    }
    return client ? platParent(client) : 0;
}

void setDeadline(ChSession* s, int64_t at) {
    s->mcsDeadline = at;
    if (at == 0) return;
    PWnd frame = deadlineWindow(s->slot);
    if (!frame || !platSetTimer(frame, MSR_DEADLINE_TIMER, MSR_DEADLINE_MS))
        logPrintf("#msr: no deadline timer for session %d; the deadline is checked at the next key\n", s->slot + 1);
}

McsFormsCall formsCall(McsAreas& a, int func) {
    return McsFormsCall{
        .func = func,
        .ctl = &a.ctl,
        .msgArea = a.msgArea.data(),
        .text = a.msgArea.data() + MA_TEXT,
        .areaA = a.areaA.data(),
        .areaB = a.areaB.data(),
        .areaC = a.areaC.data(),
        .areaD = a.areaD.data(),
        .status = &a.statusChar,
        .count = a.trailingCount - 1,
        .msg = &a.msg,
    };
}

// Keeps the request's routing in the session's message so that a reply
// built later (or by the handler of another code) carries it.
void routingFrom(McsAreas& a, const ZenBufHeader& h) {
    a.msg.Pri = h.Pri;
    a.msg.P = h.P;
    a.msg.Q = h.Q;
    a.msg.Seg = h.Seg;
    a.msg.func = h.func;
    a.msg.Sub = h.Sub;
}

// A reply with the routing of the session's message and no parameters yet.
bool replyInit(McsAreas& a, int func) {
    return bufInit(replyBuf, a.msg.P, a.msg.Pri, a.msg.Q, a.msg.Seg, (int16_t)func, 0) == 0;
}

int replyDone(int rc, const uint8_t** reply) {
    if (rc < 0) {
        logPrintf("#msrServerHandler: reply does not fit (%d)\n", rc);
        return 0;
    }
    *reply = replyBuf.data();
    return getBufSize(replyBuf);
}

int standardReply(ChSession* s, int func, const uint8_t** reply) {
    int n = msrSendData(*s->areas, *s->term, s->mcs, func, replyBuf);
    if (n <= 0) {
        logPrintf("#msrSendData: reply to func [%s] does not fit\n", functionName(func));
        return 0;
    }
    *reply = replyBuf.data();
    return n;
}

// Trailing blanks go; at least keep characters stay.
int trimmed(const uint8_t* text, int len, int keep) {
    while (len > keep && (text[len - 1] == ' ' || text[len - 1] == 0)) --len;
    return len;
}

int msgString(McsAreas& a, int n, uint8_t* dest, int size) {
    if (n > a.msg.Prm || msgParamLen(a.msg, n) < 0) return 0;
    ZenOverflow ov = mcsOverflowOf(a);
    return msgCopyString(a.msg, &ov, n, std::span<uint8_t>(dest, (size_t)size));
}

// ---- 80: a workstation program ----

int doApp(const uint8_t* cmd, int len) {
    logDump("doApp", cmd, len);
    char line[MSR_APP_CMD_MAX + 1];
    int n = 0;
    for (int i = 0; i < len && cmd[i]; ++i) line[n++] = (char)cmd[i];
    line[n] = 0;
    std::array<const char*, MSR_APP_ARGS_MAX + 1> args{};
    int argc = 0;
    for (char* p = line; *p && argc < MSR_APP_ARGS_MAX;) {
        while (*p == ' ' || *p == '\t') *p++ = 0;
        if (!*p) break;
        args[argc++] = p;
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    int err = argc > 0 ? uiSpawn(args[0], args.data()) : ENOENT;
    if (err != 0) {
        logPrintf("#doApp failed with last error code %d\n", err);
        return 0;
    }
    return 1;
}

// ---- dialog requests ----

int dialogAsk(ChSession* s, int func) {
    McsAreas& a = *s->areas;
    uint8_t* text = a.msgArea.data() + MA_TEXT;
    std::fill(text, text + MSR_ASK_TEXT, ' ');
    uint8_t def[MSR_ASK_DEFAULT];
    int dn = msgString(a, 1, def, sizeof def);
    std::memcpy(text + MSR_ASK_DEFAULT, def, (size_t)dn);
    uint8_t prompt[MSR_PROMPT_SRC_MAX + 1];
    int pn;
    if (a.msg.Prm >= 2) {
        pn = msgString(a, 2, prompt, MSR_PROMPT_SRC_MAX);
    } else {
        pn = std::snprintf((char*)prompt, sizeof prompt, "%-8.8s : Type response and press Enter", a.ctl.termName);
        pn = std::clamp(pn, 0, MSR_PROMPT_SRC_MAX);
    }
    pn = std::min(trimmed(prompt, pn, 2), MSR_ASK_PROMPT_MAX);
    std::memcpy(text, prompt, (size_t)pn);
    s->func = func;
    setMode(s, CHF_IDLE);
    if (mcsAskDialog(s->slot, func == dFaskyn) < 0) {
        // Without a dialog the host gets a cancelled answer rather than none.
        logPrintf("#msrServerHandler: no dialog for func [%s], answered as cancelled\n", functionName(func));
        a.msgArea[MA_STATUS] = '0';
        return -1;
    }
    return 0;
}

// Appends a chunk within the announced size; what would pass it is dropped.
void listAppend(McsListData& l, const uint8_t* data, int len) {
    int room = l.expected - l.received;
    if (len > room) {
        logPrintf("#dFlist: chunk of %d bytes passes the %d-byte list, %d dropped\n", len, l.expected, len - room);
        len = room;
    }
    if (len > 0 && l.bytes) {
        std::memcpy(l.bytes.get() + l.received, data, (size_t)len);
        l.received += len;
    }
}

int dialogList(ChSession* s, const ZenBufHeader& h, const uint8_t** reply) {
    McsAreas& a = *s->areas;
    McsTerminal& t = *s->term;
    s->func = dFlist;
    setMode(s, CHF_IDLE);
    const int prm = a.msg.Prm;
    if (prm == 3 || prm == 0) {
        if (prm == 3) {
            int32_t rows = 0, cols = 0;
            msgGetInt(a.msg, 1, &rows);
            msgGetInt(a.msg, 2, &cols);
            uint8_t title[MSR_LIST_TITLE_MAX];
            msgString(a, 3, title, sizeof title);
            logPrintf("New-style %dx%d ZENLIST\n", rows, cols);
            t.list = McsListData{};
            int64_t size = (int64_t)std::max(rows, 0) * ((int64_t)std::max(cols, 0) + 1);
            if (size > 0 && size <= INT32_MAX) {
                t.list.bytes.reset(new (std::nothrow) uint8_t[(size_t)size]);
                if (t.list.bytes) {
                    t.list.rows = rows;
                    t.list.cols = cols;
                    t.list.expected = (int32_t)size;
                }
            }
            if (!t.list.bytes) logPrintf("#dFlist: no room for a %dx%d list\n", rows, cols);
        }
        int len = std::clamp<int>(zenGet16(a.msgArea.data() + MA_TEXTLEN), 0, MCS_MSGAREA_SIZE - MA_TEXT);
        listAppend(t.list, a.msgArea.data() + MA_TEXT, len);
        logPrintf("Got %d-byte chunk of %d byte list data\n", len, t.list.expected);
        if (t.list.received != t.list.expected && h.Sub != 3) {
            zenPut16(a.msgArea.data() + MA_TEXTLEN, 0);
            int n = standardReply(s, dFlist, reply);
            setIdle(s);
            return n;
        }
        if (mcsListDialog(s->slot, t.list.bytes.get(), t.list.received) < 0) {
            a.msgArea[MA_STATUS] = '0';
            zenPut16(a.msgArea.data() + MA_TEXTLEN, 0);
            int n = standardReply(s, dFlist, reply);
            setIdle(s);
            return n;
        }
        return 0;
    }
    uint8_t text[MSR_OLDLIST_TEXT_MAX];
    int tn = msgString(a, 1, text, sizeof text);
    if (logFlags & LOG_PACKET) logPrintf(" %d text=%-8.8s poll=%d\n", prm, (const char*)text, t.poll);
    if (prm < 3) {
        uint8_t* dest = a.msgArea.data() + MA_TEXT;
        int mn = msgString(a, 2, dest, MSR_LIST_TITLE_MAX);
        forms->dispHelp(text, tn, dest, mn);
        return 0;
    }
    int len = std::clamp<int>(zenGet16(a.msgArea.data() + MA_TEXTLEN), 0, MCS_MSGAREA_SIZE - MA_TEXT);
    if (mcsListDialog(s->slot, a.msgArea.data() + MA_TEXT, len) < 0) {
        a.msgArea[MA_STATUS] = '0';
        zenPut16(a.msgArea.data() + MA_TEXTLEN, 0);
        int n = standardReply(s, dFlist, reply);
        setIdle(s);
        return n;
    }
    return 0;
}

int dialogTitle(ChSession* s, const uint8_t** reply) {
    McsAreas& a = *s->areas;
    McsTerminal& t = *s->term;
    char title[MSR_WINTITLE_MAX + 1];
    int n = trimmed((const uint8_t*)title, msgString(a, 1, (uint8_t*)title, MSR_WINTITLE_MAX), 0);
    title[n] = 0;
    PWnd wnd = sessWnd(s->slot);
    if (!t.titleSaved && wnd) {
        platTitle(wnd, t.savedTitle, sizeof t.savedTitle);
        t.titleSaved = 1;
    }
    if (wnd && (t.stk == 0 || t.titleSet)) {
        platSetTitle(wnd, title);
        t.titleSet = 1;
    }
    if (n < 3 && t.stk == 0) {
        mcsRestoreTitle(&t, wnd);
        t.titleSet = 0;
    }
    int r = standardReply(s, dFtitle, reply);
    setIdle(s);
    return r;
}

int dialogRequest(ChSession* s, Buf req, const ZenBufHeader& h, const uint8_t** reply) {
    McsAreas& a = *s->areas;
    McsTerminal& t = *s->term;
    if (mcsDecodeRequest(a, t, req) == PACK_EFATAL) return PACK_EFATAL;
    t.msgDone = 0;
    switch (h.func) {
    case dFask:
    case dFaskyn:
        if (dialogAsk(s, h.func) < 0) {
            int n = standardReply(s, h.func, reply);
            setIdle(s);
            return n;
        }
        return 0;
    case dFlist:
        return dialogList(s, h, reply);
    case dFmenu: {
        int n = msgString(a, 1, (uint8_t*)t.menuTitle, MCS_TITLE_SIZE);
        t.menuTitle[n] = 0;
        mcsMenuAdd(s->slot, t.menuTitle, n);
        int r = standardReply(s, dFmenu, reply);
        setIdle(s);
        return r;
    }
    case dFtitle:
        return dialogTitle(s, reply);
    }
    return 0;
}

// ---- forms requests ----

int formsRequest(ChSession* s, Buf req, const ZenBufHeader& h, const uint8_t** reply) {
    McsAreas& a = *s->areas;
    McsTerminal& t = *s->term;
    const int func = h.func;
    if (func == dFerase && winControls()) {
        mcsRestoreTitle(&t, sessWnd(s->slot));
        t.titleSet = 0;
        mcsMenuRemove(s->slot);
        t.menuTitle[0] = 0;
    }
    a.msg.Prm = 0;
    a.msg.used = 0;
    a.msg.overflowUsed = 0;
    if (mcsDecodeRequest(a, t, req) == PACK_EFATAL) return PACK_EFATAL;

    const bool roll = func == 27 || func == 28;
    const uint8_t savedRoll = mcsRollChar;
    if (roll) mcsRollChar = t.rollChar;
    McsFormsCall call = formsCall(a, func);
    forms->preProcess(call);
    if (roll) mcsRollChar = savedRoll;

    if (t.needsInput) {
        setDeadline(s, t.waitTime > 0 ? msrNow() + t.waitTime : 0);
        s->func = func;
        setMode(s, CHF_WAITINPUT);
        return 0;
    }
    int n = standardReply(s, func, reply);
    if (func == dFlist) s->prevFunc = dFlist;
    if (func == dFunsolmsg) return n;
    setIdle(s);
    if (func == dFutsin && h.Sub > 0) s->prevFunc = dFutsin;
    return n;
}

// ---- the other requests ----

int reqWinApp(ChSession* s, Buf req, const uint8_t** reply) {
    uint8_t cmd[MSR_APP_CMD_MAX];
    int n = bufCopyString(req, 1, cmd);
    int started = n > 0 ? doApp(cmd, n) : 0;
    McsAreas& a = *s->areas;
    if (!replyInit(a, dFwinapp)) return 0;
    return replyDone(bufAddInt(replyBuf, started), reply);
}

int reqTransfer(ChSession* s, Buf req, int func, const uint8_t** reply) {
    McsAreas& a = *s->areas;
    int n = func == dFzenh2p ? mcsXferH2P(a, *s->term, req, replyBuf) : mcsXferP2H(a, *s->term, req, replyBuf);
    if (n > 0) {
        *reply = replyBuf.data();
        return n;
    }
    // The host is told the transfer failed rather than left waiting.
    if (!replyInit(a, func)) return 0;
    return replyDone(bufAddChar(replyBuf, 1), reply);
}

int reqUtsOutRaw(ChSession* s, Buf req, const uint8_t** reply) {
    McsAreas& a = *s->areas;
    McsTerminal& t = *s->term;
    std::array<uint8_t, MCS_CTLBLK_MAX> block{};
    int bn = bufCopyString(req, 1, block);
    if (bn > 0) mcsDecodeCtl(a, t, block.data(), bn);
    std::memset(a.ctl.fmtName, ' ', sizeof a.ctl.fmtName);
    t.msgDone = 0;
    const uint8_t* data = bufGetString(req, 2);
    int dn = data ? std::max(bufParamLen(req, 2), 0) : 0;
    if (data) forms->utsOut(data, dn);
    uiStatusUpdate(s->slot);
    forms->outputDone();
    std::array<uint8_t, MCS_CTLBLK_MAX> out{};
    int on = mcsEncodeCtl(a, t, out.data());
    if (!replyInit(a, dFutsoutraw)) return 0;
    return replyDone(bufAddString(replyBuf, out.data(), on), reply);
}

void reqWorkDir(ChSession* s, Buf req) {
    McsTerminal& t = *s->term;
    const uint8_t* text = bufGetString(req, 1);
    int len = text ? std::max(bufParamLen(req, 1), 0) : 0;
    std::memset(t.workDir, ' ', sizeof t.workDir);
    for (int i = 0; i < len && i < MCS_WORKDIR_LEN && text[i]; ++i) t.workDir[i] = (char)text[i];
}

int reqTimedInput(ChSession* s, Buf req) {
    McsAreas& a = *s->areas;
    std::array<uint8_t, MCS_CTLBLK_MAX> block{};
    int bn = bufCopyString(req, 1, block);
    if (bn > 0) mcsDecodeCtl(a, *s->term, block.data(), bn);
    bufCopyString(req, 2, std::span<uint8_t>(a.areaC.data(), MCS_AREAC_SIZE));
    int16_t secs = bufGetShort(req, 3);
    setDeadline(s, msrNow() + std::max<int16_t>(secs, 0));
    s->func = MSR_REQ_TIMEDINPUT;
    setMode(s, CHF_WAITINPUT);
    return 0;
}

void reqBgnPsuedo(ChSession* s) {
    if (sessBgnPsuedo(s->slot) <= 0) return;
    static constexpr uint8_t kClear[] = {0x1B, 'e', 0x1B, 'M'};
    forms->utsOut(kClear, 2);
    forms->utsOut(kClear + 2, 2);
    if (cuScrPtr) cuSetCursor(cuScrPtr->Rows - 1, 0);
}

void stopHostPrint(ChSession* s) {
    if (!s->hostPrint) return;
    cuAuxOff();
    s->hostPrint = 0;
}

void reqPrintData(ChSession* s, Buf req) {
    const uint8_t* data = bufGetString(req, 1);
    int len = data ? std::max(bufParamLen(req, 1), 0) : 0;
    if (!s->hostPrint) s->hostPrint = cuAuxOn();
    if (!s->hostPrint) {
        logPrintf("#msr: print data of %d bytes, no printer\n", len);
        return;
    }
    if (data && cuAuxWrite(nullptr, data, len) < 0) stopHostPrint(s);
}

// Replies without parameters carry the request's own routing.
int emptyReply(const ZenBufHeader& h, int func, const uint8_t** reply) {
    if (bufInit(replyBuf, h.P, h.Pri, h.Q, h.Seg, (int16_t)func, 0) < 0) return 0;
    *reply = replyBuf.data();
    return getBufSize(replyBuf);
}

int otherRequest(ChSession* s, Buf req, const ZenBufHeader& h, const uint8_t** reply) {
    switch (h.func) {
    case dFwinapp: return reqWinApp(s, req, reply);
    case dFfree: mcsFmtFree(*s->areas, *s->term); return 0;
    case dFzenh2p:
    case dFzenp2h: return reqTransfer(s, req, h.func, reply);
    case dFutsoutraw: return reqUtsOutRaw(s, req, reply);
    case MSR_REQ_WORKDIR: reqWorkDir(s, req); return 0;
    case dFmcsEnd: return emptyReply(h, dFmcsEnd, reply);
    case MSR_REQ_TIMEDINPUT: return reqTimedInput(s, req);
    case dFbgnPsuedo: reqBgnPsuedo(s); return 0;
    case dFendPsuedo:
        if (sessEndPsuedo(s->slot, req.data()) == 1) return emptyReply(h, dFendPsuedo, reply);
        return 0;
    case MSR_REQ_TIMEOUT: setDeadline(s, msrNow()); return 0;
    case MSR_REQ_PRINTDATA: reqPrintData(s, req); return 0;
    case MSR_REQ_PRINTON: if (!s->hostPrint) s->hostPrint = cuAuxOn(); return 0;
    case MSR_REQ_PRINTOFF: stopHostPrint(s); return 0;
    }
    return 0;
}

bool otherCode(int f) {
    return oneOf(f, {dFwinapp, dFfree, dFzenh2p, dFzenp2h}) || inRange(f, dFutsoutraw, MSR_REQ_PRINTOFF);
}

// ---- replies going out ----

// Writes a reply of the current session; a failed write ends the channel.
int sendReply(ChSession* s, const uint8_t* reply, int n) {
    if (!s->mcs || korvexWrite(s->mcs, reply, n) < 0) {
        logPrintf("#msr: reply of %d bytes could not be written, MCS channel of session %d ends\n", n, s->slot + 1);
        mcsChannelEnd();
        return -1;
    }
    return n;
}

// The reply of a completed waiting function goes out and the session waits
// for the host again.
int completeInput(ChSession* s, int noKey) {
    const uint8_t* reply = nullptr;
    int n = doMcsInputFunc(noKey, &reply);
    if (n <= 0 || !reply) return 0;
    if (sendReply(s, reply, n) < 0) return -1;
    s->prevFunc = s->func;
    setIdle(s);
    return n;
}

void serveHeld(ChSession* s);

int serve(ChSession* s, uint8_t* buf, int len) {
    Buf req(buf, (size_t)std::max(len, 0));
    const int func = req.size() >= ZENBUF_HDRSIZE ? zenGet16(buf + ZENBUF_FUNC) : -1;
    const bool deferredEnd = func == dFendPsuedo && (s->flags & CHF_ENDPENDING) && (s->flags & CHF_EOFSEEN);
    if ((s->flags & CHF_ENDPENDING) && !deferredEnd) {
        // This request came in the same read as an EndPsuedo that waits for
        // the mark: it waits too.
        McsTerminal* t = s->term;
        if (t && (int)t->held.size() < MSR_HELD_MAX) {
            t->held.emplace_back(buf, buf + req.size());
            logPrintf("#MCS request rcvd while waiting for EOF mark\n");
        } else {
            logPrintf("#msrDoMcsRequest: func [%s] dropped, %d requests wait for the EOF mark\n",
                      functionName(func), MSR_HELD_MAX);
        }
        return 0;
    }
    if (logFlags & LOG_PACKET) logPrintf("# msrDoMcsRequest: received func [%s] pkt\n", functionName(func));

    const uint8_t* reply = nullptr;
    int n = msrServerHandler(req, &reply);
    if (n == PACK_EFATAL) {
        logPrintf("#msrDoMcsRequest: func [%s] could not be unpacked, MCS channel of session %d ends\n",
                  functionName(func), s->slot + 1);
        mcsChannelEnd();
        return PACK_EFATAL;
    }
    if (n < 0) return n;
    if (n > 0 && reply) {
        cuRefresh();
        if (sendReply(s, reply, n) < 0) return -1;
        if (func == dFmcsEnd) {
            mcsChannelEnd();
            PWnd wnd = sessWnd(s->slot);
            if (!hasHostConnection(s) && wnd) platPost(wnd, PM_CLOSE, 0, 0);
            return n;
        }
    }
    if (deferredEnd) {
        s->flags &= (uint16_t)~CHF_ENDPENDING;
        serveHeld(s);
    }
    if ((s->flags & CHF_WAITINPUT) && s->mcs && cuScrPtr) msrDoKeyInput();
    return n;
}

void serveHeld(ChSession* s) {
    while (s->term && !s->term->held.empty() && !(s->flags & CHF_ENDPENDING)) {
        std::vector<uint8_t> req = std::move(s->term->held.front());
        s->term->held.erase(s->term->held.begin());
        if (serve(s, req.data(), (int)req.size()) == PACK_EFATAL) return;
    }
}

} // namespace

// ---- areas and forms state ----

McsAreas* mcsAreasNew() {
    McsAreas* a = new (std::nothrow) McsAreas();
    if (!a) return nullptr;
    a->msgArea.fill(' ');
    a->areaB.fill(' ');
    a->areaC.fill(' ');
    a->areaA.fill(' ');
    a->areaD.fill(' ');
    for (McsFmtCacheEntry& e : a->fmtCache) std::memset(e.name, ' ', sizeof e.name);
    return a;
}

void mcsFreeFormats(McsAreas* areas) {
    if (!areas) return;
    for (McsFmtCacheEntry& e : areas->fmtCache) {
        e.data.reset();
        e.length = 0;
    }
    areas->overflow.reset();
    areas->overflowCap = 0;
}

void mcsAreasFree(McsAreas* areas) {
    if (!areas) return;
    mcsFreeFormats(areas);
    delete areas;
}

McsTerminal* mcsTermNew() {
    McsTerminal* t = new (std::nothrow) McsTerminal();
    if (t) t->ops = &kPlainTermOps;
    return t;
}

void mcsTermShutdown(McsTerminal** term) {
    if (!term || !*term) return;
    McsTerminal* t = *term;
    *term = nullptr;
    t->ops->endUse(t);
    t->ops->dispose(t);
}

void mcsRestoreTitle(McsTerminal* term, PWnd wnd) {
    if (!term || !term->titleSaved) return;
    term->savedTitle[MCS_TITLE_SIZE] = 0;
    if (wnd) platSetTitle(wnd, term->savedTitle);
    term->titleSaved = 0;
}

void mcsSetTermSize(int rows, int cols) {
    termRows = rows;
    termCols = cols < MCS_MAX_TERM_COLS ? cols : MCS_MAX_TERM_COLS;
}
int mcsTermRows() { return termRows; }
int mcsTermCols() { return termCols; }

void msrSetFormsOps(const McsFormsOps* ops) { forms = ops ? ops : &kFormsEngine; }

int64_t msrNow() {
    static int64_t base = 0;
    static uint32_t lastTick = 0;
    static int64_t elapsedMs = 0;
    uint32_t tick = platTickCount();
    if (base == 0) {
        base = (int64_t)std::time(nullptr);
        lastTick = tick;
    }
    elapsedMs += (uint32_t)(tick - lastTick);
    lastTick = tick;
    return base + elapsedMs / 1000;
}

// ---- the call-back ----

int msrStart(int listenSocket) {
    char tag[4];
    int sock = comAccept(listenSocket, tag);
    if (sock < 0) return -1;
    KORVEX* d = comNewDescriptor(KVX_DESC_MCS, sock);
    if (!d) {
        comClose(sock);
        return -1;
    }
    logPrintf("#msrStart: call-back with tag [%.4s]\n", tag);

    int slot = -1;
    if (std::memcmp(tag, "0000", 4) == 0) {
        int free = -1;
        for (int i = 0; i < CH_MAX_SESSIONS && free < 0; ++i)
            if (!sessIsOpen(i)) free = i;
        if (free >= 0) {
            char peer[MSR_PEERNAME_MAX + 1] = {};
            korvexPeerName(d, peer, sizeof peer);
            peer[MSR_PEERNAME_MAX] = 0;
            slot = sessOpen(free, peer, "", 0);
        }
    } else {
        int value = 0;
        bool hex = true;
        for (char c : tag) {
            int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                  : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (v < 0) hex = false;
            value = value * 16 + std::max(v, 0);
        }
        if (hex && value >= 1 && value <= CH_MAX_SESSIONS && sessIsOpen(value - 1)) slot = value - 1;
    }
    if (slot < 0) {
        logPrintf("#msrStart: no session for tag [%.4s]\n", tag);
        korvexWrite(d, (const uint8_t*)"0000", 4);
        korvexClose(d);
        destroy(d);
        return -1;
    }

    char ack[16];
    std::snprintf(ack, sizeof ack, "%04x", slot + 1);
    if (korvexWrite(d, (const uint8_t*)ack, 4) < 0) {
        logPrintf("#msrStart: session ACK could not be written\n");
        korvexClose(d);
        destroy(d);
        return -1;
    }

    sessSelect(slot);
    ChSession* s = chSessPtr;
    if (s->mcs || s->term) mcsChannelEnd();
    // Bytes of the previous connection's stream are no part of this one.
    if (cuScrPtr) cuScrPtr->mcsRecvFill = 0;
    s->mcs = d;
    PWnd wnd = sessWnd(slot);
    if (comSetMCSSockToASYNC(sock, wnd) < 0) logPrintf("#msrStart: socket %d not registered\n", sock);

    if (!s->areas) s->areas = mcsAreasNew();
    McsAreas* a = s->areas;
    if (a && !a->overflow) {
        a->overflow.reset(new (std::nothrow) uint8_t[MSR_OVERFLOW_SIZE]);
        a->overflowCap = a->overflow ? MSR_OVERFLOW_SIZE : 0;
    }
    s->term = mcsTermNew();
    if (!a || !s->term || !a->overflow) {
        showError("Error allocating memory!");
        mcsChannelEnd();
        return -1;
    }
    McsTerminal& t = *s->term;
    const int rows = mcsTermRows();
    const int cols = std::min(mcsTermCols(), MCS_MAX_TERM_COLS);
    mcsinit(t, rows, cols);
    t.sessNo = slot + 1;
    std::memset(t.sessName, ' ', sizeof t.sessName);
    std::memcpy(t.sessName, s->hostName, strnlen(s->hostName, sizeof t.sessName));
    t.sessOptions = s->flags & (CHF_OPT10 | CHF_OPT08);

    s->prevFunc = -1;
    setIdle(s);
    s->mcsDeadline = 0;

    char size[16];
    std::snprintf(size, sizeof size, "%3.3d%3.3d", rows % 1000, cols % 1000);
    if (korvexWrite(d, (const uint8_t*)size, 6) < 0) showError("msrStart:Error sending ACK to zendratcp");
    return slot;
}

// ---- requests ----

int msrDoMcsRequest(int slot, uint8_t* buf, int len) {
    if (sessSelect(slot) < 0 || !chSessPtr) {
        logPrintf("#msrDoMcsRequest: no session %d\n", slot + 1);
        return -1;
    }
    ChSession* s = chSessPtr;
    s->flags |= CHF_ACTIVITY;
    if (!buf || len < ZENBUF_HDRSIZE) {
        logPrintf("#msrDoMcsRequest: message of %d bytes is no request\n", len);
        return -1;
    }
    return serve(s, buf, len);
}

int msrServerHandler(std::span<const uint8_t> request, const uint8_t** reply) {
    *reply = nullptr;
    ChSession* s = chSessPtr;
    if (!s || !s->term || !s->areas) return -1;
    ZenBufHeader h{};
    if (!bufHeader(request, &h)) return -1;
    McsTerminal& t = *s->term;
    t.needsInput = 0;
    if (h.func != dFutsin) t.msgAvail = 0;
    if (logFlags & LOG_PACKET) logPrintf("msrServerHandler: [%s]\n", functionName(h.func));

    if (formsRequest(h.func)) return formsRequest(s, request, h, reply);
    routingFrom(*s->areas, h);
    if (dialogRequest(h.func)) return dialogRequest(s, request, h, reply);
    if (otherCode(h.func)) return otherRequest(s, request, h, reply);
    return 0;
}

int doMcsInputFunc(int noKey, const uint8_t** reply) {
    if (reply) *reply = nullptr;
    ChSession* s = chSessPtr;
    if (!s || !s->term || !s->areas || !reply) return -1;
    McsTerminal& t = *s->term;
    McsAreas& a = *s->areas;
    const int func = s->func;
    if (logFlags & LOG_PACKET) logPrintf("doMcsInputFunc: [%s]\n", functionName(func));

    if (oneOf(func, {17, dFidle, 26, 65})) {
        t.msgAvail = forms->inputCheck(func, noKey, a.areaC.data());
        if (!t.msgAvail) return 0;
        forms->postProcess(formsCall(a, func));
        return standardReply(s, func, reply);
    }
    if (deadlineGroup(func)) {
        if (!t.msgAvail) t.msgAvail = forms->inputCheck(func, noKey, a.areaC.data());
        if (!deadlinePassed(s)) {
            if (!t.msgAvail) return 0;
            forms->postProcess(formsCall(a, func));
            return standardReply(s, func, reply);
        }
        if (t.msgAvail)
            forms->postProcess(formsCall(a, func));
        else
            a.msgArea[MA_TEXT] = 'T';
        return standardReply(s, func, reply);
    }
    if (inRange(func, dFask, dFlist) && winControls()) return standardReply(s, func, reply);
    if (func == MSR_REQ_TIMEDINPUT) {
        int code = forms->inputCheck(MSR_REQ_TIMEDINPUT, noKey, a.areaC.data());
        if (code) t.msgAvail = code;
        if (!deadlinePassed(s) && !t.msgAvail) return 0;
        std::array<uint8_t, MCS_CTLBLK_MAX> block{};
        int bn = std::max(mcsEncodeCtl(a, t, block.data()), MCS_CTLBLK_MIN);
        if (!replyInit(a, MSR_REQ_TIMEDINPUT)) return 0;
        int rc = bufAddString(replyBuf, block.data(), bn);
        if (rc == 0) rc = bufAddString(replyBuf, a.areaC.data(), MSR_AREAC_REPLY);
        if (rc == 0) rc = bufAddShort(replyBuf, (int16_t)t.msgAvail);
        return replyDone(rc, reply);
    }
    return 0;
}

int msrDialogDone(int slot) {
    int prev = chCurSlot;
    if (sessSelect(slot) < 0 || !chSessPtr || !chSessPtr->mcs) {
        sessSelect(prev);
        return -1;
    }
    ChSession* s = chSessPtr;
    int n = completeInput(s, 0);
    sessSelect(prev);
    return n > 0 ? 0 : -1;
}

void msrCheckDeadlines() {
    bool any = false;
    for (int slot = 0; slot < CH_MAX_SESSIONS; ++slot) {
        ChSession* s = sessAt(slot);
        if (!s || !sessIsOpen(slot) || !s->mcs || !(s->flags & CHF_WAITINPUT) || s->mcsDeadline == 0) continue;
        any = true;
        if (!deadlinePassed(s) || chBusy()) continue;
        int prev = chCurSlot;
        sessSelect(slot);
        ChSemSet(1, "msrCheckDeadlines");
        completeInput(s, 1);
        cuRefresh();
        ChSemSet(0, "msrCheckDeadlines");
        sessSelect(prev);
    }
    if (!any) {
        PWnd frame = deadlineWindow(-1);
        if (frame) platKillTimer(frame, MSR_DEADLINE_TIMER);
    }
}

bool msrTimer(PWnd, uintptr_t id) {
    if (id != MSR_DEADLINE_TIMER) return false;
    msrCheckDeadlines();
    return true;
}
