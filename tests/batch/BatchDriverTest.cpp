// The batch as a whole: which files, in what order, by which converter, and what the log says.

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

using namespace batchtest;

namespace {

class TRecorder final : public TBatchObserver {
public:
    void ProgressMaximum(int Maximum) override { Maxima.push_back(Maximum); }
    void ProgressStep() override { ++Steps; }
    void LogLine(const std::string& Line) override { Lines.push_back(Line); }

    std::vector<int> Maxima;
    int Steps = 0;
    std::vector<std::string> Lines;
};

TBatchInput Input(const std::vector<std::string>& Paths, int Hue = 0)
{
    TBatchInput input;
    for (const std::string& p : Paths) input.Items.push_back({true, p});
    input.Settings.HueOffset = Hue;
    return input;
}

std::string Ok(const std::string& Path) { return "成功> " + LinePrefix(Path); }
std::string Failed(const std::string& Path, std::string_view Reason) { return "失敗> " + LinePrefix(Path) + std::string(Reason); }
const std::string End(BatchLog::EndLine);

TEST(BatchDriver, NoCheckedFileGivesOnlyEndAndSummary)
{
    TTempDir dir;
    WriteFile(dir / "a.css", "a{color:red}");
    TBatchInput input = Input({dir / "a.css"});
    input.Items[0].Checked = false;
    TBatchRun op(input);
    TRecorder rec;
    op.ExecuteConversion(rec);
    EXPECT_EQ(op.Log(), (std::vector<std::string>{End, "0/0個のファイルを変換成功"}));
    EXPECT_EQ(rec.Lines, op.Log());
    EXPECT_EQ(rec.Maxima, std::vector<int>{0});
    EXPECT_EQ(rec.Steps, 0);
    EXPECT_EQ(ReadFile(dir / "a.css"), "a{color:red}");
}

TEST(BatchDriver, SortedOrderEachFileOnceAndTheSummary)
{
    TTempDir dir;
    for (const char* name : {"index.html", "B.css", "a.html", "A.html"}) WriteFile(dir / name, "<font color=#FF0000>");
    ASSERT_EQ(link((dir / "a.html").c_str(), (dir / "same-file.htm").c_str()), 0);
    TBatchInput input = Input({dir / "index.html", dir / "B.css", dir / "a.html", dir / "index.html",
                               dir / "same-file.htm", dir / "A.html", dir / "unchecked.css"},
                              120);
    input.Items.back().Checked = false;
    TBatchRun op(input);
    TRecorder rec;
    op.ExecuteConversion(rec);
    EXPECT_EQ(op.Log(), (std::vector<std::string>{Ok(dir / "A.html"), Ok(dir / "a.html"), Ok(dir / "B.css"),
                                                  Ok(dir / "index.html"), End, "4/4個のファイルを変換成功"}));
    EXPECT_EQ(rec.Maxima, std::vector<int>{4});
    EXPECT_EQ(rec.Steps, 4);
    EXPECT_EQ(op.Successes(), 4);
    EXPECT_EQ(op.Total(), 4);
    // Both case variants were converted.
    EXPECT_EQ(ReadFile(dir / "A.html"), "<font color=#00FF00>");
    EXPECT_EQ(ReadFile(dir / "a.html"), "<font color=#00FF00>");
}

TEST(BatchDriver, ExtensionChoosesTheConverterWithoutRegardToCase)
{
    // Text in image clothing: the image converters refuse it, which shows they were chosen.
    TTempDir dir;
    for (const char* name : {"a.PNG", "b.Gif", "c.htm", "d.bak", "e", "f.txt", "g.png.css"})
        WriteFile(dir / name, "p { color: #FF0000 }");
    std::vector<std::string> paths;
    for (const char* name : {"a.PNG", "b.Gif", "c.htm", "d.bak", "e", "f.txt", "g.png.css"}) paths.push_back(dir / name);
    TBatchRun op(Input(paths, 120));
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(op.Log(), (std::vector<std::string>{
                            Failed(dir / "a.PNG", BatchLog::ReasonBadImage),
                            Failed(dir / "b.Gif", BatchLog::ReasonBadImage),
                            Ok(dir / "c.htm"),
                            Ok(dir / "d.bak"),
                            Ok(dir / "e"),
                            Ok(dir / "f.txt"),
                            Ok(dir / "g.png.css"),
                            End,
                            "5/7個のファイルを変換成功",
                        }));
    EXPECT_EQ(ReadFile(dir / "a.PNG"), "p { color: #FF0000 }");
    EXPECT_EQ(ReadFile(dir / "e"), "p { color: #00FF00 }");
    EXPECT_FALSE(Exists(dir / "a.PNG.bak"));
}

TEST(BatchDriver, EveryFileFailingEndsWithZeroSuccesses)
{
    TTempDir dir;
    WriteFile(dir / "bad.css", "p { color: rgb(300, 0, 0) }");
    TBatchRun op(Input({dir / "gone.html", dir / "bad.css"}));
    TRecorder rec;
    op.ExecuteConversion(rec);
    EXPECT_EQ(op.Log(), (std::vector<std::string>{Failed(dir / "bad.css", BatchLog::ReasonHtml),
                                                  Failed(dir / "gone.html", BatchLog::ReasonNoFile), End,
                                                  "0/2個のファイルを変換成功"}));
    EXPECT_EQ(rec.Steps, 0);
}

TEST(BatchDriver, LongPathsAreConvertedWhole)
{
    TTempDir dir;
    std::string folder = dir.Path();
    for (int i = 0; i < 5; ++i) folder += "/" + std::string(70, static_cast<char>('k' + i));
    const std::string path = folder + "/" + std::string(60, 'p') + ".css";
    const std::string cut = path.substr(0, 255);
    ASSERT_GT(path.size(), 400u);
    WriteFile(path, "a { color: #ff0000 }");
    TBatchRun op(Input({path}, 120));
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(op.Log().front(), Ok(path));
    EXPECT_EQ(op.Log().front(), "成功> " + std::string(60, 'p') + ".css：" + path);
    EXPECT_EQ(ReadFile(path), "a { color: #00FF00 }");
    EXPECT_FALSE(Exists(cut));
}

TEST(BatchDriver, SettingsAreFrozenWhenTheBatchIsMade)
{
    TTempDir dir;
    WriteFile(dir / "a.css", "a { color: #ff0000 }");
    TBatchInput input = Input({dir / "a.css"}, 120);
    TBatchRun op(input);
    input.Settings.HueOffset = -120;
    input.Items.clear();
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(ReadFile(dir / "a.css"), "a { color: #00FF00 }");
}

// A mixed site: texts, images, a PNG with a transparent colour, files that fail.
void MakeMixedSite(const TTempDir& Dir)
{
    for (int i = 0; i < 12; ++i)
        WriteFile(Dir / ("page" + std::to_string(i) + ".html"),
                  "<body bgcolor=\"#" + std::string(i % 2 ? "FF0000" : "123456") + "\">\n<p>" + std::to_string(i) + "</p>");
    WriteFile(Dir / "style.css", "a { color: rgb(10%, 20%, 30%) }\n");
    WriteFile(Dir / "bad.css", "a { color: rgb(300, 0, 0) }\n");
    WriteFile(Dir / "fake.png", "not a picture");
    WriteFile(Dir / "fake.gif", "GIF89a");
    // A 2x1 truecolour PNG, red and blue, with the transparent colour (0, 0, 255).
    const auto chunk = [](const std::string& Type, const std::string& Data) {
        std::string c;
        for (int s = 24; s >= 0; s -= 8) c += static_cast<char>((Data.size() >> s) & 0xFF);
        c += Type + Data;
        const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(c.data() + 4), c.size() - 4);
        for (int s = 24; s >= 0; s -= 8) c += static_cast<char>((crc >> s) & 0xFF);
        return c;
    };
    const std::string raw("\x00\xff\x00\x00\x00\x00\xff", 7);  // filter 0, red, blue
    std::string idat(64, '\0');
    uLongf size = idat.size();
    compress(reinterpret_cast<Bytef*>(idat.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    idat.resize(size);
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) +
                            chunk("IHDR", std::string("\0\0\0\x02\0\0\0\x01\x08\x02\0\0\0", 13)) +
                            chunk("tRNS", std::string("\0\0\0\0\0\xff", 6));
    WriteFile(Dir / "keyed.png", png + chunk("IDAT", idat) + chunk("IEND", ""));
}

// A PNG without its tIME chunk: a written PNG carries the moment it was saved.
std::string WithoutSaveTime(std::string Png)
{
    for (std::size_t p = 8; p + 12 <= Png.size();) {
        const std::size_t length = (std::size_t(std::uint8_t(Png[p])) << 24) | (std::uint8_t(Png[p + 1]) << 16) |
                                   (std::uint8_t(Png[p + 2]) << 8) | std::uint8_t(Png[p + 3]);
        if (Png.compare(p + 4, 4, "tIME") == 0) {
            Png.erase(p, std::min(Png.size() - p, 12 + length));
            continue;
        }
        p += 12 + length;
    }
    return Png;
}

std::vector<std::pair<std::string, std::string>> Contents(const std::string& Folder)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : FolderNames(Folder)) {
        const std::string data = ReadFile(Folder + "/" + name);
        files.emplace_back(name, name.ends_with(".png") && data.starts_with("\x89PNG") ? WithoutSaveTime(data) : data);
    }
    return files;
}

