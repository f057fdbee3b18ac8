#include "JpegTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include <jpeglib.h>

namespace jpegtest {

namespace {

void Put(TRgbImage& Image, int X, int Y, int R, int G, int B)
{
    std::uint8_t* p = &Image.Rgb[(static_cast<std::size_t>(Y) * Image.Width + X) * 3];
    p[0] = static_cast<std::uint8_t>(std::clamp(R, 0, 255));
    p[1] = static_cast<std::uint8_t>(std::clamp(G, 0, 255));
    p[2] = static_cast<std::uint8_t>(std::clamp(B, 0, 255));
}

}  // namespace

TRgbImage PhotoLike(int Width, int Height, unsigned Seed)
{
    TRgbImage image{Width, Height, std::vector<std::uint8_t>(static_cast<std::size_t>(Width) * Height * 3)};
    std::mt19937 random(Seed);
    std::normal_distribution<double> noise(0.0, 4.0);
    const int horizon = Height * 2 / 5;
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            double r, g, b;
            if (y < horizon) {  // sky: blue fading to pale
                const double t = static_cast<double>(y) / horizon;
                r = 90 + 120 * t;
                g = 140 + 90 * t;
                b = 230 - 10 * t;
            } else {  // ground: greens and browns with texture
                const double t = static_cast<double>(y - horizon) / (Height - horizon);
                const double texture = 18 * std::sin(x * 0.21 + y * 0.05) * std::cos(y * 0.17);
                r = 70 + 60 * t + texture;
                g = 120 - 30 * t + texture;
                b = 40 + 20 * t;
            }
            // A red ball and a white house wall with a dark window: hard edges.
            const double dx = x - Width * 0.3, dy = y - Height * 0.6;
            if (dx * dx + dy * dy < (Height * 0.12) * (Height * 0.12)) {
                const double shade = 1.0 - 0.4 * (dx + dy) / (Height * 0.24);
                r = 200 * shade;
                g = 30 * shade;
                b = 40 * shade;
            }
            if (x > Width * 0.6 && x < Width * 0.85 && y > Height * 0.3 && y < Height * 0.75) {
                r = g = b = 235;
                if (x > Width * 0.68 && x < Width * 0.76 && y > Height * 0.42 && y < Height * 0.55) r = g = b = 30;
            }
            Put(image, x, y, static_cast<int>(r + noise(random)), static_cast<int>(g + noise(random)),
                static_cast<int>(b + noise(random)));
        }
    }
    return image;
}

TRgbImage LogoLike(int Width, int Height)
{
    TRgbImage image{Width, Height, std::vector<std::uint8_t>(static_cast<std::size_t>(Width) * Height * 3)};
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            int r = 255, g = 255, b = 255;  // white page
            if (y < Height / 5) {  // header bar, site colour
                r = 0x33; g = 0x66; b = 0x99;
            }
            if (y >= Height / 5 && y < Height / 5 + 4) {  // rule under it
                r = 0xFF; g = 0x99; b = 0x00;
            }
            // "letters": vertical and horizontal strokes in the header
            const int cell = x % 24;
            if (y > Height / 20 && y < Height / 7 && x > 16 && x < Width / 2 && (cell < 4 || (cell < 16 && (y % 12) < 3))) {
                r = g = b = 255;
            }
            // three coloured blocks
            if (y > Height / 2 && y < Height * 4 / 5) {
                if (x > Width / 10 && x < Width * 3 / 10) { r = 0xCC; g = 0x00; b = 0x00; }
                if (x > Width * 4 / 10 && x < Width * 6 / 10) { r = 0x00; g = 0x99; b = 0x33; }
                if (x > Width * 7 / 10 && x < Width * 9 / 10) { r = 0x66; g = 0x33; b = 0x99; }
            }
            Put(image, x, y, r, g, b);
        }
    }
    return image;
}

TRgbImage Greyed(const TRgbImage& Image)
{
    TRgbImage out = Image;
    for (std::size_t i = 0; i + 2 < out.Rgb.size(); i += 3) {
        const int y = (299 * Image.Rgb[i] + 587 * Image.Rgb[i + 1] + 114 * Image.Rgb[i + 2] + 500) / 1000;
        out.Rgb[i] = out.Rgb[i + 1] = out.Rgb[i + 2] = static_cast<std::uint8_t>(y);
    }
    return out;
}

