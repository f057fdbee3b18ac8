// The LZW decoder and encoder on their own, over memory streams.
#include "GIFTestUtil.h"

#include "gif/GIFDecoder.h"
#include "gif/GIFEncoder.h"
#include "gif/GIFException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

using namespace giftest;

namespace {

struct Decoded {
    Bytes Pixels;
    std::vector<std::string> Warnings;
    std::int64_t EndPosition = 0;
};

Decoded Decode(const Bytes& Data, int Width, int Height, bool Interlaced = false, std::uint8_t Fill = 0)
{
    TMemoryStream stream;
    giftest::Fill(stream, Data);
    Decoded out;
    out.Pixels.assign(static_cast<std::size_t>(Width) * Height, 0xEE);
    TGIFDecoder::DecodeImageData(stream, out.Pixels.data(), Width, Height, Interlaced, Fill,
                                 [&out](const std::string& m) { out.Warnings.push_back(m); });
    out.EndPosition = stream.Position();
    return out;
}

Bytes Encode(const Bytes& Pixels, int Width, int Height, int Bits, int MaxColor, bool Interlaced = false)
{
    TMemoryStream stream;
    TLZWEncoder encoder;
    encoder.EncodeImageData(stream, Bits, MaxColor, Pixels.data(), Interlaced, Height, Width);
    return Contents(stream);
}

Bytes RandomPixels(std::size_t Count, int Colours, unsigned Seed)
{
    std::mt19937 random(Seed);
    std::uniform_int_distribution<int> pick(0, Colours - 1);
    Bytes out(Count);
    for (auto& p : out)
        p = static_cast<std::uint8_t>(pick(random));
    return out;
}

// The rows of an interlaced frame in the order they are stored.
std::vector<int> InterlaceOrder(int Height)
{
    std::vector<int> rows;
    for (int start : {0, 4, 2, 1}) {
        const int step = start == 0 ? 8 : start * 2;
        for (int y = start; y < Height; y += step)
            rows.push_back(y);
    }
    return rows;
}

// Reads the codes of a code stream back with the decoder's width rule (codes only, no
// strings); stops after the end code.
std::vector<std::pair<int, int>> ReadCodes(const Bytes& Stream, int CodeSize)
{
    std::vector<std::pair<int, int>> codes;  // (code, width)
    const int clear = 1 << CodeSize;
    int width = CodeSize + 1;
    int next = clear + 2;
    int limit = 2 * clear;
    bool first = true;
    std::size_t bit = 0;
    while (bit + width <= Stream.size() * 8) {
        int code = 0;
        for (int k = 0; k < width; ++k, ++bit)
            code |= ((Stream[bit >> 3] >> (bit & 7)) & 1) << k;
        codes.emplace_back(code, width);
        if (code == clear) {
            width = CodeSize + 1;
            next = clear + 2;
            limit = 2 * clear;
            first = true;
            continue;
        }
        if (code == clear + 1)
            break;
        if (first) {
            first = false;
            continue;
        }
        if (next <= 4095) {
            ++next;
            if (next >= limit && limit <= 4095) {
                limit *= 2;
                ++width;
            }
        }
    }
    return codes;
}

// The data of the sub-blocks joined, checking the block structure on the way.
Bytes Unblock(const Bytes& Data, std::size_t From = 1)
{
    Bytes out;
    std::size_t i = From;
    while (i < Data.size() && Data[i] != 0) {
        const std::size_t n = Data[i];
        out.insert(out.end(), Data.begin() + static_cast<std::ptrdiff_t>(i + 1),
                   Data.begin() + static_cast<std::ptrdiff_t>(i + 1 + n));
        i += n + 1;
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Decoder

TEST(LZWDecoder, DecodesStreamsOfEveryCodeSizeAndBlockSize)
{
    for (int size = 2; size <= 8; ++size) {
        const Bytes pixels = RandomPixels(3000, 1 << size, 100 + size);
        const Bytes codes = ReferenceCodes(pixels, size);
        for (int block : {255, 7, 2, 1}) {
            const Decoded d = Decode(ImageData(size, codes, block), 60, 50);
            EXPECT_EQ(d.Pixels, pixels) << "code size " << size << ", sub-blocks of " << block;
            EXPECT_TRUE(d.Warnings.empty());
        }
    }
}

TEST(LZWDecoder, StopsQuietlyWhereTheStreamEndsAndKeepsTheFill)
{
    const Bytes pixels = RandomPixels(400, 4, 7);
    const Bytes codes = ReferenceCodes(pixels, 2);
    Bytes data = ImageData(2, codes);
    data.resize(1 + 1 + codes.size() / 2);  // cut inside the first sub-block

    const Decoded opaque = Decode(data, 20, 20);
    const Decoded transparent = Decode(data, 20, 20, false, 3);
    std::size_t reached = 0;
    while (reached < pixels.size() && opaque.Pixels[reached] == pixels[reached])
        ++reached;
    EXPECT_GT(reached, 100u);
    EXPECT_LT(reached, 400u);
    for (std::size_t i = 0; i < reached; ++i)
        ASSERT_EQ(transparent.Pixels[i], pixels[i]);
    // Beyond the data: 0, or the transparent index of a transparent frame. A little
    // before the cut may be lost with the last code.
    for (std::size_t i = reached + 12; i < pixels.size(); ++i) {
        ASSERT_EQ(opaque.Pixels[i], 0) << i;
        ASSERT_EQ(transparent.Pixels[i], 3) << i;
    }
}

TEST(LZWDecoder, InterlacedFramesOfEveryHeightPutEachRowInPlace)
{
    for (int height : {1, 2, 3, 4, 5, 7, 8, 9, 12, 17}) {
        const int width = 3;
        Bytes natural = RandomPixels(static_cast<std::size_t>(width) * height, 16, height);
        Bytes stored;
        for (int y : InterlaceOrder(height))
            stored.insert(stored.end(), natural.begin() + y * width, natural.begin() + (y + 1) * width);
        const Decoded d = Decode(ImageData(4, ReferenceCodes(stored, 4)), width, height, true);
        EXPECT_EQ(d.Pixels, natural) << "height " << height;
    }
}

TEST(LZWDecoder, FullTableWithoutClearGoesOnWith12BitCodes)
{
    // Literal codes only: every code after the first adds an entry, so 3839 of them fill
    // the table (258..4095). After that no entry is added and the width stays 12.
    CodePacker packer;
    Bytes expected;
    int width = 9, next = 258, limit = 512;
    packer.Put(256, 9);
    bool first = true;
    std::vector<int> literals;
    for (int i = 0; i < 3839 + 300; ++i)
        literals.push_back((i * 7) & 0xFF);
    for (int literal : literals) {
        packer.Put(literal, width);
        expected.push_back(static_cast<std::uint8_t>(literal));
        if (first) {
            first = false;
            continue;
        }
        if (next <= 4095) {
            ++next;
            if (next >= limit && limit <= 4095) {
                limit *= 2;
                ++width;
            }
        }
    }
    ASSERT_EQ(next, 4096);
    ASSERT_EQ(width, 12);
    // Code 4095 is the last entry: the literal before the last one to fill the table,
    // followed by the first pixel of that last one.
    packer.Put(4095, 12);
    expected.push_back(static_cast<std::uint8_t>(literals[3837]));
    expected.push_back(static_cast<std::uint8_t>(literals[3838]));
    packer.Put(257, 12);

    const Decoded d = Decode(ImageData(8, packer.Finish()), static_cast<int>(expected.size()), 1);
    EXPECT_EQ(d.Pixels, expected);
    EXPECT_TRUE(d.Warnings.empty());
}

TEST(LZWDecoder, CodeEqualToTheNextFreeCodeRepeatsThePreviousStringAndItsFirstPixel)
{
    CodePacker packer;
    for (int code : {4, 1, 6, 2, 5})  // clear, 1, next free (6 = "1 1"), 2, end
        packer.Put(code, 3);
    const Decoded d = Decode(ImageData(2, packer.Finish()), 4, 1);
    EXPECT_EQ(d.Pixels, (Bytes{1, 1, 1, 2}));
}

TEST(LZWDecoder, EndCodeSkipsTheRemainingSubBlocksUpToTheTerminator)
{
    CodePacker packer;
    for (int code : {4, 1, 2, 5})
        packer.Put(code, 3);
    Bytes data = {2};
    const Bytes codes = packer.Finish();
    data.push_back(static_cast<std::uint8_t>(codes.size()));
    Append(data, codes);
    Append(data, {3, 0xAA, 0xBB, 0xCC, 2, 0xDD, 0xEE, 0, 0x3B});
    const Decoded d = Decode(data, 2, 1);
    EXPECT_EQ(d.Pixels, (Bytes{1, 2}));
    EXPECT_EQ(d.EndPosition, static_cast<std::int64_t>(data.size()) - 1);  // at the 0x3B
}

TEST(LZWDecoder, ConsecutiveClearCodesAreAccepted)
{
    CodePacker packer;
    for (int code : {4, 4, 4, 3, 0, 5})
        packer.Put(code, 3);
    const Decoded d = Decode(ImageData(2, packer.Finish()), 2, 1);
    EXPECT_EQ(d.Pixels, (Bytes{3, 0}));
}

TEST(LZWDecoder, InitialCodeSizeOf12OrMoreIsRefused)
{
    for (int size : {12, 13, 255}) {
        try {
            Decode(ImageData(size, Bytes{0x01, 0x02}), 2, 2);
            FAIL() << "size " << size;
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Invalid GIF data");
        }
    }
    // 11 is the largest that leaves room in the table.
    const Bytes pixels = {1, 2, 3, 4};
    EXPECT_EQ(Decode(ImageData(11, ReferenceCodes(pixels, 11)), 4, 1).Pixels, pixels);
}

TEST(LZWDecoder, TableEntriesThatLoopStopWithCircularEntry)
{
    // An entry that is its own prefix: code 7 (beyond the next free 6) makes the next
    // entry's prefix 7 just as entry 7 is added.
    {
        CodePacker packer;
        for (int code : {4, 1, 7, 0})
            packer.Put(code, 3);
        packer.Put(7, 4);
        packer.Put(5, 4);
        try {
            Decode(ImageData(2, packer.Finish()), 8, 1);
            FAIL();
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Circular decoder table entry");
        }
    }
    // Two entries that are each other's prefix would push without end.
    {
        CodePacker packer;
        for (int code : {8, 1, 12, 11, 0, 11, 9})
            packer.Put(code, 4);
        try {
            Decode(ImageData(3, packer.Finish()), 64, 64);
            FAIL();
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Circular decoder table entry");
        }
    }
}

TEST(LZWDecoder, SubBlockLongerThanTheStreamWarnsAndUsesWhatIsThere)
{
    const Bytes pixels = RandomPixels(200, 4, 3);
    const Bytes codes = ReferenceCodes(pixels, 2);
    Bytes data = {2, 255};
    Append(data, codes);  // claims 255 bytes, holds fewer
    const Decoded d = Decode(data, 20, 10);
    EXPECT_EQ(std::count(d.Warnings.begin(), d.Warnings.end(), "Premature end of data"), 1);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end() - 8, d.Pixels.begin()));
}

TEST(LZWDecoder, CodesRunningOutAfterTheLastBlockWarnUnderRun)
{
    CodePacker packer;
    for (int code : {4, 1, 2, 3})  // no end code
        packer.Put(code, 3);
    const Decoded d = Decode(ImageData(2, packer.Finish()), 3, 2);
    EXPECT_EQ(d.Pixels, (Bytes{1, 2, 3, 0, 0, 0}));
    EXPECT_NE(std::find(d.Warnings.begin(), d.Warnings.end(), "Decoder bit buffer under-run"), d.Warnings.end());
}

TEST(LZWDecoder, HostileCodeStreamsStayInsideTheirBuffers)
{
    // Random bytes as code streams of every code size: whatever comes out, nothing is read
    // or written outside (the sanitizer build checks), and failures are GIF errors.
    std::mt19937 random(99);
    for (int round = 0; round < 400; ++round) {
        const int size = round % 12;
        Bytes data = {static_cast<std::uint8_t>(size)};
        const int blocks = 1 + round % 4;
        for (int b = 0; b < blocks; ++b) {
            const int n = 1 + static_cast<int>(random() % 255);
            data.push_back(static_cast<std::uint8_t>(n));
            for (int i = 0; i < n; ++i)
                data.push_back(static_cast<std::uint8_t>(random()));
        }
        if (round % 3)
            data.push_back(0);
        try {
            Decode(data, 37, 23, round % 2 == 0);
        } catch (const GIFException&) {
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Encoder

TEST(LZWEncoder, OnePixelGivesClearThePixelAndEnd)
{
    // 1 bit per pixel is written with code size 2: clear 4, pixel 1, end 5 in 3 bits each.
    EXPECT_EQ(Encode({1}, 1, 1, 1, 2), (Bytes{2, 2, 0x4C, 0x01, 0}));
    EXPECT_EQ(Encode({0}, 1, 1, 1, 2), (Bytes{2, 2, 0x44, 0x01, 0}));
}

TEST(LZWEncoder, TwoHundredFiftySixColoursUseCodeSize8FromClearToEnd)
{
    const Bytes pixels = RandomPixels(1000, 256, 5);
    const Bytes out = Encode(pixels, 40, 25, 8, 256);
    ASSERT_EQ(out[0], 8);
    const auto codes = ReadCodes(Unblock(out), 8);
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes.front().first, 256);
    EXPECT_EQ(codes.back().first, 257);
    EXPECT_EQ(Decode(out, 40, 25).Pixels, pixels);
}

TEST(LZWEncoder, CodeStreamMatchesTheModelAcrossThe4094Boundary)
{
    // Random pixels make a new string at nearly every code, so the table fills many times.
    for (int bits : {8, 5, 2}) {
        const Bytes pixels = RandomPixels(300 * 300, 1 << bits, 40 + bits);
        const Bytes out = Encode(pixels, 300, 300, bits, 1 << bits);
        EXPECT_EQ(Unblock(out), ExpectedCodes(pixels, std::max(bits, 2))) << bits << " bits";
        EXPECT_EQ(Decode(out, 300, 300).Pixels, pixels);
    }

    // Where the first table fills: after the clear, codes 258..4094 are assigned, one per
    // code written; the code written when 4095 would be next is followed by a clear in 12
    // bits, and no code above 4094 is ever used.
    const Bytes pixels = RandomPixels(200 * 200, 256, 77);
    const auto codes = ReadCodes(Unblock(Encode(pixels, 200, 200, 8, 256)), 8);
    ASSERT_GT(codes.size(), 3840u);
    EXPECT_EQ(codes[0], std::make_pair(256, 9));
    for (std::size_t i = 1; i <= 3838; ++i)
        ASSERT_NE(codes[i].first, 256) << i;
    EXPECT_EQ(codes[3838].second, 12);
    EXPECT_EQ(codes[3839], std::make_pair(256, 12));
    EXPECT_EQ(codes[3840].second, 9);
    for (const auto& [code, width] : codes)
        ASSERT_LE(code, 4094);
}

TEST(LZWEncoder, Exactly255BytesMakeOneSubBlockAndTheTerminator)
{
    // Random two-colour pixels: find a length whose codes fill exactly 255 bytes.
    Bytes pixels;
    Bytes codes;
    for (unsigned seed = 1; seed < 50 && codes.size() != 255; ++seed) {
        const Bytes source = RandomPixels(5000, 2, seed);
        std::size_t lo = 1, hi = source.size();  // largest length with at most 255 bytes
        while (lo < hi) {
            const std::size_t mid = (lo + hi + 1) / 2;
            if (ExpectedCodes(Bytes(source.begin(), source.begin() + mid), 2).size() <= 255)
                lo = mid;
            else
                hi = mid - 1;
        }
        pixels.assign(source.begin(), source.begin() + lo);
        codes = ExpectedCodes(pixels, 2);
    }
    ASSERT_EQ(codes.size(), 255u);
    const Bytes out = Encode(pixels, static_cast<int>(pixels.size()), 1, 1, 2);
    ASSERT_EQ(out.size(), 1u + 1 + 255 + 1);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out.back(), 0);
    EXPECT_TRUE(std::equal(codes.begin(), codes.end(), out.begin() + 2));
}

TEST(LZWEncoder, InterlacedFramesEncodeEveryRowOnceInPassOrder)
{
    for (int height : {1, 2, 3, 4, 5, 6, 9, 16, 33}) {
        const int width = 5;
        const Bytes natural = RandomPixels(static_cast<std::size_t>(width) * height, 8, 200 + height);
        Bytes stored;
        for (int y : InterlaceOrder(height))
            stored.insert(stored.end(), natural.begin() + y * width, natural.begin() + (y + 1) * width);
        const Bytes out = Encode(natural, width, height, 3, 8, true);
        EXPECT_EQ(Unblock(out), ExpectedCodes(stored, 3)) << "height " << height;
        EXPECT_EQ(Decode(out, width, height, true).Pixels, natural) << "height " << height;
    }
}

TEST(LZWEncoder, PixelOutsideTheColourTableFailsAfterFlushingWithoutTerminator)
{
    Bytes pixels(2000, 7);
    pixels[1500] = 200;
    TMemoryStream stream;
    TLZWEncoder encoder;
    try {
        encoder.EncodeImageData(stream, 7, 100, pixels.data(), false, 20, 100);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color not in color table");
    }
    const Bytes out = Contents(stream);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], 7);
    // Whole sub-blocks only, the last one the pending bytes, and no terminator after it.
    std::size_t i = 1;
    while (i < out.size()) {
        ASSERT_NE(out[i], 0);
        i += out[i] + 1u;
    }
    EXPECT_EQ(i, out.size());
}

TEST(GIFWriter, RefusesReadingAndSeeking)
{
    TMemoryStream target;
    TGIFWriter writer(target);
    std::uint8_t b = 0;
    EXPECT_THROW(writer.Read(&b, 1), GIFException);
    EXPECT_THROW(writer.Seek(0, TSeekOrigin::soBeginning), GIFException);
    try {
        writer.Read(&b, 1);
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid stream operation");
    }
    Bytes data(600, 0x5A);
    writer.Write(data.data(), 600);
    writer.Close();
    const Bytes out = Contents(target);
    ASSERT_EQ(out.size(), 603u);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[256], 255);
    EXPECT_EQ(out[512], 90);
}
