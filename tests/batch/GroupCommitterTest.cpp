// Groups put in place one after another: a group is renamed into place, then made to last by the
// flush that begins the next group (or by Finish); until then it is not reported, and nothing
// that happens meanwhile costs a file its backup.

#include "base/SafeFile.h"
#include "batch/CommitGroup.h"
#include "base/Exceptions.h"
#include "batch/FileConverter.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace batchtest;

namespace {

TConversionSettings RedToGreen()
{
    TConversionSettings settings;
    settings.HueOffset = 120;
    return settings;
}

const std::string Red = ".a { color: #ff0000; }\n";
const std::string Green = ".a { color: #00FF00; }\n";

// Pages written into Folder and prepared with backups, as a batch prepares them.
struct TPreparedPages {
    std::vector<std::string> Paths;
    std::vector<TPreparedFile> Files;
    std::vector<TPreparedFile*> Group;

    TPreparedPages(TFileConverter& Converter, const std::string& Folder, int Count, const std::string& Name = "p")
    {
        for (int i = 0; i < Count; ++i) {
            Paths.push_back(Folder + "/" + Name + std::to_string(i) + ".css");
            WriteFile(Paths.back(), Red);
        }
        Files.reserve(Paths.size());
        for (const std::string& path : Paths) Files.push_back(Converter.PrepareFile(path, [](const std::string&) {}));
        for (TPreparedFile& file : Files) Group.push_back(&file);
    }
};

// What the file layer did, in order.
struct TEvents {
    std::vector<std::pair<std::string, std::string>> List;
    TEvents()
    {
        SetDurabilityObserver([this](std::string_view Event, const std::string& Path) { List.emplace_back(Event, Path); });
    }
    ~TEvents() { SetDurabilityObserver({}); }
    std::size_t Count(std::string_view Kind) const
    {
        std::size_t n = 0;
        for (const auto& e : List) n += e.first == Kind;
        return n;
    }
};

}  // namespace

TEST(GroupCommitter, AGroupIsDoneOnlyAfterTheFlushThatBeginsTheNextOrAfterFinish)
{
    TTempDir dir;
    TFileConverter converter(RedToGreen(), true, false);
    TPreparedPages first(converter, dir.Path(), 3);
    // The backups of pages prepared are already there: the files read, under a second name.
    for (const std::string& path : first.Paths) EXPECT_EQ(ReadFile(path + ".bak"), Red);

    TEvents events;
    TGroupCommitter committer;
    EXPECT_TRUE(committer.Begin(first.Group).Files.empty());
    EXPECT_TRUE(committer.Busy());
    // Renamed into place, after one flush, and not yet reported.
    for (const std::string& path : first.Paths) EXPECT_EQ(ReadFile(path), Green);
    EXPECT_EQ(events.Count("flush"), 1u);
    EXPECT_EQ(events.Count("rename"), 3u);
    ASSERT_EQ(events.List.front().first, "flush");

    TPreparedPages second(converter, dir.Path(), 2, "q");
    events.List.clear();
    const TGroupCommitter::TDone done = committer.Begin(second.Group);
    // The first group is done by the one flush that came before the second group's renames.
    ASSERT_EQ(done.Files, first.Group);
    ASSERT_EQ(done.Errors.size(), 3u);
    for (const auto& error : done.Errors) EXPECT_FALSE(error);
    ASSERT_GE(events.List.size(), 3u);
    EXPECT_EQ(events.List.front().first, "flush");
    EXPECT_EQ(events.Count("flush"), 1u);
    EXPECT_EQ(events.Count("rename"), 2u);
    for (const TPreparedFile& file : first.Files) {
        EXPECT_FALSE(file.Source) << "a file done lets go of its lock";
        EXPECT_FALSE(file.Backup);
    }
    for (const std::string& path : first.Paths) EXPECT_EQ(ReadFile(path + ".bak"), Red);

    events.List.clear();
    const TGroupCommitter::TDone last = committer.Finish();
    EXPECT_EQ(last.Files, second.Group);
    EXPECT_FALSE(committer.Busy());
    EXPECT_EQ(events.Count("flush"), 1u);
    for (const std::string& path : second.Paths) {
        EXPECT_EQ(ReadFile(path), Green);
        EXPECT_EQ(ReadFile(path + ".bak"), Red);
    }
    // Nothing in hand: nothing to flush.
    events.List.clear();
    EXPECT_TRUE(committer.Finish().Files.empty());
    EXPECT_EQ(events.Count("flush"), 0u);
}

