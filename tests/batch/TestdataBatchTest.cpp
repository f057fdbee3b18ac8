// A batch over every public PNG and GIF conformance image. The expected log is worked out
// here from the files' own bytes by the rules the converters follow: which images load,
// which GIFs hold other than one image, which PNGs carry a single transparent colour.

#include "batch/BatchLog.h"
#include "batch/FileSearch.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>

using namespace batchtest;

namespace {

enum class TVerdict { Converted, Refused, Broken };

struct TExpectation {
    TVerdict Verdict = TVerdict::Converted;
    bool Add = false;  // a PNG with a single transparent colour
};

constexpr std::uint64_t MaxPixels = std::uint64_t(1) << 28;

std::uint32_t Be32(const std::string& D, std::size_t P)
{
    return (std::uint32_t(std::uint8_t(D[P])) << 24) | (std::uint32_t(std::uint8_t(D[P + 1])) << 16) |
           (std::uint32_t(std::uint8_t(D[P + 2])) << 8) | std::uint32_t(std::uint8_t(D[P + 3]));
}

// ---- PNG --------------------------------------------------------------------------------

// Whether Data inflates to at least the raw rows of the image, every row's filter type 0..4.
bool ImageDataSuffices(const std::string& Data, std::uint32_t Width, std::uint32_t Height, int BitsPerPixel,
                       bool Interlaced)
{
    struct TPass {
        std::uint32_t X0, Y0, DX, DY;
    };
    const std::vector<TPass> passes =
        Interlaced ? std::vector<TPass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                   : std::vector<TPass>{{0, 0, 1, 1}};
    std::vector<std::uint64_t> rowStarts;  // offsets of the filter bytes
    std::uint64_t total = 0;
    for (const TPass& p : passes) {
        const std::uint64_t w = Width > p.X0 ? (Width - p.X0 + p.DX - 1) / p.DX : 0;
        const std::uint64_t h = Height > p.Y0 ? (Height - p.Y0 + p.DY - 1) / p.DY : 0;
        if (w == 0 || h == 0) continue;
        const std::uint64_t rowBytes = (w * BitsPerPixel + 7) / 8;
        for (std::uint64_t r = 0; r < h; ++r) {
            rowStarts.push_back(total);
            total += 1 + rowBytes;
        }
    }
    std::string raw(total, '\0');
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    z.avail_in = static_cast<uInt>(Data.size());
    z.next_out = reinterpret_cast<Bytef*>(raw.data());
    z.avail_out = static_cast<uInt>(raw.size());
    int rc = Z_OK;
    while (z.avail_out > 0 && rc == Z_OK) rc = inflate(&z, Z_NO_FLUSH);
    const bool full = z.avail_out == 0 && (rc == Z_OK || rc == Z_STREAM_END);
    inflateEnd(&z);
    if (!full) return false;
    for (const std::uint64_t s : rowStarts)
        if (std::uint8_t(raw[s]) > 4) return false;
    return true;
}

TExpectation JudgePng(const std::string& D)
{
    static const std::string Signature("\x89PNG\r\n\x1a\n", 8);
    TExpectation broken{TVerdict::Broken, false};
    std::size_t pos = 0;
    if (D.compare(0, 8, Signature) != 0) {
        // A MacBinary header of 128 bytes (bytes 0 and 74 zero) in front is skipped.
        if (D.size() >= 136 && D[0] == 0 && D[74] == 0 && D.compare(128, 8, Signature) == 0)
            pos = 128;
        else
            return broken;
    }
    pos += 8;
    bool haveHeader = false, imageRead = false, alpha = false, interlaced = false;
    std::uint32_t width = 0, height = 0;
    int depth = 0, base = 0, paletteCount = 0;
    bool haveTrns = false;
    std::string trns;
    while (pos + 8 <= D.size()) {
        const std::uint32_t length = Be32(D, pos);
        const std::string type = D.substr(pos + 4, 4);
        const std::size_t start = pos + 8;
        const std::size_t available = start <= D.size() ? std::min<std::size_t>(length, D.size() - start) : 0;
        if (type == "IHDR") {
            if (haveHeader || available < 13) return broken;
            haveHeader = true;
            width = Be32(D, start);
            height = Be32(D, start + 4);
            depth = std::uint8_t(D[start + 8]);
            const int colourType = std::uint8_t(D[start + 9]) & 7;
            if (colourType == 1 || colourType == 5 || colourType == 7) return broken;
            alpha = colourType & 4;
            base = colourType & 3;
            if (std::uint8_t(D[start + 10]) >= 2 || std::uint8_t(D[start + 11]) >= 2 || std::uint8_t(D[start + 12]) >= 2)
                return broken;
            interlaced = D[start + 12] == 1;
            const bool validDepth = base == 0   ? (alpha ? (depth == 8 || depth == 16)
                                                         : (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16))
                                    : base == 2 ? (depth == 8 || depth == 16)
                                                : (depth == 1 || depth == 2 || depth == 4 || depth == 8);
            if (!validDepth) return broken;
            if (std::uint64_t(width) * height > MaxPixels) return broken;
        } else if (type == "PLTE") {
            paletteCount = static_cast<int>(available / 3);
        } else if (type == "tRNS") {
            if (haveHeader && !imageRead && !alpha) {
                haveTrns = true;
                trns = D.substr(start, available);
            }
        } else if (type == "IDAT") {
            if (!haveHeader) return broken;
            if (!imageRead) {
                // The image data runs through the IDAT chunks that follow one another.
                std::string data;
                std::size_t p = pos;
                while (p + 8 <= D.size() && D.compare(p + 4, 4, "IDAT") == 0) {
                    const std::uint32_t n = Be32(D, p);
                    if (p + 8 < D.size()) data += D.substr(p + 8, std::min<std::size_t>(n, D.size() - p - 8));
                    p += 12 + std::size_t(n);
                }
                const int channels = base == 0 ? (alpha ? 2 : 1) : base == 2 ? (alpha ? 4 : 3) : 1;
                if (!ImageDataSuffices(data, width, height, depth * channels, interlaced))
                    return broken;
                imageRead = true;
            }
        } else if (type == "IEND") {
            break;
        }
        pos = start + std::size_t(length) + 4;
    }
    if (!imageRead) return broken;  // nothing to convert

    TExpectation ok;
    if (haveTrns) {
        if (base == 0 || base == 2) {
            ok.Add = true;
        } else {
            std::vector<int> table(256, 255);
            for (int i = 0; i < std::min<int>(paletteCount, static_cast<int>(trns.size())); ++i)
                table[i] = std::uint8_t(trns[i]);
            ok.Add = std::count(table.begin(), table.end(), 0) == 1 && std::count(table.begin(), table.end(), 255) == 255;
        }
    }
    return ok;
}

// ---- GIF --------------------------------------------------------------------------------

// Walks a GIF's blocks as the loader does: a frame for every run of extensions and image, a
// frame of extensions only when extensions follow the last image. Raises on what makes the
// load fail; returns the number of frames, and through Convertible whether every frame with
// an image can be recoloured (it has a colour table of its own or the global one).
struct TGifBroken {};

int WalkGif(const std::string& D, bool& Convertible)
{
    std::size_t p = 0;
    const auto need = [&](std::size_t n) {
        if (p + n > D.size()) throw TGifBroken{};
    };
    const auto upper3 = [&](std::size_t at) {
        std::string s = D.substr(at, 3);
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    };
    const auto le16 = [&](std::size_t at) { return std::uint8_t(D[at]) | (std::uint8_t(D[at + 1]) << 8); };
    const auto subBlocks = [&] {
        while (p < D.size()) {
            const std::size_t n = std::uint8_t(D[p++]);
            if (n == 0) break;
            p = std::min(D.size(), p + n);
        }
    };

    need(6);
    if (upper3(0) != "GIF") {
        p = 4;
        need(6);
        if (upper3(4) != "GIF") throw TGifBroken{};
    }
    p += 6;
    need(7);
    const int screenW = le16(p), screenH = le16(p + 2);
    const int screenFlags = std::uint8_t(D[p + 4]);
    p += 7;
    if (std::uint64_t(screenW) * screenH > MaxPixels) throw TGifBroken{};
    bool globalMap = false;
    if (screenFlags & 0x80) {
        const std::size_t n = std::size_t(2) << (screenFlags & 7);
        need(3 * n);
        p += 3 * n;
        globalMap = true;
    }

    // Only blocks with pixels count: extensions after the last image make no second one.
    int images = 0;
    bool everyMap = true;
    const auto skipZeros = [&] {
        while (p < D.size() && D[p] == 0) ++p;
    };
    skipZeros();
    while (p < D.size() && std::uint8_t(D[p]) != 0x3B) {
        const std::uint8_t b = std::uint8_t(D[p]);
        if (b != 0x21 && b != 0x2C) break;  // unknown block: the list ends
        // Extensions.
        while (p < D.size() && std::uint8_t(D[p]) != 0x2C && std::uint8_t(D[p]) != 0x3B) {
            if (std::uint8_t(D[p]) != 0x21) break;
            need(2);
            const std::uint8_t label = std::uint8_t(D[p + 1]);
            if (label == 0xF9) {
                p += 2;
                p = std::min(D.size(), p + 6);
            } else if (label == 0x01) {
                p += 2;
                need(13);
                p += 13;
                subBlocks();
            } else if (label == 0xFE) {
                p += 2;
                subBlocks();
            } else if (label == 0xFF) {
                need(3);
                const std::size_t size = std::uint8_t(D[p + 2]);
                const bool readable = p + 3 + size <= D.size();
                const bool loop = size == 11 && readable &&
                                  (D.compare(p + 3, 11, "NETSCAPE2.0") == 0 || D.compare(p + 3, 11, "ANIMEXTS1.0") == 0);
                const bool unknown = (size == 10 || size == 11) && readable && !loop;
                p += 2;
                need(1);
                ++p;
                if (size < 10) throw TGifBroken{};
                need(11);
                p += 11;
                p = p + size - 11;
                if (loop) {
                    for (;;) {
                        need(1);
                        const std::size_t s = std::uint8_t(D[p++]);
                        if (s == 0) break;
                        need(1);
                        const int id = std::uint8_t(D[p++]) & 7;
                        if (id == 1) {
                            if (s < 3) throw TGifBroken{};
                            need(2);
                            p += s - 1;
                        } else if (id == 2) {
                            if (s < 5) throw TGifBroken{};
                            need(4);
                            p += s - 1;
                        } else {
                            p += s - 1;
                        }
                    }
                } else if (unknown) {
                    subBlocks();
                } else {
                    throw TGifBroken{};  // no reader for such an identifier block
                }
            } else {
                throw TGifBroken{};  // unknown extension type
            }
        }
        // Image, unless only extensions came.
        bool localMap = false;
        if (p < D.size() && std::uint8_t(D[p]) != 0x3B && D[p] != 0) {
            need(10);
            int w = le16(p + 5), h = le16(p + 7);
            const int flags = std::uint8_t(D[p + 9]);
            p += 10;
            if (w == 0 || h == 0) {
                w = screenW;
                h = screenH;
            }
            if (std::uint64_t(w) * h > MaxPixels) throw TGifBroken{};
            if (flags & 0x80) {
                const std::size_t n = std::size_t(2) << (flags & 7);
                need(3 * n);
                p += 3 * n;
                localMap = true;
            }
            need(1);
            if (std::uint8_t(D[p++]) >= 12) throw TGifBroken{};
            subBlocks();
            if (std::uint64_t(w) * h > 0) {
                ++images;
                everyMap = everyMap && (localMap || globalMap);
            }
        }
        skipZeros();
    }
    Convertible = images > 0 && everyMap;
    return images;
}

// Files whose image data the LZW decoder must refuse although their blocks are sound: a
// table entry whose prefix chain leads back to itself ("Circular decoder table entry").
const char* const CircularLzw[] = {"gdk-pixbuf/fail/hang_114.gif"};

TExpectation JudgeGif(const std::string& Path, const std::string& D)
{
    for (const char* name : CircularLzw)
        if (Path.ends_with(name)) return {TVerdict::Broken, false};
    try {
        bool convertible = false;
        WalkGif(D, convertible);
        // An animation converts like a single image, every frame in its own colour table.
        return {convertible ? TVerdict::Converted : TVerdict::Broken, false};
    } catch (const TGifBroken&) {
        return {TVerdict::Broken, false};
    }
}

bool CaseInsensitiveLess(const std::string& A, const std::string& B)
{
    const auto fold = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    const bool less = std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(),
                                                   [&](char a, char b) { return fold(a) < fold(b); });
    const bool greater = std::lexicographical_compare(B.begin(), B.end(), A.begin(), A.end(),
                                                      [&](char a, char b) { return fold(a) < fold(b); });
    return less || (!greater && A < B);
}

