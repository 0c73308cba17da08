#include "recording_sdk.h"

std::vector<SdkCall> sdkCalls;
mfxStatus initStatus = MFX_ERR_NONE;
mfxStatus encoderInitStatus = MFX_ERR_NONE;

std::vector<std::string> SdkCallNames() {
    std::vector<std::string> names;
    for (const SdkCall& call : sdkCalls) names.push_back(call.name);
    return names;
}

namespace {
int sessionToken;
mfxSession TheSession() { return reinterpret_cast<mfxSession>(&sessionToken); }
mfxIMPL openedImpl = 0;
mfxVideoParam encoderParam{};
}  // namespace

extern "C" {
mfxStatus MFXInit(mfxIMPL impl, mfxVersion* version, mfxSession* session) {
    sdkCalls.push_back({"MFXInit", impl, {}});
    if (version == nullptr || version->Major != 1 || version->Minor != 1) return MFX_ERR_UNSUPPORTED;
    if (initStatus == MFX_ERR_NONE) *session = TheSession();
    openedImpl = impl;
    return initStatus;
}
mfxStatus MFXVideoENCODE_Query(mfxSession session, mfxVideoParam* in, mfxVideoParam* out) {
    sdkCalls.push_back({"MFXVideoENCODE_Query", 0, *in});
    *out = *in;
    return session == TheSession() ? MFX_ERR_NONE : MFX_ERR_INVALID_HANDLE;
}
mfxStatus MFXVideoENCODE_Init(mfxSession session, mfxVideoParam* param) {
    SdkCall call{"MFXVideoENCODE_Init", 0, *param};
    for (mfxU16 i = 0; i < param->NumExtParam; ++i) {
        const mfxExtBuffer* buffer = param->ExtParam[i];
        if (buffer->BufferId == MFX_EXTBUFF_CODING_OPTION2) {
            call.option2 = *reinterpret_cast<const mfxExtCodingOption2*>(buffer);
        } else if (buffer->BufferId == MFX_EXTBUFF_CODING_OPTION3) {
            call.option3 = *reinterpret_cast<const mfxExtCodingOption3*>(buffer);
        }
    }
    sdkCalls.push_back(call);
    encoderParam = *param;
    return session == TheSession() ? encoderInitStatus : MFX_ERR_INVALID_HANDLE;
}
mfxStatus MFXQueryVersion(mfxSession session, mfxVersion* version) {
    sdkCalls.push_back({"MFXQueryVersion", 0, {}});
    *version = {{35, 1}};
    return session == TheSession() ? MFX_ERR_NONE : MFX_ERR_INVALID_HANDLE;
}
mfxStatus MFXQueryIMPL(mfxSession session, mfxIMPL* impl) {
    sdkCalls.push_back({"MFXQueryIMPL", 0, {}});
    *impl = openedImpl;
    return session == TheSession() ? MFX_ERR_NONE : MFX_ERR_INVALID_HANDLE;
}
mfxStatus MFXVideoENCODE_GetVideoParam(mfxSession session, mfxVideoParam* param) {
    sdkCalls.push_back({"MFXVideoENCODE_GetVideoParam", 0, {}});
    param->mfx = encoderParam.mfx;
    return session == TheSession() ? MFX_ERR_NONE : MFX_ERR_INVALID_HANDLE;
}
mfxStatus MFXClose(mfxSession session) {
    sdkCalls.push_back({"MFXClose", 0, {}});
    return session == TheSession() ? MFX_ERR_NONE : MFX_ERR_INVALID_HANDLE;
}
}
