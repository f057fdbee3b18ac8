#include "webp/WebPRecolour.h"

#include "colour/PictureColours.h"
#include "webp/VP8Header.h"
#include "webp/WebPError.h"

#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>
#include <new>
#include <vector>

namespace {

struct TMuxDelete {
    void operator()(WebPMux* Mux) const { WebPMuxDelete(Mux); }
};
using TMux = std::unique_ptr<WebPMux, TMuxDelete>;

// Data libwebp allocated and hands over.
class TOwnedData {
public:
    TOwnedData() { WebPDataInit(&FData); }
    explicit TOwnedData(const WebPData& Data) : FData(Data) {}
    ~TOwnedData() { WebPDataClear(&FData); }
    TOwnedData(const TOwnedData&) = delete;
    TOwnedData& operator=(const TOwnedData&) = delete;
    WebPData* Out() { return &FData; }
    std::string_view View() const { return {reinterpret_cast<const char*>(FData.bytes), FData.size}; }

private:
    WebPData FData;
};

WebPData DataOf(std::string_view Bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size()};
}

void Check(WebPMuxError Error, const char* What)
{
    if (Error == WEBP_MUX_OK) return;
    if (Error == WEBP_MUX_MEMORY_ERROR) throw std::bad_alloc();
    throw EWebPError(std::string("WebP: ") + What);
}

std::string Encode(const std::vector<std::uint8_t>& Pixels, int Width, int Height, bool Lossless, int Quality)
{
    WebPConfig config;
    if (!WebPConfigInit(&config)) throw EWebPError("WebP: encoder version mismatch");
    config.lossless = Lossless ? 1 : 0;
    config.quality = Lossless ? 75.f : static_cast<float>(Quality);
    config.method = 4;
    // The colours under fully transparent pixels are the picture's too (a page may show them
    // with the alpha taken away): the encoder keeps them instead of smoothing them out.
    config.exact = 1;
    config.alpha_compression = 1;
    config.alpha_filtering = 1;
    config.alpha_quality = 100;
    if (!WebPValidateConfig(&config)) throw EWebPError("WebP: encoder settings refused");

    WebPPicture picture;
    if (!WebPPictureInit(&picture)) throw EWebPError("WebP: encoder version mismatch");
    struct TFree {
        WebPPicture& Picture;
        WebPMemoryWriter Writer;
        ~TFree()
        {
            WebPPictureFree(&Picture);
            WebPMemoryWriterClear(&Writer);
        }
    } owned{picture, {}};
    WebPMemoryWriterInit(&owned.Writer);
    picture.use_argb = 1;
    picture.width = Width;
    picture.height = Height;
    if (!WebPPictureImportBGRA(&picture, Pixels.data(), Width * 4)) throw std::bad_alloc();
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &owned.Writer;
    if (!WebPEncode(&config, &picture)) {
        if (picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY || picture.error_code == VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY)
            throw std::bad_alloc();
        throw EWebPError("WebP: frame cannot be encoded (error " + std::to_string(picture.error_code) + ")");
    }
    return {reinterpret_cast<const char*>(owned.Writer.mem), owned.Writer.size};
}

// One picture's bitstream (a WebP file of one image) converted and encoded again in its own
// kind; nothing when its pixels stay.
std::optional<std::string> RecolourPicture(std::string_view Bitstream, const TWebPPixelConverter& Convert,
                                           std::uint64_t MaxPixels)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(Bitstream.data());
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, Bitstream.size(), &features) != VP8_STATUS_OK || features.has_animation)
        throw EWebPError("WebP: picture header unreadable");
    const bool lossless = features.format == 2;
    if (!lossless && features.format != 1) throw EWebPError("WebP: picture neither lossy nor lossless");
    const std::uint64_t pixels = std::uint64_t(features.width) * std::uint64_t(features.height);
    if (pixels > MaxPixels) throw EPictureTooLarge("Image too large");
    int quality = 0;
    if (!lossless) {
        const std::optional<int> estimate = EstimateWebPQuality(Bitstream);
        if (!estimate) throw EWebPError("WebP: lossy picture without a readable key frame");
        quality = *estimate;
    }
    const std::size_t stride = static_cast<std::size_t>(features.width) * 4;
    std::vector<std::uint8_t> bgra(stride * static_cast<std::size_t>(features.height));
    if (!WebPDecodeBGRAInto(data, Bitstream.size(), bgra.data(), bgra.size(), static_cast<int>(stride)))
        throw EWebPError("WebP: picture cannot be decoded");
    if (!Convert(bgra.data(), stride, features.width, features.height)) return std::nullopt;
    return Encode(bgra, features.width, features.height, lossless, quality);
}

// Whatever follows the RIFF form in the file.
std::string_view Trailer(std::string_view File)
{
    if (File.size() < 8) return {};
    std::uint64_t riff = 0;
    for (int i = 7; i >= 4; --i) riff = riff << 8 | static_cast<std::uint8_t>(File[i]);
    const std::uint64_t end = 8 + riff;
    return end < File.size() ? File.substr(static_cast<std::size_t>(end)) : std::string_view();
}

