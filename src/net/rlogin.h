#pragma once
// rlogin wire records: the handshake sent once the connection is up, the
// window-size record sent when the host asks for it, and the reserved
// local port the connection must come from.
#include <cstdint>

constexpr const char* RLOGIN_TERMINAL = "korvex/38400";
constexpr int RLOGIN_PORT_FIRST = 512;
constexpr int RLOGIN_PORT_LAST = 1023;
constexpr int RLOGIN_PORT_COUNT = RLOGIN_PORT_LAST - RLOGIN_PORT_FIRST + 1;
constexpr int RLOGIN_USERID_MAX = 32;       // longest user id put in the handshake
constexpr int RLOGIN_HANDSHAKE_MAX = 1 + 2 * (RLOGIN_USERID_MAX + 1) + 13;
constexpr int RLOGIN_WINSIZE_LEN = 12;
constexpr uint8_t RLOGIN_WINDOW_REQUEST = 0x80;  // urgent byte: send the window size

// Builds 0, user, 0, user, 0, "korvex/38400", 0 into out; the user id
// "no-id" sends empty names. Returns the length, or -1 when size is short.
int rloginHandshake(const char* userId, uint8_t* out, int size);
// The 12-byte window-size record: FF FF "ss" rows cols rows*8 cols*8.
void rloginWindowSize(int rows, int cols, uint8_t (&out)[RLOGIN_WINSIZE_LEN]);

// The port after port in the search order (1023 wraps to 512).
int rloginNextPort(int port);
// Where the next search starts: "Hosts"/"Port" when it lies in 512..1023.
int rloginFirstPort();
// Remembers where the next search starts.
void rloginRememberPort(int port);
