// The runtime report of the native builds: the runtime is linked in, so
// there is no file to name and no search to tell about.
#include "encode/runtime_report.h"

#ifndef TARVO_NATIVE_RUNTIME_TEXT
#error "TARVO_NATIVE_RUNTIME_TEXT names the runtime this build links"
#endif

RuntimeReport DescribeRuntime(mfxSession session) {
    RuntimeReport report;
    report.file = TARVO_NATIVE_RUNTIME_TEXT;
    if (MFXQueryVersion(session, &report.api) != MFX_ERR_NONE) report.api = {};
    if (MFXQueryIMPL(session, &report.impl) != MFX_ERR_NONE) report.impl = 0;
    report.kind = RuntimeKindOfApi(report.api);
    return report;
}

std::string RuntimeSearchText() { return {}; }
