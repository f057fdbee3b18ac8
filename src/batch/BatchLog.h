#pragma once
// The texts of the conversion log and how a file's line is put together.

#include "batch/FileSearch.h"

#include <exception>
#include <string>
#include <string_view>

namespace BatchLog {

inline constexpr std::string_view SuccessHead = "成功> ";
inline constexpr std::string_view FailureHead = "失敗> ";
inline constexpr std::string_view EndLine = "－－－－－－－－－変換終了－－－－－－－－－";
inline constexpr std::string_view SummaryTail = "個のファイルを変換成功";
inline constexpr std::string_view TransparencyNote = "add";

inline constexpr std::string_view ReasonHtml = "（HTML文法が変）";
inline constexpr std::string_view ReasonInOut = "（ファイル読み書き失敗）";
// An animated PNG whose frames, sequence numbers or chunks do not hold together.
inline constexpr std::string_view ReasonAnimationInvalid = "（アニメPNGの構造が変）";
inline constexpr std::string_view ReasonBadImage = "（画像形式が変）";
inline constexpr std::string_view ReasonTooLarge = "（画像が大きすぎます）";
inline constexpr std::string_view ReasonBackup = "（バックアップ失敗）";
inline constexpr std::string_view ReasonUnknown = "（原因不明）";
inline constexpr std::string_view ReasonLocked = "（別の変換が使用中）";
inline constexpr std::string_view ReasonChanged = "（変換中にほかのプログラムが変更）";
// A file that can only be rewritten in place (hard links, another owner) with no backup to be made.
inline constexpr std::string_view ReasonNeedsBackup = "（その場で書き換えるにはバックアップが必要）";
// A file to be converted as text that is a picture, an archive, a program or other binary data.
inline constexpr std::string_view ReasonNotText = "（テキストではない）";
// A UTF-16 or UTF-32 text that does not decode, or a text that could not be written back in
// its own encoding.
inline constexpr std::string_view ReasonEncoding = "（文字コードが変）";

// Causes the system names (by errno): access refused, no such file, a read-only file system,
// no space or no inodes left, a file too large, a path too long.
inline constexpr std::string_view ReasonNoAccess = "（アクセス権がない）";
inline constexpr std::string_view ReasonNoFile = "（ファイルがない）";
inline constexpr std::string_view ReasonReadOnly = "（読み取り専用のファイルシステム）";
inline constexpr std::string_view ReasonNoSpace = "（ディスクの空きがない）";
inline constexpr std::string_view ReasonFileTooLarge = "（ファイルが大きすぎる）";
inline constexpr std::string_view ReasonNameTooLong = "（パス名が長すぎる）";
// Entries a folder search met and did not list.
inline constexpr std::string_view ReasonUnreadable = "（読めない）";
inline constexpr std::string_view ReasonDanglingLink = "（リンク先がない）";
inline constexpr std::string_view ReasonOutsideFolder = "（フォルダの外へのリンク：たどりません）";

// After a success line: the file's backup was there already and was kept, not written over.
inline constexpr std::string_view BackupKeptTail = "（既存のバックアップを保持）";
// After a success line: converting the file changed nothing, so it was not written (no backup).
inline constexpr std::string_view UnchangedTail = "（変更なし：書き換えていません）";
// A temporary file an interrupted run left behind, removed before the batch began.
inline constexpr std::string_view RemovedHead = "削除> ";
inline constexpr std::string_view LeftoverTail = "（中断で残った一時ファイル）";
// Before the end line of a batch that was stopped: how many files it did not reach.
inline constexpr std::string_view StoppedHead = "中断：";
inline constexpr std::string_view StoppedTail = "個のファイルは変換していません";
// A dry run: what would be converted, what would fail, and its summary.
inline constexpr std::string_view WouldConvertHead = "予定> ";
inline constexpr std::string_view WouldFailHead = "不可> ";
inline constexpr std::string_view DryRunSummaryTail = "個のファイルを変換できます（試しただけで、何も書き換えていません）";

// The width the file name is padded to.
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

// The file name of Path padded with spaces to 22 columns (a longer one kept whole), "：" and
// the full path, both escaped by EscapeForLog (the padding counts the escaped name). Never
// shortened.
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
