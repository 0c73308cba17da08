// Names of the Media SDK statuses, for the messages the user sees.
#pragma once
#include <string>

#include <mfxvideo.h>

// The status's name ("MFX_ERR_DEVICE_FAILED"), or "status N" for a value the
// SDK does not name.
std::string MfxStatusText(mfxStatus status);
