#include "GIFTestUtil.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace giftest {

Bytes ReferenceCodes(const Bytes& Pixels, int CodeSize)
{
    CodePacker packer;
    const int clear = 1 << CodeSize;
    const int end = clear + 1;
    int width = CodeSize + 1;
    int next = clear + 2;
    std::map<std::pair<int, int>, int> table;

    packer.Put(clear, width);
    if (Pixels.empty()) {
        packer.Put(end, width);
        return packer.Finish();
    }
    int prefix = Pixels[0];
    for (std::size_t i = 1; i < Pixels.size(); ++i) {
        const int p = Pixels[i];
        const auto it = table.find({prefix, p});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        packer.Put(prefix, width);
        if (next >= (1 << width) && width < 12)
            ++width;
        table[{prefix, p}] = next++;
        prefix = p;
        if (next == 4096) {
            packer.Put(clear, width);
            table.clear();
            next = clear + 2;
            width = CodeSize + 1;
        }
    }
    packer.Put(prefix, width);
    if (next >= (1 << width) && width < 12)
        ++width;
    packer.Put(end, width);
    return packer.Finish();
}

// The code stream as the codec writes it, computed independently: clear first; every new
// string takes the next code; when the next code would be 4095 a clear is written instead;
// the width grows once the next code no longer fits, never beyond 12 bits.
Bytes ExpectedCodes(const Bytes& Pixels, int CodeSize)
{
    CodePacker packer;
    const int clear = 1 << CodeSize;
    const int end = clear + 1;
    int width = CodeSize + 1;
    int maxCode = (1 << width) - 1;
    int next = clear + 2;
    std::map<std::pair<int, int>, int> table;
    bool clearing = false;

    const auto output = [&](int code) {
        packer.Put(code, width);
        if (clearing || next > maxCode) {
            if (clearing) {
                width = CodeSize + 1;
                maxCode = (1 << width) - 1;
                clearing = false;
            } else {
                ++width;
                maxCode = width == 12 ? 4096 : (1 << width) - 1;
            }
        }
    };
    const auto doClear = [&] {
        clearing = true;
        output(clear);
        table.clear();
        next = clear + 2;
    };

    doClear();
    int prefix = Pixels[0];
    for (std::size_t i = 1; i < Pixels.size(); ++i) {
        const int p = Pixels[i];
        const auto it = table.find({prefix, p});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        output(prefix);
        const int oldPrefix = prefix;
        prefix = p;
        if (next > 4094)
            doClear();
        else
            table[{oldPrefix, p}] = next++;
    }
    output(prefix);
    output(end);
    return packer.Finish();
}

std::string ScratchDir()
{
    const std::filesystem::path dir = std::filesystem::path(TESSIVAL_BINARY_DIR) / "gif-test-scratch" /
                                      std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    return dir.string();
}

int Run(const std::string& Command, std::string* Output)
{
    FILE* pipe = ::popen(Command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (Output)
        *Output = std::move(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HavePIL()
{
    static const bool have = Run("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
    return have;
}

} // namespace giftest
