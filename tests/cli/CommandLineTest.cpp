#include "batch/CommandLine.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

TCommandLine Parse(std::vector<std::string> Args) { return ParseCommandLine(Args, 4); }

TEST(CommandLine, DefaultsWithOnePath)
{
    const TCommandLine line = Parse({"site"});
    EXPECT_EQ(line.Settings.HueOffset, 0);
    EXPECT_EQ(line.Settings.SatOffset, 0);
    EXPECT_EQ(line.Settings.BrightOffset, 0);
    EXPECT_TRUE(line.Settings.BeforeColors.empty());
    EXPECT_TRUE(line.Backup);
    EXPECT_FALSE(line.GifTransparent);
    EXPECT_TRUE(line.SubFolders);
    EXPECT_EQ(line.Jobs, 4);
    EXPECT_FALSE(line.Map);
    EXPECT_EQ(line.Paths, std::vector<std::string>{"site"});
}

TEST(CommandLine, EveryOptionInBothSpellings)
{
    const TCommandLine line =
        Parse({"--hue", "-180", "--saturation=255", "--brightness", "+12", "--pair", "#ff0000=00FF00",
               "--pair-adjust=123456=#ABCDEF", "--pair", "000000=FFFFFF", "--no-backup", "--gif-transparent",
               "--no-subfolders", "--jobs", "3", "a.html", "b", "--", "-odd-name.css"});
    EXPECT_EQ(line.Settings.HueOffset, -180);
    EXPECT_EQ(line.Settings.SatOffset, 255);
    EXPECT_EQ(line.Settings.BrightOffset, 12);
    ASSERT_EQ(line.Settings.BeforeColors.size(), 3u);
    EXPECT_EQ(line.Settings.BeforeColors[0], (TRGBColor{255, 0, 0}));
    EXPECT_EQ(line.Settings.AfterColors[0], (TRGBColor{0, 255, 0}));
    EXPECT_EQ(line.Settings.BeforeColors[1], (TRGBColor{0x12, 0x34, 0x56}));
    EXPECT_EQ(line.Settings.AfterColors[1], (TRGBColor{0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(line.Settings.AdjustFlags, (std::vector<std::uint8_t>{0, 1, 0}));
    EXPECT_FALSE(line.Backup);
    EXPECT_TRUE(line.GifTransparent);
    EXPECT_FALSE(line.SubFolders);
    EXPECT_EQ(line.Jobs, 3);
    EXPECT_EQ(line.Paths, (std::vector<std::string>{"a.html", "b", "-odd-name.css"}));
}

TEST(CommandLine, BadValuesAreUsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--hue", "181", "x"},          {"--hue", "-181", "x"},       {"--saturation", "256", "x"},
        {"--brightness", "-256", "x"},  {"--hue", "12a", "x"},        {"--hue", "", "x"},
        {"--hue", "+-3", "x"},          {"--hue", "99999999999", "x"}, {"--pair", "GG0000=000000", "x"},
        {"--pair", "FF0000", "x"},      {"--pair", "FF00=000000", "x"}, {"--pair-adjust", "#FF0000=#0000000", "x"},
        {"--jobs", "0", "x"},           {"--jobs", "-2", "x"},        {"--frobnicate", "x"},
        {"-x", "x"},                    {"--hue"},                    {"x", "--saturation"},
        {"--no-backup=yes", "x"},       {},                           {"--hue", "5"},
        {"--map", "x"},
    };
    for (const auto& args : bad) EXPECT_THROW(Parse(args), EUsageError) << testing::PrintToString(args);
}

TEST(CommandLine, PictureLimitsReachTheBatch)
{
    const TCommandLine plain = Parse({"x"});
    EXPECT_EQ(plain.MaxPixels, DefaultMaxPixels);
    EXPECT_EQ(MakeBatchInput(plain).MaxPixels, DefaultMaxPixels);
    EXPECT_EQ(MakeBatchInput(plain).MemoryBudget, 0u);

    const TCommandLine line = Parse({"--max-pixels", "2500", "--memory-budget=300", "x"});
    EXPECT_EQ(line.MaxPixels, 2500u);
    const TBatchInput input = MakeBatchInput(line);
    EXPECT_EQ(input.MaxPixels, 2500u);
    EXPECT_EQ(input.MemoryBudget, std::uint64_t{300} << 20);

    EXPECT_EQ(Parse({"--max-pixels", "268435456", "x"}).MaxPixels, std::uint64_t{1} << 28);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--max-pixels", "0", "x"}, {"--max-pixels", "268435457", "x"},
          {"--max-pixels", "1e6", "x"}, {"--memory-budget", "0", "x"}, {"--memory-budget", "-5", "x"},
          {"--memory-budget", "x"}, {"--restore", "--max-pixels", "10", "x.bak"},
          {"--delete-backups", "--memory-budget", "10", "x.bak"}})
        EXPECT_THROW(Parse(args), EUsageError) << testing::PrintToString(args);
}

