// Keyboard and mouse input of the session windows, and the language maps.
#include "ui/keyboard.h"

#include "common/log.h"
#include "core/child.h"
#include "core/cuscr.h"
#include "mcs/msr.h"
#include "ui/config.h"
#include "ui/profile.h"
#include "ui/uiwin.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

std::array<uint8_t, 256> unixToWin{};
std::array<uint8_t, 256> winToUnix{};
int languageNumber = 0;
bool mapsMade = false;

// Code page 437 to Windows-1252 for 0x80..0xFF; characters 1252 lacks take
// their nearest ASCII look-alike.
constexpr std::array<uint8_t, 128> oemHigh{{
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,  // 80
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 'P',  0x83,  // 90
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0xAC, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,  // A0
    '#',  '#',  '#',  '|',  '+',  '+',  '+',  '+',  '+',  '+',  '|',  '+',  '+',  '+',  '+',  '+',   // B0
    '+',  '+',  '+',  '+',  '-',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '=',  '+',  '+',   // C0
    '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '+',  '#',  '_',  '|',  '|',  '-',   // D0
    'a',  0xDF, 'G',  'p',  'S',  's',  0xB5, 't',  'F',  'T',  'O',  'd',  '8',  'f',  'e',  'n',   // E0
    '=',  0xB1, '>',  '<',  '(',  ')',  0xF7, '~',  0xB0, 0xB7, 0xB7, 'v',  'n',  0xB2, '#',  0xA0,  // F0
}};

// Language table: Windows language code -> language number.
struct LangName {
    const char* code;
    int number;
};
constexpr std::array<LangName, 18> langNames{{
    {"enu", 0}, {"eng", 1}, {"frc", 2}, {"dan", 3}, {"fin", 4}, {"fra", 5}, {"frb", 5}, {"deu", 6}, {"dea", 6},
    {"ita", 7}, {"nor", 8}, {"ptg", 9}, {"esn", 10}, {"esp", 10}, {"sve", 11}, {"sws", 12}, {"frs", 12}, {"des", 12},
}};

// The host positions the national maps replace, and their values: OEM codes,
// or display codes where ANSI is set.
constexpr std::array<uint8_t, 12> natPositions{{0x23, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E}};
constexpr uint16_t ANSI = 0x100;
constexpr std::array<std::array<uint16_t, 12>, KB_LANGUAGES> natMaps{{
    {0x23, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E},
    {0x9C, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E},
    {0x23, 0x85, 0x83, 0x87, 0x88, 0x8C, 0x5F, 0x93, 0x82, 0x97, 0x8A, 0x96},
    {0x23, 0x40, 0x92, 0x9D, 0x8F, 0x5E, 0x5F, 0x60, 0x22, 0x9F, 0xAC, 0x27},
    {0x23, 0x40, 0x8E, 0x99, 0x8F, 0x9A, 0x5F, 0x82, 0x84, 0x94, 0x86, 0x81},
    {0x9C, 0x85, 0xF8, 0x87, 0x15, 0x5E, 0x5F, 0xE6, 0x82, 0x97, 0x8A, 0x22},
    {0x23, 0x15, 0x8E, 0x99, 0x9A, 0x5E, 0x5F, 0x60, 0x84, 0x94, 0x81, 0xE1},
    {0x9C, 0x15, 0xF8, 0x87, 0x82, 0x5E, 0x5F, 0x97, 0x85, 0x95, 0x8A, 0x8D},
    {0x23, 0x40, 0x92, 0xD8 | ANSI, 0x8F, 0x5E, 0x5F, 0x60, 0x91, 0xF8 | ANSI, 0x86, 0x7E},
    {0x23, 0x40, 0xC3 | ANSI, 0x80, 0xD5 | ANSI, 0x5E, 0x5F, 0x60, 0xE3 | ANSI, 0x87, 0xF5 | ANSI, 0x7E},
    {0x9C, 0x15, 0xAD, 0xA5, 0xA8, 0x5E, 0x5F, 0x60, 0xF8, 0xA4, 0x87, 0x7E},
    {0x23, 0x90, 0x8E, 0x99, 0x8F, 0x9A, 0x5F, 0x82, 0x84, 0x94, 0x86, 0x81},
    {0x97, 0x85, 0x82, 0x87, 0x88, 0x8C, 0x8A, 0x93, 0x84, 0x94, 0x81, 0x96},
}};

