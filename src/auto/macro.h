#pragma once
// Key macros as the key queue sees them: loading the macro definitions, and
// the recorder and expander every typed key passes through.

#include <cstdint>

// Loads the macro definitions from the configuration. Returns the count.
int macLoad();
// Offers a typed key to the recorder (it keeps a copy while recording).
void macRecordKey(int32_t key);
// Offers a typed key to the expander: 1 when the key starts a macro and is
// consumed, 0 when it is to be queued as typed.
int macExpandKey(int32_t key);
