// PNG output size and encode speed of the batch's PNG conversion:
//
//   bench_png_size [DIR...]
//
// Without arguments it measures the public test images (TESSIVAL_TESTDATA_DIR/pngsuite) and a
// set of web graphics made by bench/png_webset.py (gradients, icons, photos with alpha,
// screenshots, saved by PIL; needs /usr/bin/python3 with PIL) in a temporary folder.
//
// Per folder and subfolder: every PNG is copied to a work folder and converted at hue +120 by
// the batch's own converter, and the output bytes over the input bytes of the files that
// converted are given. Then the encode time (thread CPU, best of 3) of the converted pictures,
// saved as the batch saves them and as the writer saved them before (every row unfiltered,
// zlib's default level, palette files as true colour, no chunks kept), with their sizes.

#include "batch/FileConverter.h"
#include "colour/ConversionSettings.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"
#include "png/PngWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

double ThreadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct TTotals {
    int Files = 0;
    int Converted = 0;
    std::uint64_t In = 0, Out = 0;
    std::uint64_t Pixels = 0;
    double NewSeconds = 0, OldSeconds = 0;
    std::uint64_t NewBytes = 0, OldBytes = 0;

    void Add(const TTotals& t)
    {
        Files += t.Files;
        Converted += t.Converted;
        In += t.In;
        Out += t.Out;
        Pixels += t.Pixels;
        NewSeconds += t.NewSeconds;
        OldSeconds += t.OldSeconds;
        NewBytes += t.NewBytes;
        OldBytes += t.OldBytes;
    }
};

TConversionSettings Hue120()
{
    TConversionSettings settings;
    settings.HueOffset = 120;
    return settings;
}

// The encoder as it was configured before: rows unfiltered, zlib's default level, the picture
// in the form its bitmap has (true colour after a conversion), no chunks kept.
void SaveAsBefore(PngImage& Png, TBitmap* Alpha, TStream& Stream)
{
    PngWriter writer;
    writer.CompressionLevel = -1;
    writer.FilterMode = 1;
    writer.SetIdatSize(Png.IdatSize);
    writer.Interlaced = Png.Interlaced != 0;
    writer.Grayscale = Png.Grayscale;
    writer.Comment = Png.Comment;
    writer.BackgroundColor = Png.BackgroundColor();
    writer.TransparentColor = Png.TransparentColor();
    writer.Gamma = Png.Gamma;
    writer.SignificantBits = Png.SignificantBits;
    writer.PhysUnit = Png.PhysUnit;
    writer.PhysX = Png.PhysX;
    writer.PhysY = Png.PhysY;
    writer.Time = Png.Time;
    writer.Chromaticities = Png.Chromaticities;
    writer.GifControl = Png.GifControl;
    writer.SourcePalette = Png.LoadedPalette();
    if (Png.HasAlpha()) writer.AlphaBitmap = Alpha;
    writer.WriteBitmap(Png.ImageBitmap(), Stream);
}

template <class F>
double BestOf3(F&& Encode)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double t0 = ThreadSeconds();
        Encode();
        best = std::min(best, ThreadSeconds() - t0);
    }
    return best;
}

// Converts one file in place with the batch's converter; adds to T. Then times the encoding of
// the converted picture both ways from a pristine copy.
void Measure(const fs::path& Original, const fs::path& Copy, TFileConverter& Converter, TTotals& T)
{
    ++T.Files;
    const std::uint64_t in = fs::file_size(Original);
    try {
        Converter.ConvertPng(Copy.string(), nullptr);
    } catch (const std::exception&) {
        return;  // broken on purpose, or animated: left as it was
    }
    ++T.Converted;
    T.In += in;
    T.Out += fs::file_size(Copy);

    TFileConverter timing(Hue120(), false, false, true);
    PngImage png;
    TBitmap alpha;
    png.AttachAlpha(&alpha);
    png.LoadFromFile(Original.string());
    TBitmap& work = timing.WorkBitmapRef();
    png.ExchangeBitmap(work);
    if (png.TransparentColor() != clNone) work.SetTransparent(true);
    timing.ConvertBitmap();
    png.ExchangeBitmap(work);
    if (!png.HasAlpha()) png.AttachAlpha(nullptr);
    T.Pixels += static_cast<std::uint64_t>(png.Width()) * static_cast<std::uint64_t>(png.Height());

    TMemoryStream stream;
    T.NewSeconds += BestOf3([&] {
        stream.Clear();
        png.SaveToStream(stream);
    });
    T.NewBytes += static_cast<std::uint64_t>(stream.Size());
    T.OldSeconds += BestOf3([&] {
        stream.Clear();
        SaveAsBefore(png, &alpha, stream);
    });
    T.OldBytes += static_cast<std::uint64_t>(stream.Size());
}

