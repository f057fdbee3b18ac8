// The command-line tool as scripts call it: arguments, standard streams, exit status.

#include "base/FolderLocks.h"
#include "base/Language.h"
#include "batch/BatchLog.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace testsupport;

namespace {

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// As root, with AsNobody the tool runs as the user nobody (through setpriv), for whom
// permissions count. Locale, when given, replaces the locale variables of the environment
// ("LANG=en_US.UTF-8", ...; the others unset).
TRun RunTool(const std::vector<std::string>& Args, const std::string& Input = "", bool AsNobody = false,
             const std::vector<std::string>& Locale = {})
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
        if (!Locale.empty()) {
            for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) unsetenv(name);
            for (const std::string& setting : Locale) {
                const auto eq = setting.find('=');
                setenv(setting.substr(0, eq).c_str(), setting.substr(eq + 1).c_str(), 1);
            }
        }
        std::vector<std::string> prefix;
        if (AsNobody && geteuid() == 0)
            prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        std::vector<char*> argv;
        for (const std::string& a : prefix) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(const_cast<char*>(TESSIVAL_BATCH_TOOL));
        for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
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
    EXPECT_EQ(ReadFile(dir / "b.html"), "<font color=\"#00FF00\">x</font>\n");
    EXPECT_EQ(ReadFile(dir / "b.html.bak"), "<font color=\"#FF0000\">x</font>\n");
    EXPECT_EQ(ReadFile(dir / "sub/a.css"), "p { color: #FF0000 }");
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
    EXPECT_EQ(ReadFile(dir / "notes.txt"), "#FF0000");  // read as text; no colour of the pair in it
    EXPECT_NE(run.Out.find(std::string(BatchLog::UnchangedTail)), std::string::npos) << run.Out;
    EXPECT_EQ(ReadFile(dir / "top.css"), "p { color: #ABCDEF }");
    EXPECT_EQ(ReadFile(dir / "sub/a.css"), "p { color: #0000ff }");
    EXPECT_FALSE(Exists(dir / "notes.txt.bak"));
    EXPECT_FALSE(Exists(dir / "top.css.bak"));
}

TEST(Tool, AFailedFileGivesStatusOne)
{
    TTempDir dir;
    WriteFile(dir / "good.css", "a { color: red }");
    const TRun run = RunTool({"--hue", "120", dir / "good.css", dir / "gone.html"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "失敗> gone.html             ：" + (dir / "gone.html") + "（ファイルがない）",
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
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"a.css"});
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
                               "--gif-transparent", "--no-subfolders", "--jobs", "--map", "--version", "--dry-run",
                               "--restore", "--delete-backups", "--max-pixels", "--memory-budget", "--photos"})
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

TEST(Tool, RestorePutsBackupsBackAndSaysWhyOneFailed)
{
    TTempDir dir;
    WriteFile(dir / "site/a.html", "converted");
    WriteFile(dir / "site/a.html.bak", "<p>original</p>\r\n");
    WriteFile(dir / "site/sub/b.css.bak", "p { color: red }");
    WriteFile(dir / "site/secret.txt", "not a backup");
    WriteFile(dir / "site/link.html", "mine");
    std::filesystem::create_symlink(dir / "site/secret.txt", dir / "site/link.html.bak");
    WriteFile(dir / "other/c.gif.bak", "GIF89a");
    WriteFile(dir / "other/d.gif.bak", "not named, not restored");

    const TRun run = RunTool({"--restore", dir / "site", dir / "other/c.gif.bak"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "成功> c.gif.bak             ：" + (dir / "other/c.gif.bak"),
                                  "成功> a.html.bak            ：" + (dir / "site/a.html.bak"),
                                  "失敗> link.html.bak         ：" + (dir / "site/link.html.bak") +
                                      "（バックアップがリンク）",
                                  "成功> b.css.bak             ：" + (dir / "site/sub/b.css.bak"),
                                  "3/4個のバックアップを復元成功",
                              }));
    EXPECT_EQ(ReadFile(dir / "site/a.html"), "<p>original</p>\r\n");
    EXPECT_EQ(ReadFile(dir / "site/sub/b.css"), "p { color: red }");
    EXPECT_EQ(ReadFile(dir / "other/c.gif"), "GIF89a");
    EXPECT_FALSE(Exists(dir / "other/d.gif"));
    EXPECT_EQ(ReadFile(dir / "site/link.html"), "mine");
    EXPECT_EQ(ReadFile(dir / "site/secret.txt"), "not a backup");
    // The backups stay.
    EXPECT_EQ(ReadFile(dir / "site/a.html.bak"), "<p>original</p>\r\n");
    EXPECT_EQ(ReadFile(dir / "other/c.gif.bak"), "GIF89a");
}

