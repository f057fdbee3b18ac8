// Peak memory of tessival-batch, run as a child process (getrusage's ru_maxrss of the child):
// decompression bombs refused by their declared size, a batch of large pictures with the
// default number of workers and with a memory budget, and stylesheets of 10 to 300 MB.
//   bench_memory [--no-text]

#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "png/PngImage.h"

#include "ChildRun.h"
#include "support/PictureBombs.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using picturebombs::Chunk;
using picturebombs::DeflatedZeros;
using picturebombs::LzwZeros;

void Write(const std::string& Path, const std::string& Data)
{
    std::ofstream(Path, std::ios::binary).write(Data.data(), static_cast<std::streamsize>(Data.size()));
}


std::string Png(std::uint32_t Width, std::uint32_t Height, char ColourType, const std::string& Idat)
{
    std::string ihdr;
    for (std::uint32_t v : {Width, Height})
        for (int s = 24; s >= 0; s -= 8) ihdr.push_back(static_cast<char>((v >> s) & 0xFF));
    ihdr += std::string{8, ColourType, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + Chunk("IDAT", Idat) + Chunk("IEND", "");
}



std::string Word(int V) { return {static_cast<char>(V & 0xFF), static_cast<char>(V >> 8)}; }

std::string Gif(int Width, int Height, const std::string& Data)
{
    return "GIF89a" + Word(Width) + Word(Height) + std::string("\x80\x00\x00", 3) + std::string("\x00\x00\x00\xff\xff\xff", 6) +
           "\x2c" + Word(0) + Word(0) + Word(0) + Word(0) + std::string(1, '\0') + Data + "\x3b";
}

void Bombs(const std::string& Folder)
{
    struct TBomb {
        const char* What;
        std::string Name;
        std::string Bytes;
    };
    const std::uint32_t side = 10240;
    const std::vector<TBomb> bombs = {
        {"GIF, screen 65535x4096, no data", "screen.gif", Gif(65535, 4096, std::string("\x02\x01\x44\x00", 4))},
        {"PNG, IHDR 16384x16384 RGB, tiny IDAT", "ihdr.png", Png(16384, 16384, 2, DeflatedZeros(100))},
        {"PNG zlib bomb 10240x10240 grey", "zlib.png", Png(side, side, 0, DeflatedZeros(std::uint64_t{side} * (side + 1)))},
        {"PNG zlib bomb 8192x8192 RGB", "zlib-rgb.png", Png(8192, 8192, 2, DeflatedZeros(std::uint64_t{8192} * (8192 * 3 + 1)))},
        {"GIF LZW bomb 10240x10240", "lzw.gif", Gif(side, side, LzwZeros(std::uint64_t{side} * side))},
        {"GIF LZW bomb 16384x16384", "lzw-max.gif", Gif(16384, 16384, LzwZeros(std::uint64_t{16384} * 16384))},
    };
    std::printf("Decompression bombs, each alone (peak RSS of the child; refused or converted):\n");
    std::printf("  %-38s %9s  %-26s %-26s\n", "file", "bytes", "default limit", "--max-pixels 268435456");
    for (const TBomb& b : bombs) {
        const std::string path = Folder + "/" + b.Name;
        std::string cells;
        for (const bool ceiling : {false, true}) {
            Write(path, b.Bytes);
            std::vector<std::string> args = {"--hue", "120", "--no-backup"};
            if (ceiling) args.insert(args.end(), {"--max-pixels", "268435456"});
            args.push_back(path);
            const TChild c = RunTool(args);
            char cell[64];
            std::snprintf(cell, sizeof cell, "%7.1f MB %6.2f s %-6s", c.PeakKB / 1024.0, c.Seconds,
                          c.Status == 0 ? "conv" : "refus");
            cells += std::string(cell) + " ";
        }
        std::printf("  %-38s %9zu  %s\n", b.What, b.Bytes.size(), cells.c_str());
    }
}

void Pictures(const std::string& Folder)
{
    const int width = 4000, height = 4000;
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    std::mt19937 rng(7);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 255 / width);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
            row[3 * x + 2] = static_cast<std::uint8_t>(((x / 40) ^ (y / 40)) * 16 + (rng() & 7));
        }
    }
    const std::string pictures = Folder + "/pictures";
    fs::create_directories(pictures);
    {
        PngImage png;
        png.Assign(&bitmap);
        png.SaveToFile(pictures + "/p0.png");
        TGIFImage gif;
        gif.Assign(&bitmap);
        gif.SaveToFile(pictures + "/g0.gif");
    }
    for (int i = 1; i < 6; ++i) fs::copy_file(pictures + "/p0.png", pictures + "/p" + std::to_string(i) + ".png");
    for (int i = 1; i < 2; ++i) fs::copy_file(pictures + "/g0.gif", pictures + "/g" + std::to_string(i) + ".gif");
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("\nA batch of 6 PNGs and 2 GIFs of %dx%d (%.0f Mpx each; %.0f MB as 32-bit pixels), %ld cores:\n",
                width, height, width * height / 1e6, width * height * 4 / 1048576.0, cores);
    struct TSetting {
        const char* What;
        std::vector<std::string> Args;
    };
    const std::vector<TSetting> settings = {
        {"--jobs 1", {"--jobs", "1"}},
        {"default jobs, default budget", {}},
        {"default jobs, --memory-budget 150", {"--memory-budget", "150"}},
        {"--jobs 4, default budget", {"--jobs", "4"}},
        {"--jobs 4, --memory-budget 250", {"--jobs", "4", "--memory-budget", "250"}},
    };
    for (const TSetting& s : settings) {
        std::vector<std::string> args = {"--hue", "30", "--no-backup"};
        args.insert(args.end(), s.Args.begin(), s.Args.end());
        args.push_back(pictures);
        const TChild c = RunTool(args);
        std::printf("  %-36s peak %7.1f MB  %6.2f s  exit %d\n", s.What, c.PeakKB / 1024.0, c.Seconds, c.Status);
    }
}

