// The text converter and its backup copy.

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace batchtest;

namespace {

TBatchInput Settings(int Hue, bool Backup = true)
{
    TBatchInput input;
    input.Settings.HueOffset = Hue;
    input.Backup = Backup;
    return input;
}

TEST(TextConvert, RewritesColoursAndKeepsTheFilesOwnLineBreaks)
{
    TTempDir dir;
    const std::string path = dir / "index.html";
    WriteFile(path, "<body bgcolor=\"#FF0000\">\n<p style=\"color: blue\">x</p>\r\n</body>");
    TBatchRun op(Settings(120));
    op.ConvertText(path);
    EXPECT_EQ(ReadFile(path), "<body bgcolor=\"#00FF00\">\n<p style=\"color: #FF0000\">x</p>\r\n</body>");
    EXPECT_EQ(ReadFile(path + ".bak"), "<body bgcolor=\"#FF0000\">\n<p style=\"color: blue\">x</p>\r\n</body>");
}

TEST(TextConvert, SecondConversionKeepsTheOriginalBackup)
{
    TTempDir dir;
    const std::string path = dir / "a.css";
    WriteFile(path, "a { color: #FF0000 }");
    TBatchRun op(Settings(120));
    EXPECT_FALSE(op.ConvertText(path).BackupKept);
    EXPECT_TRUE(op.ConvertText(path).BackupKept);
    EXPECT_EQ(ReadFile(path), "a { color: #0000FF }");
    EXPECT_EQ(ReadFile(path + ".bak"), "a { color: #FF0000 }");
}

TEST(TextConvert, NoBackupWhenUnchecked)
{
    TTempDir dir;
    const std::string path = dir / "a.css";
    WriteFile(path, "a { color: #FF0000 }");
    WriteFile(path + ".bak", "an old backup");
    TBatchRun op(Settings(120, false));
    op.ConvertText(path);
    EXPECT_EQ(ReadFile(path), "a { color: #00FF00 }");
    EXPECT_EQ(ReadFile(path + ".bak"), "an old backup");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.css", "a.css.bak"}));
}

TEST(TextConvert, UnreadableColourLeavesFileAndOldBackupAlone)
{
    TTempDir dir;
    const std::string path = dir / "bad.css";
    WriteFile(path, "p { color: rgb(300, 0, 0); }\n");
    WriteFile(path + ".bak", "older");
    TBatchRun op(Settings(120));
    EXPECT_THROW(op.ConvertText(path), EConvertError);
    EXPECT_EQ(ReadFile(path), "p { color: rgb(300, 0, 0); }\n");
    EXPECT_EQ(ReadFile(path + ".bak"), "older");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"bad.css", "bad.css.bak"}));
}

TEST(TextConvert, BackupThatCannotBeMadeStopsTheFile)
{
    TTempDir dir;
    const std::string path = dir / "page.html";
    WriteFile(path, "<font color=red>x</font>");
    ASSERT_EQ(mkdir((path + ".bak").c_str(), 0755), 0);
    TBatchInput input = Settings(120);
    input.Items.push_back({true, path});
    TBatchRun op(input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(op.Log().front(), "失敗> " + LinePrefix(path) + "（バックアップ失敗）");
    EXPECT_EQ(ReadFile(path), "<font color=red>x</font>");
    EXPECT_THROW(op.ConvertText(path), EBackupError);
}

TEST(TextConvert, BytesPassThroughUnchanged)
{
    TTempDir dir;
    const std::string path = dir / "sjis.htm";
    // Shift-JIS text, a NUL byte and bytes that are no valid UTF-8 at all.
    const std::string body = std::string("\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd <font color=\"#FF0000\">") +
                             std::string(1, '\0') + "\xff\xfe tail";
    WriteFile(path, body);
    TBatchRun op(Settings(120));
    op.ConvertText(path);
    std::string expected = body;
    expected.replace(expected.find("#FF0000"), 7, "#00FF00");
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(TextConvert, EmptyFileStaysEmpty)
{
    TTempDir dir;
    WriteFile(dir / "empty.css", "");
    TBatchRun op(Settings(90));
    EXPECT_TRUE(op.ConvertText(dir / "empty.css").Unchanged);
    EXPECT_EQ(ReadFile(dir / "empty.css"), "");
    EXPECT_FALSE(Exists(dir / "empty.css.bak"));
}

TEST(TextConvert, PermissionBitsSurvive)
{
    TTempDir dir;
    const std::string path = dir / "a.css";
    WriteFile(path, "a { color: #FF0000 }");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    TBatchRun op(Settings(120));
    op.ConvertText(path);
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(path + ".bak"), 0600u);
}

TEST(TextConvert, MissingFileIsAnOpenError)
{
    TTempDir dir;
    TBatchRun op(Settings(0));
    EXPECT_THROW(op.ConvertText(dir / "gone.html"), EFOpenError);
    EXPECT_FALSE(Exists(dir / "gone.html"));
    EXPECT_FALSE(Exists(dir / "gone.html.bak"));
}

}  // namespace

TEST(TextConvert, EveryKindOfLineBreakStaysAsTheFileHadIt)
{
    struct TCase {
        const char* What;
        std::string Before, After;
    };
    const std::vector<TCase> cases = {
        {"LF", "a{color:red}\nb{color:blue}\n", "a{color:#00FF00}\nb{color:#FF0000}\n"},
        {"CR LF", "a{color:red}\r\nb{color:blue}\r\n", "a{color:#00FF00}\r\nb{color:#FF0000}\r\n"},
        {"CR", "a{color:red}\rb{color:blue}\r", "a{color:#00FF00}\rb{color:#FF0000}\r"},
        {"mixed", "a{color:red}\r\nb{color:blue}\nc{}\r\r\n", "a{color:#00FF00}\r\nb{color:#FF0000}\nc{}\r\r\n"},
        {"no break after the last line", "a{color:red}\nb{color:blue}", "a{color:#00FF00}\nb{color:#FF0000}"},
        {"blank lines", "\n\n\r\na{color:red}\n\n", "\n\n\r\na{color:#00FF00}\n\n"},
    };
    for (const TCase& c : cases) {
        TTempDir dir;
        const std::string path = dir / "style.css";
        WriteFile(path, c.Before);
        TBatchRun op(Settings(120));
        op.ConvertText(path);
        EXPECT_EQ(ReadFile(path), c.After) << c.What;
        EXPECT_EQ(ReadFile(path + ".bak"), c.Before) << c.What;
    }
}

TEST(TextConvert, AFileThatConvertsToItselfIsNotWritten)
{
    TTempDir dir;
    const std::string path = dir / "index.html";
    const std::string page = "<body bgcolor=\"#FFFFFF\">\r\n<p style=\"color:#123456\">x</p>\n";
    WriteFile(path, page);
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    // A pair that concerns none of its colours, and every shift at zero.
    TBatchInput input;
    input.Items = {{true, path}};
    input.Settings.AddPair({0xAB, 0xCD, 0xEF}, {0, 0, 0}, false);
    TBatchRun op(input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(op.Log().front(), SuccessLine(path) + std::string(BatchLog::UnchangedTail));
    EXPECT_EQ(op.Successes(), 1);
    EXPECT_EQ(ReadFile(path), page);
    EXPECT_FALSE(Exists(path + ".bak"));
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}
