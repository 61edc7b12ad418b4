#pragma once
// Input as a user gives it, for the tests of the Qt back end: key presses
// go through Qt's own delivery, shortcut map included, and modal dialogs
// are answered. Linked only into tests. Plain C++, like qtplat.h.

enum : unsigned { QT_TEST_SHIFT = 1, QT_TEST_CTRL = 2, QT_TEST_ALT = 4 };

// Presses and releases the key of a letter or digit with the modifiers on
// the widget of a window (a session window, the frame). Returns 0, or -1
// for an unknown window.
int qtTestKeyClick(int wnd, char key, unsigned mods);

// From now on every modal dialog that opens is cancelled once it shows;
// the title of the last one is kept (empty when none opened).
void qtTestCancelDialogs();
const char* qtTestLastDialogTitle();

// The pop-up menu being shown, worked as a user would: the item with this
// id is highlighted and Return pressed, or for 0 Escape is pressed. 0, or -1
// when no pop-up menu is shown or it has no enabled item with that id.
int qtTestPopupChoose(int id);
// Where the pop-up menu being shown is, in a window's client co-ordinates.
// 0, or -1 when none is shown.
int qtTestPopupAt(int wnd, int* x, int* y);
