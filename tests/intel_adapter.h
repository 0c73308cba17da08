// Whether this machine has an Intel graphics adapter (PCI vendor 0x8086 on a
// DRM device): the tests against the real Media SDK expect a working export
// there, and a refusal everywhere else.
#pragma once
#include <filesystem>
#include <fstream>
#include <string>

namespace tarvo_test {

inline bool IntelAdapterPresent() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/drm", error)) {
        std::ifstream vendor(entry.path() / "device" / "vendor");
        std::string id;
        if (vendor >> id && id == "0x8086") return true;
    }
    return false;
}

}  // namespace tarvo_test
