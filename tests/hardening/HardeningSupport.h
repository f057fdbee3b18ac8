#pragma once
// Shared helpers of the hardening tests: scratch folders, files as bytes, a batch run with its
// log, and a listing of a folder to compare before and after.

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace hardening {

namespace fs = std::filesystem;

class TScratch {
public:
    TScratch()
    {
        std::string pattern = (fs::temp_directory_path() / "tessival-hardening-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TScratch()
    {
        std::error_code ec;
        fs::remove_all(FPath, ec);
    }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

inline void WriteBytes(const std::string& Path, const std::string& Data)
{
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + Path);
}

inline std::string ReadBytes(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + Path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every entry below Folder by its relative name: "link:" and the target for a symbolic link,
// "folder" for a folder, else the file's bytes.
inline std::map<std::string, std::string> Listing(const std::string& Folder)
{
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(Folder)) {
        const std::string name = fs::relative(entry.path(), Folder).string();
        if (entry.is_symlink())
            out[name] = "link:" + fs::read_symlink(entry.path()).string();
        else if (entry.is_directory())
            out[name] = "folder";
        else
            out[name] = ReadBytes(entry.path().string());
    }
    return out;
}

// Names of temporary files the safe save leaves while it works; none may stay behind.
inline std::vector<std::string> StrayFiles(const std::string& Folder)
{
    std::vector<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(Folder))
        if (entry.path().filename().string().find(".tessival-") != std::string::npos)
            out.push_back(entry.path().string());
    return out;
}

struct TBatchResult {
    std::vector<std::string> Log;
    int Successes = 0;
    int Total = 0;
};

inline TConversionSettings HueSettings(int Hue)
{
    TConversionSettings s;
    s.HueOffset = Hue;
    return s;
}

// One batch over Paths (all checked) with the given settings.
inline TBatchResult RunBatch(const std::vector<std::string>& Paths, const TConversionSettings& Settings,
                          bool Backup = true)
{
    TBatchInput input;
    for (const std::string& p : Paths)
        input.Items.push_back({true, p});
    input.Settings = Settings;
    input.Backup = Backup;
    TBatchRun operation(input);
    TSilentObserver observer;
    operation.ExecuteConversion(observer);
    return {operation.Log(), operation.Successes(), operation.Total()};
}

inline std::string SuccessFor(const std::string& Path) { return SuccessLine(Path); }

inline std::string FailureFor(const std::string& Path, std::string_view Reason)
{
    return std::string(BatchLog::FailureHead) + LinePrefix(Path) + std::string(Reason);
}

inline bool HasLine(const TBatchResult& Run, const std::string& Line)
{
    return std::find(Run.Log.begin(), Run.Log.end(), Line) != Run.Log.end();
}

}  // namespace hardening
