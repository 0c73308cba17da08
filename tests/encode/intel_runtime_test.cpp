// Against Debian's real Media SDK dispatcher on a machine without an Intel
// GPU: the trial set-up fails cleanly, so every export is refused.
#include <gtest/gtest.h>

#include "encode/video_encoder.h"
#include "tests/encode/fake_host.h"

namespace {

TEST(IntelRuntime, ValidationFailsCleanlyWithoutTheHardware) {
    tarvo_test::FakeHost host;
    host.width = 1920;
    host.height = 1080;
    ExportJob job = host.Job();
    for (int impl : {2, 3, 4, 5}) {  // MFX_IMPL_HARDWARE .. HARDWARE4
        job.settings.hardwareImpl = impl;
        EXPECT_FALSE(ValidateEncodeParameters(job)) << impl;
    }
    EXPECT_EQ(host.framesRead, 0);
}

}  // namespace
