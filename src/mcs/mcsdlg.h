#pragma once
// The "WinControls" side of the forms requests: ask and yes/no dialogs, the
// list dialog, the host's application menu in the frame's menu bar. The
// request handler opens them; a dialog that closes puts its answer into the
// session's message area and calls msrDialogDone (mcs/msr.h) for the slot.
#include <cstdint>

// Opens the ask dialog (yesNo 0, dFask) or the yes/no dialog (dFaskyn) of
// the slot on the message area's prompt and default answer. 0, or negative
// when it could not be opened.
int mcsAskDialog(int slot, int yesNo);
// Opens the list dialog of the slot on a list text. 0, or negative.
int mcsListDialog(int slot, const uint8_t* text, int length);
// Puts the host's application menu (menu line text) into the frame's menu
// bar, or removes it. 0, or negative.
int mcsMenuAdd(int slot, const char* menuLine, int length);
int mcsMenuRemove(int slot);
// Closes a list dialog or pop-up of the slot and removes the host's
// application menu from the frame. 0, or negative when not possible.
int mcsCloseDialogs(int slot);
