#pragma once
// A scratch configuration folder for the shell tests: KORVEX and the XDG
// folders point into it, the headless back end is fresh, and the shell's
// module state is cleared.
#include "plat/headless/headless.h"
#include "support/kvxtest.h"
#include "ui/config.h"
#include "ui/profile.h"
#include "ui/startup.h"
#include "ui/uiframe.h"
#include "common/log.h"
#include "support/servers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace uitest {

inline std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        root = kvxtest::scratchDir(std::string("ui-") + t->test_suite_name() + "-" + t->name());
        cfgDir = root + "/cfg/";
        std::filesystem::create_directories(cfgDir);
        setenv("KORVEX", cfgDir.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/home").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root + "/etc").c_str(), 1);
        headlessReset();
        headlessEchoBoxes(false);
        uiFrameReset();
        uiConfigReset();
    }
    void TearDown() override
    {
        uiShutdown();
        headlessReset();
        unsetenv("KORVEX");
    }
    // Writes korvex.ini and points the store at it.
    void config(const std::string& text)
    {
        writeText(cfgDir + "korvex.ini", text);
        uiLocateConfig();
    }
    std::string ini() const { return slurp(cfgDir + "korvex.ini"); }
    std::string get(const char* section, const char* key)
    {
        char buf[128];
        cfgGetString(section, key, "(none)", buf, sizeof buf);
        return buf;
    }
    // Dispatches what is queued (and what that posts) without waiting.
    static void drain()
    {
        for (int i = 0; i < 50 && platPump(0) > 0; ++i) {
        }
    }

    std::string root, cfgDir;
};

} // namespace uitest
