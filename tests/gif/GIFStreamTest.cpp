// The GIF stream structure: header, colour maps, frames, extensions and trailer, read and
// written block by block.
#include "GIFTestUtil.h"

#include "gif/GIFColorMap.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"

#include "graphics/Picture.h"

#include <gtest/gtest.h>

#include <random>

using namespace giftest;

namespace {

// Image data for 2x2 pixels 0, 1, 1, 0 at code size 2.
Bytes FourPixels()
{
    return ImageData(2, ReferenceCodes({0, 1, 1, 0}, 2));
}

// A 2x2 GIF with a 4-colour global table: header, optional blocks before the image, the
// image, optional blocks after it, the trailer.
Bytes SmallGif(const Bytes& Before = {}, const Bytes& After = {}, bool Trailer = true)
{
    Bytes out = Header(2, 2, 2);
    Append(out, Before);
    Append(out, Descriptor(0, 0, 2, 2));
    Append(out, FourPixels());
    Append(out, After);
    if (Trailer)
        out.push_back(0x3B);
    return out;
}

std::string ErrorOf(const Bytes& Data)
{
    TGIFImage gif;
    try {
        LoadBytes(gif, Data);
    } catch (const GIFException& e) {
        return e.what();
    }
    return "";
}

Bytes Comment(const std::string& Text)
{
    Bytes out = {0x21, 0xFE};
    out.push_back(static_cast<std::uint8_t>(Text.size()));
    Append(out, Text);
    out.push_back(0);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Reading

TEST(GIFStream, SignatureInAnyCaseAfterFourBytesAndWithAnyVersionLoads)
{
    for (const char* signature : {"GIF89a", "gif87a", "GiF12x"}) {
        Bytes data = SmallGif();
        std::copy(signature, signature + 6, data.begin());
        TGIFImage gif;
        LoadBytes(gif, data);
        EXPECT_EQ(gif.Count(), 1) << signature;
        EXPECT_EQ(gif.Image(0).Pixels(), (Bytes{0, 1, 1, 0}));
    }
    Bytes prefixed = {'M', 'A', 'C', '!'};
    Append(prefixed, SmallGif());
    TGIFImage gif;
    LoadBytes(gif, prefixed);
    EXPECT_EQ(gif.Count(), 1);

    Bytes wrong = SmallGif();
    wrong[0] = 'J';
    EXPECT_EQ(ErrorOf(wrong), "Invalid GIF signature");
    EXPECT_EQ(ErrorOf(Bytes{'G', 'I', 'F'}), "Premature end of data");
}

TEST(GIFStream, MissingTrailerAndZeroBytesBetweenBlocksAreAccepted)
{
    WarningLog log;
    TGIFImage gif;
    log.Attach(gif);
    LoadBytes(gif, SmallGif({0, 0, 0}, {0, 0}, false));
    EXPECT_EQ(gif.Count(), 1);
    EXPECT_TRUE(log.Messages.empty());
}

TEST(GIFStream, CommentAfterTheImageLoadsAsASecondEmptyFrame)
{
    TGIFImage gif;
    LoadBytes(gif, SmallGif({}, Comment("after")));
    ASSERT_EQ(gif.Count(), 2);
    EXPECT_FALSE(gif.Image(0).Empty());
    EXPECT_TRUE(gif.Image(1).Empty());
    ASSERT_EQ(gif.Image(1).Extensions().Count(), 1);
    auto* comment = dynamic_cast<TGIFCommentExtension*>(&gif.Image(1).Extensions()[0]);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->Text, std::vector<std::string>{"after"});
}

TEST(GIFStream, UnknownBlocksAndTrailersWarnAndKeepWhatWasRead)
{
    WarningLog log;
    TGIFImage gif;
    log.Attach(gif);
    Bytes data = SmallGif({}, {}, false);
    data.push_back(0x99);
    LoadBytes(gif, data);
    EXPECT_EQ(gif.Count(), 1);
    EXPECT_TRUE(log.Has("Unknown GIF block type"));
    EXPECT_TRUE(log.Has("Invalid Image trailer"));
}

TEST(GIFStream, ExtensionErrors)
{
    EXPECT_EQ(ErrorOf(SmallGif({0x21, 0x02, 1, 0, 0})), "Unknown extension type");
    // Application identifier blocks below 10 bytes, and of 12 or more, cannot be read.
    Bytes shortApp = {0x21, 0xFF, 9};
    Append(shortApp, std::string("ABCDEFGHI"));
    Append(shortApp, {0});
    EXPECT_EQ(ErrorOf(SmallGif(shortApp)), "Unsupported Application Extension block size");
    Bytes longApp = {0x21, 0xFF, 12};
    Append(longApp, std::string("ABCDEFGHIJKL"));
    Append(longApp, {0});
    EXPECT_NE(ErrorOf(SmallGif(longApp)), "");
    // A loop sub-block too short for its id.
    Bytes loop = {0x21, 0xFF, 11};
    Append(loop, std::string("NETSCAPE2.0"));
    Append(loop, {2, 1, 5, 0});
    EXPECT_EQ(ErrorOf(SmallGif(loop)), "Invalid GIF data");
    Bytes buffer = {0x21, 0xFF, 11};
    Append(buffer, std::string("NETSCAPE2.0"));
    Append(buffer, {4, 2, 1, 2, 3, 0});
    EXPECT_EQ(ErrorOf(SmallGif(buffer)), "Invalid GIF data");
}

TEST(GIFStream, TruncatedColourTableFailsWithPrematureEnd)
{
    Bytes data = Header(2, 2, 3);
    data.resize(data.size() - 5);
    EXPECT_EQ(ErrorOf(data), "Premature end of data");
}

TEST(GIFStream, FailedLoadPutsTheStreamBackAndKeepsEarlierFrames)
{
    // A bad extension in the second frame.
    Bytes second = {0x21, 0x02, 0};
    Bytes file = SmallGif({}, second, false);
    TMemoryStream stream;
    giftest::Fill(stream, file);
    TGIFImage gif;
    EXPECT_THROW(gif.LoadFromStream(stream), GIFException);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(gif.Count(), 1);
    // The next load starts afresh.
    LoadBytes(gif, SmallGif());
    EXPECT_EQ(gif.Count(), 1);
}

TEST(GIFStream, FrameOfSizeZeroTakesTheScreenSize)
{
    WarningLog log;
    TGIFImage gif;
    log.Attach(gif);
    Bytes data = Header(2, 2, 2);
    Append(data, Descriptor(0, 0, 0, 7));
    Append(data, FourPixels());
    data.push_back(0x3B);
    LoadBytes(gif, data);
    ASSERT_EQ(gif.Count(), 1);
    EXPECT_EQ(gif.Image(0).Width(), 2);
    EXPECT_EQ(gif.Image(0).Height(), 2);
    EXPECT_TRUE(log.Has("Image exceeds Logical Screen size"));
}

TEST(GIFStream, HugeScreensAndFramesAreRefusedBeforeAllocation)
{
    EXPECT_EQ(ErrorOf(Header(65535, 65535, 1)), "Image too large");
    EXPECT_EQ(ErrorOf(Header(16385, 16384, 1)), "Image too large");
    Bytes frame = Header(10, 10, 1);
    Append(frame, Descriptor(0, 0, 65535, 4097));
    Append(frame, ImageData(2, {}));
    EXPECT_EQ(ErrorOf(frame), "Image too large");
    // Frames that are each allowed but together hold more than 2^28 pixels: the frames of
    // one load are counted before each is allocated, and a clear starts the count afresh.
    {
        TGIFImage counted;
        counted.ReserveFramePixels(GIFMaxPixels - 10);
        EXPECT_THROW(counted.ReserveFramePixels(11), GIFException);
        LoadBytes(counted, SmallGif());
        counted.ReserveFramePixels(GIFMaxPixels - 4);
        EXPECT_THROW(counted.ReserveFramePixels(1), GIFException);  // the loaded frame's 4 count
    }
    // 2^28 pixels exactly is still a size the codec takes (only checked, not decoded here).
    TGIFImage gif;
    LoadBytes(gif, Header(16384, 16384, 1));
    EXPECT_EQ(gif.Width(), 16384);
}

TEST(GIFStream, ApplicationExtensionsAreReadByTheirIdentifier)
{
    Bytes loop = {0x21, 0xFF, 11};
    Append(loop, std::string("ANIMEXTS1.0"));
    Append(loop, {3, 1, 0x34, 0x12, 5, 2, 1, 0, 0, 0, 0});
    Bytes other = {0x21, 0xFF, 11};
    Append(other, std::string("XMP DataXMP"));
    Append(other, {3, 'a', 'b', 'c', 1, 'z', 0});
    Bytes ten = {0x21, 0xFF, 10};
    Append(ten, std::string("TENBYTESID"));
    Append(ten, {2, 'q', 'r', 0});
    TGIFImage gif;
    Bytes before = loop;
    Append(before, other);
    Append(before, ten);
    LoadBytes(gif, SmallGif(before));
    ASSERT_EQ(gif.Count(), 1);
    const TGIFExtensionList& list = gif.Image(0).Extensions();
    ASSERT_EQ(list.Count(), 3);
    auto* ns = dynamic_cast<TGIFAppExtNSLoop*>(&list[0]);
    ASSERT_NE(ns, nullptr);
    EXPECT_EQ(ns->Loops, 0x1234);
    EXPECT_EQ(ns->BufferSize, 1u);
    auto* unknown = dynamic_cast<TGIFUnknownAppExtension*>(&list[1]);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->IdentifierText(), "XMP DataXMP");
    ASSERT_EQ(unknown->Blocks.size(), 2u);
    EXPECT_EQ(unknown->Blocks[0], (Bytes{'a', 'b', 'c'}));
    // A 10-byte identifier block: the byte after it is read as the eleventh byte and again
    // as the first sub-block size.
    auto* tenBytes = dynamic_cast<TGIFUnknownAppExtension*>(&list[2]);
    ASSERT_NE(tenBytes, nullptr);
    ASSERT_EQ(tenBytes->Blocks.size(), 1u);
    EXPECT_EQ(tenBytes->Blocks[0], (Bytes{'q', 'r'}));

