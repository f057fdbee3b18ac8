#include "batch/BatchLog.h"
#include "batch/GzipMember.h"
#include "text/SvgScanner.h"

#include "batch/BatchErrors.h"
#include "batch/BinaryContent.h"
#include "text/TextTranscoding.h"

#include "base/SafeFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <set>

namespace {

std::exception_ptr Raised(auto Error) { return std::make_exception_ptr(Error); }

TEST(BatchLog, WidthCountsDoubleByteCharactersTwice)
{
    EXPECT_EQ(DisplayWidth(""), 0);
    EXPECT_EQ(DisplayWidth("index.html"), 10);
    EXPECT_EQ(DisplayWidth("日本語.html"), 11);
    EXPECT_EQ(DisplayWidth("ｶﾀｶﾅ"), 4);       // half-width katakana: one byte each in Shift-JIS
    EXPECT_EQ(DisplayWidth("ＡＢ①α"), 8);     // full-width, circled number, Greek
    EXPECT_EQ(DisplayWidth("é"), 1);          // not a Shift-JIS character
    EXPECT_EQ(DisplayWidth("\x82\xa0.htm"), 6);  // Shift-JIS bytes in a name: one per byte
}

TEST(BatchLog, PrefixPadsNameToTwentyTwoColumns)
{
    EXPECT_EQ(LinePrefix("D:/web/anim.gif"), "anim.gif" + std::string(14, ' ') + "：D:/web/anim.gif");
    EXPECT_EQ(LinePrefix("/w/index.html"), "index.html" + std::string(12, ' ') + "：/w/index.html");
    EXPECT_EQ(LinePrefix("/w/トップ.html"), "トップ.html" + std::string(11, ' ') + "：/w/トップ.html");
    const std::string exact(22, 'n');
    EXPECT_EQ(LinePrefix("/w/" + exact), exact + "：/w/" + exact);
    const std::string wideExact = "あいうえおかきくけこさ";  // 11 characters, 22 columns
    EXPECT_EQ(LinePrefix("/w/" + wideExact), wideExact + "：/w/" + wideExact);
    const std::string longer(30, 'n');
    EXPECT_EQ(LinePrefix("/w/" + longer), longer + "：/w/" + longer);
}

TEST(BatchLog, PrefixIsNeverCut)
{
    const std::string path = "/" + std::string(400, 'd') + "/" + std::string(250, 'f') + ".css";
    const std::string prefix = LinePrefix(path);
    EXPECT_EQ(prefix, std::string(250, 'f') + ".css：" + path);
}

TEST(BatchLog, ReasonFollowsTheErrorKind)
{
    EXPECT_EQ(FailureReason(Raised(EConvertError("x"))), "（HTML文法が変）");
    EXPECT_EQ(FailureReason(Raised(EInOutError("x"))), "（ファイル読み書き失敗）");
    EXPECT_EQ(FailureReason(Raised(EAnimationInvalid("APNG: frame 2 lies outside the canvas"))), "（アニメPNGの構造が変）");
    EXPECT_EQ(FailureReason(Raised(EInvalidGraphic("bad"))), "（画像形式が変）");
    EXPECT_EQ(FailureReason(Raised(EPictureTooLarge("Image too large"))), "（画像が大きすぎます）");
    EXPECT_EQ(FailureReason(Raised(EBackupError("x"))), "（バックアップ失敗）");
    EXPECT_EQ(FailureReason(Raised(ESvgSyntax("x"))), "（SVG文法が変）");
    EXPECT_EQ(FailureReason(Raised(EGzipError("x"))), "（gzip圧縮が変）");
    EXPECT_EQ(FailureReason(Raised(EFOpenError("x"))), "（原因不明）");
    EXPECT_EQ(FailureReason(Raised(EFCreateError("x"))), "（原因不明）");
    EXPECT_EQ(FailureReason(Raised(EOutOfMemory("x"))), "（原因不明）");
    EXPECT_EQ(FailureReason(Raised(std::bad_alloc())), "（原因不明）");
    EXPECT_EQ(FailureReason(Raised(42)), "（原因不明）");
}

TEST(BatchLog, LinesReadAsTheWindowShowsThem)
{
    EXPECT_EQ(FailureLine("D:/web/anim.gif", Raised(EInvalidGraphic("GIF holds no image"))),
              "失敗> anim.gif              ：D:/web/anim.gif（画像形式が変）");
    EXPECT_EQ(SuccessLine("D:/web/index.html"), "成功> index.html            ：D:/web/index.html");
    EXPECT_EQ(SummaryLine(1, 2), "1/2個のファイルを変換成功");
    EXPECT_EQ(SummaryLine(0, 0), "0/0個のファイルを変換成功");
    EXPECT_EQ(BatchLog::EndLine, "－－－－－－－－－変換終了－－－－－－－－－");
}

}  // namespace

