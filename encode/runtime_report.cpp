#include "encode/runtime_report.h"

#include <cstdio>

namespace {

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

const char* BaseName(mfxIMPL base) {
    switch (base) {
        case MFX_IMPL_AUTO: return "AUTO";
        case MFX_IMPL_SOFTWARE: return "SOFTWARE";
        case MFX_IMPL_HARDWARE: return "HARDWARE";
        case MFX_IMPL_AUTO_ANY: return "AUTO_ANY";
        case MFX_IMPL_HARDWARE_ANY: return "HARDWARE_ANY";
        case MFX_IMPL_HARDWARE2: return "HARDWARE2";
        case MFX_IMPL_HARDWARE3: return "HARDWARE3";
        case MFX_IMPL_HARDWARE4: return "HARDWARE4";
        case MFX_IMPL_RUNTIME: return "RUNTIME";
        default: return nullptr;
    }
}

// The interface is a number in bits 8 to 11, not a set of flags.
constexpr mfxIMPL kViaField = 0x0F00;

const char* ViaName(mfxIMPL via) {
    switch (via) {
        case MFX_IMPL_VIA_ANY: return "VIA_ANY";
        case MFX_IMPL_VIA_D3D9: return "VIA_D3D9";
        case MFX_IMPL_VIA_D3D11: return "VIA_D3D11";
        case MFX_IMPL_VIA_VAAPI: return "VIA_VAAPI";
        default: return nullptr;
    }
}

}  // namespace

std::string ImplName(mfxIMPL impl) {
    const mfxIMPL base = MFX_IMPL_BASETYPE(impl);
    const char* baseName = BaseName(base);
    std::string text = baseName != nullptr ? baseName : std::to_string(base);
    if (const mfxIMPL via = impl & kViaField; via != 0) {
        const char* viaName = ViaName(via);
        text += "|" + (viaName != nullptr ? std::string(viaName) : Hex(via));
    }
    mfxIMPL rest = impl & ~static_cast<mfxIMPL>(0xFF | kViaField);
    if ((rest & MFX_IMPL_AUDIO) != 0) {
        text += "|AUDIO";
        rest &= ~static_cast<mfxIMPL>(MFX_IMPL_AUDIO);
    }
    if (rest != 0) text += "|" + Hex(static_cast<uint32_t>(rest));
    return text;
}

std::string RuntimeKindOfApi(mfxVersion api) {
    if (api.Major == 0) return {};
    if (api.Major >= 2 || (api.Major == 1 && api.Minor == 255)) return kVplRuntimeKind;
    return kMediaSdkRuntimeKind;
}
