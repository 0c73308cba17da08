// The encoder's coding-option buffers a rate control needs: the look-ahead
// depth (mfxExtCodingOption2: LA, LA_ICQ) and QVBR's quality
// (mfxExtCodingOption3). The export's pipeline and the dialog's video test
// fill and attach them through these, so the test asks what an export asks.
#pragma once
#include <mfxvideo.h>

struct SettingData;

struct CodingOptions {
    mfxExtCodingOption2 option2;
    mfxExtCodingOption3 option3;
    // Which of the two the settings' rate control needs.
    bool option2Asked;
    bool option3Asked;
};

// Fills both buffers from the settings (the low 16 bits of their fields) and
// says which the rate control needs.
void FillCodingOptions(CodingOptions& options, const SettingData& settings);

// Appends the needed buffers to `list` from `count` on and returns the new
// count; `list` has room for two more. The buffers must outlive every call
// that carries `list`.
mfxU16 AttachCodingOptions(CodingOptions& options, mfxExtBuffer** list, mfxU16 count);
