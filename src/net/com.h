#pragma once
// The socket layer: start and stop of the socket and SSH libraries, the
// workstation address, the listening socket for MCS call-backs, framed and
// compressed MCS messages, raw host reads and writes, and the socket error
// boxes. Sockets are POSIX sockets; readiness arrives as PM_SOCKET through
// platAsyncSelect. Failing calls record a Windows Sockets error number
// (platWsaFromErrno), which is what the messages show.
//
// A frame is a 2-byte big-endian body length followed by the body that
// compressBuf produced. Bodies are below 32768 bytes.
#include "plat/plat.h"

#include <cstdint>
#include <memory>

constexpr int COM_STAGING_SIZE = 2000;     // staging buffer kept between calls
constexpr int COM_FRAME_MAX = 32767;       // longest frame body
constexpr int COM_RECV_SIZE = 2 + COM_FRAME_MAX; // MCS receive buffer: one whole frame fits
constexpr int COM_GREETING_LEN = 7;        // call-back greeting; bytes 3..6 are the tag
constexpr int COM_TEXT_MAX = 1281;         // error box text, with its NUL
constexpr int COM_DEFAULT_PORT = 12371;
constexpr int COM_DEFAULT_MAXCOPIES = 8;
constexpr int COM_LISTEN_BACKLOG = 5;
constexpr int COM_ACCEPT_TRIES = 5;
constexpr const char* COM_NO_PEER_NAME = "NewWin";

// Readiness masks.
constexpr uint32_t COM_MASK_LISTEN = FD_ACCEPT;                                       // 8
constexpr uint32_t COM_MASK_HOST = FD_READ | FD_WRITE | FD_OOB | FD_CONNECT | FD_CLOSE; // 55
constexpr uint32_t COM_MASK_MCS = FD_READ | FD_WRITE | FD_CLOSE;                        // 35

// Windows Sockets numbers the layer tests for.
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEADDRINUSE = 10048;

// 0, or the failing library's code. Copies the configuration path, starts
// libssh2 and takes the workstation address from "KORVEXADDR" (or
// "korvexaddr") when it is a dotted quad.
int comStartUp(const char* configPath);
void comShutDown();
// The configuration file handed to comStartUp.
const char* comConfigPath();

// Dotted-quad rule of the environment address and comHostAddr: digits
// accumulate into the current byte (kept to 8 bits, "300" is 44), "." moves
// to the next, anything else ends the text. An address exactly when three
// dots were seen. 1 with out filled (first byte first), else 0.
int comParseDottedQuad(const char* text, uint8_t out[4]);

// The workstation address in network order (0 until known) and whether it
// was fixed from the environment.
const uint8_t* comWorkstationAddr();
bool comAddrFixed();

// The user's Compression option: start-up and the options dialog set it;
// comWrite applies it in own-setting mode, and in follow-the-peer mode every
// received frame copies the compression state back into it.
void comSetCompressionOption(bool on);
bool comCompressionOption();

// The last socket error recorded (Windows Sockets number).
int comLastError();
void comSetLastError(int wsa);

// -1 no socket, -2 no port of the range could be bound, -4 notification
// failed; else the socket, with *port the port bound. Tries "Options"
// "MaxCopies" (default 8) consecutive ports from *port.
int comCreateListeningAsyncSock(uint16_t* port, PWnd window, uint32_t message);
// 1 bound (and listening when asked), 0 port in use, -1 other error.
int comBind(uint16_t port, int socket, bool listen);
// Accepts a call-back and reads its 7-byte greeting; the socket (blocking,
// notification off) with tag[0..3] = greeting bytes 3..6, or -1.
int comAccept(int listener, char tag[4]);
// 1 connected or in progress, 0 failed. address is in network order.
int comConnect(int socket, const uint8_t address[4], uint16_t port);
// A dotted quad, else a resolved name. 1 with out filled, else 0.
int comHostAddr(const char* name, uint8_t out[4]);
// 1 when the workstation address is known (fixed, or from getsockname).
int comLocalAddr(int socket);
// "NewWin" unless the peer's address has a reverse name (cut at the first
// "."). 0, or getpeername's non-zero result.
int comPeerName(int socket, char* buffer, int size);

// mode 0: notification off and blocking; mode 1: mask 55. 0 or -1.
int comSetSockMode(int socket, int mode, uint32_t message, PWnd window);
// Mask 35 with PM_SOCKET. 0 or -1.
int comSetMCSSockToASYNC(int socket, PWnd window);

// One framed, compressed message: bytes sent (length + 2), or -1.
int comWrite(int socket, const uint8_t* message, int length);
// Reads one frame with the socket blocking and its notification off, then
// re-arms it for the current session's window. The decompressed message
// replaces buffer[0..); returns the body length (compressed size), or -1.
int comRead(int socket, uint8_t* buffer, int size);
// Drains the socket into the current session's MCS receive buffer and hands
// every complete message to msrDoMcsRequest.
void comAsyncRead(int socket);
// length when everything was sent (a length of 0 or less returned as is),
// or -1. A send that would block pumps messages and tries again.
int comWriteRaw(int socket, const uint8_t* bytes, int length);
// 1 when all bytes went out, else -1.
int comHostPut(int socket, const uint8_t* bytes, int length);
// One recv: count, 0 at end of stream, -1 on error. flags 0 or COM_OOB.
constexpr int COM_OOB = 1;
int comReadRaw(int socket, uint8_t* buffer, int size, int flags);
int comClose(int socket);
// Posts FD_CLOSE for socket to the current session's window.
void comPostFDClose(int socket);
// Lets the platform's socket progress while a send would block.
void comYield();

// Message box "ERROR": format with code, and for codes 10004..11004 a line
// with that socket error's text.
void comErrorBox(const char* format, int code);
// As comErrorBox, plus "On Host [%s], port [%d] using '%s' protocol".
void comHostErrorBox(const char* format, int code, const char* host, int port, const char* protocol);
// Formats the comErrorBox text into out (COM_TEXT_MAX bytes); returns its length.
int comErrorText(char* out, int size, const char* format, int code);

// Frame reassembly, apart from the socket so that it can be fed any bytes.
// The buffer holds COM_RECV_SIZE bytes; fill is how many are in use.
struct ComRecv {
    std::unique_ptr<uint8_t[]>& buf;
    int32_t& fill;
};
// Receives a decompressed message; the block is the sink's to read only.
using ComMessageSink = void (*)(void* context, uint8_t* message, int length);
// Room left after the filled part.
int comRecvRoom(const ComRecv& r);
constexpr int COM_RECV_EFRAME = -1;   // a frame announced more than COM_FRAME_MAX bytes
// Takes the first complete frame off the front of the buffer and decodes
// it: the message length with *message a std::malloc block the caller
// frees, 0 with *message null while no complete frame is buffered, or
// COM_RECV_EFRAME (the buffer is emptied: the stream cannot be followed).
// A frame that does not decompress is dropped and the next one taken.
int comRecvTakeFrame(const ComRecv& r, int socket, uint8_t** message);
// Takes every complete frame off the front of the buffer, decompresses it
// and hands it to sink, in order. A frame that does not decompress is
// dropped (traced) so that the channel does not stall behind it. The buffer
// is freed when it becomes empty. Returns the number of messages delivered,
// or COM_RECV_EFRAME.
int comRecvFrames(const ComRecv& r, int socket, ComMessageSink sink, void* context);

// Where comAsyncRead delivers; null restores msrDoMcsRequest for the
// current slot. For tests.
using ComMcsRequest = int (*)(int slot, uint8_t* buf, int len);
void comSetMcsRequest(ComMcsRequest fn);
