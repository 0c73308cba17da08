// The FLTK settings dialog, opened through the configuration entry as the
// editor does, and driven by synthesised mouse and keyboard events from FLTK
// timeouts while its modal loop runs. Needs an X display (Xvfb in the tests);
// the NoDisplay cases run without one.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "plugin/plugin_entries.h"
#include "core/setting_data.h"
#include "recording_sdk.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_fltk.h"

namespace {

using namespace dialog_id;

// A step runs in an FLTK timeout while a modal loop (the dialog's, or the
// message box's inside it) is running.
std::deque<std::function<void()>> steps;
bool timedOut = false;

void RunNextStep(void*) {
    if (steps.empty()) return;
    std::function<void()> step = std::move(steps.front());
    steps.pop_front();
    // Scheduled before the step: a click may enter a nested modal loop.
    if (!steps.empty()) Fl::add_timeout(0.02, RunNextStep);
    step();
}

// Gives up on a dialog that does not close, so a broken dialog fails instead
// of hanging the test.
void Watchdog(void*) {
    timedOut = true;
    steps.clear();
    while (Fl_Window* window = Fl::first_window()) window->hide();
}

Fl_Window* WindowWhere(const std::function<bool(Fl_Window*)>& match) {
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        if (match(w)) return w;
    }
    return nullptr;
}

Fl_Window* Dialog() {
    return WindowWhere([](Fl_Window* w) { return w->label() != nullptr && std::strcmp(w->label(), "Tarvo Plugin") == 0; });
}

Fl_Window* MessageBox() {
    return WindowWhere([](Fl_Window* w) { return w->user_data() == reinterpret_cast<void*>(fltk_dialog::kMessageBoxTag); });
}

long IdOf(Fl_Widget* widget) { return reinterpret_cast<long>(widget->user_data()); }

Fl_Widget* Control(int id) {
    Fl_Window* dialog = Dialog();
    if (dialog == nullptr) return nullptr;
    for (int i = 0; i < dialog->children(); ++i) {
        if (IdOf(dialog->child(i)) == id) return dialog->child(i);
    }
    return nullptr;
}

Fl_Choice* List(int id) { return dynamic_cast<Fl_Choice*>(Control(id)); }
Fl_Input* Edit(int id) { return dynamic_cast<Fl_Input*>(Control(id)); }

std::string Selected(int id) {
    Fl_Choice* list = List(id);
    if (list == nullptr) return "(no list)";
    return list->text() != nullptr ? list->text() : "";
}

std::string Text(int id) {
    Fl_Input* edit = Edit(id);
    return edit != nullptr ? edit->value() : "(no edit)";
}

void Click(Fl_Widget* widget) {
    ASSERT_NE(widget, nullptr);
    Fl_Window* window = widget->window();
    Fl::e_x = widget->x() + widget->w() / 2;
    Fl::e_y = widget->y() + widget->h() / 2;
    Fl::e_x_root = window->x() + Fl::e_x;
    Fl::e_y_root = window->y() + Fl::e_y;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    Fl::e_clicks = 0;
    Fl::e_is_click = 1;
    Fl::e_state = FL_BUTTON1;
    Fl::handle(FL_PUSH, window);
    Fl::e_state = 0;
    Fl::handle(FL_RELEASE, window);
}

void Key(int keysym, const char* text = "", int state = 0) {
    Fl::e_keysym = keysym;
    Fl::e_state = state;
    Fl::e_text = const_cast<char*>(text);
    Fl::e_length = static_cast<int>(std::strlen(text));
    Fl_Window* target = MessageBox() != nullptr ? MessageBox() : Dialog();
    ASSERT_NE(target, nullptr);
    Fl::handle(FL_KEYBOARD, target);
    Fl::e_state = 0;
}

void Type(int id, const std::string& typed) {
    Click(Edit(id));
    Key('a', "\x01", FL_CTRL);  // select all
    Key(FL_BackSpace, "\b");
    for (char c : typed) {
        char text[2] = {c, '\0'};
        Key(static_cast<unsigned char>(c), text);
    }
}

