// The matrix an export uses, and what the pipeline asks the runtime for and
// falls back to when the runtime will not convert or tag as asked.
#include "encode/colour.h"

#include <gtest/gtest.h>

#include "encode/encode_pipeline.h"
#include "tests/encode/fake_host.h"
#include "tests/encode/soft_runtime.h"

namespace {

using tarvo_test::FakeHost;
using tarvo_test::TestSettings;

bool NeverSink(void*, mfxBitstream*) { return false; }
void NeverSource(void*, mfxFrameData*, bool* end) { *end = true; }

const PipelineCallbacks kCallbacks{nullptr, NeverSource, NeverSink};

class ColourPipelineTest : public tarvo_test::SoftRuntimeTest {};

TEST(ColourMatrix, FollowsTheFrameSize) {
    struct Case {
        int width, height;
        VideoMatrix matrix;
    };
    const Case cases[] = {
        {640, 240, VideoMatrix::kBt601},   {720, 480, VideoMatrix::kBt601},  {720, 576, VideoMatrix::kBt601},
        {1279, 576, VideoMatrix::kBt601},  {1280, 720, VideoMatrix::kBt709}, {1280, 100, VideoMatrix::kBt709},
        {720, 577, VideoMatrix::kBt709},   {1920, 1080, VideoMatrix::kBt709}, {1080, 1920, VideoMatrix::kBt709},
        {3840, 2160, VideoMatrix::kBt709}, {16, 16, VideoMatrix::kBt601},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatrixForFrame(c.width, c.height), c.matrix) << c.width << "x" << c.height;
    }
    EXPECT_EQ(ColourCodesOf(VideoMatrix::kBt709).primaries, 1);
    EXPECT_EQ(ColourCodesOf(VideoMatrix::kBt709).matrix, 1);
    EXPECT_EQ(ColourCodesOf(VideoMatrix::kBt601).transfer, 6);
    EXPECT_EQ(ColourCodesOf(VideoMatrix::kBt601).matrix, 6);
}

// Each runtime behaviour (taking the buffers, refusing them, changing them,
// refusing RGB3 as well) against the matrix of the pixels, whether the stream
// is tagged, and what the encoder then reports.
TEST_F(ColourPipelineTest, TagsAlwaysDescribeThePixels) {
    struct Case {
        const char* runtime;
        const char* faults;
        int width, height;
        VideoMatrix matrix;
        bool tagged;
        mfxU32 fourCC;
    };
    const Case cases[] = {
        {"msdk", "", 1920, 1080, VideoMatrix::kBt709, true, MFX_FOURCC_RGB3},
        {"msdk", "", 640, 240, VideoMatrix::kBt601, true, MFX_FOURCC_RGB3},
        {"vpl", "", 1280, 720, VideoMatrix::kBt709, true, MFX_FOURCC_RGB4},
        // VPP's buffer refused or changed: BT.601 pixels, said so by the encoder.
        {"msdk", "vpp_signal=-15", 1920, 1080, VideoMatrix::kBt601, true, MFX_FOURCC_RGB3},
        {"msdk", "vpp_signal=-3", 1920, 1080, VideoMatrix::kBt601, true, MFX_FOURCC_RGB3},
        {"msdk", "vpp_signal=5", 1920, 1080, VideoMatrix::kBt601, true, MFX_FOURCC_RGB3},
        {"msdk", "vpp_signal=-15@2", 1920, 1080, VideoMatrix::kBt601, true, MFX_FOURCC_RGB3},  // VPP's Init
        {"vpl", "vpp_signal=-15", 1920, 1080, VideoMatrix::kBt601, true, MFX_FOURCC_RGB4},
        {"msdk", "vpp_signal=-15", 640, 240, VideoMatrix::kBt601, true, MFX_FOURCC_RGB3},
        // The encoder's refused every time, or ignored: BT.601, untagged.
        {"msdk", "enc_signal=-15", 1920, 1080, VideoMatrix::kBt601, false, MFX_FOURCC_RGB3},
        {"msdk", "enc_signal=5", 1920, 1080, VideoMatrix::kBt601, false, MFX_FOURCC_RGB3},
        {"msdk", "vpp_signal=-15,enc_signal=-15", 1280, 720, VideoMatrix::kBt601, false, MFX_FOURCC_RGB3},
        // Refused at the encoder's Init (calls count per session, so every
        // attempt's Init refuses): untagged too.
        {"msdk", "enc_signal=-15@2", 1920, 1080, VideoMatrix::kBt601, false, MFX_FOURCC_RGB3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.runtime << " " << c.faults << " " << c.width << "x" << c.height);
        Runtime(c.runtime);
        if (*c.faults != '\0') {
            Faults(c.faults);
        } else {
            ::unsetenv("MFXSOFT_FAULTS");
        }
        FakeHost host;
        host.width = c.width;
        host.height = c.height;
        EncodePipeline pipeline;
        ASSERT_TRUE(OpenEncodePipeline(TestSettings(), host.Job(), pipeline, kCallbacks));
        EXPECT_EQ(pipeline.colourMatrix, c.matrix);
        EXPECT_EQ(pipeline.colourTagged, c.tagged);
        EXPECT_EQ(pipeline.vppInFourCC, c.fourCC);
        mfxExtVideoSignalInfo signal{};
        signal.Header.BufferId = MFX_EXTBUFF_VIDEO_SIGNAL_INFO;
        signal.Header.BufferSz = sizeof(signal);
        mfxExtBuffer* ext[1] = {&signal.Header};
        mfxVideoParam actual{};
        actual.ExtParam = ext;
        actual.NumExtParam = 1;
        ASSERT_EQ(MFXVideoENCODE_GetVideoParam(pipeline.session, &actual), MFX_ERR_NONE);
        const ColourCodes codes = ColourCodesOf(c.matrix);
        EXPECT_EQ(signal.ColourDescriptionPresent, c.tagged ? 1 : 0);
        EXPECT_EQ(signal.VideoFullRange, 0);
        if (c.tagged) {
            EXPECT_EQ(signal.VideoFormat, 5);
            EXPECT_EQ(signal.ColourPrimaries, codes.primaries);
            EXPECT_EQ(signal.TransferCharacteristics, codes.transfer);
            EXPECT_EQ(signal.MatrixCoefficients, codes.matrix);
        }
        EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_NONE);
    }
}

// A failure that has nothing to do with the buffers is not retried without them.
TEST_F(ColourPipelineTest, OtherFailuresAreNotRetried) {
    Faults("enc_init=-9");
    FakeHost host;
    EncodePipeline pipeline;
    EXPECT_FALSE(OpenEncodePipeline(TestSettings(), host.Job(), pipeline, kCallbacks));
    EXPECT_FALSE(pipeline.initialized);
}

}  // namespace
