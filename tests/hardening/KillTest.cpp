// The batch killed with SIGKILL at random moments: every file is its old or its new content,
// never a mix (tests/hardening/kill_test.sh does the killing and the checking).

#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
    const std::string tool = TESSIVAL_BATCH_TOOL;
    const std::string script = std::string(TESSIVAL_SOURCE_DIR) + "/tests/hardening/kill_test.sh";
    ASSERT_TRUE(std::filesystem::exists(tool)) << "tessival-batch is not built: " << tool;
    const char* rounds = std::getenv("TESSIVAL_KILL_ROUNDS");
    const std::string command =
        "'" + script + "' " + (rounds != nullptr ? rounds : DefaultRounds) + " '" + tool + "' 2>&1";

    std::string output;
    EXPECT_EQ(testsupport::RunCommand(command, &output), 0) << output;
    std::printf("%s", output.c_str());
}
