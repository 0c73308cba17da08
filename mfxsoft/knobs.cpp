#include "mfxsoft/knobs.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace mfxsoft {
namespace {

struct PointName {
    const char* name;
    FaultPoint point;
};

constexpr PointName kPointNames[] = {
    {"init", FaultPoint::kInit},          {"set_allocator", FaultPoint::kSetAllocator},
    {"vpp_query", FaultPoint::kVppQuery}, {"enc_query", FaultPoint::kEncQuery},
    {"vpp_init", FaultPoint::kVppInit},   {"enc_init", FaultPoint::kEncInit},
    {"vpp_run", FaultPoint::kVppRun},     {"vpp_sync", FaultPoint::kVppSync},
    {"enc_run", FaultPoint::kEncRun},     {"enc_sync", FaultPoint::kEncSync},
    {"enc_getparam", FaultPoint::kEncGetParam}, 
    {"vpp_signal", FaultPoint::kVppSignal}, {"enc_signal", FaultPoint::kEncSignal},
};

// Parses a whole decimal integer (optionally signed) into `out`.
bool ParseInt(const std::string& text, bool allowSign, long* out) {
    if (text.empty()) return false;
    size_t i = 0;
    bool negative = false;
    if (allowSign && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return false;
    long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
        if (value > 1000000000L) return false;
    }
    *out = negative ? -value : value;
    return true;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool ParseRule(const std::string& item, FaultRule* rule) {
    size_t eq = item.find('=');
    if (eq == std::string::npos) return false;
    std::string name = Trim(item.substr(0, eq));
    std::string rest = Trim(item.substr(eq + 1));
    bool known = false;
    for (const PointName& entry : kPointNames) {
        if (name == entry.name) {
            rule->point = entry.point;
            known = true;
        }
    }
    if (!known) return false;
    rule->call = 0;
    size_t at = rest.find('@');
    long status = 0;
    if (!ParseInt(Trim(rest.substr(0, at)), true, &status)) return false;
    if (at != std::string::npos) {
        long call = 0;
        if (!ParseInt(Trim(rest.substr(at + 1)), false, &call) || call < 1) return false;
        rule->call = static_cast<unsigned>(call);
    }
    rule->status = static_cast<mfxStatus>(status);
    return true;
}

// A knob naming one of a few choices: unset or empty keeps `*value`; an
// unknown name clears `*valid`.
template <typename Kind>
void ReadChoice(const char* variable, std::initializer_list<std::pair<const char*, Kind>> choices, Kind* value,
                bool* valid) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') return;
    const std::string name = Trim(text);
    for (const auto& [choice, kind] : choices) {
        if (name == choice) {
            *value = kind;
            return;
        }
    }
    *valid = false;
}

}  // namespace

bool ParseFaults(const std::string& text, std::vector<FaultRule>* rules) {
    rules->clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!item.empty()) {
            FaultRule rule{};
            if (!ParseRule(item, &rule)) {
                rules->clear();
                return false;
            }
            rules->push_back(rule);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

mfxStatus FaultFor(const std::vector<FaultRule>& rules, FaultPoint point, unsigned call) {
    for (const FaultRule& rule : rules) {
        if (rule.point == point && (rule.call == 0 || rule.call == call)) return rule.status;
    }
    return MFX_ERR_NONE;
}

Knobs ReadKnobs() {
    Knobs knobs;
    if (const char* adapters = std::getenv("MFXSOFT_ADAPTERS"); adapters != nullptr && *adapters != '\0') {
        long count = 0;
        if (ParseInt(Trim(adapters), false, &count) && count >= 1 && count <= 4) {
            knobs.adapters = static_cast<int>(count);
        } else {
            knobs.valid = false;
        }
    }
    ReadChoice("MFXSOFT_ENCODER", {{"null", EncoderKind::kNull}, {"x264", EncoderKind::kX264}}, &knobs.encoder,
               &knobs.valid);
    ReadChoice("MFXSOFT_RUNTIME", {{"msdk", RuntimeKind::kMsdk}, {"vpl", RuntimeKind::kVpl}}, &knobs.runtime,
               &knobs.valid);
#ifndef MFXSOFT_HAVE_X264
    // Without libx264 (the Windows build) every session encodes with the null encoder.
    knobs.encoder = EncoderKind::kNull;
#endif
    if (const char* faults = std::getenv("MFXSOFT_FAULTS"); faults != nullptr) {
        if (!ParseFaults(faults, &knobs.faults)) knobs.valid = false;
    }
    return knobs;
}

}  // namespace mfxsoft
