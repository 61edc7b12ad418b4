// Scripted runs: the program started as usual, then keys typed into its
// session and text waited for, as a user at the keyboard would.
#include "automate.h"

#include "core/child.h"
#include "core/cuscr.h"
#include "plat/plat.h"
#include "ui/config.h"
#include "ui/startup.h"
#include "ui/uiframe.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kPumpMs = 20;

int openSlot()
{
    for (int i = 0; i < CU_MAX_SCREENS; ++i)
        if (cuScreenAt(i))
            return i;
    return -1;
}

// The screen as text lines, trailing blanks removed; "" when none.
std::string screenText(int slot)
{
    CuScreen* s = cuScreenAt(slot);
    if (!s || !s->chars)
        return {};
    std::string out;
    for (int r = 0; r < s->Rows; ++r) {
        std::string line;
        for (int c = 0; c < s->Cols; ++c) {
            uint16_t code = s->chars[r * s->bufCols + c];
            line += (code >= 32 && code < 256) ? (char)code : ' ';
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line;
        out += '\n';
    }
    return out;
}

// Pumps until pred holds, the session is gone or the time is up; the
// screen is remembered as last seen.
template <typename Pred>
bool pumpUntil(int slot, int seconds, std::string& last, Pred pred)
{
    uint32_t start = platTickCount();
    for (;;) {
        if (cuScreenAt(slot))
            last = screenText(slot);
        if (pred())
            return true;
        if (!cuScreenAt(slot) || platQuitting())
            return false;
        if (platTickCount() - start >= (uint32_t)seconds * 1000u)
            return false;
        platPump(kPumpMs);
    }
}

bool typeKeys(int slot, const std::string& text)
{
    CuScreen* s = cuScreenAt(slot);
    if (!s)
        return false;
    std::vector<int32_t> keys = autoKeyCodes(text);
    size_t i = 0;
    // The key ring holds 39 keys: feed it as the session sends them.
    while (i < keys.size()) {
        if (!cuScreenAt(slot))
            return false;
        sessSelect(slot);
        while (i < keys.size() && cuKeyPut(keys[i]) == 0)
            ++i;
        platPost(s->wnd, PM_PROCESS_KEYS, 0, 0);
        platPump(kPumpMs);
    }
    return true;
}

void writeScreen(const std::string& file, const std::string& text)
{
    if (file.empty())
        return;
    if (file == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return;
    }
    if (std::FILE* f = std::fopen(file.c_str(), "w")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    } else {
        std::fprintf(stderr, "korvex: cannot write %s\n", file.c_str());
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::vector<int32_t> autoKeyCodes(const std::string& text)
{
    std::vector<int32_t> keys;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = (unsigned char)text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            keys.push_back(c);
            continue;
        }
        char n = text[++i];
        switch (n) {
        case 'n': keys.push_back(13); break;
        case 'X': keys.push_back(0xC600); break;
        case 'E': keys.push_back(27); break;
        case '\\': keys.push_back('\\'); break;
        case 'x': {
            int32_t code = 0;
            int digits = 0;
            while (digits < 8 && i + 1 < text.size() && hexValue(text[i + 1]) >= 0) {
                code = code * 16 + hexValue(text[++i]);
                ++digits;
            }
            if (digits)
                keys.push_back(code);
            break;
        }
        default:
            keys.push_back('\\');
            keys.push_back((unsigned char)n);
            break;
        }
    }
    return keys;
}

int autoRun(const char* cmdLine, const char* host, const AutoRun& run)
{
    int rc = uiStartup(cmdLine);
    if (rc != 0) {
        uiShutdown();
        return rc == 1 ? AUTO_OK : AUTO_NOSESSION;
    }
    platSetMessageFilter(uiFrameMessageFilter);
    // Start-up opens the session itself when the host list has entries.
    if (openSlot() < 0 && uiConfig().hostCount == 0 && host && *host)
        uiAutoConnect(host);
    int slot = openSlot();
    if (slot < 0) {
        uiShutdown();
        return AUTO_NOSESSION;
    }
    std::string last;
    int status = AUTO_OK;
    for (const AutoStep& step : run.steps) {
        if (step.kind == AutoStep::Keys) {
            bool ready = pumpUntil(slot, run.timeoutSeconds, last, [slot] {
                CuScreen* s = cuScreenAt(slot);
                return s && s->writable;
            });
            if (!ready || !typeKeys(slot, step.text)) {
                status = AUTO_TIMEOUT;
                break;
            }
        } else if (!pumpUntil(slot, run.timeoutSeconds, last, [&] { return screenText(slot).find(step.text) != std::string::npos; })) {
            status = AUTO_TIMEOUT;
            break;
        }
    }
    if (cuScreenAt(slot))
        last = screenText(slot);
    writeScreen(run.screenFile, last);
    if (!run.imageFile.empty()) {
        CuScreen* s = cuScreenAt(slot);
        if (!run.saveImage || !s || run.saveImage(s->wnd, run.imageFile.c_str()) != 0)
            std::fprintf(stderr, "korvex: no image written to %s\n", run.imageFile.c_str());
    }
    if (PWnd frame = uiFrame()) {
        platPost(frame, PM_CLOSE, 0, 0);
        for (int i = 0; i < 200 && !platQuitting(); ++i)
            platPump(kPumpMs);
    }
    uiShutdown();
    return status;
}
