// The dialogs are not in yet: each entry traces a "#" line and fails.
#include "mcs/mcsdlg.h"

#include "common/log.h"

int mcsAskDialog(int slot, int yesNo) {
    logPrintf("#mcsAskDialog: no dialogs, %s dialog of session %d not opened\n", yesNo ? "yes/no" : "ask", slot + 1);
    return -1;
}

int mcsListDialog(int slot, const uint8_t*, int length) {
    logPrintf("#mcsListDialog: no dialogs, list of %d bytes of session %d not shown\n", length, slot + 1);
    return -1;
}

int mcsMenuAdd(int slot, const char*, int) {
    logPrintf("#mcsMenuAdd: no host menus, menu of session %d not added\n", slot + 1);
    return -1;
}

int mcsMenuRemove(int slot) {
    logPrintf("#mcsMenuRemove: no host menus (session %d)\n", slot + 1);
    return -1;
}

int mcsCloseDialogs(int slot) {
    logPrintf("#mcsCloseDialogs: no list dialogs or host menus yet (session %d)\n", slot + 1);
    return -1;
}
