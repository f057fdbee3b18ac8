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
    ProgressScope(TBitmap& bitmap, const TProgressEvent& handler) : FBitmap(bitmap), FSaved(bitmap.OnProgress)
    {
        if (handler) {
            FBitmap.OnProgress = handler;
        }
    }
    ~ProgressScope() { FBitmap.OnProgress = std::move(FSaved); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    TBitmap& FBitmap;
    TProgressEvent FSaved;
};

}  // namespace

PngImage::PngImage()
    : Time(PngCurrentTime()), FImageBitmap(std::make_unique<TBitmap>()), FInternalAlpha(std::make_unique<TBitmap>())
{
}

PngImage::~PngImage() = default;

void PngImage::Load(TStream& stream, TBitmap& alphaTarget)
{
    PngReader reader;
    reader.SkipMacHeader = SkipMacHeader;
    reader.MaxPixels = MaxPixels;
    TPngTime time;
    TPngChromaticities chromaticities;
    TPngGifControl gifControl;
    TPngChunks kept;
    reader.TimeRecord = &time;
    reader.ChromaticitiesRecord = &chromaticities;
    reader.GifControlRecord = &gifControl;
    reader.KeptChunksRecord = &kept;
    FInternalAlpha->Assign(nullptr);
    reader.AlphaBitmap = &alphaTarget;
    {
        ProgressScope progress(*FImageBitmap, OnProgress);
        reader.ReadBitmap(FImageBitmap.get(), stream, 0);
    }
    // The records change only when the load succeeds.
    Time = time;
    Chromaticities = chromaticities;
    GifControl = gifControl;
    FKeptChunks = std::move(kept);
    FHasAlpha = reader.AlphaChannel();
    Comment = reader.Comment();
    FLoadedComment = Comment;
    FAnimated = reader.Animated();
    FBackgroundColor = reader.BackgroundColor();
    FTransparentColor = reader.TransparentColor();
    Interlaced = reader.InterlaceMethod();
    Gamma = reader.Gamma();
    PhysUnit = reader.PhysUnit();
    PhysX = reader.PhysX();
    PhysY = reader.PhysY();
    SignificantBits = reader.SignificantBits();
    FBitDepth = reader.ColorType() == 2 ? reader.BitDepth() * 3 : reader.BitDepth();
    FColorType = reader.ColorType() | (reader.ColorType() != 3 && reader.AlphaChannel() ? 4 : 0);
    FSampleDepth = reader.BitDepth();
    Grayscale = reader.Grayscale();
    FLoadedPalette = reader.ColorType() == 3 ? reader.LoadedPalette() : TPalette{};
    if (!FHasAlpha && &alphaTarget == FInternalAlpha.get()) {
        FInternalAlpha->Assign(nullptr);
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
    writer.KeptChunks = FKeptChunks;
    if (Comment == FLoadedComment) {
        // The kept chunks hold it as it was read.
        writer.Comment.clear();
    } else {
        std::erase_if(writer.KeptChunks, [](const TPngChunk& c) { return c.Type == "tEXt" && PngTextKeyword(c) == "Comment"; });
        writer.Comment = Comment;
    }
    writer.BackgroundColor = FBackgroundColor;
    writer.TransparentColor = FTransparentColor;
    writer.Gamma = Gamma;
    writer.SignificantBits = SignificantBits;
    writer.PhysUnit = PhysUnit;
    writer.PhysX = PhysX;
    writer.PhysY = PhysY;
    writer.AutoTime = AutoTime;
    writer.Time = Time;
    writer.Chromaticities = Chromaticities;
    writer.GifControl = GifControl;
    writer.SourcePalette = FLoadedPalette;
    writer.SourceColorType = FColorType;
    writer.SourceBitDepth = NarrowGreyDepth || (FColorType & 3) != 0 ? FSampleDepth : 8;
    if (FHasAlpha) {
        writer.AlphaBitmap = alphaSource;
    }
    ProgressScope progress(*FImageBitmap, OnProgress);
    writer.WriteBitmap(*FImageBitmap, stream);
}

void PngImage::LoadFromStream(TStream& stream) { Load(stream, AlphaBitmap()); }

void PngImage::SaveToStream(TStream& stream) { Save(stream, &AlphaBitmap()); }

void PngImage::ReadData(TStream& stream) { Load(stream, *FInternalAlpha); }

void PngImage::WriteData(TStream& stream)
{
    if (!Empty()) {
        Save(stream, FInternalAlpha.get());
    }
}

bool PngImage::CopyAlphaTo(TBitmap* bitmap) const
{
    if (FInternalAlpha->Empty()) {
        return false;
    }
    if (bitmap != nullptr) {
        bitmap->Assign(FInternalAlpha.get());
    }
    return true;
}

void PngImage::Assign(const TPersistent* source)
{
    if (const auto* png = dynamic_cast<const PngImage*>(source)) {
        if (png == this) {
            return;
        }
        FImageBitmap->Assign(png->FImageBitmap.get());
        FInternalAlpha->Assign(png->FInternalAlpha.get());
        FAttachedAlpha = png->FAttachedAlpha;
        CompressionLevel = png->CompressionLevel;
        FilterMode = png->FilterMode;
        IdatSize = png->IdatSize;
        Interlaced = png->Interlaced;
        Grayscale = png->Grayscale;
        Comment = png->Comment;
        FBackgroundColor = png->FBackgroundColor;
        FTransparentColor = png->FTransparentColor;
        Gamma = png->Gamma;
        SignificantBits = png->SignificantBits;
        PhysUnit = png->PhysUnit;
        PhysX = png->PhysX;
        PhysY = png->PhysY;
        AutoTime = png->AutoTime;
        Time = png->Time;
        Chromaticities = png->Chromaticities;
        FHasAlpha = png->FHasAlpha;
        FBitDepth = png->FBitDepth;
        FColorType = png->FColorType;
        FSampleDepth = png->FSampleDepth;
        FAnimated = png->FAnimated;
        FKeptChunks = png->FKeptChunks;
        FLoadedComment = png->FLoadedComment;
        FLoadedPalette = png->FLoadedPalette;
        Synchronize();
        return;
    }
    if (const auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        FImageBitmap->Assign(graphic);
        Synchronize();
        return;
    }
    TGraphic::Assign(source);
}

void PngImage::ExchangeBitmap(TBitmap& bitmap)
{
    FImageBitmap->Exchange(bitmap);
    Synchronize();
}

void PngImage::AssignTo(TPersistent& dest) const
{
    if (dynamic_cast<TGraphic*>(&dest) != nullptr) {
        dest.Assign(FImageBitmap.get());
        return;
    }
    TGraphic::AssignTo(dest);
}

void PngImage::SetWidth(int value)
{
    if (!FImageBitmap->Empty()) FImageBitmap->SetWidth(value);
    if (!AlphaBitmap().Empty()) AlphaBitmap().SetWidth(value);
    Changed();
}

void PngImage::SetHeight(int value)
{
    if (!FImageBitmap->Empty()) FImageBitmap->SetHeight(value);
    if (!AlphaBitmap().Empty()) AlphaBitmap().SetHeight(value);
    Changed();
}

void PngImage::SetPalette(const TPalette& palette)
{
    FImageBitmap->SetPalette(palette);
    Changed();
}

void PngImage::SetTransparent(bool value)
{
    if (!FSynchronizing && FImageBitmap->Transparent() != value) {
        FImageBitmap->SetTransparent(value);
    }
    TGraphic::SetTransparent(value);
}

void PngImage::Synchronize()
{
    if (Transparent() == FImageBitmap->Transparent()) {
        Changed();
        return;
    }
    FSynchronizing = true;
    try {
        SetTransparent(FImageBitmap->Transparent());
    } catch (...) {
        FSynchronizing = false;
        throw;
    }
    FSynchronizing = false;
}
