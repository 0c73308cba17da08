// Starting the external programs (the AAC encoder and the muxer) and waiting
// for them.
#pragma once
#include <cstdint>

#include "platform/cancel.h"
#include "platform/process.h"

// Starts the program at exactly `programPath` (taken literally, no search) with
// `commandLine` as its one command-line text, without a console window and
// inheriting no handles. Returns the process handle, which the caller owns
// (WaitForProgram, then platform::CloseProcess), or platform::kNoProcess
// when the program cannot be started; an empty or missing path cannot.
platform::ProcessHandle RunProcess(const char* programPath, const char* commandLine);

// How a wait for a program ended.
enum class ProgramEnd { kExited, kCancelled, kWaitFailed };

// How often a wait for a program asks whether the user cancelled.
inline constexpr uint32_t kCancelPollMs = 100;

// Waits for the program in slices of kCancelPollMs, asking `cancel` after
// each. kExited stores the exit code; on a cancel the program and whatever it
// started are ended first (kCancelled). The handle stays open either way.
ProgramEnd WaitForProgram(platform::ProcessHandle program, const platform::CancelCheck& cancel,
                          uint32_t* exitCode);