    // Written back: the loop under its own identifier, the unknown one as kept.
    const Bytes saved = SaveBytes(gif);
    Bytes expectedLoop = {0x21, 0xFF, 11};
    Append(expectedLoop, std::string("ANIMEXTS1.0"));
    Append(expectedLoop, {3, 1, 0x34, 0x12, 5, 2, 1, 0, 0, 0, 0});
    EXPECT_NE(std::search(saved.begin(), saved.end(), expectedLoop.begin(), expectedLoop.end()), saved.end());
    EXPECT_NE(std::search(saved.begin(), saved.end(), other.begin(), other.end()), saved.end());
}

TEST(GIFStream, TextLinesAreCutAtTheirFirstZeroByte)
{
    Bytes comment = {0x21, 0xFE, 5, 'a', 'b', 0, 'c', 'd', 2, 'e', 'f', 0};
    Bytes text = {0x21, 0x01, 12, 0, 0, 0, 0, 40, 0, 8, 0, 8, 8, 1, 0, 3, 'h', 'i', '!', 0};
    Bytes before = comment;
    Append(before, text);
    TGIFImage gif;
    LoadBytes(gif, SmallGif(before));
    auto* c = dynamic_cast<TGIFCommentExtension*>(&gif.Image(0).Extensions()[0]);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Text, (std::vector<std::string>{"ab", "ef"}));
    auto* t = dynamic_cast<TGIFTextExtension*>(&gif.Image(0).Extensions()[1]);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Text, std::vector<std::string>{"hi!"});
    EXPECT_EQ(t->Record[5], 40);
    // Written back byte for byte (the comment's cut line loses its tail).
    const Bytes saved = SaveBytes(gif);
    EXPECT_NE(std::search(saved.begin(), saved.end(), text.begin(), text.end()), saved.end());
}

