// The settings entries, called as the host calls them.
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "loaded_plugin.h"

namespace {

constexpr int32_t kSize = 1024;
constexpr int32_t kSize2 = 820;  // a version-2 block, as every saved project holds
constexpr uint32_t kCodecAvc = 'A' | 'V' << 8 | 'C' << 16 | ' ' << 24;

using Bytes = std::vector<uint8_t>;

void PutWord(Bytes& data, size_t offset, int32_t value) { std::memcpy(data.data() + offset, &value, 4); }

// A record of `size` bytes with values no dialog offers and text fields with
// no terminator; what is taken of it must travel byte for byte.
Bytes OddRecord(int32_t version, int32_t size = kSize) {
    Bytes data(size);
    for (int i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    PutWord(data, 0, version);
    PutWord(data, 8, 0);  // codecProfile
    return data;
}

// What an upgraded version-2 block becomes: its bytes, version 3, then the
// new fields at the values that export as version 2 did, then zeros.
Bytes Upgraded(const Bytes& v2) {
    Bytes data(v2);
    data.resize(kSize, 0);
    PutWord(data, 0, 3);
    const int32_t defaults[] = {static_cast<int32_t>(kCodecAvc), 8, 22, 24, 26, 23};  // codec .. quality
    for (size_t i = 0; i < std::size(defaults); ++i) PutWord(data, kSize2 + 4 * i, defaults[i]);
    return data;
}

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
    Bytes Current() {
        Bytes data(kSize, 0xEE);
        std::string message;
        EXPECT_EQ(Get(data.data(), kSize, &message), kSize);
        return data;
    }

    test::LoadedPlugin plugin_;
};

TEST_F(SettingsEntries, GetCopiesExactly1024BytesOnlyIntoABufferLargeEnough) {
    struct Case {
        int32_t size;        // as the host passes it
        size_t buffer;       // bytes really there
        bool copied;
    } cases[] = {
        {1100, 1100, true}, {kSize, kSize, true}, {kSize - 1, kSize, false},
        {kSize2, kSize, false},  // a version-2 host's buffer
        {0, kSize, false},
        {-1, kSize, true},  // as unsigned: a very large buffer
    };
    for (const Case& c : cases) {
        Bytes buffer(c.buffer, 0xAB);
        std::string message;
        EXPECT_EQ(Get(buffer.data(), c.size, &message), kSize) << c.size;
        EXPECT_EQ(message, "") << c.size;
        Bytes expected(c.buffer, 0xAB);
        if (c.copied) std::fill(expected.begin(), expected.begin() + kSize, 0);  // a fresh plug-in's record
        EXPECT_EQ(buffer, expected) << c.size;
    }
    std::string message;
    EXPECT_EQ(Get(nullptr, kSize, &message), kSize);
    EXPECT_EQ(Get(nullptr, 0, &message), kSize);
}

TEST_F(SettingsEntries, SetTakesVersion3AndUpgradesVersion2AndRefusesTheRest) {
    const char* kSizeFailure = "Configure data size failure.\n";
    const char* kIncompatible = "Configure data is incompatible.\n";
    const Bytes v3 = OddRecord(3);
    const Bytes v2 = OddRecord(2, kSize2);
    struct Case {
        const char* name;
        Bytes block;
        int32_t size;
        int32_t result;
        const char* message;
        Bytes after;  // the record held afterwards; empty: as before
    } cases[] = {
        {"version 3", v3, kSize, kSize, "", v3},
        {"version 2, upgraded", v2, kSize2, kSize2, "", Upgraded(v2)},
        {"0 bytes", v3, 0, 0, kSizeFailure, {}},
        {"819 bytes", v3, kSize2 - 1, 0, kSizeFailure, {}},
        {"821 bytes", v3, kSize2 + 1, 0, kSizeFailure, {}},
        {"1023 bytes", v3, kSize - 1, 0, kSizeFailure, {}},
        {"1025 bytes", OddRecord(3, kSize + 1), kSize + 1, 0, kSizeFailure, {}},
        {"negative size", v3, -kSize, 0, kSizeFailure, {}},
        {"1024 bytes of version 2", OddRecord(2), kSize, 0, kIncompatible, {}},
        {"1024 bytes of version 4", OddRecord(4), kSize, 0, kIncompatible, {}},
        {"1024 bytes of version 0", OddRecord(0), kSize, 0, kIncompatible, {}},
        {"820 bytes of version 3", OddRecord(3, kSize2), kSize2, 0, kIncompatible, {}},
        {"820 bytes of version 1", OddRecord(1, kSize2), kSize2, 0, kIncompatible, {}},
        {"820 bytes of version -2", OddRecord(-2, kSize2), kSize2, 0, kIncompatible, {}},
        {"null", {}, kSize, 0, "", {}},
        {"null, 820", {}, kSize2, 0, "", {}},
    };
    // Each case starts from a record none of them holds, so a refusal that
    // changed anything shows.
    const Bytes start = Upgraded(OddRecord(2, kSize2));
    Bytes base = start;
    PutWord(base, 900, 12345);
    for (Case& c : cases) {
        std::string message;
        ASSERT_EQ(Set(base.data(), kSize, &message), kSize) << c.name;
        EXPECT_EQ(Set(c.block.empty() ? nullptr : c.block.data(), c.size, &message), c.result) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
        EXPECT_EQ(Current(), c.after.empty() ? base : c.after) << c.name;
    }
}

TEST_F(SettingsEntries, RefusedSetsLeaveAFreshPluginAllZero) {
    std::string message;
    Bytes record = OddRecord(2);
    EXPECT_EQ(Set(record.data(), kSize, &message), 0);
    record = OddRecord(3);
    EXPECT_EQ(Set(record.data(), kSize - 1, &message), 0);
    EXPECT_EQ(Current(), Bytes(kSize, 0));
}

}  // namespace
