// How large the batch writes GIFs: total bytes written over bytes read at 120 degrees, over
// the public GIF test images, a generated set of web graphics (spacers, bullets, icons and
// logos on transparent backgrounds, buttons, banners, rules, photo thumbnails, a few
// animations) as a common encoder writes them, and the sample site's GIFs; beside it the
// figure of the old way (the picture widened to true colour, converted pixel by pixel and
// reduced again with an octree palette and Floyd-Steinberg).
#include "batch/FileConverter.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TSetResult {
    int Files = 0;
    int Converted = 0;
    int Unchanged = 0;
    long long In = 0;
    long long Out = 0;
    long long OldIn = 0;  // the old way, over the files it converted too
    long long OldOut = 0;
};

// The old way's bytes for a GIF, or -1 where it refused the file.
long long OldWay(TFileConverter& Converter, const std::string& Data)
{
    try {
        TGIFImage gif;
        TMemoryStream in;
        in.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
        in.SetPosition(0);
        gif.LoadFromStream(in);
        if (gif.Count() != 1 || gif.Width() == 0 || gif.Height() == 0)
            return -1;
        TBitmap& work = Converter.WorkBitmapRef();
        work.Assign(&gif);
        work.SetTransparent(false);
        Converter.ConvertBitmap();
        TGIFImage out;
        out.ReductionMethod = 7;
        out.DitherMethod = 1;
        out.Assign(&work);
        TMemoryStream saved;
        out.SaveToStream(saved);
        return saved.Size();
    } catch (const std::exception&) {
        return -1;
    }
}

TSetResult Measure(const std::vector<fs::path>& Files, const fs::path& Scratch)
{
    TConversionSettings settings;
    settings.HueOffset = 120;
    TFileConverter converter(settings, false, false);
    TFileConverter old(settings, false, false);
    TSetResult result;
    fs::create_directories(Scratch);
    for (const fs::path& file : Files) {
        ++result.Files;
        const std::string data = ReadAll(file);
        const fs::path copy = Scratch / "work.gif";
        fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
        bool unchanged = false;
        try {
            unchanged = converter.ConvertGif(copy.string()).Unchanged;
        } catch (const std::exception&) {
            continue;  // refused or broken: the file stays as it was
        }
        ++result.Converted;
        result.Unchanged += unchanged ? 1 : 0;
        result.In += static_cast<long long>(data.size());
        result.Out += static_cast<long long>(fs::file_size(copy));
        const long long before = OldWay(old, data);
        if (before >= 0) {
            result.OldIn += static_cast<long long>(data.size());
            result.OldOut += before;
        }
    }
    return result;
}

std::vector<fs::path> GifsUnder(const fs::path& Folder)
{
    std::vector<fs::path> files;
    if (fs::is_directory(Folder))
        for (const auto& e : fs::recursive_directory_iterator(Folder))
            if (e.is_regular_file() && e.path().extension() == ".gif")
                files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

double Ratio(long long Out, long long In) { return In ? static_cast<double>(Out) / static_cast<double>(In) : 0.0; }

void Print(const char* Name, const TSetResult& R)
{
    std::printf("  %-24s %5d %9d %9d %10lld %10lld %7.3f %8.3f\n", Name, R.Files, R.Converted, R.Unchanged, R.In, R.Out,
                Ratio(R.Out, R.In), Ratio(R.OldOut, R.OldIn));
}

}  // namespace

int main()
{
    const fs::path scratch = fs::temp_directory_path() / ("tessival-bench-gif-" + std::to_string(::getpid()));
    const fs::path generated = scratch / "web";
    const std::string command = "/usr/bin/python3 " + std::string(TESSIVAL_SOURCE_DIR) +
                                "/bench/gif_web_graphics.py " + generated.string() + " >/dev/null";
    if (std::system(command.c_str()) != 0)
        std::printf("(no web graphics made: Debian's python3-pil is needed)\n");

    const TSetResult corpus = Measure(GifsUnder(fs::path(TESSIVAL_TESTDATA_DIR) / "gif"), scratch / "a");
    const TSetResult web = Measure(GifsUnder(generated), scratch / "b");
    const TSetResult site = Measure(GifsUnder(fs::path(TESSIVAL_SOURCE_DIR) / "examples/site"), scratch / "c");
    TSetResult all = corpus;
    for (const TSetResult* r : {&web, &site}) {
        all.Files += r->Files;
        all.Converted += r->Converted;
        all.Unchanged += r->Unchanged;
        all.In += r->In;
        all.Out += r->Out;
        all.OldIn += r->OldIn;
        all.OldOut += r->OldOut;
    }

    std::printf("GIF output size at hue 120: bytes written / bytes read, over the files converted\n");
    std::printf("  %-24s %5s %9s %9s %10s %10s %7s %8s\n", "set", "files", "converted", "unchanged", "bytes in",
                "bytes out", "ratio", "old way");
    Print("public test images", corpus);
    Print("generated web graphics", web);
    Print("sample site", site);
    Print("all", all);
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return 0;
}
