#include "host/plugin_library.h"

#include <dlfcn.h>

namespace host {
namespace {

std::string DlError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string* error) {
    // A name without a slash would send dlopen through the library search
    // path; the editor loads the file it was given.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // The library stays mapped until exit (RTLD_NODELETE): the toolkit it
    // brings (FLTK) keeps singletons it never frees, which unloading would
    // turn into leaks.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
        *error = "cannot load plug-in '" + path + "': " + DlError();
        return nullptr;
    }
    auto get = reinterpret_cast<GetOutputPluginTableFunc>(dlsym(handle, "GetOutputPluginTable"));
    if (get == nullptr) {
        *error = "'" + path + "' is not an output plug-in: it has no GetOutputPluginTable";
        dlclose(handle);
        return nullptr;
    }
    OutputPluginTable* table = get();
    if (table == nullptr) {
        *error = "'" + path + "': GetOutputPluginTable returned no table";
        dlclose(handle);
        return nullptr;
    }
    if (table->init != nullptr && table->init() == 0) {
        *error = "'" + path + "': the plug-in's init entry failed";
        dlclose(handle);
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(path, handle, table));
}

void* PluginLibrary::Symbol(const char* name) const { return dlsym(handle_, name); }

PluginLibrary::~PluginLibrary() {
    if (table_->exit != nullptr) table_->exit();
    dlclose(handle_);
}

}  // namespace host
