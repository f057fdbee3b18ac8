#pragma once
// Helpers of the WebP tests: pictures in the style of a site (a logo with soft edges on a
// transparent ground, photographs), WebP files made from them with libwebp itself, and the
// files read back with libwebp's decoder and container reader.

#include "colour/ColourAdjuster.h"
#include "colour/ConversionSettings.h"
#include "colour/PictureColours.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace webptest {

// Pixels as blue, green, red, alpha, rows without gaps.
struct TPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Bgra;
    std::uint8_t* At(int X, int Y) { return &Bgra[(static_cast<std::size_t>(Y) * Width + X) * 4]; }
    const std::uint8_t* At(int X, int Y) const { return &Bgra[(static_cast<std::size_t>(Y) * Width + X) * 4]; }
};

inline TPicture Blank(int Width, int Height)
{
    return {Width, Height, std::vector<std::uint8_t>(static_cast<std::size_t>(Width) * Height * 4)};
}

inline void Set(TPicture& P, int X, int Y, int R, int G, int B, int A)
{
    std::uint8_t* p = P.At(X, Y);
    p[0] = static_cast<std::uint8_t>(B), p[1] = static_cast<std::uint8_t>(G), p[2] = static_cast<std::uint8_t>(R);
    p[3] = static_cast<std::uint8_t>(A);
}

// A site's logo: a rounded badge in the brand blue with a lighter band and white lettering
// strokes, soft (partly transparent) edges, on a transparent ground whose hidden colours vary
// (what an editor leaves there).
inline TPicture Logo(int Width, int Height)
{
    TPicture p = Blank(Width, Height);
    const double cx = Width / 2.0, cy = Height / 2.0, rx = Width * 0.45, ry = Height * 0.4;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
            const double d = std::sqrt(dx * dx * dx * dx + dy * dy * dy * dy);  // a squircle
            const double edge = std::clamp((1.0 - d) * std::min(rx, ry) / 1.5, 0.0, 1.0);
            int r = 0x33, g = 0x66, b = 0xCC;
            if (y > cy) r = 0x44, g = 0x88, b = 0xEE;
            if ((x / 6) % 3 == 0 && std::abs(y - cy) < Height * 0.15) r = g = b = 0xFF;
            const int a = static_cast<int>(std::lround(edge * 255));
            if (a == 0) r = (x * 7) & 0xFF, g = (y * 13) & 0xFF, b = 0x5A;
            Set(p, x, y, r, g, b, a);
        }
    return p;
}

// A photograph: sky over fields with a sun, in the noise of a camera. Seed varies the scene.
inline TPicture Photo(int Width, int Height, unsigned Seed, bool Alpha = false)
{
    TPicture p = Blank(Width, Height);
    std::mt19937 rng(Seed);
    std::normal_distribution<double> noise(0, 5);
    std::uniform_real_distribution<double> place(0.2, 0.8);
    const double sunX = place(rng) * Width, sunY = place(rng) * Height * 0.4, horizon = place(rng) * 0.3 + 0.45;
    const double phase = place(rng) * 10;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const double t = double(y) / Height;
            double r = 100 + 90 * t, g = 150 + 50 * t, b = 235 - 110 * t;
            const double sun = std::exp(-((x - sunX) * (x - sunX) + (y - sunY) * (y - sunY)) / (Width * 3.0));
            r += 120 * sun, g += 100 * sun, b += 20 * sun;
            if (t > horizon) {
                r = 70 + 30 * std::sin(x * 0.05 + phase);
                g = 115 + 40 * std::sin(x * 0.031 + y * 0.02);
                b = 45 + 10 * std::cos(y * 0.07);
            }
            const auto c = [&](double v) { return static_cast<int>(std::lround(std::clamp(v + noise(rng), 0.0, 255.0))); };
            int a = 255;
            if (Alpha) {  // a vignette fading out to the corners
                const double dx = (x - Width / 2.0) / (Width / 2.0), dy = (y - Height / 2.0) / (Height / 2.0);
                a = static_cast<int>(std::lround(std::clamp((1.3 - std::sqrt(dx * dx + dy * dy)) * 400, 0.0, 255.0)));
            }
            Set(p, x, y, c(r), c(g), c(b), a);
        }
    return p;
}

