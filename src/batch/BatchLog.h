#pragma once
// The texts of the conversion log and how a file's line is put together. Each text is a
// TText (base/Language.h): the Japanese of the reference and its English twin, chosen by the
// language of the process. English reasons begin with a space: they follow the path.

#include "base/Language.h"
#include "batch/FileSearch.h"

#include <exception>
#include <string>
#include <string_view>

namespace BatchLog {

inline constexpr TText SuccessHead{"成功> ", "Done> "};
inline constexpr TText FailureHead{"失敗> ", "Fail> "};
// Between the padded file name and the full path.
inline constexpr TText NameSeparator{"：", ": "};
inline constexpr TText EndLine{"－－－－－－－－－変換終了－－－－－－－－－", "----------- Conversion finished ------------"};
inline constexpr TText SummaryTail{"個のファイルを変換成功", " files converted"};
inline constexpr std::string_view TransparencyNote = "add";

inline constexpr TText ReasonHtml{"（HTML文法が変）", " (odd HTML syntax)"};
inline constexpr TText ReasonInOut{"（ファイル読み書き失敗）", " (file read or write failed)"};
// An animated PNG whose frames, sequence numbers or chunks do not hold together.
inline constexpr TText ReasonAnimationInvalid{"（アニメPNGの構造が変）", " (odd animated PNG structure)"};
inline constexpr TText ReasonCmykJpeg{"（CMYKのJPEGは処理しません）", " (CMYK JPEGs are not converted)"};
inline constexpr TText ReasonJpegPrecision{"（12ビットのJPEGは処理しません）", " (12-bit JPEGs are not converted)"};
inline constexpr TText ReasonBadImage{"（画像形式が変）", " (odd picture format)"};
inline constexpr TText ReasonTooLarge{"（画像が大きすぎます）", " (picture too large)"};
inline constexpr TText ReasonBackup{"（バックアップ失敗）", " (backup failed)"};
inline constexpr TText ReasonUnknown{"（原因不明）", " (cause unknown)"};
inline constexpr TText ReasonLocked{"（別の変換が使用中）", " (in use by another conversion)"};
inline constexpr TText ReasonChanged{"（変換中にほかのプログラムが変更）",
    " (changed by another program during the conversion)"};
// A file that can only be rewritten in place (hard links, another owner) with no backup to be made.
inline constexpr TText ReasonNeedsBackup{"（その場で書き換えるにはバックアップが必要）", " (rewriting in place needs a backup)"};
// A file to be converted as text that is a picture, an archive, a program or other binary data.
inline constexpr TText ReasonNotText{"（テキストではない）", " (not text)"};
// A UTF-16 or UTF-32 text that does not decode, or a text that could not be written back in
// its own encoding.
inline constexpr TText ReasonEncoding{"（文字コードが変）", " (odd character encoding)"};
// An SVG whose markup is unclear, and an .svgz that is no gzip file of one member.
inline constexpr TText ReasonSvg{"（SVG文法が変）", " (odd SVG syntax)"};
inline constexpr TText ReasonGzip{"（gzip圧縮が変）", " (odd gzip compression)"};

// Causes the system names (by errno): access refused, no such file, a read-only file system,
// no space or no inodes left, a file too large, a path too long, no descriptor left to open it.
inline constexpr TText ReasonNoAccess{"（アクセス権がない）", " (permission denied)"};
inline constexpr TText ReasonNoFile{"（ファイルがない）", " (no such file)"};
inline constexpr TText ReasonReadOnly{"（読み取り専用のファイルシステム）", " (read-only file system)"};
inline constexpr TText ReasonNoSpace{"（ディスクの空きがない）", " (no space left on the disk)"};
inline constexpr TText ReasonFileTooLarge{"（ファイルが大きすぎる）", " (file too large)"};
inline constexpr TText ReasonNameTooLong{"（パス名が長すぎる）", " (path name too long)"};
inline constexpr TText ReasonTooManyOpen{"（開いているファイルが多すぎる）", " (too many open files)"};
// Entries a folder search met and did not list.
inline constexpr TText ReasonUnreadable{"（読めない）", " (unreadable)"};
inline constexpr TText ReasonDanglingLink{"（リンク先がない）", " (link leads nowhere)"};
inline constexpr TText ReasonOutsideFolder{"（フォルダの外へのリンク：たどりません）", " (link out of the folder: not followed)"};

// After a success line: the file's backup was there already and was kept, not written over.
inline constexpr TText BackupKeptTail{"（既存のバックアップを保持）", " (existing backup kept)"};
// After a success line: converting the file changed nothing, so it was not written (no backup).
inline constexpr TText UnchangedTail{"（変更なし：書き換えていません）", " (unchanged: not rewritten)"};
// A temporary file an interrupted run left behind, removed before the batch began.
inline constexpr TText RemovedHead{"削除> ", "Gone> "};
inline constexpr TText LeftoverTail{"（中断で残った一時ファイル）", " (temporary file an interrupted run left)"};
// Before the end line of a batch that was stopped: how many files it did not reach.
inline constexpr TText StoppedHead{"中断：", "Stopped: "};
inline constexpr TText StoppedTail{"個のファイルは変換していません", " file not converted", " files not converted"};
// A dry run: what would be converted, what would fail, and its summary.
inline constexpr TText WouldConvertHead{"予定> ", "Would> "};
inline constexpr TText WouldFailHead{"不可> ", "Won't> "};
inline constexpr TText DryRunSummaryTail{"個のファイルを変換できます（試しただけで、何も書き換えていません）",
    " files can be converted (a dry run: nothing was written)"};

// The width the file name is padded to, in columns (DisplayWidth).
inline constexpr int NameColumns = 22;

}  // namespace BatchLog

// The columns a UTF-8 text takes in the log's fixed-pitch font, as its Shift-JIS byte count
// would give: ASCII and half-width katakana take one; East Asian wide and full-width
// characters (kana, kanji, hangul, full-width forms) and the other double-byte characters of
// Shift-JIS (Greek, Cyrillic, box drawing, the JIS symbols) take two; anything else one. A
// byte that is not part of valid UTF-8 counts one.
int DisplayWidth(std::string_view Text);

// Text as the log writes a name, always on one line: a line break, tab or other control
// character as "\n", "\r", "\t" or "\xHH", a byte that is not part of valid UTF-8 as "\xHH"
// (upper-case hex digits), a backslash as "\\"; everything else as it is.
std::string EscapeForLog(std::string_view Text);

// The file name of Path padded with spaces to 22 columns (a longer one kept whole),
// NameSeparator ("：", in English ": ") and the full path, both escaped by EscapeForLog (the
// padding counts the escaped name). Never shortened.
std::string LinePrefix(const std::string& Path);

// The reason a failure line ends with, chosen by the kind of the error and, for the kinds
// that carry it, by the errno of the system call that failed.
std::string_view FailureReason(const std::exception_ptr& Error);

// The reason for an errno the table names; empty for any other (0 included).
std::string_view ErrnoReason(int Errno);

// The reason a failure line gives for an entry a folder search skipped.
std::string_view SkipReason(const TSkippedEntry& Entry);

std::string SuccessLine(const std::string& Path);
std::string FailureLine(const std::string& Path, const std::exception_ptr& Error);
std::string SummaryLine(int Successes, int Total);
