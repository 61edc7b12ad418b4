#pragma once
// A headless session fed host bytes through the session table's host-data
// path, as a telnet session would feed them, with everything the session
// writes back to the host collected. korvex-replay and the interpreter tests
// are built on it.
#include <cstdint>
#include <string>
#include <vector>

struct ChSession;

struct ReplayOptions {
    int rows = 24;
    int cols = 80;
    int chunk = 0;          // bytes per host read; 0 = all in one read
    int port = 12371;       // the MCS listening port reported to the host
    int slot = 0;
};

// Opens the session. 0, or negative with a message in *error.
int replayOpen(const ReplayOptions& options, std::string* error);
// Writes bytes to the host side of the connection and lets the session read
// them (one read per chunk). Returns the number of bytes the session took,
// or negative when the session is gone.
int replayFeed(const uint8_t* bytes, int length);
// Bytes the session wrote to the host since the last call.
std::string replayTakeReplies();
ChSession* replaySession();
// Closes the session and the connection.
void replayClose();

struct ReplaySnapshot {
    int rows = 0, cols = 0;
    int curRow = 0, curCol = 0;
    std::vector<std::string> lines;          // one byte per cell
    std::vector<std::vector<int>> attrs;
};
ReplaySnapshot replaySnapshot();
// The snapshot and replies as one JSON object (cells as code points).
std::string replayJson(const ReplaySnapshot& snap, const std::string& replies);
