// Writes that fail half way: the file being replaced keeps its old content, no temporary
// file is left, and the log names the file and gives the reason. The faults are real ones: a
// file-size limit on the converting process (the write stops with EFBIG part way through),
// and, where the test may mount one, a file system that runs out of space.

#include "HardeningSupport.h"

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

using namespace hardening;

namespace {

// A stylesheet of about Bytes bytes, every rule with a colour.
std::string BigStylesheet(std::size_t Bytes)
{
    std::string out;
    for (int i = 0; out.size() < Bytes; ++i)
        out += ".c" + std::to_string(i) + "{color:#ff0000;background:navy}\r\n";
    return out;
}

// Runs the batch in a child process whose files may not grow beyond Limit bytes; returns
// the log the child sends back.
std::vector<std::string> RunWithFileSizeLimit(const std::vector<std::string>& Paths, bool Backup, rlim_t Limit)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{Limit, Limit};
        setrlimit(RLIMIT_FSIZE, &limit);
        const TBatchResult run = RunBatch(Paths, HueSettings(120), Backup);
        std::string all;
        for (const std::string& line : run.Log)
            all += line + '\x1e';
        const char* p = all.data();
        std::size_t left = all.size();
        while (left > 0) {
            const ssize_t n = write(pipeFds[1], p, left);
            if (n <= 0)
                _exit(3);
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(pipeFds[1]);
    std::string all;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        all.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the converting process died";
    std::vector<std::string> log;
    for (std::size_t start = 0, end; (end = all.find('\x1e', start)) != std::string::npos; start = end + 1)
        log.push_back(all.substr(start, end - start));
    return log;
}

}  // namespace

TEST(WriteFault, AFailedSaveLeavesTheOriginalAndNoTemporaryFile)
{
    TTempDir dir;
    const std::string big = dir / "big.css";
    const std::string small = dir / "small.css";
    const std::string original = BigStylesheet(200 * 1024);
    WriteFile(big, original);
    WriteFile(small, "p{color:red}");

    // Without backups: the save of the large file stops at 64 KB.
    const TBatchResult run{RunWithFileSizeLimit({big, small}, false, 64 * 1024)};
    EXPECT_TRUE(HasLine(run, FailureFor(big, BatchLog::ReasonFileTooLarge)));
    EXPECT_TRUE(HasLine(run, SuccessFor(small))) << "one failure stopped the batch";
    EXPECT_EQ(ReadFile(big), original);
    EXPECT_EQ(ReadFile(small), "p{color:#00FF00}");
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());

    // With backups the new content is written first: it fails, so no backup is made and the
    // file is not touched.
    const TBatchResult withBackup{RunWithFileSizeLimit({big}, true, 64 * 1024)};
    EXPECT_TRUE(HasLine(withBackup, FailureFor(big, BatchLog::ReasonFileTooLarge)));
    EXPECT_EQ(ReadFile(big), original);
    EXPECT_FALSE(fs::exists(big + ".bak"));
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());

    // An older backup survives a failed conversion.
    WriteFile(big + ".bak", "older backup");
    const TBatchResult keepsOld{RunWithFileSizeLimit({big}, true, 64 * 1024)};
    EXPECT_TRUE(HasLine(keepsOld, FailureFor(big, BatchLog::ReasonFileTooLarge)));
    EXPECT_EQ(ReadFile(big + ".bak"), "older backup");
    EXPECT_EQ(ReadFile(big), original);
}

TEST(WriteFault, AFullFileSystemLeavesTheOriginal)
{
    TTempDir dir;
    const std::string mountPoint = dir / "small-disk";
    fs::create_directory(mountPoint);
    if (geteuid() != 0 || mount("tessival-test", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    struct TUnmount {
        std::string Path;
        ~TUnmount() { umount2(Path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};

    // No room for the new content beside the file.
    const std::string file = mountPoint + "/site.css";
    const std::string original = BigStylesheet(150 * 1024);
    WriteFile(file, original);
    const TBatchResult run = RunBatch({file}, HueSettings(120));
    EXPECT_TRUE(HasLine(run, FailureFor(file, BatchLog::ReasonNoSpace)));
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_TRUE(StrayFiles(mountPoint).empty());
    EXPECT_FALSE(fs::exists(file + ".bak"));

    // Room for the new content: the backup is the old file itself under a second name, so it
    // needs no room of its own.
    fs::remove(file);
    const std::string smaller = BigStylesheet(100 * 1024);
    WriteFile(file, smaller);
    const TBatchResult fits = RunBatch({file}, HueSettings(120));
    EXPECT_TRUE(HasLine(fits, SuccessFor(file)));
    EXPECT_EQ(ReadFile(file + ".bak"), smaller);
    EXPECT_NE(ReadFile(file), smaller);
    EXPECT_TRUE(StrayFiles(mountPoint).empty());
}
