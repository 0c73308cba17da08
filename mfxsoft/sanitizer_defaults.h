// What the sanitizers are to leave unreported in any program that runs the
// soft runtime's library encoders: the runtime's own libraries and tests, and
// tarvo-host, which loads the plug-in (and so the runtime) only after the
// sanitizers have read their defaults from the program itself. Definitions,
// not declarations: include this in exactly one file of each program.
#pragma once

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer build: x265 and SVT-AV1 are not instrumented, so it sees
// their own threads only through what they call in the C library (malloc,
// memset, memcpy), never through their atomics and most of their locks;
// their internal hand-overs (a buffer allocated on the caller's thread,
// filled on a worker) then look like races. Only calls made from those two
// libraries are ignored: every access of the runtime's own code, and of its
// tests, is still checked. Any binary linking the soft runtime gets this.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "called_from_lib:libx265.so\n"
           "called_from_lib:libSvtAv1Enc.so\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer build: x265 3.5 loses memory at every encoder_open (its
// frame filters' buffers, a parameter copy, strings x265_copy_params
// duplicates) however it is used: a bare open, encode, close and
// x265_cleanup leaks the same. Leaks allocated inside libx265 are not
// reported; the runtime's own allocations are.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}
#endif
