// JPEG pictures through the command-line tool, as a site's images folder is converted: with
// backups, the log's lines and reasons, files that fail or do not change left exactly as they
// were (bytes and time), the pixel limit.

#include "JpegTestSupport.h"

#include "batch/BatchLog.h"
#include "colour/ConversionSettings.h"
#include "colour/PictureColours.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace jpegtest;
using namespace testsupport;

namespace {

struct TFileState {
    std::string Bytes;
    timespec Modified{};
};

TFileState StateOf(const std::string& Path)
{
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0) throw std::runtime_error("no file " + Path);
    return {ReadFile(Path), st.st_mtim};
}

void ExpectUntouched(const std::string& Path, const TFileState& Before)
{
    SCOPED_TRACE(Path);
    const TFileState after = StateOf(Path);
    EXPECT_TRUE(after.Bytes == Before.Bytes);
    EXPECT_EQ(after.Modified.tv_sec, Before.Modified.tv_sec);
    EXPECT_EQ(after.Modified.tv_nsec, Before.Modified.tv_nsec);
    EXPECT_FALSE(Exists(Path + ".bak"));
}

// Dates a file back a day, so that any rewrite shows in its time.
void Backdate(const std::string& Path)
{
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 86400;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, Path.c_str(), times, 0), 0);
}

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Tool(const std::string& Arguments, int* Status = nullptr)
{
    std::string out;
    const int status = RunCommand(std::string(TESSIVAL_BATCH_TOOL) + " " + Arguments + " 2>&1", &out);
    if (Status) *Status = status;
    return out;
}

// The log line of Path: it starts with Head and ends with Tail.
bool Logged(const std::vector<std::string>& Log, std::string_view Head, const std::string& Path, std::string_view Tail)
{
    for (const std::string& line : Log) {
        if (line.compare(0, Head.size(), Head) != 0) continue;
        const std::string end = "：" + Path + std::string(Tail);
        if (line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0) return true;
    }
    return false;
}

struct TSite {
    TTempDir Dir{"jpeg-site"};
    std::vector<std::string> Good;    // converted
    std::vector<std::string> Bad;     // failing, with their reasons
    std::vector<std::string_view> Reasons;
    std::string Quoted;               // every file, for the command line
    std::string Grey;

    TSite()
    {
        const auto add = [&](const std::string& Name, const std::string& Bytes) {
            const std::string path = Dir / ("images/" + Name);
            WriteFile(path, Bytes);
            Backdate(path);
            Quoted += " '" + path + "'";
            return path;
        };
        TMakeOptions photo;
        photo.Quality = 85;
        photo.Markers = SiteMarkers();
        Good.push_back(add("shop-front.jpg", MakeJpeg(PhotoLike(320, 240, 11), photo)));
        TMakeOptions logo;
        logo.Quality = 95;
        logo.LumaH = logo.LumaV = 1;
        logo.Progressive = true;
        Good.push_back(add("logo.jpeg", MakeJpeg(LogoLike(200, 80), logo)));
        TMakeOptions camera;
        camera.Quality = 92;
        camera.LumaV = 1;
        camera.RestartInterval = 4;
        camera.Markers = SiteMarkers();
        Good.push_back(add("DSC01234.JPG", MakeJpeg(PhotoLike(300, 200, 12), camera)));
        TMakeOptions grey;
        grey.Grey = true;
        Grey = add("map.jpe", MakeJpeg(Greyed(LogoLike(160, 120)), grey));
        Good.push_back(Grey);
        Good.push_back(add("download.jfif", MakeJpeg(PhotoLike(100, 80, 13), {})));

        Bad.push_back(add("print-flyer.jpg", MakeCmykJpeg(LogoLike(120, 90))));
        Reasons.push_back(BatchLog::ReasonCmykJpeg);
        const std::string whole = MakeJpeg(PhotoLike(160, 120, 14), photo);
        Bad.push_back(add("cut-off.jpg", whole.substr(0, whole.size() * 3 / 4)));
        Reasons.push_back(BatchLog::ReasonBadImage);
        // A 12-bit frame header: libjpeg here reads 8-bit samples only.
        std::string deep = MakeJpeg(PhotoLike(64, 48, 15), {});
        const std::size_t sof = deep.find("\xFF\xC0");
        deep[sof + 4] = 12;
        deep[sof + 1] = static_cast<char>(0xC1);  // 12 bits are extended sequential
        Bad.push_back(add("medical.jpg", deep));
        Reasons.push_back(BatchLog::ReasonJpegPrecision);
        Bad.push_back(add("empty.jpg", ""));
        Reasons.push_back(BatchLog::ReasonBadImage);
    }
};

}  // namespace

