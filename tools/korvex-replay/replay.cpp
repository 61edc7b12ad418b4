// The replay session: the real screen, session table, host descriptor and
// interpreter on the headless platform, with the host side of the
// connection held by this unit (one end of a socket pair).
#include "replay.h"

#include "core/child.h"
#include "core/cuscr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "plat/headless/headless.h"
#include "term/unix.h"
#include "ui/profile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Replay {
    bool open = false;
    int slot = 0;
    int chunk = 0;
    int hostFd = -1;            // our end: we are the host
    std::string cfgPath;
};
Replay rp;

int fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    replayClose();
    return -1;
}

// Reads everything the session has written to the host so far.
std::string drainHost() {
    std::string out;
    if (rp.hostFd < 0) return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = recv(rp.hostFd, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    return out;
}

std::string pending;    // replies drained while feeding, not yet taken

}  // namespace

int replayOpen(const ReplayOptions& o, std::string* error) {
    replayClose();
    if (o.rows < 1 || o.rows > CU_MAX_ROWS || o.cols < 1 || o.cols > CU_MAX_COLS || o.slot < 0 ||
        o.slot >= CH_MAX_SESSIONS || o.port < 0 || o.port > 0xFFFF)
        return fail(error, "bad size, slot or port");
    rp.slot = o.slot;
    rp.chunk = o.chunk;

    headlessReset();
    headlessEchoBoxes(false);

    // The screen takes its size from the stored window state of its slot.
    const char* tmp = std::getenv("TMPDIR");
    rp.cfgPath = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvex-replay-" + std::to_string(getpid()) + ".ini";
    std::FILE* f = std::fopen(rp.cfgPath.c_str(), "w");
    if (!f) return fail(error, "cannot write " + rp.cfgPath);
    std::fprintf(f, "[Options]\nPort=%d\n[Fonts]\nDefWin%02dState=0,0,100,100,10,%d,%d,0\n", o.port, o.slot + 1, o.rows,
                 o.cols);
    std::fclose(f);
    cfgSetFile(rp.cfgPath.c_str());

    if (comStartUp(rp.cfgPath.c_str()) != 0) return fail(error, "socket layer did not start");
    unixSetListenPort(unsigned(o.port));
    cuInit();
    sessTableInit();
    if (sessOpen(o.slot, "replay", "", 0) != o.slot) return fail(error, "session could not be opened");
    rp.open = true;
    ChSession* s = sessAt(o.slot);
    if (!cuScreenAt(o.slot) || cuScreenAt(o.slot)->Rows != o.rows || cuScreenAt(o.slot)->Cols != o.cols)
        return fail(error, "screen has the wrong size");

    // A telnet host descriptor on our socket pair stands in for the login.
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return fail(error, "socketpair failed");
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    rp.hostFd = fds[1];
    KORVEX* d = comNewDescriptor(1, fds[0], nullptr);
    if (!d) {
        close(fds[0]);
        return fail(error, "no host descriptor");
    }
    if (s->hostIO) {
        korvexClose(s->hostIO);
        destroy(s->hostIO);
    }
    s->hostIO = d;
    if (CuScreen* scr = cuScreenAt(o.slot)) scr->writable = 1;
    sessSelect(o.slot);
    return 0;
}

int replayFeed(const uint8_t* bytes, int length) {
    if (!rp.open || rp.hostFd < 0) return -1;
    int done = 0;
    while (done < length) {
        const int want = std::min(length - done, CH_HOSTREAD_MAX);
        const ssize_t n = send(rp.hostFd, bytes + done, size_t(want), MSG_NOSIGNAL);
        if (n <= 0) return -1;
        // Let the session read what is waiting, as its read event would.
        ChSession* s = sessAt(rp.slot);
        if (!s || !s->hostIO) return -1;
        sessSelect(rp.slot);
        uiProcessData(s->hostIO, 0);
        done += int(n);
        pending += drainHost();
    }
    return done;
}

std::string replayTakeReplies() {
    pending += drainHost();
    std::string out;
    out.swap(pending);
    return out;
}

ChSession* replaySession() { return rp.open ? sessAt(rp.slot) : nullptr; }

void replayClose() {
    if (rp.open && sessIsOpen(rp.slot)) sessClose(rp.slot);
    rp.open = false;
    if (rp.hostFd >= 0) close(rp.hostFd);
    rp.hostFd = -1;
    pending.clear();
    if (!rp.cfgPath.empty()) std::remove(rp.cfgPath.c_str());
    rp.cfgPath.clear();
}

ReplaySnapshot replaySnapshot() {
    ReplaySnapshot snap;
    if (cuSelect(rp.slot) < 0 || !cuScrPtr) return snap;
    snap.rows = cuScrPtr->Rows;
    snap.cols = cuScrPtr->Cols;
    int shape = 0;
    cuGetCursor(&snap.curRow, &snap.curCol, &shape);
    std::vector<uint8_t> pairs(size_t(2 * snap.cols));
    for (int r = 0; r < snap.rows; ++r) {
        cuGetCells(pairs.data(), snap.cols, r, 0);
        std::string line(size_t(snap.cols), ' ');
        std::vector<int> attrs(size_t(snap.cols));
        for (int c = 0; c < snap.cols; ++c) {
            line[size_t(c)] = char(pairs[size_t(2 * c)]);
            attrs[size_t(c)] = pairs[size_t(2 * c + 1)];
        }
        snap.lines.push_back(std::move(line));
        snap.attrs.push_back(std::move(attrs));
    }
    return snap;
}

namespace {

// One cell byte as one code point (U+0000..U+00FF), JSON-escaped, in UTF-8.
void jsonChar(std::string& out, uint8_t b) {
    char buf[8];
    if (b == '"' || b == '\\') {
        out += '\\';
        out += char(b);
    } else if (b < 0x20 || b == 0x7F) {
        std::snprintf(buf, sizeof buf, "\\u%04x", b);
        out += buf;
    } else if (b < 0x80) {
        out += char(b);
    } else {
        out += char(0xC0 | (b >> 6));
        out += char(0x80 | (b & 0x3F));
    }
}

}  // namespace

std::string replayJson(const ReplaySnapshot& snap, const std::string& replies) {
    std::string out = "{\"rows\":" + std::to_string(snap.rows) + ",\"cols\":" + std::to_string(snap.cols) +
                      ",\"cursor\":[" + std::to_string(snap.curRow) + "," + std::to_string(snap.curCol) +
                      "],\"lines\":[";
    for (size_t r = 0; r < snap.lines.size(); ++r) {
        if (r) out += ',';
        out += '"';
        for (char ch : snap.lines[r]) jsonChar(out, uint8_t(ch));
        out += '"';
    }
    out += "],\"attrs\":[";
    for (size_t r = 0; r < snap.attrs.size(); ++r) {
        if (r) out += ',';
        out += '[';
        for (size_t c = 0; c < snap.attrs[r].size(); ++c) {
            if (c) out += ',';
            out += std::to_string(snap.attrs[r][c]);
        }
        out += ']';
    }
    out += "],\"replies\":\"";
    static const char hex[] = "0123456789abcdef";
    for (unsigned char ch : replies) {
        out += hex[ch >> 4];
        out += hex[ch & 15];
    }
    out += "\"}";
    return out;
}
