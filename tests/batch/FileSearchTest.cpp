#include "batch/FileSearch.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

using batchtest::TTempDir;
using batchtest::WriteFile;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

TEST(FileSearch, ExtensionIsComparedWholeAndWithoutCase)
{
    TTempDir dir;
    for (const char* name : {"a.HTM", "b.html", "page.HTML", "c.css", "d.htm.bak", "e.txt", "noext", ".htm"})
        WriteFile(dir / name, "x");
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".htm", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / ".htm", dir / "a.HTM"}));

    found.clear();
    SearchFolder(dir.Path(), ".HTML", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / "b.html", dir / "page.HTML"}));
}

TEST(FileSearch, SiteSearchGroupsByExtensionInFixedOrder)
{
    TTempDir dir;
    for (const char* name : {"z.png", "y.gif", "c.css", "b.html", "a.HTM", "readme.txt"}) WriteFile(dir / name, "x");
    const std::vector<std::string> found = SearchSiteFolder(dir.Path(), true);
    EXPECT_EQ(found, (std::vector<std::string>{dir / "a.HTM", dir / "b.html", dir / "c.css", dir / "y.gif",
                                               dir / "z.png"}));
}

TEST(FileSearch, SubFoldersAreSearchedOnlyWhenAsked)
{
    TTempDir dir;
    WriteFile(dir / "top.css", "x");
    WriteFile(dir / "sub/inner.css", "x");
    WriteFile(dir / "sub/deeper/deep.css", "x");

    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".css", found, false);
    EXPECT_EQ(found, std::vector<std::string>{dir / "top.css"});

    found.clear();
    SearchFolder(dir.Path() + "/", ".css", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / "top.css", dir / "sub/inner.css", dir / "sub/deeper/deep.css"}));
}

TEST(FileSearch, SubFolderFilesLandWhereTheFolderWasMet)
{
    // Depth first: the files of a sub-folder are contiguous in the found list.
    TTempDir dir;
    WriteFile(dir / "a.gif", "x");
    WriteFile(dir / "m/b.gif", "x");
    WriteFile(dir / "m/c.gif", "x");
    WriteFile(dir / "z.gif", "x");
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".gif", found, true);
    ASSERT_EQ(found.size(), 4u);
    const auto first = std::find(found.begin(), found.end(), dir / "m/b.gif");
    const auto second = std::find(found.begin(), found.end(), dir / "m/c.gif");
    ASSERT_NE(first, found.end());
    ASSERT_NE(second, found.end());
    EXPECT_EQ(std::abs(first - second), 1);
}

TEST(FileSearch, FoldersNamedLikeFilesAreNeverListed)
{
    TTempDir dir;
    WriteFile(dir / "styles.css/inside.css", "x");
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".css", found, false);
    EXPECT_TRUE(found.empty());
    SearchFolder(dir.Path(), ".css", found, true);
    EXPECT_EQ(found, std::vector<std::string>{dir / "styles.css/inside.css"});
}

TEST(FileSearch, PipesAndDanglingLinksAreSkippedAndLinkLoopsEnd)
{
    TTempDir dir;
    WriteFile(dir / "real.png", "x");
    ASSERT_EQ(mkfifo((dir / "pipe.png").c_str(), 0644), 0);
    ASSERT_EQ(symlink("missing.png", (dir / "dangling.png").c_str()), 0);
    ASSERT_EQ(symlink("real.png", (dir / "alias.png").c_str()), 0);
    ASSERT_EQ(symlink(".", (dir / "loop").c_str()), 0);
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".png", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / "real.png", dir / "alias.png"}));
}

TEST(FileSearch, MissingOrEmptyFolderGivesNothing)
{
    TTempDir dir;
    std::vector<std::string> found{"kept"};
    SearchFolder(dir / "nowhere", ".htm", found, true);
    SearchFolder("", ".htm", found, true);
    SearchFolder(dir / "nowhere", ".htm", found, false);
    EXPECT_EQ(found, std::vector<std::string>{"kept"});
    EXPECT_TRUE(SearchSiteFolder(dir.Path(), true).empty());
}

TEST(FileSearch, NameAndExtensionParts)
{
    EXPECT_EQ(ExtractFileName("/a/b/c.html"), "c.html");
    EXPECT_EQ(ExtractFileName("c.html"), "c.html");
    EXPECT_EQ(ExtractFileName("/a/b/"), "");
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("/a/b/c.tar.GZ"), ".GZ");
    EXPECT_EQ(ExtractFileExt("/a/b/.htm"), ".htm");
    EXPECT_EQ(AsciiLower("ÄB.PNG"), "Äb.png");
}

}  // namespace
