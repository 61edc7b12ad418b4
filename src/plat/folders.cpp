#include "plat/folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Joins the parts and a final "/" into out; fails when the result would
// exceed the buffer or PLAT_PATHMAX.
int putFolder(char* out, std::size_t size, const std::string& path) {
  std::string p = path;
  if (p.empty() || p.back() != '/') p += '/';
  if (p.size() > static_cast<std::size_t>(PLAT_PATHMAX) || p.size() + 1 > size) return PLAT_ETOOLONG;
  std::memcpy(out, p.c_str(), p.size() + 1);
  return static_cast<int>(p.size());
}

std::string envValue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string homeFolder() {
  std::string home = envValue("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

// XDG base folders must be absolute; relative values are ignored.
std::string configHome() {
  std::string v = envValue("XDG_CONFIG_HOME");
  while (v.size() > 1 && v.back() == '/') v.pop_back();
  if (!v.empty() && v[0] == '/') return v;
  std::string home = homeFolder();
  return home.empty() ? std::string() : home + "/.config";
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Expands a leading $HOME or ${HOME} as user-dirs.dirs writes it.
std::string expandHome(const std::string& v) {
  for (const char* key : {"$HOME", "${HOME}"}) {
    std::size_t n = std::strlen(key);
    if (v.compare(0, n, key) == 0 && (v.size() == n || v[n] == '/')) return homeFolder() + v.substr(n);
  }
  return v;
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" from user-dirs.dirs.
std::string documentsFromUserDirs() {
  std::string base = configHome();
  if (base.empty()) return {};
  FILE* f = std::fopen((base + "/user-dirs.dirs").c_str(), "r");
  if (!f) return {};
  std::string found;
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    const char* p = line;
    while (*p == ' ' || *p == '\t') ++p;
    static constexpr char key[] = "XDG_DOCUMENTS_DIR=";
    if (std::strncmp(p, key, sizeof key - 1) != 0) continue;
    std::string v = p + sizeof key - 1;
    while (!v.empty() && (v.back() == '\n' || v.back() == '\r' || v.back() == ' ')) v.pop_back();
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    found = v;
  }
  std::fclose(f);
  return found;
}

std::string documentsFolder() {
  std::string v = envValue("XDG_DOCUMENTS_DIR");
  if (v.empty()) v = documentsFromUserDirs();
  v = expandHome(v);
  if (v.empty() || v[0] != '/') return {};
  // A documents entry equal to the home folder means the user turned it off.
  std::string home = homeFolder();
  if (!home.empty() && (v == home || v == home + "/")) return {};
  return isFolder(v) ? v : std::string();
}

}  // namespace

int platUserDataFolder(char* out, std::size_t size) {
  std::string base = configHome();
  if (base.empty()) return PLAT_ENOFOLDER;
  return putFolder(out, size, base + "/korvex");
}

int platCommonDataFolder(char* out, std::size_t size) {
  std::string dirs = envValue("XDG_CONFIG_DIRS");
  std::string first = dirs.substr(0, dirs.find(':'));
  if (first.empty() || first[0] != '/') first = "/etc/xdg";
  while (first.size() > 1 && first.back() == '/') first.pop_back();
  return putFolder(out, size, first + "/korvex");
}

int platWindowsFolder(char* out, std::size_t size) { return putFolder(out, size, "/etc/"); }

int platDocumentsFolder(char* out, std::size_t size) {
  std::string docs = documentsFolder();
  if (!docs.empty()) {
    int n = putFolder(out, size, docs);
    if (n >= 0) return n;
  }
  // The configuration folder: the one "KORVEX" names, as for korvex.ini.
  std::string named = expandHome(envValue("KORVEX"));
  if (!named.empty() && named[0] == '/' && isFolder(named)) {
    int n = putFolder(out, size, named);
    if (n >= 0) return n;
  }
  int n = platUserDataFolder(out, size);
  if (n >= 0) return n;
  char cwd[PLAT_PATHBUF];
  if (!getcwd(cwd, sizeof cwd)) return PLAT_ENOFOLDER;
  return putFolder(out, size, cwd);
}