// Xvfb runs no window manager, so nothing gives a new window the input
// focus as a desktop does; this plays that part.
void GiveInputFocus(Fl_Window* window) {
    ASSERT_NE(window, nullptr);
    XSetInputFocus(fl_display, fl_xid(window), RevertToParent, CurrentTime);
    XSync(fl_display, False);
}

// A step that waits (up to about five seconds) for `ready` before going on.
std::function<void()> WaitUntil(std::function<bool()> ready, int triesLeft = 250) {
    return [ready, triesLeft] {
        if (ready() || triesLeft == 0) return;
        steps.push_front(WaitUntil(ready, triesLeft - 1));
        if (steps.size() == 1) Fl::add_timeout(0.02, RunNextStep);
    };
}

int FocusId() { return Fl::focus() != nullptr ? static_cast<int>(IdOf(Fl::focus())) : 0; }

class FltkDialogTest : public testing::Test {
protected:
    void SetUp() override {
        std::memset(&PluginSettings(), 0, sizeof(SettingData));
        sdkCalls.clear();
        initStatus = MFX_ERR_NONE;
        encoderInitStatus = MFX_ERR_NONE;
        timedOut = false;
        steps.clear();
    }

    // Opens the dialog through the configuration entry and plays `script`,
    // one step per timeout; the last step must close the dialog.
    void Configure(std::vector<std::function<void()>> script) {
        steps.assign(script.begin(), script.end());
        Fl::add_timeout(0.1, RunNextStep);
        Fl::add_timeout(60.0, Watchdog);
        EXPECT_EQ(ConfigEntry(nullptr, nullptr), 1);
        Fl::remove_timeout(Watchdog);
        Fl::remove_timeout(RunNextStep);
        EXPECT_FALSE(timedOut) << "the dialog did not close";
        EXPECT_TRUE(steps.empty()) << steps.size() << " steps left when the dialog closed";
        EXPECT_EQ(Dialog(), nullptr);
    }
};

