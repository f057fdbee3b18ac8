// Batch throughput: files per second and MB per second for a whole site of 500 HTML and CSS
// files and 200 images, converted with a hue shift and backups, as the batch window would.

#include "batch/FileSearch.h"
#include "batch/BatchRun.h"
#include "base/SafeFile.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "png/PngImage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <algorithm>

namespace {

std::string Hex(std::mt19937& Rng)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(Rng() & 0xFFFFFF));
    return text;
}

std::string HtmlPage(std::mt19937& Rng, int Index)
{
    std::string page = "<html><head><title>page " + std::to_string(Index) +
                       "</title>\n<style>\nbody { color: " + Hex(Rng) + "; background: " + Hex(Rng) +
                       " }\n.a { border: 1px solid rgb(12, 200, 40) }\n</style></head>\n<body bgcolor=\"" +
                       Hex(Rng) + "\" text=\"" + Hex(Rng) + "\" link=\"navy\">\n";
    for (int row = 0; row < 60; ++row) {
        page += "<p style=\"color: " + Hex(Rng) + "; margin: 0\">段落 " + std::to_string(row) +
                " の文章です。Some text to make the page the size of a real one.</p>\n";
        if (row % 6 == 0)
            page += "<table><tr><td bgcolor=\"" + Hex(Rng) + "\"><font color=\"" + Hex(Rng) +
                    "\">cell</font></td><td bgcolor=red>x</td></tr></table>\n";
    }
    page += "</body></html>\n";
    return page;
}

std::string StyleSheet(std::mt19937& Rng)
{
    std::string css;
    for (int rule = 0; rule < 80; ++rule)
        css += ".c" + std::to_string(rule) + " { color: " + Hex(Rng) + "; background-color: " + Hex(Rng) +
               "; border-color: rgb(10%, 20%, 30%) }\n";
    return css;
}

void FillPicture(TBitmap& Bitmap, int Size, int Seed)
{
    Bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    Bitmap.SetSize(Size, Size);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const int r = (x * 255 / Size + Seed * 7) & 0xFF;
            const int g = (y * 255 / Size + Seed * 13) & 0xFF;
            const int b = ((x ^ y) * 3 + Seed) & 0xFF;
            Bitmap.SetPixel(x, y, RGBColor(r, g, b));
        }
}

std::uint64_t PathBytes(const std::vector<std::string>& Paths)
{
    std::uint64_t total = 0;
    for (const std::string& p : Paths) {
        struct stat st {};
        if (stat(p.c_str(), &st) == 0) total += static_cast<std::uint64_t>(st.st_size);
    }
    return total;
}

std::string MakeSite()
{
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = std::string(base) + "/tessival-bench-XXXXXX";
    if (!mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    std::mt19937 rng(20261207);
    for (int i = 0; i < 500; ++i) {
        const std::string sub = folder + "/section" + std::to_string(i % 10);
        mkdir(sub.c_str(), 0755);
        if (i % 10 < 7)
            SaveFileSafely(sub + "/page" + std::to_string(i) + ".html", HtmlPage(rng, i));
        else
            SaveFileSafely(sub + "/style" + std::to_string(i) + ".css", StyleSheet(rng));
    }
    for (int i = 0; i < 200; ++i) {
        const std::string sub = folder + "/images" + std::to_string(i % 4);
        mkdir(sub.c_str(), 0755);
        TBitmap picture;
        FillPicture(picture, 96 + (i % 5) * 32, i);
        if (i % 2 == 0) {
            PngImage png;
            png.Assign(&picture);
            png.SaveToFile(sub + "/photo" + std::to_string(i) + ".png");
        } else {
            TGIFImage gif;
            gif.ReductionMethod = 7;
            gif.DitherMethod = 1;
            gif.Assign(&picture);
            gif.SaveToFile(sub + "/icon" + std::to_string(i) + ".gif");
        }
    }
    return folder;
}

struct TFigures {
    int Files = 0;
    int Successes = 0;
    double Seconds = 0;
};

TFigures Run(const std::vector<std::string>& Paths, bool Backup, int Jobs)
{
    TBatchInput input;
    for (const std::string& p : Paths) input.Items.push_back({true, p});
    input.Settings.HueOffset = 120;
    input.Settings.SatOffset = -20;
    input.Backup = Backup;
    input.Jobs = Jobs;
    const auto start = std::chrono::steady_clock::now();
    TBatchRun operation(input);
    TSilentObserver quiet;
    operation.ExecuteConversion(quiet);
    TFigures f;
    f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.Files = operation.Total();
    f.Successes = operation.Successes();
    return f;
}

// Runs the batch over Paths and prints its figures; the bytes are those of the files as they
// were before the run.
void Measure(const char* What, const std::vector<std::string>& Paths, bool Backup, int Jobs = 1)
{
    const std::uint64_t Bytes = PathBytes(Paths);
    const TFigures F = Run(Paths, Backup, Jobs);
    std::printf("%-34s %4d files (%d converted) %8.2f MB  %7.3f s  %8.1f files/s  %7.2f MB/s\n", What, F.Files,
                F.Successes, Bytes / 1e6, F.Seconds, F.Files / F.Seconds, Bytes / 1e6 / F.Seconds);
}

}  // namespace

int main()
{
    const std::string site = MakeSite();
    const std::vector<std::string> all = SearchSiteFolder(site, true);
    std::vector<std::string> texts, images;
    for (const std::string& p : all) (p.ends_with(".png") || p.ends_with(".gif") ? images : texts).push_back(p);
    std::printf("site in %s: %zu text files (%.2f MB), %zu images (%.2f MB)\n", site.c_str(), texts.size(),
                PathBytes(texts) / 1e6, images.size(), PathBytes(images) / 1e6);

    Measure("whole site, backups on", all, true);
    Measure("whole site again, backups off", all, false);
    Measure("text files only, backups off", texts, false);
    Measure("images only, backups off", images, false);
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    char what[64];
    std::snprintf(what, sizeof what, "whole site, backups off, %d jobs", cores);
    Measure(what, all, false, cores);

    std::filesystem::remove_all(site);
    return 0;
}