TEST(BatchDriver, SeveralJobsGiveTheSameLogAndFiles)
{
    TTempDir one, many;
    MakeMixedSite(one);
    MakeMixedSite(many);
    const auto run = [](const TTempDir& Dir, int Jobs, TRecorder& Rec) {
        TBatchInput input;
        for (const std::string& name : FolderNames(Dir.Path())) input.Items.push_back({true, Dir / name});
        input.Settings.HueOffset = 120;
        input.Jobs = Jobs;
        TBatchRun op(input);
        op.ExecuteConversion(Rec);
        std::vector<std::string> log = op.Log();
        for (std::string& line : log)
            if (const auto at = line.find(Dir.Path()); at != std::string::npos) line.replace(at, Dir.Path().size(), "<site>");
        return log;
    };
    TRecorder recOne, recMany;
    const std::vector<std::string> logOne = run(one, 1, recOne);
    const std::vector<std::string> logMany = run(many, 4, recMany);
    EXPECT_EQ(logMany, logOne);
    EXPECT_EQ(recMany.Steps, recOne.Steps);
    EXPECT_EQ(recMany.Maxima, recOne.Maxima);
    EXPECT_EQ(std::count(logOne.begin(), logOne.end(), "add"), 1);
    EXPECT_EQ(logOne.back(), "14/17個のファイルを変換成功");
    EXPECT_EQ(Contents(many.Path()), Contents(one.Path()));
}