// Locale language (and territory) -> "sLanguage"; the territory also names
// the country. The first row matching both wins; an empty territory matches
// any.
struct LocaleLang {
    const char* lang;
    const char* territory;
    const char* code;
};
constexpr std::array<LocaleLang, 21> localeLangs{{
    {"en", "GB", "eng"}, {"en", "IE", "eng"}, {"en", "", "enu"},
    {"fr", "CA", "frc"}, {"fr", "BE", "frb"}, {"fr", "CH", "frs"}, {"fr", "", "fra"},
    {"de", "CH", "des"}, {"de", "AT", "dea"}, {"de", "", "deu"},
    {"da", "", "dan"}, {"fi", "", "fin"}, {"it", "", "ita"},
    {"nb", "", "nor"}, {"nn", "", "nor"}, {"no", "", "nor"},
    {"pt", "", "ptg"}, {"es", "", "esn"}, {"sv", "", "sve"},
    {"ca", "", "esn"}, {"gl", "", "esn"},
}};
struct Country {
    const char* territory;
    const char* name;
};
constexpr std::array<Country, 22> countries{{
    {"US", "United States"}, {"GB", "United Kingdom"}, {"IE", "Ireland"}, {"CA", "Canada"}, {"FR", "France"},
    {"BE", "Belgium"}, {"CH", "Switzerland"}, {"DE", "Germany"}, {"AT", "Austria"}, {"DK", "Denmark"},
    {"FI", "Finland"}, {"IT", "Italy"}, {"NO", "Norway"}, {"PT", "Portugal"}, {"BR", "Brazil"},
    {"ES", "Spain"}, {"SE", "Sweden"}, {"LU", "Luxembourg"}, {"NL", "Netherlands"}, {"AU", "Australia"},
    {"NZ", "New Zealand"}, {"MX", "Mexico"},
}};

void copyText(char* out, int size, const char* text) {
    if (!out || size <= 0) return;
    snprintf(out, (size_t)size, "%s", text ? text : "");
}

void deriveWinToUnix() {
    for (int i = 0; i < 256; ++i) winToUnix[i] = (uint8_t)i;
    for (int i = 0; i < 256; ++i)
        if (unixToWin[i] != i) winToUnix[unixToWin[i]] = (uint8_t)i;
}

void identityMap() {
    for (int i = 0; i < 256; ++i) unixToWin[i] = (uint8_t)i;
}

void builtInMap(int n) {
    identityMap();
    if (n < 0 || n >= KB_LANGUAGES) return;
    for (size_t k = 0; k < natPositions.size(); ++k) {
        uint16_t v = natMaps[n][k];
        unixToWin[natPositions[k]] = (v & ANSI) ? (uint8_t)v : kbOemToAnsi((uint8_t)v);
    }
}

// Writes the built-in map back: its language code and one key per changed
// position; the keys it does not use go.
void writeBackBuiltIn(int n) {
    for (const LangName& l : langNames)
        if (l.number == n) {
            cfgSetString("Lang", "Language", l.code);
            break;
        }
    int count = 0;
    char key[16], value[16];
    for (int i = 0; i < 256; ++i) {
        if (unixToWin[i] == i) continue;
        snprintf(key, sizeof key, "Map%03d", count);
        snprintf(value, sizeof value, "%d,%d", i, unixToWin[i]);
        cfgSetString("Lang", key, value);
        ++count;
    }
    for (int k = count; k < KB_LANG_MAPS_MAX; ++k) {
        snprintf(key, sizeof key, "Map%03d", k);
        char old[4];
        if (cfgGetString("Lang", key, "", old, sizeof old) > 0) cfgSetString("Lang", key, nullptr);
    }
    if (count > 0) {
        snprintf(value, sizeof value, "%02d", count);
        cfgSetString("Lang", "Maps", value);
    } else {
        cfgSetString("Lang", "Maps", nullptr);
    }
}

// "%d,%d" with both parts 0..255.
bool parseMapEntry(const char* text, int* from, int* to) {
    char* end = nullptr;
    long a = strtol(text, &end, 10);
    if (end == text || *end != ',') return false;
    const char* second = end + 1;
    long b = strtol(second, &end, 10);
    if (end == second) return false;
    if (a < 0 || a > 255 || b < 0 || b > 255) return false;
    *from = (int)a;
    *to = (int)b;
    return true;
}

