// Until the status line is in: nothing held.
#include "ui/uishell.h"

void uiStatusFree() {}
