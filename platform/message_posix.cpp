#include "platform/message.h"

#include <cstdio>

namespace platform {

void ShowWarning(const char* text) {
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
    std::fflush(stderr);
}

}  // namespace platform