namespace {

TEST(BatchLog, ReasonFollowsTheErrnoAFileErrorCarries)
{
    struct TCase {
        int Errno;
        std::string_view Reason;
    };
    const TCase cases[] = {
        {EACCES, "（アクセス権がない）"},   {EPERM, "（アクセス権がない）"},
        {ENOENT, "（ファイルがない）"},     {EROFS, "（読み取り専用のファイルシステム）"},
        {ENOSPC, "（ディスクの空きがない）"}, {EDQUOT, "（ディスクの空きがない）"},
        {EFBIG, "（ファイルが大きすぎる）"}, {ENAMETOOLONG, "（パス名が長すぎる）"},
        {EMFILE, "（開いているファイルが多すぎる）"}, {ENFILE, "（開いているファイルが多すぎる）"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Errno);
        EXPECT_EQ(FailureReason(Raised(EFOpenError("x", c.Errno))), c.Reason);
        EXPECT_EQ(FailureReason(Raised(EFCreateError("x", c.Errno))), c.Reason);
        EXPECT_EQ(FailureReason(Raised(EInOutError("x", c.Errno))), c.Reason);
        EXPECT_EQ(FailureReason(Raised(EWriteError("x", c.Errno))), c.Reason);
        // The kinds that say more than the errno keep their own reason.
        EXPECT_EQ(FailureReason(Raised(EBackupError("x", c.Errno))), "（バックアップ失敗）");
        EXPECT_EQ(FailureReason(Raised(EFileLocked("x", c.Errno))), "（別の変換が使用中）");
    }
    // An errno the table does not name leaves the reason to the kind.
    EXPECT_EQ(FailureReason(Raised(EInOutError("x", EIO))), "（ファイル読み書き失敗）");
    EXPECT_EQ(FailureReason(Raised(EFOpenError("x", EIO))), "（原因不明）");
    EXPECT_EQ(FailureReason(Raised(EFOpenError("x", 0))), "（原因不明）");
}

TEST(BatchLog, FileErrorsCarryTheErrnoOfTheCallThatFailed)
{
    testsupport::TTempDir dir;
    try {
        ReadWholeFile(dir / "gone.css");
        ADD_FAILURE() << "a missing file was read";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Errno(), ENOENT);
    }
    try {
        TSourceFile source(dir / (std::string(300, 'n') + ".css"));
        ADD_FAILURE() << "a name too long was opened";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Errno(), ENAMETOOLONG);
    }
}

TEST(BatchLog, NamesAreEscapedOntoOneLine)
{
    struct TCase {
        std::string Name;
        std::string Shown;
    };
    const TCase cases[] = {
        {"a\nb.css", "a\\nb.css"},
        {"cr\r.htm", "cr\\r.htm"},
        {"tab\t.htm", "tab\\t.htm"},
        {"bell\x07.png", "bell\\x07.png"},
        {"\xFF.gif", "\\xFF.gif"},
        {"\x82\xa0.htm", "\\x82\\xA0.htm"},     // Shift-JIS bytes: not UTF-8
        {"\xE3\x81.css", "\\xE3\\x81.css"},     // a character cut short
        {"back\\slash.css", "back\\\\slash.css"},
        {"トップ.html", "トップ.html"},
        {"plain.css", "plain.css"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Shown);
        EXPECT_EQ(EscapeForLog(c.Name), c.Shown);
        const std::string padded = c.Shown + std::string(22 - DisplayWidth(c.Shown), ' ');
        EXPECT_EQ(LinePrefix("/w\n/" + c.Name), padded + "：/w\\n/" + c.Shown);
        EXPECT_EQ(LinePrefix("/w/" + c.Name).find('\n'), std::string::npos);
    }
    // The padding counts the escaped text: "\xFF.gif" takes eight columns, not five.
    EXPECT_EQ(LinePrefix("/\xFF.gif"), "\\xFF.gif" + std::string(14, ' ') + "：/\\xFF.gif");
}

}  // namespace