void userMap(int maps) {
    identityMap();
    char key[16], value[32];
    for (int k = 0; k < maps; ++k) {
        snprintf(key, sizeof key, "Map%03d", k);
        if (cfgGetString("Lang", key, "", value, sizeof value) <= 0) continue;
        int from, to;
        if (parseMapEntry(value, &from, &to)) unixToWin[from] = (uint8_t)to;
    }
}

void ensureMaps() {
    if (mapsMade) return;
    identityMap();
    deriveWinToUnix();
    mapsMade = true;
}

bool keyDown(int32_t vk) { return (platKeyState(vk) & PKS_DOWN) != 0; }

bool optionIs(const char* key, const char* value) {
    char v[32];
    cfgGetString("Options", key, "", v, sizeof v);
    return strcasecmp(v, value) == 0;
}

bool mcsMode() { return chSessPtr && !(chSessPtr->flags & CHF_CHARMODE); }

bool formsLockedForInput() { return mcsMode() && chSessPtr->term && chSessPtr->term->lockedForInput; }

// A space in MCS mode moves the cursor: with Shift by default, without it
// under "NODESTRUCT".
bool spaceIsCursorMove() {
    if (!mcsMode()) return false;
    bool shift = keyDown(PVK_SHIFT);
    return optionIs("SpaceBar", "NODESTRUCT") ? !shift : shift;
}

int repeatOf(PLParam lp) {
    int n = (int)(lp & 0xFFFF);
    return n > 0 ? n : 1;
}

void typeKey(int32_t key, int times) {
    for (int i = 0; i < times; ++i) sessKeyTyped(key);
}

// Navigation and function keys: plain, Shift, Ctrl.
struct VkCode {
    int32_t vk;
    int32_t plain, shift, ctrl;
};
constexpr std::array<VkCode, 23> vkCodes{{
    {PVK_F1 + 0, 0x3B00, 0x5400, 0x5E00}, {PVK_F1 + 1, 0x3C00, 0x5500, 0x5F00}, {PVK_F1 + 2, 0x3D00, 0x5600, 0x6000},
    {PVK_F1 + 3, 0x3E00, 0x5700, 0x6100}, {PVK_F1 + 4, 0x3F00, 0x5800, 0x6200}, {PVK_F1 + 5, 0x4000, 0x5900, 0x6300},
    {PVK_F1 + 6, 0x4100, 0x5A00, 0x6400}, {PVK_F1 + 7, 0x4200, 0x5B00, 0x6500}, {PVK_F1 + 8, 0x4300, 0x5C00, 0x6600},
    {PVK_F10, 0x4400, 0x5D00, 0x6700}, {PVK_F1 + 10, 0x8500, 0x8700, 0x8900}, {PVK_F12, 0x8600, 0x8800, 0x8A00},
    {PVK_UP, 0x4800, 0x4800, 0x4800}, {PVK_DOWN, 0x5000, 0x5000, 0x5000}, {PVK_LEFT, 0x4B00, 0x4B00, 0x4B00},
    {PVK_RIGHT, 0x4D00, 0x4D00, 0x4D00}, {PVK_HOME, 0x4700, 0x4700, 0x4700}, {PVK_END, 0x4F00, 0x4F00, 0x4F00},
    {PVK_PRIOR, 0x4900, 0x4900, 0x4900}, {PVK_NEXT, 0x5100, 0x5100, 0x5100}, {PVK_INSERT, 0x5200, 0x5200, 0x5200},
    {PVK_DELETE, 0x5300, 0x5300, 0x5300}, {PVK_SCROLL, KEY_XMIT, KEY_XMIT, KEY_XMIT},
}};

// Scan code times 256 plus the control character, Ctrl+A .. Ctrl+Z.
constexpr std::array<int32_t, 26> ctrlLetters{{
    0x1E01, 0x3002, 0x2E03, 0x2004, 0x1205, 0x2106, 0x2207, 0x2308, 0x1709, 0x240A, 0x250B, 0x260C, 0x320D,
    0x310E, 0x180F, 0x1910, 0x1011, 0x1312, 0x1F13, 0x1414, 0x1615, 0x2F16, 0x1117, 0x2D18, 0x1519, 0x2C1A,
}};

// Alt + character.
struct AltCode {
    int c;
    int32_t key;
};
constexpr std::array<AltCode, 12> altCodes{{
    {'1', 0x7800}, {'2', 0x7900}, {'3', 0x7A00}, {'4', 0x7B00}, {'5', 0x7C00}, {'6', 0x7D00},
    {'7', 0x7E00}, {'8', 0x7F00}, {'9', 0x8000}, {'0', 0x8100}, {'-', 0x8200}, {'=', 0x8300},
}};