TEST(BatchDriver, AListedBackupIsConvertedAfterTheFileItBacksUp)
{
    // page.html's backup would be page.html.bak, which is listed too: with several jobs the
    // two must still follow each other as with one.
    TTempDir dir;
    WriteFile(dir / "page.html", "<font color=\"#FF0000\">");
    WriteFile(dir / "page.html.bak", "<font color=\"#0000FF\">");
    for (int i = 0; i < 6; ++i) WriteFile(dir / ("x" + std::to_string(i) + ".css"), "a{color:red}");
    TBatchInput input;
    for (const std::string& name : FolderNames(dir.Path())) input.Items.push_back({true, dir / name});
    input.Settings.HueOffset = 120;
    input.Jobs = 3;
    TBatchRun op(input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(op.Successes(), 8);
    EXPECT_EQ(ReadFile(dir / "page.html"), "<font color=\"#00FF00\">");
    // The existing backup was kept for page.html, then converted itself as a listed file.
    EXPECT_EQ(ReadFile(dir / "page.html.bak"), "<font color=\"#FF0000\">");
    EXPECT_EQ(ReadFile(dir / "page.html.bak.bak"), "<font color=\"#0000FF\">");
}

}  // namespace

namespace {

// Counts the progress steps that came before the first log line.
class TStepOrderRecorder final : public TBatchObserver {
public:
    void ProgressMaximum(int) override {}
    void ProgressStep() override { ++Steps; }
    void LogLine(const std::string& Line) override
    {
        if (Lines.empty()) StepsBeforeFirstLine = Steps;
        Lines.push_back(Line);
    }

    int Steps = 0;
    int StepsBeforeFirstLine = -1;
    std::vector<std::string> Lines;
};

TEST(BatchDriver, ProgressStepsAsFilesFinishWhileTheLogKeepsListOrder)
{
    // The first file of the list is by far the biggest, so one worker is busy with it while
    // the other gets through all the small ones: their steps must not wait for it, but its
    // line must still come first.
    TTempDir dir;
    std::string big;
    for (int i = 0; i < 1200000; ++i) big += "a{color:#FF0000}\n";
    WriteFile(dir / "a.css", big);
    std::vector<std::string> paths{dir / "a.css"};
    for (int i = 0; i < 20; ++i) {
        const std::string name = dir / ("b" + std::to_string(10 + i) + ".css");
        WriteFile(name, "b{color:#00FF00}");
        paths.push_back(name);
    }
    WriteFile(dir / "c.gif", "not a picture");
    paths.push_back(dir / "c.gif");

    TBatchInput input = Input(paths, 120);
    input.Backup = false;
    input.Jobs = 2;
    TBatchRun op(input);
    TStepOrderRecorder rec;
    op.ExecuteConversion(rec);

    EXPECT_GT(rec.StepsBeforeFirstLine, 0);
    EXPECT_EQ(rec.Steps, 21);  // successes only
    ASSERT_EQ(rec.Lines.size(), 24u);
    EXPECT_EQ(rec.Lines, op.Log());
    for (std::size_t i = 0; i < 21; ++i) EXPECT_EQ(rec.Lines[i], Ok(paths[i]));
    EXPECT_EQ(rec.Lines[21].rfind("失敗> " + LinePrefix(paths[21]), 0), 0u);
    EXPECT_EQ(rec.Lines.back(), "21/22個のファイルを変換成功");
}

}  // namespace
