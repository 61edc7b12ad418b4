// korvex-replay [--rows R] [--cols C] [--chunk N] [--port P] [--slot S]
//
// Runs one headless session of R x C (default 24 x 80) in slot S (default 0)
// with the MCS listening port P (default 12371) and the workstation address
// from KORVEXADDR, feeds it the host bytes read from standard input through
// the host-data path in reads of N bytes (default: one read), and prints one
// JSON object: rows, cols, cursor, lines, attrs and replies (hex of every
// byte the session wrote to the host).
#include "replay.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int usage() {
    std::fputs("usage: korvex-replay [--rows R] [--cols C] [--chunk N] [--port P] [--slot S]\n", stderr);
    return 2;
}

bool number(const char* text, int lo, int hi, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || end == text || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ReplayOptions o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (i + 1 >= argc) return usage();
        const char* v = argv[++i];
        bool ok;
        if (!std::strcmp(a, "--rows"))
            ok = number(v, 1, 199, &o.rows);
        else if (!std::strcmp(a, "--cols"))
            ok = number(v, 1, 249, &o.cols);
        else if (!std::strcmp(a, "--chunk"))
            ok = number(v, 0, 1 << 30, &o.chunk);
        else if (!std::strcmp(a, "--port"))
            ok = number(v, 0, 65535, &o.port);
        else if (!std::strcmp(a, "--slot"))
            ok = number(v, 0, 7, &o.slot);
        else
            ok = false;
        if (!ok) return usage();
    }

    std::vector<uint8_t> input;
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = read(0, buf, sizeof buf);
        if (n < 0) {
            std::perror("korvex-replay: stdin");
            return 1;
        }
        if (n == 0) break;
        input.insert(input.end(), buf, buf + n);
    }

    std::string error;
    if (replayOpen(o, &error) < 0) {
        std::fprintf(stderr, "korvex-replay: %s\n", error.c_str());
        return 1;
    }
    std::string replies;
    const size_t step = o.chunk > 0 ? size_t(o.chunk) : std::max<size_t>(input.size(), 1);
    for (size_t at = 0; at < input.size(); at += step) {
        const int len = int(std::min(step, input.size() - at));
        if (replayFeed(input.data() + at, len) < 0) {
            std::fputs("korvex-replay: the session closed\n", stderr);
            break;
        }
        replies += replayTakeReplies();
    }
    replies += replayTakeReplies();
    const std::string json = replayJson(replaySnapshot(), replies);
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fputc('\n', stdout);
    replayClose();
    return 0;
}
