// A loaded output plug-in library, reached the way the editor reaches it:
// dlopen, then GetOutputPluginTable, then the table's init entry; the exit
// entry runs before the library is unloaded.
#pragma once
#include <memory>
#include <string>

#include "plugin/output_plugin.h"

namespace host {

class PluginLibrary {
public:
    // Loads the library at `path` (taken as a file path, never searched for).
    // On failure returns null and stores a message for the user in *error.
    static std::unique_ptr<PluginLibrary> Load(const std::string& path, std::string* error);

    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return path_; }
    // The plug-in's static table; valid while this object lives.
    const OutputPluginTable& table() const { return *table_; }
    // Another function the library exports by `name`, or null.
    void* Symbol(const char* name) const;

private:
    PluginLibrary(std::string path, void* handle, OutputPluginTable* table)
        : path_(std::move(path)), handle_(handle), table_(table) {}

    std::string path_;
    void* handle_;
    OutputPluginTable* table_;
};

}  // namespace host
