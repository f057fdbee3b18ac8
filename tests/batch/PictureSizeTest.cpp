// The picture size read from a GIF's, PNG's or JPEG's header before it is decoded.

#include "batch/PictureSize.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Big32(std::uint32_t V)
{
    return {static_cast<char>(V >> 24), static_cast<char>(V >> 16), static_cast<char>(V >> 8), static_cast<char>(V)};
}

std::string Chunk(const std::string& Type, const std::string& Data) { return Big32(static_cast<std::uint32_t>(Data.size())) + Type + Data + "CRC!"; }

std::string Png(std::uint32_t Width, std::uint32_t Height, int ColourType, const std::string& Before = "")
{
    const std::string ihdr = Big32(Width) + Big32(Height) + std::string{8, static_cast<char>(ColourType), 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + Before + Chunk("IHDR", ihdr) + Chunk("IEND", "");
}

std::string Word(int V) { return {static_cast<char>(V & 0xFF), static_cast<char>(V >> 8)}; }

// A screen with a two-colour table, then frames of the given sizes, each with a local table of
// four colours and two sub-blocks of data.
std::string Gif(int Width, int Height, const std::vector<std::pair<int, int>>& Frames)
{
    std::string out = "GIF89a" + Word(Width) + Word(Height) + std::string("\x80\x00\x00", 3) + std::string(6, '\x11');
    out += std::string("\x21\xf9\x04\x01\x00\x00\x00\x00", 8);  // a graphic control extension
    for (const auto& [w, h] : Frames)
        out += "\x2c" + Word(0) + Word(0) + Word(w) + Word(h) + "\x81" + std::string(12, '\x22') + "\x02" +
               std::string("\x03\x01\x02\x03\x01\x09", 6) + std::string(1, '\0');
    return out + "\x3b";
}

std::string Segment(int Marker, const std::string& Data)
{
    const std::size_t length = Data.size() + 2;
    return std::string{'\xFF', static_cast<char>(Marker), static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)} + Data;
}

// SOI, a JFIF and an EXIF segment, a quantisation table, then a frame header of the given
// kind and components (sampling factors, as the frame writes them: H << 4 | V), a scan header
// and some data.
std::string Jpeg(int Sof, int Width, int Height, const std::vector<int>& Sampling, const std::string& Before = "")
{
    std::string frame{8, static_cast<char>(Height >> 8), static_cast<char>(Height & 0xFF), static_cast<char>(Width >> 8),
                      static_cast<char>(Width & 0xFF), static_cast<char>(Sampling.size())};
    for (std::size_t i = 0; i < Sampling.size(); ++i) frame += std::string{static_cast<char>(i + 1), static_cast<char>(Sampling[i]), 0};
    return std::string("\xFF\xD8", 2) + Before + Segment(0xE0, std::string("JFIF\0\1\2\0\0\1\0\1\0\0", 14)) +
           Segment(0xE1, std::string("Exif\0\0MM\0*", 10)) + Segment(0xDB, std::string(65, '\x10')) +
           Segment(Sof, frame) + Segment(0xDA, std::string("\1\1\0\0\x3F\0", 6)) + std::string(100, '\x55') + "\xFF\xD9";
}

}  // namespace

TEST(PictureSize, JpegByItsFrameHeader)
{
    // 640 x 480 at 4:2:0: a full-size luminance and two quarter-size chrominance planes, 460800
    // samples. Held: 4 bytes a pixel, 2 bytes a sample for the coefficients written (and for
    // those read, when progressive), the file and the new content.
    const std::string baseline = Jpeg(0xC0, 640, 480, {0x22, 0x11, 0x11});
    const auto picture = DeclaredJpegPicture(baseline);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Pixels, 307200u);
    EXPECT_EQ(picture->Bytes, 307200u * 4 + 460800u * 2 + 2 * baseline.size());
    const std::string progressive = Jpeg(0xC2, 640, 480, {0x22, 0x11, 0x11});
    EXPECT_EQ(DeclaredJpegPicture(progressive)->Bytes, 307200u * 4 + 460800u * 4 + 2 * progressive.size());
    // 4:4:4 at 100 x 50; greyscale, which may come out in colour: three samples a pixel written.
    const std::string full = Jpeg(0xC1, 100, 50, {0x11, 0x11, 0x11});
    EXPECT_EQ(DeclaredJpegPicture(full)->Bytes, 5000u * 4 + 15000u * 2 + 2 * full.size());
    const std::string grey = Jpeg(0xC0, 100, 50, {0x11});
    EXPECT_EQ(DeclaredJpegPicture(grey)->Bytes, 5000u * 4 + 15000u * 2 + 2 * grey.size());
    EXPECT_EQ(DeclaredJpegPicture(Jpeg(0xCA, 65535, 65535, {0x11}))->Pixels, 65535ull * 65535ull);  // arithmetic, progressive
}

