// Random host bytes into the UNIX-mode interpreter on screens of random
// size (1 x 1 to 199 x 249) with random margins and modes. After every call:
// the cursor lies inside the grid, the margins inside the screen and the
// parse buffer within its capacity. Writes outside a buffer are left to the
// sanitizers.
//
// Input: byte 0 rows, byte 1 columns, bytes 2..3 the margins, byte 4 mode
// bits, byte 5 the read size; the rest is host data.
#include "core/child.h"
#include "core/cuscr.h"
#include "plat/headless/headless.h"
#include "print/prnt.h"
#include "term/unix.h"
#include "ui/profile.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

int openRows = 0, openCols = 0;
std::unique_ptr<ChSession> sess;

bool openScreen(int rows, int cols) {
    if (cuScreenAt(0) && rows == openRows && cols == openCols) {
        cuSelect(0);
        cuClear(CU_ATTR_UNIX_NORMAL);
        return true;
    }
    if (cuScreenAt(0)) cuSessClose(0);
    static const std::string cfg = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                                   "/kvx_fuzz_term_" + std::to_string(getpid()) + ".ini";
    std::FILE* f = std::fopen(cfg.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "[Fonts]\nDefWin01State=0,0,100,100,10,%d,%d,0\n", rows, cols);
    std::fclose(f);
    cfgSetFile(cfg.c_str());
    int conn = 0;
    if (cuSessNew(0, "fuzz", &conn) < 0) return false;
    cuSelect(0);
    cuScrPtr->winFlags |= CUW_MINIMIZED;
    openRows = rows;
    openCols = cols;
    return cuScrPtr->Rows == rows && cuScrPtr->Cols == cols;
}

void check(const ChSession& s, int rows, int cols) {
    const UnixState& st = s.unix;
    int row = -1, col = -1, shape = 0;
    cuGetCursor(&row, &col, &shape);
    if (row < 0 || row >= rows || col < 0 || col >= cols) std::abort();
    if (st.curRow < 0 || st.curRow >= rows || st.curCol < 0 || st.curCol >= cols) std::abort();
    if (st.curRow != row || st.curCol != col) std::abort();
    if (st.top < 0 || st.top >= rows || st.bottom < 0 || st.bottom >= rows) std::abort();
    if (st.parseCount < 0 || st.parseCount > UNIX_PARSE_MAX) std::abort();
    if (st.echoLen < 0 || st.echoLen > UNIX_ECHO_MAX) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headlessReset();
    headlessEchoBoxes(false);
    cuInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const int rows = 1 + data[0] % CU_MAX_ROWS;
    const int cols = 1 + data[1] % CU_MAX_COLS;
    if (!openScreen(rows, cols)) return 0;
    prntSinkReset();
    sess = std::make_unique<ChSession>();
    sess->flags = CHF_CHARMODE;
    if (unixInit(sess.get(), UNIX_TYPE_V, rows, cols, true) < 0) std::abort();

    // Margins and modes as a host would set them (values beyond the screen
    // included).
    char setup[64];
    const int modes = data[4];
    int n = std::snprintf(setup, sizeof setup, "\x1b[%d;%dr%s%s%s%s", data[2], data[3],
                          (modes & 1) ? "\x1b[4h" : "", (modes & 2) ? "\x0e" : "",
                          (modes & 4) ? "\x1b[5i" : "", (modes & 8) ? "\x1b[?1h" : "");
    if (modes & 16) sess->flags |= UNIX_FLAG_LOCALECHO;
    unixOutSession(sess.get(), reinterpret_cast<const uint8_t*>(setup), n);
    check(*sess, rows, cols);

    const size_t step = 1 + data[5] % 64;
    for (size_t at = 6; at < size; at += step) {
        const size_t len = std::min(step, size - at);
        unixOutSession(sess.get(), data + at, int(len));
        check(*sess, rows, cols);
    }
    unixFree(sess->unix);
    return 0;
}