TEST(GIFStream, GraphicControlExtensionLinksTransparencyToItsFrame)
{
    WarningLog log;
    TGIFImage gif;
    log.Attach(gif);
    LoadBytes(gif, SmallGif({0x21, 0xF9, 4, 0x01, 10, 0, 3, 0, 0x21, 0xF9, 4, 0x00, 0, 0, 0, 0}));
    TGIFSubImage& frame = gif.Image(0);
    ASSERT_EQ(frame.Extensions().Count(), 2);
    EXPECT_EQ(frame.GraphicControlExtension(), &frame.Extensions()[0]);
    EXPECT_TRUE(frame.Transparent());
    EXPECT_TRUE(gif.HasTransparentFrame());
    TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
    EXPECT_EQ(gce->Delay(), 10);
    EXPECT_EQ(gce->TransparentColorIndex(), 3);

    gce->SetTransparentColorIndex(4);  // the global map has 4 colours
    EXPECT_EQ(gce->TransparentColorIndex(), 0);
    EXPECT_TRUE(log.Has("Invalid color index"));
    gce->SetTransparent(false);
    EXPECT_FALSE(frame.Transparent());
    EXPECT_FALSE(gif.HasTransparentFrame());

    // Deleting the linked extension leaves the frame without one.
    frame.Extensions().Delete(0);
    EXPECT_EQ(frame.GraphicControlExtension(), nullptr);
}

