// The command-line tool as scripts call it: arguments, standard streams, exit status.

#include "batch/BatchLog.h"

#include "../batch/BatchTestUtil.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

using namespace batchtest;

namespace {

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

TRun RunTool(const std::vector<std::string>& Args, const std::string& Input = "")
{
    TTempDir io;
    WriteFile(io / "in", Input);
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open((io / "in").c_str(), O_RDONLY);
        const int out = open((io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((io / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(TESSIVAL_BATCH_TOOL)};
        for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TESSIVAL_BATCH_TOOL, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    TRun run;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Out = ReadFile(io / "out");
    run.Err = ReadFile(io / "err");
    return run;
}

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = Text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(Text.substr(start, nl - start));
    if (start < Text.size()) lines.push_back(Text.substr(start));
    return lines;
}

const std::string End(BatchLog::EndLine);

TEST(Tool, ConvertsAFolderAndPrintsTheLog)
{
    TTempDir dir;
    WriteFile(dir / "b.html", "<font color=\"#FF0000\">x</font>\n");
    WriteFile(dir / "sub/a.css", "p { color: #0000ff }");
    WriteFile(dir / "notes.txt", "#FF0000");
    const TRun run = RunTool({"--hue", "120", dir.Path()});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "成功> b.html                ：" + (dir / "b.html"),
                                  "成功> a.css                 ：" + (dir / "sub/a.css"),
                                  End,
                                  "2/2個のファイルを変換成功",
                              }));
    EXPECT_EQ(ReadFile(dir / "b.html"), "<font color=\"#00FF00\">x</font>\r\n");
    EXPECT_EQ(ReadFile(dir / "b.html.bak"), "<font color=\"#FF0000\">x</font>\n");
    EXPECT_EQ(ReadFile(dir / "sub/a.css"), "p { color: #FF0000 }\r\n");
    EXPECT_EQ(ReadFile(dir / "notes.txt"), "#FF0000");
}

TEST(Tool, FilePathsAreTakenWhateverTheirExtensionAndOptionsApply)
{
    TTempDir dir;
    WriteFile(dir / "notes.txt", "#FF0000");
    WriteFile(dir / "sub/a.css", "p { color: #0000ff }");
    WriteFile(dir / "top.css", "p { color: #102030 }");
    const TRun run = RunTool({"--no-backup", "--no-subfolders", "--pair", "102030=ABCDEF", "--jobs", "2",
                              dir / "notes.txt", dir.Path()});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Lines(run.Out).size(), 4u) << run.Out;
    EXPECT_EQ(ReadFile(dir / "notes.txt"), "#FF0000\r\n");
    EXPECT_EQ(ReadFile(dir / "top.css"), "p { color: #ABCDEF }\r\n");
    EXPECT_EQ(ReadFile(dir / "sub/a.css"), "p { color: #0000ff }");
    EXPECT_FALSE(Exists(dir / "notes.txt.bak"));
    EXPECT_FALSE(Exists(dir / "top.css.bak"));
}

TEST(Tool, AFailedFileGivesStatusOne)
{
    TTempDir dir;
    WriteFile(dir / "good.css", "a { color: red }");
    const TRun run = RunTool({dir / "good.css", dir / "gone.html"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "失敗> gone.html             ：" + (dir / "gone.html") + "（原因不明）",
                                  "成功> good.css              ：" + (dir / "good.css"),
                                  End,
                                  "1/2個のファイルを変換成功",
                              }));
}

TEST(Tool, UsageErrorsTouchNothing)
{
    TTempDir dir;
    WriteFile(dir / "a.css", "a { color: red }");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--hue", "181", dir.Path()}, {"--pair", "GG0000=000000", dir.Path()},
          {"--bogus", dir.Path()}, {}, {"--map", dir.Path()}, {"--jobs", "0", dir.Path()}}) {
        const TRun run = RunTool(args);
        EXPECT_EQ(run.Status, 2) << testing::PrintToString(args);
        EXPECT_EQ(run.Out, "");
        EXPECT_NE(run.Err, "");
    }
    EXPECT_EQ(ReadFile(dir / "a.css"), "a { color: red }");
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"a.css"});
}

TEST(Tool, MapReadsColoursFromStandardInput)
{
    const TRun run = RunTool({"--hue", "120", "--map"}, "ff0000\n#00FF00\n");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "#00FF00\n#0000FF\n");

    const TRun bad = RunTool({"--map"}, "ff0000\nnope\n");
    EXPECT_EQ(bad.Status, 1);
    EXPECT_EQ(bad.Out, "#FF0000\n");
    EXPECT_NE(bad.Err, "");
}

TEST(Tool, HelpAndVersion)
{
    const TRun help = RunTool({"--help"});
    EXPECT_EQ(help.Status, 0);
    for (const char* option : {"--hue", "--saturation", "--brightness", "--pair", "--pair-adjust", "--no-backup",
                               "--gif-transparent", "--no-subfolders", "--jobs", "--map", "--version"})
        EXPECT_NE(help.Out.find(option), std::string::npos) << option;
    // The transparency option is still taken, and says that it changes nothing.
    const std::size_t gif = help.Out.find("--gif-transparent");
    ASSERT_NE(gif, std::string::npos);
    EXPECT_NE(help.Out.substr(gif, help.Out.find('\n', gif) - gif).find("GIF の透過は常に保たれます"), std::string::npos);
    const TRun version = RunTool({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, "tessival-batch " TESSIVAL_VERSION "\n");
}

TEST(Tool, NoFileAtAll)
{
    TTempDir dir;
    const TRun run = RunTool({dir.Path()});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{End, "0/0個のファイルを変換成功"}));
}

}  // namespace

namespace {

TEST(Tool, SampleSiteAsRunConvertsIt)
{
    TTempDir dir;
    std::filesystem::copy(std::string(TESSIVAL_SOURCE_DIR) + "/examples/site", dir.Path(),
                          std::filesystem::copy_options::recursive);
    const TRun run = RunTool({"--hue", "120", dir.Path()});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "成功> about.html            ：" + (dir / "about.html"),
                                  "成功> style.css             ：" + (dir / "css/style.css"),
                                  "成功> badge.png             ：" + (dir / "images/badge.png"),
                                  "成功> dot.gif               ：" + (dir / "images/dot.gif"),
                                  "成功> logo.gif              ：" + (dir / "images/logo.gif"),
                                  "add",
                                  "成功> palette.png           ：" + (dir / "images/palette.png"),
                                  "成功> index.html            ：" + (dir / "index.html"),
                                  End,
                                  "7/7個のファイルを変換成功",
                              }));
}

}  // namespace
