#pragma once
// The status line as the session layers drive it.

constexpr int UI_STATUS_FIELDS = 11;
constexpr int UI_STATUS_MSGFIELD = 2;

// Rebuilds the status texts for the slot's session (-1 for none) and shows
// them when that session has the focus. 0, or negative when the status line
// cannot be updated.
int uiStatusUpdate(int slot);
// Stores and redraws one field's text. 0, or negative when not possible.
int uiStatusSetField(int field, const char* text);