TEST(TestdataBatch, EveryConformanceImageGivesTheExpectedLine)
{
    const std::string source = TESSIVAL_TESTDATA_DIR;
    ASSERT_TRUE(std::filesystem::is_directory(source)) << "the public test images are missing: " << source;
    TTempDir dir;
    std::filesystem::copy(source, dir.Path(), std::filesystem::copy_options::recursive);

    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path())) {
        const std::string ext = AsciiLower(e.path().extension().string());
        if (e.is_regular_file() && (ext == ".png" || ext == ".gif")) paths.push_back(e.path().string());
    }
    ASSERT_GT(paths.size(), 400u);
    std::sort(paths.begin(), paths.end(), CaseInsensitiveLess);

    std::vector<std::string> expected;
    std::map<std::string, std::string> convertedPaths;  // success line -> the file
    int successes = 0;
    for (const std::string& path : paths) {
        const std::string data = ReadFile(path);
        const TExpectation e = AsciiLower(ExtractFileExt(path)) == ".png" ? JudgePng(data) : JudgeGif(path, data);
        if (e.Add) expected.push_back("add");
        switch (e.Verdict) {
        case TVerdict::Converted:
            expected.push_back("成功> " + LinePrefix(path));
            convertedPaths[expected.back()] = path;
            ++successes;
            break;
        case TVerdict::Refused:
            expected.push_back("失敗> " + LinePrefix(path) + "（アニメGIFは処理しません）");
            break;
        case TVerdict::Broken:
            expected.push_back("失敗> " + LinePrefix(path) + "（画像形式が変）");
            break;
        }
    }
    expected.push_back(std::string(BatchLog::EndLine));
    expected.push_back(std::to_string(successes) + "/" + std::to_string(paths.size()) + "個のファイルを変換成功");

    TBatchInput input;
    for (const std::string& p : SearchSiteFolder(dir.Path(), true)) input.Items.push_back({true, p});
    input.Settings.HueOffset = 120;
    input.Jobs = 2;  // the log must come out as from one file at a time
    TBatchRun op(input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);

    const std::vector<std::string>& log = op.Log();
    // Every differing line, written out plainly, so that a difference names the file.
    std::string differences;
    int count = 0;
    for (std::size_t i = 0; i < std::max(log.size(), expected.size()); ++i) {
        const std::string got = i < log.size() ? log[i] : "(none)";
        const std::string want = i < expected.size() ? expected[i] : "(none)";
        // A picture whose colours all convert to themselves (greys at any hue) is left alone,
        // and says so: then it must be byte for byte the file it was, with no backup.
        if (got == want + std::string(BatchLog::UnchangedTail) && convertedPaths.count(want)) {
            const std::string& path = convertedPaths[want];
            EXPECT_EQ(ReadFile(path), ReadFile(source + path.substr(dir.Path().size()))) << path;
            EXPECT_FALSE(Exists(path + ".bak")) << path;
            continue;
        }
        if (got != want && ++count <= 40) differences += "line " + std::to_string(i) + "\n  got:  " + got + "\n  want: " + want + "\n";
    }
    EXPECT_EQ(count, 0) << differences;
}

}  // namespace
