#include "gif/GIFFrame.h"

#include "gif/GIFBytes.h"
#include "gif/GIFDecoder.h"
#include "gif/GIFEncoder.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFFormat.h"
#include "gif/GIFImage.h"
#include "graphics/Stream.h"

#include <algorithm>

using namespace gifbytes;

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
    CheckGIFPixelCount(FWidth, FHeight);
    FData.assign(static_cast<std::size_t>(FWidth) * FHeight, 0);
    FreeBitmap();
}

void TGIFSubImage::SetWidth(int Value)
{
    if (Value < 0 || Value > 65535 || FLeft + Value > 65535)
        throw GIFException(GifMessage::TooLarge);
    CheckGIFPixelCount(Value, FHeight);
    FWidth = static_cast<std::uint16_t>(Value);
    Reallocate();
    if (FImage && FLeft + FWidth > FImage->Header().Width()) {
        if (FImage->Header().Width() != 0) {
            Warning(TGIFSeverity::gsWarning, GifMessage::WidthTooSmall);
            Warning(TGIFSeverity::gsWarning, GifMessage::ExceedsScreen);
        }
        FImage->Header().SetWidth(FLeft + FWidth);
        FImage->FreeBitmap();
    }
}

void TGIFSubImage::SetHeight(int Value)
{
    if (Value < 0 || Value > 65535 || FTop + Value > 65535)
        throw GIFException(GifMessage::TooLarge);
    CheckGIFPixelCount(FWidth, Value);
    FHeight = static_cast<std::uint16_t>(Value);
    Reallocate();
    if (FImage && FTop + FHeight > FImage->Header().Height()) {
        if (FImage->Header().Height() != 0) {
            Warning(TGIFSeverity::gsWarning, GifMessage::HeightTooSmall);
            Warning(TGIFSeverity::gsWarning, GifMessage::ExceedsScreen);
        }
        FImage->Header().SetHeight(FTop + FHeight);
        FImage->FreeBitmap();
    }
}

void TGIFSubImage::SetInterlaced(bool Value)
{
    if (Value)
        FFlags |= GifFormat::InterlaceFlag;
    else
        FFlags &= static_cast<std::uint8_t>(~GifFormat::InterlaceFlag);
}

std::uint8_t* TGIFSubImage::Data()
{
    if (FWidth == 0 || FHeight == 0 || FData.empty())
        throw GIFException(GifMessage::ImageEmpty);
    FreeBitmap();
    return FData.data();
}

std::uint8_t TGIFSubImage::Pixel(int X, int Y) const
{
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        throw GIFException(GifMessage::PixelPosition);
    return FData[static_cast<std::size_t>(Y) * FWidth + static_cast<std::size_t>(X)];
}

void TGIFSubImage::SetPixel(int X, int Y, std::uint8_t Index)
{
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        throw GIFException(GifMessage::PixelPosition);
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
    while (!ended && b != GifFormat::ImageSeparator && b != GifFormat::Trailer) {
        if (b != GifFormat::ExtensionIntroducer) {
            Warning(TGIFSeverity::gsWarning, GifMessage::BadIntroducer);
            break;
        }
        const std::uint8_t label = ReadByteExact(Stream);
        StepBack(Stream);
        const TGIFExtensionClass* cls = TExtensionList::Find(label);
        if (!cls)
            throw GIFException(GifMessage::UnknownExtension);
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

    // Extensions alone, without an image: the trailer or a stray zero byte follows.
    std::uint8_t next = 0;
    if (!ReadByte(Stream, next))
        return;
    StepBack(Stream);
    if (next == GifFormat::Trailer || next == GifFormat::BlockTerminator)
        return;

    std::uint8_t descriptor[GifFormat::ImageDescriptorSize];
    ReadExact(Stream, descriptor, GifFormat::ImageDescriptorSize);
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
        Warning(TGIFSeverity::gsWarning, GifMessage::ExceedsScreen);
    }
    CheckGIFPixelCount(FWidth, FHeight, FImage ? FImage->MaxPixels : GIFMaxPixels);
    // Many large frames in a small file must not add up to more memory than one frame may
    // take.
    if (FImage)
        FImage->ReserveFramePixels(static_cast<std::int64_t>(FWidth) * FHeight);

    if (FFlags & GifFormat::LocalColorTableFlag) {
        FColorMap.LoadFromStream(Stream, 2 << GifFormat::FieldValue(FFlags, GifFormat::LocalColorTableSizeMask));
        FColorMap.SetSorted((FFlags & GifFormat::LocalSortFlag) != 0);
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
        FFlags = static_cast<std::uint8_t>((FFlags & GifFormat::InterlaceFlag) | GifFormat::LocalColorTableFlag |
                                           (FColorMap.Sorted() ? GifFormat::LocalSortFlag : 0) |
                                           GifFormat::PackField(FColorMap.ColorResolution(),
                                                                GifFormat::LocalColorTableSizeMask));
    } else {
        FFlags &= static_cast<std::uint8_t>(
            ~(GifFormat::LocalColorTableFlag | GifFormat::LocalSortFlag | GifFormat::LocalColorTableSizeMask));
    }
    std::uint8_t descriptor[GifFormat::ImageDescriptorSize];
    descriptor[0] = GifFormat::ImageSeparator;
    Put16(descriptor + 1, FLeft);
    Put16(descriptor + 3, FTop);
    Put16(descriptor + 5, FWidth);
    Put16(descriptor + 7, FHeight);
    descriptor[9] = FFlags;
    Stream.WriteBuffer(descriptor, GifFormat::ImageDescriptorSize);
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
        throw GIFException(GifMessage::CompressionMethod);
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

