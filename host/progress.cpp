#include "host/progress.h"

namespace host {

ProgressLine::ProgressLine(bool enabled, std::FILE* out) : enabled_(enabled), out_(out), start_(Clock::now()) {}

void ProgressLine::Update(int done, int total) {
    if (!enabled_) return;
    Clock::time_point now = Clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double fps = seconds > 0 ? done / seconds : 0;
    std::fprintf(out_, "\r\033[Kframe %d/%d", done, total);
    if (fps > 0) {
        long left = static_cast<long>((total - done) / fps + 0.5);
        std::fprintf(out_, "  %.1f fps  %ld:%02ld left", fps, left / 60, left % 60);
    }
    std::fflush(out_);
    drawn_ = true;
}

void ProgressLine::Finish() {
    if (enabled_ && drawn_) {
        std::fputs("\r\033[K", out_);
        std::fflush(out_);
    }
    drawn_ = false;
}

}  // namespace host