TEST(PictureSize, JpegFrameHeaderWhereLibjpegFindsIt)
{
    // Fill bytes before a marker, and a comment, are passed over.
    EXPECT_EQ(DeclaredJpegPicture(Jpeg(0xC0, 7, 9, {0x11}, std::string("\xFF\xFF", 2) + Segment(0xFE, "made by hand")))->Pixels, 63u);
    // Not a frame header: DHT, JPG and DAC take the codes between.
    EXPECT_EQ(DeclaredJpegPicture(Jpeg(0xC0, 7, 9, {0x11}, Segment(0xC4, std::string(20, '\0')) + Segment(0xCC, "\0\x10")))->Pixels, 63u);
    EXPECT_FALSE(DeclaredJpegPicture(""));
    EXPECT_FALSE(DeclaredJpegPicture(std::string("\xFF\xD8", 2)));
    EXPECT_FALSE(DeclaredJpegPicture(Png(7, 9, 0)));
    const std::string cut = Jpeg(0xC0, 7, 9, {0x11});
    EXPECT_FALSE(DeclaredJpegPicture(cut.substr(0, cut.find(std::string("\xFF\xC0", 2)) + 10)));
    // A scan before any frame header: none to find.
    EXPECT_FALSE(DeclaredJpegPicture(std::string("\xFF\xD8", 2) + Segment(0xDA, "\1\1\0\0\x3F\0") + Segment(0xC0, "\x08\0\x09\0\x07\1\1\x11\0")));
}

TEST(PictureSize, PngByItsHeader)
{
    const std::string rgb = Png(300, 200, 2);
    const auto picture = DeclaredPngPicture(rgb);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Pixels, 60000u);
    EXPECT_EQ(picture->Bytes, 60000u * 4 + 2 * rgb.size());
    // Alpha, or a palette whose transparency becomes alpha: a byte more per pixel.
    for (int type : {3, 4, 6}) {
        const std::string png = Png(300, 200, type);
        EXPECT_EQ(DeclaredPngPicture(png)->Bytes, 60000u * 5 + 2 * png.size()) << type;
    }
    // Sizes a 32-bit count would wrap.
    EXPECT_EQ(DeclaredPngPicture(Png(0xFFFFFFFF, 0xFFFFFFFF, 0))->Pixels, 0xFFFFFFFFull * 0xFFFFFFFFull);
}

TEST(PictureSize, PngWhereverTheReaderFindsIt)
{
    // After other chunks, and after a MacBinary header.
    EXPECT_EQ(DeclaredPngPicture(Png(7, 9, 0, Chunk("tEXt", "Comment\0x")))->Pixels, 63u);
    EXPECT_EQ(DeclaredPngPicture(std::string(128, '\0') + Png(7, 9, 0))->Pixels, 63u);
    EXPECT_EQ(DeclaredPngPicture(Png(7, 9, 0, Chunk("IHDR", std::string(12, '\x7f'))))->Pixels, 63u);
    // Nothing to read: no signature, no IHDR, one cut short.
    EXPECT_FALSE(DeclaredPngPicture(""));
    EXPECT_FALSE(DeclaredPngPicture("GIF89a and so on"));
    EXPECT_FALSE(DeclaredPngPicture(std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IEND", "")));
    EXPECT_FALSE(DeclaredPngPicture(Png(7, 9, 0).substr(0, 20)));
}

TEST(PictureSize, GifByItsScreenOrItsFrames)
{
    const std::string one = Gif(100, 50, {{10, 10}});
    const auto screen = DeclaredGifPicture(one);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->Pixels, 5000u);
    EXPECT_EQ(screen->Bytes, 5000u * 2 + 2 * one.size());
    // Frames beyond the screen, all held at once.
    EXPECT_EQ(DeclaredGifPicture(Gif(10, 10, {{300, 200}, {100, 100}}))->Pixels, 70000u);
    // A frame without a size is the screen's.
    EXPECT_EQ(DeclaredGifPicture(Gif(100, 50, {{0, 0}, {0, 7}}))->Pixels, 10000u);
    // Four bytes in front of the signature, as the reader allows.
    EXPECT_EQ(DeclaredGifPicture("\x01\x02\x03\x04" + Gif(30, 20, {{30, 20}}))->Pixels, 600u);
    // Data cut short: the screen and the frames read so far.
    EXPECT_EQ(DeclaredGifPicture(Gif(10, 10, {{300, 200}, {100, 100}}).substr(0, 60))->Pixels, 60000u);
    EXPECT_FALSE(DeclaredGifPicture(""));
    EXPECT_FALSE(DeclaredGifPicture("GIF89a\x01"));
    EXPECT_FALSE(DeclaredGifPicture(std::string("\x89PNG\r\n\x1a\n", 8) + std::string(20, 'x')));
}
