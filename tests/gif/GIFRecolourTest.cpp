// Recolouring a GIF through its colour tables: the entries shown are converted, the pixels
// keep their entries, the transparent entry stays, the tables shrink to what is used, and
// everything else in the file is written back as it was read.
#include "GIFTestUtil.h"

#include "gif/GIFExtensions.h"
#include "gif/GIFRecolour.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {

TGIFColor Invert(const TGIFColor& C)
{
    return {static_cast<std::uint8_t>(255 - C.Red), static_cast<std::uint8_t>(255 - C.Green),
            static_cast<std::uint8_t>(255 - C.Blue)};
}

TGIFColor Same(const TGIFColor& C) { return C; }

Bytes Concat(Bytes A, const Bytes& B)
{
    Append(A, B);
    return A;
}

Bytes Colour(int R, int G, int B) { return {static_cast<std::uint8_t>(R), static_cast<std::uint8_t>(G), static_cast<std::uint8_t>(B)}; }

// The colour of entry i of the test header's table (see Header()).
Bytes HeaderColour(int I) { return Colour(I, 255 - I, I / 2); }

Bytes Inverted(const Bytes& C) { return Colour(255 - C[0], 255 - C[1], 255 - C[2]); }

Bytes Gce(int Flags, int Index) { return {0x21, 0xF9, 4, static_cast<std::uint8_t>(Flags), 10, 0, static_cast<std::uint8_t>(Index), 0}; }

Bytes CommentBlock(const std::string& Text)
{
    Bytes out = {0x21, 0xFE, static_cast<std::uint8_t>(Text.size())};
    Append(out, Text);
    out.push_back(0);
    return out;
}

Bytes LoopBlock()
{
    Bytes out = {0x21, 0xFF, 11};
    Append(out, std::string("NETSCAPE2.0"));
    Append(out, {3, 1, 0, 0, 0});
    return out;
}

// Interlaced row order of a frame Height rows high.
Bytes InterlacedRows(const Bytes& Pixels, int Width, int Height)
{
    Bytes out;
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < Height; y += step)
            out.insert(out.end(), Pixels.begin() + y * Width, Pixels.begin() + (y + 1) * Width);
    return out;
}

struct TRecoloured {
    bool Changed = false;
    Bytes Saved;
};

TRecoloured Recolour(const Bytes& Data, const TGIFColorConversion& Convert)
{
    TGIFImage gif;
    LoadBytes(gif, Data);
    TRecoloured out;
    out.Changed = RecolourGIF(gif, Convert);
    out.Saved = SaveBytes(gif);
    return out;
}

} // namespace