// The cell under a client position, or false outside the grid.
bool cellAt(const CuScreen* s, PLParam lp, int* row, int* col) {
    if (!s || s->charWidth < 1 || s->charHeight < 1) return false;
    int x = (int16_t)(lp & 0xFFFF), y = (int16_t)((lp >> 16) & 0xFFFF);
    if (x < 0 || y < 0) return false;
    int r = y / s->charHeight + s->viewTop, c = x / s->charWidth + s->viewLeft;
    if (r >= s->Rows || c >= s->Cols) return false;
    *row = r;
    *col = c;
    return true;
}

// Marking states: 1 started (button down), 2 running, 3 marked.
constexpr int MARK_STARTED = 1, MARK_RUNNING = 2, MARK_DONE = 3;

// The marked cells are drawn reversed by the renderer; showing or removing
// a marking repaints its cells.
void toggleMark(CuScreen* s) {
    int a = std::min(s->markStart, s->markEnd), b = std::max(s->markStart, s->markEnd);
    if (s->Cols < 1) return;
    cuInvalidate(a / s->Cols, 0, b / s->Cols, s->Cols - 1);
}

}  // namespace

uint8_t kbOemToAnsi(uint8_t oem) {
    if (oem >= 0x80) return oemHigh[oem - 0x80];
    if (oem == 0x14) return 0xB6;  // pilcrow
    if (oem == 0x15) return 0xA7;  // section sign
    return oem;
}

int kbLanguageNumber(const char* code) {
    if (!code) return -1;
    for (const LangName& l : langNames)
        if (strcasecmp(l.code, code) == 0) return l.number;
    return -1;
}

int kbIntlFromLocale(char* language, int languageSize, char* country, int countrySize) {
    copyText(language, languageSize, "");
    copyText(country, countrySize, "");
    const char* loc = nullptr;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = getenv(var);
        if (v && *v) {
            loc = v;
            break;
        }
    }
    if (!loc) return 0;
    // language[_TERRITORY][.codeset][@modifier]
    char lang[8] = {}, terr[8] = {};
    size_t i = 0;
    while (loc[i] && isalpha((unsigned char)loc[i]) && i < sizeof lang - 1) {
        lang[i] = (char)tolower((unsigned char)loc[i]);
        ++i;
    }
    if (loc[i] == '_') {
        size_t j = 0;
        ++i;
        while (loc[i] && isalpha((unsigned char)loc[i]) && j < sizeof terr - 1) terr[j++] = (char)toupper((unsigned char)loc[i++]);
    }
    for (const LocaleLang& l : localeLangs) {
        if (strcmp(l.lang, lang) != 0 || (*l.territory && strcmp(l.territory, terr) != 0)) continue;
        copyText(language, languageSize, l.code);
        for (const Country& c : countries)
            if (strcmp(c.territory, terr) == 0) copyText(country, countrySize, c.name);
        return 1;
    }
    return 0;
}

int kbLoadLangMaps() {
    int number = -1;
    char lang[16], country[64];
    if (kbIntlFromLocale(lang, sizeof lang, country, sizeof country)) {
        for (char* p = lang; *p; ++p) *p = (char)tolower((unsigned char)*p);
        number = kbLanguageNumber(lang);
        if (number >= 0 && strncmp(country, "Swi", 3) == 0) number = KB_LANG_SWISS;
    }
    if (number < 0) number = 0;

    char configured[16];
    cfgGetString("Lang", "Language", "enu", configured, sizeof configured);
    bool named = false;
    if (strlen(configured) >= 3) {
        char first[4] = {configured[0], configured[1], configured[2], 0};
        named = kbLanguageNumber(first) >= 0;
    }
    int maps = cfgGetInt("Lang", "Maps", 0);
    if (named || maps > KB_LANG_MAPS_MAX || maps < 0) {
        // The workstation's language decides, whatever the key names.
        builtInMap(number);
        languageNumber = number;
        writeBackBuiltIn(number);
    } else {
        userMap(maps);
        languageNumber = 0;
    }
    deriveWinToUnix();
    mapsMade = true;
    logPrintf("#kbLoadLangMaps: language[%d] maps[%d]\n", languageNumber, maps);
    return 0;
}

