#include "batch/OperationForm.h"

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/FileSearch.h"
#include "batch/SafeFile.h"
#include "batch/TextLines.h"
#include "batch/WorkList.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"
#include "text/HtmlReplace.h"

#include <array>
#include <cstring>

namespace {

const char* const AnimatedGifMessage = "アニメGIFは処理しません";

// Loads a graphic from bytes already read, so that the backup is made of exactly these bytes.
void LoadFromBytes(TGraphic& Graphic, const std::string& Data)
{
    TMemoryStream stream;
    stream.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
    stream.SetPosition(0);
    Graphic.LoadFromStream(stream);
}

std::string SaveToBytes(TGraphic& Graphic)
{
    TMemoryStream stream;
    Graphic.SaveToStream(stream);
    if (stream.Size() == 0) return {};
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<std::size_t>(stream.Size()));
}

// The colour a transparent colour value stands for: a palette entry is looked up in the
// palette that holds it (an index past the palette reads as that number in red).
TRGBColor ResolveTransparentColor(TColor Color, const TPalette& Palette)
{
    if (IsPaletteIndex(Color)) {
        const std::size_t index = static_cast<std::size_t>(Color & 0xFF);
        if (index < Palette.size()) return {Palette[index].Red, Palette[index].Green, Palette[index].Blue};
        return {static_cast<std::int32_t>(index), 0, 0};
    }
    return {GetRValue(Color), GetGValue(Color), GetBValue(Color)};
}

}  // namespace

TOperation::TOperation(const TBatchInput& Input) : FInput(Input)
{
    const TConversionSettings& s = FInput.Settings;
    WorkBitmap = std::make_unique<TBitmap>();
    WorkBitmap->SetPixelFormat(TPixelFormat::pf32bit);
    AlphaMaskBitmap = std::make_unique<TBitmap>();
    PngObject = std::make_unique<PngImage>();
    GifObject = std::make_unique<TGIFImage>();
    GifObject->ReductionMethod = 7;  // octree palette
    GifObject->DitherMethod = 1;     // Floyd-Steinberg
    TextLines = std::make_unique<TTextLines>();
    HtmlRewriter = std::make_unique<THtmlReplace>(s.HueOffset, s.SatOffset, s.BrightOffset, s.BeforeColors,
                                                  s.AfterColors, s.Adjust());
    ColorAdjuster = s.MakeAdjuster();
}

TOperation::~TOperation()
{
    // Freed in the order they were made; the PNG object never owns the alpha mask it may
    // still point at, so the mask can go first.
    WorkBitmap.reset();
    AlphaMaskBitmap.reset();
    PngObject.reset();
    GifObject.reset();
    TextLines.reset();
    HtmlRewriter.reset();
    ColorAdjuster.reset();
}

void TOperation::AppendLog(const std::string& Line)
{
    FLog.push_back(Line);
    if (FObserver) FObserver->LogLine(Line);
}

void TOperation::ExecuteConversion(TBatchObserver& Observer)
{
    FObserver = &Observer;
    FLog.clear();
    FSuccesses = 0;

    TWorkList workList;
    for (const TBatchItem& item : FInput.Items)
        if (item.Checked) workList.Add(item.FullPath);
    const std::vector<std::string> paths = workList.Sorted();
    FTotal = static_cast<int>(paths.size());
    Observer.ProgressMaximum(FTotal);

    for (const std::string& path : paths) {
        const std::string ext = AsciiLower(ExtractFileExt(path));
        try {
            if (ext == ".png")
                ConvertPng(path);
            else if (ext == ".gif")
                ConvertGif(path);
            else
                ConvertText(path);
        } catch (...) {
            AppendLog(FailureLine(path, std::current_exception()));
            continue;
        }
        AppendLog(SuccessLine(path));
        ++FSuccesses;
        Observer.ProgressStep();
    }

    AppendLog(std::string(BatchLog::EndLine));
    AppendLog(SummaryLine(FSuccesses, FTotal));
    FObserver = nullptr;
}

void TOperation::ConvertText(const std::string& Path)
{
    const std::string original = ReadWholeFile(Path);
    TextLines->SetText(original);
    TextLines->SetText(HtmlRewriter->ReplaceAll(TextLines->Text()));
    const std::string converted = TextLines->Text();
    if (FInput.Backup) MakeBackupCopy(Path, original);
    SaveFileSafely(Path, converted);
}

