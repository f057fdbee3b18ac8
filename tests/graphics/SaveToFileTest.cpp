// Saving a picture over an existing file: SaveToFile encodes the whole picture in memory and
// hands it to SaveFileSafely (base/SafeFile.h), so a write that fails half way leaves the old
// file byte for byte as it was and no temporary file (".NAME.tessival-XXXXXX") beside it. The
// fault is a real one: a file-size limit on this process, so the write stops with EFBIG.

#include "base/Exceptions.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::TFileSizeLimit;

namespace {

namespace fs = std::filesystem;

// A scratch folder, removed with what is in it.
class TScratchDir {
public:
    TScratchDir()
    {
        std::string pattern = (fs::temp_directory_path() / "tessival-savetofile-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TScratchDir()
    {
        std::error_code ec;
        fs::remove_all(FPath, ec);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

std::string ReadBytes(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& Path, const std::string& Data)
{
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
    ASSERT_TRUE(out.good()) << Path;
}

// The names in a folder, sorted.
std::vector<std::string> Listing(const std::string& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A 32-bit picture of a few hundred colours, so that its encoded form is far beyond the limit.
void Picture(TBitmap& Bitmap, int Seed)
{
    Bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    Bitmap.SetSize(48, 40);
    for (int y = 0; y < Bitmap.Height(); ++y) {
        std::uint8_t* p = Bitmap.ScanLine(y);
        for (int x = 0; x < Bitmap.Width(); ++x, p += 4) {
            p[0] = static_cast<std::uint8_t>(x * 5 + Seed);
            p[1] = static_cast<std::uint8_t>(y * 6 + Seed);
            p[2] = static_cast<std::uint8_t>((x + y) * 3);
            p[3] = 0;
        }
    }
}

std::string Encoded(TGraphic& Graphic)
{
    TMemoryStream stream;
    Graphic.SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<std::size_t>(stream.Size()));
}

// Saves Graphic over a file that holds another picture, once under a file-size limit (it
// fails; the old file stays, nothing else appears) and once without (the file becomes what
// SaveToStream writes).
void CheckFailedSaveKeepsTheFile(TGraphic& Graphic, const std::string& Name, const std::string& OldContent)
{
    TScratchDir dir;
    const std::string path = dir / Name;
    WriteBytes(path, OldContent);
    const std::string encoded = Encoded(Graphic);
    ASSERT_GT(encoded.size(), 64u);
    ASSERT_NE(encoded, OldContent);

    bool failed = false;
    {
        TFileSizeLimit limit(16);
        try {
            Graphic.SaveToFile(path);
        } catch (const EInOutError&) {
            failed = true;
        }
    }
    EXPECT_TRUE(failed) << Name << ": the save under the size limit did not fail as a write error";
    EXPECT_EQ(ReadBytes(path), OldContent) << Name << ": the existing file changed";
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{Name}) << Name << ": a stray file is left";

    // The same save without the limit replaces the file whole.
    Graphic.SaveToFile(path);
    EXPECT_EQ(ReadBytes(path), encoded) << Name;
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{Name}) << Name;
}

TEST(SaveToFile, AFailedGifSaveLeavesTheExistingFileAndNoTemporaryFile)
{
    TBitmap oldPicture;
    Picture(oldPicture, 0);
    TGIFImage old;
    old.Assign(&oldPicture);
    const std::string oldContent = Encoded(old);

    TBitmap picture;
    Picture(picture, 90);
    TGIFImage gif;
    gif.Assign(&picture);
    CheckFailedSaveKeepsTheFile(gif, "picture.gif", oldContent);
}

TEST(SaveToFile, AFailedPngSaveLeavesTheExistingFileAndNoTemporaryFile)
{
    TBitmap oldPicture;
    Picture(oldPicture, 0);
    PngImage old;
    old.Assign(&oldPicture);
    const std::string oldContent = Encoded(old);

    TBitmap picture;
    Picture(picture, 90);
    PngImage png;
    png.Assign(&picture);
    CheckFailedSaveKeepsTheFile(png, "picture.png", oldContent);
}

}  // namespace
