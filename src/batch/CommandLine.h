#pragma once
// The command-line tool's interface: its options, the files a run covers, the colour filter
// of --map, restoring and deleting backups, and the exit statuses. Kept in the core so it can
// be tested without the program.

#include "batch/BatchRun.h"
#include "base/Exceptions.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

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
