// The waits between the plug-in's threads end on signals, not on the OS
// timer. A wait that polled with sleeps (on Windows a timer tick each), or
// that missed its signal and ran into its time-out, shows as sleeps counted
// on the thread that waited, once a frame or more; one that waited for a
// signal that never comes shows as a hang. A busy machine may run out a
// slice of the worker's bounded waits now and then: a few, never one a frame.
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
    for (const char* encoder : {"null", "x264"}) {
        Encoder(encoder);
        tarvo_test::TempPath path;
        tarvo_test::FakeHost host;
        host.frameCount = 60;
        host.renderMs = 3;  // the worker and the writer then wait for every frame
        const ExportJob job = host.Job();
        platform::ResetSleepCounts();
        bool encoded = false;
        tarvo_test::RunBounded([&] {
            platform::LabelThreadForSleepCounts("host's thread");
            encoded = EncodeVideoToFile(job, path.c_str()).done();
        });
        ASSERT_TRUE(encoded) << encoder;
        for (const platform::SleepCount& sleeps : platform::SleepCounts()) {
            // The worker and the writer wait for each other's signals; the
            // host's thread may also poll the runtime while it is busy or
            // still holds a surface. Either happens now and then, not once a
            // frame (60 here); the runtime's own thread is not ours.
            if (std::strcmp(sleeps.label, "runtime") != 0) {
                EXPECT_LE(sleeps.count, 6u) << encoder << ", " << sleeps.label;
            }
            EXPECT_STRNE(sleeps.label, "unlabelled") << encoder << ": every thread of an export has a label";
        }
    }
}

}  // namespace
