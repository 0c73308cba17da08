// Why a set-up of the pipeline failed, in one line the user can act on.
#pragma once
#include <string>

#include "encode/encode_pipeline.h"

struct ExportJob;

// The cause line of a failed OpenEncodePipeline for `job`: a frame size or
// bit rate refused before the runtime was asked; otherwise the SDK call that
// ended the set-up and what it answered ("MFXInit answered
// MFX_ERR_UNSUPPORTED for HARDWARE2"), followed by the setting to blame
// where one can be named (a value no list holds, a level too low for the
// frame size, rate and bit rate, with the lowest level that fits).
std::string SetupFailureCause(const ExportJob& job, const EncodePipeline& pipeline);
