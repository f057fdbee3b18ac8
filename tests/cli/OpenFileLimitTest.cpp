// A site of many folders under a small limit on open files: a batch locks every folder it writes
// in (a descriptor each) and holds the files it has prepared open until their group is in place.
// The tool raises its soft limit to the hard one and keeps what it holds within the limit; where
// the hard limit itself is too small, each file that cannot be opened fails with its reason and
// nothing is left half done.

#include "batch/BatchLog.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

struct TRun {
    int Status = -1;
    std::string Out;
};

// The tool over Folder with the open-file limits Soft and Hard, as root or (AsNobody, when the
// test runs as root) as the user nobody.
TRun RunWithLimit(const std::string& Folder, rlim_t Soft, rlim_t Hard, bool AsNobody)
{
    TTempDir io;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open((io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        close(out);
        const rlimit limit{Soft, Hard};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
        std::vector<const char*> argv;
        if (AsNobody && geteuid() == 0)
            for (const char* a : {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"})
                argv.push_back(a);
        for (const char* a : {TESSIVAL_BATCH_TOOL, "--hue", "120", "--jobs", "2"}) argv.push_back(a);
        argv.push_back(Folder.c_str());
        argv.push_back(nullptr);
        execv(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(io / "out")};
}

const std::string Page = "<body bgcolor=\"#FF0000\"><font color=red>news</font></body>\n";
const std::string Converted = "<body bgcolor=\"#00FF00\"><font color=#00FF00>news</font></body>\n";
const std::string Style = "h1 { color: #0000ff; background: rgb(255, 0, 0) }\n";

// A site of Folders folders of two pages and a stylesheet, as a blog keeps one folder a post.
void MakeSite(const TTempDir& Dir, int Folders)
{
    for (int i = 0; i < Folders; ++i) {
        const std::string post = Dir / ("posts/" + std::to_string(2000 + i));
        WriteFile(post + "/index.html", Page);
        WriteFile(post + "/print.html", Page);
        WriteFile(post + "/post.css", Style);
    }
    // Open to nobody too.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Dir.Path()))
        chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
    chmod(Dir.Path().c_str(), 0777);
}

std::size_t Count(const std::string& Text, const std::string& What)
{
    std::size_t n = 0;
    for (std::size_t at = Text.find(What); at != std::string::npos; at = Text.find(What, at + What.size())) ++n;
    return n;
}

std::size_t TemporaryFiles(const std::string& Folder)
{
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder))
        n += entry.path().filename().string().find(".tessival-") != std::string::npos;
    return n;
}

TEST(OpenFileLimit, ManyFoldersConvertUnderASmallLimit)
{
    struct TCase {
        const char* Name;
        rlim_t Soft, Hard;
        bool AsNobody;
    };
    // 300 folders: more than the soft limits below, and (with the files held open while their
    // group waits) more than 256 descriptors in all.
    for (const TCase& c : {TCase{"soft 128 raised to hard 4096", 128, 4096, false},
                           TCase{"soft 128 raised to hard 4096, as nobody", 128, 4096, true},
                           TCase{"hard 400", 400, 400, false}, TCase{"hard 400, as nobody", 400, 400, true}}) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        MakeSite(dir, 300);
        const TRun run = RunWithLimit(dir.Path(), c.Soft, c.Hard, c.AsNobody);
        EXPECT_EQ(run.Status, 0) << run.Out.substr(0, 2000);
        EXPECT_EQ(Count(run.Out, "成功> "), 900u);
        EXPECT_NE(run.Out.find("900/900個のファイルを変換成功"), std::string::npos);
        EXPECT_EQ(ReadFile(dir / "posts/2299/print.html"), Converted);
        EXPECT_EQ(ReadFile(dir / "posts/2299/print.html.bak"), Page);
        EXPECT_EQ(TemporaryFiles(dir.Path()), 0u);
    }
}

TEST(OpenFileLimit, TooFewDescriptorsFailFilesWithTheirReason)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers read /proc/self/maps to check memory, and this run leaves the process no
    // descriptor to open it with: they stop it with a report of their own. The release build runs
    // this test.
    GTEST_SKIP() << "the sanitizer runtime needs descriptors this test leaves none of";
#endif
    // 40 folders and a hard limit of 32: the folders cannot all be locked, and the files of the
    // rest cannot be opened. Each is a failure with its reason, the count says so, and a file
    // that failed is as it was.
    TTempDir dir;
    MakeSite(dir, 40);
    const TRun run = RunWithLimit(dir.Path(), 32, 32, false);
    EXPECT_EQ(run.Status, 1);
    const std::size_t done = Count(run.Out, "成功> ");
    const std::size_t failed = Count(run.Out, "失敗> ");
    EXPECT_EQ(done + failed, 120u) << run.Out.substr(0, 2000);
    EXPECT_GT(failed, 0u);
    EXPECT_EQ(Count(run.Out, std::string(BatchLog::ReasonTooManyOpen) + "\n"), failed) << run.Out.substr(0, 2000);
    EXPECT_NE(run.Out.find(std::to_string(done) + "/120個のファイルを変換成功"), std::string::npos);
    std::size_t converted = 0;
    for (int i = 0; i < 40; ++i) {
        const std::string page = dir / ("posts/" + std::to_string(2000 + i) + "/index.html");
        const std::string now = ReadFile(page);
        EXPECT_TRUE(now == Page || now == Converted) << page;
        if (now == Converted) {
            ++converted;
            EXPECT_EQ(ReadFile(page + ".bak"), Page);
        } else {
            EXPECT_FALSE(std::filesystem::exists(page + ".bak")) << page;
        }
    }
    EXPECT_LE(converted, done);
    EXPECT_EQ(TemporaryFiles(dir.Path()), 0u);
}

}  // namespace
