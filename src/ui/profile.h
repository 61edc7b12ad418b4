#pragma once
// The configuration store: "korvex.ini" with the semantics of Windows
// private profile files (sections, key=value lines, a default for a missing
// key, writing a key with no value deletes it). Section and key names match
// without regard to case; values keep theirs.

#include <cstdint>

constexpr int PROFILE_PATH_MAX = 259;

// The configuration file in use; tests point it at a scratch file.
void cfgSetFile(const char* path);
const char* cfgFile();

// Reads a value into out (always NUL-terminated, cut to size - 1); returns
// the length stored. A missing key gives def.
int cfgGetString(const char* section, const char* key, const char* def, char* out, int size);
// Reads an integer (decimal, leading sign allowed); a missing or empty key
// gives def.
int32_t cfgGetInt(const char* section, const char* key, int32_t def);
// Writes key=value; a null or empty value deletes the key. Returns 0, or -1
// when the file cannot be written.
int cfgSetString(const char* section, const char* key, const char* value);

// Stored state of session window slot 1..8: section "Fonts", key
// "DefWin%02dState", "left,top,right,bottom,fontsize[,rows,cols[,maximised]]"
// in MDI client co-ordinates. Rows outside 1..199 or columns outside 1..249
// give 24 by 80.
struct CfgWindowState {
    int32_t left, top, right, bottom;
    int32_t fontSize;
    int32_t rows, cols;
    int32_t maximized;
};
// Returns 1 with the state filled when one is stored for the slot; else 0
// with 24 by 80, font size 0 and an empty rectangle.
int cfgGetWindowState(int windowSlot, CfgWindowState* out);