inline std::string EncodeWith(const TPicture& P, bool Lossless, float Quality)
{
    WebPConfig config;
    if (!WebPConfigInit(&config)) throw std::runtime_error("WebPConfigInit");
    config.lossless = Lossless;
    config.quality = Quality;
    config.exact = Lossless;
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = P.Width;
    picture.height = P.Height;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const bool ok = WebPPictureImportBGRA(&picture, P.Bgra.data(), P.Width * 4) && WebPEncode(&config, &picture);
    WebPPictureFree(&picture);
    std::string out(reinterpret_cast<const char*>(writer.mem), writer.size);
    WebPMemoryWriterClear(&writer);
    if (!ok) throw std::runtime_error("WebPEncode");
    return out;
}

inline std::string Lossless(const TPicture& P) { return EncodeWith(P, true, 75); }
inline std::string Lossy(const TPicture& P, int Quality) { return EncodeWith(P, false, static_cast<float>(Quality)); }

inline WebPData Data(const std::string& Bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size()};
}

// A still picture decoded by libwebp.
inline TPicture Decode(const std::string& File)
{
    int w = 0, h = 0;
    std::uint8_t* bgra = WebPDecodeBGRA(reinterpret_cast<const std::uint8_t*>(File.data()), File.size(), &w, &h);
    if (!bgra) throw std::runtime_error("WebPDecodeBGRA refused the file");
    TPicture p{w, h, std::vector<std::uint8_t>(bgra, bgra + static_cast<std::size_t>(w) * h * 4)};
    WebPFree(bgra);
    return p;
}

// The picture with every pixel converted as the batch converts one (alpha left alone).
inline TPicture Converted(TPicture P, const TColourAdjuster& Adjuster)
{
    for (std::size_t i = 0; i < P.Bgra.size(); i += 4) {
        std::uint8_t* p = &P.Bgra[i];
        const TRGBColor out = ConvertPictureColour(Adjuster, TTransparencyRule{}, {p[2], p[1], p[0]});
        p[0] = static_cast<std::uint8_t>(out.B), p[1] = static_cast<std::uint8_t>(out.G), p[2] = static_cast<std::uint8_t>(out.R);
    }
    return P;
}

// How far a lossy result is from what was asked for, per colour channel (blue, green, red),
// over the pixels that show (alpha above 0): the mean absolute difference and the difference
// 99 % of the pixels stay within.
struct TError {
    double Mean[3] = {};
    int P99[3] = {};
};

inline TError Difference(const TPicture& Got, const TPicture& Want)
{
    TError e;
    for (int c = 0; c < 3; ++c) {
        std::vector<int> d;
        for (std::size_t i = 0; i < Want.Bgra.size(); i += 4) {
            if (Want.Bgra[i + 3] == 0) continue;
            d.push_back(std::abs(int(Got.Bgra[i + c]) - int(Want.Bgra[i + c])));
        }
        if (d.empty()) continue;
        double sum = 0;
        for (int v : d) sum += v;
        e.Mean[c] = sum / d.size();
        std::sort(d.begin(), d.end());
        e.P99[c] = d[std::min(d.size() - 1, d.size() * 99 / 100)];
    }
    return e;
}

// One frame of an animation to be made.
struct TFrameSpec {
    std::string Bitstream;
    int X = 0;
    int Y = 0;
    int Duration = 100;
    WebPMuxAnimDispose Dispose = WEBP_MUX_DISPOSE_NONE;
    WebPMuxAnimBlend Blend = WEBP_MUX_BLEND;
    int Quality = 0;  // the quality a lossy frame was made at
};

inline void Check(WebPMuxError Error, const char* What)
{
    if (Error != WEBP_MUX_OK) throw std::runtime_error(std::string("mux: ") + What);
}

inline std::string Assemble(WebPMux* Mux)
{
    WebPData out;
    WebPDataInit(&out);
    const WebPMuxError error = WebPMuxAssemble(Mux, &out);
    std::string bytes(reinterpret_cast<const char*>(out.bytes), out.size);
    WebPDataClear(&out);
    WebPMuxDelete(Mux);
    Check(error, "assemble");
    return bytes;
}

inline std::string Animation(int Width, int Height, const std::vector<TFrameSpec>& Frames, int Loops,
                             std::uint32_t Background)
{
    WebPMux* mux = WebPMuxNew();
    for (const TFrameSpec& f : Frames) {
        WebPMuxFrameInfo info{};
        info.bitstream = Data(f.Bitstream);
        info.x_offset = f.X;
        info.y_offset = f.Y;
        info.duration = f.Duration;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = f.Dispose;
        info.blend_method = f.Blend;
        Check(WebPMuxPushFrame(mux, &info, 1), "push frame");
    }
    const WebPMuxAnimParams params{Background, Loops};
    Check(WebPMuxSetAnimationParams(mux, &params), "animation");
    Check(WebPMuxSetCanvasSize(mux, Width, Height), "canvas");
    return Assemble(mux);
}

