#include "gif/GIFImage.h"

#include "gif/GIFBytes.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFFormat.h"
#include "graphics/Picture.h"
#include "graphics/Stream.h"

#include <algorithm>

using namespace gifbytes;

int GIFDefaultReductionMethod = 6;
int GIFDefaultReductionDepth = 8;
int GIFDefaultDitherMethod = 0;
int GIFDefaultCompressionMethod = 0;
unsigned GIFDefaultDrawFlags = 0x060F;

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
    if (Pixels > std::min(MaxPixels, GIFMaxPixels) - FLoadedPixels)
        throw GIFException(GifMessage::TooLarge);
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
            throw GIFException(GifMessage::WidthTooSmall);
    if (Value < 0 || Value > 65535)
        throw GIFException(GifMessage::TooLarge);
    FHeader.SetWidth(Value);
    FreeBitmap();
}

void TGIFImage::SetHeight(int Value)
{
    for (const auto& frame : FImages)
        if (frame->Top() + frame->Height() > Value)
            throw GIFException(GifMessage::HeightTooSmall);
    if (Value < 0 || Value > 65535)
        throw GIFException(GifMessage::TooLarge);
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
        throw GIFException(GifMessage::ObjectType);
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(&Source);
    return Add(std::move(frame));
}

TGIFVersion TGIFImage::Version() const
{
    if (FImages.Count() == 0)
        throw GIFException(GifMessage::Version);
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

int TGIFImage::ImageCount() const noexcept
{
    int count = 0;
    for (const auto& frame : FImages)
        if (!frame->Empty())
            ++count;
    return count;
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
                if (b == GifFormat::Trailer) {
                    StepBack(Stream);
                    break;
                }
                StepBack(Stream);
                if (b != GifFormat::ExtensionIntroducer && b != GifFormat::ImageSeparator) {
                    Warning(&FHeader, TGIFSeverity::gsWarning, GifMessage::UnknownBlock);
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
