#pragma once
// One set of the seven conversion objects and the per-file converters that use them. A batch
// has one; a batch that converts several files at once has one per worker, each used by one
// thread at a time.

#include "batch/BatchRun.h"
#include "base/SafeFile.h"
#include "batch/Backup.h"
#include "colour/ColourAdjuster.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TBitmap;
class PngImage;
class TGIFImage;
class TColourRewriter;
class TMatcher;
class TMemoryBudget;
class TMemoryStream;

// What a converter allows a picture: the most pixels (refused beyond), and the budget its
// decoded pictures are reserved from (none: no waiting). With a budget the converter lets go
// of each picture once its file is prepared.
struct TPictureLimits {
    std::uint64_t MaxPixels = DefaultMaxPixels;
    TMemoryBudget* Budget = nullptr;
};

// The most bytes the SVG inside an .svgz may inflate to: beyond it the file is refused as too
// large before any of it is held. The size its trailer gives is believed no further than that:
// inflating stops at it.
constexpr std::uint64_t SvgzMaxBytes = 256ull << 20;

// A file converted and its new content written beside it under a temporary name, waiting for
// its group to be put in place (batch/CommitGroup.h). While it waits it holds the file's lock.
struct TPreparedFile {
    std::string Path;
    std::unique_ptr<TSourceFile> Source;
    std::unique_ptr<TPendingFile> Content;  // none when there is nothing to write
    std::unique_ptr<TPendingBackup> Backup;  // none when no backup is to be made
    TFileOutcome Outcome;
    std::size_t WrittenBytes = 0;
};

class TFileConverter {
public:
    // Where the converters put log lines that stand before a file's own line ("add").
    using TNoteSink = std::function<void(const std::string& Line)>;

    // DryRun: every file is read and converted in memory, and nothing is written.
    TFileConverter(const TConversionSettings& Settings, bool Backup, bool GifTransparent, bool DryRun = false,
                   const TPictureLimits& Limits = {});
    ~TFileConverter();
    TFileConverter(const TFileConverter&) = delete;
    TFileConverter& operator=(const TFileConverter&) = delete;

    // Chooses the converter by the extension (FileKindOf: anything that is no picture's is
    // text), converts the file and writes what is to be written, without putting it in place;
    // raises the error that made the file fail. Without Flush the written files wait for their
    // group's flush.
    TPreparedFile PrepareFile(const std::string& Path, const TNoteSink& Notes, bool Flush = false);
    // Converts the file and puts it in place at once: it is replaced only when it is still the
    // one that was read, after its backup is on disk.
    TFileOutcome ConvertFile(const std::string& Path, const TNoteSink& Notes);

    TFileOutcome ConvertText(const std::string& Path);
    TFileOutcome ConvertGif(const std::string& Path);
    TFileOutcome ConvertPng(const std::string& Path, const TNoteSink& Notes);
    void ConvertBitmap();
    TRGBColor ConvertPixel(const TRGBColor& Color) const;

    TBitmap& WorkBitmapRef() { return *FWorkBitmap; }

private:
    class TPictureScope;

    TPreparedFile PrepareText(const std::string& Path, bool Flush);
    TPreparedFile PrepareSvg(const std::string& Path, bool Flush);
    TPreparedFile PrepareGif(const std::string& Path, bool Flush);
    TPreparedFile PreparePng(const std::string& Path, const TNoteSink& Notes, bool Flush);
    TPreparedFile PrepareJpeg(const std::string& Path, bool Flush);
    TPreparedFile PrepareWebP(const std::string& Path, bool Flush);
    TPreparedFile PrepareApng(const std::string& Path, std::unique_ptr<TSourceFile> Source, const TNoteSink& Notes,
                              bool Flush);
    // Converts the picture the PNG object has just loaded as a still PNG's; Converted receives
    // it encoded when it changed, or always with SaveUnchanged. Returns whether it changed.
    bool RecolourLoadedPng(const TNoteSink& Notes, TMemoryStream& Converted, bool SaveUnchanged);
    // Writes Converted beside Source and Source's bytes as its backup, ready to be put in
    // place; an Unchanged file is left alone.
    TPreparedFile Prepare(const std::string& Path, std::unique_ptr<TSourceFile> Source, std::string_view Converted,
                          bool Unchanged, bool Flush) const;

    bool FBackup;
    bool FGifTransparent;  // taken and kept for old callers: a GIF always keeps its own transparency
    bool FDryRun;
    TPictureLimits FLimits;

    // The pattern matcher of this set's rewriter: its own, so that no other user of a matcher
    // (another worker, the preview) can disturb a match in progress.
    std::unique_ptr<TMatcher> FMatcher;

    // The shared conversion objects, made in this order and freed in the same order.
    std::unique_ptr<TBitmap> FWorkBitmap;
    std::unique_ptr<TBitmap> FAlphaMaskBitmap;
    std::unique_ptr<PngImage> FPngObject;
    std::unique_ptr<TGIFImage> FGifObject;
    std::unique_ptr<TColourRewriter> FRewriter;
    std::unique_ptr<TColourAdjuster> FAdjuster;
};
