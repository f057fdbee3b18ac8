// Derives the table src/webp/VP8QualityTable.h holds: three photo-like pictures (sky over
// fields, a face-like blob on a textured ground, a striped page with dark bands) encoded with
// libwebp's defaults at every quality 0..100, the key frame's base quantiser index read back,
// and for every index the middle of the qualities that gave it (between two qualities that
// were given, the nearest one on the lower side). Prints the table as C++, then how far the
// table's estimate is from the quality used for each picture.
#include "webp/VP8Header.h"

#include <webp/encode.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Picture(int Kind, int Width, int Height)
{
    std::mt19937 rng(static_cast<unsigned>(Kind + 7));
    std::normal_distribution<double> noise(0, 6);
    std::vector<std::uint8_t> p(static_cast<std::size_t>(Width) * Height * 4);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            double r, g, b;
            if (Kind == 0) {
                const double t = double(y) / Height;
                r = 90 + 100 * t, g = 140 + 60 * t, b = 230 - 120 * t;
                if (y > Height * 0.6) r = 70 + 30 * std::sin(x * 0.05), g = 110 + 40 * std::sin(x * 0.031 + y * 0.02), b = 50;
            } else if (Kind == 1) {
                const double dx = x - Width / 2.0, dy = y - Height / 2.0, d = std::sqrt(dx * dx + dy * dy) / (Width / 3.0);
                r = d < 1 ? 220 - 60 * d : 60 + 20 * std::sin(y * 0.1);
                g = d < 1 ? 170 - 50 * d : 80;
                b = d < 1 ? 140 - 40 * d : 100 + 30 * std::cos(x * 0.07);
            } else {
                r = g = b = 200 + 20 * std::sin(x * 0.3);
                if (x % 64 < 8) r = 30, g = 60, b = 90;
            }
            const auto c = [&](double v) {
                return static_cast<std::uint8_t>(std::lround(std::clamp(v + noise(rng), 0.0, 255.0)));
            };
            std::uint8_t* q = &p[(static_cast<std::size_t>(y) * Width + x) * 4];
            q[0] = c(r), q[1] = c(g), q[2] = c(b), q[3] = 255;
        }
    return p;
}

int BaseQuant(const std::vector<std::uint8_t>& Pixels, int Width, int Height, int Quality)
{
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeRGBA(Pixels.data(), Width, Height, Width * 4, Quality, &out);
    const std::string file(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    const auto header = ReadVP8Header(FindVP8Payload(file));
    return header ? header->BaseQuant : -1;
}

}  // namespace

int main()
{
    const int sizes[][2] = {{320, 240}, {640, 480}, {512, 160}};
    std::vector<std::vector<int>> quant(3, std::vector<int>(101));
    std::map<int, std::vector<int>> qualities;
    for (int kind = 0; kind < 3; ++kind) {
        const auto pixels = Picture(kind, sizes[kind][0], sizes[kind][1]);
        for (int q = 0; q <= 100; ++q) {
            quant[kind][q] = BaseQuant(pixels, sizes[kind][0], sizes[kind][1], q);
            qualities[quant[kind][q]].push_back(q);
        }
    }
    int table[128];
    int last = 0;
    for (int index = 127; index >= 0; --index) {
        const auto it = qualities.find(index);
        if (it != qualities.end()) {
            std::vector<int> qs = it->second;
            std::sort(qs.begin(), qs.end());
            last = qs[qs.size() / 2];
        }
        table[index] = last;
    }
    std::printf("inline constexpr unsigned char VP8QualityByBaseQuant[128] = {");
    for (int i = 0; i < 128; ++i) std::printf("%s%d", i % 16 == 0 ? "\n    " : " ", table[i]), std::printf(i < 127 ? "," : "");
    std::printf("\n};\n");
    for (int kind = 0; kind < 3; ++kind) {
        int worst = 0;
        for (int q = 0; q <= 100; ++q) worst = std::max(worst, std::abs(QualityForBaseQuant(quant[kind][q]) - q));
        std::printf("picture %d: estimate at most %d from the quality used (with the table built in)\n", kind, worst);
    }
}