void Print(const std::string& Name, const TTotals& T)
{
    const double mpx = static_cast<double>(T.Pixels) / 1e6;
    std::printf("%-28s %3d/%-3d files  %9llu -> %9llu bytes  out/in %6.3f  |  encode %8.1f ms (%5.1f Mpx/s)"
                "  before %8.1f ms (%5.1f Mpx/s, %9llu bytes)  time new/before %5.2f\n",
                Name.c_str(), T.Converted, T.Files, static_cast<unsigned long long>(T.In),
                static_cast<unsigned long long>(T.Out), T.In ? static_cast<double>(T.Out) / static_cast<double>(T.In) : 0.0,
                T.NewSeconds * 1e3, T.NewSeconds > 0 ? mpx / T.NewSeconds : 0.0, T.OldSeconds * 1e3,
                T.OldSeconds > 0 ? mpx / T.OldSeconds : 0.0, static_cast<unsigned long long>(T.OldBytes),
                T.OldSeconds > 0 ? T.NewSeconds / T.OldSeconds : 0.0);
}

// Measures every PNG below Dir, by subfolder; returns the folder's totals.
TTotals MeasureFolder(const std::string& Label, const fs::path& Dir, const fs::path& Work)
{
    fs::remove_all(Work);
    fs::create_directories(Work);
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(Dir)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (e.is_regular_file() && ext == ".png") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    TFileConverter converter(Hue120(), false, false);
    std::map<std::string, TTotals> parts;
    TTotals total;
    for (const fs::path& f : files) {
        const fs::path relative = fs::relative(f, Dir);
        const fs::path copy = Work / relative;
        fs::create_directories(copy.parent_path());
        fs::copy_file(f, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
        const std::string part = relative.has_parent_path() ? relative.begin()->string() : std::string(".");
        TTotals t;
        Measure(f, copy, converter, t);
        parts[part].Add(t);
        total.Add(t);
    }
    if (parts.size() > 1) {
        for (const auto& [name, t] : parts) Print("  " + Label + "/" + name, t);
    }
    Print(Label, total);
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const fs::path work = fs::temp_directory_path() / ("tessival_png_size_" + std::to_string(getpid()));
        std::vector<std::pair<std::string, fs::path>> sets;
        if (argc > 1) {
            for (int i = 1; i < argc; ++i) sets.emplace_back(fs::path(argv[i]).filename().string(), argv[i]);
        } else {
            const fs::path suite = fs::path(TESSIVAL_TESTDATA_DIR) / "pngsuite";
            if (fs::is_directory(suite)) {
                sets.emplace_back("public test images", suite);
            } else {
                std::printf("(no public test images in %s)\n", suite.c_str());
            }
            const fs::path webset = work / "webset";
            const std::string command = "/usr/bin/python3 '" + std::string(TESSIVAL_SOURCE_DIR) + "/bench/png_webset.py' '" +
                                        webset.string() + "'";
            if (std::system(command.c_str()) == 0) {
                sets.emplace_back("web graphics", webset);
            } else {
                std::printf("(no web graphics: %s failed; it needs /usr/bin/python3 with PIL)\n", command.c_str());
            }
        }
        std::printf("PNG conversion at hue +120: output bytes / input bytes, and encode time (thread CPU, best of 3)\n");
        TTotals all;
        for (const auto& [label, dir] : sets) all.Add(MeasureFolder(label, dir, work / "run"));
        if (sets.size() > 1) Print("all", all);
        fs::remove_all(work);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_png_size: %s\n", e.what());
        return 1;
    }
}