TEST_F(FltkDialogTest, FreshDialogLayoutFocusKeysAndDefaults) {
    Configure({
        [] { GiveInputFocus(Dialog()); },
        WaitUntil([] { return Fl::focus() != nullptr; }),
        [] {
            Fl_Window* dialog = Dialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->w(), 401 * fltk_dialog::kPixelsPerUnit);
            EXPECT_EQ(dialog->h(), 244 * fltk_dialog::kPixelsPerUnit);
            Fl_Widget* ok = Control(kOk);
            ASSERT_NE(ok, nullptr);
            EXPECT_STREQ(ok->label(), "OK");
            EXPECT_EQ(ok->x(), 156 * fltk_dialog::kPixelsPerUnit);
            EXPECT_EQ(ok->y(), 228 * fltk_dialog::kPixelsPerUnit);
            EXPECT_EQ(ok->w(), 54 * fltk_dialog::kPixelsPerUnit);
            EXPECT_STREQ(Control(kCancel)->label(), "Cancel");
            EXPECT_STREQ(Control(kTestVideo)->label(), "TestVideo");
            EXPECT_STREQ(Control(kBrowseTempFolder)->label(), "...");
            EXPECT_EQ(Control(kCodecLevel)->y(), 48 * fltk_dialog::kPixelsPerUnit);
            EXPECT_EQ(Control(kTempFolder)->w(), 216 * fltk_dialog::kPixelsPerUnit);
            std::vector<std::string> labels;
            for (int i = 0; i < dialog->children(); ++i) {
                if (IdOf(dialog->child(i)) == -1) labels.emplace_back(dialog->child(i)->label());
            }
            EXPECT_EQ(labels, (std::vector<std::string>{"Video", "Hardware", "Codec", "CodecProfile", "BitDepth",
                                                        "CodecLevel", "TargetUsage", "TargetKbps", "RateControl",
                                                        "MaxKbps", "Audio", "path neroAacEnc.exe", "BitRate",
                                                        "path MP4Box.exe", "path TemporaryFolder", "Rate control",
                                                        "QP I/P/B", "Quality", "LookAhead", "0: auto", "Accuracy",
                                                        "0: auto", "Convergence", "0: auto", "GOP", "GopLength",
                                                        "0: auto", "BFrames", "or auto", "IdrInterval",
                                                        "0: auto"}));
            // The new edits where the template has them; those VBR does not
            // read greyed.
            struct Place {
                int id, x, y, w;
                bool active;
            } places[] = {
                {kQpI, 312, 12, 24, false},       {kQpP, 339, 12, 24, false},       {kQpB, 366, 12, 24, false},
                {kQuality, 312, 30, 24, false},   {kLookAhead, 312, 48, 30, false}, {kAvbrAccuracy, 312, 66, 30, false},
                {kAvbrConvergence, 312, 84, 30, false}, {kGopLength, 312, 114, 30, true},
                {kBFrames, 312, 130, 30, true},   {kIdrInterval, 312, 146, 30, true},
                {kTargetKbps, 54, 66, 48, true},  {kMaxKbps, 54, 84, 48, true},
            };
            for (const Place& p : places) {
                Fl_Input* edit = Edit(p.id);
                ASSERT_NE(edit, nullptr) << p.id;
                EXPECT_EQ(edit->x(), p.x * fltk_dialog::kPixelsPerUnit) << p.id;
                EXPECT_EQ(edit->y(), p.y * fltk_dialog::kPixelsPerUnit) << p.id;
                EXPECT_EQ(edit->w(), p.w * fltk_dialog::kPixelsPerUnit) << p.id;
                EXPECT_EQ(edit->active() != 0, p.active) << p.id;
            }
            EXPECT_EQ(Text(kBFrames), "auto");
            EXPECT_EQ(List(kCodecLevel)->size() - 1, 17);
            EXPECT_EQ(Control(kCodec)->x(), 168 * fltk_dialog::kPixelsPerUnit);
            EXPECT_EQ(Control(kBitDepth)->y(), 30 * fltk_dialog::kPixelsPerUnit);
            EXPECT_EQ(List(kAudioBitRate)->size() - 1, 22);
            EXPECT_EQ(Selected(kHardware), "1");
            EXPECT_EQ(Selected(kCodecProfile), "MAIN");
            EXPECT_EQ(Selected(kCodecLevel), "4");
            EXPECT_EQ(Selected(kTargetUsage), "BALANCED");
            EXPECT_EQ(Selected(kRateControl), "VBR");
            EXPECT_EQ(Text(kTargetKbps), "1400");
            EXPECT_EQ(Text(kMaxKbps), "1400");
            EXPECT_EQ(Selected(kAudioBitRate), "HE 96[kbps]");
            EXPECT_EQ(Text(kAacEncoderPath), "");
            EXPECT_EQ(Text(kMuxerPath), "");
            EXPECT_EQ(Text(kTempFolder), "");
            EXPECT_EQ(FocusId(), kOk);
            // For the documentation: a picture of the dialog as it opens.
            if (const char* shot = std::getenv("TARVO_UI_SCREENSHOT")) {
                std::string command = std::string("import -window root ") + shot;
                EXPECT_EQ(std::system(command.c_str()), 0);
            }
        },
        [] {
            // Tab walks the controls in template order.
            std::vector<int> order;
            // Greyed edits are skipped: VBR reads neither QPs nor quality,
            // look-ahead or AVBR's two.
            for (int i = 0; i < 22; ++i) {
                order.push_back(FocusId());
                Key(FL_Tab, "\t");
            }
            EXPECT_EQ(order, (std::vector<int>{kOk, kHardware, kCodec, kCodecProfile, kBitDepth, kCodecLevel,
                                               kTargetUsage, kTargetKbps, kRateControl, kMaxKbps, kGopLength,
                                               kBFrames, kIdrInterval, kAacEncoderPath, kBrowseAacEncoder,
                                               kAudioBitRate, kMuxerPath, kBrowseMuxer, kTempFolder,
                                               kBrowseTempFolder, kCancel, kTestVideo}));
            EXPECT_EQ(FocusId(), kOk);
        },
        [] {
            Key(FL_Escape, "\x1b");
            Click(Edit(kTargetKbps));
            Key(FL_Enter, "\r");
            Key(FL_Escape, "\x1b");
            Fl::focus(List(kCodecLevel));
            Key(FL_Enter, "\r");
            Key(FL_Escape, "\x1b");
        },
        [] {
            ASSERT_NE(Dialog(), nullptr) << "Escape or Enter closed the dialog";
            EXPECT_TRUE(Dialog()->shown());
            Fl::focus(Control(kOk));
            Key(FL_Enter, "\r");  // Enter on the focused OK button presses it
        },
    });
    SettingData defaults = DefaultSettingData();
    EXPECT_EQ(std::memcmp(&PluginSettings(), &defaults, sizeof defaults), 0);
}