TEST(Tool, RestoreWithoutSubFoldersAndNothingToDo)
{
    TTempDir dir;
    WriteFile(dir / "top.css.bak", "top");
    WriteFile(dir / "sub/deep.css.bak", "deep");
    const TRun run = RunTool({"--no-subfolders", "--restore", dir.Path()});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{"成功> top.css.bak           ：" + (dir / "top.css.bak"),
                                                        "1/1個のバックアップを復元成功"}));
    EXPECT_EQ(ReadFile(dir / "top.css"), "top");
    EXPECT_FALSE(Exists(dir / "sub/deep.css"));

    TTempDir empty;
    const TRun none = RunTool({"--delete-backups", empty.Path()});
    EXPECT_EQ(none.Status, 0) << none.Err;
    EXPECT_EQ(Lines(none.Out), std::vector<std::string>{"0/0個のバックアップを消去成功"});
}

TEST(Tool, DeleteBackupsRemovesOnlyTheBackups)
{
    TTempDir dir;
    WriteFile(dir / "a.html", "page");
    WriteFile(dir / "a.html.bak", "old page");
    WriteFile(dir / "sub/b.PNG.BAK", "old picture");
    WriteFile(dir / "real.css", "linked");
    std::filesystem::create_symlink(dir / "real.css", dir / "l.css.bak");
    const TRun run = RunTool({"--delete-backups", dir.Path(), dir / "gone.html.bak"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "成功> a.html.bak            ：" + (dir / "a.html.bak"),
                                  "失敗> gone.html.bak         ：" + (dir / "gone.html.bak") + "（バックアップがない）",
                                  "成功> l.css.bak             ：" + (dir / "l.css.bak"),
                                  "成功> b.PNG.BAK             ：" + (dir / "sub/b.PNG.BAK"),
                                  "3/4個のバックアップを消去成功",
                              }));
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.html", "real.css", "sub"}));
    EXPECT_TRUE(FolderNames(dir / "sub").empty());
    EXPECT_EQ(ReadFile(dir / "real.css"), "linked");
}

TEST(Tool, ABackupInAFolderBeingConvertedIsLeftAlone)
{
    TTempDir dir;
    WriteFile(dir / "busy/a.html", "being converted");
    WriteFile(dir / "busy/a.html.bak", "original");
    TFolderLocks batch;  // this test process stands for a batch of another program
    ASSERT_EQ(batch.Acquire(dir / "busy"), TFolderLocks::TResult::Taken);
    for (const char* action : {"--restore", "--delete-backups"}) {
        const TRun run = RunTool({action, dir.Path()});
        EXPECT_EQ(run.Status, 1) << action;
        ASSERT_EQ(Lines(run.Out).size(), 2u) << run.Out;
        EXPECT_EQ(Lines(run.Out)[0], "失敗> a.html.bak            ：" + (dir / "busy/a.html.bak") + "（変換中のフォルダ）");
    }
    EXPECT_EQ(ReadFile(dir / "busy/a.html"), "being converted");
    EXPECT_EQ(ReadFile(dir / "busy/a.html.bak"), "original");
}

