// MCS entry points of the session table: the areas and forms state records
// are real; the request handler is not in yet and says so.
#include "mcs/msr.h"

#include "common/log.h"

#include <cstring>
#include <new>

namespace {

int termRows = 24;
int termCols = 80;

void termDispose(McsTerminal* term) { delete term; }
void termEndUse(McsTerminal*) {}

constexpr McsTermOps kPlainTermOps = {
    .dispose = termDispose,
    .endUse = termEndUse,
};

} // namespace

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

int mcsCloseDialogs(int slot) {
    logPrintf("#mcsCloseDialogs: no list dialogs or host menus yet (session %d)\n", slot + 1);
    return -1;
}

void mcsSetTermSize(int rows, int cols) {
    termRows = rows;
    termCols = cols < MCS_MAX_TERM_COLS ? cols : MCS_MAX_TERM_COLS;
}
int mcsTermRows() { return termRows; }
int mcsTermCols() { return termCols; }

int msrDoMcsRequest(int slot, uint8_t* buf, int len) {
    int func = (buf && len >= ZENBUF_HEADER_SIZE)
        ? (buf[ZENBUF_FUNC_OFFSET] << 8 | buf[ZENBUF_FUNC_OFFSET + 1]) : -1;
    logPrintf("#msrDoMcsRequest: no MCS request handler, func %d of session %d not served\n",
              func, slot + 1);
    return -1;
}

int doMcsInputFunc(int, const uint8_t** reply) {
    if (reply) *reply = nullptr;
    logPrintf("#doMcsInputFunc: no MCS request handler\n");
    return -1;
}

int msrStart(int listenSocket) {
    logPrintf("#msrStart: no MCS request handler, call-back on socket %d not accepted\n", listenSocket);
    return -1;
}
