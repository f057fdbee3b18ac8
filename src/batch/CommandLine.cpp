#include "batch/CommandLine.h"

#include "batch/BackupStore.h"
#include "batch/BatchLog.h"
#include "batch/FileSearch.h"
#include "colour/HexColour.h"
#include "text/ColourValueConverter.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <istream>
#include <optional>
#include <ostream>

namespace {

const char* const ProgramName = "tessival-batch";

int ParseInteger(const std::string& Option, const std::string& Text, int Low, int High)
{
    std::string_view digits = Text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    const bool whole = !digits.empty() && ec == std::errc() && end == digits.data() + digits.size() &&
                       !(digits.front() == '-' && Text.front() == '+');
    if (!whole || value < Low || value > High)
        throw EUsageError(
            Fill(CommandLineText::BadInteger, {Option, std::to_string(Low), std::to_string(High), Text}));
    return value;
}

void ParsePair(const std::string& Option, const std::string& Text, bool Adjust, TConversionSettings& Settings)
{
    const auto eq = Text.find('=');
    TRGBColor before, after;
    if (eq == std::string::npos || !ParseHexColor(std::string_view(Text).substr(0, eq), before) ||
        !ParseHexColor(std::string_view(Text).substr(eq + 1), after))
        throw EUsageError(Fill(CommandLineText::BadPair, {Option, Text}));
    Settings.AddPair(before, after, Adjust);
}

std::string_view Trim(std::string_view Text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    while (!Text.empty() && blank(Text.front())) Text.remove_prefix(1);
    while (!Text.empty() && blank(Text.back())) Text.remove_suffix(1);
    return Text;
}

// Writes the log, the lines of a group of files at once. A log that cannot be written (a closed
// pipe, a full disk) does not stop the batch: it is said once on the error stream, and the run
// cannot end in success.
class TStreamObserver final : public TBatchObserver {
public:
    TStreamObserver(std::ostream& Out, std::ostream& Err) : FOut(Out), FErr(Err) {}
    void ProgressMaximum(int) override {}
    void ProgressStep() override {}
    void LogLine(const std::string& Line) override
    {
        if (FFailed) return;
        errno = 0;
        FOut << Line << '\n';
        Check();
    }
    void LogCaughtUp() override
    {
        if (FFailed) return;
        errno = 0;
        FOut << std::flush;
        Check();
    }
    bool Failed() const { return FFailed; }

private:
    void Check()
    {
        if (FOut) return;
        FFailed = true;
        const std::string reason = errno ? Fill(CommandLineText::SystemReason, {std::strerror(errno)}) : "";
        FErr << Fill(CommandLineText::LogUnwritable, {ProgramName, reason}) << '\n' << std::flush;
    }