TEST(Tool, BackupUsageErrorsTouchNothing)
{
    TTempDir dir;
    WriteFile(dir / "a.html", "page");
    WriteFile(dir / "a.html.bak", "old page");
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"--restore", "--delete-backups", dir.Path()},
             {"--restore", "--hue", "10", dir.Path()},
             {"--delete-backups", "--no-backup", dir.Path()},
             {"--restore", "--map"},
             {"--delete-backups", "--dry-run", dir.Path()},
             {"--restore"},
             {"--dry-run", "--map"},
             // A named file must be a backup; the folder before it is not touched either.
             {"--restore", dir.Path(), dir / "a.html"},
             {"--delete-backups", dir / "a.html.bak", dir / "nowhere"},
         }) {
        const TRun run = RunTool(args);
        EXPECT_EQ(run.Status, 2) << testing::PrintToString(args);
        EXPECT_EQ(run.Out, "");
        EXPECT_NE(run.Err, "");
    }
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.html", "a.html.bak"}));
    EXPECT_EQ(ReadFile(dir / "a.html"), "page");
    EXPECT_EQ(ReadFile(dir / "a.html.bak"), "old page");
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

// A JPEG given by hand is read as a picture: this one ends before its frame.
TEST(Tool, PicturesGivenByHandAreRefusedAsNoTextWithStatusOne)
{
    TTempDir dir;
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11) + "p{color:red}";
    WriteFile(dir / "images/photo.jpg", jpeg);
    WriteFile(dir / "images/site.css", "p{color:red}");
    const TRun run = RunTool({"--hue", "120", dir / "images/photo.jpg", dir / "images/site.css"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "失敗> photo.jpg             ：" + (dir / "images/photo.jpg") + "（画像形式が変）",
                                  "成功> site.css              ：" + (dir / "images/site.css"),
                                  End,
                                  "1/2個のファイルを変換成功",
                              }));
    EXPECT_EQ(ReadFile(dir / "images/photo.jpg"), jpeg);
    EXPECT_FALSE(Exists(dir / "images/photo.jpg.bak"));
    EXPECT_EQ(ReadFile(dir / "images/site.css"), "p{color:#00FF00}");
}

