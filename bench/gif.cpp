// GIF codec speed on a 1-megapixel photo-like image: load (LZW decoding), octree palette
// with Floyd-Steinberg dithering, and save (LZW encoding), in megapixels per second.
#include "gif/GIFConvert.h"
#include "gif/GIFImage.h"
#include "gif/GIFQuantize.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

// Runs the step at least three times and for at least a second; the best time counts.
double BestSeconds(const std::function<void()>& Step)
{
    double best = 1e9;
    const auto start = Clock::now();
    int runs = 0;
    while (runs < 3 || Clock::now() - start < std::chrono::seconds(1)) {
        const auto t0 = Clock::now();
        Step();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
        ++runs;
    }
    return best;
}

// Smooth gradients, soft shapes and sensor-like noise: many colours, few exact repeats.
void MakePhoto(TBitmap& Bitmap, int Width, int Height)
{
    Bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    Bitmap.SetSize(Width, Height);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (int y = 0; y < Height; ++y) {
        std::uint8_t* p = Bitmap.ScanLine(y);
        for (int x = 0; x < Width; ++x) {
            const double u = static_cast<double>(x) / Width, v = static_cast<double>(y) / Height;
            const double sky = 1.0 - v;
            const double sun = std::exp(-((u - 0.7) * (u - 0.7) + (v - 0.3) * (v - 0.3)) * 30.0);
            const double hill = v > 0.55 + 0.1 * std::sin(u * 9.0) ? 1.0 : 0.0;
            double r = 90 + 120 * sky * (1 - hill) + 150 * sun + 40 * hill * std::sin(u * 40 + v * 13);
            double g = 120 + 90 * sky * (1 - hill) + 120 * sun + 80 * hill;
            double b = 200 * sky * (1 - hill) + 60 * sun + 30 * hill * std::cos(v * 50);
            const auto channel = [&](double c) {
                return static_cast<std::uint8_t>(std::clamp(c + noise(random), 0.0, 255.0));
            };
            p[4 * x] = channel(b);
            p[4 * x + 1] = channel(g);
            p[4 * x + 2] = channel(r);
            p[4 * x + 3] = 0;
        }
    }
}

} // namespace

int main()
{
    const int width = 1000, height = 1000;
    const double megapixels = width * height / 1e6;
    TBitmap photo;
    MakePhoto(photo, width, height);

    // Octree palette alone, then palette and dithering together (the batch's reduction).
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    const double octree = BestSeconds([&] {
        BuildOctreePalette(
            [&](int y) {
                ReadRow24(photo, y, row.data());
                return row.data();
            },
            width, height, 256, 8, false);
    });
    const double reduce = BestSeconds([&] { ReduceToPalette(photo, 7, 1, 8, nullptr); });

    TGIFImage gif;
    gif.ReductionMethod = 7;
    gif.DitherMethod = 1;
    gif.Assign(&photo);
    TMemoryStream saved;
    const double save = BestSeconds([&] {
        saved.Clear();
        gif.SaveToStream(saved);
    });
    const double load = BestSeconds([&] {
        saved.SetPosition(0);
        TGIFImage loaded;
        loaded.LoadFromStream(saved);
    });

    std::printf("GIF codec, %dx%d photo-like image (%.1f MP), best of repeated runs\n", width, height, megapixels);
    std::printf("  load (LZW decode)          %8.1f MP/s  (%.1f ms)\n", megapixels / load, load * 1e3);
    std::printf("  octree palette alone       %8.1f MP/s  (%.1f ms)\n", megapixels / octree, octree * 1e3);
    std::printf("  octree + Floyd-Steinberg   %8.1f MP/s  (%.1f ms)\n", megapixels / reduce, reduce * 1e3);
    std::printf("  save (LZW encode)          %8.1f MP/s  (%.1f ms), %lld bytes\n", megapixels / save, save * 1e3,
                static_cast<long long>(saved.Size()));
    return 0;
}
