// The runtime report's names for implementation values and API versions.
#include "encode/runtime_report.h"

#include <gtest/gtest.h>

namespace {

TEST(RuntimeReport, ImplNamesAndKinds) {
    const std::pair<mfxIMPL, const char*> impls[] = {
        {MFX_IMPL_HARDWARE4, "HARDWARE4"},
        {MFX_IMPL_HARDWARE2 | MFX_IMPL_VIA_D3D11, "HARDWARE2|VIA_D3D11"},
        {MFX_IMPL_SOFTWARE | MFX_IMPL_VIA_D3D9 | MFX_IMPL_AUDIO, "SOFTWARE|VIA_D3D9|AUDIO"},
        // Parts this SDK does not name stay readable as numbers.
        {0x42, "66"},
        {MFX_IMPL_HARDWARE3 | 0x0700 | 0x10000, "HARDWARE3|0x700|0x10000"},
    };
    for (const auto& [impl, name] : impls) EXPECT_EQ(ImplName(impl), name) << impl;
    const std::pair<mfxVersion, const char*> kinds[] = {
        {{{35, 1}}, kMediaSdkRuntimeKind}, {{{255, 1}}, kVplRuntimeKind}, {{{9, 2}}, kVplRuntimeKind}, {{{0, 0}}, ""}};
    for (const auto& [api, kind] : kinds) EXPECT_EQ(RuntimeKindOfApi(api), kind) << api.Major << "." << api.Minor;
}

}  // namespace
