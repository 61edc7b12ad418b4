#pragma once
// Start-up loads and program-end releases of the shell that the screen layer
// drives from cuInit and cuTerm.

// Host list of the "Hosts" section. Returns the number of hosts.
int uiLoadHosts();
// Keyboard language and national key maps. Returns 0.
int kbLoadLangMaps();
// The keyboard's national language code (used for national upper-casing).
int kbLanguageCode();
// Frees the status-line buffers.
void uiStatusFree();
