// korvex: the program. With --headless it runs on the headless platform
// back end (message boxes on standard error), and can be driven by
// --keys/--wait/--timeout/--screen for scripts.
#include "automate.h"

#include "plat/headless/headless.h"
#include "plat/qt/qtplat.h"
#include "ui/startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void usage()
{
    std::fprintf(stderr, "usage: korvex [--headless [--keys TEXT] [--wait TEXT] [--timeout S] [--screen FILE] [--image PNG]] "
                         "[/Install | /Uninstall | /LANGID=id] [-d] [HOST]\n");
}

} // namespace

int main(int argc, char** argv)
{
    bool headless = false;
    AutoRun run;
    bool scripted = false;
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--headless") {
            headless = true;
        } else if ((a == "--keys" || a == "--wait") && hasValue) {
            run.steps.push_back({a == "--keys" ? AutoStep::Keys : AutoStep::Wait, argv[++i]});
            scripted = true;
        } else if (a == "--timeout" && hasValue) {
            run.timeoutSeconds = std::atoi(argv[++i]);
            if (run.timeoutSeconds <= 0)
                run.timeoutSeconds = 1;
        } else if (a == "--screen" && hasValue) {
            run.screenFile = argv[++i];
            scripted = true;
        } else if (a == "--image" && hasValue) {
            run.imageFile = argv[++i];
            scripted = true;
        } else if (a == "--help") {
            usage();
            return 0;
        } else if (a.rfind("--", 0) == 0) {
            usage();
            return 1;
        } else {
            rest.push_back(argv[i]);
        }
    }
    int n = (int)rest.size();
    rest.push_back(nullptr);
    if (headless) {
        headlessReset();
        headlessEchoBoxes(true);
    } else if (qtPlatInit(n, rest.data()) != 0) {
        std::fprintf(stderr, "korvex: no windowing system (try --headless)\n");
        return 1;
    } else {
        run.saveImage = qtPlatSaveImage;
    }
    char line[UI_CMDLINE_MAX];
    uiJoinArgs(n, rest.data(), line, sizeof line);
    int rc;
    if (scripted) {
        UiCmdLine cl;
        uiParseCmdLine(line, &cl);
        rc = autoRun(line, cl.host, run);
    } else {
        rc = uiMain(line);
    }
    if (!headless)
        qtPlatShutdown();
    return rc;
}
