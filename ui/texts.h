// The texts the user reads in the plug-in's windows, and their translation
// when the editor gives one (AviUtl ExEdit2 does; AviUtl does not, and the
// texts then stay as written).
//
// Every translatable text is listed in TranslatableTexts(), the one place a
// language file's keys come from. A text may hold placeholders, "{name}"
// (lower-case letters): in a message's first line they stand for its variable
// parts (paths, numbers, the runtime's answers), which keep as they are; a
// translation names the same placeholders, in any order.
#pragma once
#include <initializer_list>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// The English texts, each once: the dialog's caption, labels and buttons
// (settings_dialog.rc), the list rows that are words, the browsers' titles
// and filter, the message boxes' first lines, the config text's pattern.
std::span<const char* const> TranslatableTexts();

// The config text's pattern (one of TranslatableTexts()).
extern const char kConfigTextPattern[];

// The texts in the user's language. Filled once, before the editor calls any
// entry (the front end's InitializeConfig), and only read afterwards; host
// thread.
class TextTranslation {
public:
    // Takes `translate`'s answer for every translatable text. An answer whose
    // placeholders are not the English text's (one missing, one added) is
    // not taken: that text stays English rather than losing a path or number.
    template <typename Translate>
    void Load(Translate&& translate) {
        translated_.clear();
        for (const char* english : TranslatableTexts())
            Take(english, translate(english));
    }
    void Clear() { translated_.clear(); }

    // The translation of `english`, or `english` itself.
    const char* Text(const char* english) const;
    // A message box's text in the user's language: the first line matched
    // against the translatable texts (the one with the most fixed characters
    // wins) and rebuilt from the translation with the same variable parts;
    // the lines after it (the cause) and a first line no text matches stay as
    // they are.
    std::string Message(const std::string& text) const;
    // `pattern` translated, with each "{name}" replaced by its value.
    std::string Fill(const char* pattern, std::initializer_list<std::pair<const char*, std::string>> values) const;

private:
    void Take(const char* english, const std::string& translated);
    std::unordered_map<std::string, std::string> translated_;
};

// The process's (the DLL's) translation: empty, i.e. English, until a front
// end loads it.
TextTranslation& ShownTexts();

// The "{name}" placeholders of `text`, in order (for checks of a language file).
std::vector<std::string> Placeholders(const std::string& text);
