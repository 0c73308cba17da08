#include "platform/process.h"

namespace platform {

std::vector<std::string> SplitCommandLine(const char* commandLine) {
    std::vector<std::string> arguments;
    if (commandLine == nullptr) return arguments;
    const char* p = commandLine;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        std::string argument;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                size_t backslashes = 0;
                while (*p == '\\') {
                    ++backslashes;
                    ++p;
                }
                if (*p == '"') {
                    argument.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        argument += '"';
                        ++p;
                    }
                    // With an even count the quote is handled below.
                } else {
                    argument.append(backslashes, '\\');
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') {  // "" inside quotes is a literal quote
                    argument += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                argument += *p++;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

}  // namespace platform
