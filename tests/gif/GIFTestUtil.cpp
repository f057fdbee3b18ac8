#include "GIFTestUtil.h"

#include <map>

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

} // namespace giftest
