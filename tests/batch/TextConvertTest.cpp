// The text converter and its backup copy.

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

using namespace batchtest;

namespace {

TBatchInput Settings(int Hue, bool Backup = true)
{
    TBatchInput input;
    input.Settings.HueOffset = Hue;
    input.Backup = Backup;
    return input;
}

TEST(TextConvert, RewritesColoursAndEndsEveryLineWithCrLf)
{
    TTempDir dir;
    const std::string path = dir / "index.html";
    WriteFile(path, "<body bgcolor=\"#FF0000\">\n<p style=\"color: blue\">x</p>\r\n</body>");
    TBatchRun op(Settings(120));
    op.ConvertText(path);
    EXPECT_EQ(ReadFile(path), "<body bgcolor=\"#00FF00\">\r\n<p style=\"color: #FF0000\">x</p>\r\n</body>\r\n");
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
    EXPECT_EQ(ReadFile(path), "a { color: #0000FF }\r\n");
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
    EXPECT_EQ(ReadFile(path), "a { color: #00FF00 }\r\n");
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
    TBatchRun op(Settings(0));
    op.ConvertText(path);
    EXPECT_EQ(ReadFile(path), body + "\r\n");
}

TEST(TextConvert, EmptyFileStaysEmpty)
{
    TTempDir dir;
    WriteFile(dir / "empty.css", "");
    TBatchRun op(Settings(90));
    op.ConvertText(dir / "empty.css");
    EXPECT_EQ(ReadFile(dir / "empty.css"), "");
    EXPECT_EQ(ReadFile(dir / "empty.css.bak"), "");
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
