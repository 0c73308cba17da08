// What the runtime changed of the encoder parameters asked for: each field
// the export chose and the runtime settled otherwise, for the export's log.
#pragma once
#include <string>
#include <vector>

#include <mfxvideo.h>

// One line per changed field, e.g. "level: asked 4 (40), settled 4.1 (41)",
// in the order the fields appear in the log's encoder lines. A field asked
// as 0 is the runtime's choice (level, profile, target usage, GOP, B distance),
// so whatever it settles on is no change; bit rates and QPs are compared only
// where the mode asked for reads them.
std::vector<std::string> ChangedParameters(const mfxInfoMFX& asked, const mfxInfoMFX& settled);
