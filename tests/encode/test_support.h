// Helpers shared by the encode tests.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace tarvo_test {

// Runs `work` on its own thread and gives it `seconds` to finish. A hang is a
// failure of the test binary, not a hang of the test run.
template <typename Work>
void RunBounded(Work work, int seconds = 30) {
    std::packaged_task<void()> task(work);
    auto done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        std::fprintf(stderr, "hang: the work did not finish within %d s\n", seconds);
        std::fflush(stderr);
        std::_Exit(3);
    }
    runner.join();
    done.get();
}

// A fresh path in the temporary folder, removed when the object goes.
class TempPath {
public:
    explicit TempPath(const char* stem = "tarvo-encode-test") {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/" + stem + "-" +
                std::to_string(::getpid()) + "-" + std::to_string(counter_++);
        std::remove(path_.c_str());
    }
    ~TempPath() { std::remove(path_.c_str()); }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const char* c_str() const { return path_.c_str(); }
    const std::string& str() const { return path_; }

private:
    static inline int counter_ = 0;
    std::string path_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarvo_test
