#include "encode/frame_allocator.h"

#include <cstring>

#include <cstdint>

#include <gtest/gtest.h>

namespace {

mfxFrameAllocRequest Request(mfxU32 fourCC, mfxU16 width, mfxU16 height, mfxU16 frames) {
    mfxFrameAllocRequest request{};
    request.Type = MFX_MEMTYPE_SYSTEM_MEMORY | MFX_MEMTYPE_FROM_VPPIN | MFX_MEMTYPE_EXTERNAL_FRAME;
    request.Info.FourCC = fourCC;
    request.Info.Width = width;
    request.Info.Height = height;
    request.Info.CropW = width;
    request.NumFrameMin = frames;
    request.NumFrameSuggested = frames;
    return request;
}

// The allocator is driven the way the SDK drives it: through the record.
class FrameAllocatorTest : public ::testing::Test {
protected:
    mfxStatus Alloc(mfxFrameAllocRequest* request, mfxFrameAllocResponse* response) {
        return record->Alloc(record->pthis, request, response);
    }
    mfxStatus Lock(mfxMemId mid, mfxFrameData* data) { return record->Lock(record->pthis, mid, data); }
    mfxStatus Unlock(mfxMemId mid, mfxFrameData* data) { return record->Unlock(record->pthis, mid, data); }
    mfxStatus Free(mfxFrameAllocResponse* response) { return record->Free(record->pthis, response); }

