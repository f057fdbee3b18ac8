#include "batch/FileConverter.h"

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/BinaryContent.h"
#include "batch/CommitGroup.h"
#include "batch/FileSearch.h"
#include "batch/GzipMember.h"
#include "batch/MemoryBudget.h"
#include "batch/PictureSize.h"
#include "base/SafeFile.h"
#include "batch/Backup.h"
#include "colour/PictureColours.h"
#include "gif/GIFImage.h"
#include "gif/GIFRecolour.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "jpeg/JpegFrame.h"
#include "jpeg/JpegReader.h"
#include "jpeg/JpegRecolour.h"
#include "jpeg/JpegWriter.h"
#include "png/ApngFile.h"
#include "png/PngImage.h"
#include "text/Matcher.h"
#include "text/ColourRewriter.h"
#include "text/TextTranscoding.h"
#include "webp/WebPRecolour.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace {

// The messages of the errors raised here (the log names them by their kind).
constexpr TText NotTextMessage{"テキストではない", "not text"};

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

// Marks the palette entries the pixels of a picture in a palette format show.
void MarkShownEntries(const TBitmap& Bitmap, std::array<bool, 256>& Shown)
{
    const int width = Bitmap.Width();
    const int bits = Bitmap.BitsPerPixel();
    for (int y = 0; y < Bitmap.Height(); ++y) {
        const std::uint8_t* row = Bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            Shown[bits == 8   ? row[x]
                  : bits == 4 ? ((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4)
                              : (row[x >> 3] >> (7 - (x & 7))) & 1] = true;
        }
    }
}

// Whether Convert leaves the colour of every pixel of a picture as the PNG reader gives it (a
// palette format or 24 bits) as it is; each colour in use is tried once, or nearly.
bool PixelsStay(const TBitmap& Bitmap, const std::function<TRGBColor(const TRGBColor&)>& Convert)
{
    const auto stays = [&](int R, int G, int B) { return Convert({R, G, B}) == TRGBColor{R, G, B}; };
    const int width = Bitmap.Width();
    if (Bitmap.HasPaletteFormat()) {
        std::array<bool, 256> used{};
        MarkShownEntries(Bitmap, used);
        const TPalette& palette = Bitmap.Palette();
        for (std::size_t i = 0; i < used.size(); ++i) {
            if (!used[i]) continue;
            if (i >= palette.size() || !stays(palette[i].Red, palette[i].Green, palette[i].Blue)) return false;
        }
        return true;
    }
    if (Bitmap.PixelFormat() != TPixelFormat::pf24bit) return false;
    std::vector<std::uint32_t> known(4096, 0xFFFFFFFFu);  // colours found to stay
    for (int y = 0; y < Bitmap.Height(); ++y) {
        const std::uint8_t* p = Bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const std::uint32_t key = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
            std::uint32_t& slot = known[(key * 2654435761u) >> 20];
            if (slot == key) continue;
            if (!stays(p[2], p[1], p[0])) return false;
            slot = key;
        }
    }
    return true;
}

// The text of a file rewritten by Rewrite. A picture or program named like a page, or listed by
// hand, is no text to rewrite; UTF-16 and UTF-32 texts, whose halves of characters are NUL
// bytes, are known before that is asked. The text keeps its own line breaks, whatever they are,
// and its last line as it ends; it is rewritten in the encoding the rewriter reads and comes
// back in its own.
std::string RewriteTextBytes(std::string_view Bytes, const std::function<std::string(std::string_view)>& Rewrite)
{
    const TTextLayout layout = DetectTextLayout(Bytes);
    const bool utf16or32 = layout.Form != TTextForm::Bytes && layout.Form != TTextForm::ISO2022JP;
    if (!utf16or32 && (HasBinaryMagic(Bytes) || HasBinaryControlBytes(Bytes)))
        throw ENotText(std::string(NotTextMessage));
    return RewriteInLayout(Bytes, layout, Rewrite);
}

}  // namespace

