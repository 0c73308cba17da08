// The built plug-in, loaded as a host loads it. Each instance loads its own
// copy of the library file, so every test starts from a freshly loaded
// plug-in (zero settings) whatever else ran in the process.
#pragma once
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>

#include "platform/test_support.h"
#include "plugin/output_plugin.h"

namespace test {

class LoadedPlugin {
public:
    LoadedPlugin() {
        std::string copy = dir_ / "Tarvo_output.so";
        std::filesystem::copy_file(TARVO_PLUGIN_PATH, copy);
        handle_ = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(handle_, nullptr) << dlerror();
        if (handle_ != nullptr) get = reinterpret_cast<GetOutputPluginTableFunc>(dlsym(handle_, "GetOutputPluginTable"));
        EXPECT_NE(get, nullptr);
        if (get != nullptr) table = get();
    }
    ~LoadedPlugin() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    GetOutputPluginTableFunc get = nullptr;
    OutputPluginTable* table = nullptr;

private:
    TempDir dir_;
    void* handle_ = nullptr;
};

}  // namespace test
