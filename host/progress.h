// The progress line: frames done, frames per second and time left, redrawn
// in place on a terminal at most a few times a second; silent otherwise.
#pragma once
#include <chrono>
#include <cstdio>

namespace host {

class ProgressLine {
public:
    // Draws only when `enabled` (tarvo-host passes isatty(stderr)).
    explicit ProgressLine(bool enabled, std::FILE* out = stderr);
    // `done` frames of `total` are finished.
    void Update(int done, int total);
    // Ends the line so later output starts on a fresh one.
    void Finish();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool drawn_ = false;
    std::FILE* out_;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

}  // namespace host
