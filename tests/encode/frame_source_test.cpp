#include "encode/frame_source.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "encode/bitstream_writer.h"
#include "encode/frame_allocator.h"
#include "tests/encode/test_support.h"

namespace {

// A scripted host, reached through the job's context.
struct FakeHost {
    int32_t abortAfter = -1;       // isAbort answers 1 once this many frames were read
    int32_t missingFrame = -1;     // getVideo returns null for this frame
    std::vector<uint8_t> frame;    // the DIB handed out for every frame
    int32_t framesRead = 0;
    int isAbortCalls = 0;
    std::vector<int32_t> progressFrames;
};

FakeHost& HostOf(void* context) { return *static_cast<FakeHost*>(context); }
bool IsAbort(void* context) {
    FakeHost& host = HostOf(context);
    ++host.isAbortCalls;
    return host.abortAfter >= 0 && host.framesRead >= host.abortAfter;
}
void ShowProgress(void* context, int32_t now, int32_t) { HostOf(context).progressFrames.push_back(now); }
const void* GetVideo(void* context, int32_t frame) {
    FakeHost& host = HostOf(context);
    if (frame == host.missingFrame) return nullptr;
    ++host.framesRead;
    return host.frame.data();
}

class FrameSourceTest : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeHost{}; }
    void TearDown() override {
        if (frames.mids != nullptr) record->Free(record->pthis, &frames);
    }

    // A job of `count` frames of width x height whose DIB rows are
    // numbered: every byte of row r is r + 1.
    void Job(int32_t width, int32_t height, int32_t count, int32_t rate = 30, int32_t scale = 1) {
        info = ExportJob{};
        info.host = &fake;
        info.width = width;
        info.height = height;
        info.rate = rate;
        info.scale = scale;
        info.frameCount = count;
        info.getVideo = GetVideo;
        info.isAbort = IsAbort;
        info.showProgress = ShowProgress;
        stride = (width * 3 + 3) & ~3;
        fake.frame.assign(static_cast<size_t>(stride) * height, 0);
        for (int32_t row = 0; row < height; ++row) {
            std::memset(&fake.frame[static_cast<size_t>(row) * stride], row + 1, stride);
        }
        context = EncodeJobContext{&info, nullptr, 0, false, false};

        // A real VPP-input surface of the allocator, as the pipeline has it.
        mfxFrameAllocRequest request{};
        request.Type = MFX_MEMTYPE_SYSTEM_MEMORY;
        request.Info.FourCC = MFX_FOURCC_RGB3;
        request.Info.Width = static_cast<mfxU16>((width + 15) & 0xFFF0);
        request.Info.Height = static_cast<mfxU16>((height + 15) & 0xFFF0);
        request.NumFrameSuggested = 1;
        ASSERT_EQ(record->Alloc(record->pthis, &request, &frames), MFX_ERR_NONE);
        surface = mfxFrameData{};
        ASSERT_EQ(record->Lock(record->pthis, frames.mids[0], &surface), MFX_ERR_NONE);
    }

    bool Read() {
        bool end = false;
        ReadHostFrame(&context, &surface, &end);
        return !end;
    }

    FakeHost fake;
    ExportJob info{};
    int32_t stride = 0;
    EncodeJobContext context{};
    CAllocatorFrameSystemMemory allocator;
    mfxFrameAllocator* record = &allocator;
    mfxFrameAllocResponse frames{};
    mfxFrameData surface{};
};

TEST_F(FrameSourceTest, EmptyJobCallsNoHostFunction) {
    Job(64, 16, 0);
    EXPECT_FALSE(Read());
    EXPECT_FALSE(Read());
    EXPECT_EQ(fake.isAbortCalls, 0);
    EXPECT_EQ(fake.framesRead, 0);
    EXPECT_TRUE(fake.progressFrames.empty());
    EXPECT_FALSE(context.frameMissing);
}

TEST_F(FrameSourceTest, EndsAfterTheLastFrameWithoutAskingForAbort) {
    Job(64, 16, 3);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Read());
    const int abortCalls = fake.isAbortCalls;
    EXPECT_FALSE(Read());
    EXPECT_FALSE(Read());  // and again on every later call
    EXPECT_EQ(fake.isAbortCalls, abortCalls);
    EXPECT_EQ(context.frameIndex, 3);
    EXPECT_FALSE(context.frameMissing);
}

TEST_F(FrameSourceTest, AbortAfterTenFrames) {
    Job(64, 16, 100);
    fake.abortAfter = 10;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(Read()) << i;
    EXPECT_FALSE(Read());
    EXPECT_FALSE(Read());
    EXPECT_EQ(context.frameIndex, 10);
    EXPECT_EQ(fake.framesRead, 10);
    EXPECT_FALSE(context.frameMissing);  // an abort is not a gap
}

