#pragma once
// Small conversions shared by the terminal, MCS and log units: big-endian
// 16-bit fields, EBCDIC, numeric display text with sign overpunch, padded
// copies, national upper-casing and the packed local-time word.
#include <cstddef>
#include <cstdint>

// Big-endian 16-bit field: byte 0 holds bits 8-15. Reading gives a signed
// value (0x8000 and above are negative); writing stores the low 16 bits.
int getBe16(const unsigned char* bytes);
void putBe16(int value, unsigned char* bytes);

// EBCDIC translation, one byte or a run of bytes in place.
extern const unsigned char ascToEbcTable[256];
extern const unsigned char ebcToAscTable[256];
inline unsigned char ascToEbc(unsigned char c) { return ascToEbcTable[c]; }
inline unsigned char ebcToAsc(unsigned char c) { return ebcToAscTable[c]; }
void ascToEbcBuf(unsigned char* bytes, std::size_t length);
void ebcToAscBuf(unsigned char* bytes, std::size_t length);

// Value of numeric display text: signs "-", skipped separators, and a last
// character that may carry the sign as an overpunch ("{A..I" positive,
// "}J..R" negative) or as an ASCII zoned digit (p..y negative). The
// magnitude goes to *magnitude when it is not null. Values that do not fit
// in an int saturate at INT_MAX in magnitude.
int numTextValue(const char* text, int length, int* magnitude = nullptr);

// Copies source until count characters or a NUL, fills the rest of the count
// positions with spaces, adds no terminator. Returns the number copied.
int padCopy(char* destination, const char* source, int count);

// Upper-cases a-z and, by the keyboard's national language code, the
// national replacement characters, in place.
void natUpper(unsigned char* bytes, std::size_t length, int language);
unsigned char natUpperChar(unsigned char c, int language);

// Local time packed as two words:
// word 0: bits 0-7 year-1970, 8-11 month 1-12, 16-20 day, 21-23 weekday
// (0 = Sunday), 24-28 hour; word 1: bits 0-5 minute, 8-13 second.
struct LocalTimeWord {
  std::uint32_t word[2];
};
LocalTimeWord localTimeWord();
// The same packing for a given broken-down time (tm fields).
LocalTimeWord packTimeWord(int year, int month, int day, int weekday, int hour, int minute, int second);