    std::ostream& FOut;
    std::ostream& FErr;
    bool FFailed = false;
};

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& Args, int DefaultJobs)
{
    TCommandLine line;
    line.Jobs = DefaultJobs < 1 ? 1 : DefaultJobs;
    bool optionsEnded = false;
    bool restore = false;
    bool deleteBackups = false;
    std::string conversionOption;  // the first one given, for the message
    for (std::size_t i = 0; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            line.Paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        const auto takeValue = [&]() -> std::string {
            if (inlineValue) return value;
            if (i + 1 >= Args.size()) throw EUsageError(Fill(CommandLineText::NeedsValue, {name}));
            return Args[++i];
        };
        const auto noValue = [&] {
            if (inlineValue) throw EUsageError(Fill(CommandLineText::TakesNoValue, {name}));
        };
        const auto conversion = [&] {
            if (conversionOption.empty()) conversionOption = name;
        };

        if (name == "--hue") {
            conversion();
            line.Settings.HueOffset = ParseInteger(name, takeValue(), -180, 180);
        } else if (name == "--saturation") {
            conversion();
            line.Settings.SatOffset = ParseInteger(name, takeValue(), -255, 255);
        } else if (name == "--brightness") {
            conversion();
            line.Settings.BrightOffset = ParseInteger(name, takeValue(), -255, 255);
        } else if (name == "--pair") {
            conversion();
            ParsePair(name, takeValue(), false, line.Settings);
        } else if (name == "--pair-adjust") {
            conversion();
            ParsePair(name, takeValue(), true, line.Settings);
        } else if (name == "--jobs") {
            conversion();
            line.Jobs = ParseInteger(name, takeValue(), 1, 4096);
        } else if (name == "--max-pixels") {
            conversion();
            line.MaxPixels = static_cast<std::uint64_t>(ParseInteger(name, takeValue(), 1, 1 << 28));
        } else if (name == "--memory-budget") {
            conversion();
            line.MemoryBudgetMB = static_cast<std::uint64_t>(ParseInteger(name, takeValue(), 1, 1 << 24));
        } else if (name == "--no-backup") {
            noValue();
            conversion();
            line.Backup = false;
        } else if (name == "--gif-transparent") {
            noValue();
            conversion();
            line.GifTransparent = true;
        } else if (name == "--no-subfolders") {
            noValue();
            line.SubFolders = false;
        } else if (name == "--photos") {
            noValue();
            conversion();
            line.Photos = true;
        } else if (name == "--map") {
            noValue();
            line.Map = true;
        } else if (name == "--dry-run") {
            noValue();
            line.DryRun = true;
        } else if (name == "--restore") {
            noValue();
            restore = true;
        } else if (name == "--delete-backups") {
            noValue();
            deleteBackups = true;
        } else if (name == "-h" || name == "--help") {
            noValue();
            line.Help = true;
        } else if (name == "--version") {
            noValue();
            line.Version = true;
        } else {
            throw EUsageError(Fill(CommandLineText::UnknownOption, {arg}));
        }
    }
    if (line.Help || line.Version) return line;
    if (restore && deleteBackups)
        throw EUsageError(Fill(CommandLineText::NotTogether, {"--restore", "--delete-backups"}));
    if (restore || deleteBackups) {
        const std::string action = restore ? "--restore" : "--delete-backups";
        if (line.Map) throw EUsageError(Fill(CommandLineText::NotTogether, {action, "--map"}));
        if (line.DryRun) throw EUsageError(Fill(CommandLineText::NotTogether, {action, "--dry-run"}));
        if (!conversionOption.empty())
            throw EUsageError(Fill(CommandLineText::NotWithConversion, {action, conversionOption}));
        if (line.Paths.empty())
            throw EUsageError(std::string(restore ? CommandLineText::NoBackupToRestore : CommandLineText::NoBackupToDelete));
        line.BackupAction = restore ? TBackupAction::Restore : TBackupAction::Delete;
        return line;
    }
    if (line.Map && line.DryRun) throw EUsageError(Fill(CommandLineText::NotTogether, {"--dry-run", "--map"}));
    if (line.Map && !line.Paths.empty())
        throw EUsageError(std::string(CommandLineText::MapTakesNoPath));
    if (!line.Map && line.Paths.empty()) throw EUsageError(std::string(CommandLineText::NoPath));
    return line;
}

std::vector<TBatchItem> CollectItems(const std::vector<std::string>& Paths, bool SubFolders,
                                     std::vector<TSkippedEntry>* Skipped, bool Photos)
{
    std::vector<TBatchItem> items;
    for (const std::string& path : Paths) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            for (std::string& found : SearchSiteFolder(path, SubFolders, Skipped, Photos))
                items.push_back({true, std::move(found)});
        } else {
            items.push_back({true, path});
        }
    }
    return items;
}

TBatchInput MakeBatchInput(const TCommandLine& Line)
{
    TBatchInput input;
    input.Items = CollectItems(Line.Paths, Line.SubFolders, &input.Skipped, Line.Photos);
    input.Settings = Line.Settings;
    input.Backup = Line.Backup;
    input.GifTransparent = Line.GifTransparent;
    input.Jobs = Line.Jobs;
    input.DryRun = Line.DryRun;
    input.MaxPixels = Line.MaxPixels;
    input.MemoryBudget = Line.MemoryBudgetMB << 20;
    return input;
}

std::vector<std::string> CollectBackups(const std::vector<std::string>& Paths, bool SubFolders)
{
    std::vector<std::string> backups;
    for (const std::string& path : Paths) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            for (std::string& found : SearchBackups(path, SubFolders)) backups.push_back(std::move(found));
        } else if (!BackupTarget(path).empty()) {
            backups.push_back(path);
        } else {
            throw EUsageError(Fill(CommandLineText::NotBackupOrFolder, {path}));
        }
    }
    return backups;
}

int RunBackupAction(TBackupAction Action, const std::vector<std::string>& Backups, std::ostream& Out)
{
    int done = 0;
    int total = 0;
    const auto report = [&](const std::string& Path, const std::string& Reason) {
        ++total;
        if (Reason.empty()) {
            ++done;
            Out << BatchLog::SuccessHead << LinePrefix(Path) << '\n';
        } else {
            Out << BatchLog::FailureHead << LinePrefix(Path) << Reason << '\n';
        }
        Out << std::flush;
    };
    const bool restore = Action == TBackupAction::Restore;
    const std::vector<TBackupFailure> failed =
        restore ? RestoreBackups(Backups, report) : DeleteBackups(Backups, report);
    Out << done << '/' << total << (restore ? BackupText::RestoredTail : BackupText::DeletedTail) << '\n' << std::flush;
    return failed.empty() ? ExitAllConverted : ExitSomeFailed;
}

