// One export from start to end over a host-neutral job: the video encode,
// the audio stage beside it and the muxer, with every temporary file gone
// when it returns. Host thread only.
#pragma once
#include "core/export_job.h"

// True when the MP4 file was written, or when the user cancelled (nothing
// is then written, and nothing shown). False for a failure, which shows
// exactly one message naming its cause ("Invalid encode parameter." for a
// refused trial set-up) and leaves no new file at the output path. No C++
// exception leaves it.
bool RunExport(const ExportJob& job);
