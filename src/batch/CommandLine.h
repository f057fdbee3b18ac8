#pragma once
// The command-line tool's interface: its options, the files a run covers, the colour filter
// of --map, restoring and deleting backups, and the exit statuses. Kept in the core so it can
// be tested without the program.

#include "batch/BatchRun.h"
#include "base/Exceptions.h"
#include "base/Language.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

// The tool's messages, in Japanese and English (base/Language.h); "%1", "%2" are filled in.
// The help text (HelpText) is in CommandLine.cpp.
namespace CommandLineText {

inline constexpr TText BadInteger{"%1 には %2 から %3 までの整数を指定してください（\"%4\" は使えません）",
    "%1 takes a whole number from %2 to %3 (\"%4\" will not do)"};
inline constexpr TText BadPair{"%1 には 置換前=置換後 の形で16進6桁の色を2つ指定してください（例: %1 FF0000=#00FF00。\"%2\" は使えません）",
    "%1 takes two colours of six hexadecimal digits as BEFORE=AFTER (for example %1 FF0000=#00FF00; \"%2\" will not do)"};
inline constexpr TText NeedsValue{"%1 には値が必要です", "%1 needs a value"};
inline constexpr TText TakesNoValue{"%1 は値をとりません", "%1 takes no value"};
inline constexpr TText UnknownOption{"知らないオプションです: %1", "unknown option: %1"};
inline constexpr TText NotTogether{"%1 と %2 は一緒には使えません", "%1 and %2 cannot be used together"};
inline constexpr TText NotWithConversion{"%1 は変換のオプション（%2）と一緒には使えません",
    "%1 cannot be used with a conversion option (%2)"};
inline constexpr TText NoBackupToRestore{"復元するバックアップかフォルダを指定してください",
    "name the backups or folders to restore"};
inline constexpr TText NoBackupToDelete{"消去するバックアップかフォルダを指定してください",
    "name the backups or folders to delete"};
inline constexpr TText MapTakesNoPath{"--map はファイルやフォルダと一緒には使えません（色は標準入力から読みます）",
    "--map takes no files or folders (it reads the colours from standard input)"};
inline constexpr TText NoPath{"変換するファイルかフォルダを指定してください", "name the files or folders to convert"};
inline constexpr TText NotBackupOrFolder{"バックアップ（.bak のファイル）でもフォルダでもありません: %1",
    "neither a backup (a .bak file) nor a folder: %1"};
// On the error stream: the program's name, then the message.
inline constexpr TText LogUnwritable{"%1: ログを書けません%2。変換は続けます", "%1: cannot write the log%2; the conversion goes on"};
inline constexpr TText SystemReason{"（%1）", " (%1)"};
inline constexpr TText NoColour{"%1: %2 行目は色ではありません", "%1: line %2 is no colour"};
// After a usage error.
inline constexpr TText UsageHint{"使い方は tessival-batch --help で表示されます", "tessival-batch --help shows how to use it"};

}  // namespace CommandLineText

// A command line that cannot be carried out; nothing has been touched.
class EUsageError : public Exception {
public:
    using Exception::Exception;
};

enum TExitStatus : int {
    ExitAllConverted = 0,  // every file converted (or --map read every line, or every backup went)
    ExitSomeFailed = 1,    // one or more files failed (or --map met a line that is no colour)
    ExitUsage = 2,         // bad command line
};

// What a run does with backups instead of converting (--restore, --delete-backups).
enum class TBackupAction { None, Restore, Delete };

struct TCommandLine {
    TConversionSettings Settings;
    bool Backup = true;
    bool GifTransparent = false;
    bool SubFolders = true;
    bool Photos = false;  // a folder search takes photos too (--photos)
    int Jobs = 1;
    std::uint64_t MaxPixels = DefaultMaxPixels;
    std::uint64_t MemoryBudgetMB = 0;  // 0: the batch's own default
    bool Map = false;
    bool DryRun = false;
    TBackupAction BackupAction = TBackupAction::None;
    bool Help = false;
    bool Version = false;
    std::vector<std::string> Paths;
};

// Parses the arguments after the program name. Raises EUsageError with a message for the
// user on an unknown option, a missing or bad value, when neither a path nor --map (or both)
// is given, when --restore or --delete-backups come together or with a conversion option,
// --map or --dry-run, and for --dry-run with --map. DefaultJobs is what --jobs is when not
// given.
TCommandLine ParseCommandLine(const std::vector<std::string>& Args, int DefaultJobs);

// The file list a run converts, in argument order: a folder is searched as the main window's
// folder command does (SiteExtensions, depth first, sub-folders when SubFolders), its photos
// only with Photos; any other path is listed as given, a photo too. Every item is checked.
// Skipped, when given, gets what the folder searches met and did not list.
std::vector<TBatchItem> CollectItems(const std::vector<std::string>& Paths, bool SubFolders,
                                     std::vector<TSkippedEntry>* Skipped = nullptr, bool Photos = false);

// The batch input of a parsed command line.
TBatchInput MakeBatchInput(const TCommandLine& Line);

// The backups a --restore or --delete-backups run covers, in argument order: a folder is
// searched for ".bak" files as the backup manager does (sub-folders when SubFolders); any
// other path must name a ".bak" file, else EUsageError before anything is touched.
std::vector<std::string> CollectBackups(const std::vector<std::string>& Paths, bool SubFolders);

// --restore and --delete-backups: one line per backup on Out in the batch log's style
// ("成功> " or "失敗> ", the padded name and path, the reason of a failure), then the count of
// those that went. ExitAllConverted when every backup went, else ExitSomeFailed.
int RunBackupAction(TBackupAction Action, const std::vector<std::string>& Backups, std::ostream& Out);

// --map: each line of In is a colour; its conversion goes to Out as "#RRGGBB". A blank line
// gives a blank line. At a line that is no colour a message goes to Err and reading stops
// with ExitSomeFailed.
int RunColourMap(std::istream& In, std::ostream& Out, std::ostream& Err, const TConversionSettings& Settings);

// The whole run after parsing: the batch with its log on Out, --map, or the backups. Stop, when
// set during the batch, stops it after the files in hand. A log that cannot be written is said
// once on Err and makes the status ExitSomeFailed; the batch goes on. Raises EUsageError when a
// path given to --restore or --delete-backups is no folder and no ".bak".
int RunCommandLine(const TCommandLine& Line, std::istream& In, std::ostream& Out, std::ostream& Err,
                   const std::atomic<bool>* Stop = nullptr);

std::string HelpText();
std::string VersionText();