TEST(RecolourGIF, SameColoursGiveTheSameFileByteForByte)
{
    // Files whose tables hold just what they use and whose data is coded as this codec codes
    // it: every byte comes back, extensions, interlacing and all.
    const Bytes pixels = {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1, 2, 2, 3, 3, 3, 1, 2, 0, 0, 2, 1, 3};  // 4 x 6
    struct TCase {
        const char* Name;
        Bytes Before, After;
        int Flags;  // of the image descriptor
        bool Local;
        int Transparent;  // the entry whose colour stays, or -1
    };
    const TCase cases[] = {
        {"plain", {}, {}, 0, false, -1},
        {"transparent, loop and comments", Concat(LoopBlock(), Gce(0x05, 2)), CommentBlock("after"), 0, false, 2},
        {"interlaced", Gce(0x01, 3), {}, 0x40, false, 3},
        {"local table, interlaced", CommentBlock("logo"), {}, 0xC1, true, -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes data = Header(4, 6, c.Local ? 0 : 2, 1, 49);
        Append(data, c.Before);
        Append(data, Descriptor(0, 0, 4, 6, c.Flags));
        if (c.Local)
            for (int i = 0; i < 4; ++i)
                Append(data, HeaderColour(i));
        const Bytes coded = (c.Flags & 0x40) ? InterlacedRows(pixels, 4, 6) : pixels;
        Append(data, ImageData(2, ExpectedCodes(coded, 2)));
        Append(data, c.After);
        data.push_back(0x3B);

        const TRecoloured same = Recolour(data, Same);
        EXPECT_FALSE(same.Changed);
        EXPECT_EQ(same.Saved, data);

        // Inverted: only the table's colours differ, but for the transparent entry's.
        Bytes expected = data;
        const std::size_t table = c.Local ? 13 + c.Before.size() + 10 : 13;
        for (std::size_t at = table; at < table + 12; at += 3) {
            if (static_cast<int>(at - table) / 3 == c.Transparent)
                continue;
            const Bytes inverted = Inverted(Bytes(expected.begin() + at, expected.begin() + at + 3));
            std::copy(inverted.begin(), inverted.end(), expected.begin() + at);
        }
        const TRecoloured inverted = Recolour(data, Invert);
        EXPECT_TRUE(inverted.Changed);
        EXPECT_EQ(inverted.Saved, expected);
    }
}

TEST(RecolourGIF, TransparentEntryIsKeptAndTheTableCutToTheUsedEntries)
{
    // A table of 16 of which 1, 6 and 9 are shown and 4 is transparent: a table of 4 in the
    // old order, the transparent entry unconverted, the pixels and the index renumbered.
    const Bytes pixels = {1, 4, 6, 9, 9, 6, 4, 1};
    Bytes data = Header(4, 2, 4);
    Append(data, Gce(0x01, 4));
    Append(data, Descriptor(0, 0, 4, 2));
    Append(data, ImageData(4, ExpectedCodes(pixels, 4)));
    data.push_back(0x3B);

    Bytes expected = Header(4, 2, 0);
    expected[10] = 0xB1;  // a table of 4; the colour resolution read (3) is kept
    Append(expected, Inverted(HeaderColour(1)));
    Append(expected, HeaderColour(4));
    Append(expected, Inverted(HeaderColour(6)));
    Append(expected, Inverted(HeaderColour(9)));
    Append(expected, Gce(0x01, 1));
    Append(expected, Descriptor(0, 0, 4, 2));
    Append(expected, ImageData(2, ExpectedCodes({0, 1, 2, 3, 3, 2, 1, 0}, 2)));
    expected.push_back(0x3B);
    const TRecoloured out = Recolour(data, Invert);
    EXPECT_TRUE(out.Changed);
    EXPECT_EQ(out.Saved, expected);

    // A picture whose only changing colour is the transparent entry's is unchanged.
    const TRecoloured onlyTransparent = Recolour(data, [](const TGIFColor& C) {
        return C == TGIFColor{4, 251, 2} ? TGIFColor{0, 0, 0} : C;
    });
    EXPECT_FALSE(onlyTransparent.Changed);
}

TEST(RecolourGIF, TableSizesFollowTheEntriesUsed)
{
    struct TCase {
        Bytes Used;    // the indices the pixels show, in a table of 256
        int Entries;   // of the table written
        bool Renumbered;
    };
    const TCase cases[] = {
        {{0}, 2, false},       {{200}, 2, true},          {{0, 1}, 2, false},     {{0, 1, 2}, 4, false},
        {{0, 3, 2}, 4, false}, {{0, 100, 255}, 4, true},  {{5, 6, 7, 8}, 4, true}, {{15, 0}, 2, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::vector<int>(c.Used.begin(), c.Used.end())));
        Bytes pixels;
        for (int i = 0; i < 12; ++i)
            pixels.push_back(c.Used[static_cast<std::size_t>(i) % c.Used.size()]);
        Bytes data = Header(12, 1, 8);
        Append(data, Descriptor(0, 0, 12, 1));
        Append(data, ImageData(8, ExpectedCodes(pixels, 8)));
        TGIFImage gif;
        LoadBytes(gif, data);
        ASSERT_TRUE(RecolourGIF(gif, Invert));
        const TGIFSubImage& frame = gif.Image(0);
        EXPECT_EQ(1 << gif.GlobalColorMap().BitsPerPixel(), c.Entries);
        for (int x = 0; x < 12; ++x) {
            const int before = pixels[static_cast<std::size_t>(x)];
            const int after = frame.Pixels()[static_cast<std::size_t>(x)];
            if (!c.Renumbered) {
                EXPECT_EQ(after, before);
            }
            const TGIFColor colour = gif.GlobalColorMap().Data().at(static_cast<std::size_t>(after));
            EXPECT_EQ(Bytes({colour.Red, colour.Green, colour.Blue}), Inverted(HeaderColour(before))) << x;
        }
        // Written and read again, the file says the same.
        TGIFImage again;
        LoadBytes(again, SaveBytes(gif));
        EXPECT_EQ(again.GlobalColorMap().Count(), c.Entries);
        EXPECT_EQ(again.Image(0).Pixels(), frame.Pixels());
    }
}

