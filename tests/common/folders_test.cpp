#include "plat/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/kvxtest.h"

namespace {

// Sets or removes environment variables for one test and restores them after.
class EnvGuard {
 public:
  explicit EnvGuard(std::initializer_list<const char*> names) {
    for (const char* n : names) {
      const char* v = std::getenv(n);
      saved_.push_back({n, v ? std::string(v) : std::string(), v != nullptr});
    }
  }
  ~EnvGuard() {
    for (const Saved& s : saved_) {
      if (s.present)
        setenv(s.name, s.value.c_str(), 1);
      else
        unsetenv(s.name);
    }
  }

 private:
  struct Saved {
    const char* name;
    std::string value;
    bool present;
  };
  std::vector<Saved> saved_;
};

std::string folder(int (*fn)(char*, std::size_t)) {
  char buf[PLAT_PATHBUF];
  int n = fn(buf, sizeof buf);
  if (n < 0) return "error " + std::to_string(n);
  EXPECT_EQ(static_cast<std::size_t>(n), std::string(buf).size());
  return buf;
}

void setOrUnset(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

}  // namespace

TEST(Folders, ApplicationDataFolders) {
  EnvGuard guard({"HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"});
  struct Case {
    const char* home;
    const char* configHome;
    const char* configDirs;
    const char* user;
    const char* common;
  };
  const Case cases[] = {
      {"/home/ann", nullptr, nullptr, "/home/ann/.config/korvex/", "/etc/xdg/korvex/"},
      {"/home/ann", "/srv/cfg", "/opt/xdg:/etc/xdg", "/srv/cfg/korvex/", "/opt/xdg/korvex/"},
      {"/home/ann", "/srv/cfg/", "/opt/xdg/", "/srv/cfg/korvex/", "/opt/xdg/korvex/"},
      {"/home/ann", "relative", "", "/home/ann/.config/korvex/", "/etc/xdg/korvex/"},
      {"/home/ann", "", ":/late", "/home/ann/.config/korvex/", "/etc/xdg/korvex/"},
  };
  for (const Case& c : cases) {
    setOrUnset("HOME", c.home);
    setOrUnset("XDG_CONFIG_HOME", c.configHome);
    setOrUnset("XDG_CONFIG_DIRS", c.configDirs);
    EXPECT_EQ(folder(platUserDataFolder), c.user) << (c.configHome ? c.configHome : "(unset)");
    EXPECT_EQ(folder(platCommonDataFolder), c.common) << (c.configDirs ? c.configDirs : "(unset)");
  }
  EXPECT_EQ(folder(platWindowsFolder), "/etc/");
}

TEST(Folders, TooLongFolderFails) {
  EnvGuard guard({"XDG_CONFIG_HOME"});
  std::string longPath = "/" + std::string(300, 'x');
  setenv("XDG_CONFIG_HOME", longPath.c_str(), 1);
  char buf[PLAT_PATHBUF];
  EXPECT_LT(platUserDataFolder(buf, sizeof buf), 0);
  char small[8];
  EXPECT_LT(platWindowsFolder(small, 4), 0);
  EXPECT_EQ(platWindowsFolder(small, sizeof small), 5);
}

TEST(Folders, DocumentsFolder) {
  EnvGuard guard({"HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR", "KORVEX"});
  unsetenv("KORVEX");
  std::string home = kvxtest::scratchDir("folders_home");
  std::string docs = home + "/Docs";
  std::string papers = home + "/Papers";
  mkdir(docs.c_str(), 0755);
  mkdir(papers.c_str(), 0755);
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  mkdir((home + "/.config").c_str(), 0755);
  std::string dirsFile = home + "/.config/user-dirs.dirs";

  // Without a documents entry: the configuration folder.
  unsetenv("XDG_DOCUMENTS_DIR");
  EXPECT_EQ(folder(platDocumentsFolder), home + "/.config/korvex/");

  // The user-dirs.dirs entry, with $HOME expanded.
  std::ofstream(dirsFile) << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                          << "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n";
  EXPECT_EQ(folder(platDocumentsFolder), docs + "/");

  // The environment variable wins over the file.
  setenv("XDG_DOCUMENTS_DIR", papers.c_str(), 1);
  EXPECT_EQ(folder(platDocumentsFolder), papers + "/");

  // A documents folder that does not exist is not used.
  setenv("XDG_DOCUMENTS_DIR", (home + "/Missing").c_str(), 1);
  EXPECT_EQ(folder(platDocumentsFolder), home + "/.config/korvex/");

  // An entry equal to the home folder means documents are turned off.
  unsetenv("XDG_DOCUMENTS_DIR");
  std::ofstream(dirsFile) << "XDG_DOCUMENTS_DIR=\"$HOME/\"\n";
  EXPECT_EQ(folder(platDocumentsFolder), home + "/.config/korvex/");

  // With "KORVEX" naming the configuration's folder, that folder.
  setenv("KORVEX", papers.c_str(), 1);
  EXPECT_EQ(folder(platDocumentsFolder), papers + "/");
  setenv("KORVEX", (home + "/Missing").c_str(), 1);
  EXPECT_EQ(folder(platDocumentsFolder), home + "/.config/korvex/");
}

TEST(Folders, DocumentsFallBackToCurrentDirectory) {
  EnvGuard guard({"HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR"});
  unsetenv("XDG_DOCUMENTS_DIR");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("HOME");
  // Without HOME the password database still names a home folder; only when
  // that is missing too does the current directory serve.
  std::string got = folder(platDocumentsFolder);
  char cwd[PLAT_PATHBUF];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_TRUE(got.size() > 1 && got.back() == '/') << got;
  EXPECT_TRUE(got.find("/.config/korvex/") != std::string::npos || got == std::string(cwd) + "/") << got;
}
