// The question "has the user cancelled?", asked by long stages of an export.
#pragma once

namespace platform {

// Asks whoever runs the job; called only on the thread that runs it (the
// host's callbacks may be called nowhere else). Empty: never cancelled.
struct CancelCheck {
    bool (*cancelled)(void* context) = nullptr;
    void* context = nullptr;

    bool operator()() const { return cancelled != nullptr && cancelled(context); }
};

}  // namespace platform
