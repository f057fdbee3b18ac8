#pragma once
// Helpers every core test may use: scratch folders under the system's temporary folder that
// go away with their owner, whole files in and out, commands run through the shell, and the
// tools the tests compare against. Helpers of one kind of file stay beside their tests.

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// A new folder under the system's temporary folder, named tessival-<Prefix>-XXXXXX, removed
// with everything in it when the object goes (write permission a test took away is given
// back first). A child process made by fork() that leaves through exit() does not remove it.
class TTempDir {
public:
    explicit TTempDir(const std::string& Prefix = "test");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
    pid_t FOwner;
};

// This test program's own scratch folder, made on first use and removed when the program
// ends. A test that removes it gets it back on the next call.
const std::string& ProgramTempDir();

// Writes Data as the whole file (making the folders above it); throws when it cannot.
void WriteFile(const std::string& Path, std::string_view Data);
void WriteFile(const std::string& Path, const std::vector<std::uint8_t>& Data);
// The whole file; throws when it cannot be read.
std::string ReadFile(const std::string& Path);

// The names in a folder (not below it), sorted.
std::vector<std::string> FolderNames(const std::string& Folder);

// Whether anything is at Path; a symbolic link counts, wherever it points.
bool Exists(const std::string& Path);

// Runs Command through /bin/sh; returns its exit status (-1 when it did not exit) and fills
// Output with its standard output. Add " 2>&1" to the command to have its errors too.
int RunCommand(const std::string& Command, std::string* Output = nullptr);

// Debian's Python, which the tests use with its imaging library (python3-pil) as an
// independent decoder.
inline constexpr const char* PythonProgram = "/usr/bin/python3";
bool HavePil();

bool ToolExists(const std::string& Path);

// Makes writes past Limit bytes fail with EFBIG, as a full disk would, for one scope.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Limit);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};

}  // namespace testsupport