TEST_F(FltkDialogTest, TypingIsLimitedAndOkStoresWhatIsShown) {
    SettingData restored = DefaultSettingData();
    restored.targetKbps = 123456;
    restored.codecProfile = 0;  // no row holds it
    std::strcpy(restored.tempFolder, "/var/tmp/tarvo");
    PluginSettings() = restored;
    Configure({
        [] {
            EXPECT_EQ(Text(kTargetKbps), "123456");
            EXPECT_EQ(Selected(kCodecProfile), "");
            EXPECT_EQ(Text(kTempFolder), "/var/tmp/tarvo");
            Type(kMaxKbps, "900");
            Type(kAacEncoderPath, "/opt/nero/neroAacEnc.exe");
            List(kAudioBitRate)->value(19);  // the user picks "HEv2 24[kbps]"
        },
        [] {
            EXPECT_EQ(Text(kMaxKbps), "900");
            Type(kMaxKbps, "1234567");
        },
        [] {
            EXPECT_EQ(Text(kMaxKbps), "12345");
            Click(Control(kOk));
        },
    });
    const SettingData& stored = PluginSettings();
    EXPECT_EQ(stored.targetKbps, 12345);
    EXPECT_EQ(stored.maxKbps, 12345);
    EXPECT_EQ(stored.codecProfile, 0);
    EXPECT_EQ(stored.aacProfile, 3);
    EXPECT_EQ(stored.aacKbps, 24);
    EXPECT_STREQ(stored.aacEncoderPath, "/opt/nero/neroAacEnc.exe");
    EXPECT_STREQ(stored.tempFolder, "/var/tmp/tarvo");
}

// A pick in a list reaches the dialog's logic: the codec brings its own rows.
TEST_F(FltkDialogTest, PickingACodecOrProfileRefreshesTheCodecLists) {
    // Fl_Menu_::picked is what a user's pick in the open menu does.
    auto pick = [](int id, int row) { List(id)->picked(&List(id)->menu()[row]); };
    Configure({
        [&pick] { pick(kCodec, 1); },
        [&pick] {
            EXPECT_EQ(Selected(kCodec), "HEVC");
            EXPECT_EQ(List(kCodecProfile)->size() - 1, 2);
            EXPECT_EQ(List(kBitDepth)->size() - 1, 2);
            EXPECT_EQ(Selected(kBitDepth), "8-bit");
            pick(kCodecProfile, 1);
        },
        [] {
            EXPECT_EQ(Selected(kCodecProfile), "MAIN10");
            EXPECT_EQ(Selected(kBitDepth), "10-bit");
            Click(Control(kOk));
        },
    });
    EXPECT_EQ(PluginSettings().codec, static_cast<int32_t>(MFX_CODEC_HEVC));
    EXPECT_EQ(PluginSettings().bitDepth, 10);
    EXPECT_EQ(PluginSettings().codecProfile, MFX_PROFILE_HEVC_MAIN10);
}

