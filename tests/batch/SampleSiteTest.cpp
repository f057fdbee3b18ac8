// The sample site converted as ./run converts it: every file succeeds, the PNG with a single
// transparent palette entry is noted, and the colours come out as the adjuster says.

#include "batch/BatchLog.h"
#include "batch/FileSearch.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace batchtest;

namespace {

std::string Hex(const TRGBColor& c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.R, c.G, c.B);
    return text;
}

TEST(SampleSite, ConvertsWholeWithHue120)
{
    const std::string site = std::string(TESSIVAL_SOURCE_DIR) + "/examples/site";
    ASSERT_TRUE(std::filesystem::is_directory(site));
    TTempDir dir;
    std::filesystem::copy(site, dir.Path(), std::filesystem::copy_options::recursive);

    TBatchInput input;
    for (const std::string& p : SearchSiteFolder(dir.Path(), true)) input.Items.push_back({true, p});
    input.Settings.HueOffset = 120;
    TBatchRun op(input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);

    const auto ok = [&](const std::string& Name) { return "成功> " + LinePrefix(dir / Name); };
    EXPECT_EQ(op.Log(), (std::vector<std::string>{
                            ok("about.html"),
                            ok("css/style.css"),
                            ok("images/badge.png"),
                            ok("images/dot.gif"),
                            ok("images/logo.gif"),
                            "add",
                            ok("images/palette.png"),
                            ok("index.html"),
                            std::string(BatchLog::EndLine),
                            "7/7個のファイルを変換成功",
                        }));

    const auto adjuster = input.Settings.MakeAdjuster();
    const std::string index = ReadFile(dir / "index.html");
    EXPECT_NE(index.find("bgcolor=\"" + Hex(adjuster->Convert({0xFF, 0xFD, 0xF5})) + "\""), std::string::npos);
    EXPECT_NE(index.find("alink=\"#00FF00\""), std::string::npos);        // red
    EXPECT_NE(index.find("<font color=#800000>"), std::string::npos);    // navy
    EXPECT_NE(index.find("こもれび茶房"), std::string::npos);
    // The page's own line breaks stay.
    EXPECT_EQ(index.find("\r\n"), ReadFile(TESSIVAL_SOURCE_DIR "/examples/site/index.html").find("\r\n"));
    const std::string css = ReadFile(dir / "css/style.css");
    EXPECT_NE(css.find("color: " + Hex(adjuster->Convert({0x2E, 0x7D, 0x32}))), std::string::npos);
    for (const char* name : {"about.html", "css/style.css", "images/badge.png", "images/dot.gif", "images/logo.gif",
                             "images/palette.png", "index.html"})
        EXPECT_EQ(ReadFile(dir / (std::string(name) + ".bak")), ReadFile(site + "/" + name)) << name;
}

}  // namespace

namespace {

// Every regular file below Folder by its name relative to it, with its bytes and time.
struct TFileState {
    std::string Bytes;
    std::filesystem::file_time_type Time;
    friend bool operator==(const TFileState&, const TFileState&) = default;
};

std::map<std::string, TFileState> States(const std::string& Folder)
{
    std::map<std::string, TFileState> states;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Folder))
        if (e.is_regular_file())
            states[std::filesystem::relative(e.path(), Folder).string()] = {ReadFile(e.path().string()),
                                                                           e.last_write_time()};
    return states;
}

}  // namespace

TEST(SampleSite, EverySettingAtZeroLeavesEveryFileAsItWas)
{
    // The sample site, the real-world pages and stylesheets, and every public PNG and GIF test
    // image: nothing is rewritten, no backup is made, no file's time moves.
    TTempDir dir;
    const auto copy = [&](const std::string& From, const std::string& To) {
        std::filesystem::copy(From, dir / To, std::filesystem::copy_options::recursive);
    };
    copy(std::string(TESSIVAL_SOURCE_DIR) + "/examples/site", "site");
    copy(std::string(TESSIVAL_SOURCE_DIR) + "/tests/text/data", "text");
    copy(std::string(TESSIVAL_TESTDATA_DIR), "images");
    const auto before = States(dir.Path());
    ASSERT_GT(before.size(), 500u);

    TBatchInput input;
    for (const std::string& p : SearchSiteFolder(dir.Path(), true)) input.Items.push_back({true, p});
    TBatchRun op(input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);

    EXPECT_TRUE(States(dir.Path()) == before) << "a file changed, or a backup appeared";
    int unchanged = 0;
    for (const std::string& line : op.Log()) {
        if (line.rfind(std::string(BatchLog::SuccessHead), 0) != 0) continue;
        EXPECT_NE(line.find(std::string(BatchLog::UnchangedTail)), std::string::npos) << line;
        ++unchanged;
    }
    EXPECT_EQ(unchanged, op.Successes());
    EXPECT_GT(unchanged, 400);
}