namespace {

// Everything a folder search skips is a failure line before the files, counted in the total.
TEST(Tool, WhatAFolderSearchSkipsIsLoggedAndFailsTheRun)
{
    TTempDir dir;
    const std::string site = dir / "site";
    std::filesystem::create_directories(site + "/locked");
    WriteFile(site + "/a.css", "a { color: red }");
    WriteFile(site + "/locked/x.css", "a { color: red }");
    WriteFile(dir / "outside.css", "a { color: red }");
    std::filesystem::create_symlink("missing.css", site + "/dangling.css");
    std::filesystem::create_symlink("/", site + "/root");
    std::filesystem::create_symlink(dir / "outside.css", site + "/out.css");
    // The user nobody converts a.css: the folders are open to it, the locked one to no one.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(site.c_str(), 0777), 0);
    ASSERT_EQ(chmod((site + "/a.css").c_str(), 0666), 0);
    // Its own file, so the new one keeps its owner without being written in place.
    ASSERT_EQ(chown((site + "/a.css").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod((site + "/locked").c_str(), 0), 0);

    const TRun run = RunTool({"--hue", "120", "--no-backup", site}, "", true);
    chmod((site + "/locked").c_str(), 0755);
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    const std::vector<std::string> lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 7u) << run.Out;
    std::vector<std::string> skipped(lines.begin(), lines.begin() + 4);
    std::sort(skipped.begin(), skipped.end());
    std::vector<std::string> expected = {
        "失敗> locked                ：" + site + "/locked（アクセス権がない）",
        "失敗> dangling.css          ：" + site + "/dangling.css（リンク先がない）",
        "失敗> root                  ：" + site + "/root（フォルダの外へのリンク：たどりません）",
        "失敗> out.css               ：" + site + "/out.css（フォルダの外へのリンク：たどりません）",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(skipped, expected);
    EXPECT_EQ(lines[4], "成功> a.css                 ：" + site + "/a.css");
    EXPECT_EQ(lines[5], End);
    EXPECT_EQ(lines[6], "1/5個のファイルを変換成功");
    EXPECT_EQ(ReadFile(dir / "outside.css"), "a { color: red }");
    EXPECT_EQ(ReadFile(site + "/locked/x.css"), "a { color: red }");
}

// A link named on the command line is converted wherever it leads.
TEST(Tool, ALinkNamedDirectlyIsStillConverted)
{
    TTempDir dir;
    std::filesystem::create_directories(dir / "site");
    WriteFile(dir / "outside.css", "a { color: red }");
    std::filesystem::create_symlink(dir / "outside.css", dir / "site/out.css");
    const TRun run = RunTool({"--hue", "120", "--no-backup", dir / "site/out.css"});
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_NE(ReadFile(dir / "outside.css"), "a { color: red }");
}

}  // namespace

namespace {

// --map reads every colour form a stylesheet may hold, through the rewriter's own reading.
TEST(Tool, MapReadsEveryColourFormOfAStylesheet)
{
    struct TCase {
        std::string Line;
        std::string Unchanged;  // without settings
        std::string Turned;     // with --hue 120
    };
    const TCase cases[] = {
        {"ff0000", "#FF0000", "#00FF00"},
        {"#f00", "#FF0000", "#00FF00"},
        {"#F00C", "#FF0000", "#00FF00"},
        {"#ff000080", "#FF0000", "#00FF00"},
        {"  red  ", "#FF0000", "#00FF00"},
        {"RED", "#FF0000", "#00FF00"},
        {"navy", "#000080", "#800000"},
        {"rgb(255, 0, 0)", "#FF0000", "#00FF00"},
        {"rgba(255, 0, 0, 0.5)", "#FF0000", "#00FF00"},
        {"rgb(100% 0% 0% / 50%)", "#FF0000", "#00FF00"},
        {"hsl(0, 100%, 50%)", "#FF0000", "#00FF00"},
        {"hsla(0deg 100% 50% / .5)", "#FF0000", "#00FF00"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line);
        const TRun plain = RunTool({"--map"}, c.Line + "\n");
        EXPECT_EQ(plain.Status, 0) << plain.Err;
        EXPECT_EQ(plain.Out, c.Unchanged + "\n");
        const TRun turned = RunTool({"--hue", "120", "--map"}, c.Line + "\n");
        EXPECT_EQ(turned.Status, 0) << turned.Err;
        EXPECT_EQ(turned.Out, c.Turned + "\n");
    }
}

// A line that is no colour stops the map; the message names its number, not the line.
TEST(Tool, MapNamesTheLineNumberOfWhatIsNoColour)
{
    const std::string bad[] = {"nope", "#12345", "#ggg", "rgb(300, 0, 0)", "red blue", "url(x)",
                               "red\x1b[2J" + std::string(5000, 'x')};
    for (const std::string& line : bad) {
        SCOPED_TRACE(line.substr(0, 20));
        const TRun run = RunTool({"--map"}, "#000\n\n" + line + "\nwhite\n");
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Out, "#000000\n\n");
        EXPECT_EQ(run.Err, "tessival-batch: 3 行目は色ではありません\n");
    }
}

}  // namespace

namespace {

// A file the user may not read fails with the cause named, not as unknown.
TEST(Tool, AFileThatMayNotBeReadSaysSo)
{
    TTempDir dir;
    WriteFile(dir / "closed.css", "a { color: red }");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod((dir / "closed.css").c_str(), 0), 0);
    const TRun run = RunTool({"--hue", "120", dir / "closed.css"}, "", true);
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "失敗> closed.css            ：" + (dir / "closed.css") + "（アクセス権がない）",
                                  End,
                                  "0/1個のファイルを変換成功",
                              }));
}

}  // namespace

