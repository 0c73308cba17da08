// The audio stage of an export: the host's audio to a WAV file, and the AAC
// encoder started on it. Host thread only.
#pragma once
#include <cstdint>
#include <string>

#include "core/export_job.h"
#include "core/outcome.h"
#include "core/temp_name.h"
#include "platform/cancel.h"
#include "platform/process.h"

// Writes the job's whole audio to `path` as a 16-bit PCM RIFF/WAVE file: the
// 44-byte header, then the sample frames as the host delivers them, pulled
// with getAudio in requests of 1000 sample frames, each starting right after
// what the previous one delivered.
// Returns true only when the file was opened, written in full and closed.
// False, with nothing written, when the file cannot be opened or the job
// cannot be described by a WAV header (negative count, audioSampleBytes not
// 2 x audioChannels, data of 4 GiB or more). False, with the file left as far
// as it got, when a write fails or falls short (full disk), or when the host
// delivers no sample frames before the count is reached; the caller deletes
// the file. A host that delivers more than was asked or than the count has
// left is taken at its word only up to that limit.
// The host's isAbort is asked before every block: a cancel stops the writing
// at once (false, with *cancelled set when `cancelled` is not null).
bool WriteWavFile(const char* path, const ExportJob* info, bool* cancelled = nullptr);

// True when the job's audio can be written as a WAV file: a count that is not
// negative, 2 bytes per sample per channel, 1 to 65535 channels, a positive
// rate, less than 4 GiB of data, and a getAudio callback when there is audio.
bool IsWavDescribable(const ExportJob& info);

// The encoder's command line: "-2pass -br <aacKbps x 1000>", the profile
// switch (1 " -lc", 2 " -he", 3 " -hev2", otherwise none), then
// " -if \"<wav>\" -of \"<aac>\"". Numbers are written in the classic locale.
std::string AacEncoderCommandLine(int32_t aacProfile, int32_t aacKbps, const char* wavPath,
                                  const char* aacPath);

// What the audio stage holds while the video encodes: the claimed WAV and
// AAC files and the running encoder. Whatever it still holds goes with it:
// the encoder is ended, the files deleted.
struct AacEncoding {
    TempFile wav;
    TempFile aac;
    platform::Process encoder;
};

// Runs the audio stage: claims the WAV path and then the AAC path in
// the job's settings.tempFolder (both files exist, empty, from then on),
// builds the command line, writes the WAV file and starts
// settings.aacEncoderPath on it, all into *encoding.
// Done: the encoder runs. Failed or cancelled (the host's isAbort, asked
// while the WAV is written): *encoding holds nothing, no file is left behind.
// A path that cannot travel whole between double quotes (one holding a double
// quote, or ending in a backslash) fails the stage before any file is written.
Outcome StartAacEncoder(const ExportJob& job, AacEncoding* encoding);

// Waits for the encoder that StartAacEncoder started, asking `cancel` every
// 100 ms, and closes it. Done only when it ended with exit code 0. A cancel
// ends the encoder and what it started; a failure names `programPath` and the
// exit code. Either way but done the AAC file is not to be used.
Outcome WaitAacEncoder(platform::Process& encoder, const char* programPath, const platform::CancelCheck& cancel = {});
