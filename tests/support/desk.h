#pragma once
// The desk most tests start from: the headless back end reset, a scratch
// folder named after the running case with its configuration file, and a
// frame window with its MDI client. Header-only, so it links with whatever
// the test links.
#include "core/cuscr.h"
#include "plat/headless/headless.h"
#include "support/kvxtest.h"
#include "ui/profile.h"

#include <gtest/gtest.h>
#include <string>

namespace kvxtest {

// A fresh scratch folder for the running test case.
inline std::string caseScratchDir()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    return scratchDir(name);
}

struct Desk {
    std::string dir;        // the case's scratch folder
    std::string cfgPath;    // its korvex.ini, in use
    PWnd frame = 0;
    PWnd client = 0;        // 0 unless asked for
};

// Resets the headless back end (boxes not echoed), points the configuration
// at the case's scratch folder and creates the frame (and, with withClient,
// the MDI client the session windows go into).
inline Desk openDesk(PWndProc frameProc, bool withClient = true)
{
    headlessReset();
    headlessEchoBoxes(false);
    Desk d;
    d.dir = caseScratchDir();
    d.cfgPath = d.dir + "/korvex.ini";
    cfgSetFile(d.cfgPath.c_str());
    d.frame = platCreateWindow(PWndCreate{PWndKind::Frame, 0, "Korvex", {0, 0, 1024, 768}, PWS_VISIBLE, frameProc});
    if (withClient && d.frame) {
        d.client = platCreateWindow(PWndCreate{PWndKind::MdiClient, d.frame, "", {0, 0, 1024, 768}, PWS_VISIBLE, nullptr});
        cuSetMdiClient(d.client);
    }
    return d;
}

} // namespace kvxtest
