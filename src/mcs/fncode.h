#pragma once
// MCS function codes: the numbering shared with the host side and the names
// used in trace lines.
#include <cstdint>

constexpr int DF_MAXCODE = 250;
constexpr int DF_NAMEWIDTH = 10;  // shorter names are blank-padded to this
constexpr int DF_NAMEBUFS = 3;    // results kept alive at once
constexpr int DF_NAMEMAX = 32;    // one result buffer, NUL included

// Display name of a function code: looked up by the absolute value, "dF#%d"
// for a code without a name, blank-padded to 10 characters, upper case for a
// negative code. The text lives in one of three static buffers used in turn,
// so the results of three successive calls may be used together (one trace
// line); the fourth call overwrites the first.
const char* functionName(int code);

// The table's own name of a code (no padding), or null when it has none.
const char* functionTableName(int code);
