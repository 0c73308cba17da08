// The last stage of an export: the muxer writes the MP4 file. Host thread only.
#pragma once
#include <string>

#include "platform/cancel.h"

// The frame rate as a default-formatted stream in the classic locale writes a
// double (printf's %g, precision 6), whatever the global locale is:
// 25 -> "25", 30000/1001 -> "29.97", 60000/1001 -> "59.9401".
std::string FormatFrameRate(double frameRate);

// The muxer's command line: [ -add "<video>"#video:fps=<rate>]
// [ -add "<aac>"#audio] -new "<output>", beginning with a blank.
std::string MuxerCommandLine(const char* outputPath, double frameRate, const char* videoPath,
                             const char* aacPath);

// Runs the muxer at `muxerPath` (a terminated text: read the settings field
// through ReadSettingText) to write `outputPath` from the video stream and the
// AAC file (either may be null, not both) and waits for it, asking `cancel`
// every 100 ms (a cancel ends the muxer and what it started). True only when
// the muxer was started, ended with exit code 0 and the output file exists
// afterwards. False without starting anything when a path is missing or
// cannot travel whole between double quotes, or when a video path comes with
// a frame rate that is not a positive finite number. After a failure or a
// cancel, a file the muxer created at `outputPath` is deleted; a file that
// was there before it started is left alone. `failure` says why.
bool MuxMp4(const char* muxerPath, const char* outputPath, double frameRate, const char* videoPath,
            const char* aacPath, const platform::CancelCheck& cancel = {},
            platform::StageFailure* failure = nullptr);