std::string Assemble(WebPMux& Mux, std::string_view File)
{
    TOwnedData out;
    Check(WebPMuxAssemble(&Mux, out.Out()), "file cannot be assembled");
    std::string result(out.View());
    result += Trailer(File);
    return result;
}

std::optional<std::string> RecolourStill(WebPMux& Mux, std::string_view File, const TWebPPixelConverter& Convert,
                                         std::uint64_t MaxPixels)
{
    WebPMuxFrameInfo frame;
    Check(WebPMuxGetFrame(&Mux, 1, &frame), "picture missing");
    const TOwnedData bitstream(frame.bitstream);
    const std::optional<std::string> converted = RecolourPicture(bitstream.View(), Convert, MaxPixels);
    if (!converted) return std::nullopt;
    const WebPData image = DataOf(*converted);
    Check(WebPMuxSetImage(&Mux, &image, 1), "picture cannot be replaced");
    return Assemble(Mux, File);
}

struct TFrame {
    WebPMuxFrameInfo Info;
    std::string Bitstream;
};

std::optional<std::string> RecolourAnimation(WebPMux& Mux, std::string_view File, const TWebPPixelConverter& Convert,
                                             std::uint64_t MaxPixels)
{
    int width = 0;
    int height = 0;
    Check(WebPMuxGetCanvasSize(&Mux, &width, &height), "canvas size unreadable");
    WebPMuxAnimParams animation;
    Check(WebPMuxGetAnimationParams(&Mux, &animation), "animation parameters missing");
    int count = 0;
    Check(WebPMuxNumChunks(&Mux, WEBP_CHUNK_ANMF, &count), "frames unreadable");
    if (count == 0) throw EWebPError("WebP: animation without frames");

    bool changed = false;
    std::vector<TFrame> frames(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        TFrame& f = frames[static_cast<std::size_t>(i)];
        Check(WebPMuxGetFrame(&Mux, static_cast<std::uint32_t>(i + 1), &f.Info), "frame unreadable");
        const TOwnedData bitstream(f.Info.bitstream);
        WebPDataInit(&f.Info.bitstream);
        std::optional<std::string> converted = RecolourPicture(bitstream.View(), Convert, MaxPixels);
        if (converted) {
            changed = true;
            f.Bitstream = std::move(*converted);
        } else {
            f.Bitstream.assign(bitstream.View());
        }
    }
    // The background colour is a colour of the picture, converted like a pixel.
    std::uint8_t background[4] = {static_cast<std::uint8_t>(animation.bgcolor >> 24),
                                  static_cast<std::uint8_t>(animation.bgcolor >> 16),
                                  static_cast<std::uint8_t>(animation.bgcolor >> 8),
                                  static_cast<std::uint8_t>(animation.bgcolor)};
    if (Convert(background, 4, 1, 1)) {
        changed = true;
        animation.bgcolor = std::uint32_t{background[0]} << 24 | std::uint32_t{background[1]} << 16 |
                            std::uint32_t{background[2]} << 8 | background[3];
    }
    if (!changed) return std::nullopt;

    for (int i = 0; i < count; ++i) Check(WebPMuxDeleteFrame(&Mux, 1), "frame cannot be replaced");
    for (TFrame& f : frames) {
        f.Info.bitstream = DataOf(f.Bitstream);
        f.Info.id = WEBP_CHUNK_ANMF;
        Check(WebPMuxPushFrame(&Mux, &f.Info, 1), "frame cannot be added");
        std::string().swap(f.Bitstream);
    }
    Check(WebPMuxSetAnimationParams(&Mux, &animation), "animation parameters refused");
    Check(WebPMuxSetCanvasSize(&Mux, width, height), "canvas size refused");
    return Assemble(Mux, File);
}

}  // namespace

std::optional<std::string> RecolourWebP(std::string_view File, const TWebPPixelConverter& Convert, std::uint64_t MaxPixels)
{
    // Bytes after the RIFF form (an upload tool's padding) are no part of it for the container
    // reader; they are kept after the new one.
    const WebPData data = DataOf(File.substr(0, File.size() - Trailer(File).size()));
    const TMux mux(WebPMuxCreate(&data, 0));
    if (!mux) throw EWebPError("WebP: not a WebP file, or broken");
    std::uint32_t flags = 0;
    Check(WebPMuxGetFeatures(mux.get(), &flags), "features unreadable");
    if (flags & ANIMATION_FLAG) return RecolourAnimation(*mux, File, Convert, MaxPixels);
    return RecolourStill(*mux, File, Convert, MaxPixels);
}

bool RecolourBgraPixels(std::uint8_t* Bits, std::size_t Stride, int Width, int Height, const TColourAdjuster& Adjuster)
{
    return ConvertPictureColours(Bits, Stride, Width, Height, Adjuster, TTransparencyRule{});
}