TFileConverter::TFileConverter(const TConversionSettings& Settings, bool Backup, bool GifTransparent, bool DryRun,
                               const TPictureLimits& Limits)
    : FBackup(Backup),
      FGifTransparent(GifTransparent),
      FDryRun(DryRun),
      FLimits(Limits),
      FMatcher(std::make_unique<TMatcher>())
{
    FWorkBitmap = std::make_unique<TBitmap>();
    FWorkBitmap->SetPixelFormat(TPixelFormat::pf32bit);
    FAlphaMaskBitmap = std::make_unique<TBitmap>();
    FPngObject = std::make_unique<PngImage>();
    FGifObject = std::make_unique<TGIFImage>();
    FGifObject->ReductionMethod = 7;  // octree palette
    FGifObject->DitherMethod = 1;     // Floyd-Steinberg
    // The codecs refuse what the header check before them does not see.
    FGifObject->MaxPixels = static_cast<std::int64_t>(std::min<std::uint64_t>(FLimits.MaxPixels, GIFMaxPixels));
    FPngObject->MaxPixels = FLimits.MaxPixels;
    FRewriter = std::make_unique<TColourRewriter>(Settings.HueOffset, Settings.SatOffset, Settings.BrightOffset,
                                                  Settings.BeforeColors, Settings.AfterColors, Settings.Adjust(),
                                                  *FMatcher);
    FAdjuster = Settings.MakeAdjuster();
}

TFileConverter::~TFileConverter()
{
    // Freed in the order they were made; the PNG object never owns the alpha mask it may
    // still point at, so the mask can go first.
    FWorkBitmap.reset();
    FAlphaMaskBitmap.reset();
    FPngObject.reset();
    FGifObject.reset();
    FRewriter.reset();
    FAdjuster.reset();
}

TPreparedFile TFileConverter::PrepareFile(const std::string& Path, const TNoteSink& Notes, bool Flush)
{
    switch (FileKindOf(Path)) {
    case TFileKind::Png: return PreparePng(Path, Notes, Flush);
    case TFileKind::Gif: return PrepareGif(Path, Flush);
    case TFileKind::Jpeg: return PrepareJpeg(Path, Flush);
    case TFileKind::Svg: return PrepareSvg(Path, Flush);
    case TFileKind::WebP: return PrepareWebP(Path, Flush);
    case TFileKind::Text: break;
    }
    return PrepareText(Path, Flush);
}

namespace {

TFileOutcome CommitAlone(TPreparedFile Prepared)
{
    std::vector<TPreparedFile*> group{&Prepared};
    const std::vector<std::exception_ptr> errors = CommitGroup(group);
    if (errors.front()) std::rethrow_exception(errors.front());
    return Prepared.Outcome;
}

}  // namespace

TFileOutcome TFileConverter::ConvertFile(const std::string& Path, const TNoteSink& Notes)
{
    return CommitAlone(PrepareFile(Path, Notes, true));
}

TFileOutcome TFileConverter::ConvertText(const std::string& Path) { return CommitAlone(PrepareText(Path, true)); }
TFileOutcome TFileConverter::ConvertGif(const std::string& Path) { return CommitAlone(PrepareGif(Path, true)); }
TFileOutcome TFileConverter::ConvertPng(const std::string& Path, const TNoteSink& Notes)
{
    return CommitAlone(PreparePng(Path, Notes, true));
}

namespace {

std::string NeedsBackupMessage(const std::string& Path)
{
    return "Cannot convert file \"" + Path +
           "\" without a backup: other names share it, or a new file could not keep its owner or attributes, "
           "so it could only be written over in place";
}

}  // namespace

