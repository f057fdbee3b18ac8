// PNG codec speed: load + save of a 4-megapixel RGBA image, beside zlib alone inflating and
// deflating its rows unfiltered at the default level (the floor for this codec).

#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"
#include "png/PngWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 2048;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A picture with the texture of a photograph: smooth gradients, noise and a soft alpha edge.
void Fill(TBitmap& image, TBitmap& alpha)
{
    image.SetPixelFormat(TPixelFormat::pf32bit);
    image.SetSize(kWidth, kHeight);
    alpha.SetPixelFormat(TPixelFormat::pf8bit);
    alpha.SetSize(kWidth, kHeight);
    alpha.SetPalette(GreyPalette(8));
    std::mt19937 rng(42);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* p = image.ScanLine(y);
        std::uint8_t* a = alpha.ScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            const unsigned noise = rng() & 7;
            p[4 * x] = static_cast<std::uint8_t>((x / 8 + noise) & 0xFF);
            p[4 * x + 1] = static_cast<std::uint8_t>((y / 8 + noise) & 0xFF);
            p[4 * x + 2] = static_cast<std::uint8_t>(((x + y) / 16) & 0xFF);
            a[x] = static_cast<std::uint8_t>(x < kWidth / 2 ? 0 : (x - kWidth / 2) * 255 / (kWidth / 2));
        }
    }
}

}  // namespace

int main()
{
    TBitmap image, alpha;
    Fill(image, alpha);
    const double megapixels = static_cast<double>(kWidth) * kHeight / 1e6;

    // The codec, through PngImage as the batch uses it (its default settings). A
    // PngImage writes an alpha channel when its last load had one, so it first loads a
    // 1x1 RGBA file and is then given the big picture and its alpha.
    TMemoryStream rgbaSeed;
    {
        TBitmap dot, dotAlpha;
        dot.SetPixelFormat(TPixelFormat::pf32bit);
        dot.SetSize(1, 1);
        dotAlpha.SetPixelFormat(TPixelFormat::pf8bit);
        dotAlpha.SetSize(1, 1);
        PngWriter writer;
        writer.AlphaBitmap = &dotAlpha;
        writer.WriteBitmap(dot, rgbaSeed);
    }
    TMemoryStream encoded;
    double saveTime = 1e9, loadTime = 1e9;
    std::int64_t encodedSize = 0;
    for (int round = 0; round < kRounds; ++round) {
        PngImage saver;
        rgbaSeed.SetPosition(0);
        saver.LoadFromStream(rgbaSeed);
        saver.Assign(&image);
        saver.AttachAlpha(&alpha);
        encoded.Clear();
        auto t0 = Clock::now();
        saver.SaveToStream(encoded);
        saveTime = std::min(saveTime, Seconds(Clock::now() - t0));
        encodedSize = encoded.Size();

        PngImage loader;
        TBitmap loadedAlpha;
        loader.AttachAlpha(&loadedAlpha);
        encoded.SetPosition(0);
        t0 = Clock::now();
        loader.LoadFromStream(encoded);
        loadTime = std::min(loadTime, Seconds(Clock::now() - t0));
        if (!loader.HasAlpha() || loader.Width() != kWidth || loadedAlpha.ScanLine(0)[kWidth - 1] != alpha.ScanLine(0)[kWidth - 1]) {
            std::fprintf(stderr, "the round trip lost the alpha channel\n");
            return 1;
        }
    }

    // zlib alone on the same picture: its rows unfiltered, at the default level.
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(kHeight) * (1 + 4 * kWidth));
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* p = image.ScanLine(y);
        const std::uint8_t* a = alpha.ScanLine(y);
        raw.push_back(0);
        for (int x = 0; x < kWidth; ++x) {
            raw.push_back(p[4 * x + 2]);
            raw.push_back(p[4 * x + 1]);
            raw.push_back(p[4 * x]);
            raw.push_back(static_cast<std::uint8_t>(255 - a[x]));
        }
    }
    double deflateTime = 1e9, inflateTime = 1e9;
    std::vector<std::uint8_t> compressed(compressBound(static_cast<uLong>(raw.size())));
    std::vector<std::uint8_t> back(raw.size());
    uLongf compressedSize = 0;
    for (int round = 0; round < kRounds; ++round) {
        compressedSize = static_cast<uLongf>(compressed.size());
        auto t0 = Clock::now();
        compress2(compressed.data(), &compressedSize, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION);
        deflateTime = std::min(deflateTime, Seconds(Clock::now() - t0));
        uLongf backSize = static_cast<uLongf>(back.size());
        t0 = Clock::now();
        uncompress(back.data(), &backSize, compressed.data(), compressedSize);
        inflateTime = std::min(inflateTime, Seconds(Clock::now() - t0));
    }

    std::printf("PNG codec, %dx%d RGBA (%.1f megapixels), best of %d\n", kWidth, kHeight, megapixels, kRounds);
    std::printf("  save (PngImage)        %8.1f ms  %7.1f Mpx/s  (%lld bytes)\n", saveTime * 1e3, megapixels / saveTime,
                static_cast<long long>(encodedSize));
    std::printf("  load (PngImage)        %8.1f ms  %7.1f Mpx/s\n", loadTime * 1e3, megapixels / loadTime);
    std::printf("  load + save            %8.1f ms  %7.1f Mpx/s\n", (saveTime + loadTime) * 1e3,
                megapixels / (saveTime + loadTime));
    std::printf("  zlib deflate (level -1)%8.1f ms  %7.1f Mpx/s  (%lu bytes)\n", deflateTime * 1e3, megapixels / deflateTime,
                static_cast<unsigned long>(compressedSize));
    std::printf("  zlib inflate           %8.1f ms  %7.1f Mpx/s\n", inflateTime * 1e3, megapixels / inflateTime);
    std::printf("  zlib floor             %8.1f ms  %7.1f Mpx/s\n", (deflateTime + inflateTime) * 1e3,
                megapixels / (deflateTime + inflateTime));
    std::printf("  codec / floor          %8.2f\n", (saveTime + loadTime) / (deflateTime + inflateTime));
    return 0;
}
