// JPEG conversion speed: megapixels per second of tessival-batch on a set of 20 generated
// photographs of 2 to 12 megapixels (hue +120, no backups), with one worker and with one per
// core, beside ImageMagick's mogrify -modulate 100,100,166.667 (the same hue turn; Debian's
// imagemagick, scripts/deps.sh --bench) on the same files, and the codec alone (decode and code
// again at the same quality, no conversion) as the floor. The set is made once into
// $BENCH_JPEG (default /dev/shm/tessival-jpeg) and reused; every run works on a fresh copy.

#include "jpeg/JpegPicture.h"
#include "jpeg/JpegReader.h"
#include "jpeg/JpegWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TPhoto {
    int Width, Height, Quality;
    bool Progressive, FullChroma;
};

// 2 to 12 megapixels, as cameras and phones give them and sites keep them.
constexpr TPhoto Photos[] = {
    {1600, 1200, 85, false, false}, {1920, 1080, 90, true, false},  {2048, 1536, 80, false, false},
    {2000, 1500, 92, false, true},  {2560, 1440, 85, true, false},  {2400, 1600, 75, false, false},
    {2592, 1728, 88, false, false}, {2816, 1584, 90, true, false},  {3000, 2000, 85, false, false},
    {3072, 2048, 95, false, true},  {3264, 2448, 82, false, false}, {3200, 2400, 90, true, false},
    {3456, 2304, 85, false, false}, {3600, 2400, 78, false, false}, {3840, 2160, 90, true, false},
    {3648, 2736, 86, false, false}, {4000, 2250, 92, false, true},  {4032, 2268, 85, true, false},
    {4000, 2668, 88, false, false}, {4000, 3000, 90, false, false},
};

std::string ReadAll(const fs::path& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A landscape with a sky gradient, textured ground, hard-edged objects and sensor noise.
std::string MakePhoto(const TPhoto& Photo, unsigned Seed)
{
    TJpegPicture picture;
    picture.Width = Photo.Width;
    picture.Height = Photo.Height;
    picture.Pixels.reset(new std::uint8_t[picture.Stride() * static_cast<std::size_t>(picture.Height)]);
    std::uint32_t random = Seed * 2654435761u + 1;
    const int horizon = Photo.Height * 2 / 5;
    for (int y = 0; y < Photo.Height; ++y) {
        std::uint8_t* p = picture.Pixels.get() + picture.Stride() * static_cast<std::size_t>(y);
        for (int x = 0; x < Photo.Width; ++x, p += 4) {
            random ^= random << 13;
            random ^= random >> 17;
            random ^= random << 5;
            const int noise = static_cast<int>(random & 15) - 8;
            int r, g, b;
            if (y < horizon) {
                r = 90 + 120 * y / horizon;
                g = 140 + 90 * y / horizon;
                b = 230 - 10 * y / horizon;
            } else {
                const int t = 100 * (y - horizon) / (Photo.Height - horizon);
                const int texture = ((x * 7 + y * 3) % 37) - 18 + ((x / 5 + y / 7) % 11);
                r = 70 + 6 * t / 10 + texture;
                g = 120 - 3 * t / 10 + texture;
                b = 40 + 2 * t / 10;
            }
            const int dx = x - Photo.Width * 3 / 10, dy = y - Photo.Height * 6 / 10, radius = Photo.Height / 8;
            if (dx * dx + dy * dy < radius * radius) {
                r = 200;
                g = 30 + (dx + dy) / 16;
                b = 40;
            }
            if (x > Photo.Width * 6 / 10 && x < Photo.Width * 85 / 100 && y > Photo.Height * 3 / 10 && y < Photo.Height * 3 / 4)
                r = g = b = 235;
            const auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            p[0] = clamp(b + noise);
            p[1] = clamp(g + noise);
            p[2] = clamp(r + noise);
            p[3] = 0;
        }
    }
    TJpegCoding& coding = picture.Coding;
    coding.ColourSpace = TJpegColourSpace::YCbCr;
    coding.Sampling = Photo.FullChroma ? std::vector<TJpegSampling>{{1, 1}, {1, 1}, {1, 1}}
                                       : std::vector<TJpegSampling>{{2, 2}, {1, 1}, {1, 1}};
    coding.Quality = Photo.Quality;
    coding.Progressive = Photo.Progressive;
    coding.Markers = {{0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14)}, {0xFE, "bench photograph"}};
    return WriteJpeg(picture);
}

