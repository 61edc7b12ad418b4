// Paint time of a whole session screen into the Qt back end's backing image
// (offscreen platform): text runs of mixed attributes, line-drawing bytes
// and frame codes, as a full repaint draws them.
#include "core/cuscr.h"
#include "plat/plat.h"
#include "plat/qt/qtplat.h"
#include "ui/profile.h"
#include "ui/render.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

PWnd g_client = 0;

// A screen of rows x cols filled like a busy terminal: words in alternating
// attributes, a box of line-drawing bytes and a row of frame codes.
CuScreen* openScreen(int rows, int cols)
{
    char state[64];
    snprintf(state, sizeof state, "0,0,%d,%d,12,%d,%d", cols * 8 + 40, rows * 16 + 40, rows, cols);
    cfgSetString("Fonts", "DefWin01State", state);
    int conn = -1;
    if (cuSessNew(0, "bench", &conn) != 0)
        return nullptr;
    CuScreen* s = cuScreenAt(0);
    platPump(0);
    s->fontSize = 12;
    if (uiMakeFont(s) < 0)
        return nullptr;
    s->clientWidth = cols * s->charWidth;
    s->clientHeight = rows * s->charHeight;
    uiSetViewport(s);
    const uint8_t attrs[] = {CU_ATTR_UNIX_NORMAL, CU_ATTR_UNIX_BOLD, CU_ATTR_UNIX_REVERSE, CU_ATTR_UNIX_LOW};
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            size_t i = (size_t)r * cols + c;
            s->chars[i] = (uint16_t)("The quick brown fox jumps over the lazy dog "[(r * 7 + c) % 44]);
            s->attrs[i] = attrs[(c / 9 + r) % 4];
        }
    for (int c = 0; c < cols; ++c) {
        s->chars[(size_t)(rows / 2) * cols + c] = 196;
        s->chars[(size_t)(rows - 1) * cols + c] = (uint16_t)(268 + c % 8);
    }
    return s;
}

void paintScreen(benchmark::State& state)
{
    int rows = (int)state.range(0), cols = (int)state.range(1);
    CuScreen* s = openScreen(rows, cols);
    if (!s || s->visCols < cols || s->visRows < rows) {
        state.SkipWithError("cannot open a screen of that size");
        cuSessClose(0);
        return;
    }
    CuRect all{0, 0, rows - 1, cols - 1};
    for (auto _ : state) {
        PDC dc = platGetDC(s->wnd);
        platSelectFont(dc, s->font);
        uiResetColorCache();
        uiPaintRect(s, dc, all);
        platReleaseDC(s->wnd, dc);
    }
    state.counters["cells"] = rows * cols;
    state.counters["cells/s"] = benchmark::Counter((double)rows * cols, benchmark::Counter::kIsIterationInvariantRate);
    cuSessClose(0);
}
BENCHMARK(paintScreen)->Args({24, 80})->Args({60, 166})->Unit(benchmark::kMicrosecond);

// The floor the back end sets: the same cells as one string per row in one
// colour pair, straight through the platform calls.
void platformRows(benchmark::State& state)
{
    int rows = (int)state.range(0), cols = (int)state.range(1);
    CuScreen* s = openScreen(rows, cols);
    if (!s) {
        state.SkipWithError("cannot open a screen of that size");
        return;
    }
    std::string line((size_t)cols, 'x');
    for (auto _ : state) {
        PDC dc = platGetDC(s->wnd);
        platSelectFont(dc, s->font);
        platSetTextColor(dc, 0xFF0000);
        platSetBkColor(dc, 0xFFFFFF);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c)
                line[(size_t)c] = (char)s->chars[(size_t)r * cols + c];
            platTextOut(dc, 0, r * s->charHeight, (const uint8_t*)line.data(), cols);
        }
        platReleaseDC(s->wnd, dc);
    }
    state.counters["cells/s"] = benchmark::Counter((double)rows * cols, benchmark::Counter::kIsIterationInvariantRate);
    cuSessClose(0);
}
BENCHMARK(platformRows)->Args({24, 80})->Args({60, 166})->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (qtPlatInit(argc, argv) != 0)
        return 1;
    std::string ini = "/tmp/kvx_bench_ui_" + std::to_string(getpid()) + ".ini";
    cfgSetFile(ini.c_str());
    PWnd frame = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "Korvex", {0, 0, 1600, 1200}, PWS_VISIBLE, nullptr});
    g_client = platCreateWindow(PWndCreate{PWndKind::MdiClient, frame, "", {0, 0, 0, 0}, PWS_VISIBLE, nullptr});
    cuSetMdiClient(g_client);
    cuInit();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platDestroyWindow(frame);
    qtPlatShutdown();
    unlink(ini.c_str());
    return 0;
}