namespace {

// Whether Text holds Japanese (kana, kanji, full-width forms) apart from the names listed.
std::string JapaneseIn(std::string Text, const std::vector<std::string>& Names = {})
{
    for (const std::string& name : Names)
        for (std::size_t at; (at = Text.find(name)) != std::string::npos;) Text.erase(at, name.size());
    for (const std::string& line : Lines(Text))
        if (languagedetail::HasJapanese(line)) return line;
    return "";
}

const std::vector<std::string> English{"LANG=en_US.UTF-8"};

TEST(ToolLanguage, TheLogIsEnglishInAnEnglishLocaleAndNamesStayAsTheyAre)
{
    TTempDir dir;
    WriteFile(dir / "トップ.html", "<font color=\"#FF0000\">x</font>\n");
    WriteFile(dir / "css/a.css", "p { color: #0000ff }");
    WriteFile(dir / "css/same.css", "p { margin: 0 }");
    WriteFile(dir / "broken.gif", "GIF89a");
    const TRun run = RunTool({"--hue", "120", dir.Path()}, "", false, English);
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(Lines(run.Out), (std::vector<std::string>{
                                  "Fail> broken.gif            : " + (dir / "broken.gif") + " (odd picture format)",
                                  "Done> a.css                 : " + (dir / "css/a.css"),
                                  "Done> same.css              : " + (dir / "css/same.css") + " (unchanged: not rewritten)",
                                  "Done> トップ.html           : " + (dir / "トップ.html"),
                                  "----------- Conversion finished ------------",
                                  "3/4 files converted",
                              }));
    EXPECT_EQ(JapaneseIn(run.Out, {"トップ.html"}), "");
    EXPECT_EQ(ReadFile(dir / "トップ.html"), "<font color=\"#00FF00\">x</font>\n");

    // A second run keeps the backups; a dry run says what it would do.
    const TRun again = RunTool({"--dry-run", dir.Path()}, "", false, English);
    EXPECT_EQ(again.Status, 1);
    EXPECT_NE(again.Out.find("Would> a.css" + std::string(17, ' ') + ": " + (dir / "css/a.css") + " (unchanged: not rewritten)"),
              std::string::npos)
        << again.Out;
    EXPECT_NE(again.Out.find("Won't> broken.gif" + std::string(12, ' ') + ": "), std::string::npos) << again.Out;
    EXPECT_NE(again.Out.find("\n3/4 files can be converted (a dry run: nothing was written)\n"), std::string::npos);
    EXPECT_EQ(JapaneseIn(again.Out, {"トップ.html"}), "");

    const TRun restore = RunTool({"--restore", dir.Path()}, "", false, English);
    EXPECT_EQ(restore.Status, 0) << restore.Out;
    EXPECT_EQ(Lines(restore.Out).back(), "2/2 backups restored");
    EXPECT_EQ(JapaneseIn(restore.Out, {"トップ.html"}), "");
    const TRun deleted = RunTool({"--delete-backups", dir / "トップ.html.bak", dir / "gone.html.bak"}, "", false, English);
    EXPECT_EQ(deleted.Status, 1);
    EXPECT_EQ(Lines(deleted.Out), (std::vector<std::string>{
                                      "Fail> gone.html.bak         : " + (dir / "gone.html.bak") + " (no backup)",
                                      "Done> トップ.html.bak       : " + (dir / "トップ.html.bak"),
                                      "1/2 backups deleted",
                                  }));
}

TEST(ToolLanguage, HelpAndUsageErrorsAreEnglish)
{
    TTempDir dir;
    const TRun help = RunTool({"--help"}, "", false, English);
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.starts_with("Usage: tessival-batch [OPTION]... PATH...\n")) << help.Out;
    EXPECT_EQ(JapaneseIn(help.Out), "");
    // Every option the Japanese help names, the English one names too.
    const TRun japanese = RunTool({"--help"});
    for (const std::string& line : Lines(japanese.Out)) {
        const std::size_t option = line.find("  --");
        if (option == std::string::npos) continue;
        const std::string name = line.substr(option + 2, line.find(' ', option + 2) - option - 2);
        EXPECT_NE(help.Out.find("  " + name + " "), std::string::npos) << name;
    }

