// Batches as a site owner runs them: twice in a row, two at once, stopped, piped into a reader
// that goes away, with another program writing meanwhile, or only tried (a dry run).

#include "HardeningSupport.h"

#include "base/SafeFile.h"
#include "batch/BatchLog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

using namespace hardening;

namespace {

const std::string Tool = TESSIVAL_BATCH_TOOL;

// A running tessival-batch with its standard output and error in files (or Out when given).
struct TProcess {
    pid_t Pid = -1;
    std::string OutPath, ErrPath;

    TProcess(const std::vector<std::string>& Args, const std::string& Out, const std::string& Err)
        : OutPath(Out), ErrPath(Err)
    {
        Pid = fork();
        if (Pid == 0) {
            const int out = open(Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(Tool.c_str())};
            for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(Tool.c_str(), argv.data());
            _exit(127);
        }
    }
    // The exit status, or 128 + the signal that ended it.
    int Wait()
    {
        int status = 0;
        waitpid(Pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

int RunTool(const std::vector<std::string>& Args, const std::string& Out, const std::string& Err)
{
    return TProcess(Args, Out, Err).Wait();
}

// The site's files (folders left out) by relative name.
std::map<std::string, std::string> Files(const std::string& Folder)
{
    std::map<std::string, std::string> files = Listing(Folder);
    std::erase_if(files, [](const auto& Entry) { return Entry.second == "folder"; });
    return files;
}

// What the process has written so far, empty before it has made the file.
std::string SoFar(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int CountOf(const std::string& Text, const std::string& Part)
{
    int n = 0;
    for (std::size_t at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1)) ++n;
    return n;
}

// A site of Count stylesheets, each red, and a page.
void MakeSite(const std::string& Folder, int Count)
{
    fs::create_directories(Folder + "/css");
    for (int i = 0; i < Count; ++i)
        WriteFile(Folder + "/css/s" + std::to_string(i) + ".css", ".c" + std::to_string(i) + "{color:#FF0000}\n");
    WriteFile(Folder + "/index.html", "<body bgcolor=\"#FF0000\"><p style=\"color:#0000FF\">x</p></body>\n");
    // On the disk before a batch starts, so the batch's first flush does not write the whole
    // new site and the runs' timing is their own.
    sync();
}

}  // namespace

TEST(RunsTogether, TwoRunsInARowKeepTheOriginalBackups)
{
    TTempDir dir;
    MakeSite(dir / "site", 20);
    const auto original = Files(dir / "site");
    ASSERT_EQ(RunTool({"--hue", "120", dir / "site"}, dir / "out1", dir / "err1"), 0);
    ASSERT_EQ(RunTool({"--hue", "120", dir / "site"}, dir / "out2", dir / "err2"), 0);
    for (const auto& [name, bytes] : original) {
        EXPECT_EQ(ReadFile(dir / ("site/" + name + ".bak")), bytes) << name;
        EXPECT_EQ(ReadFile(dir / ("site/" + name)).find("#FF0000"), std::string::npos) << name;
    }
    const std::string second = ReadFile(dir / "out2");
    EXPECT_EQ(CountOf(second, std::string(BatchLog::BackupKeptTail)), 21) << second;
    EXPECT_EQ(CountOf(ReadFile(dir / "out1"), std::string(BatchLog::BackupKeptTail)), 0);
}

TEST(RunsTogether, TwoRunsAtOnceConvertEachFileOnce)
{
    TTempDir dir;
    MakeSite(dir / "site", 2000);
    // A large stylesheet beside the page, taken first (the work goes largest first): the first
    // run is still converting it, and holds both folders, long after the second has started
    // and asked for them, however quickly the small files go.
    std::string big;
    while (big.size() < (12u << 20)) big += ".b" + std::to_string(big.size()) + "{color:#FF0000}\n";
    WriteFile(dir / "site/big.css", big);
    sync();
    const auto original = Files(dir / "site");
    TProcess first({"--hue", "120", "--jobs", "2", dir / "site"}, dir / "out1", dir / "err1");
    // The second starts while the first is converting: once the first backup of a small
    // stylesheet is there (the log comes in list order).
    const auto begun = [&] {
        for (const auto& entry : fs::directory_iterator(dir / "site/css"))
            if (entry.path().extension() == ".bak") return true;
        return false;
    };
    for (int i = 0; i < 5000 && !begun(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TProcess second({"--hue", "120", "--jobs", "2", dir / "site"}, dir / "out2", dir / "err2");
    const int b = second.Wait();
    const int a = first.Wait();
    const std::string log1 = ReadFile(dir / "out1"), log2 = ReadFile(dir / "out2");
    ASSERT_NE(CountOf(log1, std::string(BatchLog::SummaryTail)), 0) << "the first run did not finish its log";
    if (CountOf(log1 + log2, std::string(BatchLog::SuccessHead)) == 2 * 2002)
        GTEST_FAIL() << "the runs did not overlap; the second converted every file again";
    // Shifted once, red becomes green; shifted twice it would be blue.
    for (const auto& [name, bytes] : original) {
        const std::string now = ReadFile(dir / ("site/" + name));
        EXPECT_EQ(now.find("#0000FF"), std::string::npos) << name << " converted twice";
        EXPECT_NE(now, bytes) << name << " not converted";
        EXPECT_EQ(ReadFile(dir / ("site/" + name + ".bak")), bytes) << name;
    }
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(CountOf(log1, std::string(BatchLog::SuccessHead)), 2002);
    EXPECT_EQ(CountOf(log2, std::string(BatchLog::ReasonLocked)), 2002) << log2.substr(0, 400);
    EXPECT_TRUE(StrayFiles(dir / "site").empty());
}

TEST(RunsTogether, InterruptedRunsFinishTheFileInHandAndSaySo)
{
    for (const int sig : {SIGINT, SIGTERM}) {
        TTempDir dir;
        MakeSite(dir / "site", 1500);
        const auto original = Files(dir / "site");
        TProcess run({"--hue", "120", "--jobs", "1", dir / "site"}, dir / "out", dir / "err");
        // Signal it once it has begun converting.
        for (int i = 0; i < 2000 && SoFar(dir / "out").find(std::string(BatchLog::SuccessHead)) == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        kill(run.Pid, sig);
        const int status = run.Wait();
        const std::string log = ReadFile(dir / "out");
        if (status == 0) continue;  // it finished first: nothing to check
        EXPECT_EQ(status, 128 + sig);
        const int converted = CountOf(log, std::string(BatchLog::SuccessHead));
        EXPECT_NE(log.find(std::string(BatchLog::StoppedHead) + std::to_string(1501 - converted) +
                           std::string(BatchLog::StoppedTail)),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find(std::to_string(converted) + "/1501" + std::string(BatchLog::SummaryTail)), std::string::npos);
        EXPECT_TRUE(StrayFiles(dir / "site").empty());
        int changed = 0;
        for (const auto& [name, bytes] : original)
            if (ReadFile(dir / ("site/" + name)) != bytes) ++changed;
        EXPECT_EQ(changed, converted);
    }
}

TEST(RunsTogether, AReaderThatGoesAwayDoesNotStopTheBatch)
{
    TTempDir dir;
    // More log than a pipe holds, so the batch is still writing when its reader has gone.
    MakeSite(dir / "site", 2000);
    const auto original = Files(dir / "site");
    // The shell's pipe into head: the log's reader leaves after one line.
    const std::string command = "'" + Tool + "' --hue 120 '" + (dir / "site") + "' 2>'" + (dir / "err") +
                                "' | head -1 >/dev/null; exit \\${PIPESTATUS[0]}";
    const int status = system(("bash -c \"" + command + "\"").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    for (const auto& [name, bytes] : original) EXPECT_NE(ReadFile(dir / ("site/" + name)), bytes) << name;
    const std::string err = ReadFile(dir / "err");
    EXPECT_EQ(CountOf(err, "ログを書けません"), 1) << err;

    // Standard output on a full device: the log is lost, the run says so and does not end in 0.
    MakeSite(dir / "full", 3);
    EXPECT_EQ(RunTool({"--hue", "120", dir / "full"}, "/dev/full", dir / "err2"), 1);
    EXPECT_NE(ReadFile(dir / "err2").find("ログを書けません"), std::string::npos);
}

TEST(RunsTogether, AChangeMadeDuringTheConversionIsKept)
{
    TTempDir dir;
    std::string big;
    for (int i = 0; i < 400000; ++i) big += ".rule" + std::to_string(i) + "{color:#336699;background:red}\n";
    for (int round = 0; round < 3; ++round) {
        const std::string path = dir / ("big" + std::to_string(round) + ".css");
        WriteFile(path, big);
        TProcess run({"--hue", "120", path}, dir / "out", dir / "err");
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 40 * round));
        {
            const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(write(fd, "/*added*/\n", 10), 10);
            close(fd);
        }
        run.Wait();
        // Whether the batch finished before the change or met it, the change is there.
        const std::string now = ReadFile(path);
        EXPECT_EQ(now.substr(now.size() - 10), "/*added*/\n") << "round " << round;
        const std::string log = ReadFile(dir / "out");
        if (log.find(std::string(BatchLog::ReasonChanged)) != std::string::npos) {
            EXPECT_EQ(now, big + "/*added*/\n");
        }
        EXPECT_TRUE(StrayFiles(dir.Path()).empty());
    }
}

TEST(RunsTogether, ADryRunTouchesNothing)
{
    TTempDir dir;
    MakeSite(dir / "site", 10);
    WriteFile(dir / "site/broken.gif", "GIF89a not really");
    WriteFile(dir / "site/css/s3.css.bak", "an older backup");
    struct stat before {};
    ASSERT_EQ(stat((dir / "site/css/s1.css").c_str(), &before), 0);
    const auto original = Files(dir / "site");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    TBatchInput input;
    input.Items = {{true, dir / "site/index.html"}, {true, dir / "site/broken.gif"}, {true, dir / "site/css/s1.css"},
                   {true, dir / "site/css/s3.css"}};
    input.Settings = HueSettings(120);
    input.DryRun = true;
    TBatchRun run(input);
    TSilentObserver quiet;
    run.ExecuteConversion(quiet);

    EXPECT_EQ(Files(dir / "site"), original);
    struct stat after {};
    ASSERT_EQ(stat((dir / "site/css/s1.css").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    const auto& log = run.Log();
    const auto has = [&](const std::string& Line) { return std::find(log.begin(), log.end(), Line) != log.end(); };
    EXPECT_TRUE(has(std::string(BatchLog::WouldConvertHead) + LinePrefix(dir / "site/index.html")));
    EXPECT_TRUE(has(std::string(BatchLog::WouldFailHead) + LinePrefix(dir / "site/broken.gif") +
                    std::string(BatchLog::ReasonBadImage)));
    EXPECT_TRUE(has(std::string(BatchLog::WouldConvertHead) + LinePrefix(dir / "site/css/s3.css") +
                    std::string(BatchLog::BackupKeptTail)));
    EXPECT_EQ(log.back(), "3/4" + std::string(BatchLog::DryRunSummaryTail));
    EXPECT_EQ(run.Successes(), 3);
}
