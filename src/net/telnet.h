#pragma once
// The telnet option filter of the host channel: it strips telnet commands
// from a received block and answers the server's option requests. The
// terminal offers one option, TERMINAL-TYPE, with the type "korvex", and
// refuses everything else it is asked to do.
#include <cstdint>

constexpr uint8_t TN_IAC = 0xFF;
constexpr uint8_t TN_DONT = 0xFE;
constexpr uint8_t TN_DO = 0xFD;
constexpr uint8_t TN_WONT = 0xFC;
constexpr uint8_t TN_WILL = 0xFB;
constexpr uint8_t TN_SB = 0xFA;
constexpr uint8_t TN_SE = 0xF0;
constexpr uint8_t TN_IS = 0;
constexpr uint8_t TN_OPT_TTYPE = 24;
constexpr uint8_t TN_OPT_AUTHENTICATION = 37;
constexpr uint8_t TN_OPT_ENCRYPT = 38;

// Sends one reply to the server; returns what the socket layer returned.
using TelnetReply = int (*)(void* context, const uint8_t* bytes, int length);

// Most bytes an incomplete command at the end of a block can hold.
constexpr int TN_CARRY_MAX = 5;

// Filters buffer[0..count) in place and returns the count of data bytes
// left at its start. Commands are cut out. An incomplete command at the end
// of the block stays in the buffer right after the data, and *heldBack says
// how long it is, so the caller can put it in front of the next block (a
// server's command may be split across reads); with heldBack null it is
// dropped. A negative or zero count is returned unchanged.
int telnetFilter(uint8_t* buffer, int count, TelnetReply reply, void* context, int* heldBack = nullptr);
