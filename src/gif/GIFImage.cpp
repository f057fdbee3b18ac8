#include "gif/GIFImage.h"

#include "gif/GIFBytes.h"
#include "gif/GIFDecoder.h"
#include "gif/GIFEncoder.h"
#include "gif/GIFExtensions.h"
#include "graphics/Picture.h"
#include "graphics/Stream.h"

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace gifbytes;

int GIFDefaultReductionMethod = 6;
int GIFDefaultReductionDepth = 8;
int GIFDefaultDitherMethod = 0;
int GIFDefaultCompressionMethod = 0;
unsigned GIFDefaultDrawFlags = 0x060F;

namespace {

void CheckPixelCount(std::int64_t Width, std::int64_t Height)
{
    if (Width * Height > GIFMaxPixels)
        throw GIFException("Image too large");
}

int MapBitsPerPixel(int Count)
{
    if (Count <= 0)
        return 0;
    int bits = 1;
    while ((1 << bits) < Count)
        ++bits;
    return bits;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TGIFItem

void TGIFItem::Warning(TGIFSeverity Severity, const std::string& Message)
{
    if (FImage)
        FImage->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const std::string& FileName)
{
    TMemoryStream stream;
    SaveToStream(stream);
    stream.SaveToFile(FileName);
}

void TGIFItem::LoadFromFile(const std::string& FileName)
{
    TMemoryStream stream;
    stream.LoadFromFile(FileName);
    LoadFromStream(stream);
}

// ---------------------------------------------------------------------------------------------
// TGIFColorMap

void TGIFColorMap::Assign(const TPersistent* Source)
{
    if (!Source) {
        Clear();
        return;
    }
    if (const auto* map = dynamic_cast<const TGIFColorMap*>(Source)) {
        if (map != this) {
            FColors = map->FColors;
            FCapacity = map->FCapacity;
            FSorted = map->FSorted;
        }
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

void TGIFColorMap::Grow(int Needed)
{
    if (Needed <= FCapacity)
        return;
    FCapacity = Needed <= 16 ? 16 : std::min(256, (Needed + 31) / 32 * 32);
    FColors.reserve(static_cast<std::size_t>(FCapacity));
}

int TGIFColorMap::Add(const TGIFColor& Color)
{
    if (Count() >= 256)
        throw GIFException("Color table overflow");
    Grow(Count() + 1);
    FColors.push_back(Color);
    FSorted = false;
    Changed();
    return Count() - 1;
}

int TGIFColorMap::AddUnique(const TGIFColor& Color)
{
    const int index = IndexOf(Color);
    return index >= 0 ? index : Add(Color);
}

int TGIFColorMap::IndexOf(const TGIFColor& Color) const
{
    if (FSorted) {
        for (int i = 0; i < Count(); ++i)
            if (FColors[static_cast<std::size_t>(i)] == Color)
                return i;
    } else {
        for (int i = Count() - 1; i >= 0; --i)
            if (FColors[static_cast<std::size_t>(i)] == Color)
                return i;
    }
    return -1;
}

void TGIFColorMap::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        throw GIFException("Invalid color index");
    FColors.erase(FColors.begin() + Index);
    FSorted = false;
    Changed();
}

TGIFColor TGIFColorMap::Colors(int Index)
{
    if (FColors.empty())
        throw GIFException("Color table is empty");
    if (Index < 0 || Index >= Count()) {
        Warning(TGIFSeverity::gsWarning, "Invalid color index");
        Index = 0;
    }
    return FColors[static_cast<std::size_t>(Index)];
}

void TGIFColorMap::SetColors(int Index, const TGIFColor& Color)
{
    if (Index < 0 || Index >= Count())
        throw GIFException("Invalid color index");
    FColors[static_cast<std::size_t>(Index)] = Color;
    Changed();
}

void TGIFColorMap::Clear()
{
    FColors.clear();
    FCapacity = 0;
    FSorted = false;
    Changed();
}

void TGIFColorMap::SetData(const TGIFPalette& Colors)
{
    if (Colors.size() > 256)
        throw GIFException("Color table overflow");
    Grow(static_cast<int>(Colors.size()));
    FColors = Colors;
    FSorted = false;
    Changed();
}

int TGIFColorMap::BitsPerPixel() const noexcept
{
    return MapBitsPerPixel(Count());
}

void TGIFColorMap::LoadFromStream(TStream& Stream, int Count)
{
    Count = std::clamp(Count, 0, 256);
    std::uint8_t raw[256 * 3];
    ReadExact(Stream, raw, Count * 3);
    TGIFPalette colors(static_cast<std::size_t>(Count));
    for (int i = 0; i < Count; ++i)
        colors[static_cast<std::size_t>(i)] = {raw[3 * i], raw[3 * i + 1], raw[3 * i + 2]};
    FCapacity = 0;
    Grow(Count);
    FColors = std::move(colors);
    FSorted = false;
    Changed();
}

void TGIFColorMap::SaveToStream(TStream& Stream) const
{
    if (FColors.empty())
        return;
    // Padded with black to a power of two.
    const int entries = 1 << BitsPerPixel();
    std::uint8_t raw[256 * 3] = {};
    for (int i = 0; i < Count(); ++i) {
        raw[3 * i] = FColors[static_cast<std::size_t>(i)].Red;
        raw[3 * i + 1] = FColors[static_cast<std::size_t>(i)].Green;
        raw[3 * i + 2] = FColors[static_cast<std::size_t>(i)].Blue;
    }
    Stream.WriteBuffer(raw, entries * 3);
}

void TGIFColorMap::Warning(TGIFSeverity Severity, const std::string& Message)
{
    if (TGIFImage* image = OwnerImage())
        image->Warning(this, Severity, Message);
}

namespace {

struct TUsage {
    std::uint32_t Count;
    int Index;
};

// Descending by count. Equal counts end up in whatever order this particular partition
// scheme leaves them; the files written depend on it, so it stays exactly so.
void SortByUse(std::vector<TUsage>& Pairs, int Lo, int Hi)
{
    int i;
    do {
        i = Lo;
        int j = Hi;
        const std::uint32_t pivot = Pairs[static_cast<std::size_t>((Lo + Hi) / 2)].Count;
        do {
            while (Pairs[static_cast<std::size_t>(i)].Count > pivot)
                ++i;
            while (Pairs[static_cast<std::size_t>(j)].Count < pivot)
                --j;
            if (i <= j) {
                std::swap(Pairs[static_cast<std::size_t>(i)], Pairs[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (Lo < j)
            SortByUse(Pairs, Lo, j);
        Lo = i;
    } while (i < Hi);
}

} // namespace

void TGIFColorMap::SortColorsByUse()
{
    if (Count() < 2)
        return;
    FSorted = true;
    const std::vector<std::uint32_t> histogram = BuildHistogram();
    std::vector<TUsage> pairs(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        pairs[static_cast<std::size_t>(i)] = {histogram[static_cast<std::size_t>(i)], i};
    SortByUse(pairs, 0, Count() - 1);

    bool unchanged = true;
    for (int k = 0; k < Count(); ++k)
        if (pairs[static_cast<std::size_t>(k)].Index != k)
            unchanged = false;
    if (unchanged)
        return;

    std::vector<int> map(static_cast<std::size_t>(Count()));
    TGIFPalette colors(static_cast<std::size_t>(Count()));
    int used = 0;
    for (int k = 0; k < Count(); ++k) {
        const TUsage& pair = pairs[static_cast<std::size_t>(k)];
        map[static_cast<std::size_t>(pair.Index)] = k;
        colors[static_cast<std::size_t>(k)] = FColors[static_cast<std::size_t>(pair.Index)];
        if (pair.Count > 0)
            used = k + 1;
    }
    MapImages(map);
    colors.resize(static_cast<std::size_t>(used));
    FColors = std::move(colors);
    Changed();
}

namespace {

void CountPixels(const TGIFSubImage& Frame, std::vector<std::uint32_t>& Histogram)
{
    std::uint32_t counts[256] = {};
    for (std::uint8_t pixel : Frame.Pixels())
        ++counts[pixel];
    for (std::size_t i = 0; i < Histogram.size(); ++i)
        Histogram[i] += counts[i];
}

void RemapFrame(TGIFSubImage& Frame, const std::vector<int>& Map)
{
    std::uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0; i < Map.size() && i < 256; ++i)
        table[i] = static_cast<std::uint8_t>(Map[i]);
    if (!Frame.Empty()) {
        std::uint8_t* p = Frame.Data();
        const std::size_t count = Frame.Pixels().size();
        for (std::size_t i = 0; i < count; ++i)
            p[i] = table[p[i]];
    }
    if (Frame.Transparent()) {
        if (TGIFGraphicControlExtension* gce = Frame.GraphicControlExtension()) {
            const std::uint8_t index = gce->TransparentColorIndex();
            if (index < Map.size())
                gce->SetTransparentColorIndex(table[index]);
        }
    }
    Frame.FreeBitmap();
}

} // namespace

std::vector<std::uint32_t> TGIFGlobalColorMap::BuildHistogram()
{
    std::vector<std::uint32_t> histogram(static_cast<std::size_t>(Count()), 0);
    if (FImage)
        for (const auto& frame : FImage->Images())
            if (frame->ColorMap().Count() == 0)
                CountPixels(*frame, histogram);
    return histogram;
}

void TGIFGlobalColorMap::MapImages(const std::vector<int>& Map)
{
    if (FImage)
        for (const auto& frame : FImage->Images())
            if (frame->ColorMap().Count() == 0)
                RemapFrame(*frame, Map);
}

void TGIFGlobalColorMap::Changed()
{
    if (FImage)
        FImage->FreeBitmap();
}

std::vector<std::uint32_t> TGIFLocalColorMap::BuildHistogram()
{
    std::vector<std::uint32_t> histogram(static_cast<std::size_t>(Count()), 0);
    CountPixels(*FFrame, histogram);
    return histogram;
}

void TGIFLocalColorMap::MapImages(const std::vector<int>& Map)
{
    RemapFrame(*FFrame, Map);
}

void TGIFLocalColorMap::Changed()
{
    FFrame->FreeBitmap();
}

TGIFImage* TGIFLocalColorMap::OwnerImage() const
{
    return FFrame->Image();
}

// ---------------------------------------------------------------------------------------------
// TGIFHeader

TGIFHeader::TGIFHeader(TGIFImage* Image) : TGIFItem(Image), FColorMap(Image) {}

void TGIFHeader::Assign(const TPersistent* Source)
{
    if (const auto* header = dynamic_cast<const TGIFHeader*>(Source)) {
        FWidth = header->FWidth;
        FHeight = header->FHeight;
        FFlags = header->FFlags;
        FBackgroundColorIndex = header->FBackgroundColorIndex;
        FAspectRatio = header->FAspectRatio;
        FColorMap.Assign(&header->FColorMap);
        return;
    }
    if (!Source) {
        Clear();
        return;
    }
    TGIFItem::Assign(Source);
}

void TGIFHeader::Clear()
{
    FColorMap.Clear();
    FWidth = 0;
    FHeight = 0;
    Prepare();
}

void TGIFHeader::Prepare()
{
    std::uint8_t flags = 0;
    if (FColorMap.Count() > 0) {
        flags |= 0x80;
        if (FColorMap.Sorted())
            flags |= 0x08;
    }
    const int resolution = FImage ? FImage->ColorResolution() : FColorMap.ColorResolution();
    // The size field tells readers how many entries the global map that follows has, so it
    // must be that map's own size even when a local map is larger.
    const int bits = FColorMap.Count() > 0 ? FColorMap.BitsPerPixel()
                                           : (FImage ? FImage->BitsPerPixel() : FColorMap.BitsPerPixel());
    flags |= static_cast<std::uint8_t>((resolution & 7) << 4);
    flags |= static_cast<std::uint8_t>((bits - 1) & 7);
    FFlags = flags;
}

void TGIFHeader::LoadFromStream(TStream& Stream)
{
    const std::int64_t start = Stream.Position();
    const auto isSignature = [](const std::uint8_t* p) {
        return std::toupper(p[0]) == 'G' && std::toupper(p[1]) == 'I' && std::toupper(p[2]) == 'F';
    };
    std::uint8_t signature[6];
    ReadExact(Stream, signature, 6);
    if (!isSignature(signature)) {
        // Some files carry 4 bytes in front of the signature.
        Stream.SetPosition(start + 4);
        ReadExact(Stream, signature, 6);
        if (!isSignature(signature))
            throw GIFException("Invalid GIF signature");
    }
    std::uint8_t descriptor[7];
    ReadExact(Stream, descriptor, 7);
    const std::uint16_t width = Get16(descriptor);
    const std::uint16_t height = Get16(descriptor + 2);
    CheckPixelCount(width, height);
    FWidth = width;
    FHeight = height;
    FFlags = descriptor[4];
    FBackgroundColorIndex = descriptor[5];
    FAspectRatio = descriptor[6];
    if (FFlags & 0x80) {
        FColorMap.LoadFromStream(Stream, 2 << (FFlags & 7));
        FColorMap.SetSorted((FFlags & 0x08) != 0);
    } else {
        FColorMap.Clear();
    }
}

void TGIFHeader::SaveToStream(TStream& Stream)
{
    Prepare();
    const char* version = FImage && FImage->Version() == TGIFVersion::gv89a ? "GIF89a" : "GIF87a";
    Stream.WriteBuffer(version, 6);
    std::uint8_t descriptor[7];
    Put16(descriptor, FWidth);
    Put16(descriptor + 2, FHeight);
    descriptor[4] = FFlags;
    descriptor[5] = FBackgroundColorIndex;
    descriptor[6] = FAspectRatio;
    Stream.WriteBuffer(descriptor, 7);
    FColorMap.SaveToStream(Stream);
}

// ---------------------------------------------------------------------------------------------
// TGIFSubImage

TGIFSubImage::TGIFSubImage(TGIFImage* Image) : TGIFItem(Image), FColorMap(this), FExtensions(Image) {}

TGIFSubImage::~TGIFSubImage()
{
    // The extensions must not call back into a frame that is half gone.
    FGCE = nullptr;
    FExtensions.Clear();
}

void TGIFSubImage::ExtensionDestroyed(TGIFExtension* Extension)
{
    if (FGCE == Extension)
        FGCE = nullptr;
}

void TGIFSubImage::Clear()
{
    FExtensions.Clear();
    FColorMap.Clear();
    FData.clear();
    FData.shrink_to_fit();
    FWidth = 0;
    FHeight = 0;
    FTransparent = false;
    FGCE = nullptr;
    FreeBitmap();
}

TGIFVersion TGIFSubImage::Version() const
{
    if (FColorMap.Sorted() || FExtensions.Count() > 0)
        return TGIFVersion::gv89a;
    return TGIFVersion::gv87a;
}

void TGIFSubImage::SetLeft(int Value)
{
    FLeft = static_cast<std::uint16_t>(std::clamp(Value, 0, 65535));
}

void TGIFSubImage::SetTop(int Value)
{
    FTop = static_cast<std::uint16_t>(std::clamp(Value, 0, 65535));
}

void TGIFSubImage::Reallocate()
{
    CheckPixelCount(FWidth, FHeight);
    FData.assign(static_cast<std::size_t>(FWidth) * FHeight, 0);
    FreeBitmap();
}

void TGIFSubImage::SetWidth(int Value)
{
    if (Value < 0 || Value > 65535 || FLeft + Value > 65535)
        throw GIFException("Image too large");
    CheckPixelCount(Value, FHeight);
    FWidth = static_cast<std::uint16_t>(Value);
    Reallocate();
    if (FImage && FLeft + FWidth > FImage->Header().Width()) {
        if (FImage->Header().Width() != 0) {
            Warning(TGIFSeverity::gsWarning, "Image width too small for contained frames");
            Warning(TGIFSeverity::gsWarning, "Image exceeds Logical Screen size");
        }
        FImage->Header().SetWidth(FLeft + FWidth);
        FImage->FreeBitmap();
    }
}

void TGIFSubImage::SetHeight(int Value)
{
    if (Value < 0 || Value > 65535 || FTop + Value > 65535)
        throw GIFException("Image too large");
    CheckPixelCount(FWidth, Value);
    FHeight = static_cast<std::uint16_t>(Value);
    Reallocate();
    if (FImage && FTop + FHeight > FImage->Header().Height()) {
        if (FImage->Header().Height() != 0) {
            Warning(TGIFSeverity::gsWarning, "Image height too small for contained frames");
            Warning(TGIFSeverity::gsWarning, "Image exceeds Logical Screen size");
        }
        FImage->Header().SetHeight(FTop + FHeight);
        FImage->FreeBitmap();
    }
}

void TGIFSubImage::SetInterlaced(bool Value)
{
    if (Value)
        FFlags |= 0x40;
    else
        FFlags &= static_cast<std::uint8_t>(~0x40);
}

std::uint8_t* TGIFSubImage::Data()
{
    if (FWidth == 0 || FHeight == 0 || FData.empty())
        throw GIFException("Image is empty");
    FreeBitmap();
    return FData.data();
}

std::uint8_t TGIFSubImage::Pixel(int X, int Y) const
{
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        throw GIFException("Invalid pixel position");
    return FData[static_cast<std::size_t>(Y) * FWidth + static_cast<std::size_t>(X)];
}

void TGIFSubImage::SetPixel(int X, int Y, std::uint8_t Index)
{
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        throw GIFException("Invalid pixel position");
    FData[static_cast<std::size_t>(Y) * FWidth + static_cast<std::size_t>(X)] = Index;
    FreeBitmap();
}

TGIFColorMap& TGIFSubImage::ActiveColorMap()
{
    if (FColorMap.Count() > 0)
        return FColorMap;
    if (FImage && FImage->GlobalColorMap().Count() > 0)
        return FImage->GlobalColorMap();
    return FColorMap;
}

void TGIFSubImage::LoadFromStream(TStream& Stream)
{
    Clear();

    // Extensions, up to the image descriptor or the trailer.
    std::uint8_t b = 0;
    bool ended = !ReadByte(Stream, b);
    while (!ended && b != 0x2C && b != 0x3B) {
        if (b != 0x21) {
            Warning(TGIFSeverity::gsWarning, "Invalid extension introducer");
            break;
        }
        const std::uint8_t label = ReadByteExact(Stream);
        StepBack(Stream);
        const TGIFExtensionClass* cls = TExtensionList::Find(label);
        if (!cls)
            throw GIFException("Unknown extension type");
        for (;;) {
            const TGIFExtensionClass* sub = cls->FindSubClass(Stream);
            if (sub == cls)
                break;
            cls = sub;
        }
        StepBack(Stream);  // to the introducer
        std::unique_ptr<TGIFExtension> extension = cls->Create(this);
        extension->LoadFromStream(Stream);
        FExtensions.Add(std::move(extension));
        ended = !ReadByte(Stream, b);
    }
    if (!ended)
        StepBack(Stream);

    // Extensions alone, without an image.
    std::uint8_t next = 0;
    if (!ReadByte(Stream, next))
        return;
    StepBack(Stream);
    if (next == 0x3B || next == 0x00)
        return;

    std::uint8_t descriptor[10];
    ReadExact(Stream, descriptor, 10);
    FSeparator = descriptor[0];
    FLeft = Get16(descriptor + 1);
    FTop = Get16(descriptor + 3);
    FWidth = Get16(descriptor + 5);
    FHeight = Get16(descriptor + 7);
    FFlags = descriptor[9];
    if (FWidth == 0 || FHeight == 0) {
        if (FImage) {
            FWidth = static_cast<std::uint16_t>(FImage->Header().Width());
            FHeight = static_cast<std::uint16_t>(FImage->Header().Height());
        }
        Warning(TGIFSeverity::gsWarning, "Image exceeds Logical Screen size");
    }
    CheckPixelCount(FWidth, FHeight);
    // Many large frames in a small file must not add up to more memory than one frame may
    // take.
    if (FImage)
        FImage->ReserveFramePixels(static_cast<std::int64_t>(FWidth) * FHeight);

    if (FFlags & 0x80) {
        FColorMap.LoadFromStream(Stream, 2 << (FFlags & 7));
        FColorMap.SetSorted((FFlags & 0x20) != 0);
    }

    FData.resize(static_cast<std::size_t>(FWidth) * FHeight);
    const std::uint8_t fill = (FTransparent && FGCE) ? FGCE->TransparentColorIndex() : 0;
    TGIFDecoder::DecodeImageData(Stream, FData.data(), FWidth, FHeight, Interlaced(), fill,
                                 [this](const std::string& message) { Warning(TGIFSeverity::gsWarning, message); });
}

void TGIFSubImage::SaveToStream(TStream& Stream)
{
    for (const auto& extension : FExtensions)
        extension->SaveToStream(Stream);
    if (Empty())
        return;

    if (FColorMap.Count() > 0) {
        FFlags = static_cast<std::uint8_t>((FFlags & 0x40) | 0x80 | (FColorMap.Sorted() ? 0x20 : 0) |
                                           (FColorMap.ColorResolution() & 7));
    } else {
        FFlags &= static_cast<std::uint8_t>(~(0x80 | 0x20 | 0x07));
    }
    std::uint8_t descriptor[10];
    descriptor[0] = 0x2C;
    Put16(descriptor + 1, FLeft);
    Put16(descriptor + 3, FTop);
    Put16(descriptor + 5, FWidth);
    Put16(descriptor + 7, FHeight);
    descriptor[9] = FFlags;
    Stream.WriteBuffer(descriptor, 10);
    FColorMap.SaveToStream(Stream);

    int bitsPerPixel;
    int maxColor;
    if (FColorMap.Count() > 0) {
        bitsPerPixel = FColorMap.BitsPerPixel();
        maxColor = FColorMap.Count();
    } else {
        bitsPerPixel = FImage ? FImage->BitsPerPixel() : 8;
        maxColor = 1 << bitsPerPixel;
    }
    const int method = FImage ? FImage->CompressionMethod : 0;
    if (method != 0)
        throw GIFException("Unsupported compression method");
    TLZWEncoder encoder;
    if (FImage) {
        TGIFImage* image = FImage;
        encoder.SetWarning([image, this](const std::string& message) {
            image->Warning(this, TGIFSeverity::gsWarning, message);
        });
    }
    encoder.EncodeImageData(Stream, bitsPerPixel, maxColor, FData.data(), Interlaced(), FHeight, FWidth);
}

void TGIFSubImage::CopyFrom(const TGIFSubImage& Source)
{
    Clear();
    FSeparator = Source.FSeparator;
    FLeft = Source.FLeft;
    FTop = Source.FTop;
    FWidth = Source.FWidth;
    FHeight = Source.FHeight;
    FFlags = Source.FFlags;
    FColorMap.Assign(&Source.FColorMap);
    FData = Source.FData;
    FTransparent = Source.FTransparent;
    for (const auto& extension : Source.FExtensions) {
        auto copy = extension->Clone(this);
        // The copy of the source's own graphic control extension is this frame's.
        if (extension.get() == Source.FGCE)
            FGCE = static_cast<TGIFGraphicControlExtension*>(copy.get());
        FExtensions.Add(std::move(copy));
    }
}

void TGIFSubImage::FreeBitmap()
{
    FBitmap.reset();
}

// ---------------------------------------------------------------------------------------------
// TGIFTrailer

void TGIFTrailer::LoadFromStream(TStream& Stream)
{
    std::uint8_t b = 0;
    if (ReadByte(Stream, b) && b != 0x3B)
        Warning(TGIFSeverity::gsWarning, "Invalid Image trailer");
}

void TGIFTrailer::SaveToStream(TStream& Stream)
{
    WriteByte(Stream, 0x3B);
}

// ---------------------------------------------------------------------------------------------
// TGIFImage

TGIFImage::TGIFImage()
    : ReductionMethod(GIFDefaultReductionMethod),
      ReductionDepth(GIFDefaultReductionDepth),
      DitherMethod(GIFDefaultDitherMethod),
      CompressionMethod(GIFDefaultCompressionMethod),
      DrawFlags(GIFDefaultDrawFlags),
      FHeader(this),
      FImages(this)
{
    FHeader.Prepare();
}

TGIFImage::~TGIFImage() = default;

void TGIFImage::Warning(TPersistent* Item, TGIFSeverity Severity, const std::string& Message)
{
    if (WarningHandler)
        WarningHandler(*this, Item, Severity, Message);
}

void TGIFImage::FreeBitmap()
{
    FBitmap.reset();
}

void TGIFImage::Changed()
{
    FreeBitmap();
    TGraphic::Changed();
}

void TGIFImage::ReserveFramePixels(std::int64_t Pixels)
{
    if (Pixels > GIFMaxPixels - FLoadedPixels)
        throw GIFException("Image too large");
    FLoadedPixels += Pixels;
}

void TGIFImage::Clear()
{
    FLoadedPixels = 0;
    FImages.Clear();
    FHeader.Clear();
    FreeBitmap();
}

void TGIFImage::SetWidth(int Value)
{
    for (const auto& frame : FImages)
        if (frame->Left() + frame->Width() > Value)
            throw GIFException("Image width too small for contained frames");
    if (Value < 0 || Value > 65535)
        throw GIFException("Image too large");
    FHeader.SetWidth(Value);
    FreeBitmap();
}

void TGIFImage::SetHeight(int Value)
{
    for (const auto& frame : FImages)
        if (frame->Top() + frame->Height() > Value)
            throw GIFException("Image height too small for contained frames");
    if (Value < 0 || Value > 65535)
        throw GIFException("Image too large");
    FHeader.SetHeight(Value);
    FreeBitmap();
}

TGIFSubImage& TGIFImage::Add(std::unique_ptr<TGIFSubImage> Frame)
{
    FreeBitmap();
    return FImages.Add(std::move(Frame));
}

TGIFSubImage& TGIFImage::Add(const TPersistent& Source)
{
    if (!dynamic_cast<const TGIFSubImage*>(&Source) && !dynamic_cast<const TGraphic*>(&Source))
        throw GIFException("Object type not supported for operation");
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(&Source);
    return Add(std::move(frame));
}

TGIFVersion TGIFImage::Version() const
{
    if (FImages.Count() == 0)
        throw GIFException("Unsupported GIF version");
    TGIFVersion version = TGIFVersion::gv87a;
    for (const auto& frame : FImages)
        if (frame->Version() == TGIFVersion::gv89a)
            version = TGIFVersion::gv89a;
    return version;
}

int TGIFImage::BitsPerPixel() const
{
    int bits = FHeader.ColorMap().BitsPerPixel();
    for (const auto& frame : FImages)
        bits = std::max(bits, frame->ColorMap().BitsPerPixel());
    return bits;
}

int TGIFImage::ColorResolution() const
{
    int resolution = FHeader.ColorMap().ColorResolution();
    for (const auto& frame : FImages)
        resolution = std::max(resolution, frame->ColorMap().ColorResolution());
    return resolution;
}

bool TGIFImage::HasTransparentFrame() const
{
    for (const auto& frame : FImages)
        if (const TGIFGraphicControlExtension* gce = frame->GraphicControlExtension())
            if (gce->Transparent())
                return true;
    return false;
}

void TGIFImage::LoadFromStream(TStream& Stream)
{
    Clear();
    const std::int64_t start = Stream.Position();
    try {
        FHeader.LoadFromStream(Stream);

        // Zero bytes between blocks are skipped; the end of the stream ends the list.
        const auto readNonZero = [&Stream](std::uint8_t& b) {
            do {
                if (!ReadByte(Stream, b))
                    return false;
            } while (b == 0);
            return true;
        };
        std::uint8_t b = 0;
        if (readNonZero(b)) {
            for (;;) {
                if (b == 0x3B) {
                    StepBack(Stream);
                    break;
                }
                StepBack(Stream);
                if (b != 0x21 && b != 0x2C) {
                    Warning(&FHeader, TGIFSeverity::gsWarning, "Unknown GIF block type");
                    break;
                }
                auto frame = std::make_unique<TGIFSubImage>(this);
                frame->LoadFromStream(Stream);
                FImages.Add(std::move(frame));
                if (!readNonZero(b))
                    break;
            }
        }
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(Stream);
    } catch (...) {
        Stream.SetPosition(start);
        FreeBitmap();
        throw;
    }
    FreeBitmap();
    SetModified(false);
}

void TGIFImage::SaveToStream(TStream& Stream)
{
    Version();  // refuses an image without frames before anything is written
    FHeader.SaveToStream(Stream);
    for (const auto& frame : FImages)
        frame->SaveToStream(Stream);
    TGIFTrailer trailer(this);
    trailer.SaveToStream(Stream);
}

void TGIFImage::LoadFromFile(const std::string& FileName)
{
    TMemoryStream stream;
    stream.LoadFromFile(FileName);
    LoadFromStream(stream);
}

void TGIFImage::SaveToFile(const std::string& FileName)
{
    TMemoryStream stream;
    SaveToStream(stream);
    stream.SaveToFile(FileName);
}

void TGIFImage::CopyFrom(const TGIFImage& Source)
{
    Clear();
    FHeader.Assign(&Source.FHeader);
    for (const auto& frame : Source.FImages) {
        auto copy = std::make_unique<TGIFSubImage>(this);
        copy->Assign(frame.get());
        FImages.Add(std::move(copy));
    }
    ReductionMethod = Source.ReductionMethod;
    DitherMethod = Source.DitherMethod;
    DrawFlags = Source.DrawFlags;
}

void TGIFImage::Assign(const TPersistent* Source)
{
    if (!Source) {
        Clear();
        Changed();
        return;
    }
    if (Source == this)
        return;
    if (const auto* gif = dynamic_cast<const TGIFImage*>(Source)) {
        CopyFrom(*gif);
        Changed();
        return;
    }
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
        if (bitmap == FBitmap.get()) {
            // The image's own rendering goes away with the clear below.
            TBitmap copy;
            copy.Assign(bitmap);
            Assign(&copy);
            return;
        }
        Clear();
        auto frame = std::make_unique<TGIFSubImage>(this);
        try {
            frame->AssignFromBitmap(*bitmap);
        } catch (const EConvertError&) {
            frame.reset();
            TGraphic::Assign(Source);
            return;
        }
        FImages.Add(std::move(frame));
        Changed();
        return;
    }
    TGraphic::Assign(Source);
}

void TGIFImage::AssignTo(TPersistent& Dest) const
{
    if (auto* bitmap = dynamic_cast<TBitmap*>(&Dest)) {
        auto* self = const_cast<TGIFImage*>(this);
        const TBitmap* own = self->Bitmap();
        bitmap->Assign(own);
        return;
    }
    TGraphic::AssignTo(Dest);
}

namespace {

std::unique_ptr<TGraphic> CreateGIFImage()
{
    return std::make_unique<TGIFImage>();
}

const TFileFormatRegistration GIFRegistration("GIF", "GIF Image", &CreateGIFImage);

} // namespace
