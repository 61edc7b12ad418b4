#pragma once
// The MCS body coder: an optional run-length pass followed by an optional
// Huffman pass with one fixed code table, behind a one-byte flag header.
// The host uses the same format, so the decoder accepts every form and the
// encoder produces nothing else. State is process-wide and shared by the
// encoder, the decoder and every session (single thread).
#include <cstdint>

// Results (negative = failure).
constexpr int CMPRS_ENOMEM = -101;   // no memory, or the caller's output buffer is too small
constexpr int CMPRS_ENOTABLE = -102; // no memory for the code table
constexpr int CMPRS_EFLAG = -103;    // flag byte invalid
constexpr int CMPRS_ELENGTH = -104;  // body does not yield exactly the announced length
constexpr int CMPRS_EROOM = -105;    // output does not fit the room given to compressBuf

// Flag byte bits.
constexpr std::uint8_t CMPRS_LEADER = 0x01; // sender leads; the workstation never sets it
constexpr std::uint8_t CMPRS_ON = 0x02;     // compression on at the sender
constexpr std::uint8_t CMPRS_RLE = 0x04;    // run-length pass applied
constexpr std::uint8_t CMPRS_HUFF = 0x08;   // Huffman pass applied
constexpr std::uint8_t CMPRS_FORM = 0x10;   // compressed form (high nibble exactly 0x10)

constexpr int CMPRS_MSGMAX = 32767;  // message lengths are signed 16-bit on the wire
constexpr int CMPRS_WORKKEEP = 2048; // a larger work buffer is released after the call

// Compression mode.
constexpr int CMPRS_OWN = 0;    // the user's Compression option decides
constexpr int CMPRS_FOLLOW = 1; // the flags of received frames decide

// Codes length bytes of message into output (room bytes). Returns the body
// size, or a negative code.
int compressBuf(int length, const std::uint8_t* message, std::uint8_t* output, int room);

// Decodes a body of length bytes. With room 0 *output receives a block of
// exactly the message size from std::malloc, which the caller releases with
// std::free; otherwise *output must point to a buffer of room bytes. Returns
// the message size, or a negative code; *output is left alone on failure.
int decompressBuf(int length, const std::uint8_t* body, std::uint8_t** output, int room);

// Builds the code table and decode tree (done once; later calls return 0).
// 0, or CMPRS_ENOTABLE.
int compressBuildTable();
bool compressTableBuilt();

// Compression on/off (comWrite applies the user's option in own-setting mode)
// and the mode (follow-the-peer once a leader's frame has arrived).
void compressSetOn(bool on);
bool compressIsOn();
int compressMode();

// Releases the work buffer (program exit). compressWorkSize is its size now.
void compressReleaseWork();
int compressWorkSize();

// Back to the state before start-up: off, own setting, no work buffer, table
// not built.
void compressReset();

// MCS sampling: byte frequencies of the MCS traffic, written as a Huffman
// tree to "mcs_scan.dat" in the working directory when stopped.
void mcsSampleStart();
bool mcsSampleIsOn();
// Adds a block of bytes to the counters (does nothing while off).
void mcsSampleCount(const std::uint8_t* bytes, int length);
// A byte value's counter, or -1 while sampling is off.
int mcsSampleCounter(int byte);
// Stops sampling and writes the file. 0 written, -1 not sampling, -2 the
// file could not be created (the counters are freed either way).
int mcsSampleStop();