TPreparedFile TFileConverter::Prepare(const std::string& Path, std::unique_ptr<TSourceFile> Source,
                                      std::string_view Converted, bool Unchanged, bool Flush) const
{
    TPreparedFile prepared;
    prepared.Path = Path;
    // Nothing to change: the file, its time and any backup stay as they are.
    if (Unchanged) {
        prepared.Outcome.Unchanged = true;
        return prepared;
    }
    if (FDryRun) {
        CheckReplaceable(Source->Target(), Path);
        // What the write below would find: other names, or an owner a new file could not get.
        const struct stat& st = Source->Status();
        const nlink_t ownNames = BackupIsSecondNameOf(Path, st) ? 1 : 0;
        if (!FBackup && (st.st_nlink > 1 + ownNames || (geteuid() != 0 && st.st_uid != geteuid())))
            throw ENeedsBackup(NeedsBackupMessage(Path));
        prepared.Outcome.BackupKept = FBackup && BackupExists(Path);
        return prepared;
    }
    // The new content and the backup are written now; they are put in place when the group
    // they belong to is on disk, the backup before the file (batch/CommitGroup.h). A file
    // rewritten in place (other names share it, or a new file could not keep its owner or
    // attributes) is only written once its backup is on disk, and never without one.
    // A backup that is this file under a second name (left by a batch stopped just before the
    // new content took the file's place) keeps the original only if the file is replaced by a
    // new one: it is not counted among the names to write in place for, and where the file
    // could only be written in place it fails rather than change its backup.
    const bool backupIsFile = BackupIsSecondNameOf(Path, Source->Status());
    // The old content is read for the last time (a backup keeps it on disk, or nothing does):
    // its pages in memory are given back before the new content is written, which takes them.
    Source->ForgetCachedContent();
    prepared.Content = std::make_unique<TPendingFile>(*Source, Converted, Flush, backupIsFile ? 1 : 0);
    const bool inPlace = prepared.Content->InPlace();
    if (inPlace && backupIsFile)
        throw EBackupError("Cannot convert file \"" + Path + "\" in place: its backup \"" + BackupName(Path) +
                           "\" is the same file under a second name");
    if (inPlace && !FBackup) throw ENeedsBackup(NeedsBackupMessage(Path));
    prepared.WrittenBytes = Converted.size();  // held in memory until then, in place
    if (FBackup) {
        if (!inPlace) {
            // The file read becomes the backup under a second name, given now, by the thread
            // that prepared it (the flush of its group makes the name last before the new
            // content takes the file's place): nothing to write, and nothing deleted. A backup
            // there already is kept: the name is only taken while free.
            prepared.Backup = std::make_unique<TPendingBackup>(Path, *Source);
            if (!prepared.Backup->Place()) {
                prepared.Outcome.BackupKept = true;
                prepared.Backup.reset();
            }
        } else if (BackupExists(Path)) {
            prepared.Outcome.BackupKept = true;
        } else {
            // The file itself gets the new content (and other names may share it): the backup
            // is a copy, with the file's owner where the user may give it.
            prepared.Backup = std::make_unique<TPendingBackup>(Path, Source->Bytes(), Source->Status().st_mode, Flush,
                                                               &Source->Status());
            prepared.WrittenBytes += Source->Bytes().size();
        }
    }
    std::string().swap(Source->Bytes());
    prepared.Source = std::move(Source);
    return prepared;
}

TPreparedFile TFileConverter::PrepareText(const std::string& Path, bool Flush)
{
    auto source = std::make_unique<TSourceFile>(Path);
    const std::string converted =
        RewriteTextBytes(source->Bytes(), [this](std::string_view Text) { return FRewriter->ReplaceAll(Text); });
    const bool unchanged = converted == source->Bytes();
    return Prepare(Path, std::move(source), converted, unchanged, Flush);
}

