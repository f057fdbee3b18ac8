// The public GIF test images (tests/data/gif) and files checked by independent decoders:
// Debian's PIL and gifsicle.
#include "GIFTestUtil.h"

#include "gif/GIFExtensions.h"
#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

using namespace giftest;
namespace fs = std::filesystem;

namespace {

const fs::path GifData = fs::path(TESSIVAL_TESTDATA_DIR) / "gif";

struct ManifestRow {
    std::string File;
    int ScreenWidth = 0;
    int ScreenHeight = 0;
    int Frames = 0;
    int TransparentControls = 0;
};

std::vector<ManifestRow> ReadManifest()
{
    std::vector<ManifestRow> rows;
    std::ifstream in(GifData / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream split(line);
        std::string cell;
        while (std::getline(split, cell, '\t'))
            cells.push_back(cell);
        if (cells.size() < 8)
            continue;
        ManifestRow row;
        row.File = cells[0];
        row.ScreenWidth = cells[3].empty() ? 0 : std::stoi(cells[3]);
        row.ScreenHeight = cells[4].empty() ? 0 : std::stoi(cells[4]);
        row.Frames = std::stoi(cells[5]);
        row.TransparentControls = std::stoi(cells[7]);
        rows.push_back(row);
    }
    return rows;
}

// Files that must fail to load, with the reason.
const std::map<std::string, std::string>& ExpectedFailures()
{
    static const std::map<std::string, std::string> failures = {
        {"gdk-pixbuf/fail/bug778584.gif", "Invalid GIF signature"},
        // Screens of billions of pixels are refused before anything is allocated.
        {"gdk-pixbuf/fail/bug785973.gif", "Image too large"},
        {"gdk-pixbuf/fail/invalid.1.gif", "Image too large"},
        {"gdk-pixbuf/fail/invalid.2.gif", "Image too large"},
        {"gdk-pixbuf/fail/invalid.3.gif", "Image too large"},
        {"gif-test-suite/max-size.gif", "Image too large"},
        // A table entry that becomes its own prefix.
        {"gdk-pixbuf/fail/hang_114.gif", "Circular decoder table entry"},
        // Initial code size 12.
        {"gdk-pixbuf/fail/overflow-codes.gif", "Invalid GIF data"},
        {"gdk-pixbuf/fail/overflow-codes-max.gif", "Invalid GIF data"},
        {"gif-test-suite/overflow-codes.gif", "Invalid GIF data"},
        {"gif-test-suite/overflow-codes-max.gif", "Invalid GIF data"},
        // A descriptor of width or height 0 takes the screen's size and reads on: the
        // trailer byte as the code size, or a local table that is not there.
        {"gif-test-suite/image-zero-width.gif", "Invalid GIF data"},
        {"gif-test-suite/image-zero-height.gif", "Premature end of data"},
        {"gif-test-suite/image-zero-size.gif", "Premature end of data"},
        {"gif-test-suite/unknown-extension.gif", "Unknown extension type"},
    };
    return failures;
}

// Loop extensions after the last image load as one more frame holding extensions only.
const std::map<std::string, int> FrameCountsThatDiffer = {
    {"wuffs/artificial-gif/multiple-loop-counts.gif", 5},
};

bool Present(const ManifestRow& Row)
{
    const bool present = fs::exists(GifData / Row.File);
    EXPECT_TRUE(present) << Row.File << " is listed but missing";
    return present;
}

// The first frame as 0xRRGGBB values through the image's bitmap.
std::vector<std::uint32_t> Colours(const TBitmap& Bitmap)
{
    std::vector<std::uint32_t> out;
    out.reserve(static_cast<std::size_t>(Bitmap.Width()) * Bitmap.Height());
    for (int y = 0; y < Bitmap.Height(); ++y)
        for (int x = 0; x < Bitmap.Width(); ++x) {
            const TColor c = Bitmap.Pixel(x, y);
            out.push_back(static_cast<std::uint32_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c)));
        }
    return out;
}

