#pragma once
// The system folders the program keeps its files in, in their Linux places.
// Each fills a caller buffer of PLAT_PATHBUF bytes with a folder name that
// ends in "/" (so a file name can be appended directly) and returns its
// length, or a negative value when the folder cannot be named or does not
// fit (paths are at most PLAT_PATHMAX characters).
#include <cstddef>

constexpr std::size_t PLAT_PATHBUF = 260;
constexpr int PLAT_PATHMAX = 259;

constexpr int PLAT_ENOFOLDER = -1; // no home, no variable, no current directory
constexpr int PLAT_ETOOLONG = -2;

// Per-user application data: $XDG_CONFIG_HOME/korvex/ (default ~/.config/korvex/).
int platUserDataFolder(char* out, std::size_t size = PLAT_PATHBUF);
// All-users application data: the first folder of $XDG_CONFIG_DIRS plus
// korvex/ (default /etc/xdg/korvex/).
int platCommonDataFolder(char* out, std::size_t size = PLAT_PATHBUF);
// Where an old installation kept its settings: /etc/.
int platWindowsFolder(char* out, std::size_t size = PLAT_PATHBUF);
// The user's documents folder ($XDG_DOCUMENTS_DIR, or its entry in
// user-dirs.dirs) when it exists on disk; else the per-user application-data
// folder; else the current directory.
int platDocumentsFolder(char* out, std::size_t size = PLAT_PATHBUF);
