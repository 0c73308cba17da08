// The settings block AviUtl keeps for the plug-in between runs.
#include <cstring>

#include "core/setting_data.h"
#include "platform/message.h"
#include "plugin/plugin_entries.h"

namespace {

SettingData settings;  // zero-filled at load: version 0, not valid

}  // namespace

SettingData& PluginSettings() { return settings; }

int32_t TARVO_CDECL SettingsGetEntry(void* data, int32_t size) {
    if (data != nullptr && static_cast<uint32_t>(size) >= sizeof(SettingData)) {
        std::memcpy(data, &PluginSettings(), sizeof(SettingData));
    }
    return static_cast<int32_t>(sizeof(SettingData));
}

int32_t TARVO_CDECL SettingsSetEntry(void* data, int32_t size) {
    // A negative size is no block's size; as unsigned it would be taken for
    // a huge one.
    const size_t bytes = size < 0 ? 0 : static_cast<size_t>(size);
    SettingData record;
    switch (ReadSettingBlock(data, bytes, &record)) {
        case SettingBlock::kTaken:
        case SettingBlock::kUpgraded: break;
        case SettingBlock::kNoBlock: return 0;
        case SettingBlock::kWrongSize: platform::ShowWarning("Configure data size failure."); return 0;
        case SettingBlock::kWrongVersion: platform::ShowWarning("Configure data is incompatible."); return 0;
    }
    PluginSettings() = record;
    return size;  // every byte of the block was read
}