// Decodes the first frame of each file with PIL into File + ".rgb" (raw RGB); files PIL
// cannot read get no output.
void DecodeWithPIL(const std::vector<std::string>& Files)
{
    const std::string list = ProgramTempDir() + "/pil-list.txt";
    {
        std::ofstream out(list);
        for (const auto& f : Files)
            out << f << "\n";
    }
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "for path in open(sys.argv[1]).read().splitlines():\n"
        "    try:\n"
        "        im = Image.open(path)\n"
        "        im.seek(0)\n"
        "        rgb = im.convert('RGB')\n"
        "    except Exception:\n"
        "        continue\n"
        "    t = im.info.get('transparency', -1)\n"
        "    t = t if isinstance(t, int) else -2\n"
        "    open(path + '.rgb', 'wb').write(b'%d %d %d\\n' % (rgb.size + (t,)) + rgb.tobytes())\n";
    const std::string scriptFile = ProgramTempDir() + "/decode.py";
    std::ofstream(scriptFile) << script;
    ASSERT_EQ(RunCommand("/usr/bin/python3 " + scriptFile + " " + list), 0);
}

// Transparent is the transparent index PIL found, or -1.
bool ReadPIL(const std::string& File, int& Width, int& Height, std::vector<std::uint32_t>& Pixels,
             int* Transparent = nullptr)
{
    std::ifstream in(File + ".rgb", std::ios::binary);
    if (!in)
        return false;
    int transparent = -1;
    in >> Width >> Height >> transparent;
    if (Transparent)
        *Transparent = transparent;
    in.get();
    Pixels.resize(static_cast<std::size_t>(Width) * Height);
    for (auto& p : Pixels) {
        unsigned char rgb[3];
        in.read(reinterpret_cast<char*>(rgb), 3);
        p = static_cast<std::uint32_t>((rgb[0] << 16) | (rgb[1] << 8) | rgb[2]);
    }
    return static_cast<bool>(in);
}

} // namespace

TEST(GIFFiles, EachLoadsOrFailsAsExpected)
{
    if (!fs::exists(GifData / "MANIFEST.tsv"))
        FAIL() << "no GIF test images at " << GifData;
    int checked = 0;
    for (const ManifestRow& row : ReadManifest()) {
        if (!Present(row))
            continue;
        ++checked;
        TGIFImage gif;
        const auto failure = ExpectedFailures().find(row.File);
        try {
            gif.LoadFromFile((GifData / row.File).string());
        } catch (const GIFException& e) {
            EXPECT_NE(failure, ExpectedFailures().end()) << row.File << ": " << e.what();
            if (failure != ExpectedFailures().end()) {
                EXPECT_EQ(e.what(), failure->second) << row.File;
            }
            continue;
        }
        ASSERT_EQ(failure, ExpectedFailures().end()) << row.File << " loaded";
        const auto differs = FrameCountsThatDiffer.find(row.File);
        EXPECT_EQ(gif.Count(), differs != FrameCountsThatDiffer.end() ? differs->second : row.Frames) << row.File;
        EXPECT_EQ(gif.Width(), row.ScreenWidth) << row.File;
        EXPECT_EQ(gif.Height(), row.ScreenHeight) << row.File;
        EXPECT_EQ(gif.HasTransparentFrame(), row.TransparentControls > 0) << row.File;
    }
    if (checked == 0)
        FAIL() << "none of the listed GIF files is present";
}

