// Host-driven transfer is not in yet: each entry traces a "#" line and
// fails.
#include "mcs/mcsxfer.h"

#include "common/log.h"

int mcsXferH2P(McsAreas&, McsFormsState&, std::span<const uint8_t> request, std::span<uint8_t>) {
    logPrintf("#mcsXferH2P: no host-driven transfer, request of %d bytes refused\n", (int)request.size());
    return -1;
}

int mcsXferP2H(McsAreas&, McsFormsState&, std::span<const uint8_t> request, std::span<uint8_t>) {
    logPrintf("#mcsXferP2H: no host-driven transfer, request of %d bytes refused\n", (int)request.size());
    return -1;
}
