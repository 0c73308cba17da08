#include "ui/dialog_fltk.h"

#include <X11/Xlib.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "ui/dialog_setting.h"

namespace fltk_dialog {
namespace {

int Px(int units) { return units * kPixelsPerUnit; }

// A Win32 push button: Enter presses it while it has the focus.
class PushButton : public Fl_Button {
public:
    PushButton(int x, int y, int w, int h, const char* label) : Fl_Button(x, y, w, h, label) {}
    int handle(int event) override {
        if (event == FL_KEYBOARD && Fl::focus() == this &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            do_callback();
            return 1;
        }
        return Fl_Button::handle(event);
    }
};

// Runs a window until it is hidden. The window's close box and Escape do
// nothing (Win32: no system menu, no IDCANCEL handler).
// `focus` starts with the keyboard focus, as the first tab stop does on Win32.
void RunModal(Fl_Window& window, Fl_Widget* focus) {
    window.callback([](Fl_Widget*, void*) {});
    window.set_modal();
    focus->take_focus();
    window.show();
    while (window.shown()) Fl::wait();
}

void ShowMessageBox(const char* text) {
    fl_font(FL_HELVETICA, kFontSize);
    int textW = 0, textH = 0;
    fl_measure(text, textW, textH, 0);
    int w = std::max(textW + 40, 160);
    int h = textH + 70;
    Fl_Window box(w, h, "");
    box.user_data(reinterpret_cast<void*>(kMessageBoxTag));
    auto* message = new Fl_Box(20, 15, w - 40, textH + 10);
    message->copy_label(text);
    message->labelsize(kFontSize);
    message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    auto* ok = new PushButton((w - 80) / 2, h - 35, 80, 25, "OK");
    ok->labelsize(kFontSize);
    ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
    box.end();
    box.position((Fl::w() - w) / 2, (Fl::h() - h) / 2);
    RunModal(box, ok);
}

// Escapes the characters Fl_Menu_::add reads as menu syntax.
std::string MenuLabel(const char* label) {
    std::string escaped;
    for (const char* c = label; *c != '\0'; ++c) {
        if (*c == '/' || *c == '\\' || *c == '&' || *c == '_') escaped += '\\';
        escaped += *c;
    }
    return escaped;
}

class FltkControls : public IDialogControls {
public:
    FltkControls(Fl_Window& window, CDialogSetting& dialog) : window(window), dialog(dialog) {}

    std::map<int, Fl_Choice*> lists;
    std::map<int, Fl_Input*> edits;
    int endCode = 0;

    void Clicked(int id) { dialog.OnCommand(id); }
    void Chosen(int id) { dialog.OnSelectionChange(id); }

    void AddString(int id, const char* label) override {
        lists.at(id)->add(MenuLabel(label).c_str(), 0, nullptr, nullptr, 0);
    }
    void ResetContent(int id) override { lists.at(id)->clear(); }
    void SetCurSel(int id, int row) override {
        Fl_Choice* list = lists.at(id);
        list->value(row >= 0 && row < list->size() - 1 ? row : -1);
    }
    int GetCurSel(int id) override { return lists.at(id)->value(); }
    void LimitText(int id, int length) override { edits.at(id)->maximum_size(length); }
    void EnableControl(int id, bool enabled) override {
        Fl_Widget* control = edits.count(id) != 0 ? static_cast<Fl_Widget*>(edits.at(id)) : lists.at(id);
        if (enabled) {
            control->activate();
        } else {
            control->deactivate();
        }
    }
    void SetText(int id, const char* text) override { edits.at(id)->value(text); }
    void GetText(int id, char* buffer, size_t size) override {
        const char* text = edits.at(id)->value();
        size_t length = strnlen(text, size - 1);
        std::memcpy(buffer, text, length);
        buffer[length] = '\0';
    }
    void EndDialog(int code) override {
        endCode = code;
        window.hide();
    }
    bool BrowseForFile(const char* program, char (&path)[kDialogTextSize]) override {
        Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
        std::string filter = std::string(program) + "\t" + program + "\nExecutable File (*.exe)\t*.exe";
        chooser.filter(filter.c_str());
        chooser.filter_value(0);
        chooser.preset_file(program);
        return chooser.show() == 0 && CopyPath(chooser.filename(), path);
    }
    bool BrowseForFolder(const char* title, char (&path)[kDialogTextSize]) override {
        Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
        chooser.title(title);
        return chooser.show() == 0 && CopyPath(chooser.filename(), path);
    }
    void ShowMessage(const char* text) override { ShowMessageBox(text); }

private:
    // A path that does not fit is refused rather than cut into another path.
    static bool CopyPath(const char* chosen, char (&path)[kDialogTextSize]) {
        if (chosen == nullptr || chosen[0] == '\0') return false;
        size_t length = std::strlen(chosen);
        if (length >= kDialogTextSize) return false;
        std::memcpy(path, chosen, length + 1);
        return true;
    }

