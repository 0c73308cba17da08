// The video test against Debian's real Media SDK dispatcher. Without an
// Intel GPU no adapter exists, so every Hardware row is refused at MFXInit;
// with one, the first adapter accepts the defaults.
#include <gtest/gtest.h>

#include <string>

#include "core/setting_data.h"
#include "tests/intel_adapter.h"
#include "ui/video_test.h"

TEST(IntelVideoTest, TheVerdictFollowsTheHardware) {
    SettingData data = DefaultSettingData();
    if (tarvo_test::IntelAdapterPresent()) {
        data.hardwareImpl = 2;
        const std::string text = RunVideoParamTest(data);
        EXPECT_EQ(text.substr(0, text.find('\n')), "Success TestVideoParam");
        EXPECT_NE(text.find("\nRuntime: system libmfx dispatcher ("), std::string::npos) << text;
        return;
    }
    const std::pair<int32_t, const char*> adapters[] = {
        {2, "HARDWARE"}, {5, "HARDWARE2"}, {6, "HARDWARE3"}, {7, "HARDWARE4"}};
    for (const auto& [impl, name] : adapters) {
        data.hardwareImpl = impl;
        EXPECT_EQ(RunVideoParamTest(data),
                  std::string("MFXInit: MFX_ERR_UNSUPPORTED\nMFXInit answered MFX_ERR_UNSUPPORTED for ") + name);
    }
}
