// The picture size read from a GIF's or PNG's header before it is decoded.

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

}  // namespace

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
