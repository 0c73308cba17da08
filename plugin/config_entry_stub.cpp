#include "plugin/plugin_entries.h"

// The settings dialog is not wired up yet.
int32_t TARVO_CDECL ConfigEntry(void*, void*) { return 1; }
