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

// The muxer writes "<output>.<6 capital letters>.mp4" beside the output and
// the plug-in moves it over the output when it is done.
inline bool IsMuxerSibling(const std::string& path, const std::string& output) {
    if (path.size() != output.size() + 11 || path.compare(0, output.size() + 1, output + ".") != 0) return false;
    for (size_t i = output.size() + 1; i < output.size() + 7; ++i) {
        if (path[i] < 'A' || path[i] > 'Z') return false;
    }
    return path.compare(output.size() + 7, std::string::npos, ".mp4") == 0;
}

// What the fake muxer writes before the track it copies.
inline const std::string kFakeMp4Header("\0\0\0\x08" "ftyp", 8);
