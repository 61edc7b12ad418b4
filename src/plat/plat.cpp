// The back-end table in use and the pieces common to every back end.
#include "plat/plat.h"

#include <ctime>

extern const PlatBackend headlessBackend;

namespace {
const PlatBackend* g_backend = &headlessBackend;
PMsgFilter g_filter = nullptr;
} // namespace

void platUse(const PlatBackend* backend) { g_backend = backend ? backend : &headlessBackend; }
const PlatBackend* platBackend() { return g_backend; }

void platSetMessageFilter(PMsgFilter filter) { g_filter = filter; }
PMsgFilter platMessageFilter() { return g_filter; }

// Moved forward by the headless back end when tests advance the clock.
uint32_t g_platClockOffset = 0;

uint32_t platTickCount()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u) + g_platClockOffset;
}

int platRunLoop()
{
    while (platPump(-1) >= 0) {
    }
    return platQuitCode();
}
