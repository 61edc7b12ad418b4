#pragma once
// The headless back end: a poll() loop with a message queue and a timer
// heap, windows kept in memory, message boxes written to standard error and
// answered by a policy, and drawing surfaces that record their calls.
// Tests and `korvex --headless` run the logic on it unchanged.

#include "plat/plat.h"

#include <functional>
#include <string>
#include <vector>

// Installs the headless back end (it is also the default) and clears all of
// its state: windows, queue, timers, sockets, recorded boxes and drawing.
void headlessReset();

// A message box as it was shown.
struct HeadlessBox {
    PWnd owner;
    std::string text;
    std::string caption;
    uint32_t flags;
    int32_t answer;
};

// Answers message boxes. The default answers PID_OK for an OK box, PID_YES
// for Yes/No boxes and PID_CANCEL otherwise; tests install their own.
using HeadlessBoxPolicy = std::function<int32_t(const HeadlessBox& box)>;
void headlessSetBoxPolicy(HeadlessBoxPolicy policy);
// Every box shown since the last reset, in order.
const std::vector<HeadlessBox>& headlessBoxes();
void headlessClearBoxes();
// Whether boxes are also written to standard error (on by default).
void headlessEchoBoxes(bool on);

// One recorded drawing call.
struct HeadlessDraw {
    enum Kind { Text, Fill, Line, Font, TextColor, BkColor } kind;
    PWnd wnd;
    int32_t x, y;           // Text: position; Fill: rect left, top
    int32_t x2, y2;         // Fill: rect right, bottom
    std::string text;       // Text: the bytes
    std::vector<PPoint> points; // Line: the polyline
    PRgb color;             // Fill, Line, TextColor, BkColor; Text: its text colour
    PRgb bk;                // Text: its background colour
    int32_t font;           // Text, Font
    int32_t penStyle, penWidth; // Line
};
const std::vector<HeadlessDraw>& headlessDrawing();
void headlessClearDrawing();

// Geometry: the frame's client size (what session windows may fill) and a
// window's client size, as a user resizing it would set it (PM_SIZE is sent).
void headlessSetFrameClient(int32_t width, int32_t height);
void headlessResizeClient(PWnd wnd, int32_t width, int32_t height);

// Font metrics reported for a size: width = size * 6 / 10 (at least 1),
// height = size + size / 6 (at least 1); faces are ignored.

// The caret as last set.
struct HeadlessCaret {
    PWnd wnd;
    int32_t width, height, x, y;
    bool visible;
};
HeadlessCaret headlessCaret();

// Timers fire by the tick clock; tests that must not wait can move the
// clock forward. The tick clock seen by platTickCount includes the offset.
void headlessAdvanceClock(uint32_t ms);

// Windows that exist now, in creation order.
std::vector<PWnd> headlessWindows();
// Sounds played (platBeep), in order.
const std::vector<int32_t>& headlessSounds();
// What platKeyState reports for a virtual key (PKS_DOWN, PKS_TOGGLED).
void headlessSetKeyState(int32_t vk, int32_t state);

// Dialogs: the policy fills the controls as a user would and returns the
// button id; the default presses Cancel. Every dialog shown is recorded by
// its id and title.
using HeadlessDialogPolicy = std::function<int32_t(PDlgForm& dialog)>;
void headlessSetDialogPolicy(HeadlessDialogPolicy policy);
struct HeadlessDialog {
    int32_t id;
    std::string title;
    int32_t result;
};
const std::vector<HeadlessDialog>& headlessDialogs();
// File and colour dialogs: the policy's answer ("" = cancelled).
void headlessSetFileAnswer(const std::string& path);
void headlessSetColorAnswer(bool chosen, PRgb color);

// Pop-up menus: each one shown is recorded with its owner, point (owner
// client co-ordinates) and rows, then the policy picks the id the user
// chooses (0: the menu is closed without a choice; the default). A choice
// that is no enabled item of the menu counts as none. A chosen item is sent
// as PM_MENUSELECT (highlighted), its PM_COMMAND posted, then
// PM_EXITMENULOOP sent, all to the owner.
struct HeadlessPopupItem {
    int32_t id;
    std::string text;       // empty for a separator
    uint32_t flags;
    bool separator;
};
struct HeadlessPopup {
    PWnd owner;
    PPoint at;
    std::vector<HeadlessPopupItem> items;
    int32_t chosen;         // the id posted, 0 when none
};
using HeadlessPopupPolicy = std::function<int32_t(const HeadlessPopup& popup)>;
void headlessSetPopupPolicy(HeadlessPopupPolicy policy);
// Every pop-up shown since the last reset, in order.
const std::vector<HeadlessPopup>& headlessPopups();

// The menu as last set, with the flags items have now.
std::vector<PMenuItem> headlessMenu();
// The clipboard's text.
std::string headlessClipboard();
