#pragma once
// Writes a picture as JPEG with libjpeg(-turbo), coded as its TJpegCoding says: the quality's
// scaled standard tables, the sampling factors of each component, progressive (libjpeg's
// standard scan sequence) or baseline with Huffman tables made for the picture, arithmetic
// coding, the restart interval, and the markers written back byte for byte in their order
// right after SOI (libjpeg writes no JFIF or Adobe marker of its own). A Grey coding writes
// each pixel's luminance, which is its grey for a grey pixel; sampling factors that do not
// match the components (a grey picture gone colourful) give full-resolution colour, 4:4:4.

#include "jpeg/JpegPicture.h"

#include <string>

std::string WriteJpeg(const TJpegPicture& Picture);