TEST(GIFStream, HasTransparentFrameNeedsTheTransparentBit)
{
    TGIFImage plain;
    LoadBytes(plain, SmallGif());
    EXPECT_FALSE(plain.HasTransparentFrame());
    TGIFImage clear;
    LoadBytes(clear, SmallGif({0x21, 0xF9, 4, 0x00, 0, 0, 2, 0}));
    EXPECT_FALSE(clear.HasTransparentFrame());
    TGIFImage none;
    EXPECT_FALSE(none.HasTransparentFrame());
}

TEST(GIFStream, TransparentFrameFillsUnreachedPixelsWithItsIndex)
{
    Bytes data = Header(2, 2, 2);
    Append(data, {0x21, 0xF9, 4, 0x01, 0, 0, 3, 0});
    Append(data, Descriptor(0, 0, 2, 2));
    CodePacker packer;
    packer.Put(4, 3);
    packer.Put(1, 3);
    packer.Put(5, 3);
    Append(data, ImageData(2, packer.Finish()));
    data.push_back(0x3B);
    TGIFImage gif;
    LoadBytes(gif, data);
    EXPECT_EQ(gif.Image(0).Pixels(), (Bytes{1, 3, 3, 3}));
}

// ---------------------------------------------------------------------------------------------
// Colour maps

TEST(GIFColorMap, BitsPerPixelAndResolution)
{
    TGIFImage gif;
    TGIFColorMap& map = gif.GlobalColorMap();
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {16, 4}, {17, 5}, {128, 7}, {129, 8}, {256, 8}};
    for (const auto& [count, bits] : cases) {
        map.Clear();
        for (int i = 0; i < count; ++i)
            map.Add({static_cast<std::uint8_t>(i), 0, 0});
        EXPECT_EQ(map.BitsPerPixel(), bits) << count;
        EXPECT_EQ(map.ColorResolution(), bits - 1) << count;
    }
    EXPECT_EQ(map.Capacity(), 256);
}

