#pragma once
// An animated PNG taken apart and put together again. Its chunks are read and checked (one
// acTL before the image data, fcTL and fdAT numbered 0, 1, 2 ... in file order, as many frames
// as acTL says, every frame inside the canvas and with data of its own, no fdAT before the
// image data, every CRC right); each image the file holds (the default image, in the
// animation or not, then each fdAT frame) is handed out as a still PNG the PNG reader decodes
// alone; and the file is written again with new image data or a new palette, its other chunks
// in their places, sequence numbers consecutive and every CRC right.

#include "png/PngError.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An animated PNG that does not hold together; nothing is guessed.
class ApngError : public PngError {
public:
    using PngError::PngError;
};

// Whether the file is an animation as the PNG reader tells one: an acTL chunk after IHDR and
// before the first image data.
bool IsAnimatedPng(std::string_view Bytes);

class TApngFile {
public:
    // Reads and checks the file; raises ApngError with the reason when it does not hold together.
    explicit TApngFile(std::string_view Bytes);

    std::uint32_t Width() const { return FWidth; }
    std::uint32_t Height() const { return FHeight; }
    int ColourType() const { return FColourType; }
    // The frames acTL announces, and the images the file holds data for: one more when the
    // default image is not part of the animation.
    std::uint32_t FrameCount() const { return FFrameCount; }
    std::size_t ImageCount() const { return FImages.size(); }
    bool DefaultImageAnimated() const { return FDefaultAnimated; }
    // The data of the PLTE chunk before the image data (empty without one).
    std::string_view PaletteData() const;

    // Image Index (0 the default image) as a still PNG: IHDR of the image's size, the PLTE,
    // tRNS and bKGD chunks the file has, its data in IDAT chunks, IEND.
    std::string StillImage(std::size_t Index) const;

    // The file with a new palette (the data of a PLTE of as many entries): the images keep
    // their indices and data. sBIT and sPLT, which the new colours make untrue, are left out.
    std::string WithPalette(std::string_view Palette) const;
    // The file with the data of each image taken from Stills[i], a still PNG of that image's
    // size written anew (all in one colour type, bit depth and interlacing): IHDR takes their
    // form, tRNS, bKGD and sBIT are those of Stills[0] (or left out where it has none), and a
    // suggested palette with its hIST, and sPLT, are left out. Raises PngError when the
    // stills do not fit together.
    std::string WithImages(const std::vector<std::string>& Stills) const;
    // Whether still PNGs share one colour type, bit depth and interlacing, as WithImages needs.
    static bool SameForm(const std::vector<std::string>& Stills);

private:
    struct TChunk {
        std::string Type;
        std::size_t Data = 0;  // offset of the data in FBytes
        std::uint32_t Length = 0;
    };
    struct TImage {
        std::uint32_t Width = 0;
        std::uint32_t Height = 0;
        std::vector<std::size_t> DataChunks;  // indices into FChunks
    };
    std::string_view Data(const TChunk& Chunk) const { return FBytes.substr(Chunk.Data, Chunk.Length); }
    // The image data of an image (an fdAT chunk's without its sequence number).
    std::string ImageData(const TImage& Image) const;
    std::string Rebuild(bool NewImages, std::string_view Palette, const std::vector<std::string>& Stills) const;

    std::string_view FBytes;
    std::vector<TChunk> FChunks;
    std::vector<TImage> FImages;
    std::uint32_t FWidth = 0;
    std::uint32_t FHeight = 0;
    int FColourType = 0;
    std::uint32_t FFrameCount = 0;
    bool FDefaultAnimated = false;
};
