#include "recording_sdk.h"

std::vector<SdkCall> sdkCalls;
mfxStatus initStatus = MFX_ERR_NONE;
mfxStatus encoderInitStatus = MFX_ERR_NONE;

namespace {
int sessionToken;
mfxSession TheSession() { return reinterpret_cast<mfxSession>(&sessionToken); }
}  // namespace

extern "C" {
mfxStatus MFXInit(mfxIMPL impl, mfxVersion* version, mfxSession* session) {
    sdkCalls.push_back({"MFXInit", impl, {}});
    if (version == nullptr || version->Major != 1 || version->Minor != 1) return MFX_ERR_UNSUPPORTED;
    if (initStatus == MFX_ERR_NONE) *session = TheSession();
    return initStatus;
}
mfxStatus MFXVideoENCODE_Init(mfxSession session, mfxVideoParam* param) {
    sdkCalls.push_back({"MFXVideoENCODE_Init", 0, *param});
    return session == TheSession() ? encoderInitStatus : MFX_ERR_INVALID_HANDLE;
}
mfxStatus MFXClose(mfxSession session) {
    sdkCalls.push_back({"MFXClose", 0, {}});
    return session == TheSession() ? MFX_ERR_NONE : MFX_ERR_INVALID_HANDLE;
}
}
