// Test fixture base for tests against the soft runtime: its knobs are read at
// MFXInit, so each test sets them before opening a pipeline.
#pragma once
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/encode/mfx_recorder.h"

namespace tarvo_test {

class SoftRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("MFXSOFT_FAULTS");
        ::unsetenv("MFXSOFT_ADAPTERS");
        ::unsetenv("MFXSOFT_RUNTIME");
        ::setenv("MFXSOFT_ENCODER", "null", 1);
        ResetRecordedCalls();
    }
    void TearDown() override {
        ::unsetenv("MFXSOFT_FAULTS");
        ::unsetenv("MFXSOFT_RUNTIME");
    }

    static void Faults(const char* rules) { ::setenv("MFXSOFT_FAULTS", rules, 1); }
    static void Encoder(const char* name) { ::setenv("MFXSOFT_ENCODER", name, 1); }
    static void Runtime(const char* kind) { ::setenv("MFXSOFT_RUNTIME", kind, 1); }
};

}  // namespace tarvo_test
