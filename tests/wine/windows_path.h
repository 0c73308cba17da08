// Paths handed to the Windows test programs by ctest and the scripts.
#pragma once
#include <string>

// ctest hands over Unix paths; Wine reaches them through drive Z:.
inline std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}
