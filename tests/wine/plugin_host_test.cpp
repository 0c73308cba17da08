// Loads Tarvo_output.auo the way the video editor does (LoadLibraryA, then
// GetOutputPluginTable) and checks what the editor sees: the table read as raw
// 32-bit words, and the settings entries with the message boxes they show.
// Usage: plugin_host_test.exe PATH-OF-Tarvo_output.auo
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "check.h"

namespace {

constexpr int32_t kSettingSize = 1024;
constexpr int32_t kSettingSize2 = 820;  // a version-2 block, as saved projects hold
const char kName[] = "MP4\x8F\x6F\x97\xCDTarvo";  // "MP4出力Tarvo" in Shift-JIS

HMODULE plugin = nullptr;

uint32_t Word(const void* table, int offset) {
    uint32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(table) + offset, sizeof value);
    return value;
}

const void* Pointer(const void* table, int offset) { return reinterpret_cast<const void*>(Word(table, offset)); }

bool InsidePlugin(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    return address != nullptr && VirtualQuery(address, &info, sizeof info) == sizeof info &&
           info.AllocationBase == plugin;
}

// Calls a settings entry as a C caller does (arguments pushed right to left,
// removed by the caller) and notes whether the entry moved the stack pointer,
// as one that removed its own arguments would.
void* callTarget;
void* callData;
int32_t callSize;
int32_t callResult;
int32_t callStackMoved;
bool anyStackMoved = false;

int32_t CallEntry(const void* entry, void* data, int32_t size) {
    callTarget = const_cast<void*>(entry);
    callData = data;
    callSize = size;
    __asm__ volatile(
        "movl %%esp, %%edi\n\t"
        "pushl %[size]\n\t"
        "pushl %[data]\n\t"
        "calll *%[target]\n\t"
        "addl $8, %%esp\n\t"
        "movl %%eax, %[result]\n\t"
        "movl %%esp, %%eax\n\t"
        "subl %%edi, %%eax\n\t"
        "movl %%eax, %[moved]\n\t"
        "movl %%edi, %%esp\n\t"
        : [result] "=m"(callResult), [moved] "=m"(callStackMoved)
        : [target] "m"(callTarget), [data] "m"(callData), [size] "m"(callSize)
        : "eax", "ecx", "edx", "edi", "memory", "cc");
    if (callStackMoved != 0) anyStackMoved = true;
    return callResult;
}

const void* table = nullptr;
const void* settingsGet = nullptr;
const void* settingsSet = nullptr;

void CheckExport() {
    check::Group("export");
    FARPROC get = GetProcAddress(plugin, "GetOutputPluginTable");
    CHECK(get != nullptr);
    CHECK(GetProcAddress(plugin, "_GetOutputPluginTable") == nullptr);
    CHECK(GetProcAddress(plugin, "GetOutputPluginTable@0") == nullptr);
    if (get == nullptr) return;
    using GetTable = void*(__cdecl*)();
    auto getTable = reinterpret_cast<GetTable>(reinterpret_cast<void*>(get));
    table = getTable();
    CHECK(InsidePlugin(table));
    CHECK_EQ(getTable(), table);
}

void CheckTable() {
    check::Group("plug-in table");
    if (table == nullptr) return;
    CHECK_EQ(Word(table, 0), 0u);  // flag

    const char* name = static_cast<const char*>(Pointer(table, 4));
    CHECK(InsidePlugin(name));
    if (name != nullptr) CHECK(std::memcmp(name, kName, sizeof kName) == 0);  // including the NUL

    const char* filter = static_cast<const char*>(Pointer(table, 8));
    CHECK(InsidePlugin(filter));
    if (filter != nullptr) {
        std::vector<std::string> parts;
        for (const char* p = filter; *p != '\0' && parts.size() < 8; p += std::strlen(p) + 1) parts.push_back(p);
        CHECK(parts == (std::vector<std::string>{"MP4 File (*.mp4)", "*.mp4", "AllFile (*.*)", "*.*"}));
    }

    const char* information = static_cast<const char*>(Pointer(table, 12));
    CHECK(InsidePlugin(information));
    if (information != nullptr) CHECK(std::strncmp(information, kName, sizeof kName - 1) == 0);

    CHECK_EQ(Word(table, 16), 0u);  // init entry
    CHECK_EQ(Word(table, 20), 0u);  // exit entry
    for (int offset = 24; offset <= 36; offset += 4) CHECK(InsidePlugin(Pointer(table, offset)));
    settingsGet = Pointer(table, 32);
    settingsSet = Pointer(table, 36);
    bool reservedZero = true;
    for (int offset = 40; offset < 104; offset += 4) reservedZero = reservedZero && Word(table, offset) == 0;
    CHECK(reservedZero);
}

