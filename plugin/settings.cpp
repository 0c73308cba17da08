// The settings block AviUtl keeps for the plug-in between runs.
#include <cstring>

#include "core/setting_data.h"
#include "platform/message.h"
#include "plugin/plugin_entries.h"

namespace {

constexpr int32_t kSettingSize = static_cast<int32_t>(sizeof(SettingData));

SettingData settings;  // zero-filled at load: version 0, not valid

}  // namespace

SettingData& PluginSettings() { return settings; }

int32_t TARVO_CDECL SettingsGetEntry(void* data, int32_t size) {
    if (data != nullptr && static_cast<uint32_t>(size) >= sizeof(SettingData)) {
        std::memcpy(data, &PluginSettings(), sizeof(SettingData));
    }
    return kSettingSize;
}

int32_t TARVO_CDECL SettingsSetEntry(void* data, int32_t size) {
    if (data == nullptr) return 0;
    if (size != kSettingSize) {
        platform::ShowWarning("Configure data size failure.");
        return 0;
    }
    int32_t version;
    std::memcpy(&version, data, sizeof version);
    if (version != kSettingVersion) {
        platform::ShowWarning("Configure data is incompatible.");
        return 0;
    }
    std::memcpy(&PluginSettings(), data, sizeof(SettingData));
    return kSettingSize;
}
