// The public PNG conformance images decode to the same pixels as an independent decoder
// (Debian's PIL, run at test time), and the broken ones fail with the right message.

#include "png/PngError.h"
#include "png/PngImage.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using namespace pngtest;

namespace {

// Writes <out>/<name>.ref: "width height hasAlpha\n", RGB bytes, then alpha bytes.
// 16-bit samples are reduced to their high bytes.
const char* const kReferenceScript = R"PY(
import sys, os
from PIL import Image
out = sys.argv[1]
for path in sys.argv[2:]:
    name = os.path.basename(path)
    try:
        im = Image.open(path)
        im.load()
    except Exception as e:
        continue
    w, h = im.size
    if im.mode.startswith('I'):
        g = bytes((v >> 8) & 255 for v in im.getdata())
        rgb = bytes(c for v in g for c in (v, v, v))
    else:
        rgb = im.convert('RGB').tobytes()
    alpha = None
    if im.mode.startswith('I'):
        t = im.info.get('transparency')
        if t is not None:
            alpha = bytes(0 if v == t else 255 for v in im.getdata())
    elif im.mode in ('LA', 'RGBA', 'PA') or 'transparency' in im.info:
        try:
            alpha = im.convert('RGBA').getchannel('A').tobytes()
        except Exception:
            alpha = None
    with open(os.path.join(out, name + '.ref'), 'wb') as f:
        f.write(b'%d %d %d\n' % (w, h, 1 if alpha is not None else 0))
        f.write(rgb)
        if alpha is not None:
            f.write(alpha)
)PY";

struct Reference {
    int width = 0, height = 0;
    bool hasAlpha = false;
    std::string rgb, alpha;
};

bool LoadReference(const std::string& path, Reference& ref)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string header;
    std::getline(in, header);
    std::istringstream h(header);
    int a = 0;
    h >> ref.width >> ref.height >> a;
    ref.hasAlpha = a != 0;
    const std::size_t n = static_cast<std::size_t>(ref.width) * static_cast<std::size_t>(ref.height);
    ref.rgb.resize(n * 3);
    in.read(ref.rgb.data(), static_cast<std::streamsize>(ref.rgb.size()));
    if (ref.hasAlpha) {
        ref.alpha.resize(n);
        in.read(ref.alpha.data(), static_cast<std::streamsize>(n));
    }
    return static_cast<bool>(in);
}

class PngSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        suite_ = fs::path(TESSIVAL_TESTDATA_DIR) / "pngsuite";
        if (!fs::is_directory(suite_)) {
            setUpError_ = "no conformance images at " + suite_.string();
            return;
        }
        if (!HavePil()) {
            setUpError_ = "Debian's python3-pil is not installed";
            return;
        }
        refDir_ = ProgramTempDir() + "/ref";
        fs::create_directories(refDir_);
        const std::string script = ProgramTempDir() + "/reference.py";
        std::ofstream(script) << kReferenceScript;
        std::string command = std::string(PythonProgram) + " " + script + " " + refDir_;
        for (const char* sub : {"", "libpng-extras"}) {
            for (const auto& e : fs::directory_iterator(suite_ / sub)) {
                if (e.path().extension() == ".png") command += " '" + e.path().string() + "'";
            }
        }
        std::string output;
        if (RunCommand(command + " 2>&1", &output) != 0) {
            setUpError_ = "reference decoder failed: " + output;
        }
    }

    void SetUp() override
    {
        if (!setUpError_.empty()) FAIL() << setUpError_;
    }

    static std::string Message(const fs::path& file)
    {
        PngImage png;
        try {
            png.LoadFromFile(file.string());
        } catch (const PngError& e) {
            return e.what();
        }
        return "loaded";
    }

    // Compares a decoded file with the reference of refName.
    static void Compare(const fs::path& file, const std::string& refName)
    {
        SCOPED_TRACE(file.filename().string());
        Reference ref;
        ASSERT_TRUE(LoadReference(refDir_ + "/" + refName + ".ref", ref)) << "no reference for " << refName;
        PngImage png;
        ASSERT_NO_THROW(png.LoadFromFile(file.string()));
        TBitmap& bmp = png.ImageBitmap();
        ASSERT_EQ(bmp.Width(), ref.width);
        ASSERT_EQ(bmp.Height(), ref.height);
        TBitmap alpha;
        const bool hasAlphaBitmap = png.CopyAlphaTo(&alpha);
        EXPECT_EQ(hasAlphaBitmap, png.HasAlpha());
        const TColor transparent = bmp.Transparent() ? bmp.TransparentColor() : clNone;
        int mismatches = 0;
        for (int y = 0; y < ref.height && mismatches < 5; ++y) {
            for (int x = 0; x < ref.width && mismatches < 5; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(ref.width) + static_cast<std::size_t>(x);
                const TColor expected = RGBColor(static_cast<std::uint8_t>(ref.rgb[3 * i]), static_cast<std::uint8_t>(ref.rgb[3 * i + 1]),
                                                 static_cast<std::uint8_t>(ref.rgb[3 * i + 2]));
                const TColor actual = bmp.Pixel(x, y);
                if (actual != expected) {
                    ADD_FAILURE() << "pixel " << x << "," << y << std::hex << " is " << actual << ", expected " << expected;
                    ++mismatches;
                }
                if (!ref.hasAlpha) continue;
                const auto refAlpha = static_cast<std::uint8_t>(ref.alpha[i]);
                if (png.HasAlpha()) {
                    if (alpha.ScanLine(y)[x] != 255 - refAlpha) {
                        ADD_FAILURE() << "alpha " << x << "," << y << " is " << 255 - alpha.ScanLine(y)[x] << ", expected "
                                      << int{refAlpha};
                        ++mismatches;
                    }
                } else if (refAlpha == 0 && actual != transparent) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is transparent but the bitmap's transparent colour is "
                                  << std::hex << transparent;
                    ++mismatches;
                }
            }
        }
    }

    static inline fs::path suite_;
    static inline std::string refDir_;
    static inline std::string setUpError_;
};

