// One export from start to end over a host-neutral job: the checks before
// the first frame, the video encode, the audio stage beside it and the
// muxer, with every temporary file gone and every program ended when it
// returns. Host thread only. Shows nothing: the front end presents the
// outcome its host's way.
#pragma once
#include "core/export_job.h"
#include "core/outcome.h"

// Done when the MP4 file was written; cancelled when the user cancelled
// (nothing is then written); failed with the message to show ("Invalid
// encode parameter." for a refused trial set-up, with its cause line), and
// no new file at the output path. The outcome also goes to the job's log,
// with the time each stage took. No C++ exception leaves it.
Outcome RunExport(const ExportJob& job);
