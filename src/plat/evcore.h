#pragma once
// The message queue, window timers and socket readiness shared by the back
// ends. Each back end keeps one EvCore and supplies the waiting: the
// headless one sleeps in poll(), the Qt one in its event loop with socket
// notifiers. Only back ends include this header.

#include "plat/plat.h"

#include <deque>
#include <functional>
#include <map>
#include <vector>

struct EvMsg {
    PWnd wnd;
    uint32_t msg;
    PWParam wp;
    PLParam lp;
    int sockFd;             // readiness message: its socket and event, whose
    uint32_t sockEvent;     // outstanding mark clears once it is dispatched
};

struct EvTimer {
    PWnd wnd;
    uintptr_t id;
    uint32_t interval;
    uint32_t due;
    bool queued;            // its PM_TIMER waits in the queue
};

struct EvSocket {
    PWnd wnd;
    uint32_t msg;
    uint32_t events;
    bool listening;
    bool connecting;
    bool writeArmed;
    bool closePosted;
    uint32_t outstanding;   // events posted and not yet dispatched
    bool readHeld;          // a read event left its data unread
    int heldAvail;          // bytes waiting then
    int64_t heldConsumed;   // bytes the program had read by then (TCP; -1 unknown)
    uint32_t heldSince;     // tick of the hold
};

// An unread read event is reported again after this long, so data left in
// a socket (a request dropped from a full queue) is never stranded.
constexpr uint32_t EV_HELD_RETRY_MS = 100;

struct EvCore {
    std::deque<EvMsg> queue;
    std::vector<EvTimer> timers;
    std::map<int, EvSocket> sockets;
    bool quitting = false;
    int quitCode = 0;
};

void evPost(EvCore& ev, PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
// Drops everything that belongs to a window being destroyed.
void evForgetWindow(EvCore& ev, PWnd wnd);

uintptr_t evSetTimer(EvCore& ev, PWnd wnd, uintptr_t id, uint32_t ms);
bool evKillTimer(EvCore& ev, PWnd wnd, uintptr_t id);
// Posts PM_TIMER for each due timer that has none waiting.
void evFireTimers(EvCore& ev);
// Milliseconds until the next timer is due or a held read event is to be
// reported again; -1 when neither.
int evNextTimerMs(const EvCore& ev);

int evAsyncSelect(EvCore& ev, int fd, PWnd wnd, uint32_t msg, uint32_t events);
void evWouldBlock(EvCore& ev, int fd);
// The poll() events a socket waits for now (0: none).
short evWanted(int fd, EvSocket& so);
// Turns what poll() reported for a socket into readiness messages.
void evReady(EvCore& ev, int fd, short revents);

// Dispatches the messages waiting now (those posted meanwhile wait for the
// next call) through deliver; returns how many.
int evDispatch(EvCore& ev, const std::function<void(const EvMsg&)>& deliver);