namespace {

// Sets the language of the process for as long as it lives.
class TLanguageScope {
public:
    explicit TLanguageScope(TLanguage Language) : FBefore(InterfaceLanguage()) { SetInterfaceLanguage(Language); }
    ~TLanguageScope() { SetInterfaceLanguage(FBefore); }
    TLanguageScope(const TLanguageScope&) = delete;
    TLanguageScope& operator=(const TLanguageScope&) = delete;

private:
    TLanguage FBefore;
};

TEST(BatchLogEnglish, LinesReadInEnglishWithTheSameColumns)
{
    const TLanguageScope english(TLanguage::English);
    EXPECT_EQ(SuccessLine("/w/index.html"), "Done> index.html            : /w/index.html");
    EXPECT_EQ(FailureLine("/w/anim.png", Raised(EAnimationInvalid("x"))),
              "Fail> anim.png              : /w/anim.png (odd animated PNG structure)");
    // A Japanese name stays as it is, padded by the columns it takes.
    EXPECT_EQ(SuccessLine("/w/トップ.html"), "Done> トップ.html           : /w/トップ.html");
    EXPECT_EQ(SummaryLine(1, 2), "1/2 files converted");
    EXPECT_EQ(std::string(BatchLog::EndLine), "----------- Conversion finished ------------");

    // The heads of the lines that stand together are as wide as each other, so the names line
    // up as they do in Japanese, and the end line is as wide as the Japanese one.
    for (TLanguage language : {TLanguage::Japanese, TLanguage::English}) {
        const int head = DisplayWidth(BatchLog::SuccessHead.In(language));
        EXPECT_EQ(DisplayWidth(BatchLog::FailureHead.In(language)), head);
        EXPECT_EQ(DisplayWidth(BatchLog::RemovedHead.In(language)), head);
        EXPECT_EQ(DisplayWidth(BatchLog::WouldConvertHead.In(language)), DisplayWidth(BatchLog::WouldFailHead.In(language)));
        EXPECT_EQ(DisplayWidth(BatchLog::NameSeparator.In(language)), 2);
        EXPECT_EQ(DisplayWidth(BatchLog::EndLine.In(language)), 44);
    }
    const std::string names[] = {"/w/a.css", "/w/日本語のページ.html", "/w/ｶﾀｶﾅ.gif", "/w/" + std::string(22, 'n')};
    for (const std::string& path : names) {
        const std::string line = SuccessLine(path);
        EXPECT_EQ(DisplayWidth(line.substr(0, line.find(": /w/"))), 6 + 22) << line;
    }
}

TEST(BatchLogEnglish, EveryReasonIsEnglish)
{
    const TLanguageScope english(TLanguage::English);
    const std::exception_ptr errors[] = {
        Raised(EConvertError("x")),          Raised(EInOutError("x")),        Raised(EAnimationInvalid("x")),
        Raised(EJpegCmykRefused("x")),       Raised(EJpegPrecisionRefused("x")), Raised(ESvgSyntax("x")),
        Raised(EGzipError("x")),             Raised(EInvalidGraphic("x")),    Raised(EPictureTooLarge("x")),
        Raised(EBackupError("x")),           Raised(EFileLocked("x")),        Raised(EFileChanged("x")),
        Raised(ENeedsBackup("x")),           Raised(ENotText("x")),           Raised(ETextEncodingError("x")),
        Raised(EFOpenError("x", EACCES)),    Raised(EFOpenError("x", ENOENT)), Raised(EWriteError("x", EROFS)),
        Raised(EWriteError("x", ENOSPC)),    Raised(EWriteError("x", EFBIG)), Raised(EFOpenError("x", ENAMETOOLONG)),
        Raised(EFOpenError("x", EMFILE)),
        Raised(42),
    };
    std::set<std::string> reasons;
    for (const std::exception_ptr& error : errors) {
        const std::string reason(FailureReason(error));
        EXPECT_TRUE(reason.starts_with(" (") && reason.ends_with(")")) << reason;
        EXPECT_FALSE(languagedetail::HasJapanese(reason)) << reason;
        reasons.insert(reason);
    }
    EXPECT_EQ(reasons.size(), std::size(errors));  // one reason for each
    for (TSkipKind kind : {TSkipKind::Unreadable, TSkipKind::DanglingLink, TSkipKind::OutsideFolder}) {
        const std::string reason(SkipReason(TSkippedEntry{"/w/x", kind, 0}));
        EXPECT_FALSE(languagedetail::HasJapanese(reason)) << reason;
    }
}

}  // namespace