TEST_F(FrameSourceTest, RowsAreFlippedWithPaddedStrides) {
    for (int32_t width : {641, 643}) {
        SCOPED_TRACE(width);
        TearDown();
        SetUp();
        Job(width, 5, 1);
        ASSERT_EQ(stride, width == 641 ? 1924 : 1932);
        std::memset(surface.Y, 0xEE, static_cast<size_t>(surface.Pitch) * 16);
        ASSERT_TRUE(Read());
        for (int32_t row = 0; row < 5; ++row) {
            const uint8_t* out = surface.Y + static_cast<size_t>(row) * surface.Pitch;
            const uint8_t expected = static_cast<uint8_t>(5 - row);  // DIB row 4 - row, numbered + 1
            for (int32_t x = 0; x < stride; ++x) ASSERT_EQ(out[x], expected) << "row " << row << " byte " << x;
            EXPECT_EQ(out[stride], 0xEE);  // nothing beyond the stride
        }
    }
}

TEST_F(FrameSourceTest, TwoRowFrameTurnsUpright) {
    Job(4, 2, 1);
    ASSERT_TRUE(Read());
    EXPECT_EQ(surface.Y[0], 2);              // DIB row 1
    EXPECT_EQ(surface.Y[surface.Pitch], 1);  // DIB row 0
}

TEST_F(FrameSourceTest, TimeStampsAndFrameOrder) {
    Job(16, 16, 5, 30, 1);
    for (mfxU64 expected : {0ull, 3000ull, 6000ull, 9000ull}) {
        ASSERT_TRUE(Read());
        EXPECT_EQ(surface.TimeStamp, expected);
        EXPECT_EQ(surface.FrameOrder, 0xFFFFFFFFu);
    }
    TearDown();
    SetUp();
    Job(16, 16, 5, 30000, 1001);
    ASSERT_TRUE(Read());
    EXPECT_EQ(surface.TimeStamp, 0u);
    ASSERT_TRUE(Read());
    EXPECT_EQ(surface.TimeStamp, 3003u);
}

TEST_F(FrameSourceTest, ProgressEveryTwoSecondsOrEveryFrameBelowOneFps) {
    Job(16, 16, 120, 30000, 1001);  // interval 58
    while (Read()) {
    }
    EXPECT_EQ(fake.progressFrames, (std::vector<int32_t>{0, 58, 116}));

    // Half a frame per second: the interval computes to 0.
    for (auto [rate, scale] : {std::pair{1, 2}, std::pair{5, 0}}) {
        TearDown();
        SetUp();
        Job(16, 16, 4, rate, scale);
        while (Read()) {
        }
        EXPECT_EQ(fake.progressFrames, (std::vector<int32_t>{0, 1, 2, 3}));
    }
}

TEST_F(FrameSourceTest, MissingFrameEndsTheStreamAndMarksTheGap) {
    Job(16, 16, 10);
    fake.missingFrame = 3;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Read());
    EXPECT_FALSE(Read());
    EXPECT_TRUE(context.frameMissing);
    EXPECT_EQ(context.frameIndex, 3);
    const int abortCalls = fake.isAbortCalls;
    EXPECT_FALSE(Read());  // the host is not asked again
    EXPECT_EQ(fake.isAbortCalls, abortCalls);
}

TEST_F(FrameSourceTest, SurfaceNarrowerThanTheFrameIsRefused) {
    Job(64, 16, 2);
    surface.Pitch = static_cast<mfxU16>(stride - 4);
    EXPECT_FALSE(Read());
    EXPECT_TRUE(context.frameMissing);
}

TEST(BitstreamSink, QueuesTheBytesAtTheOffset) {
    tarvo_test::TempPath path;
    platform::FileHandle file = platform::OpenFileForWrite(path.c_str());
    BitstreamWriter* writer = StartWriter();
    SetWriterFile(writer, file);
    EncodeJobContext context{nullptr, writer, 0, false, false};

    mfxU8 buffer[16] = {'x', 'x', 'h', 'e', 'l', 'l', 'o'};
    mfxBitstream bitstream{};
    bitstream.Data = buffer;
    bitstream.MaxLength = sizeof(buffer);
    bitstream.DataOffset = 2;
    bitstream.DataLength = 5;
    EXPECT_TRUE(QueueBitstream(&context, &bitstream));
    EXPECT_EQ(bitstream.DataOffset, 2u);  // left for the caller to empty
    EXPECT_EQ(bitstream.DataLength, 5u);

    bitstream.DataLength = 0;  // an empty bitstream is refused, and loses nothing
    EXPECT_FALSE(QueueBitstream(&context, &bitstream));
    EXPECT_FALSE(context.bytesLost);

    tarvo_test::RunBounded([&] { EXPECT_EQ(FinishWriter(writer), 0u); });
    DestroyWriter(writer);
    platform::CloseFile(file);
    const auto bytes = tarvo_test::ReadAll(path.str());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello");

    // A writer without a file refuses the bytes: they are lost, and that shows.
    BitstreamWriter* fileless = StartWriter();
    EncodeJobContext lost{nullptr, fileless, 0, false, false};
    bitstream.DataLength = 5;
    EXPECT_FALSE(QueueBitstream(&lost, &bitstream));
    EXPECT_TRUE(lost.bytesLost);
    DestroyWriter(fileless);
}

}  // namespace
