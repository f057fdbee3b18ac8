#pragma once
// One set of the seven conversion objects and the per-file converters that use them. A batch
// has one; a batch that converts several files at once has one per worker, each used by one
// thread at a time.

#include "batch/BatchRun.h"
#include "colour/ColourAdjuster.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TBitmap;
class TSourceFile;
class PngImage;
class TGIFImage;
class TColourRewriter;
class TTextLines;
class TMatcher;

class TFileConverter {
public:
    // Where the converters put log lines that stand before a file's own line ("add").
    using TNoteSink = std::function<void(const std::string& Line)>;

    // DryRun: every file is read and converted in memory, and nothing is written.
    TFileConverter(const TConversionSettings& Settings, bool Backup, bool GifTransparent, bool DryRun = false);
    ~TFileConverter();
    TFileConverter(const TFileConverter&) = delete;
    TFileConverter& operator=(const TFileConverter&) = delete;

    // Chooses the converter by the extension (".png", ".gif", anything else is text, compared
    // without regard to case) and runs it; raises the error that made the file fail.
    // Each file is replaced only when it is still the one that was read, after its backup
    // is on disk.
    TFileOutcome ConvertFile(const std::string& Path, const TNoteSink& Notes);

    TFileOutcome ConvertText(const std::string& Path);
    TFileOutcome ConvertGif(const std::string& Path);
    // After ConvertGif: the picture came out as it went in (every colour it shows converted to
    // itself), and the file was given its own bytes back.
    bool GifUnchanged() const noexcept { return FGifUnchanged; }
    TFileOutcome ConvertPng(const std::string& Path, const TNoteSink& Notes);
    void ConvertBitmap();
    TRGBColor ConvertPixel(const TRGBColor& Color) const;

    TBitmap& WorkBitmapRef() { return *FWorkBitmap; }

private:
    // Puts Converted in the place of Source, keeping Source's bytes as its backup.
    TFileOutcome Replace(const std::string& Path, TSourceFile& Source, std::string_view Converted) const;

    bool FBackup;
    bool FGifTransparent;  // taken and kept for old callers: a GIF always keeps its own transparency
    bool FGifUnchanged = false;
    bool FDryRun;

    // The pattern matcher of this set's rewriter: its own, so that no other user of a matcher
    // (another worker, the preview) can disturb a match in progress.
    std::unique_ptr<TMatcher> FMatcher;

    // The shared conversion objects, made in this order and freed in the same order.
    std::unique_ptr<TBitmap> FWorkBitmap;
    std::unique_ptr<TBitmap> FAlphaMaskBitmap;
    std::unique_ptr<PngImage> FPngObject;
    std::unique_ptr<TGIFImage> FGifObject;
    std::unique_ptr<TTextLines> FTextLines;
    std::unique_ptr<TColourRewriter> FRewriter;
    std::unique_ptr<TColourAdjuster> FAdjuster;
};
