#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    std::string out;  // standard output and error together
    int exitCode = -1;
};

Result RunHost(const std::string& arguments) {
    Result result;
    std::string command = std::string(TARVO_HOST_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(HostInfo, ShowsWhatTheEditorSeesOfThePlugin) {
    Result r = RunHost(std::string("info ") + TARVO_PLUGIN_PATH);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("Plug-in:      ") + TARVO_PLUGIN_PATH + "\n" +
                         "Name:         MP4出力Tarvo\n"
                         "Information:  MP4出力Tarvo " TARVO_VERSION "\n"
                         "Flag:         0\n"
                         "File filters:\n"
                         "  MP4 File (*.mp4)     *.mp4\n"
                         "  AllFile (*.*)        *.*\n"
                         "Entries:\n"
                         "  init          none\n"
                         "  exit          none\n"
                         "  output        yes\n"
                         "  config        yes\n"
                         "  settings-get  yes\n"
                         "  settings-set  yes\n"
                         "Settings size: 1024 bytes\n");
}

TEST(HostInfo, RefusesWhatIsNotAPlugin) {
    Result r = RunHost("info /no/such/plugin.so");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("tarvo-host: cannot load plug-in '/no/such/plugin.so'"), std::string::npos) << r.out;

    r = RunHost(std::string("info ") + NOT_A_PLUGIN_PATH);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("is not an output plug-in: it has no GetOutputPluginTable"), std::string::npos) << r.out;

    // A bare file name is not looked up in the library search path.
    r = RunHost("info libc.so.6");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cannot load plug-in 'libc.so.6'"), std::string::npos) << r.out;

    EXPECT_EQ(RunHost("").exitCode, 2);
    EXPECT_EQ(RunHost("info").exitCode, 2);
    EXPECT_EQ(RunHost("frobnicate x").exitCode, 2);
}

}  // namespace