int kbLanguageCode() { return languageNumber; }

int32_t LangUNIXToWin(int32_t code) {
    ensureMaps();
    return code >= 0 && code <= 255 ? unixToWin[code] : code;
}

int32_t LangWinToUNIX(int32_t code) {
    ensureMaps();
    return code >= 0 && code <= 255 ? winToUnix[code] : code;
}

int32_t kbVirtualKeyCode(int32_t vk, bool shift, bool ctrl) {
    for (const VkCode& k : vkCodes)
        if (k.vk == vk) return ctrl ? k.ctrl : shift ? k.shift : k.plain;
    return 0;
}

int32_t kbCtrlLetterCode(int c) { return c >= 1 && c <= 26 ? ctrlLetters[c - 1] : 0; }

int uiWMChar(PWParam wp, PLParam lp) {
    logPrintf("#uiWMChar: msg[%x] w[%x]  l[%lx]\n", PM_CHAR, (unsigned)wp, (long)lp);
    CuScreen* s = cuScrPtr;
    if (!s) return 0;
    int c = (int)(wp & 0xFF);
    if (s->wnd && platIsMinimized(s->wnd)) {
        if (c != 13) return 0;
        platMdiActivate(s->wnd);
        platShow(s->wnd, PSW_RESTORE);
        return 1;
    }
    int32_t key = c;
    if (keyDown(PVK_CONTROL) && c >= 1 && c <= 26) {
        key = kbCtrlLetterCode(c);
    } else if (c == 9) {
        if (keyDown(PVK_SHIFT)) key = KEY_BACKTAB;
    } else if (c == 13) {
        if (lp & PKEY_EXTENDED) {
            if (optionIs("NumEnter", "XMIT")) key = KEY_XMIT;
            else if (optionIs("NumEnter", "TAB")) key = 9;
        }
    } else if (c == 29) {
        key = KEY_XMIT;
    } else if (c == 27) {
        if (formsLockedForInput()) chSessPtr->term->xmitRequested = 1;
    } else if (c == ' ') {
        if (spaceIsCursorMove()) return 0;
    } else if (c == '*' && keyDown(PVK_MULTIPLY)) {
        if (optionIs("NumMultiply", "ENTER")) key = 13;
        else if (optionIs("NumMultiply", "XMIT")) key = KEY_XMIT;
    } else if (c == '+' && keyDown(PVK_ADD)) {
        if (optionIs("NumAdd", "TAB")) key = 9;
    } else if (c == '-' && keyDown(PVK_SUBTRACT)) {
        if (optionIs("NumSubtract", "BACKTAB")) key = KEY_BACKTAB;
    }
    int32_t sent = LangWinToUNIX(key);
    logPrintf("#uiWMChar: key[%x] LangWinToUNIX[%x]\n", (unsigned)key, (unsigned)sent);
    typeKey(sent, repeatOf(lp));
    return 1;
}

int uiWMKeyDown(PWParam wp, PLParam lp) {
    logPrintf("#uiWMKeyDown:  msg[%x] w[%x]  l[%lx]\n", PM_KEYDOWN, (unsigned)wp, (long)lp);
    if (!cuScrPtr) return 0;
    int32_t vk = (int32_t)wp;
    int32_t key = 0;
    if (vk == PVK_SPACE) {
        if (!spaceIsCursorMove()) return 0;
        key = KEY_RIGHT;
    } else {
        bool fkey = vk >= PVK_F1 && vk <= PVK_F12;
        key = kbVirtualKeyCode(vk, keyDown(PVK_SHIFT), fkey && keyDown(PVK_CONTROL));
        if (!key) return 0;
        if (vk == PVK_F10) {
            logPrintf("#KeyDown VK_F10\n");
            if (key == KEY_SHIFT_F10) key = 0xF900;
        }
        if (fkey && formsLockedForInput()) chSessPtr->term->xmitRequested = 1;
    }
    int32_t sent = LangWinToUNIX(key);
    logPrintf("#uiWMKeyDown: key[%x] LangWinToUNIX[%x]\n", (unsigned)key, (unsigned)sent);
    sessKeyTyped(sent);
    return 1;
}

int uiWMSysChar(PWParam wp, PLParam lp) {
    logPrintf("#SysChar WPARAM:%x\n", (unsigned)wp);
    if (!cuScrPtr) return 0;
    int c = (int)(wp & 0xFF);
    for (const AltCode& a : altCodes) {
        if (a.c != c) continue;
        if (c == '1' && formsLockedForInput()) chSessPtr->term->xmitRequested = 1;
        typeKey(a.key, repeatOf(lp));
        return 1;
    }
    return 0;
}