TEST(CommandLine, MapHelpAndVersionNeedNoPath)
{
    EXPECT_TRUE(Parse({"--map", "--hue", "10"}).Map);
    EXPECT_TRUE(Parse({"-h"}).Help);
    EXPECT_TRUE(Parse({"--help", "page.html"}).Help);
    EXPECT_TRUE(Parse({"--version"}).Version);
}

TEST(CommandLine, MapConvertsEachLine)
{
    TConversionSettings settings;
    settings.HueOffset = 120;
    settings.AddPair({0x12, 0x34, 0x56}, {0xAB, 0xCD, 0xEF}, false);
    std::istringstream in("#FF0000\r\n  0000ff\n\n123456\n");
    std::ostringstream out, err;
    EXPECT_EQ(RunColourMap(in, out, err, settings), ExitAllConverted);
    EXPECT_EQ(out.str(), "#00FF00\n#FF0000\n\n#ABCDEF\n");
    EXPECT_EQ(err.str(), "");
}

TEST(CommandLine, MapStopsAtALineThatIsNoColour)
{
    TConversionSettings settings;
    std::istringstream in("#102030\nred\nnope\n#405060\n");
    std::ostringstream out, err;
    EXPECT_EQ(RunColourMap(in, out, err, settings), ExitSomeFailed);
    EXPECT_EQ(out.str(), "#102030\n#FF0000\n");  // a colour name is a colour
    EXPECT_NE(err.str().find("3 行目"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("nope"), std::string::npos) << "the line itself is not repeated: " << err.str();
}

TEST(CommandLine, RestoreAndDeleteBackupsTakePathsAndSubFolderChoice)
{
    const TCommandLine restore = Parse({"--restore", "--no-subfolders", "site", "page.html.bak"});
    EXPECT_EQ(restore.BackupAction, TBackupAction::Restore);
    EXPECT_FALSE(restore.SubFolders);
    EXPECT_EQ(restore.Paths, (std::vector<std::string>{"site", "page.html.bak"}));
    const TCommandLine remove = Parse({"site", "--delete-backups"});
    EXPECT_EQ(remove.BackupAction, TBackupAction::Delete);
    EXPECT_TRUE(remove.SubFolders);
    EXPECT_EQ(Parse({"site"}).BackupAction, TBackupAction::None);
    EXPECT_TRUE(Parse({"--restore", "--help"}).Help);
}

TEST(CommandLine, RestoreAndDeleteBackupsStandAlone)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--restore", "--delete-backups", "x"}, {"--restore", "--hue", "10", "x"},
        {"--delete-backups", "--saturation=3", "x"}, {"--restore", "--brightness", "1", "x"},
        {"--restore", "--pair", "FF0000=00FF00", "x"}, {"--delete-backups", "--pair-adjust", "FF0000=00FF00", "x"},
        {"--restore", "--no-backup", "x"}, {"--restore", "--gif-transparent", "x"},
        {"--delete-backups", "--jobs", "2", "x"}, {"--restore", "--map"}, {"--restore", "--photos", "x"},
        {"--restore", "--map", "x"}, {"--delete-backups", "--dry-run", "x"},
        {"--restore", "--dry-run", "x"}, {"--restore"}, {"--delete-backups"},
        {"--restore=yes", "x"}, {"--delete-backups=1", "x"},
    };
    for (const auto& args : bad) EXPECT_THROW(Parse(args), EUsageError) << testing::PrintToString(args);
    try {
        Parse({"--restore", "--hue", "10", "x"});
        ADD_FAILURE() << "no usage error";
    } catch (const EUsageError& e) {
        EXPECT_NE(e.Message().find("--hue"), std::string::npos) << e.Message();
    }
}

TEST(CommandLine, DryRunReachesTheBatchAndStaysOffMap)
{
    const TCommandLine line = Parse({"--dry-run", "--hue", "30", "site"});
    EXPECT_TRUE(line.DryRun);
    EXPECT_TRUE(MakeBatchInput(line).DryRun);
    EXPECT_FALSE(MakeBatchInput(Parse({"site"})).DryRun);
    EXPECT_THROW(Parse({"--dry-run", "--map"}), EUsageError);
    EXPECT_THROW(Parse({"--dry-run=1", "site"}), EUsageError);
    EXPECT_THROW(Parse({"--dry-run"}), EUsageError);
}

