#include "plugin2/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/test_support.h"

namespace {

bool Same(const SettingData& a, const SettingData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

SettingData Custom() {
    SettingData settings = DefaultSettingData();
    settings.targetKbps = 2500;
    std::strcpy(settings.muxerPath, "C:\\\xE5\x8B\x95\xE7\x94\xBB \xF0\x9F\x8E\xAC\\MP4Box.exe");  // UTF-8 as typed
    return settings;
}

TEST(SettingsFile, LivesInAFolderOfItsOwnUnderAppData) {
    EXPECT_EQ(SettingsFolderPath("/home/u/AppData"), "/home/u/AppData/Tarvo");
    EXPECT_EQ(SettingsFilePath("/home/u/AppData/"), "/home/u/AppData/Tarvo/Tarvo_output.auo2.settings");
    EXPECT_EQ(SettingsFilePath(""), "");
}

TEST(SettingsFile, TakesVersion3AndUpgradesVersion2AndNothingElse) {
    test::TempDir dir;
    const std::string path = dir / "settings";
    SettingData custom = Custom();
    custom.gopLength = 300;
    custom.reserved[0] = 1;  // a later build's field, kept
    const std::string whole(reinterpret_cast<const char*>(&custom), sizeof custom);
    // As an older .auo2 wrote it: version 2's 820 bytes of the same choices.
    const SettingData plain = Custom();
    std::string v2(reinterpret_cast<const char*>(&plain), kSettingSize2);
    v2[0] = 2;
    std::string otherVersion = whole;
    otherVersion[0] = 2;
    std::string v2OtherVersion = v2;
    v2OtherVersion[0] = 3;
    struct Case {
        const char* name;
        std::string content;
        SettingData expected;
    } cases[] = {
        {"version 3", whole, custom},
        {"version 2, upgraded", v2, plain},
        {"empty", "", DefaultSettingData()},
        {"short", whole.substr(1), DefaultSettingData()},
        {"long", whole + '\0', DefaultSettingData()},
        {"version 2, long", v2 + '\0', DefaultSettingData()},
        {"version 2, short", v2.substr(1), DefaultSettingData()},
        {"1024 bytes of version 2", otherVersion, DefaultSettingData()},
        {"820 bytes of version 3", v2OtherVersion, DefaultSettingData()},
    };
    for (const Case& c : cases) {
        test::WriteFile(path, c.content);
        EXPECT_TRUE(Same(LoadSettingsFile(path), c.expected)) << c.name;
    }
    EXPECT_TRUE(Same(LoadSettingsFile(dir / "missing"), DefaultSettingData()));
    EXPECT_TRUE(Same(LoadSettingsFile(dir.path()), DefaultSettingData()));  // a folder
    EXPECT_TRUE(Same(LoadSettingsFile(""), DefaultSettingData()));
}

TEST(SettingsFile, SavesThroughAReplaceAndReadsBack) {
    test::TempDir dir;
    const std::string folder = dir / "Tarvo";
    const std::string path = folder + "/Tarvo_output.auo2.settings";
    ASSERT_TRUE(SaveSettingsFile(folder, path, Custom()));  // makes the folder
    EXPECT_EQ(std::filesystem::file_size(path), kSettingSize);  // always version 3
    EXPECT_TRUE(Same(LoadSettingsFile(path), Custom()));
    ASSERT_TRUE(SaveSettingsFile(folder, path, DefaultSettingData()));
    EXPECT_TRUE(Same(LoadSettingsFile(path), DefaultSettingData()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

    // The folder's parent is made too (the editor's Plugin folder); where
    // the folder cannot be made, nothing is written and the call says so.
    EXPECT_TRUE(SaveSettingsFile(dir / "Plugin/Tarvo", dir / "Plugin/Tarvo/f", Custom()));
    EXPECT_FALSE(SaveSettingsFile(dir / "no/such/folder", dir / "no/such/folder/f", Custom()));
    EXPECT_FALSE(SaveSettingsFile("", path, Custom()));
}

TEST(SettingsFile, TheEditorsFolderWhenItNamesOne) {
    EXPECT_EQ(EditorSettingsFilePath("/e/data"), "/e/data/Plugin/Tarvo/Tarvo_output.auo2.settings");
    const SettingsPlace editor = ChooseSettingsPlace("/e/data/", "/u/AppData");
    EXPECT_EQ(editor.folder, "/e/data/Plugin/Tarvo");
    EXPECT_EQ(editor.file, "/e/data/Plugin/Tarvo/Tarvo_output.auo2.settings");
    EXPECT_EQ(editor.oldFile, "/u/AppData/Tarvo/Tarvo_output.auo2.settings");
    const SettingsPlace older = ChooseSettingsPlace("", "/u/AppData");
    EXPECT_EQ(older.file, "/u/AppData/Tarvo/Tarvo_output.auo2.settings");
    EXPECT_EQ(older.oldFile, "");
}

// The old file is taken over once, copied as version 3, and left as it was.
TEST(SettingsFile, TakesTheOldFileOverOnce) {
    const SettingData custom = Custom();
    const std::string whole(reinterpret_cast<const char*>(&custom), sizeof custom);
    SettingData other = DefaultSettingData();
    other.maxKbps = 4321;
    const std::string own(reinterpret_cast<const char*>(&other), sizeof other);
    struct Case {
        const char* name;
        std::optional<std::string> oldContent;  // none: no old file
        std::optional<std::string> newContent;
        SettingsSource source;
        SettingData expected;
    } cases[] = {
        {"only the old file", whole, {}, SettingsSource::kTakenOver, custom},
        {"both", whole, own, SettingsSource::kFile, other},
        {"neither", {}, {}, SettingsSource::kDefaults, DefaultSettingData()},
        {"an old file without a record", "junk", {}, SettingsSource::kDefaults, DefaultSettingData()},
        {"a new file without a record", whole, "junk", SettingsSource::kDefaults, DefaultSettingData()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const SettingsPlace place = ChooseSettingsPlace(dir / "editor", dir / "user");
        std::filesystem::create_directories(dir / "user/Tarvo");
        // The editor's folder exists; its Plugin folder is made when needed.
        std::filesystem::create_directories(dir / "editor");
        if (c.oldContent) test::WriteFile(place.oldFile, *c.oldContent);
        if (c.newContent) {
            std::filesystem::create_directories(place.folder);
            test::WriteFile(place.file, *c.newContent);
        }
        SettingsSource source;
        EXPECT_TRUE(Same(LoadSettingsPlace(place, &source), c.expected));
        EXPECT_EQ(source, c.source);
        if (c.oldContent) {
            EXPECT_EQ(test::ReadFile(place.oldFile), *c.oldContent);
        }
        if (c.source == SettingsSource::kTakenOver) {
            EXPECT_EQ(test::ReadFile(place.file), whole);
            // The next session reads the new file.
            EXPECT_TRUE(Same(LoadSettingsPlace(place, &source), custom));
            EXPECT_EQ(source, SettingsSource::kFile);
        }
    }
}

TEST(SettingsFile, AnOldFileThatCannotBeCopiedStillServes) {
    test::TempDir dir;
    const SettingsPlace place = ChooseSettingsPlace(dir / "no/such/editor", dir / "user");
    std::filesystem::create_directories(dir / "user/Tarvo");
    const SettingData custom = Custom();
    test::WriteFile(place.oldFile, std::string(reinterpret_cast<const char*>(&custom), sizeof custom));
    SettingsSource source;
    EXPECT_TRUE(Same(LoadSettingsPlace(place, &source), custom));
    EXPECT_EQ(source, SettingsSource::kTakenOverUnsaved);
}

}  // namespace
