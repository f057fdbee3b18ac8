#pragma once
// Reads a JPEG file held in memory with libjpeg(-turbo): the header first, so that the caller
// can refuse the picture before its pixels are made, then the pixels. Any error or warning of
// libjpeg (a damaged or truncated file) raises EJpegError (jpeg/JpegError.h).

#include "jpeg/JpegPicture.h"

#include <cstdint>
#include <memory>
#include <string_view>

class TJpegReader {
public:
    // Reads the header of Bytes, which must outlive the reader. A picture of more than
    // MaxPixels pixels raises EPictureTooLarge.
    TJpegReader(std::string_view Bytes, std::uint64_t MaxPixels);
    ~TJpegReader();
    TJpegReader(const TJpegReader&) = delete;
    TJpegReader& operator=(const TJpegReader&) = delete;

    int Width() const;
    int Height() const;
    // How the picture is coded; the markers are those before the first scan until Read.
    const TJpegCoding& Coding() const { return FCoding; }

    // Decodes the whole picture (once); CMYK and YCCK pictures are not decoded (EJpegError).
    TJpegPicture Read();

private:
    struct TState;
    std::unique_ptr<TState> FState;
    TJpegCoding FCoding;
};
