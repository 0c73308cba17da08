// A shared library without GetOutputPluginTable.
extern "C" __attribute__((visibility("default"))) int NotAPlugin() { return 0; }
