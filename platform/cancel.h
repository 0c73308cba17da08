// The question "has the user cancelled?", asked by long stages of an export.
#pragma once
#include <string>
#include <utility>

namespace platform {

// Asks whoever runs the job; called only on the thread that runs it (the
// host's callbacks may be called nowhere else). Empty: never cancelled.
struct CancelCheck {
    bool (*cancelled)(void* context) = nullptr;
    void* context = nullptr;

    bool operator()() const { return cancelled != nullptr && cancelled(context); }
};

}  // namespace platform

namespace platform {

// Why a stage of an export did not succeed: a cancel by the user (shown to
// nobody) or a failure, with the one line the user is shown.
struct StageFailure {
    bool cancelled = false;
    std::string message;

    void Fail(std::string text) {
        if (message.empty() && !cancelled) message = std::move(text);
    }
};

}  // namespace platform
