// Builds without the encoder libraries (the Windows runtime DLL) encode with
// the null encoder only; its delay is the B-frames'.
#include "mfxsoft/codec.h"

namespace mfxsoft {

int X264Delay(const CodecConfig& config) { return config.refDist - 1; }
int X265Delay(const CodecConfig& config) { return config.refDist - 1; }
int SvtAv1Delay(const CodecConfig& config) { return config.refDist - 1; }

std::unique_ptr<Codec> MakeX264Codec(const CodecConfig&) { return nullptr; }
std::unique_ptr<Codec> MakeX265Codec(const CodecConfig&) { return nullptr; }
std::unique_ptr<Codec> MakeSvtAv1Codec(const CodecConfig&) { return nullptr; }

}  // namespace mfxsoft
