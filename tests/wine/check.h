// A small check harness for the test programs of the Windows build, which run
// under Wine where GoogleTest is not available. Each failed check prints its
// place and values; Summary() prints "NAME: N passed, M failed" and gives the
// exit code.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace check {

inline int passed = 0;
inline int failed = 0;
inline std::string group;  // what is being checked, for failure messages

inline void Group(const char* name) {
    group = name;
    std::printf("-- %s\n", name);
    std::fflush(stdout);
}

inline bool Record(bool ok, const char* file, int line, const char* expression, const std::string& detail) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL %s:%d [%s] %s%s%s\n", file, line, group.c_str(), expression, detail.empty() ? "" : ": ",
                    detail.c_str());
    }
    std::fflush(stdout);
    return ok;
}

inline std::string Show(int64_t value) { return std::to_string(value); }
inline std::string Show(uint32_t value) { return std::to_string(value); }
inline std::string Show(int32_t value) { return std::to_string(value); }
inline std::string Show(long value) { return std::to_string(value); }
inline std::string Show(unsigned long value) { return std::to_string(value); }
inline std::string Show(unsigned long long value) { return std::to_string(value); }
inline std::string Show(const std::string& value) { return "\"" + value + "\""; }
inline std::string Show(const char* value) { return value == nullptr ? "null" : Show(std::string(value)); }
inline std::string Show(const void* value) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", value);
    return text;
}

template <typename A, typename B>
bool Equal(const A& actual, const B& expected, const char* file, int line, const char* expression) {
    bool ok = actual == expected;
    return Record(ok, file, line, expression, ok ? "" : "got " + Show(actual) + ", expected " + Show(expected));
}

// Prints the closing line and returns the process exit code.
inline int Summary(const char* name) {
    std::printf("%s: %d passed, %d failed\n", name, passed, failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}

}  // namespace check

#define CHECK(condition) ::check::Record((condition), __FILE__, __LINE__, #condition, "")
#define CHECK_EQ(actual, expected) ::check::Equal((actual), (expected), __FILE__, __LINE__, #actual " == " #expected)