// A picture about to be decoded: refused when its header asks for more pixels than allowed,
// else its memory reserved from the budget (waiting for others to give theirs back). When it
// ends the converter lets go of its pictures, and only then gives the memory back.
class TFileConverter::TPictureScope {
public:
    // Ceiling: the most the codec reads at all. A header beyond it is no picture a higher limit
    // would let through; the codec refuses it as invalid, before allocating anything.
    TPictureScope(TFileConverter& Converter, const std::optional<TDeclaredPicture>& Picture, std::uint64_t Ceiling)
        : FConverter(Converter)
    {
        if (!Picture || Picture->Pixels > Ceiling) return;
        if (Picture->Pixels > Converter.FLimits.MaxPixels) throw EPictureTooLarge("Image too large");
        FReservation = std::make_unique<TMemoryReservation>(Converter.FLimits.Budget, Picture->Bytes);
    }
    ~TPictureScope()
    {
        if (!FConverter.FLimits.Budget) return;
        FConverter.FWorkBitmap->Assign(nullptr);
        FConverter.FAlphaMaskBitmap->Assign(nullptr);
        FConverter.FGifObject->Clear();
    }
    TPictureScope(const TPictureScope&) = delete;
    TPictureScope& operator=(const TPictureScope&) = delete;

private:
    TFileConverter& FConverter;
    std::unique_ptr<TMemoryReservation> FReservation;
};

TPreparedFile TFileConverter::PrepareSvg(const std::string& Path, bool Flush)
{
    auto source = std::make_unique<TSourceFile>(Path);
    const auto rewrite = [this](std::string_view Svg) {
        return RewriteTextBytes(Svg, [this](std::string_view Text) { return FRewriter->ReplaceSvg(Text); });
    };
    if (AsciiLower(ExtractFileExt(Path)) != ".svgz") {
        const std::string converted = rewrite(source->Bytes());
        const bool unchanged = converted == source->Bytes();
        return Prepare(Path, std::move(source), converted, unchanged, Flush);
    }
    // Compressed: refused when it inflates to more than the limit (found out without holding
    // what comes out, as the trailer of a file cut short says anything), and the memory of the
    // inflated, rewritten and compressed texts reserved from the pictures' budget.
    const TGzipMember member = SplitGzipMember(source->Bytes());
    if (member.Size > SvgzMaxBytes && GzipMemberExceeds(member, SvgzMaxBytes))
        throw EPictureTooLarge("Compressed SVG too large");
    const TPictureScope scope(*this, TDeclaredPicture{0, 3ull * member.Size + source->Bytes().size()}, UINT64_MAX);
    const std::string svg = InflateGzipMember(member);
    const std::string converted = rewrite(svg);
    // The file is written again only when the SVG inside changes.
    if (converted == svg) return Prepare(Path, std::move(source), {}, true, Flush);
    return Prepare(Path, std::move(source), WriteGzipMember(member.Header, converted), false, Flush);
}

TPreparedFile TFileConverter::PrepareGif(const std::string& Path, bool Flush)
{
    auto source = std::make_unique<TSourceFile>(Path);
    const TPictureScope scope(*this, DeclaredGifPicture(source->Bytes()), GIFMaxPixels);
    LoadFromBytes(*FGifObject, source->Bytes());
    if (FGifObject->ImageCount() == 0) throw EInvalidGraphic("GIF holds no image");
    // A screen without width or height gives an empty picture: saving that would drop the
    // frame the file holds.
    if (FGifObject->Width() == 0 || FGifObject->Height() == 0)
        throw EInvalidGraphic("GIF logical screen has no area");

    // Each colour the picture shows is converted once, in its colour table: the pixels keep
    // their indices, so they come out exact, the transparent ones stay transparent (and no
    // others become so, whatever the transparency option says), and the file keeps its blocks.
    const bool changed = RecolourGIF(*FGifObject, [this](const TGIFColor& Color) {
        const TRGBColor out = ConvertPictureColour(*FAdjuster, TTransparencyRule{}, {Color.Red, Color.Green, Color.Blue});
        return TGIFColor{static_cast<std::uint8_t>(out.R), static_cast<std::uint8_t>(out.G),
                         static_cast<std::uint8_t>(out.B)};
    });
    if (!changed) return Prepare(Path, std::move(source), {}, true, Flush);

    TMemoryStream converted;
    SaveToBytes(*FGifObject, converted);
    return Prepare(Path, std::move(source), Bytes(converted), false, Flush);
}

