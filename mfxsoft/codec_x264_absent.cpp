// Builds without libx264 (the Windows runtime DLL) encode with the null encoder only.
#include "mfxsoft/codec.h"

namespace mfxsoft {

int X264Delay(const CodecConfig& config) { return config.refDist - 1; }

std::unique_ptr<Codec> MakeX264Codec(const CodecConfig&) { return nullptr; }

}  // namespace mfxsoft