double Seconds(const std::chrono::steady_clock::time_point& Since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

double Load()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// A fresh copy of the set in Work; the files' names for a command line.
std::string FreshCopy(const fs::path& Set, const fs::path& Work)
{
    fs::remove_all(Work);
    fs::create_directories(Work);
    std::string names;
    for (std::size_t i = 0; i < std::size(Photos); ++i) {
        const std::string name = "photo" + std::to_string(i) + ".jpg";
        fs::copy_file(Set / name, Work / name);
        names += " '" + (Work / name).string() + "'";
    }
    return names;
}

double Timed(const std::string& Command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system((Command + " > /dev/null").c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", Command.c_str());
        std::exit(1);
    }
    return Seconds(start);
}

}  // namespace

int main()
{
    const char* setEnv = std::getenv("BENCH_JPEG");
    const fs::path set = setEnv ? setEnv : "/dev/shm/tessival-jpeg";
    const fs::path work = set.string() + "-work";
    double megapixels = 0;
    for (const TPhoto& p : Photos) megapixels += static_cast<double>(p.Width) * p.Height / 1e6;
    if (!fs::exists(set / ("photo" + std::to_string(std::size(Photos) - 1) + ".jpg"))) {
        std::printf("making %zu photographs (%.1f Mpx) in %s\n", std::size(Photos), megapixels, set.c_str());
        fs::create_directories(set);
        for (std::size_t i = 0; i < std::size(Photos); ++i) {
            const std::string bytes = MakePhoto(Photos[i], static_cast<unsigned>(i + 1));
            std::ofstream(set / ("photo" + std::to_string(i) + ".jpg"), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }
    std::uintmax_t bytes = 0;
    for (std::size_t i = 0; i < std::size(Photos); ++i) bytes += fs::file_size(set / ("photo" + std::to_string(i) + ".jpg"));
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("%zu JPEG photographs, %.1f Mpx, %.1f MB; %u cores; load %.2f\n", std::size(Photos), megapixels,
                static_cast<double>(bytes) / 1e6, cores, Load());

    // The floor: the codec alone, one thread, each file read and coded again as it was.
    {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < std::size(Photos); ++i) {
            const std::string file = ReadAll(set / ("photo" + std::to_string(i) + ".jpg"));
            TJpegReader reader(file, std::uint64_t{1} << 32);
            const TJpegPicture picture = reader.Read();
            (void)WriteJpeg(picture).size();
        }
        const double s = Seconds(start);
        std::printf("%-44s %7.2f s %7.1f Mpx/s  (load %.2f)\n", "codec alone (decode + code), 1 thread", s, megapixels / s, Load());
    }
    const std::string tool = TESSIVAL_BATCH_TOOL;
    for (unsigned jobs : {1u, cores}) {
        const std::string names = FreshCopy(set, work);
        const double s = Timed(tool + " --no-backup --hue 120 --jobs " + std::to_string(jobs) + names);
        const std::string label = "tessival-batch --hue 120 --jobs " + std::to_string(jobs);
        std::printf("%-44s %7.2f s %7.1f Mpx/s  (load %.2f)\n", label.c_str(), s, megapixels / s, Load());
    }
    if (std::system("command -v mogrify > /dev/null 2>&1") != 0) {
        std::printf("mogrify: not installed (scripts/deps.sh --bench)\n");
    } else {
        for (const char* threads : {"", "MAGICK_THREAD_LIMIT=1 "}) {
            const std::string names = FreshCopy(set, work);
            const double s = Timed(std::string(threads) + "mogrify -modulate 100,100,166.667" + names);
            const std::string label = std::string("mogrify -modulate 100,100,166.667") + (*threads ? ", 1 thread" : "");
            std::printf("%-44s %7.2f s %7.1f Mpx/s  (load %.2f)\n", label.c_str(), s, megapixels / s, Load());
        }
    }
    fs::remove_all(work);
    return 0;
}
