#include "gif/GIFHeader.h"

#include "gif/GIFBytes.h"
#include "gif/GIFFormat.h"
#include "gif/GIFImage.h"
#include "graphics/Stream.h"

#include <cctype>

using namespace gifbytes;

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
        FVersionRead = header->FVersionRead;
        FFlagsRead = header->FFlagsRead;
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
    FVersionRead = TGIFVersion::gvUnknown;
    FFlagsRead = -1;
    Prepare();
}

void TGIFHeader::Prepare()
{
    std::uint8_t flags = 0;
    if (FColorMap.Count() > 0) {
        flags |= GifFormat::GlobalColorTableFlag;
        if (FColorMap.Sorted())
            flags |= GifFormat::GlobalSortFlag;
    }
    const std::uint8_t read = static_cast<std::uint8_t>(FFlagsRead);
    const int resolution =
        FFlagsRead >= 0 ? GifFormat::FieldValue(read, GifFormat::ColorResolutionMask, GifFormat::ColorResolutionShift)
        : FImage        ? FImage->ColorResolution()
                        : FColorMap.ColorResolution();
    // The size field tells readers how many entries the global map that follows has, so it
    // must be that map's own size even when a local map is larger.
    const int bits = FColorMap.Count() > 0 ? FColorMap.BitsPerPixel()
                     : FFlagsRead >= 0     ? GifFormat::FieldValue(read, GifFormat::GlobalColorTableSizeMask) + 1
                     : FImage              ? FImage->BitsPerPixel()
                                           : FColorMap.BitsPerPixel();
    flags |= GifFormat::PackField(resolution, GifFormat::ColorResolutionMask, GifFormat::ColorResolutionShift);
    flags |= GifFormat::PackField(bits - 1, GifFormat::GlobalColorTableSizeMask);
    FFlags = flags;
}

void TGIFHeader::LoadFromStream(TStream& Stream)
{
    const std::int64_t start = Stream.Position();
    const auto isSignature = [](const std::uint8_t* p) {
        return std::toupper(p[0]) == 'G' && std::toupper(p[1]) == 'I' && std::toupper(p[2]) == 'F';
    };
    std::uint8_t signature[GifFormat::SignatureSize];
    ReadExact(Stream, signature, GifFormat::SignatureSize);
    if (!isSignature(signature)) {
        // Some files carry 4 bytes in front of the signature.
        Stream.SetPosition(start + 4);
        ReadExact(Stream, signature, GifFormat::SignatureSize);
        if (!isSignature(signature))
            throw GIFException(GifMessage::BadSignature);
    }
    std::uint8_t descriptor[GifFormat::ScreenDescriptorSize];
    ReadExact(Stream, descriptor, GifFormat::ScreenDescriptorSize);
    const std::uint16_t width = Get16(descriptor);
    const std::uint16_t height = Get16(descriptor + 2);
    CheckGIFPixelCount(width, height, FImage ? FImage->MaxPixels : GIFMaxPixels);
    FWidth = width;
    FHeight = height;
    FFlags = descriptor[4];
    FBackgroundColorIndex = descriptor[5];
    FAspectRatio = descriptor[6];
    FVersionRead = signature[3] == '8' && signature[4] == '9' && std::tolower(signature[5]) == 'a'
                       ? TGIFVersion::gv89a
                       : TGIFVersion::gv87a;
    FFlagsRead = FFlags;
    if (FFlags & GifFormat::GlobalColorTableFlag) {
        FColorMap.LoadFromStream(Stream, 2 << GifFormat::FieldValue(FFlags, GifFormat::GlobalColorTableSizeMask));
        FColorMap.SetSorted((FFlags & GifFormat::GlobalSortFlag) != 0);
    } else {
        FColorMap.Clear();
    }
}

void TGIFHeader::SaveToStream(TStream& Stream)
{
    Prepare();
    const bool is89a = (FImage && FImage->Version() == TGIFVersion::gv89a) || FVersionRead == TGIFVersion::gv89a;
    const char* version = is89a ? GifFormat::Signature89a : GifFormat::Signature87a;
    Stream.WriteBuffer(version, GifFormat::SignatureSize);
    std::uint8_t descriptor[GifFormat::ScreenDescriptorSize];
    Put16(descriptor, FWidth);
    Put16(descriptor + 2, FHeight);
    descriptor[4] = FFlags;
    descriptor[5] = FBackgroundColorIndex;
    descriptor[6] = FAspectRatio;
    Stream.WriteBuffer(descriptor, GifFormat::ScreenDescriptorSize);
    FColorMap.SaveToStream(Stream);
}

// ---------------------------------------------------------------------------------------------
// TGIFTrailer

void TGIFTrailer::LoadFromStream(TStream& Stream)
{
    std::uint8_t b = 0;
    if (ReadByte(Stream, b) && b != GifFormat::Trailer)
        Warning(TGIFSeverity::gsWarning, GifMessage::BadTrailer);
}

void TGIFTrailer::SaveToStream(TStream& Stream)
{
    WriteByte(Stream, GifFormat::Trailer);
}