std::vector<TMarker> SiteMarkers()
{
    using namespace std::string_literals;
    // EXIF: a little-endian TIFF header with one IFD entry, orientation 6 (rotated).
    const std::string exif = "Exif\0\0"s + "II\x2A\0\x08\0\0\0"s + "\x01\0"s + "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"s + "\0\0\0\0"s;
    // An ICC profile in one chunk: sequence 1 of 1, then a made-up profile body.
    std::string icc = "ICC_PROFILE\0\x01\x01"s;
    std::string profile(560, '\0');
    for (std::size_t i = 0; i < profile.size(); ++i) profile[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    profile.replace(36, 4, "acsp");
    icc += profile;
    const std::string xmp = "http://ns.adobe.com/xap/1.0/\0"s +
                            "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                            "<rdf:Description dc:title=\"店舗の外観\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"/></rdf:RDF></x:xmpmeta>";
    const std::string comment = "Photo: (c) 2026 Example Shop, all rights reserved";
    return {{0xE1, exif}, {0xE2, icc}, {0xE1, xmp}, {0xFE, comment}};
}

std::string MakeJpeg(const TRgbImage& Image, const TMakeOptions& Options)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(Image.Width);
    info.image_height = static_cast<JDIMENSION>(Image.Height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    if (Options.Grey) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    if (Options.Rgb) jpeg_set_colorspace(&info, JCS_RGB);
    jpeg_set_quality(&info, Options.Quality, Options.ForceBaseline ? TRUE : FALSE);
    info.comp_info[0].h_samp_factor = Options.LumaH;
    info.comp_info[0].v_samp_factor = Options.LumaV;
    for (int i = 1; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    if (Options.Progressive) jpeg_simple_progression(&info);
    info.arith_code = Options.Arithmetic ? TRUE : FALSE;
    info.restart_interval = Options.RestartInterval;
    info.write_JFIF_header = Options.Jfif ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    for (const TMarker& m : Options.Markers)
        jpeg_write_marker(&info, m.Code, reinterpret_cast<const JOCTET*>(m.Data.data()), static_cast<unsigned>(m.Data.size()));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(Image.Width) * 3);
    while (info.next_scanline < info.image_height) {
        const std::uint8_t* src = &Image.Rgb[static_cast<std::size_t>(info.next_scanline) * Image.Width * 3];
        JSAMPROW rowPointer = row.data();
        std::copy(src, src + row.size(), row.begin());
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

std::string MakeCmykJpeg(const TRgbImage& Image)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(Image.Width);
    info.image_height = static_cast<JDIMENSION>(Image.Height);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(Image.Width) * 4);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < Image.Width; ++x) {
            const std::uint8_t* p = &Image.Rgb[(static_cast<std::size_t>(info.next_scanline) * Image.Width + x) * 3];
            const int k = 255 - std::max({p[0], p[1], p[2]});
            row[static_cast<std::size_t>(x) * 4] = static_cast<std::uint8_t>(255 - p[0] - k);
            row[static_cast<std::size_t>(x) * 4 + 1] = static_cast<std::uint8_t>(255 - p[1] - k);
            row[static_cast<std::size_t>(x) * 4 + 2] = static_cast<std::uint8_t>(255 - p[2] - k);
            row[static_cast<std::size_t>(x) * 4 + 3] = static_cast<std::uint8_t>(k);
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

TRgbImage DecodeJpeg(const std::string& Bytes, int* Components)
{
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(Bytes.data()), static_cast<unsigned long>(Bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (Components) *Components = info.num_components;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    TRgbImage image{static_cast<int>(info.output_width), static_cast<int>(info.output_height), {}};
    image.Rgb.resize(static_cast<std::size_t>(image.Width) * image.Height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &image.Rgb[static_cast<std::size_t>(info.output_scanline) * image.Width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

std::vector<TMarker> Segments(const std::string& Bytes)
{
    const auto byte = [&](std::size_t i) { return static_cast<int>(static_cast<std::uint8_t>(Bytes.at(i))); };
    if (byte(0) != 0xFF || byte(1) != 0xD8) throw std::runtime_error("not a JPEG file");
    std::vector<TMarker> segments;
    std::size_t at = 2;
    for (;;) {
        if (byte(at) != 0xFF) throw std::runtime_error("marker expected");
        const int code = byte(at + 1);
        const std::size_t length = static_cast<std::size_t>(byte(at + 2) << 8 | byte(at + 3));
        segments.push_back({code, Bytes.substr(at + 4, length - 2)});
        if (code == 0xDA) return segments;
        at += 2 + length;
    }
}

std::vector<TMarker> AppAndComSegments(const std::string& Bytes)
{
    std::vector<TMarker> out;
    for (const TMarker& m : Segments(Bytes))
        if ((m.Code >= 0xE0 && m.Code <= 0xEF) || m.Code == 0xFE) out.push_back(m);
    return out;
}

TFrameInfo FrameInfo(const std::string& Bytes)
{
    static constexpr int ZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                       12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                       35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                       58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    TFrameInfo info;
    info.Tables.resize(4);
    for (const TMarker& m : Segments(Bytes)) {
        const auto b = [&](std::size_t i) { return static_cast<int>(static_cast<std::uint8_t>(m.Data.at(i))); };
        if (m.Code == 0xDB) {
            std::size_t at = 0;
            while (at < m.Data.size()) {
                const int precision = b(at) >> 4, slot = b(at) & 15;
                ++at;
                std::vector<int> table(64);
                for (int k = 0; k < 64; ++k) {
                    table[static_cast<std::size_t>(ZigZag[k])] = precision ? (b(at) << 8 | b(at + 1)) : b(at);
                    at += precision ? 2 : 1;
                }
                info.Tables.at(static_cast<std::size_t>(slot)) = table;
            }
        } else if (m.Code >= 0xC0 && m.Code <= 0xCF && m.Code != 0xC4 && m.Code != 0xC8 && m.Code != 0xCC) {
            info.Marker = m.Code;
            for (int c = 0; c < b(5); ++c) {
                info.Sampling.emplace_back(b(7 + 3 * static_cast<std::size_t>(c)) >> 4, b(7 + 3 * static_cast<std::size_t>(c)) & 15);
                info.TableOfComponent.push_back(b(8 + 3 * static_cast<std::size_t>(c)));
            }
        } else if (m.Code == 0xDD) {
            info.RestartInterval = static_cast<unsigned>(b(0) << 8 | b(1));
        }
    }
    return info;
}

std::vector<int> LibjpegTable(int Slot, int Quality, bool ForceBaseline)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    info.in_color_space = JCS_RGB;
    info.input_components = 3;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, Quality, ForceBaseline ? TRUE : FALSE);
    std::vector<int> table(info.quant_tbl_ptrs[Slot]->quantval, info.quant_tbl_ptrs[Slot]->quantval + 64);
    jpeg_destroy_compress(&info);
    return table;
}

}  // namespace jpegtest
