#include "ui/texts.h"

#include <cstring>
#include <set>

const char kConfigTextPattern[] =
    "{codec} {profile} {depth}{level} \xC2\xB7 {ratecontrol} \xC2\xB7 TU{usage} \xC2\xB7 "
    "AAC {aacprofile} {aackbps} kbps";

namespace {

// A new text goes here and, translated, into every language file
// (plugin2/Language/*.aul2); the tests check that each file has them all.
const char* const kTexts[] = {
    // The dialog: template 100's caption and labels, then the list rows
    // that are words (codec, profile and level names, numbers and AAC rates
    // are the same in every language).
    "Tarvo Plugin",
    "OK",
    "Cancel",
    "TestVideo",
    "Video",
    "Hardware",
    "Codec",
    "CodecProfile",
    "BitDepth",
    "CodecLevel",
    "TargetUsage",
    "TargetKbps",
    "RateControl",
    "MaxKbps",
    "Rate control",
    "QP I/P/B",
    "Quality",
    "LookAhead",
    "0: auto",
    "Accuracy",
    "Convergence",
    "GOP",
    "GopLength",
    "BFrames",
    "or auto",
    "IdrInterval",
    "Audio",
    "path neroAacEnc.exe",
    "BitRate",
    "path MP4Box.exe",
    "path TemporaryFolder",
    "auto",
    "QUALITY",
    "BALANCED",
    "SPEED",
    "8-bit",
    "10-bit",
    // The browsers and TestVideo's verdict (its other verdicts are the SDK's
    // names).
    "Select temorary folder.",
    "Executable File (*.exe)",
    "Success TestVideoParam",
    // Message boxes' first lines: the front end's, then the export's.
    "Cannot save the settings.",
    // OK refusing a value out of its range.
    "{field} {value} is outside {low} to {high}.",
    "{field} {value} is outside {low} to {high} (or 0, the runtime's choice).",
    "{field} {value} is outside {low} to {high} (or auto, the runtime's choice).",
    "{field} {value} is outside {low} to {high} for {codec}.",
    "Invalid encode parameter.",
    "No output file was given.",
    "Output path cannot be put on the MP4 muxer's command line (a double quote, or a backslash at its end): {path}",
    "Invalid frame rate: rate {rate}, scale {scale}",
    "Nothing to export: the job has no frames.",
    "Output path is a folder: {path}",
    "Cannot create a file in the output folder of {path}",
    "Temporary folder cannot be put on a command line (it holds a double quote): {path}",
    "No MP4 muxer is set in the settings.",
    "No AAC encoder is set in the settings.",
    "MP4 muxer not found: {path}",
    "AAC encoder not found: {path}",
    "MP4 muxer is not a program: {path}",
    "AAC encoder is not a program: {path}",
    "Invalid AAC bit rate: {kbps} kbps",
    "Audio rate {rate} Hz cannot be encoded as AAC ({rates})",
    "Audio format cannot be written as 16-bit PCM WAV: {format}",
    "Cannot create a temporary file in the system's temporary folder.",
    "Cannot create a temporary file in {path}",
    "Temporary folder cannot be put on the AAC encoder's command line: {path}",
    "Cannot write the temporary audio file {path}",
    "Cannot start the AAC encoder {path}",
    "The AAC encoder was not running: {path}",
    "AAC encoder failed (exit code {code}): {path}",
    "Cannot wait for the AAC encoder {path}",
    "AAC encoder wrote no file: {path}",
    "AAC encoder wrote no AAC file: {path}",
    "Video encoder could not be set up.",
    "Cannot create the temporary video file {path}",
    "Video encoding made no progress for 30 s: {call} kept answering {status}",
    "Video encoding could not start its worker thread.",
    "Video encoding failed: {status}",
    "The editor gave no picture for frame {frame}",
    "Cannot write the temporary video file {path} (error {code})",
    "Video encoding lost data: no memory to queue it for {path}",
    "Video encoding failed.",
    "The MP4 muxer was given no output path or no stream.",
    "Invalid frame rate for the MP4 muxer: {rate}",
    "Path cannot be put on the MP4 muxer's command line: {path}",
    "Cannot create a temporary file beside {path}",
    "Cannot start the MP4 muxer {path}",
    "Cannot wait for the MP4 muxer {path}",
    "MP4 muxer failed (exit code {code}): {path}",
    "MP4 muxer wrote no file at {output}: {path}",
    "MP4 muxer wrote no MP4 file at {output}: {path}",
    "Cannot move the MP4 file to {path}",
    "Export failed: {what}",
    "Export failed.",
    // The line ExEdit2 shows for the settings.
    kConfigTextPattern,
};

// A text cut into its fixed parts and placeholders: fixed[0], names[0],
// fixed[1], ..., fixed[n]; a "{" that starts no placeholder is fixed text.
struct Pieces {
    std::vector<std::string> fixed{std::string()};
    std::vector<std::string> names;
};

Pieces Split(const std::string& text) {
    Pieces pieces;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at + 1;
        while (text[at] == '{' && end < text.size() && text[end] >= 'a' && text[end] <= 'z')
            ++end;
        if (text[at] == '{' && end > at + 1 && end < text.size() && text[end] == '}') {
            pieces.names.push_back(text.substr(at + 1, end - at - 1));
            pieces.fixed.emplace_back();
            at = end + 1;
        } else {
            pieces.fixed.back() += text[at++];
        }
    }
    return pieces;
}

