// Until the shell units are in: no hosts, the default language, nothing held.
#include "ui/uishell.h"

int kbLoadLangMaps() { return 0; }
int kbLanguageCode() { return 0; }
void uiStatusFree() {}