bool IsBroken(const std::string& name) { return name[0] == 'x'; }

TEST_F(PngSuite, EveryAcceptedImageDecodesToTheReferencePixels)
{
    int compared = 0;
    for (const char* sub : {"", "libpng-extras"}) {
        for (const auto& e : fs::directory_iterator(suite_ / sub)) {
            const std::string name = e.path().filename().string();
            if (e.path().extension() != ".png" || IsBroken(name)) continue;
            Compare(e.path(), name);
            ++compared;
        }
    }
    EXPECT_GE(compared, 200);
}

TEST_F(PngSuite, BrokenImagesFailWithTheirMessage)
{
    const std::map<std::string, std::string> expected = {
        {"xs1n0g01.png", PngMessage::NotPng},         {"xs2n0g01.png", PngMessage::NotPng},
        {"xs4n0g01.png", PngMessage::NotPng},         {"xs7n0g01.png", PngMessage::NotPng},
        {"xcrn0g04.png", PngMessage::NotPng},         {"xlfn0g04.png", PngMessage::NotPng},
        {"xc1n0g08.png", PngMessage::ColorType},      {"xc9n2c08.png", PngMessage::ColorType},
        {"xd0n2c08.png", PngMessage::ColourBitDepth}, {"xd3n2c08.png", PngMessage::ColourBitDepth},
        {"xd9n2c08.png", PngMessage::ColourBitDepth},
        // No image data at all: refused rather than handed back as an empty picture.
        {"xdtn0g01.png", PngMessage::ReadError},
    };
    for (const auto& [name, message] : expected) {
        EXPECT_EQ(Message(suite_ / name), message) << name;
    }
}

TEST_F(PngSuite, WrongChecksumsAreNotChecked)
{
    // The same pictures as their intact twins.
    Compare(suite_ / "xcsn0g01.png", "basn0g01.png");
    Compare(suite_ / "xhdn0g08.png", "basn0g08.png");
}

TEST_F(PngSuite, HostileAndTruncatedFilesFailCleanly)
{
    for (const char* sub : {"gdk-pixbuf-broken", "wuffs-truncated"}) {
        const fs::path dir = suite_ / sub;
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir)) {
            SCOPED_TRACE(e.path().filename().string());
            PngImage png;
            try {
                png.LoadFromFile(e.path().string());
            } catch (const PngError&) {
            }
        }
    }
    if (fs::is_directory(suite_ / "wuffs-truncated")) {
        EXPECT_EQ(Message(suite_ / "wuffs-truncated" / "hippopotamus.regular.truncated.png"), PngMessage::ReadError);
        EXPECT_EQ(Message(suite_ / "wuffs-truncated" / "hippopotamus.interlaced.truncated.png"), PngMessage::ReadError);
    }
}

}  // namespace
