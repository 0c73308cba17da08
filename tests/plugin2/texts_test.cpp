// The translatable texts, their matching and filling, and the language files
// shipped beside the .auo2: every text has an entry, no entry is stray.
#include "ui/texts.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "core/temp_name.h"
#include "encode/codec.h"
#include "platform/test_support.h"
#include "plugin2/config_text.h"
#include "ui/choice_tables.h"

namespace {

std::set<std::string> Catalogue() {
    std::set<std::string> texts;
    for (const char* text : TranslatableTexts())
        EXPECT_TRUE(texts.insert(text).second) << "twice: " << text;
    return texts;
}

// A section's entries, as the editor reads a language file; `problem` names
// the first line that is not one.
std::map<std::string, std::string> ReadLanguageFile(const std::string& content, std::string* section,
                                                    std::string* problem) {
    std::map<std::string, std::string> entries;
    std::istringstream in(content);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            if (!section->empty()) *problem = "a second section at line " + std::to_string(number);
            *section = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t equals = line.find('=');
        if (section->empty() || equals == std::string::npos || equals == 0 || equals + 1 == line.size()) {
            *problem = "line " + std::to_string(number) + ": " + line;
            return entries;
        }
        if (!entries.emplace(line.substr(0, equals), line.substr(equals + 1)).second) {
            *problem = "key twice at line " + std::to_string(number);
        }
    }
    return entries;
}

bool ValidUtf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const size_t length = lead < 0x80                   ? 1
                              : lead >= 0xC2 && lead < 0xE0 ? 2
                              : lead >= 0xE0 && lead < 0xF0 ? 3
                              : lead >= 0xF0 && lead < 0xF5 ? 4
                                                            : 0;
        if (length == 0 || at + length > text.size()) return false;
        for (size_t i = 1; i < length; ++i) {
            if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
        }
        at += length;
    }
    return true;
}

TEST(LanguageFiles, HoldEveryTextAndNoOther) {
    const std::set<std::string> catalogue = Catalogue();
    for (const char* name : {"Japanese.Tarvo_output.aul2"}) {
        SCOPED_TRACE(name);
        const std::string content = test::ReadFile(std::string(TARVO_SOURCE_DIR "/plugin2/Language/") + name);
        ASSERT_FALSE(content.empty());
        EXPECT_TRUE(ValidUtf8(content));
        EXPECT_NE(content.rfind("\xEF\xBB\xBF", 0), 0u) << "no byte-order mark";
        std::string section, problem;
        const std::map<std::string, std::string> entries = ReadLanguageFile(content, &section, &problem);
        EXPECT_EQ(problem, "");
        EXPECT_EQ(section, "Tarvo_output.auo2");
        for (const std::string& text : catalogue) {
            EXPECT_EQ(entries.count(text), 1u) << "missing: " << text;
            // The file's key ends at its first '=': such a text has no key.
            EXPECT_EQ(text.find('='), std::string::npos) << "a key cannot hold '=': " << text;
        }
        for (const auto& [key, value] : entries) {
            EXPECT_EQ(catalogue.count(key), 1u) << "stray: " << key;
            // A translation that names other placeholders would be refused.
            std::vector<std::string> asked = Placeholders(key), given = Placeholders(value);
            std::sort(asked.begin(), asked.end());
            std::sort(given.begin(), given.end());
            EXPECT_EQ(asked, given) << key;
        }
    }
}

