#pragma once
// Helpers of the batch tests: file modes, the permission rule and Python scripts, beside the
// shared scratch folders and file helpers (support/TestSupport.h).

#include "support/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace batchtest {

using namespace testsupport;

inline mode_t Mode(const std::string& Path)
{
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + Path);
    return st.st_mode & 07777;
}

// Root may write where the permission bits say no; tests of refused writes skip then.
inline bool PermissionsApply() { return geteuid() != 0; }

// Runs a Python script with Debian's interpreter; its standard output, or nothing with Ok
// false when the interpreter or PIL is missing or the script fails.
struct TPython {
    bool Ok = false;
    std::string Out;
};

inline TPython RunPython(const std::string& Script)
{
    TPython result;
    if (!HavePil()) return result;
    TTempDir dir("py");
    WriteFile(dir / "script.py", Script);
    result.Ok = RunCommand(std::string(PythonProgram) + " " + (dir / "script.py"), &result.Out) == 0;
    return result;
}

}  // namespace batchtest
