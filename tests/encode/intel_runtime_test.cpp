// Against Debian's real Media SDK dispatcher. Without an Intel GPU the trial
// set-up fails cleanly, so every export is refused; with one, the first
// adapter takes the default settings.
#include <gtest/gtest.h>

#include "encode/video_encoder.h"
#include "tests/encode/fake_host.h"
#include "tests/intel_adapter.h"

namespace {

TEST(IntelRuntime, ValidationFollowsTheHardware) {
    tarvo_test::FakeHost host;
    host.width = 1920;
    host.height = 1080;
    ExportJob job = host.Job();
    const bool intel = tarvo_test::IntelAdapterPresent();
    job.settings.hardwareImpl = 2;  // MFX_IMPL_HARDWARE: the first adapter
    const Outcome first = ValidateEncodeParameters(job);
    EXPECT_EQ(first.done(), intel) << first.Text();
    if (!intel) {
        // Refused at the session, and said so.
        EXPECT_EQ(first.cause.rfind("MFXInit answered ", 0), 0u) << first.cause;
        for (int impl : {3, 4, 5}) {
            job.settings.hardwareImpl = impl;
            EXPECT_TRUE(ValidateEncodeParameters(job).failed()) << impl;
        }
    }
    EXPECT_EQ(host.framesRead, 0);
}

}  // namespace
