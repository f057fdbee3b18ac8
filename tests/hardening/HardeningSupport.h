#pragma once
// Helpers of the hardening tests: a batch run with its log, and a listing of a folder to
// compare before and after (scratch folders and files come from support/TestSupport.h).

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace hardening {

using namespace testsupport;
namespace fs = std::filesystem;

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
            out[name] = ReadFile(entry.path().string());
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
