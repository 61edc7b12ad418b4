#include "common/strtab.h"

namespace {

constexpr StrEntry strMain[] = {
    {12001, "Korvex"},
    {12015, "Version"},
    {12021, "Desktop attributes saved."},
    {16013, "Error resizing the application's message queue"},
    {16018, "&Stop Recording"},
    {16019, "&Stop Playback"},
    {16020, "&Stop Record/Playback"},
    {16021, "Error"},
    {16026, "Unable to start Korvex.\nMake sure that the TCP/IP drivers are loaded."},
    {16027, "Unable to start Korvex.\nKorvex may already be running."},
    {16033, "Build"},
    {16036, "Revision"},
    {17011, "Clipboard viewer clipbrd.exe/clipbd.exe does not exist on this version of windows"},
    {17012, "Moving KORVEX.INI file from '%s' to '%s'"},
    {17013,
     "A KORVEX.INI file exists from an earlier installation of Korvex. Do you wish to keep this file as the "
     "common starting configuration file for all new users of Korvex?"},
    {17014, "Unable to start notepad.exe on the debug log file"},
};

}  // namespace

const StrTable strMainTable = strTableOf(strMain);

namespace {

// Every unit's table; the socket error texts (10004..11004) join here.
const StrTable* const strTables[] = {
    &strMainTable,
    &strSockTable,
};

}  // namespace

const char* strGet(int number) {
  for (const StrTable* t : strTables)
    for (int i = 0; i < t->count; ++i)
      if (t->entries[i].number == number) return t->entries[i].text;
  return "";
}
