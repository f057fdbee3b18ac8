#pragma once
// Recolouring a GIF image in place through its colour maps: each entry that pixels show is
// converted, and the pixels keep pointing at their entries. A conversion that maps each
// colour on its own thus needs no colour reduction, keeps every pixel exact and leaves the
// file's blocks (extensions, interlacing, frame positions) as they were. Each colour map is
// cut to the entries its frames use.

#include "gif/GIFQuantize.h"

#include <functional>

class TGIFImage;

using TGIFColorConversion = std::function<TGIFColor(const TGIFColor& Color)>;

// Converts the colours shown by every frame that holds an image. A frame's transparent
// entry (its graphic control extension's transparent index, also one beyond the map) stays
// transparent and keeps its colour; no other index becomes transparent. A pixel whose index
// lies beyond its map shows black and is converted as black. Each map that frames use then
// holds only the entries they use, in as small a table as holds them (at least 2 entries):
// the indices stay the same when the used ones fit that table, else the used entries are
// numbered anew in their old order. Where a frame leaves part of the logical screen
// uncovered, the global map's background entry and its entry 0 count as shown.
// Returns whether the picture changed: whether some shown entry converted to another colour.
// "No global or local color table defined" for a frame without a map.
bool RecolourGIF(TGIFImage& Image, const TGIFColorConversion& Convert);
