#include "batch/FileConverter.h"

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/FileSearch.h"
#include "base/SafeFile.h"
#include "batch/Backup.h"
#include "batch/TextLines.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"
#include "text/Matcher.h"
#include "text/ColourRewriter.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

const char* const AnimatedGifMessage = "アニメGIFは処理しません";

// A stream that reads bytes already in memory, without copying them.
class TBytesReadStream final : public TStream {
public:
    explicit TBytesReadStream(const std::string& Data) : FData(Data) {}
    std::int64_t Read(void* Buffer, std::int64_t Count) override
    {
        const std::int64_t size = static_cast<std::int64_t>(FData.size());
        if (Count <= 0 || FPosition >= size) return 0;
        const std::int64_t n = std::min(Count, size - FPosition);
        std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
        FPosition += n;
        return n;
    }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override
    {
        const std::int64_t base = Origin == TSeekOrigin::soBeginning ? 0
                                  : Origin == TSeekOrigin::soCurrent ? FPosition
                                                                     : static_cast<std::int64_t>(FData.size());
        FPosition = std::max<std::int64_t>(0, base + Offset);
        return FPosition;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t) override { throw EWriteError("Stream write error"); }

private:
    const std::string& FData;
    std::int64_t FPosition = 0;
};

// Loads a graphic from bytes already read, so that the backup is made of exactly these bytes.
void LoadFromBytes(TGraphic& Graphic, const std::string& Data)
{
    TBytesReadStream stream(Data);
    Graphic.LoadFromStream(stream);
}

// The encoded graphic, in memory until it is saved.
void SaveToBytes(TGraphic& Graphic, TMemoryStream& Stream)
{
    Stream.Clear();
    Graphic.SaveToStream(Stream);
}

std::string_view Bytes(TMemoryStream& Stream)
{
    if (Stream.Size() == 0) return {};
    return {reinterpret_cast<const char*>(Stream.Memory()), static_cast<std::size_t>(Stream.Size())};
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

TFileConverter::TFileConverter(const TConversionSettings& Settings, bool Backup, bool GifTransparent)
    : FBackup(Backup), FGifTransparent(GifTransparent), Matcher(std::make_unique<TMatcher>())
{
    WorkBitmap = std::make_unique<TBitmap>();
    WorkBitmap->SetPixelFormat(TPixelFormat::pf32bit);
    AlphaMaskBitmap = std::make_unique<TBitmap>();
    PngObject = std::make_unique<PngImage>();
    GifObject = std::make_unique<TGIFImage>();
    GifObject->ReductionMethod = 7;  // octree palette
    GifObject->DitherMethod = 1;     // Floyd-Steinberg
    TextLines = std::make_unique<TTextLines>();
    HtmlRewriter = std::make_unique<TColourRewriter>(Settings.HueOffset, Settings.SatOffset, Settings.BrightOffset,
                                                  Settings.BeforeColors, Settings.AfterColors, Settings.Adjust(),
                                                  *Matcher);
    ColorAdjuster = Settings.MakeAdjuster();
}

TFileConverter::~TFileConverter()
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

void TFileConverter::ConvertFile(const std::string& Path, const TNoteSink& Notes)
{
    const std::string ext = AsciiLower(ExtractFileExt(Path));
    if (ext == ".png")
        ConvertPng(Path, Notes);
    else if (ext == ".gif")
        ConvertGif(Path);
    else
        ConvertText(Path);
}

void TFileConverter::ConvertText(const std::string& Path)
{
    const std::string original = ReadWholeFile(Path);
    // Loading the lines and joining them again gives the text with every line break made a
    // carriage return and line feed; done in one pass over the text rather than a string per line.
    const std::string converted = TTextLines::Normalize(HtmlRewriter->ReplaceAll(TTextLines::Normalize(original)));
    if (FBackup) MakeBackupCopy(Path, original);
    SaveFileSafely(Path, converted);
}

void TFileConverter::KeepBackupAndRelease(const std::string& Path, std::string& Original) const
{
    // A picture's file bytes are needed only for its backup copy. The copy is made as soon as
    // the picture has been read, so that the bytes are gone before the new file is encoded
    // (a big picture would otherwise hold its old file, its pixels and its new file at once).
    // A failed copy stops the file here, before anything is written over it.
    if (FBackup) MakeBackupCopy(Path, Original);
    std::string().swap(Original);
}

void TFileConverter::ConvertGif(const std::string& Path)
{
    std::string original = ReadWholeFile(Path);
    LoadFromBytes(*GifObject, original);
    if (GifObject->Count() != 1) throw EGifRefused(AnimatedGifMessage);
    // A screen without width or height gives an empty picture: saving that would drop the
    // frame the file holds.
    if (GifObject->Width() == 0 || GifObject->Height() == 0)
        throw EInvalidGraphic("GIF logical screen has no area");
    KeepBackupAndRelease(Path, original);

    WorkBitmap->Assign(GifObject.get());
    WorkBitmap->SetTransparent(false);
    // The bottom-left pixel's colour stands for the transparent one: no colour is set here.
    if (FGifTransparent && GifObject->HasTransparentFrame()) WorkBitmap->SetTransparent(true);
    ConvertBitmap();
    GifObject->Assign(WorkBitmap.get());

    TMemoryStream converted;
    SaveToBytes(*GifObject, converted);
    SaveFileSafely(Path, Bytes(converted));
}

void TFileConverter::ConvertPng(const std::string& Path, const TNoteSink& Notes)
{
    // A big picture is held once: the previous one is let go first, the alpha channel is read
    // straight into the mask bitmap, and the picture changes hands between the PNG object and
    // the working bitmap instead of being copied.
    WorkBitmap->Assign(nullptr);
    AlphaMaskBitmap->Assign(nullptr);
    PngObject->AttachAlpha(AlphaMaskBitmap.get());
    struct TDetach {
        PngImage& Png;
        ~TDetach() { Png.AttachAlpha(nullptr); }
    } detach{*PngObject};

    std::string original = ReadWholeFile(Path);
    LoadFromBytes(*PngObject, original);
    KeepBackupAndRelease(Path, original);
    const bool hasAlpha = PngObject->HasAlpha();
    PngObject->ExchangeBitmap(*WorkBitmap);
    if (PngObject->TransparentColor() != clNone) {
        WorkBitmap->SetTransparent(true);
        if (Notes) Notes(std::string(BatchLog::TransparencyNote));
    }
    ConvertBitmap();
    PngObject->ExchangeBitmap(*WorkBitmap);
    if (!hasAlpha) PngObject->AttachAlpha(nullptr);

    // Afterwards the working bitmap holds the converted picture again, as it would after a copy.
    TMemoryStream converted;
    try {
        SaveToBytes(*PngObject, converted);
    } catch (...) {
        PngObject->ExchangeBitmap(*WorkBitmap);
        throw;
    }
    PngObject->ExchangeBitmap(*WorkBitmap);
    SaveFileSafely(Path, Bytes(converted));
}

namespace {

// What ConvertPixel needs to know of the working bitmap, taken once per image.
struct TTransparency {
    bool Enabled = false;
    TRGBColor Color;
};

TRGBColor ConvertWithRule(const TColourAdjuster& Adjuster, const TTransparency& T, const TRGBColor& In)
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

TRGBColor TFileConverter::ConvertPixel(const TRGBColor& Color) const
{
    return ConvertWithRule(*ColorAdjuster, TakeTransparency(*WorkBitmap), Color);
}

void TFileConverter::ConvertBitmap()
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