    const std::vector<std::vector<std::string>> bad = {
        {"--hue", "181", dir.Path()}, {"--pair", "GG0000=000000", dir.Path()}, {"--bogus", dir.Path()}, {},
        {"--map", dir.Path()},        {"--jobs", "0", dir.Path()},            {"--hue"},
        {"--restore", "--delete-backups", dir.Path()}, {"--restore", "--hue", "3", dir.Path()},
        {"--restore"},                {"--restore", dir / "page.html"},       {"--map", "--dry-run"},
        {"--no-backup=1", dir.Path()},
    };
    for (const std::vector<std::string>& args : bad) {
        const TRun run = RunTool(args, "", false, English);
        EXPECT_EQ(run.Status, 2) << testing::PrintToString(args);
        EXPECT_TRUE(run.Err.starts_with("tessival-batch: ")) << run.Err;
        EXPECT_TRUE(run.Err.ends_with("\ntessival-batch --help shows how to use it\n")) << run.Err;
        EXPECT_EQ(JapaneseIn(run.Err), "") << testing::PrintToString(args);
    }
    const TRun hue = RunTool({"--hue", "181", dir.Path()}, "", false, English);
    EXPECT_EQ(Lines(hue.Err).front(), "tessival-batch: --hue takes a whole number from -180 to 180 (\"181\" will not do)");

    const TRun map = RunTool({"--map"}, "red\nnope\n", false, English);
    EXPECT_EQ(map.Status, 1);
    EXPECT_EQ(map.Err, "tessival-batch: line 2 is no colour\n");
}

// The locale as POSIX orders it: LC_ALL, then LC_MESSAGES, then LANG; Japanese for C, POSIX,
// a Japanese locale or none.
TEST(ToolLanguage, TheLocaleChoosesTheLanguage)
{
    struct TCase {
        std::vector<std::string> Locale;
        bool English;
    };
    const TCase cases[] = {
        {{"LANG=en_US.UTF-8"}, true},
        {{"LANG=de_DE.UTF-8"}, true},
        {{"LC_ALL=en_GB.UTF-8", "LANG=ja_JP.UTF-8"}, true},
        {{"LC_MESSAGES=en_US.UTF-8", "LANG=ja_JP.UTF-8"}, true},
        {{"LC_ALL=", "LANG=en_US.UTF-8"}, true},
        {{"LC_ALL=C", "LANG=en_US.UTF-8"}, false},
        {{"LC_ALL=ja_JP.UTF-8", "LC_MESSAGES=en_US.UTF-8"}, false},
        {{"LANG=C"}, false},
        {{"LANG=C.UTF-8"}, false},
        {{"LANG=POSIX"}, false},
        {{"LANG=ja_JP.UTF-8"}, false},
        {{"LANG="}, false},
    };
    TTempDir dir;
    WriteFile(dir / "a.css", "p { color: red }");
    const TRun reference = RunTool({"--no-backup", dir.Path()});
    for (const TCase& c : cases) {
        const TRun run = RunTool({"--no-backup", dir.Path()}, "", false, c.Locale);
        EXPECT_EQ(run.Status, 0);
        if (c.English) {
            EXPECT_EQ(Lines(run.Out).back(), "1/1 files converted") << testing::PrintToString(c.Locale);
        } else {
            // Today's output, byte for byte.
            EXPECT_EQ(run.Out, reference.Out) << testing::PrintToString(c.Locale);
            EXPECT_EQ(Lines(run.Out).back(), "1/1個のファイルを変換成功");
        }
    }
}

}  // namespace
