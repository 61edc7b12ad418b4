#pragma once
// The string table: numbered user texts (English). Units keep their texts in
// constexpr tables of {number, text}; strGet walks every table in turn.
//
// To add a unit's texts: define a `const StrTable` for them in its own .cpp
// under src/common/, declare it below and add it to strTables in strtab.cpp.

struct StrEntry {
  int number;
  const char* text;
};

struct StrTable {
  const StrEntry* entries;
  int count;
};

template <int N>
constexpr StrTable strTableOf(const StrEntry (&entries)[N]) {
  return {entries, N};
}

// The text of string number, or "" (never null) when no table has it, so a
// missing text shows as an empty line rather than a crash.
const char* strGet(int number);

extern const StrTable strMainTable;
extern const StrTable strSockTable;  // strtab_sock.cpp: socket layer
