// Which library codes which standard.
#include "mfxsoft/codec.h"

namespace mfxsoft {

std::unique_ptr<Codec> MakeLibraryCodec(const CodecConfig& config) {
    switch (config.codec) {
        case MFX_CODEC_HEVC: return MakeX265Codec(config);
        case MFX_CODEC_AV1: return MakeSvtAv1Codec(config);
        default: return MakeX264Codec(config);
    }
}

int LibraryDelay(const CodecConfig& config) {
    switch (config.codec) {
        case MFX_CODEC_HEVC: return X265Delay(config);
        case MFX_CODEC_AV1: return SvtAv1Delay(config);
        default: return X264Delay(config);
    }
}

}  // namespace mfxsoft
