// The batch killed with SIGKILL at random moments: every file is its old or its new content,
// never a mix (tests/hardening/kill_test.sh does the killing and the checking).

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The sanitizer build converts many times slower; fewer rounds keep the test short there.
#if defined(__SANITIZE_ADDRESS__)
const char* const DefaultRounds = "6";
#else
const char* const DefaultRounds = "24";
#endif

}  // namespace

TEST(Kill, BatchKilledAtRandomMomentsLeavesOldOrNewFilesOnly)
{
    const std::string tool = std::string(TESSIVAL_BINARY_DIR) + "/bin/tessival-batch";
    const std::string script = std::string(TESSIVAL_SOURCE_DIR) + "/tests/hardening/kill_test.sh";
    if (!std::filesystem::exists(tool))
        GTEST_SKIP() << "tessival-batch is not built in " << TESSIVAL_BINARY_DIR;
    const char* rounds = std::getenv("TESSIVAL_KILL_ROUNDS");
    const std::string command =
        "'" + script + "' " + (rounds != nullptr ? rounds : DefaultRounds) + " '" + tool + "' 2>&1";

    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    std::printf("%s", output.c_str());
}
