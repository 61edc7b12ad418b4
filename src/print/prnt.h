#pragma once
// Printing: resources held for the whole run, and auxiliary printing (host
// data passed through to a printer while the host keeps it open: the
// terminal's transparent print and the MCS host-driven print requests).

#include <cstdint>
#include <cstdio>
#include <string>

// Releases the printer device, printer settings and printer font.
void PrntRelease();

// Auxiliary printing. One job exists at a time for the whole program.
// Starts a job: non-zero when started, 0 when it could not be (or one is
// already running).
int cuAuxOn();
// Passes bytes to the job (port is a port file or null): bytes accepted, 0
// when nothing is printing, -1 on a print failure.
int cuAuxWrite(std::FILE* port, const uint8_t* bytes, int length);
// Ends the job.
void cuAuxOff();
bool cuAuxActive();

// Until the printer back ends are in, every job goes to one in-memory sink
// that tests read back.
const std::string& prntSinkData();
int prntSinkJobs();          // jobs started since the last reset
void prntSinkReset();        // empties the sink and ends a job
void prntSinkFail(bool on);  // on: writes fail, as a printer error would
