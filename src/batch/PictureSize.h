#pragma once
// The size of the picture a GIF or PNG file declares, read from its header without decoding
// it: what the batch refuses as too large, and the memory it sets aside before decoding.

#include <cstdint>
#include <optional>
#include <string_view>

struct TDeclaredPicture {
    std::uint64_t Pixels = 0;  // the most pixels the file asks to be held at once
    // The memory converting it holds at most: the decoded pixels in the form the converter
    // keeps them, the file's bytes and the new content.
    std::uint64_t Bytes = 0;
};

// IHDR width x height, wherever the first IHDR long enough to be one is (after a MacBinary
// header too). The picture
// is converted as 32-bit pixels, with one byte more for alpha where the file can have it.
// Nothing when the file has no readable IHDR.
std::optional<TDeclaredPicture> DeclaredPngPicture(std::string_view Bytes);

// The frame header's width x height. Held at once: the decoded picture as 32-bit pixels, the
// DCT coefficients (two bytes a sample) of a progressive file while it is decoded, and of the
// new content while it is coded (its Huffman tables are made for the picture; a greyscale
// picture may come out in colour, three samples a pixel), the file's bytes and the new content.
// Nothing without a frame header.
std::optional<TDeclaredPicture> DeclaredJpegPicture(std::string_view Bytes);

// The logical screen, or the frames together where they are larger; one byte per pixel for the
// frames and as much again for the encoded form at worst. Nothing without a GIF header.
std::optional<TDeclaredPicture> DeclaredGifPicture(std::string_view Bytes);

// The canvas a WebP file declares in its first chunk (VP8X, or the picture's own VP8 or VP8L
// header). Its pictures are converted one at a time: the decoded pixels, the encoder's copy
// and its working memory, the file's bytes and the new content. A lossy picture took 11 bytes
// a pixel at most (8 megapixels, tessival-batch's peak), a lossless one up to 36 (a busy
// picture; flat drawings 20): 12 and 40 are set aside, 40 where the first chunk (VP8X) does
// not tell. Nothing without a readable header.
std::optional<TDeclaredPicture> DeclaredWebPPicture(std::string_view Bytes);