TEST(GIFFiles, SingleFramesDecodeAsAnIndependentDecoderDoes)
{
    if (!fs::exists(GifData / "MANIFEST.tsv"))
        FAIL() << "no GIF test images at " << GifData;
    if (!HavePil())
        FAIL() << "Debian's python3-pil is not installed";
    // An index beyond the colour table: what a decoder shows there is its own choice.
    const std::set<std::string> undefined = {"gif-test-suite/invalid-colors.gif"};

    std::vector<std::string> files;
    for (const ManifestRow& row : ReadManifest())
        if (Present(row) && row.Frames == 1 && !ExpectedFailures().count(row.File) && !undefined.count(row.File))
            files.push_back((GifData / row.File).string());
    const std::string dir = ProgramTempDir();
    std::vector<std::string> copies;
    for (std::size_t i = 0; i < files.size(); ++i) {
        copies.push_back(dir + "/corpus" + std::to_string(i) + ".gif");
        fs::copy_file(files[i], copies.back(), fs::copy_options::overwrite_existing);
    }
    DecodeWithPIL(copies);

    int compared = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        TGIFImage gif;
        gif.LoadFromFile(files[i]);
        const TGIFSubImage& frame = gif.Image(0);
        if (frame.Width() != gif.Width() || frame.Height() != gif.Height() || frame.Left() != 0 || frame.Top() != 0)
            continue;  // a frame off the screen's rectangle is placed differently by each decoder
        int w = 0, h = 0;
        std::vector<std::uint32_t> reference;
        if (!ReadPIL(copies[i], w, h, reference))
            continue;  // truncated data PIL refuses
        TBitmap bitmap;
        bitmap.Assign(&gif);
        ASSERT_EQ(w, bitmap.Width()) << files[i];
        ASSERT_EQ(h, bitmap.Height()) << files[i];
        EXPECT_EQ(Colours(bitmap), reference) << files[i];
        ++compared;
    }
    EXPECT_GT(compared, 10);
    fs::remove_all(dir);
}

TEST(GIFFiles, SingleFramesRoundTripThroughATrueColourBitmap)
{
    if (!fs::exists(GifData / "MANIFEST.tsv"))
        FAIL() << "no GIF test images at " << GifData;
    int exact = 0;
    for (const ManifestRow& row : ReadManifest()) {
        if (!Present(row) || row.Frames != 1 || ExpectedFailures().count(row.File))
            continue;
        TGIFImage gif;
        gif.LoadFromFile((GifData / row.File).string());
        if (gif.Count() != 1)
            continue;
        // The batch's way: the image as a bitmap, made true colour, and back.
        TBitmap bitmap;
        bitmap.Assign(&gif);
        bitmap.SetPixelFormat(TPixelFormat::pf32bit);
        const std::vector<std::uint32_t> before = Colours(bitmap);

        TGIFImage written;
        written.ReductionMethod = 7;
        written.DitherMethod = 1;
        written.Assign(&bitmap);
        TMemoryStream stream;
        written.SaveToStream(stream);
        stream.SetPosition(0);
        TGIFImage reloaded;
        reloaded.LoadFromStream(stream);
        ASSERT_EQ(reloaded.Count(), 1) << row.File;
        TBitmap after;
        after.Assign(&reloaded);
        ASSERT_EQ(after.Width(), bitmap.Width()) << row.File;
        ASSERT_EQ(after.Height(), bitmap.Height()) << row.File;

        // Exact whenever the colours fit the table and no two share a 15-bit key.
        std::set<std::uint32_t> colours(before.begin(), before.end());
        std::set<int> keys;
        for (std::uint32_t c : colours)
            keys.insert(static_cast<int>(((c >> 19) & 31) | (((c >> 11) & 31) << 5) | (((c >> 3) & 31) << 10)));
        if (colours.size() <= 256 && keys.size() == colours.size()) {
            EXPECT_EQ(Colours(after), before) << row.File;
            ++exact;
        }
    }
    EXPECT_GT(exact, 10);
}

