// The runtime report's names for implementation values and API versions.
#include "encode/runtime_report.h"

#include <gtest/gtest.h>

namespace {

TEST(RuntimeReport, ImplNames) {
    const std::pair<mfxIMPL, const char*> cases[] = {
        {MFX_IMPL_HARDWARE, "HARDWARE"},
        {MFX_IMPL_HARDWARE4, "HARDWARE4"},
        {MFX_IMPL_HARDWARE2 | MFX_IMPL_VIA_D3D11, "HARDWARE2|VIA_D3D11"},
        {MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D9, "HARDWARE|VIA_D3D9"},
        {MFX_IMPL_HARDWARE_ANY | MFX_IMPL_VIA_ANY, "HARDWARE_ANY|VIA_ANY"},
        {MFX_IMPL_SOFTWARE | MFX_IMPL_AUDIO, "SOFTWARE|AUDIO"},
        {MFX_IMPL_AUTO, "AUTO"},
        // Values this SDK does not name stay readable as numbers.
        {0x42, "66"},
        {MFX_IMPL_HARDWARE | 0x0700, "HARDWARE|0x700"},
        {MFX_IMPL_HARDWARE3 | MFX_IMPL_VIA_VAAPI | 0x10000, "HARDWARE3|VIA_VAAPI|0x10000"},
    };
    for (const auto& [impl, name] : cases) EXPECT_EQ(ImplName(impl), name) << impl;
}

TEST(RuntimeReport, KindFollowsTheApiVersion) {
    const std::pair<mfxVersion, const char*> cases[] = {
        {{{35, 1}}, kMediaSdkRuntimeKind}, {{{254, 1}}, kMediaSdkRuntimeKind}, {{{255, 1}}, kVplRuntimeKind},
        {{{9, 2}}, kVplRuntimeKind},       {{{0, 0}}, ""},
    };
    for (const auto& [api, kind] : cases) EXPECT_EQ(RuntimeKindOfApi(api), kind) << api.Major << "." << api.Minor;
}

}  // namespace
