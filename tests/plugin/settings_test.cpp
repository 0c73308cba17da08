// The settings entries, called as the host calls them.
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "loaded_plugin.h"

namespace {

constexpr int32_t kSize = 820;

class SettingsEntries : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(plugin_.table, nullptr); }

    // Calls an entry and returns its result; *message receives its stderr.
    int32_t Set(void* data, int32_t size, std::string* message) {
        int32_t result = -1;
        *message = test::CaptureStderr([&] { result = plugin_.table->configSet(data, size); });
        return result;
    }
    int32_t Get(void* data, int32_t size, std::string* message) {
        int32_t result = -1;
        *message = test::CaptureStderr([&] { result = plugin_.table->configGet(data, size); });
        return result;
    }
    std::vector<uint8_t> Current() {
        std::vector<uint8_t> data(kSize, 0xEE);
        std::string message;
        EXPECT_EQ(Get(data.data(), kSize, &message), kSize);
        return data;
    }

    // A version-2 record with values no dialog offers and text fields with
    // no terminator; it must travel byte for byte.
    static std::vector<uint8_t> OddRecord(int32_t version = 2) {
        std::vector<uint8_t> data(kSize);
        for (int i = 0; i < kSize; ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
        std::memcpy(data.data(), &version, 4);
        int32_t profile = 0;
        std::memcpy(data.data() + 8, &profile, 4);
        return data;
    }

    test::LoadedPlugin plugin_;
};

TEST_F(SettingsEntries, GetCopiesExactly820BytesOnlyIntoABufferLargeEnough) {
    std::string message;
    std::vector<uint8_t> buffer(1000, 0xAB);
    EXPECT_EQ(Get(buffer.data(), 1000, &message), kSize);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + kSize), std::vector<uint8_t>(kSize, 0));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + kSize, buffer.end()), std::vector<uint8_t>(180, 0xAB));
    EXPECT_EQ(message, "");

    std::vector<uint8_t> small(kSize, 0xAB);
    EXPECT_EQ(Get(small.data(), kSize - 1, &message), kSize);
    EXPECT_EQ(small, std::vector<uint8_t>(kSize, 0xAB));
    EXPECT_EQ(Get(nullptr, kSize, &message), kSize);
    EXPECT_EQ(Get(nullptr, 0, &message), kSize);
    // The size counts as unsigned: -1 is a very large buffer.
    EXPECT_EQ(Get(small.data(), -1, &message), kSize);
    EXPECT_EQ(small, std::vector<uint8_t>(kSize, 0));
    EXPECT_EQ(message, "");
}

TEST_F(SettingsEntries, SetKeepsAnyVersion2RecordByteForByte) {
    std::vector<uint8_t> record = OddRecord();
    std::string message;
    EXPECT_EQ(Set(record.data(), kSize, &message), kSize);
    EXPECT_EQ(message, "");
    EXPECT_EQ(Current(), record);
}

TEST_F(SettingsEntries, SetRefusesWrongSizesAndVersionsWithTheirMessages) {
    std::vector<uint8_t> kept = OddRecord();
    std::string message;
    ASSERT_EQ(Set(kept.data(), kSize, &message), kSize);

    std::vector<uint8_t> other(1000);
    int32_t version = 2;
    std::memcpy(other.data(), &version, 4);
    for (int32_t size : {kSize - 1, kSize + 1, 1000, 0, -kSize}) {
        EXPECT_EQ(Set(other.data(), size, &message), 0) << size;
        EXPECT_EQ(message, "Configure data size failure.\n") << size;
    }
    for (int32_t wrong : {1, 3, 0, -2}) {
        std::vector<uint8_t> record = OddRecord(wrong);
        EXPECT_EQ(Set(record.data(), kSize, &message), 0) << wrong;
        EXPECT_EQ(message, "Configure data is incompatible.\n") << wrong;
    }
    EXPECT_EQ(Set(nullptr, kSize, &message), 0);
    EXPECT_EQ(message, "");
    EXPECT_EQ(Set(nullptr, 5, &message), 0);
    EXPECT_EQ(message, "");
    EXPECT_EQ(Current(), kept);
}

TEST_F(SettingsEntries, RefusedSetsLeaveAFreshPluginAllZero) {
    std::vector<uint8_t> record = OddRecord(3);
    std::string message;
    EXPECT_EQ(Set(record.data(), kSize, &message), 0);
    record = OddRecord(2);
    EXPECT_EQ(Set(record.data(), kSize - 1, &message), 0);
    EXPECT_EQ(Current(), std::vector<uint8_t>(kSize, 0));
}

}  // namespace