TEST(GIFWritten, IndependentDecodersReadWhatIsWritten)
{
    if (!HavePil())
        FAIL() << "Debian's python3-pil is not installed";
    struct Case {
        int Width, Height, Colours;
        bool Interlaced;
    };
    const Case cases[] = {{1, 1, 2, false},     {1, 1, 2, true},      {2, 3, 3, true},       {17, 5, 16, false},
                          {255, 1, 5, true},    {100, 100, 256, false}, {333, 77, 200, true}, {64, 9, 2, true},
                          {1024, 768, 256, false}, {1024, 768, 256, true}, {640, 480, 7, true}};
    const std::string dir = ProgramTempDir();
    std::vector<std::string> files;
    std::vector<std::vector<std::uint32_t>> expected;
    std::mt19937 random(2024);
    for (const Case& c : cases) {
        TGIFImage gif;
        TGIFSubImage& frame = gif.Add(std::make_unique<TGIFSubImage>(&gif));
        frame.SetWidth(c.Width);
        frame.SetHeight(c.Height);
        frame.SetInterlaced(c.Interlaced);
        for (int i = 0; i < c.Colours; ++i)
            frame.ColorMap().Add({static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                                  static_cast<std::uint8_t>(i)});
        // Runs and noise, so that strings of every length appear.
        std::uint8_t* p = frame.Data();
        std::vector<std::uint32_t> colours;
        for (int i = 0; i < c.Width * c.Height; ++i) {
            p[i] = static_cast<std::uint8_t>((random() % 4 == 0 ? random() : static_cast<unsigned>(i / 7)) % c.Colours);
            const TGIFColor& k = frame.ColorMap().Data()[p[i]];
            colours.push_back(static_cast<std::uint32_t>((k.Red << 16) | (k.Green << 8) | k.Blue));
        }
        files.push_back(dir + "/written-" + std::to_string(files.size()) + ".gif");
        gif.SaveToFile(files.back());
        expected.push_back(std::move(colours));
    }
    DecodeWithPIL(files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        int w = 0, h = 0;
        std::vector<std::uint32_t> pixels;
        ASSERT_TRUE(ReadPIL(files[i], w, h, pixels)) << files[i];
        EXPECT_EQ(w, cases[i].Width);
        EXPECT_EQ(h, cases[i].Height);
        EXPECT_EQ(pixels, expected[i]) << cases[i].Width << "x" << cases[i].Height
                                       << (cases[i].Interlaced ? " interlaced" : "");
    }
    const bool haveGifsicle = RunCommand("command -v gifsicle >/dev/null 2>&1") == 0;
    EXPECT_TRUE(haveGifsicle) << "gifsicle (Debian package gifsicle) is not installed";
    if (haveGifsicle) {
        for (const auto& file : files) {
            std::string output;
            EXPECT_EQ(RunCommand("gifsicle --info '" + file + "' 2>&1", &output), 0) << file;
            EXPECT_EQ(output.find("warning"), std::string::npos) << output;
            EXPECT_EQ(output.find("error"), std::string::npos) << output;
        }
    }
    fs::remove_all(dir);
}

TEST(GIFWritten, IndependentDecoderSeesTheTransparentIndex)
{
    if (!HavePil())
        FAIL() << "Debian's python3-pil is not installed";
    // A hundred colours in blocks, the corners sharing the bottom-left pixel's colour.
    const int width = 120, height = 90;
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    bitmap.SetSize(width, height);
    const auto corner = [&](int x, int y) { return (x < 10 || x >= width - 10) && (y < 10 || y >= height - 10); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.SetPixel(x, y, corner(x, y) ? RGBColor(255, 0, 255) : RGBColor(x / 12 * 25, y / 9 * 25, 77));
    bitmap.SetTransparent(true);

    TGIFImage gif;
    gif.ReductionMethod = 7;
    gif.DitherMethod = 1;
    gif.Assign(&bitmap);
    ASSERT_TRUE(gif.HasTransparentFrame());
    const int index = gif.Image(0).GraphicControlExtension()->TransparentColorIndex();
    const std::string dir = ProgramTempDir();
    const std::string file = dir + "/transparent.gif";
    gif.SaveToFile(file);
    DecodeWithPIL({file});

    int w = 0, h = 0, transparent = -1;
    std::vector<std::uint32_t> pixels;
    ASSERT_TRUE(ReadPIL(file, w, h, pixels, &transparent));
    EXPECT_EQ(transparent, index);
    TBitmap ours;
    ours.Assign(&gif);
    EXPECT_EQ(pixels, Colours(ours));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(gif.Image(0).Pixels()[static_cast<std::size_t>(y) * width + x] == index, corner(x, y)) << x << "," << y;
    fs::remove_all(dir);
}