void Text(const std::string& Folder)
{
    std::printf("\nStylesheets (peak RSS / file size):\n");
    const char* rule = ".c%d { color: #%06X; background: rgb(10, 20, 30); border-color: red }";
    std::mt19937 rng(1);
    for (const int mb : {10, 100, 300}) {
        for (const bool lines : {false, true}) {
            const std::string path = Folder + "/sheet.css";
            {
                std::ofstream out(path, std::ios::binary);
                std::string buffer;
                char piece[128];
                std::uint64_t size = 0;
                for (int n = 0; size < std::uint64_t(mb) * 1000000; ++n) {
                    const int len = std::snprintf(piece, sizeof piece, rule, n, static_cast<unsigned>(rng() & 0xFFFFFF));
                    buffer.append(piece, static_cast<std::size_t>(len));
                    buffer.push_back(lines ? '\n' : ' ');
                    size += static_cast<std::uint64_t>(len) + 1;
                    if (buffer.size() > (1 << 20)) {
                        out << buffer;
                        buffer.clear();
                    }
                }
                out << buffer;
            }
            const double bytes = static_cast<double>(fs::file_size(path));
            const TChild c = RunTool({"--hue", "120", "--no-backup", path});
            std::printf("  %3d MB %-11s peak %7.1f MB  x%.2f  %6.2f s\n", mb, lines ? "many lines" : "one line",
                        c.PeakKB / 1024.0, c.PeakKB * 1024.0 / bytes, c.Seconds);
            fs::remove(path);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const bool text = !(argc > 1 && std::strcmp(argv[1], "--no-text") == 0);
    std::string folder = (fs::temp_directory_path() / "tessival-bench-memory-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    Bombs(folder);
    Pictures(folder);
    if (text) Text(folder);
    fs::remove_all(folder);
    return 0;
}
