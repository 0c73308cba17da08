#include "platform/cpu.h"

namespace platform {
namespace {

SimdLevel Detect() {
#if defined(__i386__) || defined(__x86_64__)
    // GCC's check reads CPUID and, for AVX, XGETBV: a processor with AVX2 on a
    // system that does not save the YMM registers counts as SSSE3 only.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
    if (__builtin_cpu_supports("ssse3")) return SimdLevel::kSsse3;
#endif
    return SimdLevel::kScalar;
}

}  // namespace

SimdLevel BestSimdLevel() {
    static const SimdLevel level = Detect();  // thread-safe initialisation
    return level;
}

}  // namespace platform
