#include "audio/run_process.h"

platform::ProcessHandle RunProcess(const char* programPath, const char* commandLine) {
    if (programPath == nullptr || programPath[0] == '\0') return platform::kNoProcess;
    return platform::StartProcess(programPath, commandLine);
}
