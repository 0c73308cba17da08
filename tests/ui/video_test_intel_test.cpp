// The video test against Debian's real Media SDK dispatcher. Without an
// Intel GPU no adapter exists, so every Hardware row is refused at MFXInit;
// with one, the first adapter accepts the defaults.
#include <gtest/gtest.h>

#include "core/setting_data.h"
#include "tests/intel_adapter.h"
#include "ui/video_test.h"

TEST(IntelVideoTest, TheVerdictFollowsTheHardware) {
    SettingData data = DefaultSettingData();
    if (tarvo_test::IntelAdapterPresent()) {
        data.hardwareImpl = 2;
        EXPECT_EQ(RunVideoParamTest(data), "Success TestVideoParam");
        return;
    }
    for (int32_t impl : {2, 5, 6, 7}) {
        data.hardwareImpl = impl;
        EXPECT_EQ(RunVideoParamTest(data), "MFXInit: MFX_ERR_UNSUPPORTED") << impl;
    }
}