    Fl_Window& window;
    CDialogSetting& dialog;
};

// Buttons and lists carry their id; the window carries the control set.
FltkControls& ControlsOf(Fl_Widget* widget) { return *static_cast<FltkControls*>(widget->window()->user_data()); }
int IdOf(void* id) { return static_cast<int>(reinterpret_cast<long>(id)); }

void ButtonClicked(Fl_Widget* button, void* id) { ControlsOf(button).Clicked(IdOf(id)); }

// The user picked another row (value() set by the program calls nothing).
void ListChosen(Fl_Widget* list, void* id) { ControlsOf(list).Chosen(IdOf(id)); }

void Tag(Fl_Widget* widget, int id) {
    widget->labelsize(kFontSize);
    widget->user_data(reinterpret_cast<void*>(static_cast<long>(id)));
}

// The controls in template order, which is the tab order.
void BuildControls(FltkControls& controls) {
    using namespace dialog_id;
    auto button = [](int id, const char* text, int x, int y, int w, int h) {
        auto* b = new PushButton(Px(x), Px(y), Px(w), Px(h), text);
        Tag(b, id);
        b->callback(ButtonClicked);
    };
    auto list = [&controls](int id, int x, int y, int w) {
        auto* c = new Fl_Choice(Px(x), Px(y), Px(w), Px(12));
        Tag(c, id);
        c->textsize(kFontSize);
        c->callback(ListChosen);
        c->when(FL_WHEN_CHANGED);
        controls.lists[id] = c;
    };
    auto edit = [&controls](int id, int x, int y, int w) {
        auto* e = new Fl_Input(Px(x), Px(y), Px(w), Px(12));
        Tag(e, id);
        e->textsize(kFontSize);
        e->when(FL_WHEN_NEVER);
        controls.edits[id] = e;
    };
    auto label = [](const char* text, int x, int y, int w, int h) {
        auto* l = new Fl_Box(FL_NO_BOX, Px(x), Px(y), Px(w), Px(h), text);
        Tag(l, -1);
        l->labelsize(kFontSize - 1);
        l->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    };
    auto groupBox = [](const char* text, int x, int y, int w, int h) {
        auto* g = new Fl_Box(FL_ENGRAVED_FRAME, Px(x), Px(y), Px(w), Px(h), text);
        Tag(g, -1);
        g->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
    };
    button(kOk, "OK", 156, 228, 54, 12);
    list(kHardware, 54, 12, 54);
    list(kCodec, 168, 12, 54);
    list(kCodecProfile, 54, 30, 54);
    list(kBitDepth, 168, 30, 54);
    list(kCodecLevel, 54, 48, 54);
    list(kTargetUsage, 168, 48, 54);
    edit(kTargetKbps, 54, 66, 48);
    list(kRateControl, 168, 66, 54);
    edit(kMaxKbps, 54, 84, 48);
    edit(kQpI, 312, 12, 24);
    edit(kQpP, 339, 12, 24);
    edit(kQpB, 366, 12, 24);
    edit(kQuality, 312, 30, 24);
    edit(kLookAhead, 312, 48, 30);
    edit(kAvbrAccuracy, 312, 66, 30);
    edit(kAvbrConvergence, 312, 84, 30);
    edit(kGopLength, 312, 114, 30);
    edit(kBFrames, 312, 130, 30);
    edit(kIdrInterval, 312, 146, 30);
    edit(kAacEncoderPath, 6, 126, 216);
    button(kBrowseAacEncoder, "...", 228, 126, 24, 12);
    list(kAudioBitRate, 54, 144, 54);
    edit(kMuxerPath, 6, 180, 216);
    button(kBrowseMuxer, "...", 228, 180, 24, 12);
    edit(kTempFolder, 6, 210, 216);
    button(kBrowseTempFolder, "...", 228, 210, 24, 12);
    button(kCancel, "Cancel", 6, 228, 54, 12);
    button(kTestVideo, "TestVideo", 96, 228, 54, 12);
    groupBox("Video", 0, 0, 258, 102);
    label("Hardware", 6, 12, 42, 12);
    label("Codec", 120, 12, 42, 12);
    label("CodecProfile", 6, 30, 42, 12);
    label("BitDepth", 120, 30, 42, 12);
    label("CodecLevel", 6, 48, 42, 12);
    label("TargetUsage", 120, 48, 42, 12);
    label("TargetKbps", 6, 66, 42, 12);
    label("RateControl", 120, 66, 42, 12);
    label("MaxKbps", 6, 84, 42, 12);
    groupBox("Audio", 0, 102, 258, 60);
    label("path neroAacEnc.exe", 6, 114, 114, 12);
    label("BitRate", 6, 144, 42, 12);
    label("path MP4Box.exe", 6, 168, 114, 12);
    label("path TemporaryFolder", 6, 198, 114, 12);
    groupBox("Rate control", 262, 0, 138, 102);
    label("QP I/P/B", 268, 12, 42, 12);
    label("Quality", 268, 30, 42, 12);
    label("LookAhead", 268, 48, 42, 12);
    label("0: auto", 346, 48, 48, 12);
    label("Accuracy", 268, 66, 42, 12);
    label("0: auto", 346, 66, 48, 12);
    label("Convergence", 268, 84, 42, 12);
    label("0: auto", 346, 84, 48, 12);
    groupBox("GOP", 262, 102, 138, 60);
    label("GopLength", 268, 114, 42, 12);
    label("0: auto", 346, 114, 48, 12);
    label("BFrames", 268, 130, 42, 12);
    label("or auto", 346, 130, 48, 12);
    label("IdrInterval", 268, 146, 42, 12);
    label("0: auto", 346, 146, 48, 12);
}

}  // namespace

bool OpenDisplay() {
    if (fl_display != nullptr) return true;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return false;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    fl_open_display(display);
    return true;
}

}  // namespace fltk_dialog

int RunSettingDialog(CDialogSetting& dialog) {
    using namespace fltk_dialog;
    if (!OpenDisplay()) return -1;
    Fl_Double_Window window(Px(401), Px(244), "Tarvo Plugin");
    FltkControls controls(window, dialog);
    window.user_data(&controls);
    BuildControls(controls);
    window.end();
    window.position((Fl::w() - window.w()) / 2, (Fl::h() - window.h()) / 2);
    dialog.Attach(&controls);
    dialog.OnInitDialog();
    RunModal(window, window.child(0));
    dialog.Attach(nullptr);
    return controls.endCode;
}
