// The entries of the plug-in table.
#pragma once
#include "plugin/output_plugin.h"

// Runs one export job; nonzero when the MP4 file was written.
int32_t TARVO_CDECL OutputEntry(OutputInfo* info);
// Opens the settings dialog; always nonzero.
int32_t TARVO_CDECL ConfigEntry(void* ownerWindow, void* instance);
// Copies the current settings out; returns their size, 820.
int32_t TARVO_CDECL SettingsGetEntry(void* data, int32_t size);
// Restores the settings; returns 820 when taken, 0 when refused.
int32_t TARVO_CDECL SettingsSetEntry(void* data, int32_t size);
