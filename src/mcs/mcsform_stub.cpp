// The forms engine is not in yet: each entry traces a "#" line and fails,
// so that nothing is reported as done that was not.
#include "mcs/mcsform.h"

#include "common/log.h"
#include "mcs/fncode.h"

int LCLpreProcess(const McsFormsCall& call) {
    logPrintf("#LCLpreProcess: no forms engine, func [%s] not processed\n", functionName(call.func));
    return -1;
}

int LCLpostProcess(const McsFormsCall& call) {
    logPrintf("#LCLpostProcess: no forms engine, func [%s] not processed\n", functionName(call.func));
    return -1;
}

int mcsInputCheck(int func, int, uint8_t*) {
    logPrintf("#mcsInputCheck: no forms engine, func [%s] has no input\n", functionName(func));
    return 0;
}

int mcsOutputDone() {
    logPrintf("#mcsOutputDone: no forms engine\n");
    return -1;
}

int mcsDispHelp(const uint8_t*, int length, const uint8_t*, int) {
    logPrintf("#mcsDispHelp: no help display, %d bytes not shown\n", length);
    return -1;
}

void utsOut(const uint8_t*, int length) {
    logPrintf("#utsOut: no UTS interpreter, %d bytes not shown\n", length);
}
