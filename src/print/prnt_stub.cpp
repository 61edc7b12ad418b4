// Until the printing unit is in: nothing is held, so nothing is released.
#include "print/prnt.h"

void PrntRelease() {}