TEST(GIFColorMap, AddFindDeleteAndRead)
{
    WarningLog log;
    TGIFImage gif;
    log.Attach(gif);
    TGIFColorMap& map = gif.GlobalColorMap();
    EXPECT_EQ(map.Add({1, 2, 3}), 0);
    EXPECT_EQ(map.Capacity(), 16);
    EXPECT_EQ(map.Add({9, 9, 9}), 1);
    EXPECT_EQ(map.Add({1, 2, 3}), 2);
    // Unsorted: the last match; sorted: the first.
    EXPECT_EQ(map.IndexOf({1, 2, 3}), 2);
    map.SetSorted(true);
    EXPECT_EQ(map.IndexOf({1, 2, 3}), 0);
    EXPECT_EQ(map.IndexOf({1, 2, 4}), -1);
    EXPECT_EQ(map.AddUnique({9, 9, 9}), 1);
    EXPECT_TRUE(map.Sorted());
    EXPECT_EQ(map.AddUnique({7, 7, 7}), 3);
    EXPECT_FALSE(map.Sorted());

    EXPECT_EQ(map.Colors(1), (TGIFColor{9, 9, 9}));
    EXPECT_EQ(map.Colors(10), (TGIFColor{1, 2, 3}));
    EXPECT_TRUE(log.Has("Invalid color index"));

    map.SetSorted(true);
    map.Delete(0);
    EXPECT_FALSE(map.Sorted());
    EXPECT_EQ(map.Count(), 3);
    EXPECT_EQ(map.Colors(0), (TGIFColor{9, 9, 9}));
    try {
        map.Delete(3);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid color index");
    }

    while (map.Count() < 256)
        map.Add({0, 0, 0});
    try {
        map.Add({1, 1, 1});
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
    map.Clear();
    try {
        map.Colors(0);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color table is empty");
    }
}

TEST(GIFColorMap, ActiveMapIsLocalThenGlobalThenTheEmptyLocal)
{
    TGIFImage gif;
    auto frame = std::make_unique<TGIFSubImage>(&gif);
    TGIFSubImage& f = gif.Add(std::move(frame));
    EXPECT_EQ(&f.ActiveColorMap(), &f.ColorMap());
    gif.GlobalColorMap().Add({1, 1, 1});
    EXPECT_EQ(&f.ActiveColorMap(), &gif.GlobalColorMap());
    f.ColorMap().Add({2, 2, 2});
    EXPECT_EQ(&f.ActiveColorMap(), &f.ColorMap());
}

// ---------------------------------------------------------------------------------------------
// Writing

TEST(GIFStream, VersionFollowsTheFramesAndIsNeverLowerThanTheOneRead)
{
    const auto signature = [](const Bytes& Data) { return std::string(Data.begin(), Data.begin() + 6); };
    // A file read is written in the version it had: a GIF89a without extensions stays GIF89a.
    struct Case {
        const char* Read;
        Bytes Before;
        const char* Written;
    };
    const Case cases[] = {{"GIF87a", {}, "GIF87a"},
                          {"GIF89a", {}, "GIF89a"},
                          {"gif89a", {}, "GIF89a"},
                          {"GIF87a", {0x21, 0xF9, 4, 0, 0, 0, 0, 0}, "GIF89a"},
                          {"GIF89a", {0x21, 0xF9, 4, 0, 0, 0, 0, 0}, "GIF89a"}};
    for (const Case& c : cases) {
        Bytes data = SmallGif(c.Before);
        std::copy_n(c.Read, 6, data.begin());
        TGIFImage gif;
        LoadBytes(gif, data);
        EXPECT_EQ(signature(SaveBytes(gif)), c.Written) << c.Read << " with " << c.Before.size() << " bytes before";
    }

    // An image made anew is GIF87a unless a frame needs more, also after a GIF89a was read
    // into the same object.
    TGIFImage built;
    LoadBytes(built, SmallGif());
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetSize(2, 1);
    built.Assign(&bitmap);
    EXPECT_EQ(signature(SaveBytes(built)), "GIF87a");

    TGIFImage empty;
    try {
        SaveBytes(empty);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported GIF version");
    }
}

TEST(GIFStream, FiveColourLocalTableIsWrittenAsEightEntries)
{
    TGIFImage gif;
    auto& frame = gif.Add(std::make_unique<TGIFSubImage>(&gif));
    frame.SetWidth(3);
    frame.SetHeight(1);
    for (int i = 0; i < 5; ++i)
        frame.ColorMap().Add({static_cast<std::uint8_t>(10 * (i + 1)), static_cast<std::uint8_t>(i), 7});
    frame.Data()[0] = 4;
    frame.Data()[1] = 2;
    const Bytes saved = SaveBytes(gif);

    Bytes expected;
    Append(expected, std::string("GIF87a"));
    Append(expected, {3, 0, 1, 0, 0x22, 0, 0});  // no global table; resolution 2, size 2
    Append(expected, Descriptor(0, 0, 3, 1, 0x82));
    Append(expected, {10, 0, 7, 20, 1, 7, 30, 2, 7, 40, 3, 7, 50, 4, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Append(expected, ImageData(3, ExpectedCodes({4, 2, 0}, 3)));
    expected.push_back(0x3B);
    EXPECT_EQ(saved, expected);
}

TEST(GIFStream, CommentLinesAreWrittenInSubBlocks)
{
    TGIFImage gif;
    auto& frame = gif.Add(std::make_unique<TGIFSubImage>(&gif));
    auto comment = std::make_unique<TGIFCommentExtension>(&frame);
    TGIFCommentExtension& c = *comment;
    frame.Extensions().Add(std::move(comment));

    TMemoryStream stream;
    c.SaveToStream(stream);
    EXPECT_EQ(Contents(stream), (Bytes{0x21, 0xFE, 0}));

    c.Text = {std::string(255, 'x')};
    stream.Clear();
    c.SaveToStream(stream);
    Bytes out = Contents(stream);
    ASSERT_EQ(out.size(), 2u + 1 + 255 + 1);
    EXPECT_EQ(out[2], 255);
    EXPECT_EQ(out.back(), 0);

    c.Text = {std::string(600, 'y'), "", "z"};
    stream.Clear();
    c.SaveToStream(stream);
    out = Contents(stream);
    ASSERT_EQ(out.size(), 2u + 256 + 256 + 91 + 2 + 1);
    EXPECT_EQ(out[2], 255);
    EXPECT_EQ(out[2 + 256], 255);
    EXPECT_EQ(out[2 + 512], 90);
    EXPECT_EQ(out[2 + 512 + 91], 1);
    EXPECT_EQ(out[2 + 512 + 92], 'z');
    EXPECT_EQ(out.back(), 0);

    // An image whose only frame holds extensions and no pixels writes just those.
    const Bytes saved = SaveBytes(gif);
    EXPECT_EQ(saved[13], 0x21);
}

TEST(GIFStream, LoadedFileIsWrittenBackByteForByte)
{
    // GIF89a, global table, a graphic control, a loop, a comment and the image.
    Bytes before = {0x21, 0xF9, 4, 0x05, 7, 0, 2, 0};
    Bytes loop = {0x21, 0xFF, 11};
    Append(loop, std::string("NETSCAPE2.0"));
    Append(loop, {3, 1, 0, 0, 0});
    Append(before, loop);
    Append(before, Comment("hello"));
    Bytes data = Header(2, 2, 2, 3, 49);
    data[10] = 0x91;  // colour resolution 1, table of 4
    Append(data, before);
    Append(data, Descriptor(0, 0, 2, 2));
    Append(data, ImageData(2, ExpectedCodes({0, 1, 1, 0}, 2)));
    data.push_back(0x3B);
    TGIFImage gif;
    LoadBytes(gif, data);
    EXPECT_EQ(SaveBytes(gif), data);
}

TEST(GIFStream, ColourResolutionReadIsWrittenBack)
{
    // Writers fill the field differently (0 for "unknown", 7 for 8 bits per primary): a file
    // read keeps its own; an image made anew takes the size of its largest table.
    for (int resolution = 0; resolution < 8; ++resolution) {
        Bytes data = SmallGif();
        data[10] = static_cast<std::uint8_t>(0x81 | (resolution << 4));
        TGIFImage gif;
        LoadBytes(gif, data);
        EXPECT_EQ(SaveBytes(gif), data) << resolution;
    }
    TGIFImage built;
    LoadBytes(built, SmallGif());
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetSize(3, 1);
    bitmap.SetPixel(1, 0, RGBColor(1, 2, 3));
    bitmap.SetPixel(2, 0, RGBColor(4, 5, 6));
    built.ReductionMethod = 7;
    built.DitherMethod = 1;
    built.Assign(&bitmap);
    const Bytes saved = SaveBytes(built);
    EXPECT_EQ(saved[10] & 0x70, 0x70);  // a 256-entry local table
}

TEST(GIFStream, ImageSizeCannotShrinkBelowItsFrames)
{
    TGIFImage gif;
    LoadBytes(gif, SmallGif());
    try {
        gif.SetWidth(1);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Image width too small for contained frames");
    }
    try {
        gif.SetHeight(1);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Image height too small for contained frames");
    }
    gif.SetWidth(5);
    EXPECT_EQ(gif.Width(), 5);
    EXPECT_EQ(gif.Image(0).Width(), 2);
}

TEST(GIFStream, AddingFramesAndOtherObjects)
{
    TGIFImage gif;
    LoadBytes(gif, SmallGif());
    TGIFImage other;
    other.Add(gif.Image(0));
    ASSERT_EQ(other.Count(), 1);
    EXPECT_EQ(other.Image(0).Pixels(), gif.Image(0).Pixels());
    TGIFGlobalColorMap notAGraphic(&gif);
    try {
        other.Add(notAGraphic);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Object type not supported for operation");
    }
    TGIFSubImage empty(&gif);
    try {
        empty.Data();
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Image is empty");
    }
}

TEST(GIFStream, AssigningAnotherImageCopiesFramesAndExtensions)
{
    TGIFImage gif;
    LoadBytes(gif, SmallGif({0x21, 0xF9, 4, 0x01, 0, 0, 2, 0}, Comment("x")));
    gif.ReductionMethod = 3;
    TGIFImage copy;
    copy.Assign(&gif);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.ReductionMethod, 3);
    EXPECT_TRUE(copy.HasTransparentFrame());
    EXPECT_NE(copy.Image(0).GraphicControlExtension(), gif.Image(0).GraphicControlExtension());
    EXPECT_EQ(SaveBytes(copy), SaveBytes(gif));
    copy.Assign(nullptr);
    EXPECT_EQ(copy.Count(), 0);
}

TEST(GIFStream, DamagedFilesFailCleanlyOrLoad)
{
    // Good files with bytes changed, inserted or cut: each either loads (and can then be
    // turned into a bitmap and saved) or fails with a GIF error; nothing else escapes.
    std::vector<Bytes> seeds;
    seeds.push_back(SmallGif({0x21, 0xF9, 4, 0x01, 0, 0, 2, 0}, Comment("c")));
    {
        Bytes big = Header(40, 30, 8);
        Append(big, Descriptor(0, 0, 40, 30, 0x40));
        Bytes pixels;
        for (int i = 0; i < 1200; ++i)
            pixels.push_back(static_cast<std::uint8_t>((i * 7 + i / 40) & 0xFF));
        Append(big, ImageData(8, ReferenceCodes(pixels, 8), 50));
        big.push_back(0x3B);
        seeds.push_back(big);
    }
    std::mt19937 random(4321);
    int loaded = 0;
    for (int round = 0; round < 1000; ++round) {
        Bytes data = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % data.size();
            switch (random() % 4) {
            case 0:
                data[at] = static_cast<std::uint8_t>(random());
                break;
            case 1:
                data[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
                break;
            case 2:
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random()));
                break;
            default:
                data.resize(std::max<std::size_t>(at, 1));
                break;
            }
        }
        TGIFImage gif;
        try {
            LoadBytes(gif, data);
            ++loaded;
            // (A damaged size can make a frame of millions of pixels: loading it is enough.)
            if (gif.Count() > 0 && static_cast<std::int64_t>(gif.Width()) * gif.Height() < 100000 &&
                gif.Image(0).Pixels().size() < 100000) {
                TBitmap bitmap;
                bitmap.Assign(&gif);
                SaveBytes(gif);
            }
        } catch (const GIFException&) {
        }
    }
    EXPECT_GT(loaded, 50);
}

TEST(GIFStream, UnbuiltEncoderAndRegistration)
{
    TGIFImage gif;
    LoadBytes(gif, SmallGif());
    gif.CompressionMethod = 1;
    EXPECT_THROW(SaveBytes(gif), GIFException);
    const auto format = TPicture::FindFileFormat("gif");
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(format->Description, "GIF Image");
    const auto graphic = format->Factory();
    EXPECT_NE(dynamic_cast<TGIFImage*>(graphic.get()), nullptr);
}
