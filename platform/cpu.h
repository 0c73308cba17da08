// Which vector instructions this processor offers to the per-pixel routines.
#pragma once

namespace platform {

// Ordered: each level includes the ones below it.
enum class SimdLevel { kScalar = 0, kSsse3 = 1, kAvx2 = 2 };

// The best level this processor and the system support (AVX2 needs the
// system to save the wide registers, which the check includes). Decided once;
// kScalar on processors other than x86. Any thread.
SimdLevel BestSimdLevel();

}  // namespace platform
