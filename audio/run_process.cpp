#include "audio/run_process.h"

platform::ProcessHandle RunProcess(const char* programPath, const char* commandLine) {
    if (programPath == nullptr || programPath[0] == '\0') return platform::kNoProcess;
    return platform::StartProcess(programPath, commandLine);
}

ProgramEnd WaitForProgram(platform::ProcessHandle program, const platform::CancelCheck& cancel,
                          uint32_t* exitCode) {
    for (;;) {
        switch (platform::WaitProcessFor(program, kCancelPollMs, exitCode)) {
            case platform::WaitResult::kEnded: return ProgramEnd::kExited;
            case platform::WaitResult::kFailed: return ProgramEnd::kWaitFailed;
            case platform::WaitResult::kRunning: break;
        }
        if (cancel()) {
            platform::EndProcess(program);
            return ProgramEnd::kCancelled;
        }
    }
}
