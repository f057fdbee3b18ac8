#include "png/PngImage.h"

#include "graphics/Picture.h"
#include "png/PngReader.h"
#include "png/PngWriter.h"

namespace {

std::unique_ptr<TGraphic> NewPngImage() { return std::make_unique<PngImage>(); }

const TFileFormatRegistration registration("PNG", "PNG Format", &NewPngImage);

// Installs a progress handler on a bitmap for the duration of a load or save.
class ProgressScope {
public:
    ProgressScope(TBitmap& bitmap, const TProgressEvent& handler) : bitmap_(bitmap), saved_(bitmap.OnProgress)
    {
        if (handler) {
            bitmap_.OnProgress = handler;
        }
    }
    ~ProgressScope() { bitmap_.OnProgress = std::move(saved_); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    TBitmap& bitmap_;
    TProgressEvent saved_;
};

}  // namespace

PngImage::PngImage()
    : Time(PngCurrentTime()), imageBitmap_(std::make_unique<TBitmap>()), internalAlpha_(std::make_unique<TBitmap>())
{
}

PngImage::~PngImage() = default;

void PngImage::Load(TStream& stream, TBitmap& alphaTarget)
{
    PngReader reader;
    reader.SkipMacHeader = SkipMacHeader;
    TPngTime time;
    TPngChromaticities chromaticities;
    TPngGifControl gifControl;
    reader.TimeRecord = &time;
    reader.ChromaticitiesRecord = &chromaticities;
    reader.GifControlRecord = &gifControl;
    internalAlpha_->Assign(nullptr);
    reader.AlphaBitmap = &alphaTarget;
    {
        ProgressScope progress(*imageBitmap_, OnProgress);
        reader.ReadBitmap(imageBitmap_.get(), stream, 0);
    }
    // The records change only when the load succeeds.
    Time = time;
    Chromaticities = chromaticities;
    GifControl = gifControl;
    hasAlpha_ = reader.AlphaChannel();
    Comment = reader.Comment();
    backgroundColor_ = reader.BackgroundColor();
    transparentColor_ = reader.TransparentColor();
    Interlaced = reader.InterlaceMethod();
    Gamma = reader.Gamma();
    PhysUnit = reader.PhysUnit();
    PhysX = reader.PhysX();
    PhysY = reader.PhysY();
    SignificantBits = reader.SignificantBits();
    bitDepth_ = reader.ColorType() == 2 ? reader.BitDepth() * 3 : reader.BitDepth();
    Grayscale = reader.Grayscale();
    loadedPalette_ = reader.ColorType() == 3 ? reader.LoadedPalette() : TPalette{};
    if (!hasAlpha_ && &alphaTarget == internalAlpha_.get()) {
        internalAlpha_->Assign(nullptr);
    }
    Synchronize();
}

void PngImage::Save(TStream& stream, TBitmap* alphaSource)
{
    PngWriter writer;
    writer.CompressionLevel = CompressionLevel;
    writer.FilterMode = FilterMode;
    writer.SetIdatSize(IdatSize);
    writer.Interlaced = Interlaced != 0;
    writer.Grayscale = Grayscale;
    writer.Comment = Comment;
    writer.BackgroundColor = backgroundColor_;
    writer.TransparentColor = transparentColor_;
    writer.Gamma = Gamma;
    writer.SignificantBits = SignificantBits;
    writer.PhysUnit = PhysUnit;
    writer.PhysX = PhysX;
    writer.PhysY = PhysY;
    writer.AutoTime = AutoTime;
    writer.Time = Time;
    writer.Chromaticities = Chromaticities;
    writer.GifControl = GifControl;
    writer.SourcePalette = loadedPalette_;
    if (hasAlpha_) {
        writer.AlphaBitmap = alphaSource;
    }
    ProgressScope progress(*imageBitmap_, OnProgress);
    writer.WriteBitmap(*imageBitmap_, stream);
}

void PngImage::LoadFromStream(TStream& stream) { Load(stream, AlphaBitmap()); }

void PngImage::SaveToStream(TStream& stream) { Save(stream, &AlphaBitmap()); }

void PngImage::ReadData(TStream& stream) { Load(stream, *internalAlpha_); }

void PngImage::WriteData(TStream& stream)
{
    if (!Empty()) {
        Save(stream, internalAlpha_.get());
    }
}

bool PngImage::CopyAlphaTo(TBitmap* bitmap) const
{
    if (internalAlpha_->Empty()) {
        return false;
    }
    if (bitmap != nullptr) {
        bitmap->Assign(internalAlpha_.get());
    }
    return true;
}

void PngImage::Assign(const TPersistent* source)
{
    if (const auto* png = dynamic_cast<const PngImage*>(source)) {
        if (png == this) {
            return;
        }
        imageBitmap_->Assign(png->imageBitmap_.get());
        internalAlpha_->Assign(png->internalAlpha_.get());
        attachedAlpha_ = png->attachedAlpha_;
        CompressionLevel = png->CompressionLevel;
        FilterMode = png->FilterMode;
        IdatSize = png->IdatSize;
        Interlaced = png->Interlaced;
        Grayscale = png->Grayscale;
        Comment = png->Comment;
        backgroundColor_ = png->backgroundColor_;
        transparentColor_ = png->transparentColor_;
        Gamma = png->Gamma;
        SignificantBits = png->SignificantBits;
        PhysUnit = png->PhysUnit;
        PhysX = png->PhysX;
        PhysY = png->PhysY;
        AutoTime = png->AutoTime;
        Time = png->Time;
        Chromaticities = png->Chromaticities;
        hasAlpha_ = png->hasAlpha_;
        bitDepth_ = png->bitDepth_;
        loadedPalette_ = png->loadedPalette_;
        Synchronize();
        return;
    }
    if (const auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        imageBitmap_->Assign(graphic);
        Synchronize();
        return;
    }
    TGraphic::Assign(source);
}

void PngImage::ExchangeBitmap(TBitmap& bitmap)
{
    imageBitmap_->Exchange(bitmap);
    Synchronize();
}

void PngImage::AssignTo(TPersistent& dest) const
{
    if (dynamic_cast<TGraphic*>(&dest) != nullptr) {
        dest.Assign(imageBitmap_.get());
        return;
    }
    TGraphic::AssignTo(dest);
}

void PngImage::SetWidth(int value)
{
    if (!imageBitmap_->Empty()) imageBitmap_->SetWidth(value);
    if (!AlphaBitmap().Empty()) AlphaBitmap().SetWidth(value);
    Changed();
}

void PngImage::SetHeight(int value)
{
    if (!imageBitmap_->Empty()) imageBitmap_->SetHeight(value);
    if (!AlphaBitmap().Empty()) AlphaBitmap().SetHeight(value);
    Changed();
}

void PngImage::SetPalette(const TPalette& palette)
{
    imageBitmap_->SetPalette(palette);
    Changed();
}

void PngImage::SetTransparent(bool value)
{
    if (!synchronizing_ && imageBitmap_->Transparent() != value) {
        imageBitmap_->SetTransparent(value);
    }
    TGraphic::SetTransparent(value);
}

void PngImage::Synchronize()
{
    if (Transparent() == imageBitmap_->Transparent()) {
        Changed();
        return;
    }
    synchronizing_ = true;
    try {
        SetTransparent(imageBitmap_->Transparent());
    } catch (...) {
        synchronizing_ = false;
        throw;
    }
    synchronizing_ = false;
}
