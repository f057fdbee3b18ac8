// A batch's workers share one memory budget for decoded pictures: whatever its size, every
// picture is converted, with the same log and files as one worker gives.

#include "BatchTestUtil.h"

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace batchtest;

namespace {

std::string Picture(int Width, int Height, bool Gif)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(Width, Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) bitmap.SetPixel(x, y, RGBColor(x % 256, y % 256, (x + y) % 7 * 30));
    TMemoryStream out;
    if (Gif) {
        TGIFImage gif;
        gif.Assign(&bitmap);
        gif.SaveToStream(out);
    } else {
        PngImage png;
        png.Assign(&bitmap);
        png.SaveToStream(out);
    }
    return std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<std::size_t>(out.Size()));
}

// A PNG's tIME chunk says when it was written: the rest is what is compared.
std::string WithoutTime(std::string Bytes)
{
    if (const auto at = Bytes.find("tIME"); at != std::string::npos && at >= 4) Bytes.erase(at - 4, 4 + 4 + 7 + 4);
    return Bytes;
}

struct TRun {
    std::vector<std::string> Log;
    std::vector<std::string> Files;
};

// Converts a fresh copy of the same pictures and pages with Jobs workers and Budget bytes.
TRun Convert(int Jobs, std::uint64_t Budget)
{
    TTempDir dir("budget");
    TBatchInput input;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "p" + std::to_string(i) + (i % 2 ? ".gif" : ".png");
        WriteFile(dir / name, Picture(40 + i * 17, 30 + i * 11, i % 2 == 1));
        input.Items.push_back({true, dir / name});
    }
    WriteFile(dir / "page.css", "p{color:red}");
    input.Items.push_back({true, dir / "page.css"});
    input.Settings.HueOffset = 120;
    input.Jobs = Jobs;
    input.MemoryBudget = Budget;
    TBatchRun operation(input);
    TSilentObserver observer;
    operation.ExecuteConversion(observer);
    TRun run;
    for (const std::string& line : operation.Log()) {
        std::string relative = line;
        if (const auto at = relative.find(dir.Path()); at != std::string::npos) relative.erase(at, dir.Path().size());
        run.Log.push_back(relative);
    }
    for (const TBatchItem& item : input.Items) run.Files.push_back(WithoutTime(ReadFile(item.FullPath)));
    return run;
}

}  // namespace

TEST(PictureBudget, EveryPictureConvertsWhateverTheBudget)
{
    const TRun alone = Convert(1, 0);
    ASSERT_EQ(alone.Log.back(), SummaryLine(9, 9));
    // One byte: every picture is larger than the whole budget, so each runs alone; a budget of
    // a few pictures makes some wait; a large one lets all run at once.
    for (const std::uint64_t budget : {std::uint64_t{1}, std::uint64_t{40000}, std::uint64_t{1} << 30}) {
        SCOPED_TRACE(budget);
        const TRun run = Convert(4, budget);
        EXPECT_EQ(run.Log, alone.Log);
        for (std::size_t i = 0; i < alone.Files.size(); ++i)
            EXPECT_TRUE(run.Files.at(i) == alone.Files[i]) << "file " << i << " differs";
    }
}
