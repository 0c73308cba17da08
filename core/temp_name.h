// Fresh temporary files of an export.
#pragma once

// Makes a path "<folder><separator><7 capital letters>.<extension>" and
// claims it: creates an empty file there exclusively (never through an
// existing name or link), drawing another stem while the name is taken. The
// stage that writes the file (or the program that does) then finds it
// waiting, so nobody else can put anything at that name in between. An empty
// folder means the system's temporary folder. The folder is read up to 259
// characters, so a field without a terminator is never read past its end.
// Gives up (false) after 1000 names in a row that are all taken, or at once
// when the file cannot be created (a missing or unwritable folder).
// On success stores a malloc'ed text in *path (the caller frees it and
// deletes the file) and returns true; on failure leaves *path untouched.
bool MakeTempName(const char* extension, const char* folder, char** path);

// MakeTempName with the stems drawn from `stem` (tests steer the names).
bool MakeTempNameFrom(char* (*stem)(), const char* extension, const char* folder, char** path);

// Seven random capital letters, malloc'ed. They come from the system's random
// source, so a stem tells nothing about the next one; only where that source
// fails, from the C runtime's generator, seeded once per loaded library with
// the tick count.
char* MakeRandomStem();

// Claims "<path>.<6 random capital letters>.<extension>" beside `path` in
// the same way (created empty and exclusively, another draw while the name
// is taken), so that a program can write there and the result can be moved
// over `path` in one rename on the same file system. Same ownership of
// *sibling and the same giving up as MakeTempName.
bool MakeSiblingName(const char* path, const char* extension, char** sibling);

#include <optional>
#include <string>

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
