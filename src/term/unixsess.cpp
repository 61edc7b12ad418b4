// The interpreter's links to its session and the rest of the program.
#include "term/unixsess.h"

#include "core/cuscr.h"
#include "ui/status.h"

#include "net/korvex.h"

namespace {
unsigned listenPort = 12371;
}

void unixSetListenPort(unsigned port) { listenPort = port & 0xFFFFu; }

int uxHostWrite(ChSession* s, const uint8_t* bytes, int length) {
    if (!s || !s->hostIO) return -1;
    return korvexWrite(s->hostIO, bytes, length);
}

void uxLocalAddr(ChSession* s, uint8_t* out) {
    out[0] = out[1] = out[2] = out[3] = 0;
    if (s && s->hostIO && korvexLocalAddr(s->hostIO, out) != 1) out[0] = out[1] = out[2] = out[3] = 0;
}

unsigned uxListenPort() { return listenPort; }
void uxStatusUpdate(int slot) { uiStatusUpdate(slot); }
int uxUnixToWin(int code) { return code; }
void uxPostFileClose() {
    // The session window's MDI client, then the frame above it.
    PWnd client = cuScrPtr && cuScrPtr->wnd ? platParent(cuScrPtr->wnd) : cuMdiClient();
    PWnd frame = client ? platParent(client) : 0;
    if (frame) platPost(frame, PM_COMMAND, IDM_FILECLOSE, 0);
}
