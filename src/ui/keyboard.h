#pragma once
// Keyboard and mouse input of the session windows: platform key messages
// become the program's key codes, printable characters pass the input
// language map, and every key goes to the session (sessKeyTyped). Also the
// two language maps (host <-> workstation character) that the renderer and
// local echo use, and the locale-derived language of the workstation.
//
// The handlers act on the current session; they return 1 when the key was
// handled (the platform's default processing is then skipped), else 0.

#include "plat/plat.h"

#include <cstdint>

struct CuScreen;

constexpr int KB_LANG_MAPS_MAX = 100;
constexpr int KB_LANGUAGES = 13;     // language numbers 0..12
constexpr int KB_LANG_SWISS = 12;

// Key codes.
enum : int32_t {
    KEY_BACKTAB = 0x0F00,
    KEY_F1 = 0x3B00,
    KEY_F10 = 0x4400,
    KEY_SHIFT_F10 = 0x5D00,
    KEY_RIGHT = 0x4D00,
    KEY_XMIT = 0xC600,
    KEY_ALT1 = 0x7800,
    KEY_MOUSE_LEFT = 0x7FF0,
    KEY_MOUSE_LEFT2 = 0x7FF1,
    KEY_MOUSE_RIGHT = 0x7FF2,
    KEY_MOUSE_RIGHT2 = 0x7FF3,
};
constexpr int32_t IDM_OPENSESS = 201;   // frame command: open a session in slot lParam
// Frame command: open the session pop-up menu at the mouse (lParam = window).
constexpr int32_t IDM_SESSPOPUP = 299;

// Language-map set-up (cuInit calls it): reads the workstation language from
// the locale and the "Lang" section, builds both maps and, for a built-in
// map, writes the section back. Returns 0.
int kbLoadLangMaps();
// The language number in use (0 for a user map), for national upper-casing.
int kbLanguageCode();
// Host character -> character shown, and typed character -> host character;
// codes above 255 (and negative ones) pass unchanged.
int32_t LangUNIXToWin(int32_t code);
int32_t LangWinToUNIX(int32_t code);

// The workstation's "sLanguage" and "sCountry" as derived from the locale
// (LC_ALL, then LC_MESSAGES, then LANG): "de_DE" gives "deu"/"Germany",
// "de_CH" "des"/"Switzerland", "fr_CA" "frc"/"Canada". Returns 1 when the
// locale names a known language, else 0 with both texts empty.
int kbIntlFromLocale(char* language, int languageSize, char* country, int countrySize);
// The language number of a language code ("deu" -> 6), or -1.
int kbLanguageNumber(const char* code);
// The Windows-1252 character for a code page 437 byte (best fit where 1252
// has none).
uint8_t kbOemToAnsi(uint8_t oem);

// The key code of a virtual key with the given shift states, as the key
// table defines it (navigation, F1..F12, Scroll Lock), or 0 when the key has
// no code of its own.
int32_t kbVirtualKeyCode(int32_t vk, bool shift, bool ctrl);
// The Ctrl+letter code for control character 1..26, else 0.
int32_t kbCtrlLetterCode(int c);

// Message handlers; wp and lp as the platform delivers them.
int uiWMChar(PWParam wp, PLParam lp);
int uiWMKeyDown(PWParam wp, PLParam lp);
int uiWMSysChar(PWParam wp, PLParam lp);
int uiWMSysKeyDown(PWParam wp, PLParam lp);
// Mouse messages of the session window (PM_MOUSEMOVE, PM_LBUTTON*, PM_RBUTTON*).
int uiWMMouse(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp);
// Ends a mouse marking in progress (size changes and host output do).
void kbEndMarking(CuScreen* scr);
