// UNIX-mode interpreter throughput against libvterm (state and screen
// layers on a grid of the same size), on the committed host byte streams.
// Both are fed the same bytes in reads of the HostIO read size. The session
// window is minimised so that neither side paints: this measures the
// interpreters and their cell stores.
#include "core/child.h"
#include "core/cuscr.h"
#include "plat/headless/headless.h"
#include "term/unix.h"
#include "ui/profile.h"

#include <benchmark/benchmark.h>
#include <vterm.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int ROWS = 24, COLS = 80;
constexpr int READ_SIZE = CH_HOSTREAD_MAX;

std::vector<uint8_t> loadStream(const char* name) {
    std::ifstream in(std::string(KVX_SOURCE_DIR) + "/bench/term/data/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct KorvexTerm {
    std::unique_ptr<ChSession> sess = std::make_unique<ChSession>();
    KorvexTerm() {
        headlessReset();
        const std::string cfg = "/tmp/kvx_bench_term.ini";
        if (std::FILE* f = std::fopen(cfg.c_str(), "w")) {
            std::fprintf(f, "[Fonts]\nDefWin01State=0,0,100,100,10,%d,%d,0\n", ROWS, COLS);
            std::fclose(f);
        }
        cfgSetFile(cfg.c_str());
        cuInit();
        int conn = 0;
        cuSessNew(0, "bench", &conn);
        cuSelect(0);
        if (cuScrPtr) cuScrPtr->winFlags |= CUW_MINIMIZED;
        sess->flags = CHF_CHARMODE;
        unixInit(sess.get(), UNIX_TYPE_V, ROWS, COLS, true);
    }
    ~KorvexTerm() {
        unixFree(sess->unix);
        cuSessClose(0);
    }
    bool ok() const { return cuScrPtr && cuScrPtr->Rows == ROWS && cuScrPtr->Cols == COLS; }
    void feed(const uint8_t* p, int n) { unixOutSession(sess.get(), p, n); }
};

struct VtermRef {
    VTerm* vt = vterm_new(ROWS, COLS);
    VtermRef() {
        vterm_set_utf8(vt, 0);
        VTermScreen* screen = vterm_obtain_screen(vt);
        vterm_screen_reset(screen, 1);
    }
    ~VtermRef() { vterm_free(vt); }
    void feed(const uint8_t* p, int n) { vterm_input_write(vt, reinterpret_cast<const char*>(p), size_t(n)); }
};

template <class Term>
void run(benchmark::State& state, const char* stream) {
    const std::vector<uint8_t> data = loadStream(stream);
    if (data.empty()) {
        state.SkipWithError("stream missing; run bench/term/gen_streams.py");
        return;
    }
    Term term;
    if constexpr (std::is_same_v<Term, KorvexTerm>) {
        if (!term.ok()) {
            state.SkipWithError("no 24x80 screen");
            return;
        }
    }
    for (auto _ : state) {
        for (size_t at = 0; at < data.size(); at += READ_SIZE)
            term.feed(data.data() + at, int(std::min<size_t>(READ_SIZE, data.size() - at)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_Korvex_Listing(benchmark::State& s) { run<KorvexTerm>(s, "listing.bin"); }
void BM_Vterm_Listing(benchmark::State& s) { run<VtermRef>(s, "listing.bin"); }
void BM_Korvex_LsL(benchmark::State& s) { run<KorvexTerm>(s, "lsl.bin"); }
void BM_Vterm_LsL(benchmark::State& s) { run<VtermRef>(s, "lsl.bin"); }
void BM_Korvex_Redraw(benchmark::State& s) { run<KorvexTerm>(s, "redraw.bin"); }
void BM_Vterm_Redraw(benchmark::State& s) { run<VtermRef>(s, "redraw.bin"); }

BENCHMARK(BM_Korvex_Listing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vterm_Listing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Korvex_LsL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vterm_LsL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Korvex_Redraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vterm_Redraw)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