int RunColourMap(std::istream& In, std::ostream& Out, std::ostream& Err, const TConversionSettings& Settings)
{
    const auto adjuster = Settings.MakeAdjuster();
    // Read as the rewriter reads a colour value of a stylesheet.
    const TColourValueConverter reader(Settings.HueOffset, Settings.SatOffset, Settings.BrightOffset,
                                       Settings.BeforeColors, Settings.AfterColors, Settings.Adjust());
    std::string text;
    for (long number = 1; std::getline(In, text); ++number) {
        const std::string_view colour = Trim(text);
        TRGBColor c;
        std::optional<std::uint32_t> value;
        if (colour.empty()) {
            Out << '\n';
        } else if (ParseHexColor(colour, c)) {
            Out << FormatHexColor(adjuster->Convert(c)) << '\n';
        } else if ((value = reader.ReadColourValue(colour))) {
            Out << FormatHexColor(adjuster->Convert(UnpackRGB(*value))) << '\n';
        } else {
            // Only the line's number: the line itself may be anything, of any length.
            Out << std::flush;
            Err << Fill(CommandLineText::NoColour, {ProgramName, std::to_string(number)}) << '\n';
            return ExitSomeFailed;
        }
    }
    Out << std::flush;
    return ExitAllConverted;
}

int RunCommandLine(const TCommandLine& Line, std::istream& In, std::ostream& Out, std::ostream& Err,
                   const std::atomic<bool>* Stop)
{
    if (Line.Help) {
        Out << HelpText();
        return ExitAllConverted;
    }
    if (Line.Version) {
        Out << VersionText();
        return ExitAllConverted;
    }
    if (Line.Map) return RunColourMap(In, Out, Err, Line.Settings);
    if (Line.BackupAction != TBackupAction::None)
        return RunBackupAction(Line.BackupAction, CollectBackups(Line.Paths, Line.SubFolders), Out);

    TBatchInput input = MakeBatchInput(Line);
    input.StopRequested = Stop;
    TBatchRun operation(input);
    TStreamObserver observer(Out, Err);
    operation.ExecuteConversion(observer);
    return operation.Successes() == operation.Total() && !observer.Failed() ? ExitAllConverted : ExitSomeFailed;
}

std::string VersionText() { return std::string(ProgramName) + " " TESSIVAL_VERSION "\n"; }