int uiWMSysKeyDown(PWParam wp, PLParam lp) {
    (void)lp;
    logPrintf("#SysKeyDown WPARAM:%x\n", (unsigned)wp);
    int32_t vk = (int32_t)wp;
    if (vk == PVK_F10) {
        logPrintf("#SysKeyDown VK_F10\n");
        if (keyDown(PVK_MENU)) return 0;
        if (cuScrPtr) sessKeyTyped(keyDown(PVK_SHIFT) ? KEY_SHIFT_F10 : KEY_F10);
        return 1;
    }
    if (vk >= PVK_F1 && vk < PVK_F1 + CH_MAX_SESSIONS) {
        int slot = vk - PVK_F1;
        if (!cuScrPtr || chBusy()) return 0;
        if (sessIsOpen(slot)) {
            uiActivateSession(slot);
        } else if (slot < uiConfig().maxSessions) {
            platPost(uiFrameWindow(), PM_COMMAND, IDM_OPENSESS, slot);
        }
        return 1;
    }
    return 0;
}

void kbEndMarking(CuScreen* s) {
    if (!s) return;
    if (s->markState == MARK_RUNNING) s->markState = MARK_DONE;
    else if (s->markState == MARK_STARTED) s->markState = 0;
}

int uiWMMouse(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp) {
    (void)wp;
    CuScreen* s = cuScrPtr;
    if (!s) return 0;
    int row = 0, col = 0;
    bool inside = cellAt(s, lp, &row, &col);
    auto store = [&] {
        s->mouseRow = row;
        s->mouseCol = col;
    };
    switch (msg) {
    case PM_LBUTTONDOWN:
        logPrintf("#uiWMLButtonDown: msg[%x] w[%x] l[%lx]\n", msg, (unsigned)wp, (long)lp);
        if (!inside) return 1;
        if (mcsMode()) {
            store();
            logPrintf("#uiWMLButtonDown: key[%x]\n", (unsigned)KEY_MOUSE_LEFT);
            sessKeyTyped(KEY_MOUSE_LEFT);
        }
        if (s->markState == MARK_RUNNING || s->markState == MARK_DONE) {
            s->markState = 0;
            toggleMark(s);
            cuRefresh();
        }
        s->markStart = s->markEnd = row * s->Cols + col;
        s->markState = MARK_STARTED;
        return 1;
    case PM_MOUSEMOVE: {
        bool button = (platKeyState(0x01) & PKS_DOWN) != 0 || (wp & 0x0001);
        if (button) {
            int cell = row * s->Cols + col;
            if (inside && (s->markState == MARK_STARTED || s->markState == MARK_RUNNING) && cell != s->markEnd) {
                toggleMark(s);
                s->markEnd = cell;
                s->markState = MARK_RUNNING;
                toggleMark(s);
                cuRefresh();
            }
        } else if (s->markState == MARK_RUNNING) {
            s->markState = MARK_DONE;
        } else if (s->markState != MARK_DONE) {
            s->markState = 0;
        }
        return 1;
    }
    case PM_LBUTTONUP:
        if (s->markState == MARK_RUNNING) {
            s->markState = MARK_DONE;
            cuRefresh();
        } else if (s->markState == MARK_STARTED) {
            s->markState = 0;
        }
        return 1;
    case PM_LBUTTONDBLCLK:
        if (mcsMode() && inside) {
            store();
            sessKeyTyped(KEY_MOUSE_LEFT2);
        }
        return 1;
    case PM_RBUTTONDOWN:
        if (inside) store();
        s->rightClick = PPoint{(int16_t)(lp & 0xFFFF), (int16_t)((lp >> 16) & 0xFFFF)};
        if (mcsMode()) {
            if (inside) sessKeyTyped(KEY_MOUSE_RIGHT);
        } else {
            // The session pop-up menu belongs to the frame.
            platPost(uiFrameWindow(), PM_COMMAND, IDM_SESSPOPUP, (PLParam)wnd);
        }
        return 1;
    case PM_RBUTTONDBLCLK:
        if (mcsMode()) sessKeyTyped(KEY_MOUSE_RIGHT2);
        return 1;
    default:
        return 1;
    }
}