// A call of the settings-set entry with the boxes it showed.
struct SetOutcome {
    int32_t result;
    WatchResult boxes;
};

SetOutcome Set(const void* data, int32_t size) {
    BoxWatcher watcher;
    int32_t result = CallEntry(settingsSet, const_cast<void*>(data), size);
    return {result, watcher.Finish()};
}

int32_t Get(void* data, int32_t size) {
    BoxWatcher watcher;
    int32_t result = CallEntry(settingsGet, data, size);
    CHECK_EQ(watcher.Finish().count, 0);
    return result;
}

std::vector<uint8_t> CurrentSettings() {
    std::vector<uint8_t> block(kSettingSize, 0xEE);
    Get(block.data(), kSettingSize);
    return block;
}

// A block that no settings dialog produces, but that has a version.
std::vector<uint8_t> OddBlock(int32_t version, int32_t size = kSettingSize) {
    std::vector<uint8_t> block(size);
    for (int32_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
    std::memcpy(block.data(), &version, 4);
    std::memset(block.data() + 8, 0, 4);  // codecProfile 0
    return block;
}

// A version-2 block as the plug-in holds it once taken: version 3, then
// H.264 ('AVC '), 8 bits, QP 22/24/26, quality 23, and zeros.
std::vector<uint8_t> Upgraded(std::vector<uint8_t> block) {
    block.resize(kSettingSize, 0);
    const int32_t fields[] = {0x20435641, 8, 22, 24, 26, 23};
    const int32_t version = 3;
    std::memcpy(block.data(), &version, 4);
    std::memcpy(block.data() + kSettingSize2, fields, sizeof fields);
    return block;
}

std::string defaultCaption;  // the system's title for a box shown without one

// The system's own box with no caption: what the plug-in's boxes must look like.
void LearnDefaultBox() {
    check::Group("the system's message box");
    WatchResult seen;
    {
        BoxWatcher watcher;
        MessageBoxA(nullptr, "Reference box.", nullptr, MB_OK | MB_ICONWARNING);
        seen = watcher.Finish();
    }
    CHECK_EQ(seen.count, 1);
    CHECK_EQ(seen.first.text, "Reference box.");
    CHECK(!seen.first.caption.empty());
    CHECK(seen.first.warningIcon);
    CHECK(seen.first.okOnly);
    defaultCaption = seen.first.caption;
    std::printf("   default caption: \"%s\"\n", defaultCaption.c_str());
    {
        BoxWatcher watcher;
        MessageBoxA(nullptr, "Reference box.", nullptr, MB_OK | MB_ICONINFORMATION);
        seen = watcher.Finish();
    }
    CHECK_EQ(seen.count, 1);
    CHECK(!seen.first.warningIcon);  // the watcher tells the icons apart
}

void CheckRefusal(const SetOutcome& outcome, const char* text) {
    CHECK_EQ(outcome.result, 0);
    CHECK_EQ(outcome.boxes.count, 1);
    const SeenBox& box = outcome.boxes.first;
    CHECK_EQ(box.text, text);
    CHECK_EQ(box.caption, defaultCaption);
    CHECK(box.warningIcon);
    CHECK(box.okOnly);
    CHECK(!box.hasOwner);
}

void CheckSettings() {
    check::Group("settings-get on a fresh plug-in");
    std::vector<uint8_t> buffer(1100, 0xAB);
    CHECK_EQ(Get(buffer.data(), 1100), kSettingSize);
    CHECK(std::all_of(buffer.begin(), buffer.begin() + kSettingSize, [](uint8_t b) { return b == 0; }));
    CHECK(std::all_of(buffer.begin() + kSettingSize, buffer.end(), [](uint8_t b) { return b == 0xAB; }));
    CHECK_EQ(Get(nullptr, 1100), kSettingSize);
    std::vector<uint8_t> small(kSettingSize, 0xCD);
    CHECK_EQ(Get(small.data(), kSettingSize2), kSettingSize);  // a version-2 host's buffer: too small
    CHECK_EQ(Get(small.data(), kSettingSize - 1), kSettingSize);
    CHECK(std::all_of(small.begin(), small.end(), [](uint8_t b) { return b == 0xCD; }));
    CHECK_EQ(Get(small.data(), -1), kSettingSize);  // 0xFFFFFFFF bytes: large enough
    CHECK(std::all_of(small.begin(), small.end(), [](uint8_t b) { return b == 0; }));

    check::Group("settings-set refusals");
    std::vector<uint8_t> block = OddBlock(3);
    block.resize(kSettingSize + 1);
    SetOutcome outcome = Set(nullptr, kSettingSize);
    CHECK_EQ(outcome.result, 0);
    CHECK_EQ(outcome.boxes.count, 0);
    CheckRefusal(Set(block.data(), kSettingSize - 1), "Configure data size failure.");
    CheckRefusal(Set(block.data(), kSettingSize + 1), "Configure data size failure.");
    CheckRefusal(Set(block.data(), kSettingSize2 - 1), "Configure data size failure.");
    CheckRefusal(Set(block.data(), kSettingSize2 + 1), "Configure data size failure.");
    CheckRefusal(Set(OddBlock(2).data(), kSettingSize), "Configure data is incompatible.");
    CheckRefusal(Set(OddBlock(4).data(), kSettingSize), "Configure data is incompatible.");
    CheckRefusal(Set(OddBlock(1, kSettingSize2).data(), kSettingSize2), "Configure data is incompatible.");
    CheckRefusal(Set(OddBlock(3, kSettingSize2).data(), kSettingSize2), "Configure data is incompatible.");
    CHECK(CurrentSettings() == std::vector<uint8_t>(kSettingSize, 0));

    check::Group("settings-set of a version-2 block");
    std::vector<uint8_t> old = OddBlock(2, kSettingSize2);
    outcome = Set(old.data(), kSettingSize2);
    CHECK_EQ(outcome.result, kSettingSize2);
    CHECK_EQ(outcome.boxes.count, 0);
    CHECK(CurrentSettings() == Upgraded(old));

    check::Group("settings-set round trip");
    std::vector<uint8_t> odd = OddBlock(3);
    outcome = Set(odd.data(), kSettingSize);
    CHECK_EQ(outcome.result, kSettingSize);
    CHECK_EQ(outcome.boxes.count, 0);
    CHECK(CurrentSettings() == odd);
    CheckRefusal(Set(OddBlock(2).data(), kSettingSize), "Configure data is incompatible.");
    CheckRefusal(Set(odd.data(), kSettingSize - 1), "Configure data size failure.");
    CHECK(CurrentSettings() == odd);  // refusals keep what was there
    std::vector<uint8_t> large(1100, 0x5A);
    CHECK_EQ(Get(large.data(), 1100), kSettingSize);
    CHECK(std::equal(odd.begin(), odd.end(), large.begin()));
    CHECK(std::all_of(large.begin() + kSettingSize, large.end(), [](uint8_t b) { return b == 0x5A; }));

    check::Group("calling convention");
    CHECK(!anyStackMoved);  // the entries leave their arguments to the caller
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: %s PATH-OF-Tarvo_output.auo\n", argv[0]);
        return 2;
    }
    check::Group("loading");
    plugin = LoadLibraryA(argv[1]);
    if (!CHECK(plugin != nullptr)) {
        std::printf("   LoadLibraryA(\"%s\") failed with error %lu\n", argv[1], GetLastError());
        return check::Summary("host");
    }
    CheckExport();
    CheckTable();
    if (settingsGet != nullptr && settingsSet != nullptr) {
        LearnDefaultBox();
        CheckSettings();
    }
    CHECK(FreeLibrary(plugin));
    return check::Summary("host");
}
