#include "support/TestSupport.h"

#include <csignal>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

TTempDir::TTempDir(const std::string& Prefix) : FOwner(::getpid())
{
    std::string pattern = (fs::temp_directory_path() / ("tessival-" + Prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder " + pattern);
    FPath = pattern;
}

TTempDir::~TTempDir()
{
    if (::getpid() != FOwner)
        return;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(FPath, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(FPath.c_str(), 0755);
    fs::remove_all(FPath, ec);
}

const std::string& ProgramTempDir()
{
    static const TTempDir dir("test-" + std::to_string(::getpid()));
    fs::create_directories(dir.Path());
    return dir.Path();
}

void WriteFile(const std::string& Path, std::string_view Data)
{
    const fs::path parent = fs::path(Path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent);
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + Path);
}

void WriteFile(const std::string& Path, const std::vector<std::uint8_t>& Data)
{
    WriteFile(Path, std::string_view(reinterpret_cast<const char*>(Data.data()), Data.size()));
}

std::string ReadFile(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + Path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FolderNames(const std::string& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& Path)
{
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

int RunCommand(const std::string& Command, std::string* Output)
{
    std::fflush(nullptr);
    FILE* pipe = ::popen(Command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (Output != nullptr)
        *Output = std::move(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HavePil()
{
    static const bool have = RunCommand(std::string(PythonProgram) + " -c 'import PIL' >/dev/null 2>&1") == 0;
    return have;
}

bool ToolExists(const std::string& Path)
{
    return ::access(Path.c_str(), X_OK) == 0;
}

TFileSizeLimit::TFileSizeLimit(rlim_t Limit)
{
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = FOld;
    lim.rlim_cur = Limit;
    setrlimit(RLIMIT_FSIZE, &lim);
}

TFileSizeLimit::~TFileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
}

}  // namespace testsupport