TEST(JpegBatch, ConvertsWithBackupsAndFailsOnlyTheBrokenFiles)
{
    TSite site;
    std::vector<TFileState> before;
    for (const std::string& p : site.Good) before.push_back(StateOf(p));
    std::vector<TFileState> badBefore;
    for (const std::string& p : site.Bad) badBefore.push_back(StateOf(p));

    int status = 0;
    const std::vector<std::string> log = Lines(Tool("--hue 150 --brightness 10" + site.Quoted, &status));
    EXPECT_NE(status, 0);  // some files failed

    TConversionSettings settings;
    settings.HueOffset = 150;
    settings.BrightOffset = 10;
    const std::unique_ptr<TColourAdjuster> adjuster = settings.MakeAdjuster();
    for (std::size_t i = 0; i < site.Good.size(); ++i) {
        const std::string& path = site.Good[i];
        SCOPED_TRACE(path);
        EXPECT_TRUE(Logged(log, BatchLog::SuccessHead, path, ""));
        // The backup is the file as it was; the file is the picture converted.
        EXPECT_TRUE(ReadFile(path + ".bak") == before[i].Bytes);
        const std::string after = ReadFile(path);
        EXPECT_EQ(AppAndComSegments(after), AppAndComSegments(before[i].Bytes));
        EXPECT_EQ(FrameInfo(after).Sampling, FrameInfo(before[i].Bytes).Sampling);
        EXPECT_EQ(FrameInfo(after).Marker, FrameInfo(before[i].Bytes).Marker);
        EXPECT_EQ(FrameInfo(after).RestartInterval, FrameInfo(before[i].Bytes).RestartInterval);
        const TRgbImage original = DecodeJpeg(before[i].Bytes);
        const TRgbImage converted = DecodeJpeg(after);
        // Mean difference from the exact conversion, all channels: one more coding's worth.
        double sum = 0;
        for (std::size_t k = 0; k + 2 < original.Rgb.size(); k += 3) {
            const TRGBColor c = ConvertPictureColour(*adjuster, TTransparencyRule{},
                                                     {original.Rgb[k], original.Rgb[k + 1], original.Rgb[k + 2]});
            sum += std::abs(c.R - converted.Rgb[k]) + std::abs(c.G - converted.Rgb[k + 1]) + std::abs(c.B - converted.Rgb[k + 2]);
        }
        EXPECT_LT(sum / static_cast<double>(original.Rgb.size()), 3.0);
    }
    int components = 0;
    DecodeJpeg(ReadFile(site.Grey), &components);
    EXPECT_EQ(components, 1);

    for (std::size_t i = 0; i < site.Bad.size(); ++i) {
        EXPECT_TRUE(Logged(log, BatchLog::FailureHead, site.Bad[i], std::string(site.Reasons[i]))) << site.Bad[i];
        ExpectUntouched(site.Bad[i], badBefore[i]);
    }
    EXPECT_EQ(log.back(), std::to_string(site.Good.size()) + "/" + std::to_string(site.Good.size() + site.Bad.size()) +
                              std::string(BatchLog::SummaryTail));

    // Converted again, the backups of the first run are kept as they are.
    const std::string firstBackup = ReadFile(site.Good[0] + ".bak");
    const std::vector<std::string> again = Lines(Tool("--hue 30 '" + site.Good[0] + "'"));
    EXPECT_TRUE(Logged(again, BatchLog::SuccessHead, site.Good[0], std::string(BatchLog::BackupKeptTail)));
    EXPECT_TRUE(ReadFile(site.Good[0] + ".bak") == firstBackup);
}

TEST(JpegBatch, SettingsThatChangeNothingLeaveEveryFileAlone)
{
    TSite site;
    std::vector<TFileState> before;
    for (const std::string& p : site.Good) before.push_back(StateOf(p));
    // No shift at all; and for the grey picture alone, hue and less saturation.
    const std::vector<std::string> log = Lines(Tool("--hue 0" + site.Quoted));
    for (std::size_t i = 0; i < site.Good.size(); ++i) {
        EXPECT_TRUE(Logged(log, BatchLog::SuccessHead, site.Good[i], std::string(BatchLog::UnchangedTail))) << site.Good[i];
        ExpectUntouched(site.Good[i], before[i]);
    }
    const TFileState grey = StateOf(site.Grey);
    const std::vector<std::string> greyLog = Lines(Tool("--hue 120 --saturation -40 '" + site.Grey + "'"));
    EXPECT_TRUE(Logged(greyLog, BatchLog::SuccessHead, site.Grey, std::string(BatchLog::UnchangedTail)));
    ExpectUntouched(site.Grey, grey);
}

TEST(JpegBatch, PixelLimitFromTheFrameHeader)
{
    TSite site;
    const std::string& photo = site.Good[0];  // 320 x 240
    const TFileState before = StateOf(photo);
    const std::vector<std::string> refused = Lines(Tool("--hue 90 --max-pixels 76799 '" + photo + "'"));
    EXPECT_TRUE(Logged(refused, BatchLog::FailureHead, photo, std::string(BatchLog::ReasonTooLarge)));
    ExpectUntouched(photo, before);
    // At the limit, and with a memory budget smaller than the picture (alone, it still goes).
    const std::vector<std::string> allowed = Lines(Tool("--hue 90 --max-pixels 76800 --memory-budget 1 --jobs 2 '" + photo + "'"));
    EXPECT_TRUE(Logged(allowed, BatchLog::SuccessHead, photo, ""));
    EXPECT_TRUE(ReadFile(photo + ".bak") == before.Bytes);
}