TEST(GroupCommitter, AGroupInHandKeepsItsBackupsWhenTheCommitterEndsWithoutFinish)
{
    TTempDir dir;
    TFileConverter converter(RedToGreen(), true, false);
    TPreparedPages pages(converter, dir.Path(), 4);
    {
        TEvents events;
        TGroupCommitter committer;
        committer.Begin(pages.Group);
        events.List.clear();
        // Ending here (an error in the caller, say) still flushes the renames first.
    }
    // The prepared files go as a batch's results would, after the committer.
    pages.Group.clear();
    pages.Files.clear();
    for (const std::string& path : pages.Paths) {
        EXPECT_EQ(ReadFile(path), Green);
        EXPECT_EQ(ReadFile(path + ".bak"), Red) << "a replaced file's backup was dropped";
    }
}

TEST(GroupCommitter, AFailedFlushFailsTheGroupInHandWithItsBackupsAndLeavesTheNextGroupAsItWas)
{
    TTempDir dir;
    const std::string gone = dir / "a";
    const std::string moved = dir / "a-moved";
    const std::string other = dir / "b";
    ASSERT_EQ(mkdir(gone.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    TFileConverter converter(RedToGreen(), true, false);
    TPreparedPages first(converter, gone, 2);
    TGroupCommitter committer;
    committer.Begin(first.Group);
    // The folder the first group's flush goes through disappears before that flush.
    ASSERT_EQ(std::rename(gone.c_str(), moved.c_str()), 0);

    TPreparedPages second(converter, other, 2);
    const TGroupCommitter::TDone done = committer.Begin(second.Group);
    ASSERT_EQ(done.Errors.size(), 2u);
    for (const auto& error : done.Errors) EXPECT_TRUE(error) << "a rename not known to last was reported as done";
    // Replaced, but not known to last: the backups stay, whichever way the disk keeps them.
    for (const char* name : {"/p0.css", "/p1.css"}) {
        EXPECT_EQ(ReadFile(moved + name), Green);
        EXPECT_EQ(ReadFile(moved + name + ".bak"), Red);
    }
    // The second group's contents were not known to last either: its files stay as they were,
    // without backups or temporary files.
    const TGroupCommitter::TDone last = committer.Finish();
    ASSERT_EQ(last.Errors.size(), 2u);
    for (const auto& error : last.Errors) EXPECT_TRUE(error);
    for (const std::string& path : second.Paths) {
        EXPECT_EQ(ReadFile(path), Red);
        EXPECT_FALSE(Exists(path + ".bak"));
    }
    EXPECT_EQ(FolderNames(other), (std::vector<std::string>{"p0.css", "p1.css"}));
}

TEST(GroupCommitter, ATakenBackupNameIsKeptOrFailsTheFileWithItsReason)
{
    TTempDir dir;
    TFileConverter converter(RedToGreen(), true, false);
    const auto convert = [&](const std::string& Path) -> std::string {
        try {
            converter.ConvertFile(Path, [](const std::string&) {});
            return "";
        } catch (const Exception& e) {
            return e.Message();
        }
    };
    // A backup there already is the original and stays; the file is converted.
    WriteFile(dir / "kept.css", Red);
    WriteFile(dir / "kept.css.bak", "the first original");
    EXPECT_EQ(convert(dir / "kept.css"), "");
    EXPECT_EQ(ReadFile(dir / "kept.css"), Green);
    EXPECT_EQ(ReadFile(dir / "kept.css.bak"), "the first original");
    // A folder or a link under the backup's name is no backup: the file fails and stays.
    WriteFile(dir / "folder.css", Red);
    ASSERT_EQ(mkdir((dir / "folder.css.bak").c_str(), 0755), 0);
    EXPECT_EQ(convert(dir / "folder.css"),
              "Cannot make the backup copy \"" + (dir / "folder.css.bak") + "\": A folder has that name");
    WriteFile(dir / "elsewhere.txt", "not mine");
    WriteFile(dir / "linked.css", Red);
    ASSERT_EQ(symlink("elsewhere.txt", (dir / "linked.css.bak").c_str()), 0);
    EXPECT_EQ(convert(dir / "linked.css"),
              "Cannot make the backup copy \"" + (dir / "linked.css.bak") + "\": Something that is no file has that name");
    EXPECT_EQ(ReadFile(dir / "folder.css"), Red);
    EXPECT_EQ(ReadFile(dir / "linked.css"), Red);
    EXPECT_EQ(ReadFile(dir / "elsewhere.txt"), "not mine");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"elsewhere.txt", "folder.css", "folder.css.bak", "kept.css",
                                                                 "kept.css.bak", "linked.css", "linked.css.bak"}));
}
