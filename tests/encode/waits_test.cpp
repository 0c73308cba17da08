// The waits between the plug-in's threads end on signals, not on the OS
// timer. A wait that polled with sleeps (on Windows a timer tick each), or
// that missed its signal and ran into its time-out, shows as sleeps counted
// on the thread that waited; one that waited for a signal that never comes
// shows as a hang.
#include <cstring>

#include <gtest/gtest.h>

#include "encode/video_encoder.h"
#include "platform/sync.h"
#include "tests/encode/fake_host.h"
#include "tests/encode/soft_runtime.h"
#include "tests/encode/test_support.h"

namespace {

using ThreadWaitsTest = tarvo_test::SoftRuntimeTest;

TEST_F(ThreadWaitsTest, AnExportWaitsOnSignalsNotOnTheTimer) {
    platform::LabelThreadForSleepCounts("host's thread");
    for (const char* encoder : {"null", "x264"}) {
        Encoder(encoder);
        tarvo_test::TempPath path;
        tarvo_test::FakeHost host;
        host.frameCount = 60;
        const ExportJob job = host.Job();
        platform::ResetSleepCounts();
        bool encoded = false;
        tarvo_test::RunBounded([&] { encoded = EncodeVideoToFile(job, path.c_str()).done(); });
        ASSERT_TRUE(encoded) << encoder;
        for (const platform::SleepCount& sleeps : platform::SleepCounts()) {
            // The worker and the writer wait for each other's signals only;
            // the host's thread may poll the runtime while it is busy or still
            // holds a surface, which happens now and then, not once a frame.
            if (std::strcmp(sleeps.label, "host's thread") == 0) {
                EXPECT_LE(sleeps.count, 6u) << encoder;
            } else if (std::strcmp(sleeps.label, "runtime") != 0) {
                EXPECT_EQ(sleeps.count, 0u) << encoder << ", " << sleeps.label;
            }
        }
    }
}

}  // namespace