    CAllocatorFrameSystemMemory allocator;
    mfxFrameAllocator* record = &allocator;
};

TEST_F(FrameAllocatorTest, RecordBridgesToTheObject) {
    EXPECT_EQ(record->pthis, static_cast<IAllocatorFrame*>(&allocator));
    for (mfxU32 word : record->reserved) EXPECT_EQ(word, 0u);
    mfxHDL handle = reinterpret_cast<mfxHDL>(0x1234);
    EXPECT_EQ(record->GetHDL(record->pthis, nullptr, &handle), MFX_ERR_UNSUPPORTED);
    EXPECT_EQ(handle, reinterpret_cast<mfxHDL>(0x1234));
}

TEST_F(FrameAllocatorTest, Nv12At1280x720) {
    auto request = Request(MFX_FOURCC_NV12, 1280, 720, 1);
    mfxFrameAllocResponse response{};
    ASSERT_EQ(Alloc(&request, &response), MFX_ERR_NONE);
    ASSERT_EQ(response.NumFrameActual, 1);
    auto* block = static_cast<mfxU8*>(response.mids[0]);
    EXPECT_EQ(std::memcmp(block, &request.Info, sizeof(mfxFrameInfo)), 0);

    mfxFrameData data{};
    ASSERT_EQ(Lock(response.mids[0], &data), MFX_ERR_NONE);
    EXPECT_EQ(data.Pitch, 1280);
    EXPECT_EQ(data.Y, block + 128);
    EXPECT_EQ(data.UV - data.Y, 942080);  // 1280 x 736
    EXPECT_EQ(data.V, data.UV + 1);
    EXPECT_EQ(data.A, nullptr);
    // The block is 1,413,248 bytes: its last byte is ours (AddressSanitizer
    // would flag a shorter block).
    block[1413248 - 1] = 0x5A;
    EXPECT_EQ(data.UV[1280 * 368 - 1], 0x5A);
}

TEST_F(FrameAllocatorTest, Rgb3At1920x1088) {
    auto request = Request(MFX_FOURCC_RGB3, 1920, 1088, 2);
    mfxFrameAllocResponse response{};
    ASSERT_EQ(Alloc(&request, &response), MFX_ERR_NONE);
    auto* block = static_cast<mfxU8*>(response.mids[1]);
    mfxFrameData data{};
    ASSERT_EQ(Lock(response.mids[1], &data), MFX_ERR_NONE);
    EXPECT_EQ(data.Pitch, 5760);
    EXPECT_EQ(data.R, block + 128);
    EXPECT_EQ(data.G, block + 129);
    EXPECT_EQ(data.B, block + 130);
    block[6267008 - 1] = 1;
    EXPECT_NE(response.mids[0], response.mids[1]);

    // Stateless: a second lock gives the same pointers; unlock clears them.
    mfxFrameData again{};
    ASSERT_EQ(Lock(response.mids[1], &again), MFX_ERR_NONE);
    EXPECT_EQ(again.R, data.R);
    EXPECT_EQ(Unlock(response.mids[1], &data), MFX_ERR_NONE);
    EXPECT_EQ(data.Pitch, 0);
    EXPECT_EQ(data.Y, nullptr);
    EXPECT_EQ(data.U, nullptr);
    EXPECT_EQ(data.V, nullptr);
    EXPECT_EQ(data.A, nullptr);
    EXPECT_EQ(Unlock(response.mids[1], nullptr), MFX_ERR_NONE);
}

TEST_F(FrameAllocatorTest, EveryFormatOfTheTable) {
    constexpr ptrdiff_t kNull = PTRDIFF_MIN, kUntouched = PTRDIFF_MIN + 1;
    struct Case {
        mfxU32 fourCC;
        mfxU16 width, height;
        mfxU16 pitch;
        ptrdiff_t y, u, v, a;  // offsets from the frame's first pixel byte
    };
    const Case cases[] = {
        {MFX_FOURCC_YV12, 64, 32, 64, 0, 64 * 32 + 32 * 16, 64 * 32, kUntouched},
        {MFX_FOURCC_YUY2, 1, 1, 64, 0, 1, 3, kUntouched},  // width 1 lays out as 32
        // Bytes B, G, R, A: Y is R, U is G and V is B in the SDK's unions.
        {MFX_FOURCC_RGB4, 32, 2, 128, 2, 1, 0, 3},
        {MFX_FOURCC_P8, 100, 100, 1, 0, kNull, kNull, kUntouched},
        // 16-bit samples: U and V interleaved after the 2 x 64 x 64 bytes of luma
        // (the height of 40 lays out as 64).
        {MFX_FOURCC_P010, 64, 40, 128, 0, 128 * 64, 128 * 64 + 2, kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fourCC);
        auto request = Request(c.fourCC, c.width, c.height, 1);
        mfxFrameAllocResponse response{};
        ASSERT_EQ(Alloc(&request, &response), MFX_ERR_NONE);
        mfxFrameData data{};
        auto* marker = reinterpret_cast<mfxU8*>(&data);  // any non-null pointer
        data.U = data.V = data.A = marker;
        ASSERT_EQ(Lock(response.mids[0], &data), MFX_ERR_NONE);
        EXPECT_EQ(data.Pitch, c.pitch);
        mfxU8* first = static_cast<mfxU8*>(response.mids[0]) + 128;
        auto check = [&](mfxU8* plane, ptrdiff_t offset) {
            if (offset == kNull) EXPECT_EQ(plane, nullptr);
            else if (offset == kUntouched) EXPECT_EQ(plane, marker);
            else EXPECT_EQ(plane - first, offset);
        };
        check(data.Y, c.y);
        check(data.U, c.u);
        check(data.V, c.v);
        check(data.A, c.a);
    }
}

TEST_F(FrameAllocatorTest, RefusalsAllocateNothing) {
    mfxFrameAllocResponse untouched{};
    auto* sentinel = reinterpret_cast<mfxMemId*>(&untouched);
    untouched.mids = sentinel;
    untouched.NumFrameActual = 77;

    auto request = Request(MFX_FOURCC_NV12, 64, 64, 2);
    EXPECT_EQ(Alloc(nullptr, &untouched), MFX_ERR_MEMORY_ALLOC);
    EXPECT_EQ(Alloc(&request, nullptr), MFX_ERR_MEMORY_ALLOC);

    auto none = Request(MFX_FOURCC_NV12, 64, 64, 0);
    none.NumFrameMin = 2;
    EXPECT_EQ(Alloc(&none, &untouched), MFX_ERR_MEMORY_ALLOC);

    auto video = Request(MFX_FOURCC_NV12, 64, 64, 2);
    video.Type = MFX_MEMTYPE_VIDEO_MEMORY_DECODER_TARGET | MFX_MEMTYPE_FROM_ENCODE;
    EXPECT_EQ(Alloc(&video, &untouched), MFX_ERR_UNSUPPORTED);

    auto unknown = Request(MFX_FOURCC_AYUV, 64, 64, 2);
    EXPECT_EQ(Alloc(&unknown, &untouched), MFX_ERR_UNSUPPORTED);

    // A frame whose pixel size does not fit 32 bits cannot be laid out.
    auto huge = Request(MFX_FOURCC_RGB4, 65535, 65535, 1);
    EXPECT_EQ(Alloc(&huge, &untouched), MFX_ERR_MEMORY_ALLOC);

    EXPECT_EQ(untouched.mids, sentinel);
    EXPECT_EQ(untouched.NumFrameActual, 77);
}

TEST_F(FrameAllocatorTest, SuggestedCountWinsOverMinimum) {
    auto request = Request(MFX_FOURCC_NV12, 1920, 1080, 5);
    request.NumFrameMin = 2;
    mfxFrameAllocResponse response{};
    response.AllocId = 0x1234;  // left as it was
    ASSERT_EQ(Alloc(&request, &response), MFX_ERR_NONE);
    EXPECT_EQ(response.NumFrameActual, 5);
    EXPECT_EQ(response.AllocId, 0x1234u);
    for (int i = 0; i < 5; ++i) {
        mfxFrameData data{};
        ASSERT_EQ(Lock(response.mids[i], &data), MFX_ERR_NONE);
        data.Y[1920 * 1088 * 3 / 2 - 1] = 0;  // the last pixel byte of each frame
    }
}

TEST_F(FrameAllocatorTest, LockRefusesWhatItCannotLayOut) {
    mfxFrameData data{};
    EXPECT_EQ(Lock(nullptr, &data), MFX_ERR_LOCK_MEMORY);

    auto request = Request(MFX_FOURCC_NV12, 64, 64, 1);
    mfxFrameAllocResponse response{};
    ASSERT_EQ(Alloc(&request, &response), MFX_ERR_NONE);
    EXPECT_EQ(Lock(response.mids[0], nullptr), MFX_ERR_LOCK_MEMORY);

    // A block whose header names an unknown format: nothing is written.
    alignas(8) mfxU8 fake[kFrameHeaderSize + 64]{};
    mfxFrameInfo info{};
    info.FourCC = MFX_FOURCC_AYUV;
    info.Width = 4;
    info.Height = 4;
    std::memcpy(fake, &info, sizeof(info));
    data.Pitch = 9;
    EXPECT_EQ(Lock(fake, &data), MFX_ERR_LOCK_MEMORY);
    EXPECT_EQ(data.Pitch, 9);
    EXPECT_EQ(data.Y, nullptr);
}

TEST_F(FrameAllocatorTest, FreeOnceOnly) {
    auto request = Request(MFX_FOURCC_NV12, 64, 64, 3);
    mfxFrameAllocResponse response{};
    ASSERT_EQ(Alloc(&request, &response), MFX_ERR_NONE);
    mfxFrameAllocResponse staleCopy = response;

    EXPECT_EQ(Free(&response), MFX_ERR_NONE);
    EXPECT_EQ(response.mids, nullptr);
    EXPECT_EQ(Free(&response), MFX_ERR_NONE);  // mids is null: nothing to do
    // A copy of the response names frames that are gone: freeing through it
    // must not release them again (AddressSanitizer: double free).
    EXPECT_EQ(Free(&staleCopy), MFX_ERR_NONE);
    EXPECT_EQ(staleCopy.mids, nullptr);
    EXPECT_EQ(Free(nullptr), MFX_ERR_NONE);
}

TEST(FrameAllocatorLifetime, DestructionReleasesOutstandingAllocations) {
    // Three allocations never freed; the leak checker fails the test if the
    // destructor leaves any block or array behind.
    auto* allocator = new CAllocatorFrameSystemMemory;
    mfxFrameAllocator* record = allocator;
    const mfxU32 formats[] = {MFX_FOURCC_NV12, MFX_FOURCC_RGB3, MFX_FOURCC_P8};
    for (mfxU32 fourCC : formats) {
        auto request = Request(fourCC, 320, 240, 4);
        mfxFrameAllocResponse response{};
        ASSERT_EQ(record->Alloc(record->pthis, &request, &response), MFX_ERR_NONE);
    }
    delete static_cast<IAllocatorFrame*>(allocator);
}

}  // namespace
