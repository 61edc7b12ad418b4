// Auxiliary printing into the in-memory sink.
#include "print/prnt.h"

#include "common/log.h"

namespace {

struct AuxState {
    bool on = false;
    int lastResult = 0;     // printing goes on while this is positive
    int jobs = 0;
    bool fail = false;
    std::string data;
};
AuxState aux;

}  // namespace

int cuAuxOn() {
    if (aux.on) return 0;
    logPrintf("#cuAuxOn: Print Mode = not set\n");
    aux.on = true;
    aux.lastResult = 1;
    ++aux.jobs;
    return aux.jobs;
}

int cuAuxWrite(std::FILE*, const uint8_t* bytes, int length) {
    if (!aux.on || length <= 0 || !bytes || aux.lastResult <= 0) return 0;
    if (aux.fail) {
        aux.lastResult = -1;
        return -1;
    }
    aux.data.append(reinterpret_cast<const char*>(bytes), size_t(length));
    return length;
}

void cuAuxOff() {
    logPrintf("#cuAuxOff\n");
    aux.on = false;
    aux.lastResult = 0;
}

bool cuAuxActive() { return aux.on; }

const std::string& prntSinkData() { return aux.data; }
int prntSinkJobs() { return aux.jobs; }
void prntSinkReset() {
    aux = AuxState{};
}
void prntSinkFail(bool on) { aux.fail = on; }