size_t FixedLength(const Pieces& pieces) {
    size_t length = 0;
    for (const std::string& fixed : pieces.fixed)
        length += fixed.size();
    return length;
}

// The values of `pattern`'s placeholders in `line`, or false when the line
// is not of that pattern. Each value ends at the first place where the next
// fixed part follows (the last fixed part ends the line).
bool Match(const Pieces& pattern, const std::string& line, std::vector<std::string>* values) {
    const std::vector<std::string>& fixed = pattern.fixed;
    if (line.compare(0, fixed[0].size(), fixed[0]) != 0 || line.size() < fixed[0].size()) return false;
    if (pattern.names.empty()) return line == fixed[0];
    size_t at = fixed[0].size();
    values->clear();
    for (size_t i = 1; i < fixed.size(); ++i) {
        size_t end;
        if (i + 1 == fixed.size()) {
            if (line.size() < at + fixed[i].size()) return false;
            end = line.size() - fixed[i].size();
            if (line.compare(end, std::string::npos, fixed[i]) != 0) return false;
        } else {
            end = fixed[i].empty() ? at : line.find(fixed[i], at);
            if (end == std::string::npos) return false;
        }
        values->push_back(line.substr(at, end - at));
        at = end + fixed[i].size();
    }
    return true;
}

std::string Rebuild(const Pieces& pieces, const std::vector<std::string>& names,
                    const std::vector<std::string>& values) {
    std::string text = pieces.fixed[0];
    for (size_t i = 0; i < pieces.names.size(); ++i) {
        for (size_t j = 0; j < names.size(); ++j) {
            if (names[j] == pieces.names[i]) text += values[j];
        }
        text += pieces.fixed[i + 1];
    }
    return text;
}

}  // namespace

std::span<const char* const> TranslatableTexts() { return kTexts; }

std::vector<std::string> Placeholders(const std::string& text) { return Split(text).names; }

void TextTranslation::Take(const char* english, const std::string& translated) {
    if (translated.empty() || translated == english) return;
    std::vector<std::string> asked = Placeholders(english);
    std::vector<std::string> given = Placeholders(translated);
    if (std::set<std::string>(asked.begin(), asked.end()) != std::set<std::string>(given.begin(), given.end()) ||
        asked.size() != given.size()) {
        return;
    }
    translated_[english] = translated;
}

const char* TextTranslation::Text(const char* english) const {
    const auto found = translated_.find(english);
    return found != translated_.end() ? found->second.c_str() : english;
}

std::string TextTranslation::Message(const std::string& text) const {
    if (translated_.empty()) return text;
    const size_t lineEnd = text.find('\n');
    const std::string first = text.substr(0, lineEnd);
    const std::string rest = lineEnd == std::string::npos ? std::string() : text.substr(lineEnd);
    // The best match among all texts, translated or not: a less fitting
    // translated one must not take a line its own text does not describe.
    const char* best = nullptr;
    Pieces bestPattern;
    std::vector<std::string> bestValues;
    size_t bestLength = 0;
    for (const char* english : kTexts) {
        Pieces pattern = Split(english);
        std::vector<std::string> values;
        const size_t length = FixedLength(pattern);
        if ((best == nullptr || length > bestLength) && Match(pattern, first, &values)) {
            best = english;
            bestPattern = std::move(pattern);
            bestValues = std::move(values);
            bestLength = length;
        }
    }
    if (best == nullptr) return text;
    return Rebuild(Split(Text(best)), bestPattern.names, bestValues) + rest;
}

std::string TextTranslation::Fill(const char* pattern,
                                  std::initializer_list<std::pair<const char*, std::string>> values) const {
    std::vector<std::string> names;
    std::vector<std::string> texts;
    for (const auto& [name, value] : values) {
        names.push_back(name);
        texts.push_back(value);
    }
    return Rebuild(Split(Text(pattern)), names, texts);
}

TextTranslation& ShownTexts() {
    static TextTranslation texts;
    return texts;
}
