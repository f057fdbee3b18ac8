#pragma once
// The quality a JPEG was made with, estimated from its quantisation tables.
//
// Encoders built on libjpeg (and most others) scale the two example tables of the JPEG
// standard (Annex K: luminance, chrominance) by one quality from 1 to 100: scale = 5000 / q
// below 50, 200 - 2q from 50 up, each entry (entry * scale + 50) / 100 kept within 1..255 (or
// 1..32767 for tables that need 16-bit entries). The estimate is the quality whose scaled
// tables lie nearest the file's (the least sum of absolute differences over the luminance
// table and, where the file has one, the chrominance table); on a tie the higher quality.
// A table made some other way gets whichever quality is nearest by that measure.

#include <cstdint>

struct TJpegQuality {
    int Quality = 75;
    // The tables fit in 8-bit entries (a baseline file); false when any entry needs 16 bits.
    bool Baseline = true;
};

// Luminance and Chrominance: 64 entries each in natural (row by row) order; Chrominance may
// be null (a greyscale picture).
TJpegQuality EstimateJpegQuality(const std::uint16_t* Luminance, const std::uint16_t* Chrominance);

// The standard table Index (0 luminance, 1 chrominance) scaled to Quality, entry I in natural
// order, kept within 1..255 when Baseline, else within 1..32767.
int ScaledStandardEntry(int Index, int Quality, int I, bool Baseline);