TPreparedFile TFileConverter::PreparePng(const std::string& Path, const TNoteSink& Notes, bool Flush)
{
    // A big picture is held once: the previous one is let go first, the alpha channel is read
    // straight into the mask bitmap, and the picture changes hands between the PNG object and
    // the working bitmap instead of being copied.
    FWorkBitmap->Assign(nullptr);
    FAlphaMaskBitmap->Assign(nullptr);
    FPngObject->AttachAlpha(FAlphaMaskBitmap.get());
    struct TDetach {
        PngImage& Png;
        ~TDetach() { Png.AttachAlpha(nullptr); }
    } detach{*FPngObject};

    auto source = std::make_unique<TSourceFile>(Path);
    const TPictureScope scope(*this, DeclaredPngPicture(source->Bytes()), PngMaxPixels);
    if (IsAnimatedPng(source->Bytes())) return PrepareApng(Path, std::move(source), Notes, Flush);
    LoadFromBytes(*FPngObject, source->Bytes());
    TMemoryStream converted;
    const bool changed = RecolourLoadedPng(Notes, converted, false);
    return Prepare(Path, std::move(source), Bytes(converted), !changed, Flush);
}

bool TFileConverter::RecolourLoadedPng(const TNoteSink& Notes, TMemoryStream& Converted, bool SaveUnchanged)
{
    const bool hasAlpha = FPngObject->HasAlpha();
    FPngObject->ExchangeBitmap(*FWorkBitmap);
    if (FPngObject->TransparentColor() != clNone) {
        FWorkBitmap->SetTransparent(true);
        if (Notes) Notes(std::string(BatchLog::TransparencyNote));
    }
    // Left alone when the settings change no colour the picture shows. The rule that keeps a
    // converted pixel from turning into the transparent colour is for pixels that change: a
    // picture nothing changes in is the picture it was.
    const auto adjusted = [this](const TRGBColor& Color) {
        return ConvertPictureColour(*FAdjuster, TTransparencyRule{}, Color);
    };
    bool unchanged = PixelsStay(*FWorkBitmap, adjusted);
    ConvertBitmap();
    // The background is a colour of the picture: it is converted like a pixel. The significant
    // bits told how the samples as loaded were made; recoloured samples use all eight.
    const TColor background = FPngObject->BackgroundColor();
    const TPalette& loaded = FPngObject->LoadedPalette();
    if (background != clNone && (!IsPaletteIndex(background) || static_cast<std::size_t>(background & 0xFF) < loaded.size())) {
        const TRGBColor before = ResolveTransparentColor(background, loaded);
        const TRGBColor c = ConvertPixel(before);
        if (!(adjusted(before) == before)) unchanged = false;
        FPngObject->SetBackgroundColor(RGBColor(c.R, c.G, c.B));
    }
    if (!unchanged) FPngObject->SignificantBits = 0;
    FPngObject->ExchangeBitmap(*FWorkBitmap);
    if (!hasAlpha) FPngObject->AttachAlpha(nullptr);

    // Afterwards the working bitmap holds the converted picture again, as it would after a copy.
    if (!unchanged || SaveUnchanged) {
        try {
            SaveToBytes(*FPngObject, Converted);
        } catch (...) {
            FPngObject->ExchangeBitmap(*FWorkBitmap);
            throw;
        }
    }
    FPngObject->ExchangeBitmap(*FWorkBitmap);
    return !unchanged;
}