void TOperation::ConvertGif(const std::string& Path)
{
    const std::string original = ReadWholeFile(Path);
    LoadFromBytes(*GifObject, original);
    if (GifObject->Count() != 1) throw EGifRefused(AnimatedGifMessage);

    WorkBitmap->Assign(GifObject.get());
    WorkBitmap->SetTransparent(false);
    // The bottom-left pixel's colour stands for the transparent one: no colour is set here.
    if (FInput.GifTransparent && GifObject->HasTransparentFrame()) WorkBitmap->SetTransparent(true);
    ConvertBitmap();
    GifObject->Assign(WorkBitmap.get());

    const std::string converted = SaveToBytes(*GifObject);
    if (FInput.Backup) MakeBackupCopy(Path, original);
    SaveFileSafely(Path, converted);
}

void TOperation::ConvertPng(const std::string& Path)
{
    PngObject->AttachAlpha(nullptr);
    const std::string original = ReadWholeFile(Path);
    LoadFromBytes(*PngObject, original);
    WorkBitmap->SetTransparent(false);
    const bool hasAlpha = PngObject->HasAlpha();
    if (hasAlpha) PngObject->CopyAlphaTo(AlphaMaskBitmap.get());
    WorkBitmap->Assign(PngObject.get());
    if (PngObject->TransparentColor() != clNone) {
        WorkBitmap->SetTransparent(true);
        AppendLog(std::string(BatchLog::TransparencyNote));
    }
    ConvertBitmap();
    PngObject->Assign(WorkBitmap.get());
    if (hasAlpha) PngObject->AttachAlpha(AlphaMaskBitmap.get());

    std::string converted;
    try {
        converted = SaveToBytes(*PngObject);
    } catch (...) {
        PngObject->AttachAlpha(nullptr);
        throw;
    }
    PngObject->AttachAlpha(nullptr);
    if (FInput.Backup) MakeBackupCopy(Path, original);
    SaveFileSafely(Path, converted);
}

namespace {

// What ConvertPixel needs to know of the working bitmap, taken once per image.
struct TTransparency {
    bool Enabled = false;
    TRGBColor Color;
};

TRGBColor ConvertWithRule(const TRGBtoHSBtoRGB& Adjuster, const TTransparency& T, const TRGBColor& In)
{
    if (T.Enabled && In == T.Color) return In;
    const TRGBColor c = Adjuster.Convert(In);
    TRGBColor out{c.R & 0xFF, c.G & 0xFF, c.B & 0xFF};
    // With transparency on, no converted pixel is 5 or darker in all three channels.
    if (T.Enabled && out.R <= 5 && out.G <= 5 && out.B <= 5) out = {5, 5, 5};
    return out;
}

TTransparency TakeTransparency(const TBitmap& Bitmap)
{
    TTransparency t;
    t.Enabled = Bitmap.Transparent();
    if (t.Enabled) t.Color = ResolveTransparentColor(Bitmap.TransparentColor(), Bitmap.Palette());
    return t;
}

}  // namespace

TRGBColor TOperation::ConvertPixel(const TRGBColor& Color) const
{
    return ConvertWithRule(*ColorAdjuster, TakeTransparency(*WorkBitmap), Color);
}

void TOperation::ConvertBitmap()
{
    TBitmap& bitmap = *WorkBitmap;
    // A transparent colour set as a palette entry must be read while the palette still
    // holds the entry, so it is taken before the bitmap is widened to true colour. The
    // automatic one (the bottom-left pixel) reads the same before and after.
    TTransparency transparency = TakeTransparency(bitmap);
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    if (transparency.Enabled && bitmap.TransparentMode() == TTransparentMode::tmAuto)
        transparency = TakeTransparency(bitmap);

    // Each pixel's result depends on its own colour only (the transparent colour stays the
    // same for the whole image, as its pixels are never changed), so rows can be walked in
    // memory order. Photographs repeat colours a lot: a small direct-mapped cache of
    // conversions saves most calls to the adjuster.
    constexpr std::size_t CacheSize = 1 << 14;
    struct TSlot {
        std::uint32_t Key = 0;  // colour + 1, 0 when empty
        std::uint32_t Value = 0;
    };
    std::vector<TSlot> cache(CacheSize);

    const int width = bitmap.Width();
    const int height = bitmap.Height();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 4) {
            const std::uint32_t colour = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
            TSlot& slot = cache[(colour * 2654435761u) >> 18];
            if (slot.Key != colour + 1) {
                const TRGBColor in{p[2], p[1], p[0]};
                const TRGBColor out = ConvertWithRule(*ColorAdjuster, transparency, in);
                slot.Key = colour + 1;
                slot.Value = static_cast<std::uint32_t>(out.B) | (static_cast<std::uint32_t>(out.G) << 8) |
                             (static_cast<std::uint32_t>(out.R) << 16);
            }
            p[0] = static_cast<std::uint8_t>(slot.Value);
            p[1] = static_cast<std::uint8_t>(slot.Value >> 8);
            p[2] = static_cast<std::uint8_t>(slot.Value >> 16);
        }
    }
}
