// The video test against Debian's real Media SDK dispatcher. Without an
// Intel GPU no adapter exists, so every Hardware row is refused at MFXInit.
#include <gtest/gtest.h>

#include "core/setting_data.h"
#include "ui/video_test.h"

TEST(IntelVideoTest, NoAdapterIsReportedAsUnsupported) {
    SettingData data = DefaultSettingData();
    for (int32_t impl : {2, 5, 6, 7}) {
        data.hardwareImpl = impl;
        EXPECT_EQ(RunVideoParamTest(data), "MFXInit: MFX_ERR_UNSUPPORTED") << impl;
    }
}