TPreparedFile TFileConverter::PrepareApng(const std::string& Path, std::unique_ptr<TSourceFile> Source,
                                          const TNoteSink& Notes, bool Flush)
{
    // Every image of the animation is decoded, converted and encoded on its own, as a still
    // PNG of its size, so that no more than one is held decoded at a time.
    std::optional<TApngFile> animation;
    try {
        animation.emplace(Source->Bytes());
    } catch (const ApngError& e) {
        throw EAnimationInvalid(e.Message());
    }
    const auto load = [&](std::size_t Index) {
        FWorkBitmap->Assign(nullptr);
        FAlphaMaskBitmap->Assign(nullptr);
        FPngObject->AttachAlpha(FAlphaMaskBitmap.get());
        LoadFromBytes(*FPngObject, animation->StillImage(Index));
    };
    if (animation->ColourType() == 3) {
        // The palette is converted and the images keep their indices, so every frame comes out
        // exact and the transparency of each entry (tRNS) stays. Only the entries images show
        // count for whether the picture changes.
        std::array<bool, 256> shown{};
        TTransparencyRule rule;
        for (std::size_t i = 0; i < animation->ImageCount(); ++i) {
            load(i);
            if (i == 0 && FPngObject->TransparentColor() != clNone) {
                rule.Enabled = true;
                rule.Color = ResolveTransparentColor(FPngObject->TransparentColor(), FPngObject->LoadedPalette());
                if (Notes) Notes(std::string(BatchLog::TransparencyNote));
            }
            if (FPngObject->ImageBitmap().HasPaletteFormat()) MarkShownEntries(FPngObject->ImageBitmap(), shown);
            else shown.fill(true);
        }
        std::string entries(animation->PaletteData());
        bool changed = false;
        for (std::size_t i = 0; i + 3 <= entries.size(); i += 3) {
            const auto sample = [&](std::size_t k) { return static_cast<std::uint8_t>(entries[i + k]); };
            const TRGBColor before{sample(0), sample(1), sample(2)};
            const TRGBColor after = ConvertPictureColour(*FAdjuster, rule, before);
            if (shown[std::min<std::size_t>(i / 3, 255)] && !(after == before)) changed = true;
            entries[i] = static_cast<char>(after.R);
            entries[i + 1] = static_cast<char>(after.G);
            entries[i + 2] = static_cast<char>(after.B);
        }
        if (!changed) return Prepare(Path, std::move(Source), {}, true, Flush);
        const std::string converted = animation->WithPalette(entries);
        return Prepare(Path, std::move(Source), converted, false, Flush);
    }
    // Truecolour and grey images are converted pixel by pixel as a still PNG is. Once one
    // changes, every image is written anew (those before it again), all in the same form.
    std::vector<std::string> stills(animation->ImageCount());
    bool changed = false;
    bool noted = false;  // the transparency note, once for the file
    const auto convert = [&](std::size_t Index, bool Save) {
        load(Index);
        TMemoryStream encoded;
        const bool differs = RecolourLoadedPng(Index == 0 && !noted ? Notes : TNoteSink{}, encoded, Save);
        noted = true;
        stills[Index] = std::string(Bytes(encoded));
        return differs;
    };
    for (std::size_t i = 0; i < stills.size(); ++i) {
        if (convert(i, changed) && !changed) {
            changed = true;
            for (std::size_t j = 0; j < i; ++j) convert(j, true);
        }
    }
    if (!changed) return Prepare(Path, std::move(Source), {}, true, Flush);
    if (!TApngFile::SameForm(stills)) {
        // Greys under 8 bits: some frames fit their depth and some not. All take 8 bits then.
        FPngObject->NarrowGreyDepth = false;
        struct TRestore {
            PngImage& Png;
            ~TRestore() { Png.NarrowGreyDepth = true; }
        } restore{*FPngObject};
        for (std::size_t i = 0; i < stills.size(); ++i) convert(i, true);
    }
    const std::string converted = animation->WithImages(stills);
    stills.clear();
    return Prepare(Path, std::move(Source), converted, false, Flush);
}