namespace {

// The extensions of SiteExtensions that are photos (Photos) or not, as the help lists them.
std::string ExtensionList(bool Photos)
{
    std::string list;
    for (const TSiteExtension& site : SiteExtensions) {
        if (site.Photo != Photos) continue;
        if (!list.empty()) list += ' ';
        list += site.Extension;
    }
    return list;
}

// The whole of --help; @SITE@ and @PHOTOS@ stand for the extensions a folder search takes.
constexpr TText Help{R"(使い方: tessival-batch [オプション] パス...
        tessival-batch [オプション] --map
        tessival-batch --restore [--no-subfolders] パス...
        tessival-batch --delete-backups [--no-subfolders] パス...

ウェブサイトの色をその場で変換します。HTML・CSS・SVG の色の値と画像の
すべての画素を、色相・彩度・明度のずらしと個別指定の色で置き換えます。
パスがフォルダなら @SITE@ のファイルを探し（サブフォルダも）、
ファイルならその拡張子にかかわらず変換します（画像と .svg .svgz 以外はテキストとして）。
変換ログを標準出力に 1 行ずつ書きます。

オプション:
  --hue N              色相のずらし（-180〜180、既定 0）
  --saturation N       彩度のずらし（-255〜255、既定 0）
  --brightness N       明度のずらし（-255〜255、既定 0）
  --pair B=A           色 B を色 A に置き換える（ずらしはしない：「なし」の行）
  --pair-adjust B=A    色 B を色 A に置き換えてからずらす（「あり」の行）
                       B と A は16進6桁（先頭の # は省略可）。何度でも指定でき、
                       先に書いたものが優先されます。
  --no-backup          バックアップ（ファイル名 + .bak）をつくらない
  --gif-transparent    互換のために受け付けます（効果なし）：GIF の透過は常に保たれます
  --no-subfolders      フォルダのサブフォルダを探さない
  --photos             フォルダから写真（@PHOTOS@）も探す。写真は保存のたびに
                       画質が少し落ちます。指定したファイルはこのオプションなしでも変換します
  --jobs N             同時に変換するファイルの数（1 以上、既定はコア数）。
                       ログと結果のファイルは N によらず同じです。
  --max-pixels N       画素数が N を超える画像は展開せずに「画像が大きすぎます」で
                       失敗にする（1〜268435456、既定 100000000）
  --memory-budget MB   同時に変換する画像の展開に使うメモリの上限（MB、1 以上、
                       既定は空きメモリの半分）。収まらない画像はほかの画像の変換が
                       終わるのを待ちます。上限より大きい画像も 1 つだけなら変換します
  --dry-run            変換せずに、変換するファイル・しないファイルとその理由を
                       表示します。何も書き換えません
  --map                標準入力から 1 行に 1 色ずつ読み、変換後の色を #RRGGBB で
                       書きます。ファイルには触れません。色はスタイルシートと同じ書き方
                       （#RGB、#RRGGBB、色の名前、rgb()、hsl() など）で書けます。
  --restore            バックアップ（.bak）を元のファイルに戻す。バックアップは残ります。
                       パスがフォルダなら .bak のファイルを探し（サブフォルダも）、
                       ファイルなら .bak のものだけを受け付けます。
                       バックアップ 1 個ごとに 1 行と、成功した数を書きます。
                       変換のオプション、--map、--dry-run とは一緒に使えません。
  --delete-backups     バックアップ（.bak）を消去する。元のファイルには触れません。
                       パスの扱いと表示は --restore と同じです。
  -h, --help           この説明を表示する
  --version            版を表示する

終了コード: 0 すべて変換成功、1 変換に失敗したファイルがある（--map では色でない行）、
            2 コマンドラインの誤り（何も変更していません）
            --restore と --delete-backups では 0 すべて成功、1 失敗したバックアップがある
)", R"(Usage: tessival-batch [OPTION]... PATH...
       tessival-batch [OPTION]... --map
       tessival-batch --restore [--no-subfolders] PATH...
       tessival-batch --delete-backups [--no-subfolders] PATH...

Recolours a web site in place. Every colour value of HTML, CSS and SVG and every
pixel of its pictures is replaced, by shifting hue, saturation and brightness
and by colours named one by one.
A PATH that is a folder is searched for @SITE@ files (in its
subfolders too); a file is converted whatever its extension (as text unless it is
a picture, .svg or .svgz). The conversion log goes to standard output, one line
per file.

Options:
  --hue N              shift of the hue (-180 to 180, default 0)
  --saturation N       shift of the saturation (-255 to 255, default 0)
  --brightness N       shift of the brightness (-255 to 255, default 0)
  --pair B=A           replace colour B by colour A (not shifted: a "No" row)
  --pair-adjust B=A    replace colour B by colour A, then shift it (a "Yes" row)
                       B and A are six hexadecimal digits (the # may be left out).
                       Give as many as you like; the first one given wins.
  --no-backup          make no backups (the file name + .bak)
  --gif-transparent    accepted for compatibility (no effect): the transparency
                       of a GIF is always kept
  --no-subfolders      do not search the subfolders of a folder
  --photos             search folders for photos (@PHOTOS@) too. A photo
                       loses a little quality each time it is saved. Files named
                       are converted without this option
  --jobs N             how many files are converted at once (1 or more, default
                       the number of cores). The log and the files come out the
                       same whatever N is.
  --max-pixels N       a picture of more than N pixels fails as "picture too
                       large" without being decoded (1 to 268435456, default
                       100000000)
  --memory-budget MB   the most memory the pictures converted at once may take
                       when decoded (MB, 1 or more, default half the free
                       memory). A picture that does not fit waits for the others
                       to finish; one larger than the budget is converted alone
  --dry-run            convert nothing: list the files that would be converted and
                       those that would not, and why. Nothing is written
  --map                read one colour per line from standard input and write its
                       conversion as #RRGGBB. No file is touched. Colours are
                       written as in a stylesheet (#RGB, #RRGGBB, colour names,
                       rgb(), hsl() and so on).
  --restore            put the backups (.bak) back over their original files.
                       The backups stay.
                       A PATH that is a folder is searched for .bak files (in its
                       subfolders too); a file must be a .bak file.
                       Writes one line per backup and the number that went.
                       Cannot be used with the conversion options, --map or
                       --dry-run.
  --delete-backups     delete the backups (.bak). The original files are not
                       touched. Paths and output as for --restore.
  -h, --help           show this help
  --version            show the version

The language of the messages follows the locale (LC_ALL, LC_MESSAGES, LANG):
Japanese for a Japanese locale, C, POSIX or none, English for any other.

Exit status: 0 every file converted, 1 a file failed (with --map: a line that is
             no colour), 2 a mistake on the command line (nothing was changed).
             With --restore and --delete-backups: 0 every backup went, 1 a
             backup failed.
)"};

}  // namespace

std::string HelpText()
{
    std::string text(Help);
    text.replace(text.find("@SITE@"), 6, ExtensionList(false));
    text.replace(text.find("@PHOTOS@"), 8, ExtensionList(true));
    return text;
}
