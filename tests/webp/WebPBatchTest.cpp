// WebP files through the command-line tool, as a site's owner runs it: converted with their
// backups beside them, left alone when nothing changes, refused with a reason when broken or
// too large, never lost.

#include "batch/BatchLog.h"
#include "webp/VP8Header.h"

#include "WebPTestSupport.h"
#include "support/TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <gtest/gtest.h>

using namespace testsupport;
using namespace webptest;

namespace {

std::string Quote(const std::string& S) { return "'" + S + "'"; }

struct TRun {
    int Status = -1;
    std::string Out;
};

TRun Tool(const std::vector<std::string>& Args)
{
    std::string command = Quote(TESSIVAL_BATCH_TOOL);
    for (const std::string& a : Args) command += " " + Quote(a);
    TRun run;
    const int status = RunCommand(command + " 2>&1", &run.Out);
    run.Status = status;
    return run;
}

std::int64_t ModifiedTime(const std::string& Path)
{
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + Path);
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

// Dates a file back a day, so that a rewrite shows in its time.
void Age(const std::string& Path)
{
    const utimbuf old{1700000000, 1700000000};
    if (utime(Path.c_str(), &old) != 0) throw std::runtime_error("cannot date " + Path);
}

bool Contains(const std::string& Log, const std::string& Line)
{
    return Log.find(Line + "\n") != std::string::npos;
}

struct TSite {
    TTempDir Dir{"webp-site"};
    std::string Logo = Dir / "img/logo.webp";
    std::string Photo = Dir / "img/photos/harbour.webp";
    std::string Banner = Dir / "img/banner.webp";
    std::string Grey = Dir / "img/glow.webp";
    std::string Broken = Dir / "img/upload-cut.webp";
    std::map<std::string, std::string> Original;