TPreparedFile TFileConverter::PrepareJpeg(const std::string& Path, bool Flush)
{
    auto source = std::make_unique<TSourceFile>(Path);
    // Refused from the frame header, before libjpeg is asked: four components are CMYK or
    // YCCK, and libjpeg is built for 8-bit samples only.
    const std::optional<TJpegFrame> frame = FindJpegFrame(source->Bytes());
    if (frame && frame->Components.size() == 4) throw EJpegCmykRefused("CMYK JPEG");
    if (frame && frame->Precision != 8) throw EJpegPrecisionRefused("JPEG with more than 8 bits a sample");
    constexpr std::uint64_t JpegMaxPixels = std::uint64_t{65500} * 65500;  // libjpeg's largest
    const TPictureScope scope(*this, DeclaredJpegPicture(source->Bytes()), JpegMaxPixels);
    TJpegReader reader(source->Bytes(), FLimits.MaxPixels);
    const TJpegColourSpace space = reader.Coding().ColourSpace;
    if (space == TJpegColourSpace::Cmyk || space == TJpegColourSpace::Ycck) throw EJpegCmykRefused("CMYK JPEG");
    TJpegPicture picture = reader.Read();
    // Every coding loses a little: a picture nothing changes in is never coded again.
    if (!RecolourJpeg(picture, *FAdjuster)) return Prepare(Path, std::move(source), {}, true, Flush);
    const std::string converted = WriteJpeg(picture);
    picture.Pixels.reset();
    return Prepare(Path, std::move(source), converted, false, Flush);
}

TPreparedFile TFileConverter::PrepareWebP(const std::string& Path, bool Flush)
{
    auto source = std::make_unique<TSourceFile>(Path);
    const TPictureScope scope(*this, DeclaredWebPPicture(source->Bytes()), WebPMaxCanvasPixels);
    const std::optional<std::string> converted = RecolourWebP(
        source->Bytes(),
        [this](std::uint8_t* Bits, std::size_t Stride, int Width, int Height) {
            return RecolourBgraPixels(Bits, Stride, Width, Height, *FAdjuster);
        },
        FLimits.MaxPixels);
    if (!converted) return Prepare(Path, std::move(source), {}, true, Flush);
    return Prepare(Path, std::move(source), *converted, false, Flush);
}

namespace {

// The transparency rule of the working bitmap, taken once per image.
TTransparencyRule TakeTransparency(const TBitmap& Bitmap)
{
    TTransparencyRule t;
    t.Enabled = Bitmap.Transparent();
    if (t.Enabled) t.Color = ResolveTransparentColor(Bitmap.TransparentColor(), Bitmap.Palette());
    return t;
}

}  // namespace

TRGBColor TFileConverter::ConvertPixel(const TRGBColor& Color) const
{
    return ConvertPictureColour(*FAdjuster, TakeTransparency(*FWorkBitmap), Color);
}

void TFileConverter::ConvertBitmap()
{
    TBitmap& bitmap = *FWorkBitmap;
    // A transparent colour set as a palette entry must be read while the palette still
    // holds the entry, so it is taken before the bitmap is widened to true colour. The
    // automatic one (the bottom-left pixel) reads the same before and after.
    TTransparencyRule transparency = TakeTransparency(bitmap);
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    if (transparency.Enabled && bitmap.TransparentMode() == TTransparentMode::tmAuto)
        transparency = TakeTransparency(bitmap);
    // The transparent colour stays the same for the whole image, as its pixels are never
    // changed. Each worker converts a file of its own, so the rows are not shared out.
    if (bitmap.Height() > 0)
        ConvertPictureColours(bitmap.ScanLine(0), bitmap.RowBytes(), bitmap.Width(), bitmap.Height(), *FAdjuster,
                              transparency);
}
