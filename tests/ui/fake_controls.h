// A control set without a window: lists, edits and the system boxes as plain
// data, behaving as the Win32 controls do where the dialog logic can tell.
#pragma once
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_controls.h"

class FakeControls : public IDialogControls {
public:
    struct List {
        std::vector<std::string> rows;
        int selected = -1;
    };
    struct Edit {
        std::string text;
        int limit = 30000;  // an edit's default typing limit
        bool enabled = true;
    };

    std::map<int, List> lists;
    std::map<int, Edit> edits;
    std::optional<int> endCode;
    std::vector<std::string> fileBrowses;    // the program each file browser was opened for
    std::vector<std::string> folderBrowses;  // the title of each folder browser
    std::deque<std::optional<std::string>> browseAnswers;  // nullopt: the user cancelled
    std::vector<std::string> messages;

    // What the user does.
    void Type(int id, const std::string& typed) {
        Edit& edit = edits[id];
        if (!edit.enabled) return;
        for (char c : typed) {
            if (static_cast<int>(edit.text.size()) >= edit.limit) break;
            edit.text += c;
        }
    }
    // A greyed edit takes no typing.
    void Clear(int id) {
        if (edits[id].enabled) edits[id].text.clear();
    }
    void Choose(int id, const std::string& label) {
        List& list = lists[id];
        for (size_t row = 0; row < list.rows.size(); ++row) {
            if (list.rows[row] == label) list.selected = static_cast<int>(row);
        }
    }
    std::vector<std::string> Rows(int id) { return lists[id].rows; }
    std::string Selected(int id) {
        const List& list = lists[id];
        return list.selected < 0 ? std::string() : list.rows.at(list.selected);
    }
    std::string Text(int id) { return edits[id].text; }

    void AddString(int id, const char* label) override { lists[id].rows.emplace_back(label); }
    void ResetContent(int id) override { lists[id] = List{}; }
    void SetCurSel(int id, int row) override {
        List& list = lists[id];
        list.selected = row >= 0 && row < static_cast<int>(list.rows.size()) ? row : -1;
    }
    int GetCurSel(int id) override { return lists[id].selected; }
    void LimitText(int id, int length) override { edits[id].limit = length; }
    void SetText(int id, const char* text) override { edits[id].text = text; }
    void GetText(int id, char* buffer, size_t size) override {
        const std::string& text = edits[id].text;
        size_t length = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), length);
        buffer[length] = '\0';
    }
    void EnableControl(int id, bool enabled) override { edits[id].enabled = enabled; }
    void EndDialog(int code) override { endCode = code; }
    bool BrowseForFile(const char* program, char (&path)[kDialogTextSize]) override {
        fileBrowses.emplace_back(program);
        return Answer(path);
    }
    bool BrowseForFolder(const char* title, char (&path)[kDialogTextSize]) override {
        folderBrowses.emplace_back(title);
        return Answer(path);
    }
    void ShowMessage(const char* text) override { messages.emplace_back(text); }

private:
    bool Answer(char (&path)[kDialogTextSize]) {
        if (browseAnswers.empty()) return false;
        std::optional<std::string> answer = browseAnswers.front();
        browseAnswers.pop_front();
        if (!answer || answer->size() >= kDialogTextSize) return false;
        std::memcpy(path, answer->c_str(), answer->size() + 1);
        return true;
    }
};
