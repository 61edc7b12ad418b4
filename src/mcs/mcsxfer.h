#pragma once
// Host-driven file transfer: dFzenh2p (87) writes a workstation file from
// host data, dFzenp2h (88) reads one for the host. Each builds its reply
// (func 87 or 88, Sub 0, status parameters) in reply.
#include "mcs/mcsareas.h"

#include <cstdint>
#include <span>

// The reply's size, or negative when the request could not be served (the
// handler then answers with the failure status Char 1).
int mcsXferH2P(McsAreas& areas, McsFormsState& fs, std::span<const uint8_t> request, std::span<uint8_t> reply);
int mcsXferP2H(McsAreas& areas, McsFormsState& fs, std::span<const uint8_t> request, std::span<uint8_t> reply);
