#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "loaded_plugin.h"

namespace {

const char kName[] = "MP4\x8F\x6F\x97\xCDTarvo";

TEST(PluginTable, HoldsTheNameFiltersAndEntries) {
    test::LoadedPlugin plugin;
    ASSERT_NE(plugin.table, nullptr);
    const OutputPluginTable& t = *plugin.table;
    EXPECT_EQ(plugin.get(), plugin.table);  // the same static table every time
    EXPECT_EQ(t.flag, 0);
    ASSERT_NE(t.name, nullptr);
    EXPECT_EQ(std::string(t.name), kName);
    EXPECT_EQ(std::memcmp(t.name, kName, sizeof kName), 0);
    ASSERT_NE(t.information, nullptr);
    EXPECT_EQ(std::string(t.information), std::string(kName) + " " + TARVO_VERSION);

    std::vector<std::pair<std::string, std::string>> filters;
    for (const char* p = t.fileFilter; p != nullptr && *p != '\0' && filters.size() < 10;) {
        std::string description = p;
        p += description.size() + 1;
        std::string pattern = p;
        p += pattern.size() + 1;
        filters.emplace_back(description, pattern);
    }
    EXPECT_EQ(filters, (std::vector<std::pair<std::string, std::string>>{{"MP4 File (*.mp4)", "*.mp4"},
                                                                         {"AllFile (*.*)", "*.*"}}));

    EXPECT_EQ(t.init, nullptr);
    EXPECT_EQ(t.exit, nullptr);
    EXPECT_NE(t.output, nullptr);
    EXPECT_NE(t.config, nullptr);
    EXPECT_NE(t.configGet, nullptr);
    EXPECT_NE(t.configSet, nullptr);
    for (int32_t word : t.reserved) EXPECT_EQ(word, 0);
}

}  // namespace