TEST(RecolourGIF, IndicesBeyondTheTable)
{
    // A table of 2; index 5 is transparent, index 3 shows black: the transparent one keeps a
    // place of its own, black is converted like any colour.
    const Bytes pixels = {0, 5, 3, 1, 5, 0};
    Bytes data = Header(6, 1, 1);
    Append(data, Gce(0x01, 5));
    Append(data, Descriptor(0, 0, 6, 1));
    Append(data, ImageData(3, ExpectedCodes(pixels, 3)));
    TGIFImage gif;
    LoadBytes(gif, data);
    EXPECT_TRUE(RecolourGIF(gif, Invert));
    const TGIFSubImage& frame = gif.Image(0);
    ASSERT_EQ(gif.GlobalColorMap().Count(), 4);
    const TGIFPalette& map = gif.GlobalColorMap().Data();
    EXPECT_EQ(map[0], Invert({0, 255, 0}));
    EXPECT_EQ(map[1], Invert({1, 254, 0}));
    EXPECT_EQ(map[2], (TGIFColor{255, 255, 255}));  // black, converted
    EXPECT_EQ(map[3], (TGIFColor{0, 0, 0}));        // the transparent one
    EXPECT_EQ(frame.Pixels(), (Bytes{0, 3, 2, 1, 3, 0}));
    EXPECT_EQ(frame.GraphicControlExtension()->TransparentColorIndex(), 3);
    EXPECT_TRUE(frame.GraphicControlExtension()->Transparent());
}

TEST(RecolourGIF, BackgroundAndEntryZeroCountWhereTheFrameLeavesTheScreenUncovered)
{
    // A 2x1 frame at (1, 1) on a 4x3 screen whose background is entry 9 of 16.
    for (const bool covered : {false, true}) {
        SCOPED_TRACE(covered ? "covering frame" : "small frame");
        const int width = covered ? 4 : 2, height = covered ? 3 : 1;
        Bytes pixels(static_cast<std::size_t>(width) * height, 7);
        pixels[0] = 12;
        Bytes data = Header(4, 3, 4, 9);
        Append(data, Descriptor(covered ? 0 : 1, covered ? 0 : 1, width, height));
        Append(data, ImageData(4, ExpectedCodes(pixels, 4)));
        TGIFImage gif;
        LoadBytes(gif, data);
        RecolourGIF(gif, Invert);
        const TGIFPalette& map = gif.GlobalColorMap().Data();
        if (covered) {
            EXPECT_EQ(map.size(), 2u);
            EXPECT_EQ(gif.Header().BackgroundColorIndex(), 0);
        } else {
            // Entry 0 too: some decoders fill the uncovered screen with it.
            ASSERT_EQ(map.size(), 4u);
            EXPECT_EQ(gif.Header().BackgroundColorIndex(), 2);
            EXPECT_EQ(map[0], Invert({0, 255, 0}));
            EXPECT_EQ(map[2], Invert({9, 246, 4}));
            EXPECT_EQ(gif.Image(0).Pixels(), (Bytes{3, 1}));
        }
    }
}

TEST(RecolourGIF, FramesSharingATableAndFramesWithout)
{
    // Entry 2 is transparent in the first frame and shown by the second: it is converted.
    Bytes data = Header(2, 1, 2);
    Append(data, Gce(0x01, 2));
    Append(data, Descriptor(0, 0, 2, 1));
    Append(data, ImageData(2, ExpectedCodes({2, 0}, 2)));
    Append(data, Descriptor(0, 0, 2, 1));
    Append(data, ImageData(2, ExpectedCodes({2, 1}, 2)));
    TGIFImage gif;
    LoadBytes(gif, data);
    ASSERT_EQ(gif.ImageCount(), 2);
    EXPECT_TRUE(RecolourGIF(gif, Invert));
    EXPECT_EQ(gif.GlobalColorMap().Data()[2], Invert({2, 253, 1}));

    Bytes none = Header(2, 1, 0);
    Append(none, Descriptor(0, 0, 2, 1));
    Append(none, ImageData(2, ExpectedCodes({0, 1}, 2)));
    TGIFImage bare;
    LoadBytes(bare, none);
    try {
        RecolourGIF(bare, Invert);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "No global or local color table defined");
    }
}

