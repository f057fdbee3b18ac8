#pragma once
// Temporary folders and file helpers shared by the batch tests.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>
#include <algorithm>

namespace batchtest {

class TTempDir {
public:
    TTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessival-batch-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TTempDir()
    {
        std::error_code ec;
        // Give back any write permission a test took away, so everything can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec)) chmod(it->path().c_str(), 0755);
        chmod(FPath.c_str(), 0755);
        std::filesystem::remove_all(FPath, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

inline void WriteFile(const std::string& Path, const std::string& Data)
{
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
    if (!out) throw std::runtime_error("cannot write " + Path);
}

inline std::string ReadFile(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + Path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& Path)
{
    struct stat st {};
    return lstat(Path.c_str(), &st) == 0;
}

inline mode_t Mode(const std::string& Path)
{
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + Path);
    return st.st_mode & 07777;
}

// Root may write where the permission bits say no; tests of refused writes skip then.
inline bool PermissionsApply() { return geteuid() != 0; }

// Names in a folder, sorted.
inline std::vector<std::string> Listing(const std::string& Folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace batchtest

namespace batchtest {

// Runs a Python script with Debian's interpreter; its standard output, or nothing with Ok
// false when the interpreter or PIL is missing or the script fails.
struct TPython {
    bool Ok = false;
    std::string Out;
};

inline bool HavePil()
{
    static const bool have = std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
    return have;
}

inline TPython RunPython(const std::string& Script)
{
    TPython result;
    if (!HavePil()) return result;
    char name[] = "/tmp/tessival-py-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return result;
    close(fd);
    WriteFile(name, Script);
    const std::string command = std::string("/usr/bin/python3 ") + name;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Out.append(buffer, n);
        result.Ok = pclose(pipe) == 0;
    }
    unlink(name);
    return result;
}

}  // namespace batchtest
