// The log says a file converted only once it lasts: its new content renamed into place and the
// disk flushed after that, its backup named and flushed before the rename.

#include "HardeningSupport.h"

#include "base/SafeFile.h"
#include "batch/BatchLog.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace hardening;

namespace {

// One sequence of what the batch reports and what the file layer does, in the order it happens.
class TRecorder final : public TBatchObserver {
public:
    void ProgressMaximum(int) override {}
    void ProgressStep() override {}
    void LogLine(const std::string& Line) override { Add("log", Line); }
    void Add(std::string_view Kind, const std::string& What)
    {
        std::lock_guard<std::mutex> guard(FLock);
        Events.push_back({std::string(Kind), What});
    }
    std::vector<std::pair<std::string, std::string>> Events;

private:
    std::mutex FLock;
};

}  // namespace

TEST(DurabilityOrder, NoFileIsLoggedBeforeItsRenameIsFlushedAndNoRenameBeforeItsBackup)
{
    for (const int jobs : {1, 2}) {
        TTempDir dir;
        std::vector<std::string> paths;
        for (int i = 0; i < 300; ++i) {
            paths.push_back(dir / ("css/s" + std::to_string(i) + ".css"));
            WriteFile(paths.back(), ".c" + std::to_string(i) + "{color:red}\n");
        }
        // Some files have a second name outside the list: they are written in place, and their
        // backups are copies.
        for (int i = 0; i < 300; i += 15) {
            const std::string other = dir / ("other" + std::to_string(i) + ".css");
            ASSERT_EQ(link(paths[static_cast<std::size_t>(i)].c_str(), other.c_str()), 0);
        }
        TRecorder recorder;
        SetDurabilityObserver([&](std::string_view Event, const std::string& Path) { recorder.Add(Event, Path); });
        TBatchInput input;
        for (const std::string& p : paths) input.Items.push_back({true, p});
        input.Settings = HueSettings(120);
        input.Jobs = jobs;
        TBatchRun run(input);
        run.ExecuteConversion(recorder);
        SetDurabilityObserver({});
        ASSERT_EQ(run.Successes(), 300);

        std::map<std::string, std::size_t> renamedAt, backupAt, contentAt, writtenAt;
        std::size_t lastFlush = 0;
        bool flushed = false;
        int checked = 0;
        for (std::size_t k = 0; k < recorder.Events.size(); ++k) {
            const auto& [kind, what] = recorder.Events[k];
            if (kind == "flush") {
                lastFlush = k;
                flushed = true;
            } else if (kind == "content") {
                contentAt[what] = k;
            } else if (kind == "create") {
                backupAt[what] = k;
                // A backup copy's bytes were on disk before it was named.
                const auto copy = contentAt.find(what);
                if (copy != contentAt.end()) {
                    ASSERT_TRUE(flushed && lastFlush > copy->second) << what << " named before its bytes were flushed";
                }
            } else if (kind == "rename") {
                renamedAt[what] = k;
                // The new content was on disk before it replaced the file.
                const auto content = contentAt.find(what);
                ASSERT_NE(content, contentAt.end()) << what << " replaced by nothing written";
                ASSERT_TRUE(flushed && lastFlush > content->second) << what << " replaced before its content was flushed";
                // The backup was named, and that name flushed, before the file was replaced.
                const auto backup = backupAt.find(what + ".bak");
                ASSERT_NE(backup, backupAt.end()) << what << " replaced before its backup was named";
                ASSERT_TRUE(flushed && lastFlush > backup->second) << what << " replaced before its backup was flushed";
            } else if (kind == "write") {
                writtenAt[what] = k;
                // Written in place, over the file: its backup copy was named and flushed first.
                const auto backup = backupAt.find(what + ".bak");
                ASSERT_NE(backup, backupAt.end()) << what << " written before its backup was named";
                ASSERT_TRUE(flushed && lastFlush > backup->second) << what << " written before its backup was flushed";
            } else if (kind == "log" && what.rfind(std::string(BatchLog::SuccessHead), 0) == 0) {
                const std::string path = what.substr(what.find("：") + std::string("：").size());
                if (writtenAt.count(path)) {  // flushed by its writing
                    ++checked;
                    continue;
                }
                const auto renamed = renamedAt.find(path);
                ASSERT_NE(renamed, renamedAt.end()) << "logged before it was replaced: " << what;
                ASSERT_TRUE(flushed && lastFlush > renamed->second) << "logged before its rename was flushed: " << what;
                ++checked;
            }
        }
        EXPECT_EQ(checked, 300) << "jobs " << jobs;
        EXPECT_EQ(writtenAt.size(), 20u) << "jobs " << jobs;
        // Groups, not a flush per file: far fewer flushes than files.
        const auto flushes = std::count_if(recorder.Events.begin(), recorder.Events.end(),
                                           [](const auto& E) { return E.first == "flush"; });
        EXPECT_LT(flushes, 300) << "jobs " << jobs;
    }
}