TEST(GIFImage, ImageCountLeavesOutFramesOfExtensionsAlone)
{
    struct TCase {
        Bytes After;
        int Frames;
    };
    const TCase cases[] = {{{}, 1}, {CommentBlock("c"), 2}, {LoopBlock(), 2}, {Concat(Gce(0, 0), CommentBlock("x")), 2}};
    for (const TCase& c : cases) {
        Bytes data = Header(2, 1, 1);
        Append(data, Descriptor(0, 0, 2, 1));
        Append(data, ImageData(2, ExpectedCodes({0, 1}, 2)));
        Append(data, c.After);
        data.push_back(0x3B);
        TGIFImage gif;
        LoadBytes(gif, data);
        EXPECT_EQ(gif.Count(), c.Frames);
        EXPECT_EQ(gif.ImageCount(), 1);
    }
    TGIFImage empty;
    LoadBytes(empty, Concat(Header(2, 1, 1), Bytes{0x3B}));
    EXPECT_EQ(empty.ImageCount(), 0);
}

TEST(RecolourGIF, AnimationsKeepEveryBlockAndChangeOnlyTheirTables)
{
    // Three frames: the whole screen with the global table (loop block, disposal 1, its own
    // transparent entry), a smaller interlaced one at an offset (disposal 2), and one with a
    // table of its own after a comment (disposal 3, another transparent entry). Converted, only
    // the tables' colours differ, but for the entries only ever transparent; with colours that
    // stay, every byte comes back.
    const Bytes first = {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1, 2, 2, 0, 0, 2, 1, 2, 0, 0, 2, 1, 0};  // 4 x 6; 3, its transparent entry, in row 0
    const Bytes second = {0, 1, 2, 0};                                                             // 2 x 2 at 1,2
    const Bytes third = {3, 2, 0, 2, 1, 1, 0, 3, 2, 2, 3, 0, 1, 0, 3, 2, 0, 2, 3, 3, 0, 0, 1, 2};  // 4 x 6
    for (const bool loopForEver : {true, false}) {
        SCOPED_TRACE(loopForEver ? "loop for ever" : "loop five times");
        Bytes data = Header(4, 6, 2, 1);
        Bytes loop = LoopBlock();
        if (!loopForEver) loop[loop.size() - 3] = 5;
        Append(data, loop);
        Append(data, Gce(0x04 | 0x01, 3));
        Append(data, Descriptor(0, 0, 4, 6));
        Append(data, ImageData(2, ExpectedCodes(first, 2)));
        Append(data, Gce(0x08, 0));
        Append(data, Descriptor(1, 2, 2, 2, 0x40));
        Append(data, ImageData(2, ExpectedCodes(InterlacedRows(second, 2, 2), 2)));
        Append(data, CommentBlock("third"));
        Append(data, Gce(0x0C | 0x01, 1));
        Append(data, Descriptor(0, 0, 4, 6, 0x81));
        const std::size_t local = data.size();
        for (const int i : {0, 1, 2, 3})
            Append(data, Colour(40 * i, 200 - 40 * i, 7 * i));
        Append(data, ImageData(2, ExpectedCodes(third, 2)));
        data.push_back(0x3B);

        const TRecoloured same = Recolour(data, Same);
        EXPECT_FALSE(same.Changed);
        EXPECT_EQ(same.Saved, data);

        Bytes expected = data;
        const auto invertAt = [&](std::size_t At) {
            const Bytes inverted = Inverted(Bytes(expected.begin() + At, expected.begin() + At + 3));
            std::copy(inverted.begin(), inverted.end(), expected.begin() + At);
        };
        // Global: entry 3 is only ever transparent (the first frame's; the second does not use
        // it), so it keeps its colour. Local: entry 1 likewise.
        for (const int i : {0, 1, 2})
            invertAt(13 + 3 * i);
        for (const int i : {0, 2, 3})
            invertAt(local + 3 * i);
        const TRecoloured inverted = Recolour(data, Invert);
        EXPECT_TRUE(inverted.Changed);
        EXPECT_EQ(inverted.Saved, expected);

        // An independent decoder sees three frames, their delays and the loop count.
        TTempDir dir;
        const std::string path = dir / "a.gif";
        WriteFile(path, std::string(inverted.Saved.begin(), inverted.Saved.end()));
        std::string info;
        EXPECT_EQ(RunCommand("gifsicle --info '" + path + "' 2>&1", &info), 0) << info;
        EXPECT_NE(info.find("3 images"), std::string::npos) << info;
        EXPECT_NE(info.find(loopForEver ? "loop forever" : "loop count 5"), std::string::npos) << info;
        EXPECT_NE(info.find("disposal previous"), std::string::npos) << info;
    }
}
