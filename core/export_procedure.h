// One export from start to end over a host-neutral job: the video encode,
// the audio stage beside it and the muxer, with every temporary file gone
// when it returns. Host thread only.
#pragma once
#include "core/export_job.h"

// True when the MP4 file was written (also after a user abort). A refused
// set-up shows "Invalid encode parameter." once; every other failure shows
// what its stage shows.
bool RunExport(const ExportJob& job);