// Each caption, label and button text of template 100 that holds a word.
TEST(LanguageFiles, CoverTheDialogTemplate) {
    const std::set<std::string> catalogue = Catalogue();
    const std::string rc = test::ReadFile(TARVO_SOURCE_DIR "/ui/settings_dialog.rc");
    const std::regex text(R"re(^\s*(?:CAPTION|CONTROL)\s+"([^"]*)")re", std::regex::multiline);
    int found = 0;
    for (auto match = std::sregex_iterator(rc.begin(), rc.end(), text); match != std::sregex_iterator(); ++match) {
        const std::string label = (*match)[1];
        if (std::regex_search(label, std::regex("[A-Za-z]"))) {
            ++found;
            EXPECT_EQ(catalogue.count(label), 1u) << "untranslatable label: " << label;
        }
    }
    EXPECT_GT(found, 15);
    // The list rows that are words.
    std::vector<const ChoiceRow*> lists{kTargetUsageChoices, BitDepthChoices(HevcCodec())};
    for (const CodecInfo* codec : Codecs())
        lists.push_back(CodecLevelChoices(*codec));
    for (const ChoiceRow* rows : lists) {
        for (const ChoiceRow* row = rows; row->label != nullptr; ++row) {
            if (std::regex_match(row->label, std::regex("[A-Za-z-]+|\\d+-bit"))) {
                EXPECT_EQ(catalogue.count(row->label), 1u) << row->label;
            }
        }
    }
}

TextTranslation Bracketed() {
    TextTranslation texts;
    texts.Load([](const char* english) { return "[JA]" + std::string(english); });
    return texts;
}

TEST(TextTranslation, MessagesKeepTheirVariablePartsAndCause) {
    const TextTranslation texts = Bracketed();
    TextTranslation reordered;
    reordered.Load([](const std::string& english) -> std::string {
        if (english == "MP4 muxer failed (exit code {code}): {path}") return "{path} / {code}";
        if (english == "Cannot move the MP4 file to {path}") return "lost the placeholder";
        if (english == "Invalid encode parameter.") return "{path} added";
        return english;
    });
    struct Case {
        const TextTranslation& texts;
        std::string shown, expected;
    } cases[] = {
        {texts, "Invalid encode parameter.\nMFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2",
         "[JA]Invalid encode parameter.\nMFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2"},
        {texts, TempFileFailureText("C:\\t\\"), "[JA]Cannot create a temporary file in C:\\t\\"},
        // The fixed text wins over the pattern it also fits.
        {texts, TempFileFailureText(""), "[JA]Cannot create a temporary file in the system's temporary folder."},
        {texts, "MP4 muxer wrote no MP4 file at C:\\a b\\x.mp4: C:\\m\\MP4Box.exe",
         "[JA]MP4 muxer wrote no MP4 file at C:\\a b\\x.mp4: C:\\m\\MP4Box.exe"},
        {texts, "Video encoding failed: MFX_ERR_DEVICE_LOST", "[JA]Video encoding failed: MFX_ERR_DEVICE_LOST"},
        {texts, "Video encoding failed.", "[JA]Video encoding failed."},
        {texts, "MFXInit: MFX_ERR_UNSUPPORTED\nmore", "MFXInit: MFX_ERR_UNSUPPORTED\nmore"},  // no such text
        {texts, "", ""},
        {reordered, "MP4 muxer failed (exit code 0xC0000005): C:\\m.exe", "C:\\m.exe / 0xC0000005"},
        // A translation that drops or adds a placeholder is not taken.
        {reordered, "Cannot move the MP4 file to D:\\o.mp4", "Cannot move the MP4 file to D:\\o.mp4"},
        {reordered, "Invalid encode parameter.", "Invalid encode parameter."},
        {TextTranslation(), "Video encoding failed.", "Video encoding failed."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.texts.Message(c.shown), c.expected) << c.shown;
}

TEST(TextTranslation, ConfigTextFollowsItsPatternAndWords) {
    SettingData hevc10 = DefaultSettingData();
    hevc10.codec = MFX_CODEC_HEVC;
    hevc10.codecProfile = MFX_PROFILE_HEVC_MAIN;
    hevc10.bitDepth = 10;
    hevc10.codecLevel = 0;
    EXPECT_EQ(ConfigText(hevc10), ConfigText(hevc10, TextTranslation()));
    TextTranslation japanese;
    japanese.Load([](const std::string& english) -> std::string {
        if (english == "auto") return "\xE8\x87\xAA\xE5\x8B\x95";                  // 自動
        if (english == "10-bit") return "10\xE3\x83\x93\xE3\x83\x83\xE3\x83\x88";  // 10ビット
        if (english == kConfigTextPattern)
            return "{aackbps}/{aacprofile}/{usage}/{ratecontrol}/{level}/{depth}/{profile}/{codec}";
        return english;
    });
    EXPECT_EQ(ConfigText(hevc10, japanese),
              "96/HE/4/VBR 1400/1400 kbps/\xE8\x87\xAA\xE5\x8B\x95/10\xE3\x83\x93\xE3\x83\x83\xE3\x83\x88 /Main/HEVC");
    EXPECT_EQ(ConfigText(DefaultSettingData(), Bracketed()).rfind("[JA]H.264 Main 4 ", 0), 0u);
}

}  // namespace