// A pick in the mode list greys what the mode does not read; a value out of
// range keeps the dialog open with its message, and the put-right one is
// stored.
TEST_F(FltkDialogTest, ModeGreysItsFieldsAndOkRefusesAValueOutOfRange) {
    auto pick = [](int id, int row) { List(id)->picked(&List(id)->menu()[row]); };
    std::string shown;
    Configure({
        [&pick] { pick(kRateControl, 2); },  // CQP
        [] {
            EXPECT_EQ(Selected(kRateControl), "CQP");
            for (int id : {kQpI, kQpP, kQpB, kGopLength}) EXPECT_TRUE(Edit(id)->active()) << id;
            for (int id : {kTargetKbps, kMaxKbps, kQuality, kLookAhead}) EXPECT_FALSE(Edit(id)->active()) << id;
            Type(kQpB, "60");
            Type(kBFrames, "3");
        },
        [] { Click(Control(kOk)); },  // the message box's loop runs the next steps
        [&shown] {
            Fl_Window* box = MessageBox();
            ASSERT_NE(box, nullptr);
            shown = dynamic_cast<Fl_Box*>(box->child(0))->label();
            Click(box->child(1));
        },
        [&pick] {
            EXPECT_EQ(MessageBox(), nullptr);
            ASSERT_NE(Dialog(), nullptr);
            pick(kCodec, 1);  // HEVC keeps CQP
        },
        [&pick] {
            EXPECT_EQ(Selected(kRateControl), "CQP");
            pick(kRateControl, 3);  // ICQ, HEVC's fourth
        },
        [] {
            EXPECT_FALSE(Edit(kQpB)->active());
            EXPECT_TRUE(Edit(kQuality)->active());
            Type(kQuality, "30");
            Click(Control(kOk));
        },
    });
    EXPECT_EQ(shown, "QP B 60 is outside 1 to 51 for H.264.");
    EXPECT_EQ(PluginSettings().codec, static_cast<int32_t>(MFX_CODEC_HEVC));
    EXPECT_EQ(PluginSettings().rateControl, MFX_RATECONTROL_ICQ);
    EXPECT_EQ(PluginSettings().quality, 30);
    EXPECT_EQ(PluginSettings().qpB, 26);  // greyed when OK was pressed
    EXPECT_EQ(PluginSettings().gopRefDist, 4);
}

TEST_F(FltkDialogTest, TestVideoShowsItsVerdictAndCancelKeepsTheSettings) {
    SettingData valid = DefaultSettingData();
    valid.hardwareImpl = 5;
    std::strcpy(valid.muxerPath, "/usr/bin/MP4Box.exe");
    PluginSettings() = valid;
    encoderInitStatus = MFX_WRN_INCOMPATIBLE_VIDEO_PARAM;
    std::string shown;
    Configure({
        [] {
            Type(kTargetKbps, "2000");
            Click(Control(kTestVideo));  // the message box's loop runs the next steps
        },
        [&shown] {
            Fl_Window* box = MessageBox();
            ASSERT_NE(box, nullptr);
            EXPECT_STREQ(box->label(), "");
            Fl_Box* text = dynamic_cast<Fl_Box*>(box->child(0));
            ASSERT_NE(text, nullptr);
            shown = text->label();
            Key(FL_Escape, "\x1b");  // does not dismiss it
        },
        [] {
            ASSERT_NE(MessageBox(), nullptr);
            Click(MessageBox()->child(1));
        },
        [] {
            EXPECT_EQ(MessageBox(), nullptr);
            EXPECT_EQ(Text(kTargetKbps), "2000");
            Click(Control(kCancel));
        },
    });
    EXPECT_EQ(shown.substr(0, shown.find('\n')), "MFXVideoENCODE_Init: MFX_WRN_INCOMPATIBLE_VIDEO_PARAM");
    EXPECT_NE(shown.find("\nAdapter: HARDWARE2\n"), std::string::npos);
    ASSERT_EQ(sdkCalls.size(), 7u);  // Query and Init ask with the same description
    EXPECT_EQ(sdkCalls[0].impl, 5);
    EXPECT_EQ(sdkCalls[1].param.mfx.TargetKbps, 2000);
    EXPECT_EQ(std::memcmp(&PluginSettings(), &valid, sizeof valid), 0);
}

// Run with DISPLAY unset or naming no server: FLTK must not be reached.
TEST(NoDisplay, EntryReturnsTrueAndLeavesTheSettings) {
    SettingData valid = DefaultSettingData();
    valid.targetKbps = 777;
    PluginSettings() = valid;
    EXPECT_EQ(ConfigEntry(nullptr, nullptr), 1);
    EXPECT_EQ(std::memcmp(&PluginSettings(), &valid, sizeof valid), 0);
    std::memset(&PluginSettings(), 0, sizeof(SettingData));
    EXPECT_EQ(ConfigEntry(nullptr, nullptr), 1);
    EXPECT_EQ(PluginSettings().version, 0);
}

}  // namespace