// A folder gives its pages, style sheets, pictures and SVG files; its photos only with --photos.
// A photo named on the command line is converted either way.
TEST(CommandLine, PhotosOnlyWhenAskedForInFolders)
{
    using testsupport::TTempDir;
    using testsupport::WriteFile;
    TTempDir dir;
    for (const char* name : {"index.html", "logo.svg", "icons.SVGZ", "bg.png", "photo.jpg", "Photo2.JPEG", "hero.webp",
                             "sub/team.jpg", "sub/map.svg", "notes.txt"})
        WriteFile(dir / name, "x");
    const auto listed = [](const TBatchInput& Input) {
        std::vector<std::string> paths;
        for (const TBatchItem& item : Input.Items) {
            EXPECT_TRUE(item.Checked) << item.FullPath;
            paths.push_back(item.FullPath);
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    };
    const TCommandLine plain = Parse({dir.Path(), dir / "photo.jpg"});
    EXPECT_FALSE(plain.Photos);
    EXPECT_EQ(listed(MakeBatchInput(plain)),
              (std::vector<std::string>{dir / "bg.png", dir / "icons.SVGZ", dir / "index.html", dir / "logo.svg",
                                        dir / "photo.jpg", dir / "sub/map.svg"}));
    const TCommandLine photos = Parse({"--photos", dir.Path()});
    EXPECT_TRUE(photos.Photos);
    EXPECT_EQ(listed(MakeBatchInput(photos)),
              (std::vector<std::string>{dir / "Photo2.JPEG", dir / "bg.png", dir / "hero.webp", dir / "icons.SVGZ",
                                        dir / "index.html", dir / "logo.svg", dir / "photo.jpg", dir / "sub/map.svg",
                                        dir / "sub/team.jpg"}));
    EXPECT_THROW(Parse({"--photos=yes", "x"}), EUsageError);
    EXPECT_NE(HelpText().find("--photos"), std::string::npos);
}

}  // namespace

using namespace testsupport;

namespace {

// A log that keeps what is written and what had been written each time it was flushed; or,
// Broken, one that takes nothing.
class TRecordingLog final : public std::streambuf {
public:
    explicit TRecordingLog(bool Broken = false) : FBroken(Broken) {}
    std::string Text;
    std::vector<std::string> AtFlush;

protected:
    int_type overflow(int_type C) override
    {
        if (FBroken) return traits_type::eof();
        if (C != traits_type::eof()) Text.push_back(static_cast<char>(C));
        return traits_type::not_eof(C);
    }
    std::streamsize xsputn(const char* S, std::streamsize N) override
    {
        if (FBroken) return 0;
        Text.append(S, static_cast<std::size_t>(N));
        return N;
    }
    int sync() override
    {
        if (FBroken) return -1;
        AtFlush.push_back(Text);
        return 0;
    }

private:
    bool FBroken;
};

std::size_t CountOf(const std::string& Text, const std::string& Part)
{
    std::size_t n = 0;
    for (std::size_t at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1)) ++n;
    return n;
}

}  // namespace

// The log of a long run comes out as groups of files are done, not only at its end, and every
// line is out by then.
TEST(CommandLine, TheLogIsWrittenAsGroupsOfFilesAreDone)
{
    TTempDir dir;
    const int files = 2500;
    for (int i = 0; i < files; ++i) WriteFile(dir / ("s" + std::to_string(i) + ".css"), "a { color: red }\n");
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        TRecordingLog log;
        std::ostream out(&log);
        std::ostringstream err;
        std::istringstream in;
        EXPECT_EQ(RunCommandLine(Parse({"--hue", "120", "--no-backup", "--jobs", jobs, dir.Path()}), in, out, err),
                  ExitAllConverted);
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(CountOf(log.Text, "成功> "), static_cast<std::size_t>(files));
        ASSERT_GE(log.AtFlush.size(), 3u);  // at least a flush for each group of 1,024 files
        const auto first = std::find_if(log.AtFlush.begin(), log.AtFlush.end(),
                                        [](const std::string& Text) { return CountOf(Text, "成功> ") > 0; });
        ASSERT_NE(first, log.AtFlush.end());
        EXPECT_LT(CountOf(*first, "成功> "), static_cast<std::size_t>(files));
        EXPECT_EQ(first->find("変換終了"), std::string::npos);
        EXPECT_EQ(log.AtFlush.back(), log.Text);  // nothing left unwritten at the end
    }
}

// A log that cannot be written is said once; the files are still converted and the run fails.
TEST(CommandLine, ALogThatCannotBeWrittenIsSaidOnceAndTheRunFails)
{
    TTempDir dir;
    for (int i = 0; i < 300; ++i) WriteFile(dir / ("s" + std::to_string(i) + ".css"), "a { color: red }\n");
    TRecordingLog log(true);
    std::ostream out(&log);
    std::ostringstream err;
    std::istringstream in;
    EXPECT_EQ(RunCommandLine(Parse({"--hue", "120", "--no-backup", dir.Path()}), in, out, err), ExitSomeFailed);
    EXPECT_EQ(CountOf(err.str(), "ログを書けません"), 1u);
    EXPECT_EQ(ReadFile(dir / "s0.css"), "a { color: #00FF00 }\n");
    EXPECT_EQ(ReadFile(dir / "s299.css"), "a { color: #00FF00 }\n");
}
