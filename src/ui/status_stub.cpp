// Until the status line is in: updates are traced and refused.
#include "ui/status.h"

#include "common/log.h"

int uiStatusUpdate(int slot) {
    logPrintf("#uiStatusUpdate: no status line (slot %d)\n", slot);
    return -1;
}

int uiStatusSetField(int field, const char* text) {
    logPrintf("#uiStatusSetField: no status line (field %d: %s)\n", field, text ? text : "");
    return -1;
}