    TSite()
    {
        Original[Logo] = Lossless(webptest::Logo(160, 64));
        Original[Photo] = WithChunks(Lossy(webptest::Photo(400, 260, 31), 75),
                                     {{"EXIF", std::string("II*\0\x08\0\0\0\0\0\0\0\0\0", 14)}});
        Original[Banner] = Animation(200, 100,
                                     {{Lossy(webptest::Photo(200, 100, 32), 70), 0, 0, 500, WEBP_MUX_DISPOSE_NONE,
                                       WEBP_MUX_NO_BLEND, 70},
                                      {Lossless(webptest::Logo(60, 40)), 20, 30, 90},
                                      {Lossless(webptest::Logo(40, 20)), 120, 60, 2000, WEBP_MUX_DISPOSE_BACKGROUND}},
                                     0, 0xFFFFFFFFu);
        // A white highlight laid over buttons, fading out: white stays white under every
        // setting the tests use.
        TPicture glow = Blank(120, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 120; ++x) Set(glow, x, y, 255, 255, 255, 255 - 16 * y);
        Original[Grey] = Lossless(glow);
        const std::string photo = Lossy(webptest::Photo(300, 200, 33), 80);
        Original[Broken] = photo.substr(0, photo.size() / 2);
        for (const auto& [path, bytes] : Original) {
            WriteFile(path, bytes);
            Age(path);
        }
    }
};

TEST(WebPBatch, SiteConvertedWithBackupsBrokenAndUnchangedLeftAlone)
{
    TSite site;
    const std::int64_t greyTime = ModifiedTime(site.Grey);
    const std::int64_t brokenTime = ModifiedTime(site.Broken);
    const TRun run = Tool({"--hue", "120", "--brightness", "10", site.Logo, site.Photo, site.Banner, site.Grey, site.Broken});
    EXPECT_EQ(run.Status, 1) << run.Out;  // a file failed
    EXPECT_TRUE(Contains(run.Out, SuccessLine(site.Logo))) << run.Out;
    EXPECT_TRUE(Contains(run.Out, SuccessLine(site.Photo))) << run.Out;
    EXPECT_TRUE(Contains(run.Out, SuccessLine(site.Banner))) << run.Out;
    EXPECT_TRUE(Contains(run.Out, SuccessLine(site.Grey) + std::string(BatchLog::UnchangedTail))) << run.Out;
    EXPECT_TRUE(Contains(run.Out, std::string(BatchLog::FailureHead) + LinePrefix(site.Broken) +
                                      std::string(BatchLog::ReasonBadImage)))
        << run.Out;

    // The converted files: the backups hold the old bytes, the files their new pictures.
    for (const std::string& path : {site.Logo, site.Photo, site.Banner}) {
        EXPECT_EQ(ReadFile(path + ".bak"), site.Original[path]) << path;
        EXPECT_NE(ReadFile(path), site.Original[path]) << path;
    }
    const auto adjuster = SiteSettings().MakeAdjuster();
    EXPECT_EQ(Decode(ReadFile(site.Logo)).Bgra, Converted(Logo(160, 64), *adjuster).Bgra);
    const std::string photo = ReadFile(site.Photo);
    EXPECT_EQ(Chunk(photo, "EXIF"), std::string("II*\0\x08\0\0\0\0\0\0\0\0\0", 14));
    EXPECT_NEAR(EstimateWebPQuality(photo).value_or(-100), 75, 3);
    const TStoredAnimation banner = ReadAnimation(ReadFile(site.Banner));
    ASSERT_EQ(banner.Frames.size(), 3u);
    EXPECT_EQ(banner.Frames[2].Duration, 2000);
    EXPECT_EQ(banner.Frames[2].X, 120);
    EXPECT_EQ(banner.Frames[1].Pixels.Bgra, Converted(Logo(60, 40), *adjuster).Bgra);

    // Nothing changed, or refused: the same bytes, the same time, no backup.
    for (const std::string& path : {site.Grey, site.Broken}) {
        EXPECT_EQ(ReadFile(path), site.Original[path]) << path;
        EXPECT_FALSE(Exists(path + ".bak")) << path;
    }
    EXPECT_EQ(ModifiedTime(site.Grey), greyTime);
    EXPECT_EQ(ModifiedTime(site.Broken), brokenTime);
    EXPECT_EQ(FolderNames(site.Dir / "img"),
              (std::vector<std::string>{"banner.webp", "banner.webp.bak", "glow.webp", "logo.webp", "logo.webp.bak",
                                        "photos", "upload-cut.webp"}));

    // Restored from the backups, the files are what they were.
    const TRun restore = Tool({"--restore", site.Logo + ".bak", site.Photo + ".bak", site.Banner + ".bak"});
    EXPECT_EQ(restore.Status, 0) << restore.Out;
    for (const std::string& path : {site.Logo, site.Photo, site.Banner}) EXPECT_EQ(ReadFile(path), site.Original[path]);
}

TEST(WebPBatch, IdentitySettingsTouchNothing)
{
    TSite site;
    std::map<std::string, std::int64_t> times;
    std::vector<std::string> args;
    for (const auto& [path, bytes] : site.Original) {
        if (path == site.Broken) continue;
        times[path] = ModifiedTime(path);
        args.push_back(path);
    }
    const TRun run = Tool(args);
    EXPECT_EQ(run.Status, 0) << run.Out;
    for (const std::string& path : args) {
        EXPECT_TRUE(Contains(run.Out, SuccessLine(path) + std::string(BatchLog::UnchangedTail))) << run.Out;
        EXPECT_EQ(ReadFile(path), site.Original[path]);
        EXPECT_EQ(ModifiedTime(path), times[path]);
        EXPECT_FALSE(Exists(path + ".bak"));
    }
}

TEST(WebPBatch, TooManyPixelsRefusedFromTheHeader)
{
    TSite site;
    // The logo has 160 x 64 = 10240 pixels, the banner's canvas 200 x 100 = 20000.
    const TRun run = Tool({"--hue", "120", "--max-pixels", "10239", site.Logo, site.Banner});
    EXPECT_EQ(run.Status, 1) << run.Out;
    for (const std::string& path : {site.Logo, site.Banner}) {
        EXPECT_TRUE(Contains(run.Out, std::string(BatchLog::FailureHead) + LinePrefix(path) +
                                          std::string(BatchLog::ReasonTooLarge)))
            << run.Out;
        EXPECT_EQ(ReadFile(path), site.Original[path]);
        EXPECT_FALSE(Exists(path + ".bak"));
    }
    const TRun fits = Tool({"--hue", "120", "--max-pixels", "10240", site.Logo});
    EXPECT_EQ(fits.Status, 0) << fits.Out;
    EXPECT_TRUE(Contains(fits.Out, SuccessLine(site.Logo))) << fits.Out;
}

TEST(WebPBatch, DryRunWritesNothing)
{
    TSite site;
    const std::int64_t time = ModifiedTime(site.Photo);
    const TRun run = Tool({"--hue", "120", "--dry-run", site.Photo, site.Broken});
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_NE(run.Out.find(LinePrefix(site.Broken) + std::string(BatchLog::ReasonBadImage)), std::string::npos) << run.Out;
    EXPECT_EQ(ReadFile(site.Photo), site.Original[site.Photo]);
    EXPECT_EQ(ModifiedTime(site.Photo), time);
    EXPECT_FALSE(Exists(site.Photo + ".bak"));
}

}  // namespace
