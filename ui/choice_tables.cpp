#include "ui/choice_tables.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "encode/codec.h"
#include "encode/rate_control.h"

const ChoiceRow kHardwareChoices[] = {
    {"1", 2}, {"2", 5}, {"3", 6}, {"4", 7},  // MFX_IMPL_HARDWARE .. MFX_IMPL_HARDWARE4
    {nullptr, 0},
};

const ChoiceRow kTargetUsageChoices[] = {
    {"QUALITY", 1}, {"BALANCED", 4}, {"SPEED", 7},
    {nullptr, 0},
};

const AudioChoiceRow kAudioBitRateChoices[] = {
    {"LC 320[kbps]", 1, 320},  {"LC 256[kbps]", 1, 256},  {"LC 192[kbps]", 1, 192},
    {"LC 160[kbps]", 1, 160},  {"LC 144[kbps]", 1, 144},  {"LC 128[kbps]", 1, 128},
    {"LC 112[kbps]", 1, 112},  {"LC 96[kbps]", 1, 96},    {"LC 80[kbps]", 1, 80},
    {"LC 64[kbps]", 1, 64},    {"HE 96[kbps]", 2, 96},    {"HE 64[kbps]", 2, 64},
    {"HE 56[kbps]", 2, 56},    {"HE 48[kbps]", 2, 48},    {"HE 40[kbps]", 2, 40},
    {"HE 32[kbps]", 2, 32},    {"HEv2 48[kbps]", 3, 48},  {"HEv2 40[kbps]", 3, 40},
    {"HEv2 32[kbps]", 3, 32},  {"HEv2 24[kbps]", 3, 24},  {"HEv2 20[kbps]", 3, 20},
    {"HEv2 16[kbps]", 3, 16},
    {nullptr, 0, 0},
};

namespace {

// The rows of one list and the texts their labels point at.
class CodecRows {
public:
    void Add(std::string label, int32_t value) {
        labels.push_back(std::move(label));
        values.push_back(value);
    }
    // Points the rows at the labels once no label moves any more.
    void Finish() {
        for (size_t i = 0; i < labels.size(); ++i) rows.push_back({labels[i].c_str(), values[i]});
        rows.push_back({nullptr, 0});
    }
    const ChoiceRow* Rows() const { return rows.data(); }

private:
    std::vector<std::string> labels;
    std::vector<int32_t> values;
    std::vector<ChoiceRow> rows;
};

// The dialog lists H.264's levels up to 5.1, as it always has; tarvo-host's
// settings take 5.2 as well.
constexpr const char* kLastListedAvcLevel = "5.1";

const ChoiceRow kEightBit[] = {{"8-bit", 8}, {nullptr, 0}};
const ChoiceRow kBothDepths[] = {{"8-bit", 8}, {"10-bit", 10}, {nullptr, 0}};

// One list's rows for every codec, in the order of Codecs(), built in place
// so that no label moves after its row points at it.
class PerCodecRows {
public:
    explicit PerCodecRows(void (*fill)(const CodecInfo&, CodecRows&)) : lists(Codecs().size()) {
        for (size_t i = 0; i < lists.size(); ++i) {
            fill(*Codecs()[i], lists[i]);
            lists[i].Finish();
        }
    }
    const ChoiceRow* For(const CodecInfo& codec) const {
        for (size_t i = 0; i < lists.size(); ++i) {
            if (Codecs()[i] == &codec) return lists[i].Rows();
        }
        return lists.front().Rows();
    }

private:
    std::vector<CodecRows> lists;
};

}  // namespace

const ChoiceRow* CodecChoices() {
    static const struct CodecList : CodecRows {
        CodecList() {
            for (const CodecInfo* codec : Codecs()) Add(codec->name, static_cast<int32_t>(codec->id));
            Finish();
        }
    } list;
    return list.Rows();
}

const ChoiceRow* BitDepthChoices(const CodecInfo& codec) { return codec.tenBit ? kBothDepths : kEightBit; }

const ChoiceRow* CodecProfileChoices(const CodecInfo& codec) {
    static const PerCodecRows lists([](const CodecInfo& codec, CodecRows& list) {
        for (const CodecProfile& profile : codec.profiles) {
            std::string label = profile.name;
            for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            list.Add(std::move(label), profile.value);
        }
    });
    return lists.For(codec);
}

const ChoiceRow* CodecLevelChoices(const CodecInfo& codec) {
    static const PerCodecRows lists([](const CodecInfo& codec, CodecRows& list) {
        list.Add("auto", MFX_LEVEL_UNKNOWN);
        for (const CodecLevel& level : codec.levels) {
            list.Add(level.name, level.value);
            if (&codec == &AvcCodec() && std::strcmp(level.name, kLastListedAvcLevel) == 0) break;
        }
    });
    return lists.For(codec);
}

const ChoiceRow* RateControlChoices(const CodecInfo& codec) {
    static const PerCodecRows lists([](const CodecInfo& codec, CodecRows& list) {
        for (mfxU16 mode : codec.rateControls) list.Add(RateControlName(mode), mode);
    });
    return lists.For(codec);
}
