// Fresh temporary files of an export.
#pragma once

#include <optional>
#include <string>

// Makes a path "<folder><separator><7 capital letters>.<extension>" and
// claims it: creates an empty file there exclusively (never through an
// existing name or link), drawing another stem while the name is taken. The
// stage that writes the file (or the program that does) then finds it
// waiting, so nobody else can put anything at that name in between. An empty
// folder means the system's temporary folder. The folder is read up to 259
// characters, so a field without a terminator is never read past its end.
// Gives up (nullopt) after 1000 names in a row that are all taken, or at once
// when the file cannot be created (a missing or unwritable folder). The
// caller deletes the file (TempFile does).
std::optional<std::string> MakeTempName(const char* extension, const char* folder);

// Seven random capital letters. They come from the system's random source,
// so a stem tells nothing about the next one; only where that source fails,
// from the C runtime's generator, seeded once per loaded library with the
// tick count.
std::string MakeRandomStem();

// MakeTempName with the stems drawn from `makeStem` (tests steer the names).
using StemSource = std::string (*)();
std::optional<std::string> MakeTempNameFrom(StemSource makeStem, const char* extension, const char* folder);

// Claims "<path>.<6 random capital letters>.<extension>" beside `path` in
// the same way (created empty and exclusively, another draw while the name
// is taken), so that a program can write there and the result can be moved
// over `path` in one rename on the same file system.
std::optional<std::string> MakeSiblingName(const char* path, const char* extension);

// A claimed temporary file: deleted when the object goes, unless kept.
class TempFile {
public:
    TempFile() = default;
    TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { Remove(); }

    // A new file from MakeTempName / MakeSiblingName; nullopt when none could
    // be claimed.
    static std::optional<TempFile> Claim(const char* extension, const char* folder);
    static std::optional<TempFile> ClaimBeside(const char* path, const char* extension);

    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }
    bool empty() const { return path_.empty(); }
    // Deletes the file now (a failed delete is ignored: nobody is left to tell).
    void Remove();
    // The file stays where it is; the object forgets it.
    void Keep() { path_.clear(); }

private:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// The one line shown when MakeTempName fails for `folder` (the settings'
// field; empty: the system's temporary folder).
std::string TempFileFailureText(const char* folder);
