// The last stage of an export: the muxer writes the MP4 file. Host thread only.
#pragma once
#include <string>

#include "core/outcome.h"
#include "platform/cancel.h"

// The frame rate as a default-formatted stream in the classic locale writes a
// double (printf's %g, precision 6), whatever the global locale is:
// 25 -> "25", 30000/1001 -> "29.97", 60000/1001 -> "59.9401".
std::string FormatFrameRate(double frameRate);

// The muxer's command line: [ -add "<video>"#video:fps=<rate>]
// [ -add "<aac>"#audio] -new "<output>", beginning with a blank.
std::string MuxerCommandLine(const char* outputPath, double frameRate, const char* videoPath,
                             const char* aacPath);

// True when the file at `path` starts like an MP4 file (a box of type
// "ftyp" first).
bool LooksLikeMp4(const char* path);

// True when the file at `path` holds AAC the muxer can take: an MP4 / M4A
// file (LooksLikeMp4) or a raw ADTS stream (its 12-bit sync word first).
bool LooksLikeAac(const char* path);

// Runs the muxer at `muxerPath` (a terminated text: read the settings field
// through ReadSettingText) to write an MP4 file from the video stream and the
// AAC file (either may be null, not both) and waits for it, asking `cancel`
// every 100 ms (a cancel ends the muxer and what it started). The muxer
// writes "<outputPath>.<6 random letters>.mp4", claimed empty and exclusively
// before it starts; only when it ended with exit code 0 and that file starts
// like an MP4 (LooksLikeMp4) is the file moved over `outputPath` (replacing a
// file or link there) and the outcome is done. Otherwise the sibling is deleted
// and `outputPath` is left exactly as it was. False without starting
// anything when a path is missing or cannot travel whole between double
// quotes, when no sibling can be claimed, or when a video path comes with a
// frame rate that is not a positive finite number.
Outcome MuxMp4(const char* muxerPath, const char* outputPath, double frameRate, const char* videoPath,
               const char* aacPath, const platform::CancelCheck& cancel = {});
