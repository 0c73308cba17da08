#include "platform/process.h"

namespace platform {

void Process::Reset() {
    if (handle_ == kNoProcess) return;
    EndProcess(handle_);
    CloseProcess(handle_);
    handle_ = kNoProcess;
}

}  // namespace platform
