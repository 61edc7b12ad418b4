#pragma once
// The session window: its message table (uiChildWndProc, declared in
// ui/render.h) and the small entry points the keyboard and the frame share.

#include "plat/plat.h"

#include <cstdint>

struct CuScreen;

constexpr int UI_LISTPOPUP_FIRST = 600;
constexpr int UI_LISTPOPUP_LAST = 620;
constexpr int UI_LISTPOPUP_CLOSED = 699;
constexpr int UI_LISTPOPUP_ITEMS = 20;
constexpr int UI_LISTPOPUP_TEXT = 80;
constexpr int UI_STATUS_DESC_MAX = 99;

// The program-wide children-maximised state ("MaximizeChildren").
void uiSetChildrenMaximized(int on);
int uiChildrenMaximized();
// The frame window (commands and "sessions changed" go to it); defaults to
// the parent of the MDI client.
void uiSetFrameWindow(PWnd frame);
PWnd uiFrameWindow();
// The session window that last had the focus (0 when none).
PWnd uiLastSessionWindow();

// Makes slot current and brings its window to the front (restoring it when
// minimised). 0, or -1 when the slot has no session.
int uiActivateSession(int slot);

// List pop-up of a slot: the list text (lines separated by '\n') whose item
// lines become menu entries. Items are numbered 1.. in order; the menu opens
// as a pop-up of the session window at its top-left corner and answers with
// commands 601.. on that window (600: none, once the menu loop has ended).
// Header lines begin with headerMark, description lines with partMark.
// 0 once the menu has closed; -1, with the pop-up closed, when it could not
// be shown.
int uiListPopupOpen(int slot, const char* text, int length, char headerMark, char partMark);
bool uiListPopupIsOpen(int slot);
// Item n (1-based) as shown in the menu ("&" + the line, at most 80
// characters, trailing blanks removed), and the description shown for it.
// Length, or -1 when there is no such item.
int uiListPopupItem(int slot, int n, char* out, int size);
int uiListPopupDescription(int slot, int n, char* out, int size);
void uiListPopupClose(int slot);
