// `tarvo-host config` as a user runs it: the plug-in's FLTK dialog in another
// process, operated with X events sent from here, and the settings file the
// host writes afterwards. The NoDisplay cases run without an X server.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/setting_data.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kUnit = 2;  // pixels per dialog unit of the FLTK dialog

// A running tarvo-host; killed if a test leaves it behind.
class HostProcess {
public:
    explicit HostProcess(const std::vector<std::string>& arguments) {
        std::vector<char*> argv;
        std::vector<std::string> all = {TARVO_HOST_PATH, "config"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TARVO_HOST_PATH, nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    }
    ~HostProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The exit code, or -1 when the host did not end within `limit`.
    int Wait(std::chrono::seconds limit) {
        Clock::time_point end = Clock::now() + limit;
        while (pid_ > 0 && Clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

std::vector<char> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

class Screen {
public:
    Screen() : display_(XOpenDisplay(nullptr)) {}
    ~Screen() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    bool open() const { return display_ != nullptr; }

    // Waits for the dialog's top-level window to be mapped.
    Window WaitForDialog(std::chrono::seconds limit) {
        Clock::time_point end = Clock::now() + limit;
        while (Clock::now() < end) {
            Window found = Find(DefaultRootWindow(display_), "Tarvo Plugin");
            if (found != 0) {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(display_, found, &attributes) && attributes.map_state == IsViewable) {
                    return found;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    }

    // What a window manager does for a new window: give it the keyboard.
    void Focus(Window window) {
        XSetInputFocus(display_, window, RevertToParent, CurrentTime);
        XSync(display_, False);
    }

    // A left click at dialog units (x, y) of `window`.
    void Click(Window window, int x, int y) {
        for (int type : {ButtonPress, ButtonRelease}) {
            XEvent event{};
            event.xbutton.type = type;
            event.xbutton.display = display_;
            event.xbutton.window = window;
            event.xbutton.root = DefaultRootWindow(display_);
            event.xbutton.x = x * kUnit;
            event.xbutton.y = y * kUnit;
            event.xbutton.button = Button1;
            event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
            event.xbutton.same_screen = True;
            XSendEvent(display_, window, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
        }
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    void Key(Window window, KeySym symbol, unsigned state = 0) {
        for (int type : {KeyPress, KeyRelease}) {
            XEvent event{};
            event.xkey.type = type;
            event.xkey.display = display_;
            event.xkey.window = window;
            event.xkey.root = DefaultRootWindow(display_);
            event.xkey.keycode = XKeysymToKeycode(display_, symbol);
            event.xkey.state = state;
            event.xkey.same_screen = True;
            XSendEvent(display_, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
        }
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }

    void Type(Window window, const std::string& text) {
        for (char c : text) Key(window, static_cast<KeySym>(c));
    }

private:
    Window Find(Window parent, const char* name) {
        Window root, up, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, parent, &root, &up, &children, &count)) return 0;
        Window found = 0;
        for (unsigned i = 0; i < count && found == 0; ++i) {
            char* title = nullptr;
            if (XFetchName(display_, children[i], &title) && title != nullptr) {
                if (std::strcmp(title, name) == 0) found = children[i];
                XFree(title);
            }
            if (found == 0) found = Find(children[i], name);
        }
        if (children != nullptr) XFree(children);
        return found;
    }

    Display* display_;
};

class HostConfigTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvo-host-config-" + std::to_string(getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        settings_ = dir_ / "settings.bin";
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    fs::path settings_;
};

TEST_F(HostConfigTest, CancelOnAFreshPluginSavesTheDefaultsThenOkSavesTypedValues) {
    Screen screen;
    ASSERT_TRUE(screen.open());
    {
        HostProcess host({TARVO_PLUGIN_PATH, "--settings", settings_.string()});
        Window dialog = screen.WaitForDialog(std::chrono::seconds(60));
        ASSERT_NE(dialog, 0u) << "the dialog did not appear";
        screen.Focus(dialog);
        screen.Key(dialog, XK_Escape);           // does nothing
        screen.Click(dialog, 6 + 27, 228 + 6);  // Cancel
        ASSERT_EQ(host.Wait(std::chrono::seconds(60)), 0);
    }
    std::vector<char> saved = ReadFile(settings_);
    ASSERT_EQ(saved.size(), sizeof(SettingData));
    SettingData defaults = DefaultSettingData();
    EXPECT_EQ(std::memcmp(saved.data(), &defaults, sizeof defaults), 0);

    {
        HostProcess host({TARVO_PLUGIN_PATH, "--settings", settings_.string()});
        Window dialog = screen.WaitForDialog(std::chrono::seconds(60));
        ASSERT_NE(dialog, 0u);
        screen.Focus(dialog);
        screen.Click(dialog, 54 + 24, 66 + 6);  // into TargetKbps
        screen.Key(dialog, XK_End);
        for (int i = 0; i < 4; ++i) screen.Key(dialog, XK_BackSpace);
        screen.Type(dialog, "9001234");  // the edit takes five characters
        screen.Click(dialog, 156 + 27, 228 + 6);  // OK
        ASSERT_EQ(host.Wait(std::chrono::seconds(60)), 0);
    }
    saved = ReadFile(settings_);
    ASSERT_EQ(saved.size(), sizeof(SettingData));
    SettingData stored;
    std::memcpy(&stored, saved.data(), sizeof stored);
    EXPECT_EQ(stored.targetKbps, 90012);
    defaults.targetKbps = 90012;
    EXPECT_EQ(std::memcmp(&stored, &defaults, sizeof defaults), 0);
}

TEST(NoDisplay, HostConfigLeavesTheFileAlone) {
    fs::path dir = fs::temp_directory_path() / ("tarvo-host-config-nodisplay-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path file = dir / "settings.bin";

    HostProcess fresh({TARVO_PLUGIN_PATH, "--settings", file.string()});
    EXPECT_EQ(fresh.Wait(std::chrono::seconds(60)), 0);
    EXPECT_FALSE(fs::exists(file)) << "nothing changed, so nothing is written";

    SettingData valid = DefaultSettingData();
    valid.aacKbps = 64;
    WriteFile(file, &valid, sizeof valid);
    HostProcess restored({TARVO_PLUGIN_PATH, "--settings", file.string()});
    EXPECT_EQ(restored.Wait(std::chrono::seconds(60)), 0);
    std::vector<char> after = ReadFile(file);
    ASSERT_EQ(after.size(), sizeof valid);
    EXPECT_EQ(std::memcmp(after.data(), &valid, sizeof valid), 0);

    // A block the plug-in refuses stays as it was.
    WriteFile(file, &valid, sizeof valid - 1);
    HostProcess refused({TARVO_PLUGIN_PATH, "--settings", file.string()});
    EXPECT_EQ(refused.Wait(std::chrono::seconds(60)), 1);
    EXPECT_EQ(fs::file_size(file), sizeof valid - 1);
    fs::remove_all(dir);
}

}  // namespace
