// The files a batch replaces are closed on threads of their own: every one of them, by the time
// the closer is waited for or gone, and by the end of the batch, whatever its jobs.

#include "base/Exceptions.h"
#include "base/SafeFile.h"
#include "batch/BatchRun.h"
#include "batch/FileCloser.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <dirent.h>

using namespace batchtest;

namespace {

// Descriptors this process has open now.
std::size_t OpenFiles()
{
    std::size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count;
}

// Whether Path can be taken by another source file, which holds its lock: false while the
// file is still open (and locked) as a source file elsewhere.
bool Free(const std::string& Path)
{
    try {
        TSourceFile again(Path);
        return true;
    } catch (const EFileLocked&) {
        return false;
    }
}

std::vector<std::string> Sheets(const TTempDir& Dir, int Count)
{
    std::vector<std::string> paths;
    for (int i = 0; i < Count; ++i) {
        paths.push_back(Dir / ("s" + std::to_string(i) + ".css"));
        WriteFile(paths.back(), ".item-" + std::to_string(i) + " { color: #336699; border-color: red }\n");
    }
    return paths;
}

TEST(FileCloser, EveryFileGivenIsClosedOnceWaitedFor)
{
    for (const bool together : {false, true})
        for (const std::size_t threads : {std::size_t{0}, std::size_t{1}, std::size_t{4}}) {
            SCOPED_TRACE(std::to_string(threads) + (together ? " threads, given together" : " threads, one by one"));
            TTempDir dir;
            // More than the closer lets wait at once, so that giving them has to wait too.
            const std::vector<std::string> paths = Sheets(dir, 150);
            const std::size_t before = OpenFiles();
            TFileCloser closer(threads, 64);
            std::vector<std::unique_ptr<TSourceFile>> files;
            for (const std::string& p : paths) {
                auto source = std::make_unique<TSourceFile>(p);
                ASSERT_FALSE(Free(p));
                if (together) {
                    files.push_back(std::move(source));
                    if (files.size() % 50 == 0) files.push_back(nullptr);  // gaps are no error
                } else {
                    closer.Close(std::move(source));
                }
            }
            closer.Close(std::move(files));
            closer.Close(nullptr);  // nothing to close is no error
            closer.Wait();
            EXPECT_EQ(OpenFiles(), before);
            for (const std::string& p : paths) EXPECT_TRUE(Free(p)) << p;
        }
}

TEST(FileCloser, WhatIsLeftIsClosedWhenItGoes)
{
    TTempDir dir;
    const std::vector<std::string> paths = Sheets(dir, 40);
    const std::size_t before = OpenFiles();
    {
        TFileCloser closer;
        for (const std::string& p : paths) closer.Close(std::make_unique<TSourceFile>(p));
    }
    EXPECT_EQ(OpenFiles(), before);
    for (const std::string& p : paths) EXPECT_TRUE(Free(p)) << p;
}

TEST(FileCloser, ABatchWithoutBackupsKeepsNoReplacedFileOpen)
{
    for (const int jobs : {1, 2}) {
        TTempDir dir;
        const std::vector<std::string> paths = Sheets(dir, 300);  // more than one group
        const std::size_t before = OpenFiles();
        TBatchInput input;
        for (const std::string& p : paths) input.Items.push_back({true, p});
        input.Settings.HueOffset = 120;
        input.Backup = false;
        input.Jobs = jobs;
        TBatchRun run(input);
        TSilentObserver quiet;
        run.ExecuteConversion(quiet);
        EXPECT_EQ(run.Successes(), 300) << "jobs " << jobs;
        EXPECT_EQ(OpenFiles(), before) << "jobs " << jobs;
        EXPECT_EQ(FolderNames(dir.Path()).size(), 300u) << "jobs " << jobs;
        for (const std::string& p : paths) {
            EXPECT_TRUE(Free(p)) << p;
            EXPECT_EQ(ReadFile(p).find("#336699"), std::string::npos) << p << " not converted";
        }
    }
}

}  // namespace
