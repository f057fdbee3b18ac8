// Animated GIFs and PNGs through the command-line tool on a folder, with backups: converted
// frame by frame, a broken animation told and left as it was.

#include "support/ApngTools.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace testsupport;

namespace {

TEST(Tool, ConvertsTheAnimationsOfAFolder)
{
    ASSERT_TRUE(HavePil()) << "Debian's python3-pil (/usr/bin/python3) is not installed";
    TTempDir dir;
    ASSERT_EQ(ApngPython(dir.Path(), R"(
import os
os.mkdir('img')
R, B = (255, 0, 0, 255), (0, 0, 255, 255)
apng('img/banner.png', 3, 1, 6, 8, [frame(3, 1, [R, B, R]), frame(1, 1, [B], x=2, delay=(1, 2))])
write_png('img/broken.png', apng_chunks(3, 1, 6, 8, [frame(3, 1, [R, B, R]), frame(1, 1, [B], x=3)]))
a = Image.new('P', (2, 1), 0); a.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762)
b = Image.new('P', (2, 1), 1); b.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762)
a.save('img/spinner.gif', save_all=True, append_images=[b], duration=[70, 90], loop=0)
)"),
              "");
    const std::string banner = ReadFile(dir / "img/banner.png");
    const std::string broken = ReadFile(dir / "img/broken.png");
    const std::string spinner = ReadFile(dir / "img/spinner.gif");
    std::string out;
    // A file failed: status 1.
    EXPECT_EQ(RunCommand(std::string(TESSIVAL_BATCH_TOOL) + " --hue 120 --jobs 2 '" + dir.Path() + "' 2>&1", &out), 1)
        << out;
    const auto line = [&](const std::string& Head, const std::string& Name, const std::string& Tail) {
        return Head + Name + std::string(22 - Name.size(), ' ') + "：" + (dir / ("img/" + Name)) + Tail + "\n";
    };
    EXPECT_NE(out.find(line("成功> ", "banner.png", "")), std::string::npos) << out;
    EXPECT_NE(out.find(line("失敗> ", "broken.png", "（アニメPNGの構造が変）")), std::string::npos) << out;
    EXPECT_NE(out.find(line("成功> ", "spinner.gif", "")), std::string::npos) << out;
    EXPECT_NE(out.find("2/3個のファイルを変換成功"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(dir / "img/banner.png.bak"), banner);
    EXPECT_EQ(ReadFile(dir / "img/spinner.gif.bak"), spinner);
    EXPECT_EQ(ReadFile(dir / "img/broken.png"), broken);
    EXPECT_FALSE(Exists(dir / "img/broken.png.bak"));
    EXPECT_EQ(ApngPython(dir.Path(), R"(
f, n, loop = composed('img/banner.png')
print(n, f[0][0], f[1][0], f[1][1], end=' ')
g = Image.open('img/spinner.gif')
g.seek(1)
print(g.n_frames, g.convert('RGB').getpixel((0, 0)), g.info['duration'], g.info['loop'], end='')
)"),
              "2 [(0, 255, 0, 255), (255, 0, 0, 255), (0, 255, 0, 255)] "
              "[(0, 255, 0, 255), (255, 0, 0, 255), (255, 0, 0, 255)] 500.0 2 (255, 0, 0) 90 0");
}

}  // namespace
