// The splash window: product, company and version line, centred over the
// desktop, gone after the configured seconds.
#include "ui/startup.h"

#include "common/strtab.h"
#include "common/version.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uintptr_t kSplashTimer = 116;
constexpr int kWidth = 360, kHeight = 140;
// Where the splash sits when the desktop's size is not known.
constexpr int kLeft = 320, kTop = 240;

PWnd g_splash = 0;
PFont g_font = 0;

void paint(PWnd wnd)
{
    PDC dc = platGetDC(wnd);
    platFillRect(dc, PRect{0, 0, kWidth, kHeight}, platRgb(255, 255, 255));
    if (!g_font)
        g_font = platCreateFont("Liberation Sans", 16, 0);
    platSelectFont(dc, g_font);
    platSetTextColor(dc, platRgb(0, 0, 128));
    platSetBkColor(dc, platRgb(255, 255, 255));
    char version[96];
    snprintf(version, sizeof version, "%s %d.%d %s %d %s %d", strGet(12015), KVX_VERSION_MAJOR, KVX_VERSION_MINOR,
             strGet(16033), KVX_VERSION_BUILD, strGet(16036), KVX_VERSION_REVISION);
    const char* lines[] = {KVX_PRODUCT, KVX_COMPANY, version};
    int y = 24;
    for (const char* l : lines) {
        platTextOut(dc, 24, y, reinterpret_cast<const uint8_t*>(l), (int32_t)std::strlen(l));
        y += 32;
    }
    platReleaseDC(wnd, dc);
}

PResult splashProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam)
{
    switch (msg) {
    case PM_PAINT:
        paint(wnd);
        return 0;
    case PM_TIMER:
        if (wp == kSplashTimer)
            uiSplashClose();
        return 0;
    case PM_DESTROY:
        if (wnd == g_splash)
            g_splash = 0;
        return 0;
    }
    return 0;
}

} // namespace

PWnd uiSplashShow(int seconds)
{
    if (seconds <= 0 || g_splash)
        return g_splash;
    PWndCreate c{};
    c.kind = PWndKind::Popup;
    c.parent = 0;
    c.title = KVX_PRODUCT;
    c.rect = PRect{kLeft, kTop, kLeft + kWidth, kTop + kHeight};
    c.flags = PWS_VISIBLE;
    c.proc = splashProc;
    g_splash = platCreateWindow(c);
    if (!g_splash)
        return 0;
    paint(g_splash);
    platUpdate(g_splash);
    platSetTimer(g_splash, kSplashTimer, (uint32_t)seconds * 1000u);
    return g_splash;
}

void uiSplashClose()
{
    PWnd w = g_splash;
    g_splash = 0;
    if (w && platIsWindow(w)) {
        platKillTimer(w, kSplashTimer);
        platDestroyWindow(w);
    }
    if (g_font) {
        platDeleteFont(g_font);
        g_font = 0;
    }
}

PWnd uiSplashWindow() { return g_splash; }
