// Starting the external programs (the AAC encoder and the muxer).
#pragma once
#include "platform/process.h"

// Starts the program at exactly `programPath` (taken literally, no search) with
// `commandLine` as its one command-line text, without a console window and
// inheriting no handles. Returns the process handle, which the caller owns
// (platform::WaitProcess, then platform::CloseProcess), or platform::kNoProcess
// when the program cannot be started; an empty or missing path cannot.
platform::ProcessHandle RunProcess(const char* programPath, const char* commandLine);