// A still picture with chunks added (fourcc, payload).
inline std::string WithChunks(const std::string& Image, const std::vector<std::pair<std::string, std::string>>& Chunks)
{
    const WebPData image = Data(Image);
    WebPMux* mux = WebPMuxCreate(&image, 1);
    if (!mux) throw std::runtime_error("mux: image refused");
    for (const auto& [fourcc, payload] : Chunks) {
        const WebPData data = Data(payload);
        Check(WebPMuxSetChunk(mux, fourcc.c_str(), &data, 1), "chunk");
    }
    return Assemble(mux);
}

// A chunk's payload as the container reader finds it; empty when absent.
inline std::string Chunk(const std::string& File, const char* Fourcc)
{
    const WebPData data = Data(File);
    WebPMux* mux = WebPMuxCreate(&data, 0);
    if (!mux) throw std::runtime_error("mux: file refused");
    WebPData chunk;
    std::string out;
    if (WebPMuxGetChunk(mux, Fourcc, &chunk) == WEBP_MUX_OK) out.assign(reinterpret_cast<const char*>(chunk.bytes), chunk.size);
    WebPMuxDelete(mux);
    return out;
}

// The frames of an animation as stored: parameters and each frame's own picture decoded.
struct TStoredFrame {
    int X = 0, Y = 0, Duration = 0;
    WebPMuxAnimDispose Dispose = WEBP_MUX_DISPOSE_NONE;
    WebPMuxAnimBlend Blend = WEBP_MUX_BLEND;
    bool Lossless = false;
    std::string Bitstream;  // the frame as a still WebP file
    TPicture Pixels;
};

struct TStoredAnimation {
    int Width = 0, Height = 0, Loops = 0;
    std::uint32_t Background = 0;
    std::uint32_t Flags = 0;
    std::vector<TStoredFrame> Frames;
};

inline TStoredAnimation ReadAnimation(const std::string& File)
{
    const WebPData data = Data(File);
    WebPMux* mux = WebPMuxCreate(&data, 0);
    if (!mux) throw std::runtime_error("mux: file refused");
    TStoredAnimation a;
    WebPMuxAnimParams params;
    int count = 0;
    const bool ok = WebPMuxGetCanvasSize(mux, &a.Width, &a.Height) == WEBP_MUX_OK &&
                    WebPMuxGetAnimationParams(mux, &params) == WEBP_MUX_OK &&
                    WebPMuxGetFeatures(mux, &a.Flags) == WEBP_MUX_OK &&
                    WebPMuxNumChunks(mux, WEBP_CHUNK_ANMF, &count) == WEBP_MUX_OK;
    if (!ok) {
        WebPMuxDelete(mux);
        throw std::runtime_error("mux: animation unreadable");
    }
    a.Loops = params.loop_count;
    a.Background = params.bgcolor;
    for (int i = 1; i <= count; ++i) {
        WebPMuxFrameInfo info;
        if (WebPMuxGetFrame(mux, static_cast<std::uint32_t>(i), &info) != WEBP_MUX_OK) {
            WebPMuxDelete(mux);
            throw std::runtime_error("mux: frame unreadable");
        }
        TStoredFrame f;
        f.X = info.x_offset, f.Y = info.y_offset, f.Duration = info.duration;
        f.Dispose = info.dispose_method, f.Blend = info.blend_method;
        f.Bitstream.assign(reinterpret_cast<const char*>(info.bitstream.bytes), info.bitstream.size);
        WebPDataClear(&info.bitstream);
        WebPBitstreamFeatures features;
        WebPGetFeatures(reinterpret_cast<const std::uint8_t*>(f.Bitstream.data()), f.Bitstream.size(), &features);
        f.Lossless = features.format == 2;
        f.Pixels = Decode(f.Bitstream);
        a.Frames.push_back(std::move(f));
    }
    WebPMuxDelete(mux);
    return a;
}

// Settings a site's owner would pick: the hue turned a third of the way round (blue turns
// red, red green), and a little brighter.
inline TConversionSettings SiteSettings()
{
    TConversionSettings s;
    s.HueOffset = 120;
    s.BrightOffset = 10;
    return s;
}

}  // namespace webptest
