// Inside the OS layer: the backends count each wait that the timer ended.
#pragma once
#include "platform/sync.h"

namespace platform {

// Adds one to the calling thread's label.
void CountSleep();

}  // namespace platform
