// Animated PNGs through tessival-batch, run as a child process: time and peak memory (the
// child's ru_maxrss) for one canvas with more and more frames, each frame the whole canvas of
// RGBA pixels, noisy (large files) or smooth (small ones). Frames are decoded one at a time:
// beyond the file and its new content, held whole, the peak should not grow with the frames.
//   bench_animation [SIDE]   (default 1000: a canvas of SIDE x SIDE pixels)

#include "ChildRun.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void Put32(std::string& Out, std::uint32_t V)
{
    for (int shift = 24; shift >= 0; shift -= 8) Out.push_back(static_cast<char>((V >> shift) & 0xFF));
}

void Chunk(std::string& Out, const char* Type, const std::string& Data)
{
    Put32(Out, static_cast<std::uint32_t>(Data.size()));
    const std::string typed = std::string(Type, 4) + Data;
    Out += typed;
    Put32(Out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

// Side x Side RGBA rows, filter None, of a colour that drifts (with some noise), deflated.
std::string FrameData(int Side, int Seed, bool Noise)
{
    std::mt19937 random(static_cast<unsigned>(Seed));
    std::string raw;
    raw.reserve(static_cast<std::size_t>(Side) * (4 * Side + 1));
    for (int y = 0; y < Side; ++y) {
        raw.push_back(0);
        for (int x = 0; x < Side; ++x) {
            raw.push_back(static_cast<char>((x + Seed * 10) & 0xFF));
            raw.push_back(static_cast<char>((y + (Noise ? random() & 15 : 0)) & 0xFF));
            raw.push_back(static_cast<char>((x + y) & 0xFF));
            raw.push_back(static_cast<char>(255 - (Noise ? random() & 63 : 0)));
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 6);
    out.resize(size);
    return out;
}

std::string Animation(int Side, int Frames, bool Noise)
{
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    Put32(header, static_cast<std::uint32_t>(Side));
    Put32(header, static_cast<std::uint32_t>(Side));
    header += std::string("\x08\x06\x00\x00\x00", 5);
    Chunk(png, "IHDR", header);
    std::string control;
    Put32(control, static_cast<std::uint32_t>(Frames));
    Put32(control, 0);
    Chunk(png, "acTL", control);
    std::uint32_t sequence = 0;
    for (int f = 0; f < Frames; ++f) {
        std::string frame;
        Put32(frame, sequence++);
        Put32(frame, static_cast<std::uint32_t>(Side));
        Put32(frame, static_cast<std::uint32_t>(Side));
        Put32(frame, 0);
        Put32(frame, 0);
        frame += std::string("\x00\x01\x00\x0a\x00\x00", 6);
        Chunk(png, "fcTL", frame);
        const std::string data = FrameData(Side, f, Noise);
        if (f == 0) {
            Chunk(png, "IDAT", data);
        } else {
            std::string piece;
            Put32(piece, sequence++);
            Chunk(png, "fdAT", piece + data);
        }
    }
    Chunk(png, "IEND", "");
    return png;
}

}  // namespace

int main(int argc, char** argv)
{
    const int side = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (side < 16 || side > 8000) {
        std::fprintf(stderr, "usage: bench_animation [SIDE 16..8000]\n");
        return 2;
    }
    char pattern[] = "/tmp/tessival-bench-animation-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const fs::path dir = pattern;
    std::printf("animated PNG, RGBA canvas %dx%d, every frame the whole canvas, --hue 120 --no-backup --jobs 1\n", side, side);
    std::printf("%8s %8s %12s %10s %12s\n", "pixels", "frames", "file MB", "seconds", "peak MB");
    for (const bool noise : {false, true}) {
        for (const int frames : {1, 4, 16, 32}) {
            const fs::path path = dir / ("anim" + std::to_string(frames) + ".png");
            const std::string data = Animation(side, frames, noise);
            std::ofstream(path, std::ios::binary) << data;
            const TChild run = RunTool({"--hue", "120", "--no-backup", "--jobs", "1", path.string()});
            if (run.Status != 0) std::printf("(tessival-batch exited %d)\n", run.Status);
            std::printf("%8s %8d %12.1f %10.2f %12.1f\n", noise ? "noisy" : "smooth", frames, data.size() / 1e6,
                        run.Seconds, run.PeakKB / 1024.0);
        }
    }
    fs::remove_all(dir);
    return 0;
}
