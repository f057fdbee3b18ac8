#pragma once
// Converts the pixels of a decoded JPEG with the colour adjuster, as every picture's pixels are
// (colour/PictureColours.h; a JPEG has no transparent colour), and chooses how the result is
// coded: a greyscale picture stays greyscale while every converted pixel is grey, and becomes
// colour (YCbCr, or RGB where an Adobe marker says the file holds no YCbCr) otherwise.

#include "jpeg/JpegPicture.h"

class TColourAdjuster;

// Whether any pixel changed.
bool RecolourJpeg(TJpegPicture& Picture, const TColourAdjuster& Adjuster);
